#pragma once
// The sine-wave test's plots, drawn with QCustomPlot: the windowed spectrum in
// dBFS with the fundamental, each harmonic and the largest spur marked and
// named, and the four-parameter fit's residual against the tone's phase
// (0-360 degrees) and against the fitted value. A static nonlinearity shows as
// a curve the residual follows through the noise; noise alone scatters evenly
// about zero. The residual plots draw a thinned scatter of the samples and the
// mean residual of each of `kResidualBins` intervals over it.

#include "NoisePlots.h"
#include "SineAnalysis.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <span>

class QCPPainter;
class QCustomPlot;
class QRectF;

namespace mirantos {

void PrepareSineSpectrumPlot(QCustomPlot& plot);
void PrepareResidualPhasePlot(QCustomPlot& plot);
void PrepareResidualValuePlot(QCustomPlot& plot);

// The spectrum (graph 0) and the marks (graph 1, points), each mark labelled
// "基本波", "H2" ... (an overlapping harmonic unmarked) and "最大スプリアス".
void ShowSineSpectrum(QCustomPlot& plot, const analysis::TSineFigures& f);
// The residual plots; a fit that could not be made leaves them with its reason.
void ShowSineResiduals(QCustomPlot& phasePlot, QCustomPlot& valuePlot,
                       const analysis::TSineFigures& f);

inline constexpr int kResidualBins = 360;
inline constexpr int kResidualScatter = 20000;

// The mean of y over each of `bins` equal intervals of x in [lo, hi], at the
// interval's centre; empty intervals are left out.
TPlotPoints BinnedMean(std::span<const double> x, std::span<const double> y, double lo, double hi,
                       int bins);
// At most `most` of the points, evenly spread over the record (every k-th).
TPlotPoints Thinned(std::span<const double> x, std::span<const double> y, int most);

// The spectrum painted into `upper`, the two residual plots side by side into
// `lower`, as plots `pixelWidth` of their own pixels wide (vector graphics on a PDF).
void PaintSinePlots(QCPPainter& painter, const QRectF& upper, const QRectF& lower,
                    const analysis::TSineFigures& f, int pixelWidth);
// The three plots in one picture (spectrum above, residuals below), for the
// saved picture and the report.
QImage RenderSinePlots(const analysis::TSineFigures& f, QSize size = kNoisePictureSize);

} // namespace mirantos
