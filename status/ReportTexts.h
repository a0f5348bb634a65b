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

// Every text above, for the font check.
inline constexpr const char* kReportTexts[] = {
    ReportTitle,         ReportDate,    ReportVersion,    ReportHost,
    ReportSettings,      ReportFigures, ReportDifference, ReportPlots,
    ReportLabel,         ReportFilter,  ReportChannels,   ReportChannelAnalysed,
    ReportBoard,         ReportStart,   ReportBand,       ReportSimulatedBoard,
    ReportSimulatedNote,
};

} // namespace mirantos::text
