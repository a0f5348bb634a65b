#pragma once
// The fixed texts of the trace viewer ("記録ビューア") and of its pictures,
// beside Texts.h, in the same style. UTF-8; turn into QString with
// QString::fromUtf8.

namespace mirantos::text {

// The data menu item that opens the window, and its title.
inline constexpr char ViewerMenuItem[] = "記録ビューア(&V)...";
inline constexpr char ViewerTitle[] = "記録ビューア";

// Commands.
inline constexpr char ViewerOpen[] = "開く(&O)...";
inline constexpr char ViewerFitAll[] = "全体表示";
inline constexpr char ViewerFollow[] = "最新を表示";
inline constexpr char ViewerAnalyse[] = "この範囲を解析";
inline constexpr char ViewerChannel[] = "チャンネル：";
inline constexpr char ViewerBoth[] = "両方";
inline constexpr char ViewerOpenFilter[] =
    "記録ファイル (*.csv *.CSV *.DTA *.dta);;すべてのファイル (*)";

// States and errors.
inline constexpr char ViewerNoData[] = "記録ファイルを開いてください";
inline constexpr char ViewerReadError[] = "記録ファイルを読み込めませんでした";
inline constexpr char ViewerCapturing[] = "記録中";
inline constexpr char ViewerBusy[] = "記録中のため、ほかのファイルは開けません";
inline constexpr char ViewerCaptureEnded[] = "記録終了";

// Readouts: the sample under the mouse and the visible span.
inline constexpr char ViewerIndex[] = "データ番号：";
inline constexpr char ViewerTime[] = " / 時間：";
inline constexpr char ViewerCode[] = " / AD変換値：";
inline constexpr char ViewerSpan[] = "表示範囲：";
inline constexpr char ViewerSamples[] = " / データ数：";
inline constexpr char ViewerSecondsUnit[] = " s";
inline constexpr char ViewerRangeTo[] = "〜";
// The source the noise analysis shows for a span handed to it.
inline constexpr char ViewerSourcePrefix[] = "記録: ";

// Picture axes.
inline constexpr char ViewerAxisSeconds[] = "[s]";
inline constexpr char ViewerAxisDigit[] = "[digit]";
inline constexpr char ViewerAxisMicrovolt[] = "[µV]";

// Vertical placement and the time axis.
inline constexpr char ViewerLayout[] = "縦軸：";
inline constexpr char ViewerLayoutCommon[] = "共通";
inline constexpr char ViewerLayoutLanes[] = "チャンネル別";
inline constexpr char ViewerLayoutAc[] = "AC (平均除去)";
inline constexpr char ViewerFitY[] = "Y軸合わせ";
inline constexpr char ViewerTimeAxis[] = "時間軸：";
inline constexpr char ViewerTimeElapsed[] = "経過時間";
inline constexpr char ViewerTimeClock[] = "時刻";
inline constexpr char ViewerAxisMinSec[] = "[m:s]";
inline constexpr char ViewerAxisHourMinSec[] = "[h:m:s]";
inline constexpr char ViewerAxisClock[] = "時刻";
inline constexpr char ViewerAxisAc[] = "平均との差";
inline constexpr char ViewerAcMean[] = " 平均 ";
inline constexpr char ViewerUnitMicrovolt[] = " µV";

// Every text above, for the font check.
inline constexpr const char* kViewerTexts[] = {
    ViewerMenuItem,      ViewerTitle,        ViewerOpen,           ViewerFitAll,
    ViewerFollow,        ViewerAnalyse,      ViewerChannel,        ViewerBoth,
    ViewerOpenFilter,    ViewerNoData,       ViewerReadError,      ViewerCapturing,
    ViewerBusy,          ViewerCaptureEnded, ViewerIndex,          ViewerTime,
    ViewerCode,          ViewerSpan,         ViewerSamples,        ViewerSecondsUnit,
    ViewerRangeTo,       ViewerSourcePrefix, ViewerAxisSeconds,    ViewerAxisDigit,
    ViewerAxisMicrovolt, ViewerLayout,       ViewerLayoutCommon,   ViewerLayoutLanes,
    ViewerLayoutAc,      ViewerFitY,         ViewerTimeAxis,       ViewerTimeElapsed,
    ViewerTimeClock,     ViewerAxisMinSec,   ViewerAxisHourMinSec, ViewerAxisClock,
    ViewerAxisAc,        ViewerAcMean,       ViewerUnitMicrovolt,
};

} // namespace mirantos::text
