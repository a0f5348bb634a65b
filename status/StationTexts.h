#pragma once
// The fixed texts of the noise test ("ノイズ試験"): the data menu's item, its
// dialog, the result window and the boxes, beside Texts.h in the same style.
// UTF-8; turn into QString with mirantos::U.

namespace mirantos::text {

// The data menu item and the dialog.
inline constexpr char StationMenuItem[] = "ノイズ試験(&T)...";
inline constexpr char StationTitle[] = "ノイズ試験";
inline constexpr char StationLimitsCaption[] = "試験条件ファイル";
inline constexpr char StationSerialCaption[] = "シリアル番号";
inline constexpr char StationOperatorCaption[] = "担当者";
inline constexpr char StationDbCaption[] = "データベース";
inline constexpr char StationKeepCaption[] = "データの保存先フォルダ";
inline constexpr char StationKeepHint[] = "空欄: 保存しない";
inline constexpr char StationBrowse[] = "参照(&B)...";
inline constexpr char StationBrowseFolder[] = "参照(&R)...";
inline constexpr char StationStart[] = "試験開始";
inline constexpr char StationCancel[] = "キャンセル";
inline constexpr char StationLimitsFilter[] = "試験条件ファイル (*.json);;すべてのファイル (*)";
inline constexpr char StationInitialName[] = "*.json";

// Boxes: the reason follows on the next line.
inline constexpr char BoxStationLimits[] = "試験条件ファイルを使用できませんでした";
inline constexpr char BoxStationDb[] = "データベースの指定が正しくありませんでした";
inline constexpr char BoxStationKeep[] = "データの保存先フォルダがありません";
inline constexpr char BoxStationRead[] = "記録したデータを読み込めませんでした";
// The limits file names the other kind of board than the window runs on;
// these follow BoxStationLimits as its reason.
inline constexpr char StationUsbOnSim[] = "この試験条件ファイルは実機ボード用です (\"board\": "
                                          "\"usb\")。シミュレーションボードでは試験できません";
inline constexpr char StationSimOnUsb[] = "この試験条件ファイルはシミュレーションボード用です "
                                          "(\"board\": \"sim\")。実機ボードでは試験できません";

// The result window.
inline constexpr char StationResultTitle[] = "ノイズ試験の結果";
inline constexpr char StationColChannel[] = "チャンネル";
inline constexpr char StationColFigure[] = "項目";
inline constexpr char StationColValue[] = "値";
inline constexpr char StationColLimit[] = "限度";
inline constexpr char StationColVerdict[] = "判定";
inline constexpr char StationColMargin[] = "余裕";
inline constexpr char StationPass[] = "合格";
inline constexpr char StationFail[] = "不合格";
inline constexpr char StationNotComputed[] = "算出不可: ";
// A figure the run could not give: the test's error, not the board's failure.
inline constexpr char StationCheckError[] = "エラー";
inline constexpr char StationDefinitionError[] = "試験条件エラー";
inline constexpr char StationAtMost[] = " 以下";
inline constexpr char StationAtLeast[] = " 以上";
inline constexpr char StationRangeTo[] = " 〜 ";
inline constexpr char StationTestCaption[] = "試験：";
inline constexpr char StationSerialInfix[] = " / シリアル番号：";
inline constexpr char StationDataKept[] = "データファイル：";
inline constexpr char StationStoring[] = "結果をデータベースに保存しています。。。";
inline constexpr char StationStored[] = "結果を保存しました：";
inline constexpr char StationSpooled[] =
    "サーバーに接続できないため、結果をローカルに保存しました (次回送信します)：";
inline constexpr char StationStoreFailed[] = "結果を保存できませんでした：";
inline constexpr char StationUnsavedKept[] = "記録したデータを保存しました：";
inline constexpr char StationSimulatedResult[] =
    "シミュレーションボードの結果です (実機の測定ではありません)";

// The result's header and the state between a start and its verdict, and the certificate.
inline constexpr char StationOperatorInfix[] = " / 担当者：";
inline constexpr char StationDateCaption[] = "日時：";
inline constexpr char StationTesting[] = "試験中";
inline constexpr char StationSaveCertificate[] = "証明書保存(&C)...";
inline constexpr char StationCertificateTitle[] = "ノイズ試験 成績書";
inline constexpr char StationVerdictCaption[] = "総合判定：";

// A serial number or operator the station cannot take (too long, a control
// character, not UTF-8); the reason follows on the next line.
inline constexpr char BoxStationEntry[] = "入力内容を使用できませんでした";
// No whole copy of the raw data could be made (a full disk): where it stays instead.
inline constexpr char StationUnsavedHeld[] =
    "記録したデータをコピーできなかったため、一時フォルダに残しました：";

// The product and device under test (optional; the limits file may name the
// part number and lot), and how a run that did not complete is shown.
inline constexpr char StationPartCaption[] = "品番";
inline constexpr char StationLotCaption[] = "ロット";
inline constexpr char StationDutCaption[] = "DUT識別子";
inline constexpr char StationPartHeader[] = "品番：";
inline constexpr char StationLotHeader[] = "ロット：";
inline constexpr char StationDutHeader[] = "DUT識別子：";
inline constexpr char StationAborted[] = "試験中止";
inline constexpr char StationAbortedNote[] =
    "試験は中止されました。値は中止までに記録したデータのものです";
inline constexpr char StationReadErrorNote[] = "読み取りエラーで試験が終わりました：";
// The database refused the result for good; the reason follows on the next line.
inline constexpr char BoxStationStore[] = "結果をデータベースに保存できませんでした";

// Every text above, for the font check.
inline constexpr const char* kStationTexts[] = {
    StationMenuItem,
    StationTitle,
    StationLimitsCaption,
    StationSerialCaption,
    StationOperatorCaption,
    StationDbCaption,
    StationKeepCaption,
    StationKeepHint,
    StationBrowse,
    StationBrowseFolder,
    StationStart,
    StationCancel,
    StationLimitsFilter,
    StationInitialName,
    BoxStationLimits,
    BoxStationDb,
    BoxStationKeep,
    BoxStationRead,
    StationResultTitle,
    StationColChannel,
    StationColFigure,
    StationColValue,
    StationColLimit,
    StationColVerdict,
    StationColMargin,
    StationPass,
    StationFail,
    StationNotComputed,
    StationAtMost,
    StationAtLeast,
    StationRangeTo,
    StationTestCaption,
    StationSerialInfix,
    StationDataKept,
    StationStoring,
    StationStored,
    StationSpooled,
    StationStoreFailed,
    StationUnsavedKept,
    // The board the limits file is for, and the simulated board's result.
    StationUsbOnSim,
    StationSimOnUsb,
    StationSimulatedResult,
    // The result's header, the running state and the certificate.
    StationOperatorInfix,
    StationDateCaption,
    StationTesting,
    StationSaveCertificate,
    StationCertificateTitle,
    // A figure not computed: an error of the test definition.
    StationCheckError,
    StationDefinitionError,
    StationVerdictCaption,
    // Refused entries, and raw data held where it was.
    BoxStationEntry,
    StationUnsavedHeld,
    // Part number, lot, DUT id; a run that did not complete; a refused result.
    StationPartCaption,
    StationLotCaption,
    StationDutCaption,
    StationPartHeader,
    StationLotHeader,
    StationDutHeader,
    StationAborted,
    StationAbortedNote,
    StationReadErrorNote,
    BoxStationStore,
};

} // namespace mirantos::text
