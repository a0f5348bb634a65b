#pragma once
// Every fixed user-visible text of the status bar, the readout and the error
// boxes, kept in one place so the window and the command-line tool print the
// same words. UTF-8; turn into QString with QString::fromUtf8.

namespace mirantos::text {

// Names and titles.
inline constexpr char AppTitle[] = "MIRANTOS";
inline constexpr char BoardShortName[] = "MIRANTOS";
inline constexpr char BoardName[] = "MIRANTOS Board";
inline constexpr char BoxCaption[] = "MIRANTOS Board";
inline constexpr char AlreadyRunning[] = "MIRANTOS はすでに起動しています";

// Status bar, board panel (the suffixes follow the board name).
inline constexpr char BoardVersionSeparator[] = " / ";
inline constexpr char StatusNotFoundSuffix[] = " が見つかりませんでした";
inline constexpr char StatusNoResponseSuffix[] = " 応答しませんでした";
inline constexpr char StatusErrorSuffix[] = " がエラーです";

// Status bar, run panel.
inline constexpr char Measuring[] = "計測中です";
inline constexpr char MeasureEnd[] = "計測終了しました";
inline constexpr char MeasureAbort[] = "計測中止しました";
inline constexpr char FileLoaded[] = "データファイル読み込みました";
inline constexpr char FileSaved[] = "データファイルを保存しました";

// Status bar, detail panel.
inline constexpr char Starting[] = "測定開始処理中です。。。";
inline constexpr char MeasureError[] = "計測エラーで終了";

// Readout pieces.
inline constexpr char SampleNumber[] = "データ番号：";
inline constexpr char SampleCode[] = " / AD変換値：";
inline constexpr char Separator[] = " / ";
inline constexpr char Channel[] = "CH";
inline constexpr char Maximum[] = " : 最大値：";
inline constexpr char Minimum[] = " / 最小値：";
inline constexpr char PeakToPeak[] = " / pp値：";
inline constexpr char Sigma[] = " / 標準偏差：";
inline constexpr char UnitDigit[] = " digit";
inline constexpr char UnitMicrovolt[] = "[uV]";

// Error boxes.
inline constexpr char BoxMemoryError[] = "致命的なメモリエラーです:";
inline constexpr char BoxNotFoundSuffix[] = " が見つかりませんでした";
inline constexpr char BoxNoResponseSuffix[] = " が応答しませんでした";
inline constexpr char BoxSaveError[] = "データ保存できませんでした";
inline constexpr char BoxDataFileError[] = "データファイルの内容が正しくありませんでした";
inline constexpr char BoxNoDataError[] = "データがありません";

// Names of the window's parts, as the memory error box shows them.
inline constexpr char PartMessage[] = "Z_Message";
inline constexpr char PartStatus[] = "myStatus";
inline constexpr char PartBoard[] = "AD7177";
inline constexpr char PartFile[] = "FILE";
inline constexpr char PartGraph[] = "TGraph_2CH";

} // namespace mirantos::text
