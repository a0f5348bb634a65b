#include "StationTable.h"

#include "AnalysisTexts.h"
#include "SineTexts.h"
#include "StationTexts.h"
#include "Texts.h"

#include <string_view>

namespace mirantos {

namespace {

// The limits file's keys by the names the noise window gives the same figures.
struct TFigureName {
    std::string_view figure;
    const char* name;
};
constexpr TFigureName kNames[] = {
    {"rms_uV", text::AnalysisRms},
    {"pp_uV", text::AnalysisPeakToPeak},
    {"rms_code", text::AnalysisRms},
    {"pp_code", text::AnalysisPeakToPeak},
    {"mean_uV", text::AnalysisMean},
    {"mean_code", text::AnalysisMean},
    {"effective_bits", text::AnalysisEffectiveBits},
    {"noise_free_bits", text::AnalysisNoiseFreeBits},
    {"nsd_median_nV", text::AnalysisMedianDensity},
    {"band_rms_uV", text::AnalysisBandRms},
    {"slope_uV_per_h", text::AnalysisDrift},
    {"lf_0p1_10Hz.pp_uV_median", text::AnalysisLfPpMedian},
    {"lf_0p1_10Hz.pp_uV_max", text::AnalysisLfPpMax},
    {"lf_0p1_10Hz.rms_uV", text::AnalysisLfRms},
    {"snr_dB", text::SineSnr},
    {"thd_dBc", text::SineThd},
    {"sinad_dB", text::SineSinad},
    {"sfdr_dBc", text::SineSfdr},
    {"enob_bits", text::SineEnob},
    {"enob_fs_bits", text::SineEnobFs},
};

QString Number(double v)
{
    return QString::number(v, 'g', 6);
}

QString LimitCell(const station::TLimit& limit)
{
    if (limit.min && limit.max)
        return Number(*limit.min) + U(text::StationRangeTo) + Number(*limit.max);
    if (limit.max)
        return Number(*limit.max) + U(text::StationAtMost);
    if (limit.min)
        return Number(*limit.min) + U(text::StationAtLeast);
    return QString();
}

} // namespace

QString StationFigureName(const station::TLimit& limit)
{
    QString s = QString::fromStdString(limit.figure);
    for (const TFigureName& n : kNames) {
        if (n.figure == limit.figure)
            s = U(n.name);
    }
    if (limit.bandLowHz && limit.bandHighHz)
        s += QStringLiteral(" (") + Number(*limit.bandLowHz) + U(text::StationRangeTo) +
             Number(*limit.bandHighHz) + QStringLiteral(" Hz)");
    if (const station::TFigureInfo* info = station::FindFigure(limit.figure))
        s += QStringLiteral(" [") + U(info->unit) + QStringLiteral("]");
    return s;
}

QStringList StationHeader()
{
    return {U(text::StationColChannel), U(text::StationColFigure),  U(text::StationColValue),
            U(text::StationColLimit),   U(text::StationColVerdict), U(text::StationColMargin)};
}

std::vector<QStringList> StationRows(const station::TVerdict& verdict)
{
    std::vector<QStringList> rows;
    for (const station::TCheck& c : verdict.checks) {
        const QString value = c.value
                                  ? Number(*c.value)
                                  : U(text::StationNotComputed) + QString::fromStdString(c.reason);
        const QString margin =
            c.marginPct ? QString::number(*c.marginPct, 'f', 1) + QStringLiteral(" %") : QString();
        rows.push_back({QStringLiteral("CH%1").arg(c.channel), StationFigureName(c.limit), value,
                        LimitCell(c.limit),
                        U(c.pass    ? text::StationPass
                          : c.value ? text::StationFail
                                    : text::StationCheckError),
                        margin});
    }
    return rows;
}

} // namespace mirantos
