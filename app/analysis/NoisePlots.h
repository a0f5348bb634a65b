#pragma once
// The two plots of the noise analysis, drawn with QCustomPlot: the histogram
// of codes (bars, with the normal distribution of the same mean and sigma over
// them) in codes or microvolts, and the noise spectral density on log-log axes.
// The window shows them; RenderNoisePlots draws them into one picture for a
// saved PNG and for the command-line tool.

#include "NoiseAnalysis.h"

#include <QImage>
#include <QSize>

class QCustomPlot;

namespace mirantos {

// Fonts, title row and axis texts of an empty plot.
void PrepareHistogramPlot(QCustomPlot& plot);
void PrepareSpectrumPlot(QCustomPlot& plot);

// Replace the plot's contents with the figures' histogram / density; does not replot.
void ShowHistogram(QCustomPlot& plot, const analysis::TNoiseFigures& f, bool voltMode);
void ShowSpectrum(QCustomPlot& plot, const analysis::TNoiseFigures& f);
// Empties a plot prepared by one of the functions above.
void ClearNoisePlot(QCustomPlot& plot);

inline constexpr QSize kNoisePictureSize(900, 900);

// Histogram above density, white background. QCustomPlot is a widget, so a
// QApplication must exist (the offscreen platform will do).
QImage RenderNoisePlots(const analysis::TNoiseFigures& f, bool voltMode,
                        QSize size = kNoisePictureSize);

} // namespace mirantos
