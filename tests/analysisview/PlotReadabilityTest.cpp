// What a reader sees on the drawn noise plots, as a picture of them lays them
// out: the density's log axes labelled in every decade (and at 2 and 5) where
// the data are, no legend over a drawn point, and a µV histogram far from zero
// with distinct tick labels about its mean (overlaid ones each about its own).

#include "ComparisonPlots.h"
#include "NoisePlots.h"

#include <qcustomplot.h>

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QSet>

#include <cmath>
#include <functional>
#include <random>

using namespace mirantos;

namespace {

// Lays the plot out and draws it as a saved picture of that size does.
void Draw(QCustomPlot& plot, QSize size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    QCPPainter painter(&image);
    plot.toPainter(&painter, size.width(), size.height());
}

// A 20-40 nV/√Hz floor under 1/f noise rising to 400 at 0.1 Hz, up to 500 Hz.
analysis::TNoiseFigures Density(double scale)
{
    analysis::TNoiseFigures f;
    analysis::TSpectrum& s = f.spectrum;
    s.rateSps = 1000.0;
    s.segment = 10000;
    s.dfHz = 0.1;
    for (int k = 0; k <= 5000; ++k) {
        const double hz = k * 0.1;
        s.nsdNv.push_back(k == 0 ? 0.0 : scale * (30.0 + 10.0 * std::sin(k) + 370.0 * 0.1 / hz));
    }
    f.nsdMedianNv = 30.0 * scale;
    return f;
}

analysis::TNoiseFigures Histogram(double meanCode, double sigmaCodes)
{
    std::mt19937_64 rng(11);
    std::normal_distribution<double> g(0.0, sigmaCodes);
    std::vector<uint32_t> codes(5000);
    for (uint32_t& c : codes)
        c = static_cast<uint32_t>(std::llround(meanCode + g(rng)));
    analysis::TNoiseFigures f;
    EXPECT_TRUE(analysis::Analyze(codes, 100.0, 1, {}, f));
    return f;
}

QStringList Labels(const QCPAxis& axis)
{
    const QVector<QString> l = axis.tickVectorLabels();
    return QStringList(l.begin(), l.end());
}

} // namespace

TEST(PlotReadability, DensityAxesLabelEveryDecadeAndItsTwoAndFiveWhereTheDataAre)
{
    for (QSize size : {QSize(450, 450), QSize(320, 260), QSize(900, 600)}) {
        QCustomPlot plot;
        PrepareSpectrumPlot(plot);
        ShowSpectrum(plot, Density(1.0));
        Draw(plot, size);
        // The data run from about 20 to 400 nV/√Hz over 0.1-500 Hz.
        for (const char* v : {"20", "50", "100", "200"})
            EXPECT_TRUE(Labels(*plot.yAxis).contains(v)) << v << " " << size.width();
        for (const char* v : {"0.1", "1", "10", "100"})
            EXPECT_TRUE(Labels(*plot.xAxis).contains(v)) << v << " " << size.width();
    }
}

TEST(PlotReadability, NoLegendCoversADrawnPoint)
{
    analysis::TLowFrequencyFigures drift;
    // Averaging down, then drift rising into the top right.
    for (auto [m, adev] :
         {std::pair{1, 1.0}, {4, 0.6}, {16, 0.4}, {64, 0.5}, {256, 1.6}, {1024, 4.0}, {4096, 9.0}})
        drift.allan.push_back({m, m * 0.01, adev, 0});
    std::vector<analysis::TRunFigures> runs(3);
    for (size_t i = 0; i < runs.size(); ++i) {
        runs[i].label = "run-" + std::to_string(i) + ".csv";
        runs[i].noise = Density(1.0 + i);
    }
    const std::function<void(QCustomPlot&)> plots[] = {
        [&](QCustomPlot& p) {
            PrepareAllanPlot(p);
            ShowAllan(p, drift);
        },
        [&](QCustomPlot& p) {
            PrepareHistogramPlot(p);
            ShowHistogram(p, Histogram(3178275430.0, 1500.0), true);
        },
        [&](QCustomPlot& p) {
            PrepareSpectrumPlot(p);
            ShowOverlaidDensities(p, runs);
        },
    };
    int index = 0;
    for (const auto& show : plots) {
        QCustomPlot plot;
        show(plot);
        Draw(plot, QSize(450, 450));
        ASSERT_TRUE(plot.legend->visible());
        const QRect legend = plot.legend->outerRect();
        for (int i = 0; i < plot.graphCount(); ++i) {
            const QCPGraph* g = plot.graph(i);
            for (auto it = g->data()->begin(); it != g->data()->end(); ++it) {
                const QPointF p(plot.xAxis->coordToPixel(it->key),
                                plot.yAxis->coordToPixel(it->value));
                ASSERT_FALSE(QRectF(legend).contains(p))
                    << "plot " << index << " graph " << i << " at " << it->key;
            }
        }
        ++index;
    }
}

TEST(PlotReadability, MicrovoltHistogramsFarFromZeroHaveDistinctTicksAboutTheirMean)
{
    // About 1.2 V at gain 1, and a second run 3 mV higher with twice the noise.
    const analysis::TNoiseFigures near = Histogram(3178275430.0, 1500.0);
    const analysis::TNoiseFigures far = Histogram(3186275430.0, 3000.0);
    QCustomPlot single, overlaid;
    PrepareHistogramPlot(single);
    ShowHistogram(single, near, true);
    std::vector<analysis::TRunFigures> runs(2);
    runs[0].noise = near;
    runs[1].noise = far;
    PrepareHistogramPlot(overlaid);
    ShowOverlaidHistograms(overlaid, runs, true);
    for (QCustomPlot* plot : {&single, &overlaid}) {
        Draw(*plot, QSize(450, 450));
        const QStringList labels = Labels(*plot->xAxis);
        EXPECT_GE(labels.size(), 3);
        EXPECT_EQ(QSet<QString>(labels.begin(), labels.end()).size(), labels.size())
            << labels.join(' ').toStdString();
    }
    // The mean, near 1.2 V, in digits grouped by threes.
    EXPECT_TRUE(single.xAxis->label().contains(QRegularExpression(
        QString::fromUtf8("^平均 1 (199 999|200 000)\\.\\d µV からの偏差 \\[µV\\]$"))))
        << single.xAxis->label().toStdString();
    // Each run's density peaks near 0 on the shared axis, so the shapes lie over each other.
    for (int i = 0; i < 2; ++i) {
        const auto data = overlaid.graph(i)->data();
        const auto peak = std::max_element(data->begin(), data->end(),
                                           [](auto& a, auto& b) { return a.value < b.value; });
        EXPECT_LT(std::abs(peak->key), 0.5 * runs[static_cast<size_t>(i)].noise.rmsUv) << i;
    }
}
