#pragma once
// The fixed texts of the noise analysis window ("ノイズ解析"), beside Texts.h,
// in the same style. UTF-8; turn into QString with QString::fromUtf8.

namespace mirantos::text {

// The data menu item that opens the window, and its title.
inline constexpr char AnalysisMenuItem[] = "ノイズ解析(&A)...";
inline constexpr char AnalysisTitle[] = "ノイズ解析";

// Choices.
inline constexpr char AnalysisChannel[] = "チャンネル：";
inline constexpr char AnalysisWindow[] = "窓関数：";
inline constexpr char AnalysisSegment[] = "セグメント長：";
inline constexpr char AnalysisWindowBlackmanHarris[] = "ブラックマン・ハリス";
inline constexpr char AnalysisWindowHann[] = "ハン";
inline constexpr char AnalysisWindowRect[] = "矩形";

// Figures (label, then the value with its unit).
inline constexpr char AnalysisSamples[] = "データ数";
inline constexpr char AnalysisRate[] = "サンプリングレート";
inline constexpr char AnalysisMean[] = "平均値";
inline constexpr char AnalysisRms[] = "RMSノイズ";
inline constexpr char AnalysisPeakToPeak[] = "pp値";
inline constexpr char AnalysisMaximum[] = "最大値";
inline constexpr char AnalysisMinimum[] = "最小値";
inline constexpr char AnalysisEffectiveBits[] = "実効分解能";
inline constexpr char AnalysisNoiseFreeBits[] = "ノイズフリー分解能";
inline constexpr char AnalysisBinWidth[] = "ヒストグラムのビン幅";
inline constexpr char AnalysisSegments[] = "セグメント数";
inline constexpr char AnalysisMedianDensity[] = "ノイズ密度(中央値)";
inline constexpr char AnalysisBandRms[] = "帯域RMSノイズ";
inline constexpr char AnalysisDrift[] = "ドリフト";
inline constexpr char AnalysisLfPpMedian[] = "0.1〜10 Hz pp (中央値)";
inline constexpr char AnalysisLfPpMax[] = "0.1〜10 Hz pp (最大)";
inline constexpr char AnalysisLfRms[] = "0.1〜10 Hz rms";
// Why the 0.1-10 Hz figures are missing, for the two reasons the library gives.
inline constexpr char AnalysisLfUndefined[] = "算出できません：";
inline constexpr char AnalysisLfNeedsRate[] = "49.96 sps以上のレートが必要です";
inline constexpr char AnalysisLfNeedsLength[] = "30秒以上のデータが必要です";
inline constexpr char AnalysisLfIntervals[] = "区間";

// Units, each with its leading space.
inline constexpr char AnalysisUnitDigit[] = " digit";
inline constexpr char AnalysisUnitMicrovolt[] = " µV";
inline constexpr char AnalysisUnitBits[] = " bit";
inline constexpr char AnalysisUnitSps[] = " sps";
inline constexpr char AnalysisUnitHz[] = " Hz";
inline constexpr char AnalysisUnitDensity[] = " nV/√Hz";
inline constexpr char AnalysisUnitDrift[] = " µV/h";
inline constexpr char AnalysisBandFrom[] = "帯域 ";
inline constexpr char AnalysisBandTo[] = " ～ ";

// Plots.
inline constexpr char AnalysisHistogramTitle[] = "ヒストグラム";
inline constexpr char AnalysisSpectrumTitle[] = "ノイズスペクトル密度";
inline constexpr char AnalysisAxisCode[] = "AD変換値 [digit]";
inline constexpr char AnalysisAxisMicrovolt[] = "電圧 [µV]";
inline constexpr char AnalysisAxisCount[] = "度数";
inline constexpr char AnalysisAxisFrequency[] = "周波数 [Hz]";
inline constexpr char AnalysisAxisDensity[] = "ノイズ密度 [nV/√Hz]";
inline constexpr char AnalysisGaussian[] = "正規分布(同じ平均値と標準偏差)";
inline constexpr char AnalysisMedianLine[] = "中央値";
inline constexpr char AnalysisAllanTitle[] = "アラン偏差";
inline constexpr char AnalysisAxisTau[] = "平均化時間 τ [s]";
inline constexpr char AnalysisAxisAllan[] = "アラン偏差 [µV]";
inline constexpr char AnalysisWhiteGuide[] = "白色雑音 (σ/√m)";
inline constexpr char AnalysisLfTitle[] = "0.1〜10 Hz ノイズ";
inline constexpr char AnalysisAxisTime[] = "時間 [s]";

// Saving.
inline constexpr char AnalysisSavePicture[] = "画像保存(&P)...";
inline constexpr char AnalysisSaveHistogram[] = "ヒストグラムCSV保存(&H)...";
inline constexpr char AnalysisSaveSpectrum[] = "スペクトルCSV保存(&S)...";
inline constexpr char AnalysisPngFilter[] = "PNG画像 (*.png)";
inline constexpr char AnalysisCsvFilter[] = "CSVファイル (*.csv)";
inline constexpr char AnalysisSaveError[] = "ファイルを保存できませんでした";
// %1: the file name with the suffix the save added.
inline constexpr char AnalysisOverwriteQuestion[] = "ファイル：%1があります。\n上書きしますか";
inline constexpr char AnalysisSaveOverSource[] = "解析中のファイルには保存できません";

// States.
inline constexpr char AnalysisNoData[] = "データがありません";
inline constexpr char AnalysisTooFew[] = "データが10個未満のため解析できません";

// Comparison with reference files and the report.
inline constexpr char AnalysisAddReference[] = "比較に追加(&R)...";
inline constexpr char AnalysisSaveReport[] = "レポート保存(&P)...";
inline constexpr char AnalysisRemoveReference[] = "削除";
inline constexpr char AnalysisReferences[] = "比較するファイル：";
inline constexpr char AnalysisCurrentData[] = "現在のデータ";
inline constexpr char AnalysisReferenceFilter[] =
    "記録ファイル (*.csv *.CSV *.DTA *.dta);;すべてのファイル (*)";
inline constexpr char AnalysisPdfFilter[] = "PDF (*.pdf)";
inline constexpr char AnalysisReferenceReadError[] = "ファイルを読み込めませんでした";
inline constexpr char AnalysisReferenceNoChannel[] = "表示中のチャンネルがないファイルです";
inline constexpr char AnalysisReferenceTooFew[] = "データが少なすぎて解析できないファイルです";
inline constexpr char AnalysisTooManyReferences[] = "比較に追加できるのは7件までです";
inline constexpr char AnalysisDifference[] = "差";
inline constexpr char AnalysisProbabilityDensity[] = "確率密度";
// A density median from fewer than 8 Welch segments reads low; shown beside it.
inline constexpr char AnalysisFewSegments[] = "セグメント数が8未満のため低めの参考値";
// The comparison's row saying whether a run's bandwidth (rate, filter) is the current data's.
inline constexpr char AnalysisBandwidth[] = "測定帯域";
inline constexpr char AnalysisBandwidthSame[] = "同じ";
inline constexpr char AnalysisBandwidthDiffers[] =
    "異なります (rms・pp の差は帯域の違いを含みます)";
// Readable plots: a histogram far from zero is drawn about its mean (%1: the
// mean, digits grouped), overlaid ones each about its own; a log plot of
// nothing but zeros says so.
inline constexpr char AnalysisAxisDeviation[] = "平均 %1 µV からの偏差 [µV]";
inline constexpr char AnalysisAxisDeviationEach[] = "各平均からの偏差 [µV]";
inline constexpr char AnalysisAxisDeviationEachCode[] = "各平均からの偏差 [digit]";
inline constexpr char AnalysisNoLogPoints[] = "対数軸に描ける点がありません";

// The band of the band rms, typed as "F1:F2"; %1: half the rate in Hz.
inline constexpr char AnalysisBand[] = "帯域 [Hz]：";
inline constexpr char AnalysisBandInvalid[] =
    "帯域は 0〜%1 Hz の範囲で「下限:上限」と入力してください";
// The caption of a saved picture.
inline constexpr char AnalysisUnsavedData[] = "未保存のデータ";
inline constexpr char AnalysisCaptionSamples[] = " サンプル";
inline constexpr char AnalysisCaptionMade[] = "作成 ";
inline constexpr char AnalysisCaptionStart[] = "記録開始 ";
// The question before the report is saved.
inline constexpr char AnalysisReportDetails[] = "レポートの表題とメモ";
inline constexpr char AnalysisReportTitleLabel[] = "表題：";
inline constexpr char AnalysisReportNotesLabel[] = "メモ：";

// Every text above, for the font check.
inline constexpr const char* kAnalysisTexts[] = {
    AnalysisMenuItem,
    AnalysisTitle,
    AnalysisChannel,
    AnalysisWindow,
    AnalysisSegment,
    AnalysisWindowBlackmanHarris,
    AnalysisWindowHann,
    AnalysisWindowRect,
    AnalysisSamples,
    AnalysisRate,
    AnalysisMean,
    AnalysisRms,
    AnalysisPeakToPeak,
    AnalysisMaximum,
    AnalysisMinimum,
    AnalysisEffectiveBits,
    AnalysisNoiseFreeBits,
    AnalysisBinWidth,
    AnalysisSegments,
    AnalysisMedianDensity,
    AnalysisBandRms,
    AnalysisUnitDigit,
    AnalysisUnitMicrovolt,
    AnalysisUnitBits,
    AnalysisUnitSps,
    AnalysisUnitHz,
    AnalysisUnitDensity,
    AnalysisBandFrom,
    AnalysisBandTo,
    AnalysisHistogramTitle,
    AnalysisSpectrumTitle,
    AnalysisAxisCode,
    AnalysisAxisMicrovolt,
    AnalysisAxisCount,
    AnalysisAxisFrequency,
    AnalysisAxisDensity,
    AnalysisGaussian,
    AnalysisMedianLine,
    AnalysisSavePicture,
    AnalysisSaveHistogram,
    AnalysisSaveSpectrum,
    AnalysisPngFilter,
    AnalysisCsvFilter,
    AnalysisSaveError,
    AnalysisOverwriteQuestion,
    AnalysisSaveOverSource,
    AnalysisNoData,
    AnalysisTooFew,
    AnalysisDrift,
    AnalysisLfPpMedian,
    AnalysisLfPpMax,
    AnalysisLfRms,
    AnalysisLfUndefined,
    AnalysisLfNeedsRate,
    AnalysisLfNeedsLength,
    AnalysisLfIntervals,
    AnalysisUnitDrift,
    AnalysisAllanTitle,
    AnalysisAxisTau,
    AnalysisAxisAllan,
    AnalysisWhiteGuide,
    AnalysisLfTitle,
    AnalysisAxisTime,
    AnalysisAddReference,
    AnalysisSaveReport,
    AnalysisRemoveReference,
    AnalysisReferences,
    AnalysisCurrentData,
    AnalysisReferenceFilter,
    AnalysisPdfFilter,
    AnalysisReferenceReadError,
    AnalysisReferenceNoChannel,
    AnalysisReferenceTooFew,
    AnalysisTooManyReferences,
    AnalysisDifference,
    AnalysisProbabilityDensity,
    AnalysisFewSegments,
    AnalysisBandwidth,
    AnalysisBandwidthSame,
    AnalysisBandwidthDiffers,
    AnalysisAxisDeviation,
    AnalysisAxisDeviationEach,
    AnalysisAxisDeviationEachCode,
    AnalysisNoLogPoints,
    AnalysisBand,
    AnalysisBandInvalid,
    AnalysisUnsavedData,
    AnalysisCaptionSamples,
    AnalysisCaptionMade,
    AnalysisCaptionStart,
    AnalysisReportDetails,
    AnalysisReportTitleLabel,
    AnalysisReportNotesLabel,
};

} // namespace mirantos::text
