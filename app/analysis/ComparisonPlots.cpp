#include "ComparisonPlots.h"
#include "Texts.h"

#include "AnalysisTexts.h"
#include "MeasureRecord.h"
#include "NoisePlots.h"
#include "PlotAids.h"
#include "PlotGeometry.h"
#include "UiFont.h"

#include <qcustomplot.h>

#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>

namespace mirantos {

namespace {

// Eight colours that stay apart on white paper and in grey print.
constexpr std::array<QRgb, analysis::kMaxComparedRuns> kColors{
    qRgb(31, 119, 180),  qRgb(214, 39, 40), qRgb(44, 160, 44),   qRgb(255, 127, 14),
    qRgb(148, 103, 189), qRgb(140, 86, 75), qRgb(227, 119, 194), qRgb(23, 190, 207),
};

// The range of the positive, finite values.
struct TSpan {
    double lo = 0, hi = 0;
    bool any = false;
    void Add(double v)
    {
        if (!(v > 0.0) || !std::isfinite(v))
            return;
        lo = any ? std::min(lo, v) : v;
        hi = any ? std::max(hi, v) : v;
        any = true;
    }
    void Add(const QVector<double>& values)
    {
        for (double v : values)
            Add(v);
    }
};

// A log range around the span, or a decade when there is nothing to show.
std::pair<double, double> LogRange(const TSpan& s, double fraction)
{
    return s.any ? plotgeometry::PadLogRange(s.lo, s.hi, fraction) : std::pair{1.0, 10.0};
}

} // namespace

void ShowOverlaidDensities(QCustomPlot& plot, const std::vector<analysis::TRunFigures>& runs)
{
    ClearNoisePlot(plot);
    TSpan x, y;
    for (size_t i = 0; i < runs.size(); ++i) {
        // Each run on its own frequencies: files at different rates stay as they are.
        const auto [keys, values] = DensityPoints(runs[i].noise.spectrum);
        x.Add(keys);
        y.Add(values);
        AddRunGraph(plot, runs[i], static_cast<int>(i), 1.2)->setData(keys, values, true);
    }
    const auto [xLo, xHi] = LogRange(x, 0.03);
    const auto [yLo, yHi] = LogRange(y, 0.08);
    plot.xAxis->setRange(xLo, xHi);
    // Room above the highest run for the legend.
    plot.yAxis->setRange(yLo, yHi * 4.0);
    plot.legend->setVisible(!runs.empty());
}

void ShowOverlaidHistograms(QCustomPlot& plot, const std::vector<analysis::TRunFigures>& runs,
                            bool voltMode)
{
    ClearNoisePlot(plot);
    // Each about its own mean: runs at different offsets compare by their shapes.
    plot.xAxis->setLabel(
        U(voltMode ? text::AnalysisAxisDeviationEach : text::AnalysisAxisDeviationEachCode));
    plot.yAxis->setLabel(U(text::AnalysisProbabilityDensity) +
                         U(voltMode ? " [1/µV]" : " [1/digit]"));
    double lo = 0, hi = 0, top = 0;
    bool any = false;
    for (size_t i = 0; i < runs.size(); ++i) {
        const analysis::TNoiseFigures& f = runs[i].noise;
        // Areas of one, comparable across runs of any length, gain or bin
        // width. A step line, as overlaid bars would hide each other.
        auto [keys, values] = HistogramDensityPoints(f, voltMode);
        const double mean = voltMode ? f.meanUv : f.meanCode;
        for (double& k : keys)
            k -= mean;
        if (!keys.isEmpty()) {
            const double width = static_cast<double>(f.histogram.binWidth) *
                                 (voltMode ? MicrovoltsPerCode(f.gain) : 1.0);
            top = std::max(top, *std::max_element(values.begin(), values.end()));
            const double a = keys.front() - width;
            const double b = keys.back() + width;
            lo = any ? std::min(lo, a) : a;
            hi = any ? std::max(hi, b) : b;
            any = true;
        }
        QCPGraph* g = AddRunGraph(plot, runs[i], static_cast<int>(i), 1.2);
        g->setLineStyle(QCPGraph::lsStepCenter);
        g->setData(keys, values, true);
    }
    plot.xAxis->setNumberFormat("g");
    plot.xAxis->setNumberPrecision(6);
    plot.xAxis->setRange(any ? lo : -1.0, any ? hi : 1.0);
    plot.yAxis->setRange(0.0, top > 0.0 ? top * 1.3 : 1.0);
}

void ShowOverlaidAllans(QCustomPlot& plot, const std::vector<analysis::TRunFigures>& runs)
{
    ClearNoisePlot(plot);
    TSpan x, y;
    for (size_t i = 0; i < runs.size(); ++i) {
        const auto [keys, values] = AllanPoints(runs[i].low);
        x.Add(keys);
        y.Add(values);
        QCPGraph* g = AddRunGraph(plot, runs[i], static_cast<int>(i), 1.5);
        g->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCircle, 4));
        g->setData(keys, values, true);
    }
    if (!x.any)
        ShowPlotReason(plot, U(text::AnalysisTooFew));
    const auto [xLo, xHi] = LogRange(x, 0.08);
    const auto [yLo, yHi] = LogRange(y, 0.1);
    plot.xAxis->setRange(xLo, xHi);
    plot.yAxis->setRange(yLo, yHi * 2.0);
}

namespace {

// The three plots, filled; the legend of labels sits in the density plot.
struct TPlots {
    QCustomPlot spectrum, histogram, allan;
    explicit TPlots(const std::vector<analysis::TRunFigures>& runs)
    {
        PrepareSpectrumPlot(spectrum);
        PrepareHistogramPlot(histogram);
        PrepareAllanPlot(allan);
        ShowOverlaidDensities(spectrum, runs);
        ShowOverlaidHistograms(histogram, runs, true);
        ShowOverlaidAllans(allan, runs);
    }
};

// The three cells of `area`, side by side or stacked when taller than wide.
template <typename Draw>
void Layout(const QRectF& area, const std::vector<analysis::TRunFigures>& runs, Draw draw)
{
    TPlots plots(runs);
    QCustomPlot* order[] = {&plots.spectrum, &plots.histogram, &plots.allan};
    const bool stacked = area.height() > area.width();
    for (int i = 0; i < 3; ++i) {
        const QRectF cell = stacked ? QRectF(area.left(), area.top() + area.height() * i / 3.0,
                                             area.width(), area.height() / 3.0)
                                    : QRectF(area.left() + area.width() * i / 3.0, area.top(),
                                             area.width() / 3.0, area.height());
        draw(*order[i], cell);
    }
}

// A cell's width in the plots' own pixels, whatever the page's resolution.
constexpr int kCellPixels = 600;

} // namespace

QRgb ComparisonColor(int run)
{
    const int n = static_cast<int>(kColors.size());
    return kColors[static_cast<size_t>(((run % n) + n) % n)];
}

QCPGraph* AddRunGraph(QCustomPlot& plot, const analysis::TRunFigures& run, int i, double penWidth)
{
    QCPGraph* g = plot.addGraph(plot.xAxis, plot.yAxis);
    g->setName(QString::fromStdString(run.label));
    g->setPen(QPen(QColor(ComparisonColor(i)), penWidth));
    return g;
}

QImage RenderComparisonPlots(const std::vector<analysis::TRunFigures>& runs, QSize size)
{
    const int w = std::max(size.width(), 48);
    const int h = std::max(size.height(), 48);
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QCPPainter painter(&image);
    Layout(QRectF(0, 0, w, h), runs, [&](QCustomPlot& plot, const QRectF& cell) {
        const int cw = std::max(16, static_cast<int>(cell.width()));
        const int ch = std::max(16, static_cast<int>(cell.height()));
        plot.resize(cw, ch);
        painter.save();
        painter.translate(cell.topLeft());
        plot.toPainter(&painter, cw, ch);
        painter.restore();
    });
    painter.end();
    return image;
}

void PaintComparisonPlots(QCPPainter& p, const QRectF& area,
                          const std::vector<analysis::TRunFigures>& runs)
{
    // Painted straight onto the page: a recorded QPicture's replay would
    // rescale pixel fonts and clip rectangles by the device's resolution.
    Layout(area, runs, [&](QCustomPlot& plot, const QRectF& cell) {
        PaintPlotScaled(p, plot, cell, kCellPixels);
    });
}

} // namespace mirantos
