#pragma once
// The four plots of the noise analysis, drawn with QCustomPlot: the histogram
// of codes (bars, with the normal distribution of the same mean and sigma over
// them) in codes or microvolts, the noise spectral density on log-log axes,
// the Allan deviation on log-log axes with the white-noise guide, and the
// 0.1-10 Hz trace with each interval's peak-to-peak marked. The window shows
// them; RenderNoisePlots draws them into one picture for a saved PNG and for
// the command-line tool.

#include "LowFrequency.h"
#include "NoiseAnalysis.h"

#include <QImage>
#include <QSize>
#include <QString>
#include <QVector>

#include <span>

class QCPPainter;
class QWidget;
class QCustomPlot;
class QRectF;

namespace mirantos {

// A window's plot, named and prepared, never smaller than a size at which its
// title, both axis texts and three ticks still fit.
inline constexpr QSize kPlotMinimum(300, 210);
QCustomPlot* NewPlot(QWidget* parent, const char* name, void (*prepare)(QCustomPlot&));

// Fonts, the title row, axis texts and the arranged legend of an empty plot.
void PreparePlot(QCustomPlot& plot, const char* title, const char* xLabel, const char* yLabel);
void PrepareHistogramPlot(QCustomPlot& plot);
void PrepareSpectrumPlot(QCustomPlot& plot);
void PrepareAllanPlot(QCustomPlot& plot);
void PrepareLowFrequencyPlot(QCustomPlot& plot);

// Replace the plot's contents with the figures' histogram / density; does not
// replot. A plot that cannot be drawn (too few samples, not 30 s for the
// 0.1-10 Hz figures) says why in its middle instead.
// In microvolts the axis shows deviations from the mean, stated in its title.
void ShowHistogram(QCustomPlot& plot, const analysis::TNoiseFigures& f, bool voltMode);
// That title, the mean given to the decimals `resolution` needs.
QString OffsetAxisTitle(double mean, double resolution);
void ShowSpectrum(QCustomPlot& plot, const analysis::TNoiseFigures& f);
// The Allan points (graph 0) and the line sigma/sqrt(m) through the first (graph 1, dashed).
void ShowAllan(QCustomPlot& plot, const analysis::TLowFrequencyFigures& lf);
// The kept 0.1-10 Hz samples against time in s (graph 0, decimated), and for
// each interval a short line at its maximum (graph 1) and at its minimum
// (graph 2) with its pp as a label (kept inside the plot and apart, the ones
// without room left out); the reason when the figures are not defined.
void ShowLowFrequency(QCustomPlot& plot, const analysis::TLowFrequencyFigures& lf, double rateSps);
// Empties a plot prepared by one of the functions above.
void ClearNoisePlot(QCustomPlot& plot);

// The points of one curve, in drawing order.
struct TPlotPoints {
    QVector<double> keys, values;
};
// What the plots above draw of a run, shared with the overlaid comparison:
// the density from the first bin above 0 Hz where it is positive (a log axis
// has no place for the rest); the Allan points with positive tau and
// deviation; the histogram as a probability density, count / (N * bin width)
// per code or per microvolt at each bin's centre (empty without counts).
TPlotPoints DensityPoints(const analysis::TSpectrum& s);
TPlotPoints AllanPoints(const analysis::TLowFrequencyFigures& lf);
TPlotPoints HistogramDensityPoints(const analysis::TNoiseFigures& f, bool voltMode);
// The size of one code in microvolts at `gain` (at least 1).
double MicrovoltsPerCode(int gain);

// Samples y_i at x0 + i dx reduced for drawing: each of `buckets` consecutive
// runs of samples gives its minimum and maximum, in sample order, at their own
// x, so a line through them covers what every sample would have drawn. Short
// inputs (at most 2 buckets points) come back whole.
TPlotPoints DecimateMinMax(std::span<const double> y, double x0, double dx, int buckets);
inline constexpr int kTraceBuckets = 2000;

inline constexpr QSize kNoisePictureSize(900, 900);

// The plot painted into `area` as a plot `pixelWidth` of its own pixels wide
// (and as high as the area's shape gives), scaled to fit: fonts and lines keep
// their proportions on a page of any resolution; vector graphics on a PDF.
void PaintPlotScaled(QCPPainter& painter, QCustomPlot& plot, const QRectF& area, int pixelWidth);

// Histogram and density above, Allan deviation and 0.1-10 Hz trace below,
// white background. QCustomPlot is a widget, so a QApplication must exist
// (the offscreen platform will do).
QImage RenderNoisePlots(const analysis::TNoiseFigures& f, const analysis::TLowFrequencyFigures& lf,
                        bool voltMode, QSize size = kNoisePictureSize);

} // namespace mirantos
