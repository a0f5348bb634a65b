#pragma once
// The fixed texts of the noise report (PDF), beside AnalysisTexts.h, in the
// same style. The figure names are the analysis window's. UTF-8.

namespace mirantos::text {

inline constexpr char ReportTitle[] = "ノイズ解析レポート";
inline constexpr char ReportDate[] = "作成日時：";
inline constexpr char ReportVersion[] = "バージョン：";
inline constexpr char ReportHost[] = "ホスト名：";
inline constexpr char ReportSettings[] = "設定";
inline constexpr char ReportFigures[] = "ノイズ特性";
// Followed by the reference's label and ")".
inline constexpr char ReportDifference[] = "差 (基準: ";
inline constexpr char ReportPlots[] = "比較グラフ";
inline constexpr char ReportLabel[] = "名前";
inline constexpr char ReportFilter[] = "フィルタ";
inline constexpr char ReportChannels[] = "チャンネル";
inline constexpr char ReportChannelAnalysed[] = "解析チャンネル";
inline constexpr char ReportBoard[] = "ボード";
inline constexpr char ReportStart[] = "開始時刻";
inline constexpr char ReportBand[] = "帯域";
// After a simulated board's name and version in the settings table, and a
// line under the title when any run came from the simulated board.
inline constexpr char ReportSimulatedBoard[] = "（シミュレーション）";
inline constexpr char ReportSimulatedNote[] = "注意：シミュレーションボードのデータを含みます";
// The analysis settings: the window function's names are the window's.
inline constexpr char ReportWindow[] = "窓関数";
inline constexpr char ReportSegment[] = "セグメント長";
inline constexpr char ReportRbw[] = "分解能帯域幅 (RBW)";
inline constexpr char ReportEnbw[] = "等価雑音帯域幅 (ENBW)";
inline constexpr char ReportBins[] = " ビン";
inline constexpr char ReportNotes[] = "メモ";

// Every text above, for the font check.
inline constexpr const char* kReportTexts[] = {
    ReportTitle,         ReportDate,    ReportVersion,    ReportHost,
    ReportSettings,      ReportFigures, ReportDifference, ReportPlots,
    ReportLabel,         ReportFilter,  ReportChannels,   ReportChannelAnalysed,
    ReportBoard,         ReportStart,   ReportBand,       ReportSimulatedBoard,
    ReportSimulatedNote, ReportWindow,  ReportSegment,    ReportRbw,
    ReportEnbw,          ReportBins,    ReportNotes,
};

} // namespace mirantos::text
