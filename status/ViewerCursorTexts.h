#pragma once
// The trace viewer's texts for its cursors, view history, keys and the export
// of a span, beside ViewerTexts.h, in the same style. UTF-8; turn into
// QString with QString::fromUtf8.

namespace mirantos::text {

// Commands.
inline constexpr char ViewerCursorA[] = "カーソルA";
inline constexpr char ViewerCursorB[] = "カーソルB";
inline constexpr char ViewerCursorClear[] = "カーソル消去";
inline constexpr char ViewerBack[] = "戻る";
inline constexpr char ViewerExport[] = "CSV保存(&S)...";
inline constexpr char ViewerExportFilter[] = "記録ファイル (*.csv)";

// What the mouse and the keys do: the picture's tooltip.
inline constexpr char ViewerHelp[] =
    "ホイール：拡大／縮小　左ドラッグ：移動　右ドラッグ（Shift＋左ドラッグ）：範囲を拡大\n"
    "Ctrl＋左クリック：カーソルA　Ctrl＋右クリック：カーソルB　カーソル線はドラッグで移動\n"
    "キー　＋／－：拡大／縮小　←／→：移動（Shift：1画面）　Home／End：先頭／末尾　"
    "Backspace：戻る";

// The cursors' readout.
inline constexpr char ViewerCursorReadA[] = "カーソルA：";
inline constexpr char ViewerCursorReadB[] = " / B：";
inline constexpr char ViewerNumberOpen[] = " (No.";
inline constexpr char ViewerNumberClose[] = ")";
inline constexpr char ViewerDeltaT[] = " / Δt：";
inline constexpr char ViewerInverseDeltaT[] = " / 1/Δt：";
inline constexpr char ViewerHertzUnit[] = " Hz";
inline constexpr char ViewerDelta[] = " Δ：";
inline constexpr char ViewerMean[] = " / 平均：";
inline constexpr char ViewerSigma[] = " / σ：";
inline constexpr char ViewerPp[] = " / pp：";

// The export.
inline constexpr char ViewerExportSameFile[] = "表示中の記録ファイルには保存できません";
inline constexpr char ViewerExportError[] = "ファイルを保存できませんでした";
inline constexpr char ViewerOverwriteQuestion[] = "ファイル：%1があります。\n上書きしますか";

// Every text above, for the font check.
inline constexpr const char* kViewerCursorTexts[] = {
    ViewerCursorA,        ViewerCursorB,     ViewerCursorClear,
    ViewerBack,           ViewerExport,      ViewerExportFilter,
    ViewerHelp,           ViewerCursorReadA, ViewerCursorReadB,
    ViewerNumberOpen,     ViewerNumberClose, ViewerDeltaT,
    ViewerInverseDeltaT,  ViewerHertzUnit,   ViewerDelta,
    ViewerMean,           ViewerSigma,       ViewerPp,
    ViewerExportSameFile, ViewerExportError, ViewerOverwriteQuestion,
};

} // namespace mirantos::text
