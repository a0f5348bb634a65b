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

// Every text above, for the font check.
inline constexpr const char* kReportTexts[] = {
    ReportTitle,    ReportDate,    ReportVersion,    ReportHost,
    ReportSettings, ReportFigures, ReportDifference, ReportPlots,
    ReportLabel,    ReportFilter,  ReportChannels,   ReportChannelAnalysed,
    ReportBoard,    ReportStart,   ReportBand,
};

} // namespace mirantos::text
