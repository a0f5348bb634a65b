#pragma once
// What the noise analysis window's two source files share: number texts in the
// window's units, the comparison table's rows and the overlaid plots.

#include "AnalysisTexts.h"
#include "Comparison.h"

#include <QString>
#include <iterator>
#include <vector>

class QCustomPlot;

namespace mirantos::analysisview {

inline QString Utf8(const char* s)
{
    return QString::fromUtf8(s);
}

inline QString Fixed(double v, int decimals)
{
    return QString::number(v, 'f', decimals);
}

inline QString Codes(double v, int decimals)
{
    return Fixed(v, decimals) + Utf8(text::AnalysisUnitDigit);
}

inline QString Microvolts(double v, int decimals)
{
    return Fixed(v, decimals) + Utf8(text::AnalysisUnitMicrovolt);
}

// The rows of the comparison table: each run's figures, then its difference
// to the current data (empty in the current data's own column).
inline constexpr const char* kComparisonRows[] = {
    text::AnalysisSamples,       text::AnalysisRate,          text::AnalysisRms,
    text::AnalysisPeakToPeak,    text::AnalysisEffectiveBits, text::AnalysisNoiseFreeBits,
    text::AnalysisMedianDensity, text::AnalysisRms,           text::AnalysisPeakToPeak,
    text::AnalysisMedianDensity, text::AnalysisEffectiveBits, text::AnalysisNoiseFreeBits,
    text::AnalysisBandwidth,
};
inline constexpr int kComparisonFigureRows = 7;

// Each run drawn over the others, one colour per run (the first is the current data).
void OverlayHistograms(QCustomPlot& plot, const std::vector<analysis::TRunFigures>& runs,
                       bool voltMode);
void OverlaySpectra(QCustomPlot& plot, const std::vector<analysis::TRunFigures>& runs);
void OverlayAllan(QCustomPlot& plot, const std::vector<analysis::TRunFigures>& runs);

} // namespace mirantos::analysisview
