#pragma once
// Every fixed user-visible text of the window, the status bar, the readout and
// the error boxes, kept in one place so the window and the command-line tool
// print the same words. UTF-8; turn into QString with mirantos::U. The noise
// analysis window's texts are beside this file in AnalysisTexts.h (their array
// kAnalysisTexts goes with kAll below), the trace viewer's in ViewerTexts.h
// (kViewerTexts), the noise test's in StationTexts.h (kStationTexts). The one
// text built elsewhere is the data file's overwrite question
// (OverwriteQuestionText in datafile/Myfile.h, below the status texts); the
// list items are in record/Tables.h.

#include <QString>
#include <string_view>

namespace mirantos {

// A fixed UTF-8 text as a QString.
inline QString U(std::string_view utf8)
{
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

} // namespace mirantos

namespace mirantos::text {

// Names and titles.
inline constexpr char AppTitle[] = "MIRANTOS";
inline constexpr char BoardShortName[] = "MIRANTOS";
inline constexpr char BoardName[] = "MIRANTOS Board";
inline constexpr char BoxCaption[] = "MIRANTOS Board";
inline constexpr char AlreadyRunning[] = "MIRANTOS はすでに起動しています";
// After AppTitle in the caption of a window on the simulated board.
inline constexpr char AppTitleSimulated[] = "（シミュレーションボード）";

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

// The window: the start/stop button's two captions (the controller tells start
// from stop by them), the other button, the list and filter captions.
inline constexpr char StartCaption[] = "測定開始";
inline constexpr char StopCaption[] = "測定停止";
inline constexpr char QuitCaption[] = "終了";
inline constexpr char RateCaption[] = "データレート";
inline constexpr char CountCaption[] = "データ数";
inline constexpr char ChannelCaption[] = "測定 CH";
inline constexpr char Sinc3Caption[] = "Sinc3";
inline constexpr char Sinc5Caption[] = "Sinc5+Sinc1";

// The window's menus.
inline constexpr char MenuFile[] = "ファイル(&F)";
inline constexpr char MenuExit[] = "終了(&X)";
inline constexpr char MenuData[] = "データ(&D)";
inline constexpr char MenuSave[] = "保存(&S)";
inline constexpr char MenuLoad[] = "読込み(&O)";
inline constexpr char MenuClear[] = "クリア";
inline constexpr char MenuYAxis[] = "Y軸表示";
inline constexpr char MenuVolt[] = "電圧値";

// The file dialogs and the overwrite question's box.
inline constexpr char SaveFilter[] = "Data files (*.DTA)";
inline constexpr char OpenFilter[] = "データファイル (*.DTA)";
inline constexpr char InitialFileName[] = "*.DTA";
inline constexpr char OverwriteCaption[] = "確認";
inline constexpr char OverwriteYes[] = "はい(&Y)";
inline constexpr char OverwriteNo[] = "いいえ(&N)";

// A long capture: the data menu's item, its dialog, the run panel's
// "記録中です：<file>", the status bar's end message
// ("<file> に <n> 件のデータを記録しました") and the write error box.
inline constexpr char MenuCapture[] = "長時間記録(&L)...";
inline constexpr char CaptureTitle[] = "長時間記録";
inline constexpr char CaptureFileCaption[] = "記録ファイル";
inline constexpr char CaptureBrowse[] = "参照(&B)...";
inline constexpr char CaptureByCount[] = "データ数で指定";
inline constexpr char CaptureByDuration[] = "時間で指定 [秒]";
inline constexpr char CaptureStart[] = "記録開始";
inline constexpr char CaptureCancel[] = "キャンセル";
inline constexpr char CaptureFilter[] = "記録ファイル (*.csv)";
inline constexpr char CaptureInitialName[] = "*.csv";
inline constexpr char CaptureRecording[] = "記録中です：";
inline constexpr char CaptureWrittenInfix[] = " に ";
inline constexpr char CaptureWrittenSuffix[] = " 件のデータを記録しました";
inline constexpr char CaptureNothing[] = "データがないため記録しませんでした";
inline constexpr char BoxCaptureWriteError[] = "ファイルの書き込みに失敗しました";
// The capture dialog's file size ("約 12.3 MB"), the progress bar of a long
// capture or a noise test ("50%  500 / 1000 件  残り 0:01") and the close
// box's question while one runs.
inline constexpr char CaptureSizeCaption[] = "ファイルサイズ";
inline constexpr char CaptureSizeAbout[] = "約 ";
inline constexpr char ProgressCountSuffix[] = " 件";
inline constexpr char ProgressLeft[] = "残り ";
inline constexpr char CloseWhileRecording[] = "記録中です。中止して終了しますか？";

// Names of the window's parts, as the memory error box shows them.
inline constexpr char PartMessage[] = "Z_Message";
inline constexpr char PartStatus[] = "myStatus";
inline constexpr char PartBoard[] = "AD7177";
inline constexpr char PartFile[] = "FILE";
inline constexpr char PartGraph[] = "TGraph_2CH";

// Every text above, for checks that must see them all (the font has glyphs
// for each).
inline constexpr const char* kAll[] = {AppTitle,
                                       BoardShortName,
                                       BoardName,
                                       BoxCaption,
                                       AlreadyRunning,
                                       AppTitleSimulated,
                                       BoardVersionSeparator,
                                       StatusNotFoundSuffix,
                                       StatusNoResponseSuffix,
                                       StatusErrorSuffix,
                                       Measuring,
                                       MeasureEnd,
                                       MeasureAbort,
                                       FileLoaded,
                                       FileSaved,
                                       Starting,
                                       MeasureError,
                                       SampleNumber,
                                       SampleCode,
                                       Separator,
                                       Channel,
                                       Maximum,
                                       Minimum,
                                       PeakToPeak,
                                       Sigma,
                                       UnitDigit,
                                       UnitMicrovolt,
                                       BoxMemoryError,
                                       BoxNotFoundSuffix,
                                       BoxNoResponseSuffix,
                                       BoxSaveError,
                                       BoxDataFileError,
                                       BoxNoDataError,
                                       StartCaption,
                                       StopCaption,
                                       QuitCaption,
                                       RateCaption,
                                       CountCaption,
                                       ChannelCaption,
                                       Sinc3Caption,
                                       Sinc5Caption,

                                       MenuFile,
                                       MenuExit,
                                       MenuData,
                                       MenuSave,
                                       MenuLoad,
                                       MenuClear,
                                       MenuYAxis,
                                       MenuVolt,
                                       SaveFilter,
                                       OpenFilter,
                                       InitialFileName,
                                       OverwriteCaption,
                                       OverwriteYes,
                                       OverwriteNo,
                                       MenuCapture,
                                       CaptureTitle,
                                       CaptureFileCaption,
                                       CaptureBrowse,
                                       CaptureByCount,
                                       CaptureByDuration,
                                       CaptureStart,
                                       CaptureCancel,
                                       CaptureFilter,
                                       CaptureInitialName,
                                       CaptureRecording,
                                       CaptureWrittenInfix,
                                       CaptureWrittenSuffix,
                                       CaptureNothing,
                                       BoxCaptureWriteError,
                                       CaptureSizeCaption,
                                       CaptureSizeAbout,
                                       ProgressCountSuffix,
                                       ProgressLeft,
                                       CloseWhileRecording,
                                       PartMessage,
                                       PartStatus,
                                       PartBoard,
                                       PartFile,
                                       PartGraph};

} // namespace mirantos::text
