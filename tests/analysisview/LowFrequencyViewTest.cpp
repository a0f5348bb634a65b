// The low-frequency part of the noise analysis window: its rows, the Allan
// plot with the white-noise guide, the 0.1-10 Hz trace with each interval's
// peak-to-peak marked, the reduction of long traces for drawing, the picture
// of four plots, and when the window computes the figures.

#include "AnalysisTexts.h"
#include "NoiseAnalysisWindow.h"
#include "NoisePlots.h"

#include <qcustomplot.h>

#include <QComboBox>
#include <QLabel>

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace mirantos;

namespace {

QString U(const char* s)
{
    return QString::fromUtf8(s);
}

// Three intervals of 100 samples at 100 sps after 20 s, each a ramp of its own height.
analysis::TLowFrequencyFigures Figures()
{
    analysis::TLowFrequencyFigures f;
    f.slopeUvPerH = -12.3456;
    f.allan = {{1, 0.01, 8.0, 0}, {2, 0.02, 6.0, 0}, {4, 0.04, 4.5, 0}, {8, 0.08, 4.0, 0}};
    analysis::TLowFrequencyNoise n;
    n.intervals = 3;
    n.firstKept = 2000;
    n.intervalSamples = 100;
    const double heights[] = {2.0, 5.0, 3.0};
    for (int k = 0; k < 3; ++k)
        for (int i = 0; i < 100; ++i)
            n.keptUv.push_back(heights[k] * (i % 2 == 0 ? i / 99.0 : -0.5 + i / 198.0));
    for (int k = 0; k < 3; ++k) {
        const auto first = n.keptUv.begin() + k * 100;
        const auto [lo, hi] = std::minmax_element(first, first + 100);
        n.intervalPpUv.push_back(*hi - *lo);
    }
    n.ppUvMedian = 1.5;
    n.ppUvMax = 5.25;
    n.rmsUv = 0.98765;
    f.lf = n;
    return f;
}

} // namespace

TEST(LowFrequencyRows, ShowTheFiguresOrWhyTheBandIsNotDefined)
{
    const analysis::TLowFrequencyFigures defined = Figures();
    auto absent = [](const char* reason) {
        analysis::TLowFrequencyFigures f;
        f.slopeUvPerH = 0.5;
        f.lfReason = reason;
        return f;
    };
    const QString undefined = U(text::AnalysisLfUndefined);
    const struct {
        analysis::TLowFrequencyFigures figures;
        std::array<QString, 4> texts;
    } cases[] = {
        {defined, {U("-12.346 µV/h"), U("1.500 µV (3区間)"), U("5.250 µV"), U("0.9877 µV")}},
        {absent("needs at least 49.96 sps"),
         {U("0.500 µV/h"), undefined + U(text::AnalysisLfNeedsRate),
          undefined + U(text::AnalysisLfNeedsRate), undefined + U(text::AnalysisLfNeedsRate)}},
        {absent("needs at least 30 s of samples"),
         {U("0.500 µV/h"), undefined + U(text::AnalysisLfNeedsLength),
          undefined + U(text::AnalysisLfNeedsLength), undefined + U(text::AnalysisLfNeedsLength)}},
        // A reason the window does not know is shown as the library gives it.
        {absent("something else"),
         {U("0.500 µV/h"), undefined + "something else", undefined + "something else",
          undefined + "something else"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LowFrequencyValueTexts(c.figures), c.texts) << c.figures.lfReason;
}

TEST(LowFrequencyPlots, AllanPointsAndTheWhiteNoiseGuideThroughTheFirst)
{
    QCustomPlot plot;
    PrepareAllanPlot(plot);
    const analysis::TLowFrequencyFigures f = Figures();
    ShowAllan(plot, f);
    EXPECT_EQ(plot.xAxis->scaleType(), QCPAxis::stLogarithmic);
    EXPECT_EQ(plot.yAxis->scaleType(), QCPAxis::stLogarithmic);
    ASSERT_EQ(plot.graphCount(), 2);
    QCPGraph* points = plot.graph(0);
    ASSERT_EQ(points->data()->size(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(points->data()->at(i)->key, f.allan[static_cast<size_t>(i)].tauS);
        EXPECT_EQ(points->data()->at(i)->value, f.allan[static_cast<size_t>(i)].adevUv);
    }
    QCPGraph* guide = plot.graph(1);
    EXPECT_EQ(guide->pen().style(), Qt::DashLine);
    ASSERT_GE(guide->data()->size(), 2);
    const auto a = guide->data()->at(0);
    const auto b = guide->data()->at(guide->data()->size() - 1);
    EXPECT_EQ(a->key, 0.01);
    EXPECT_EQ(a->value, 8.0);
    EXPECT_EQ(b->key, 0.08);
    EXPECT_NEAR(std::log(b->value / a->value) / std::log(b->key / a->key), -0.5, 1e-12);

    // Every point and the guide within the axes.
    EXPECT_LT(plot.yAxis->range().lower, b->value);
    EXPECT_GT(plot.yAxis->range().upper, 8.0);
}

TEST(LowFrequencyPlots, TraceMarksEachIntervalsPeakToPeak)
{
    QCustomPlot plot;
    PrepareLowFrequencyPlot(plot);
    const analysis::TLowFrequencyFigures f = Figures();
    ShowLowFrequency(plot, f, 100.0);
    ASSERT_EQ(plot.graphCount(), 1);
    // Time in s from the first kept sample: 20 s in.
    EXPECT_DOUBLE_EQ(plot.graph(0)->data()->at(0)->key, 20.0);
    EXPECT_EQ(plot.graph(0)->data()->size(), 300);

    // Per interval: a line at the maximum, one at the minimum, the pp as label.
    std::vector<QCPItemLine*> lines;
    QStringList labels;
    for (int i = 0; i < plot.itemCount(); ++i) {
        if (auto* l = qobject_cast<QCPItemLine*>(plot.item(i)))
            lines.push_back(l);
        if (auto* t = qobject_cast<QCPItemText*>(plot.item(i)))
            labels << t->text();
    }
    ASSERT_EQ(lines.size(), 6u);
    ASSERT_EQ(labels.size(), 3);
    for (size_t k = 0; k < 3; ++k) {
        const QPointF top = lines[2 * k]->start->coords();
        const QPointF bottom = lines[2 * k + 1]->start->coords();
        EXPECT_DOUBLE_EQ(top.y(), lines[2 * k]->end->coords().y());
        EXPECT_NEAR(top.y() - bottom.y(), f.lf->intervalPpUv[k], 1e-12) << k;
        // Inside interval k, which spans 20 + 1 k .. 20 + 1 (k + 1) s.
        for (QCPItemLine* l : {lines[2 * k], lines[2 * k + 1]}) {
            EXPECT_GE(l->start->coords().x(), 20.0 + static_cast<double>(k));
            EXPECT_LE(l->end->coords().x(), 21.0 + static_cast<double>(k));
            EXPECT_GT(l->end->coords().x() - l->start->coords().x(), 0.5);
        }
        EXPECT_EQ(labels[static_cast<int>(k)],
                  QString::number(f.lf->intervalPpUv[k], 'g', 3) + U(" µV"));
    }

    // Without the band-limited figures the plot is empty.
    analysis::TLowFrequencyFigures none = f;
    none.lf.reset();
    ShowLowFrequency(plot, none, 100.0);
    EXPECT_EQ(plot.graphCount(), 0);
    EXPECT_EQ(plot.itemCount(), 0);
}

TEST(LowFrequencyPlots, ReductionKeepsEachRunsMinimumAndMaximum)
{
    std::mt19937_64 rng(7);
    std::normal_distribution<double> g(0.0, 1.0);
    const struct {
        size_t samples;
        int buckets;
    } cases[] = {{1'000'000, kTraceBuckets}, {10'007, 100}, {2001, 1000}, {7, 3}, {6, 3}, {0, 5}};
    for (const auto& c : cases) {
        std::vector<double> y(c.samples);
        for (double& v : y)
            v = g(rng);
        const double x0 = 20.0, dx = 0.001;
        const TMinMaxPoints p = DecimateMinMax(y, x0, dx, c.buckets);
        ASSERT_EQ(p.keys.size(), p.values.size());
        const auto b = static_cast<size_t>(c.buckets);
        if (c.samples <= 2 * b) {
            EXPECT_EQ(static_cast<size_t>(p.values.size()), c.samples);
            continue;
        }
        EXPECT_LE(static_cast<size_t>(p.keys.size()), 2 * b) << c.samples;
        EXPECT_TRUE(std::is_sorted(p.keys.begin(), p.keys.end())) << c.samples;
        // Each point is a sample at its own time.
        for (qsizetype i = 0; i < p.keys.size(); ++i) {
            const auto idx = static_cast<size_t>(std::llround((p.keys[i] - x0) / dx));
            ASSERT_LT(idx, y.size());
            ASSERT_EQ(p.values[i], y[idx]);
        }
        // Each run's extremes, whatever the runs' exact edges: the points
        // within a run's span hold its minimum and maximum.
        for (size_t k = 0; k < b; ++k) {
            const size_t first = c.samples * k / b, last = c.samples * (k + 1) / b;
            const auto [lo, hi] = std::minmax_element(y.begin() + static_cast<long>(first),
                                                      y.begin() + static_cast<long>(last));
            double seenLo = INFINITY, seenHi = -INFINITY;
            for (qsizetype i = 0; i < p.keys.size(); ++i) {
                const auto idx = static_cast<size_t>(std::llround((p.keys[i] - x0) / dx));
                if (idx >= first && idx < last) {
                    seenLo = std::min(seenLo, p.values[i]);
                    seenHi = std::max(seenHi, p.values[i]);
                }
            }
            ASSERT_EQ(seenLo, *lo) << c.samples << " run " << k;
            ASSERT_EQ(seenHi, *hi) << c.samples << " run " << k;
        }
    }
}

TEST(LowFrequencyPlots, AMillionSampleTraceIsDrawnFromAtMostTwoPointsPerRun)
{
    analysis::TLowFrequencyFigures f = Figures();
    f.lf->keptUv.assign(1'000'000, 0.0);
    f.lf->keptUv[123'456] = 9.0;
    f.lf->intervalSamples = 10'000;
    f.lf->intervals = 100;
    QCustomPlot plot;
    PrepareLowFrequencyPlot(plot);
    ShowLowFrequency(plot, f, 1000.0);
    EXPECT_LE(plot.graph(0)->data()->size(), 2 * kTraceBuckets);
    // The lone spike survives.
    bool spike = false;
    for (auto it = plot.graph(0)->data()->begin(); it != plot.graph(0)->data()->end(); ++it)
        spike = spike || (it->value == 9.0 && std::abs(it->key - 2.0 - 123.456) < 1e-9);
    EXPECT_TRUE(spike);
}

TEST(LowFrequencyPlots, PictureHoldsFourPlots)
{
    // A histogram and density from real figures, the low-frequency plots from hand-made ones.
    std::mt19937_64 rng(3);
    std::normal_distribution<double> g(0.0, 40.0);
    std::vector<uint32_t> codes(2000);
    for (uint32_t& c : codes)
        c = static_cast<uint32_t>(std::llround(3178275430.0 + g(rng)));
    analysis::TNoiseFigures noise;
    ASSERT_TRUE(analysis::Analyze(codes, 100.0, 1, {}, noise));
    const QImage image = RenderNoisePlots(noise, Figures(), false, QSize(800, 600));
    ASSERT_EQ(image.size(), QSize(800, 600));
    auto count = [&](int x0, int y0, auto match) {
        int n = 0;
        for (int y = y0; y < y0 + 300; ++y)
            for (int x = x0; x < x0 + 400; ++x)
                n += match(QColor(image.pixel(x, y))) ? 1 : 0;
        return n;
    };
    auto near = [](int r, int gr, int b) {
        return [=](QColor p) {
            return std::abs(p.red() - r) < 30 && std::abs(p.green() - gr) < 30 &&
                   std::abs(p.blue() - b) < 30;
        };
    };
    auto barFill = [](QColor p) { return p.blue() > p.red() + 60 && p.green() > 100; };
    const auto blue = near(30, 90, 170);
    const auto red = near(200, 40, 40);
    // Histogram top left, density top right, Allan bottom left, trace bottom right.
    EXPECT_GT(count(0, 0, barFill), 400 * 300 / 20);
    EXPECT_LT(count(400, 0, barFill), 400 * 300 / 100);
    EXPECT_GT(count(400, 0, blue), 100);
    EXPECT_GT(count(0, 300, blue), 50);
    EXPECT_GT(count(0, 300, red), 50);
    EXPECT_GT(count(400, 300, blue), 100);
    EXPECT_GT(count(400, 300, red), 100);
    EXPECT_LT(count(0, 300, barFill), 400 * 300 / 100);
}
