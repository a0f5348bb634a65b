#include "NoisePlots.h"

#include "AnalysisTexts.h"
#include "MeasureRecord.h"
#include "UiFont.h"

#include <qcustomplot.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace mirantos {

namespace {

constexpr int kGaussianPoints = 241;

QString Utf8(const char* s)
{
    return QString::fromUtf8(s);
}

void Prepare(QCustomPlot& plot, const char* title, const char* xLabel, const char* yLabel)
{
    plot.clearPlottables();
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

// Decimals that tell ticks `step` apart.
int DecimalsFor(double step)
{
    if (!(step > 0.0))
        return 0;
    return std::clamp(static_cast<int>(std::ceil(-std::log10(step))) + 1, 0, 9);
}

} // namespace

void PrepareHistogramPlot(QCustomPlot& plot)
{
    Prepare(plot, text::AnalysisHistogramTitle, text::AnalysisAxisCode, text::AnalysisAxisCount);
    plot.xAxis->setNumberFormat("f");
    plot.xAxis->setNumberPrecision(0);
}

void PrepareSpectrumPlot(QCustomPlot& plot)
{
    Prepare(plot, text::AnalysisSpectrumTitle, text::AnalysisAxisFrequency,
            text::AnalysisAxisDensity);
    for (QCPAxis* axis : {plot.xAxis, plot.yAxis}) {
        axis->setScaleType(QCPAxis::stLogarithmic);
        axis->setTicker(QSharedPointer<QCPAxisTickerLog>(new QCPAxisTickerLog));
        axis->setNumberFormat("gb");
        axis->setNumberPrecision(3);
    }
}

void ClearNoisePlot(QCustomPlot& plot)
{
    plot.clearPlottables();
    plot.legend->setVisible(false);
}

void ShowHistogram(QCustomPlot& plot, const analysis::TNoiseFigures& f, bool voltMode)
{
    ClearNoisePlot(plot);
    plot.xAxis->setLabel(Utf8(voltMode ? text::AnalysisAxisMicrovolt : text::AnalysisAxisCode));
    const analysis::THistogram& h = f.histogram;
    // Microvolts are an affine function of the code: a bin keeps its width.
    const double uvPerCode =
        static_cast<double>(FULL_SCALE_UV / std::max(f.gain, 1)) / 2147483647.0;
    const double scale = voltMode ? uvPerCode : 1.0;
    const double width = static_cast<double>(h.binWidth) * scale;
    auto keyOf = [&](size_t k) {
        const double half = (static_cast<double>(h.binWidth) - 1.0) / 2.0;
        const auto first = static_cast<uint32_t>(h.BinFirst(k));
        return voltMode ? CodeToMicrovolt(first, f.gain) + half * uvPerCode
                        : static_cast<double>(first) + half;
    };

    QVector<double> keys, values;
    double top = 0;
    for (size_t k = 0; k < h.counts.size(); ++k) {
        keys.push_back(keyOf(k));
        values.push_back(static_cast<double>(h.counts[k]));
        top = std::max(top, values.back());
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
    const double mean = voltMode ? f.meanUv : f.meanCode;
    const double sigma = voltMode ? f.rmsUv : f.rmsCode;
    if (sigma > 0.0) {
        lo = std::min(lo, mean - 4.0 * sigma);
        hi = std::max(hi, mean + 4.0 * sigma);
        // Expected count per bin: N * bin width * normal density.
        const double peak =
            static_cast<double>(f.samples) * width / (sigma * std::sqrt(2.0 * std::numbers::pi));
        QVector<double> gx, gy;
        for (int i = 0; i < kGaussianPoints; ++i) {
            const double x = lo + (hi - lo) * i / (kGaussianPoints - 1);
            const double z = (x - mean) / sigma;
            gx.push_back(x);
            gy.push_back(peak * std::exp(-0.5 * z * z));
        }
        QCPGraph* g = plot.addGraph(plot.xAxis, plot.yAxis);
        g->setName(Utf8(text::AnalysisGaussian));
        g->setPen(QPen(QColor(200, 40, 40), 2));
        g->setData(gx, gy, true);
        plot.legend->setVisible(true);
    }
    plot.xAxis->setRange(lo, hi);
    plot.yAxis->setRange(0.0, std::max(top, 1.0) * 1.15);
    plot.xAxis->setNumberPrecision(voltMode ? DecimalsFor((hi - lo) / 5.0) : 0);
}

void ShowSpectrum(QCustomPlot& plot, const analysis::TNoiseFigures& f)
{
    ClearNoisePlot(plot);
    const analysis::TSpectrum& s = f.spectrum;
    QVector<double> keys, values;
    double lo = 0, hi = 0;
    // k = 0 has no place on a logarithmic axis; a zero density neither.
    for (size_t k = 1; k < s.nsdNv.size(); ++k) {
        if (!(s.nsdNv[k] > 0.0))
            continue;
        keys.push_back(s.FrequencyHz(k));
        values.push_back(s.nsdNv[k]);
        lo = values.size() == 1 ? s.nsdNv[k] : std::min(lo, s.nsdNv[k]);
        hi = std::max(hi, s.nsdNv[k]);
    }
    const double fLow = s.dfHz;
    const double fHigh = s.FrequencyHz(s.nsdNv.size() - 1);
    plot.xAxis->setRange(fLow, std::max(fHigh, fLow * 10.0));
    if (keys.isEmpty()) {
        plot.yAxis->setRange(0.1, 10.0);
        return;
    }
    QCPGraph* g = plot.addGraph(plot.xAxis, plot.yAxis);
    g->setName(Utf8(text::AnalysisSpectrumTitle));
    g->setPen(QPen(QColor(30, 90, 170), 1));
    g->setData(keys, values, true);
    g->removeFromLegend();
    if (f.nsdMedianNv > 0.0) {
        QCPGraph* m = plot.addGraph(plot.xAxis, plot.yAxis);
        m->setName(Utf8(text::AnalysisMedianLine));
        m->setPen(QPen(QColor(200, 40, 40), 1.5, Qt::DashLine));
        m->setData(QVector<double>{fLow, std::max(fHigh, fLow * 10.0)},
                   QVector<double>{f.nsdMedianNv, f.nsdMedianNv}, true);
        plot.legend->setVisible(true);
    }
    plot.yAxis->setRange(lo / 2.0, hi * 2.0);
}

QImage RenderNoisePlots(const analysis::TNoiseFigures& f, bool voltMode, QSize size)
{
    const int w = std::max(size.width(), 16);
    const int h = std::max(size.height(), 16);
    const int upper = h / 2;
    QCustomPlot histogram;
    QCustomPlot spectrum;
    PrepareHistogramPlot(histogram);
    PrepareSpectrumPlot(spectrum);
    ShowHistogram(histogram, f, voltMode);
    ShowSpectrum(spectrum, f);
    histogram.resize(w, upper);
    spectrum.resize(w, h - upper);

    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QCPPainter painter(&image);
    histogram.toPainter(&painter, w, upper);
    painter.translate(0, upper);
    spectrum.toPainter(&painter, w, h - upper);
    painter.end();
    return image;
}

} // namespace mirantos
