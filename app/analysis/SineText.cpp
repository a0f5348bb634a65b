#include "SineText.h"

#include "NoiseAnalysisText.h"
#include "SineTexts.h"

#include <numbers>
#include <utility>

namespace mirantos::analysisview {

namespace {

QString Number(double v, int decimals, const char* unit)
{
    return Fixed(v, decimals) + Utf8(unit);
}

QString Frequency(double hz)
{
    return QString::number(hz, 'f', 6) + Utf8(text::AnalysisUnitHz);
}

} // namespace

std::vector<TSineRow> SineRows(const analysis::TSineFigures& f)
{
    std::vector<TSineRow> rows{
        {"fundamental", Utf8(text::SineFundamental), Frequency(f.fundamentalHz)},
        {"amplitude", Utf8(text::SineAmplitude), Microvolts(f.amplitudeUv, 4)},
        {"amplitude_dbfs", Utf8(text::SineAmplitudeFs),
         Number(f.amplitudeDbfs, 3, text::SineUnitDbfs)},
        {"snr", Utf8(text::SineSnr), Number(f.snrDb, 2, text::SineUnitDb)},
        {"thd", Utf8(text::SineThd), Number(f.thdDbc, 2, text::SineUnitDbc)},
        {"sinad", Utf8(text::SineSinad), Number(f.sinadDb, 2, text::SineUnitDb)},
        {"sfdr", Utf8(text::SineSfdr), Number(f.sfdrDbc, 2, text::SineUnitDbc)},
        {"spur", Utf8(text::SineSpur), Frequency(f.spurHz)},
        {"enob", Utf8(text::SineEnob), Number(f.enobBits, 3, text::AnalysisUnitBits)},
        {"enob_fs", Utf8(text::SineEnobFs), Number(f.enobFsBits, 3, text::AnalysisUnitBits)},
    };
    for (const analysis::TSineHarmonic& h : f.harmonics) {
        const QString at = Frequency(h.fHz) + "  ";
        rows.push_back({"h" + QString::number(h.h), Utf8(text::SineHarmonic).arg(h.h),
                        h.dBc ? at + Number(*h.dBc, 2, text::SineUnitDbc)
                              : at + Utf8(text::SineHarmonicOverlaps)});
    }
    if (!f.fit) {
        rows.push_back(
            {"fit", Utf8(text::SineFitTitle), Utf8(text::SineUndefined) + SineReason(f.fitReason)});
        return rows;
    }
    const analysis::TSineFit& fit = *f.fit;
    rows.push_back({"fit_frequency", Utf8(text::SineFitFrequency), Frequency(fit.fHz)});
    rows.push_back({"fit_amplitude", Utf8(text::SineFitAmplitude), Microvolts(fit.amplitudeUv, 4)});
    rows.push_back({"fit_phase", Utf8(text::SineFitPhase),
                    Number(fit.phaseRad, 6, text::SineUnitRad) + " (" +
                        Fixed(fit.phaseRad * 180.0 / std::numbers::pi, 3) + "°)"});
    rows.push_back({"fit_offset", Utf8(text::SineFitOffset), Microvolts(fit.offsetUv, 4)});
    rows.push_back({"fit_residual", Utf8(text::SineFitResidual), Microvolts(fit.residualRmsUv, 5)});
    rows.push_back(
        {"fit_enob", Utf8(text::SineFitEnob),
         fit.enobBits ? Number(*fit.enobBits, 3, text::AnalysisUnitBits) : QStringLiteral("—")});
    rows.push_back(
        {"fit_iterations", Utf8(text::SineFitIterations),
         QString::number(fit.iterations) + Utf8(text::SineUnitTimes) +
             (fit.converged ? QString() : " (" + Utf8(text::SineFitNotConverged) + ")")});
    return rows;
}

QString SineReason(const std::string& reason)
{
    static const std::pair<const char*, const char*> kReasons[] = {
        {analysis::kSineReasonLength, text::SineNeedsSamples},
        {analysis::kSineReasonNoBin, text::SineNoTone},
        {analysis::kSineReasonNoTone, text::SineNoTone},
        {analysis::kSineReasonEdge, text::SineAtEdge},
        {analysis::kSineReasonNoNoise, text::SineNoNoise},
        {analysis::kSineReasonNoHarmonic, text::SineNoHarmonic},
        {analysis::kSineFitNotConverged, text::SineFitNotConverged},
        {analysis::kSineFitSingular, text::SineFitSingular},
    };
    for (const auto& [library, window] : kReasons)
        if (reason == library)
            return Utf8(window);
    return QString::fromStdString(reason);
}

} // namespace mirantos::analysisview
