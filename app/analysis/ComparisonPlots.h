#pragma once
// The overlaid plots of a comparison, one colour per run (the reference first)
// and a legend with the labels: the noise spectral densities (each on its own
// frequency axis values), the histograms normalised to probability density,
// and the Allan deviations. Drawn with QCustomPlot into an image, or onto a
// QCustomPlot painter (a PDF page gets them as vector graphics).

#include "Comparison.h"

#include <QImage>
#include <QRectF>
#include <QRgb>
#include <QSize>

#include <vector>

class QCPGraph;
class QCPPainter;
class QCustomPlot;

namespace mirantos {

// The colour of run i (0 the reference), the same in every plot and report.
QRgb ComparisonColor(int run);
// A new graph on the plot's axes for run i: its label as name, its colour.
QCPGraph* AddRunGraph(QCustomPlot& plot, const analysis::TRunFigures& run, int i, double penWidth);

// The overlays, one graph per run in its colour, the axes holding every run
// with a margin: the densities (legend of labels in the emptiest corner),
// the histograms as probability densities each about its own mean, the Allan
// deviations.
void ShowOverlaidDensities(QCustomPlot& plot, const std::vector<analysis::TRunFigures>& runs);
void ShowOverlaidHistograms(QCustomPlot& plot, const std::vector<analysis::TRunFigures>& runs,
                            bool voltMode);
void ShowOverlaidAllans(QCustomPlot& plot, const std::vector<analysis::TRunFigures>& runs);

// The three plots side by side (or stacked when taller than wide).
QImage RenderComparisonPlots(const std::vector<analysis::TRunFigures>& runs, QSize size);
// The same plots painted into `area` of a QCustomPlot painter (vector
// graphics on a PDF page: QCustomPlot draws only through its own painter).
void PaintComparisonPlots(QCPPainter& painter, const QRectF& area,
                          const std::vector<analysis::TRunFigures>& runs);

} // namespace mirantos
