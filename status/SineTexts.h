#pragma once
// The texts of the noise analysis window's "正弦波解析" page: the sine-wave
// test of a tone (SNR, THD, SINAD, SFDR, ENOB and the four-parameter fit).

namespace mirantos::text {

inline constexpr char SinePage[] = "正弦波解析";
inline constexpr char NoisePage[] = "ノイズ解析";
// The options.
inline constexpr char SineWindow[] = "窓関数：";
inline constexpr char SineWindowBh7[] = "ブラックマン・ハリス (7項)";
inline constexpr char SineWindowRect[] = "矩形 (コヒーレント記録のみ)";
inline constexpr char SineSideBins[] = "サイドビン：";
inline constexpr char SineSideBinsAuto[] = "窓関数に合わせる";
inline constexpr char SineHarmonics[] = "高調波の次数：";
inline constexpr char SineTone[] = "信号周波数 [Hz]：";
inline constexpr char SineToneAuto[] = "自動 (最大のビン)";
inline constexpr char SineToneInvalid[] = "信号周波数は 0〜%1 Hz の範囲で入力してください";
// The figures, each named with what it is; units follow the value.
inline constexpr char SineFundamental[] = "基本波の周波数";
inline constexpr char SineAmplitude[] = "基本波の振幅 (ピーク)";
inline constexpr char SineAmplitudeFs[] = "基本波の振幅 (フルスケール比)";
inline constexpr char SineSnr[] = "SNR (信号対雑音比)";
inline constexpr char SineThd[] = "THD (全高調波歪み)";
inline constexpr char SineSinad[] = "SINAD (信号対雑音・歪み比)";
inline constexpr char SineSfdr[] = "SFDR (スプリアスフリー・ダイナミックレンジ)";
inline constexpr char SineSpur[] = "最大スプリアスの周波数";
inline constexpr char SineEnob[] = "ENOB (有効ビット数)";
inline constexpr char SineEnobFs[] = "ENOB (フルスケール換算)";
inline constexpr char SineHarmonic[] = "第%1高調波";
inline constexpr char SineHarmonicOverlaps[] = "他の成分と重なります";
inline constexpr char SineFitTitle[] = "正弦波フィット (4パラメータ)";
inline constexpr char SineFitFrequency[] = "フィット周波数";
inline constexpr char SineFitAmplitude[] = "フィット振幅 (ピーク)";
inline constexpr char SineFitPhase[] = "フィット位相";
inline constexpr char SineFitOffset[] = "フィットのオフセット";
inline constexpr char SineFitResidual[] = "残差 (RMS)";
inline constexpr char SineFitEnob[] = "ENOB (フィット残差から)";
inline constexpr char SineFitIterations[] = "反復回数";
inline constexpr char SineFitNotConverged[] = "収束しませんでした";
inline constexpr char SineUnitDb[] = " dB";
inline constexpr char SineUnitDbc[] = " dBc";
inline constexpr char SineUnitDbfs[] = " dBFS";
inline constexpr char SineUnitRad[] = " rad";
inline constexpr char SineUnitTimes[] = " 回";
// The plots.
inline constexpr char SineSpectrumTitle[] = "スペクトル (窓関数適用)";
inline constexpr char SineAxisDbfs[] = "レベル [dBFS]";
inline constexpr char SineMarkFundamental[] = "基本波";
inline constexpr char SineMarkHarmonic[] = "H%1";
inline constexpr char SineMarkSpur[] = "最大スプリアス";
inline constexpr char SineResidualPhaseTitle[] = "フィット残差 対 位相";
inline constexpr char SineResidualValueTitle[] = "フィット残差 対 フィット値";
inline constexpr char SineAxisPhase[] = "位相 [°]";
inline constexpr char SineAxisResidual[] = "残差 [µV]";
inline constexpr char SineAxisFitted[] = "フィット値 [µV]";
// Why nothing is shown.
inline constexpr char SineComputing[] = "計算中…";
inline constexpr char SineUndefined[] = "算出できません：";
inline constexpr char SineNeedsSamples[] = "1024個以上のデータが必要です";
inline constexpr char SineNoTone[] = "DC領域より上に信号のビンがありません";
inline constexpr char SineAtEdge[] = "基本波が帯域の端にあります";
inline constexpr char SineNoNoise[] = "基本波のほかに比べる雑音やスプリアスがありません";
inline constexpr char SineNoHarmonic[] = "すべての高調波がDC領域か基本波と重なります";
inline constexpr char SineFitSingular[] = "フィットの方程式が解けません (信号がありません)";

// Every text above, for the font check.
inline constexpr const char* kSineTexts[] = {
    SinePage,
    SineWindow,
    SineWindowBh7,
    SineWindowRect,
    SineSideBins,
    SineSideBinsAuto,
    SineHarmonics,
    SineTone,
    SineToneAuto,
    SineToneInvalid,
    SineFundamental,
    SineAmplitude,
    SineAmplitudeFs,
    SineSnr,
    SineThd,
    SineSinad,
    SineSfdr,
    SineSpur,
    SineEnob,
    SineEnobFs,
    SineHarmonic,
    SineHarmonicOverlaps,
    SineFitTitle,
    SineFitFrequency,
    SineFitAmplitude,
    SineFitPhase,
    SineFitOffset,
    SineFitResidual,
    SineFitEnob,
    SineFitIterations,
    SineFitNotConverged,
    SineUnitDb,
    SineUnitDbc,
    SineUnitDbfs,
    SineUnitRad,
    SineUnitTimes,
    SineSpectrumTitle,
    SineAxisDbfs,
    SineMarkFundamental,
    SineMarkHarmonic,
    SineMarkSpur,
    SineResidualPhaseTitle,
    SineResidualValueTitle,
    SineAxisPhase,
    SineAxisResidual,
    SineAxisFitted,
    SineComputing,
    SineUndefined,
    SineNeedsSamples,
    SineNoTone,
    SineAtEdge,
    NoisePage,
    SineNoNoise,
    SineNoHarmonic,
    SineFitSingular,
};

} // namespace mirantos::text
