#include "NoisePlots.h"

#include "AnalysisTexts.h"
#include "MeasureRecord.h"
#include "PlotAids.h"
#include "PlotGeometry.h"
#include "UiFont.h"

#include <qcustomplot.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace mirantos {

namespace {

constexpr int kGaussianPoints = 241;

QString Utf8(const char* s)
{
    return QString::fromUtf8(s);
}

void LogLog(QCustomPlot& plot)
{
    for (QCPAxis* axis : {plot.xAxis, plot.yAxis})
        SetLogAxis(*axis);
}

// The library's reasons in the window's language; another one as it comes.
QString LowFrequencyReason(const analysis::TLowFrequencyFigures& lf)
{
    QString why = QString::fromStdString(lf.lfReason);
    if (lf.lfReason == analysis::kLfReasonRate)
        why = Utf8(text::AnalysisLfNeedsRate);
    else if (lf.lfReason == analysis::kLfReasonLength)
        why = Utf8(text::AnalysisLfNeedsLength);
    return Utf8(text::AnalysisLfUndefined) + "\n" + why;
}

// More interval labels than this would only overlap.
constexpr int64_t kMaxIntervalLabels = 30;

using plotgeometry::DecimalsFor;

} // namespace

QCustomPlot* NewPlot(QWidget* parent, const char* name, void (*prepare)(QCustomPlot&))
{
    auto* plot = new QCustomPlot(parent);
    plot->setObjectName(name);
    plot->setMinimumSize(kPlotMinimum);
    prepare(*plot);
    return plot;
}

void PreparePlot(QCustomPlot& plot, const char* title, const char* xLabel, const char* yLabel)
{
    UseArrangedLegend(plot);
    ClearNoisePlot(plot);
    if (plot.plotLayout()->rowCount() < 2) {
        plot.plotLayout()->insertRow(0);
        plot.plotLayout()->addElement(
            0, 0, new QCPTextElement(&plot, Utf8(title), UiFont(WindowFontPixels + 2)));
    }
    const QFont font = UiFont(WindowFontPixels);
    for (QCPAxis* axis : {plot.xAxis, plot.yAxis}) {
        axis->setLabelFont(font);
        axis->setTickLabelFont(font);
    }
    plot.xAxis->setLabel(Utf8(xLabel));
    plot.yAxis->setLabel(Utf8(yLabel));
    plot.legend->setFont(font);
    plot.legend->setVisible(false);
    plot.axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignRight);
}

void PrepareHistogramPlot(QCustomPlot& plot)
{
    PreparePlot(plot, text::AnalysisHistogramTitle, text::AnalysisAxisCode,
                text::AnalysisAxisCount);
    plot.xAxis->setNumberFormat("f");
    plot.xAxis->setNumberPrecision(0);
    // Ten-digit codes in a quarter of the picture: few ticks, or they run together.
    plot.xAxis->ticker()->setTickCount(3);
}

void PrepareSpectrumPlot(QCustomPlot& plot)
{
    PreparePlot(plot, text::AnalysisSpectrumTitle, text::AnalysisAxisFrequency,
                text::AnalysisAxisDensity);
    LogLog(plot);
}

void PrepareAllanPlot(QCustomPlot& plot)
{
    PreparePlot(plot, text::AnalysisAllanTitle, text::AnalysisAxisTau, text::AnalysisAxisAllan);
    LogLog(plot);
}

void PrepareLowFrequencyPlot(QCustomPlot& plot)
{
    PreparePlot(plot, text::AnalysisLfTitle, text::AnalysisAxisTime, text::AnalysisAxisMicrovolt);
}

void ClearNoisePlot(QCustomPlot& plot)
{
    ForgetArrangedLabels(plot);
    plot.clearPlottables();
    plot.clearItems();
    plot.legend->setVisible(false);
}

void ShowHistogram(QCustomPlot& plot, const analysis::TNoiseFigures& f, bool voltMode)
{
    ClearNoisePlot(plot);
    const analysis::THistogram& h = f.histogram;
    // Microvolts are an affine function of the code: a bin keeps its width.
    const double uvPerCode = MicrovoltsPerCode(f.gain);
    const double scale = voltMode ? uvPerCode : 1.0;
    const double width = static_cast<double>(h.binWidth) * scale;
    const double mean = voltMode ? f.meanUv : f.meanCode;
    const double sigma = voltMode ? f.rmsUv : f.rmsCode;
    // Microvolts as deviations from the mean: at a large offset the absolute
    // values would need more digits than a tick label shows.
    const double origin = voltMode ? mean : 0.0;
    plot.xAxis->setLabel(voltMode ? OffsetAxisTitle(mean, std::max(sigma, uvPerCode))
                                  : Utf8(text::AnalysisAxisCode));
    auto keyOf = [&](size_t k) {
        const double half = (static_cast<double>(h.binWidth) - 1.0) / 2.0;
        const auto first = static_cast<uint32_t>(h.BinFirst(k));
        return voltMode ? CodeToMicrovolt(first, f.gain) + half * uvPerCode - origin
                        : static_cast<double>(first) + half;
    };

    QVector<double> keys, values;
    double top = 0;
    for (size_t k = 0; k < h.counts.size(); ++k) {
        keys.push_back(keyOf(k));
        values.push_back(static_cast<double>(h.counts[k]));
        top = std::max(top, values.back());
    }
    if (keys.isEmpty()) {
        ShowPlotReason(plot, Utf8(text::AnalysisTooFew));
        return;
    }
    auto* bars = new QCPBars(plot.xAxis, plot.yAxis);
    bars->setName(Utf8(text::AnalysisHistogramTitle));
    bars->setWidth(width);
    bars->setPen(QPen(QColor(40, 80, 160)));
    bars->setBrush(QColor(90, 140, 220, 170));
    bars->setData(keys, values, true);
    bars->removeFromLegend();

    double lo = keys.front() - width;
    double hi = keys.back() + width;
    if (sigma > 0.0) {
        lo = std::min(lo, mean - origin - 4.0 * sigma);
        hi = std::max(hi, mean - origin + 4.0 * sigma);
        // Expected count per bin: N * bin width * normal density.
        const double peak =
            static_cast<double>(f.samples) * width / (sigma * std::sqrt(2.0 * std::numbers::pi));
        QVector<double> gx, gy;
        for (int i = 0; i < kGaussianPoints; ++i) {
            const double x = lo + (hi - lo) * i / (kGaussianPoints - 1);
            const double z = (x - (mean - origin)) / sigma;
            gx.push_back(x);
            gy.push_back(peak * std::exp(-0.5 * z * z));
        }
        // The curve can rise above the bars (a drifting record is flatter than its normal).
        top = std::max(top, peak);
        QCPGraph* g = plot.addGraph(plot.xAxis, plot.yAxis);
        g->setName(Utf8(text::AnalysisGaussian));
        g->setPen(QPen(QColor(200, 40, 40), 2));
        g->setData(gx, gy, true);
        plot.legend->setVisible(true);
    }
    plot.xAxis->setRange(lo, hi);
    // Room above the peak for the legend.
    plot.yAxis->setRange(0.0, std::max(top, 1.0) * 1.3);
    plot.xAxis->setNumberPrecision(voltMode ? DecimalsFor((hi - lo) / 5.0) : 0);
}

QString OffsetAxisTitle(double mean, double resolution)
{
    return Utf8(text::AnalysisAxisDeviation)
        .arg(plotgeometry::GroupedNumber(mean, DecimalsFor(resolution)));
}

void ShowSpectrum(QCustomPlot& plot, const analysis::TNoiseFigures& f)
{
    ClearNoisePlot(plot);
    const analysis::TSpectrum& s = f.spectrum;
    const auto [keys, values] = DensityPoints(s);
    if (keys.isEmpty()) {
        plot.xAxis->setRange(1.0, 100.0);
        plot.yAxis->setRange(1.0, 100.0);
        ShowPlotReason(plot,
                       Utf8(s.nsdNv.size() < 2 ? text::AnalysisTooFew : text::AnalysisNoLogPoints));
        return;
    }
    QCPGraph* g = plot.addGraph(plot.xAxis, plot.yAxis);
    g->setName(Utf8(text::AnalysisSpectrumTitle));
    g->setPen(QPen(QColor(30, 90, 170), 1));
    g->setData(keys, values, true);
    g->removeFromLegend();
    const auto [xLo, xHi] = plotgeometry::PadLogRange(keys.front(), keys.back(), 0.03);
    if (f.nsdMedianNv > 0.0) {
        QCPGraph* m = plot.addGraph(plot.xAxis, plot.yAxis);
        m->setName(Utf8(text::AnalysisMedianLine));
        m->setPen(QPen(QColor(200, 40, 40), 1.5, Qt::DashLine));
        m->setData(QVector<double>{xLo, xHi}, QVector<double>{f.nsdMedianNv, f.nsdMedianNv}, true);
        plot.legend->setVisible(true);
    }
    const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
    plot.xAxis->setRange(xLo, xHi);
    // Above the data, room for the legend in a corner.
    plot.yAxis->setRange(*lo / 2.0, *hi * 2.5);
}

void ShowAllan(QCustomPlot& plot, const analysis::TLowFrequencyFigures& lf)
{
    ClearNoisePlot(plot);
    const auto [keys, values] = AllanPoints(lf);
    if (keys.isEmpty()) {
        plot.xAxis->setRange(0.01, 1.0);
        plot.yAxis->setRange(0.1, 10.0);
        ShowPlotReason(plot,
                       Utf8(lf.allan.empty() ? text::AnalysisTooFew : text::AnalysisNoLogPoints));
        return;
    }
    QCPGraph* g = plot.addGraph(plot.xAxis, plot.yAxis);
    g->setName(Utf8(text::AnalysisAllanTitle));
    g->setPen(QPen(QColor(30, 90, 170), 1.5));
    g->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCircle, 5));
    g->setData(keys, values, true);
    g->removeFromLegend();

    // White noise averages down as 1/sqrt(m): the line the points would follow
    // if the first one were all white noise; where they rise above it, 1/f
    // noise or drift takes over.
    const QVector<double> guideKeys{keys.front(), keys.back()};
    const QVector<double> guideValues{values.front(),
                                      values.front() * std::sqrt(keys.front() / keys.back())};
    QCPGraph* guide = plot.addGraph(plot.xAxis, plot.yAxis);
    guide->setName(Utf8(text::AnalysisWhiteGuide));
    guide->setPen(QPen(QColor(200, 40, 40), 1.5, Qt::DashLine));
    guide->setData(guideKeys, guideValues, true);
    plot.legend->setVisible(true);

    const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
    const auto [xLo, xHi] = plotgeometry::PadLogRange(keys.front(), keys.back(), 0.08);
    const auto [yLo, yHi] = plotgeometry::PadLogRange(std::min(*lo, guideValues.back()), *hi, 0.1);
    plot.xAxis->setRange(xLo, xHi);
    plot.yAxis->setRange(yLo, yHi * 2.0);
}

void ShowLowFrequency(QCustomPlot& plot, const analysis::TLowFrequencyFigures& lf, double rateSps)
{
    ClearNoisePlot(plot);
    if (!lf.lf || lf.lf->keptUv.empty() || !(rateSps > 0.0)) {
        plot.xAxis->setRange(0.0, 1.0);
        plot.yAxis->setRange(-1.0, 1.0);
        ShowPlotReason(plot, LowFrequencyReason(lf));
        return;
    }
    const analysis::TLowFrequencyNoise& n = *lf.lf;
    const double dt = 1.0 / rateSps;
    const double x0 = static_cast<double>(n.firstKept) * dt;
    const TPlotPoints points = DecimateMinMax(n.keptUv, x0, dt, kTraceBuckets);
    QCPGraph* g = plot.addGraph(plot.xAxis, plot.yAxis);
    g->setName(Utf8(text::AnalysisLfTitle));
    g->setPen(QPen(QColor(30, 90, 170), 1));
    g->setData(points.keys, points.values, true);
    g->removeFromLegend();

    // Each interval's peak-to-peak as data sheets draw it: a line at its
    // maximum and one at its minimum across the interval (graphs 1 and 2, one
    // stroke per interval, NaN between them, so that thousands of intervals
    // stay two plottables), the value above where the layout finds room.
    const auto kept = static_cast<int64_t>(n.keptUv.size());
    const int64_t length = n.intervalSamples;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    QVector<double> keys, tops, bottoms;
    const QFont font = UiFont(WindowFontPixels - 1);
    for (int64_t k = 0; length > 0 && (k + 1) * length <= kept; ++k) {
        const auto first = n.keptUv.begin() + k * length;
        const auto [mn, mx] = std::minmax_element(first, first + length);
        // Inset a little, so that neighbouring intervals' lines stay apart.
        const double a = x0 + (static_cast<double>(k * length) + 0.05 * length) * dt;
        const double b = x0 + (static_cast<double>((k + 1) * length) - 0.05 * length) * dt;
        keys << a << b << b;
        tops << *mx << *mx << nan;
        bottoms << *mn << *mn << nan;
        if (n.intervals <= kMaxIntervalLabels) {
            auto* label = new QCPItemText(&plot);
            label->setFont(font);
            label->setColor(QColor(200, 40, 40));
            label->setText(QString::number(*mx - *mn, 'g', 3) + Utf8(text::AnalysisUnitMicrovolt));
            ArrangeLabel(plot, label, (a + b) / 2.0, *mx);
        }
    }
    for (const QVector<double>* values : {&tops, &bottoms}) {
        QCPGraph* m = plot.addGraph(plot.xAxis, plot.yAxis);
        m->setPen(QPen(QColor(200, 40, 40), 1.5));
        m->setData(keys, *values, true);
        m->removeFromLegend();
    }
    const double lo = *std::min_element(n.keptUv.begin(), n.keptUv.end());
    const double hi = *std::max_element(n.keptUv.begin(), n.keptUv.end());
    const double span = std::max(hi - lo, 1e-9);
    plot.xAxis->setRange(x0, x0 + static_cast<double>(kept) * dt);
    plot.yAxis->setRange(lo - 0.1 * span, hi + 0.25 * span);
}

TPlotPoints DensityPoints(const analysis::TSpectrum& s)
{
    TPlotPoints out;
    for (size_t k = 1; k < s.nsdNv.size(); ++k) {
        if (s.nsdNv[k] > 0.0) {
            out.keys.push_back(s.FrequencyHz(k));
            out.values.push_back(s.nsdNv[k]);
        }
    }
    return out;
}

TPlotPoints AllanPoints(const analysis::TLowFrequencyFigures& lf)
{
    TPlotPoints out;
    for (const analysis::TAllanPoint& p : lf.allan) {
        if (p.tauS > 0.0 && p.adevUv > 0.0) {
            out.keys.push_back(p.tauS);
            out.values.push_back(p.adevUv);
        }
    }
    return out;
}

double MicrovoltsPerCode(int gain)
{
    return static_cast<double>(FULL_SCALE_UV / std::max(gain, 1)) / 2147483647.0;
}

TPlotPoints HistogramDensityPoints(const analysis::TNoiseFigures& f, bool voltMode)
{
    TPlotPoints out;
    const analysis::THistogram& h = f.histogram;
    const double uvPerCode = MicrovoltsPerCode(f.gain);
    const double width = static_cast<double>(h.binWidth) * (voltMode ? uvPerCode : 1.0);
    uint64_t total = 0;
    for (uint64_t c : h.counts)
        total += c;
    if (total == 0 || !(width > 0.0))
        return out;
    const double half = (static_cast<double>(h.binWidth) - 1.0) / 2.0;
    for (size_t k = 0; k < h.counts.size(); ++k) {
        const auto first = static_cast<uint32_t>(h.BinFirst(k));
        out.keys.push_back(voltMode ? CodeToMicrovolt(first, f.gain) + half * uvPerCode
                                    : static_cast<double>(first) + half);
        out.values.push_back(static_cast<double>(h.counts[k]) /
                             (static_cast<double>(total) * width));
    }
    return out;
}

TPlotPoints DecimateMinMax(std::span<const double> y, double x0, double dx, int buckets)
{
    TPlotPoints out;
    const size_t n = y.size();
    auto add = [&](size_t i) {
        out.keys.push_back(x0 + static_cast<double>(i) * dx);
        out.values.push_back(y[i]);
    };
    if (buckets < 1 || n <= 2 * static_cast<size_t>(buckets)) {
        for (size_t i = 0; i < n; ++i)
            add(i);
        return out;
    }
    const auto b = static_cast<size_t>(buckets);
    out.keys.reserve(static_cast<qsizetype>(2 * b));
    out.values.reserve(static_cast<qsizetype>(2 * b));
    for (size_t k = 0; k < b; ++k) {
        const size_t first = n * k / b;
        const size_t last = n * (k + 1) / b;
        const auto [mn, mx] = std::minmax_element(y.begin() + static_cast<std::ptrdiff_t>(first),
                                                  y.begin() + static_cast<std::ptrdiff_t>(last));
        auto i = static_cast<size_t>(mn - y.begin());
        auto j = static_cast<size_t>(mx - y.begin());
        if (i > j)
            std::swap(i, j);
        add(i);
        if (j != i)
            add(j);
    }
    return out;
}

void PaintPlotScaled(QCPPainter& painter, QCustomPlot& plot, const QRectF& area, int pixelWidth)
{
    if (!(area.width() > 0.0) || !(area.height() > 0.0) || pixelWidth < 1)
        return;
    const double scale = area.width() / pixelWidth;
    const int h = std::max(16, static_cast<int>(area.height() / scale));
    plot.resize(pixelWidth, h);
    painter.save();
    painter.translate(area.topLeft());
    painter.scale(scale, scale);
    plot.toPainter(&painter, pixelWidth, h);
    painter.restore();
}

QImage RenderNoisePlots(const analysis::TNoiseFigures& f, const analysis::TLowFrequencyFigures& lf,
                        bool voltMode, QSize size)
{
    const int w = std::max(size.width(), 16);
    const int h = std::max(size.height(), 16);
    const int left = w / 2;
    const int upper = h / 2;
    QCustomPlot histogram;
    QCustomPlot spectrum;
    QCustomPlot allan;
    QCustomPlot trace;
    PrepareHistogramPlot(histogram);
    PrepareSpectrumPlot(spectrum);
    PrepareAllanPlot(allan);
    PrepareLowFrequencyPlot(trace);
    ShowHistogram(histogram, f, voltMode);
    ShowSpectrum(spectrum, f);
    ShowAllan(allan, lf);
    ShowLowFrequency(trace, lf, f.rateSps);

    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QCPPainter painter(&image);
    const struct {
        QCustomPlot* plot;
        int x, y, width, height;
    } cells[] = {
        {&histogram, 0, 0, left, upper},
        {&spectrum, left, 0, w - left, upper},
        {&allan, 0, upper, left, h - upper},
        {&trace, left, upper, w - left, h - upper},
    };
    for (const auto& c : cells) {
        c.plot->resize(c.width, c.height);
        painter.save();
        painter.translate(c.x, c.y);
        c.plot->toPainter(&painter, c.width, c.height);
        painter.restore();
    }
    painter.end();
    return image;
}

} // namespace mirantos
