#include "SinePlots.h"

#include "AnalysisTexts.h"
#include "PlotAids.h"
#include "SineTexts.h"

#include <qcustomplot.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace mirantos {

namespace {

QString Utf8(const char* s)
{
    return QString::fromUtf8(s);
}

const QColor kLine(30, 90, 170);
const QColor kMark(200, 40, 40);
const QColor kScatter(120, 150, 200);

// A named mark: its point on graph 1 and its label, kept inside and apart by the layout.
void Mark(QCustomPlot& plot, QCPGraph& marks, double key, double value, const QString& name)
{
    marks.addData(key, value);
    auto* label = new QCPItemText(&plot);
    label->setText(name);
    label->setFont(plot.xAxis->labelFont());
    label->setColor(kMark);
    label->setPositionAlignment(Qt::AlignHCenter | Qt::AlignBottom);
    ArrangeLabel(plot, label, key, value);
}

} // namespace

void PrepareSineSpectrumPlot(QCustomPlot& plot)
{
    PreparePlot(plot, text::SineSpectrumTitle, text::AnalysisAxisFrequency, text::SineAxisDbfs);
}

void PrepareResidualPhasePlot(QCustomPlot& plot)
{
    PreparePlot(plot, text::SineResidualPhaseTitle, text::SineAxisPhase, text::SineAxisResidual);
    // Quarter turns read at once: 0, 90, 180, 270, 360.
    auto ticker = QSharedPointer<QCPAxisTickerFixed>::create();
    ticker->setTickStep(90.0);
    ticker->setScaleStrategy(QCPAxisTickerFixed::ssNone);
    plot.xAxis->setTicker(ticker);
}

void PrepareResidualValuePlot(QCustomPlot& plot)
{
    PreparePlot(plot, text::SineResidualValueTitle, text::SineAxisFitted, text::SineAxisResidual);
}

void ShowSineSpectrum(QCustomPlot& plot, const analysis::TSineFigures& f)
{
    ClearNoisePlot(plot);
    const double binHz = f.rateSps / f.n;
    QVector<double> keys;
    QVector<double> values;
    keys.reserve(f.k);
    values.reserve(f.k);
    double lowest = std::numeric_limits<double>::infinity();
    double highest = -std::numeric_limits<double>::infinity();
    for (int k = 1; k <= f.k && k < static_cast<int>(f.dbfs.size()); ++k) {
        const double v = f.dbfs[static_cast<size_t>(k)];
        if (!std::isfinite(v) || v <= analysis::kSineFloorDbfs)
            continue; // a bin of exactly nothing has no place on a dB axis
        keys.push_back(k * binHz);
        values.push_back(v);
        lowest = std::min(lowest, v);
        highest = std::max(highest, v);
    }
    if (keys.isEmpty()) {
        plot.xAxis->setRange(0.0, f.rateSps > 0 ? f.rateSps / 2 : 1.0);
        plot.yAxis->setRange(-200.0, 0.0);
        ShowPlotReason(plot, Utf8(text::SineNoTone));
        return;
    }
    QCPGraph* g = plot.addGraph(plot.xAxis, plot.yAxis);
    g->setName(Utf8(text::SineSpectrumTitle));
    g->setPen(QPen(kLine, 1));
    g->setData(keys, values, true);
    g->removeFromLegend();

    QCPGraph* marks = plot.addGraph(plot.xAxis, plot.yAxis);
    marks->setLineStyle(QCPGraph::lsNone);
    marks->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCircle, kMark, 7));
    marks->removeFromLegend();
    auto level = [&](int bin) {
        return bin >= 1 && bin < static_cast<int>(f.dbfs.size()) &&
                       f.dbfs[static_cast<size_t>(bin)] > analysis::kSineFloorDbfs
                   ? f.dbfs[static_cast<size_t>(bin)]
                   : lowest;
    };
    Mark(plot, *marks, f.fundamentalBin * binHz, level(f.fundamentalBin),
         Utf8(text::SineMarkFundamental));
    for (const analysis::TSineHarmonic& h : f.harmonics) {
        if (h.bins == 0)
            continue; // it lies in another component's bins: nothing of its own to point at
        Mark(plot, *marks, h.centreBin * binHz, level(h.centreBin),
             Utf8(text::SineMarkHarmonic).arg(h.h));
    }
    if (f.spurBin > 0)
        Mark(plot, *marks, f.spurBin * binHz, level(f.spurBin), Utf8(text::SineMarkSpur));

    plot.xAxis->setRange(0.0, f.rateSps / 2);
    // Room above the highest mark for its label.
    plot.yAxis->setRange(std::floor(lowest / 10.0) * 10.0 - 10.0,
                         std::max(0.0, std::ceil(highest / 10.0) * 10.0) + 20.0);
}

TPlotPoints BinnedMean(std::span<const double> x, std::span<const double> y, double lo, double hi,
                       int bins)
{
    TPlotPoints out;
    if (bins < 1 || !(hi > lo) || x.size() != y.size())
        return out;
    std::vector<double> sum(static_cast<size_t>(bins), 0.0);
    std::vector<long long> count(static_cast<size_t>(bins), 0);
    const double width = (hi - lo) / bins;
    for (size_t i = 0; i < x.size(); ++i) {
        if (!(x[i] >= lo) || !(x[i] <= hi))
            continue;
        const auto b = std::min(bins - 1, static_cast<int>((x[i] - lo) / width));
        sum[static_cast<size_t>(b)] += y[i];
        ++count[static_cast<size_t>(b)];
    }
    for (int b = 0; b < bins; ++b) {
        if (count[static_cast<size_t>(b)] == 0)
            continue;
        out.keys.push_back(lo + (b + 0.5) * width);
        out.values.push_back(sum[static_cast<size_t>(b)] /
                             static_cast<double>(count[static_cast<size_t>(b)]));
    }
    return out;
}

TPlotPoints Thinned(std::span<const double> x, std::span<const double> y, int most)
{
    TPlotPoints out;
    const size_t n = std::min(x.size(), y.size());
    if (n == 0 || most < 1)
        return out;
    const size_t step = (n + static_cast<size_t>(most) - 1) / static_cast<size_t>(most);
    for (size_t i = 0; i < n; i += step) {
        out.keys.push_back(x[i]);
        out.values.push_back(y[i]);
    }
    return out;
}

namespace {

void ShowResidual(QCustomPlot& plot, std::span<const double> x, std::span<const double> residual,
                  double lo, double hi)
{
    const auto [sx, sy] = Thinned(x, residual, kResidualScatter);
    QCPGraph* dots = plot.addGraph(plot.xAxis, plot.yAxis);
    dots->setLineStyle(QCPGraph::lsNone);
    dots->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDot, kScatter, 2));
    dots->setData(sx, sy);
    dots->removeFromLegend();
    const auto [mx, my] = BinnedMean(x, residual, lo, hi, kResidualBins);
    QCPGraph* mean = plot.addGraph(plot.xAxis, plot.yAxis);
    mean->setPen(QPen(kMark, 1.5));
    mean->setData(mx, my, true);
    mean->removeFromLegend();
    const auto [rLo, rHi] = std::minmax_element(residual.begin(), residual.end());
    const double span = std::max(*rHi - *rLo, 1e-9);
    plot.xAxis->setRange(lo, hi);
    plot.yAxis->setRange(*rLo - 0.05 * span, *rHi + 0.05 * span);
}

} // namespace

void ShowSineResiduals(QCustomPlot& phasePlot, QCustomPlot& valuePlot,
                       const analysis::TSineFigures& f)
{
    ClearNoisePlot(phasePlot);
    ClearNoisePlot(valuePlot);
    if (!f.fit || f.fit->residualUv.empty()) {
        const QString why = Utf8(text::SineUndefined) + QString::fromStdString(f.fitReason);
        for (QCustomPlot* p : {&phasePlot, &valuePlot}) {
            p->xAxis->setRange(0.0, 360.0);
            p->yAxis->setRange(-1.0, 1.0);
            ShowPlotReason(*p, why);
        }
        return;
    }
    const analysis::TSineFit& fit = *f.fit;
    std::vector<double> degrees(fit.phaseOfSample.size());
    std::transform(fit.phaseOfSample.begin(), fit.phaseOfSample.end(), degrees.begin(),
                   [](double rad) { return rad * 180.0 / std::numbers::pi; });
    ShowResidual(phasePlot, degrees, fit.residualUv, 0.0, 360.0);
    const auto [vLo, vHi] = std::minmax_element(fit.fittedUv.begin(), fit.fittedUv.end());
    ShowResidual(valuePlot, fit.fittedUv, fit.residualUv, *vLo, std::max(*vHi, *vLo + 1e-9));
}

void PaintSinePlots(QCPPainter& painter, const QRectF& upper, const QRectF& lower,
                    const analysis::TSineFigures& f, int pixelWidth)
{
    QCustomPlot spectrum;
    QCustomPlot phase;
    QCustomPlot value;
    PrepareSineSpectrumPlot(spectrum);
    PrepareResidualPhasePlot(phase);
    PrepareResidualValuePlot(value);
    ShowSineSpectrum(spectrum, f);
    ShowSineResiduals(phase, value, f);
    const double half = lower.width() / 2;
    PaintPlotScaled(painter, spectrum, upper, pixelWidth);
    PaintPlotScaled(painter, phase, QRectF(lower.left(), lower.top(), half, lower.height()),
                    pixelWidth / 2);
    PaintPlotScaled(painter, value, QRectF(lower.left() + half, lower.top(), half, lower.height()),
                    pixelWidth - pixelWidth / 2);
}

QImage RenderSinePlots(const analysis::TSineFigures& f, QSize size)
{
    const int w = std::max(size.width(), 16);
    const int h = std::max(size.height(), 16);
    const int upper = h / 2;
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QCPPainter painter(&image);
    PaintSinePlots(painter, QRectF(0, 0, w, upper), QRectF(0, upper, w, h - upper), f, w);
    painter.end();
    return image;
}

} // namespace mirantos
