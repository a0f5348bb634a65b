// The low-frequency plots and rows of the noise analysis, from hand-made
// figures: the rows or the reason, the Allan deviation with the white-noise
// guide, each interval's peak-to-peak on the trace, the min/max reduction of
// long traces, and the picture of four plots.

#include "AnalysisTexts.h"
#include "NoiseAnalysisWindow.h"
#include "NoisePlots.h"

#include <qcustomplot.h>

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace mirantos;

namespace {

QString U(const char* s)
{
    return QString::fromUtf8(s);
}

// Three intervals of 100 samples at 100 sps after 20 s, of different heights.
analysis::TLowFrequencyFigures Figures()
{
    analysis::TLowFrequencyFigures f;
    f.slopeUvPerH = -12.3456;
    f.allan = {{1, 0.01, 8, 0}, {2, 0.02, 6, 0}, {8, 0.08, 4, 0}};
    analysis::TLowFrequencyNoise n{3, 1.5, 5.25, 0.98765, 2000, 100, {}, {}};
    for (double height : {2.0, 5.0, 3.0}) {
        for (int i = 0; i < 100; ++i)
            n.keptUv.push_back(height * std::sin(0.13 * i + height));
        const auto [lo, hi] = std::minmax_element(n.keptUv.end() - 100, n.keptUv.end());
        n.intervalPpUv.push_back(*hi - *lo);
    }
    f.lf = n;
    return f;
}

} // namespace

TEST(LowFrequencyRows, ShowTheFiguresOrWhyTheBandIsNotDefined)
{
    const QString no = U(text::AnalysisLfUndefined);
    const struct {
        const char* reason; // null: the figures above
        QString why;
        bool noDrift = false; // the record is too short for the drift, too
    } cases[] = {{nullptr, {}},
                 {"needs at least 49.96 sps", no + U(text::AnalysisLfNeedsRate)},
                 {"needs at least 30 s of samples", no + U(text::AnalysisLfNeedsLength)},
                 {"needs at least 30 s of samples", no + U(text::AnalysisLfNeedsLength), true},
                 {"something else", no + "something else"}};
    for (const auto& c : cases) {
        analysis::TLowFrequencyFigures f = Figures();
        std::array<QString, 4> want = {U("-12.346 µV/h"), U("1.500 µV (3区間)"), U("5.250 µV"),
                                       U("0.9877 µV")};
        if (c.reason != nullptr) {
            f.lf.reset();
            f.lfReason = c.reason;
            want = {want[0], c.why, c.why, c.why};
        }
        if (c.noDrift) {
            f.slopeUvPerH.reset();
            f.slopeReason = c.reason;
            want[0] = c.why;
        }
        EXPECT_EQ(LowFrequencyValueTexts(f), want) << f.lfReason;
    }
}

TEST(LowFrequencyPlots, AllanPointsAndTheWhiteNoiseGuideThroughTheFirst)
{
    QCustomPlot plot;
    PrepareAllanPlot(plot);
    const analysis::TLowFrequencyFigures f = Figures();
    ShowAllan(plot, f);
    EXPECT_EQ(plot.yAxis->scaleType(), QCPAxis::stLogarithmic);
    ASSERT_EQ(plot.graphCount(), 2);
    ASSERT_EQ(plot.graph(0)->data()->size(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(plot.graph(0)->data()->at(i)->value, f.allan[static_cast<size_t>(i)].adevUv);
    QCPGraph* guide = plot.graph(1);
    EXPECT_EQ(guide->pen().style(), Qt::DashLine);
    const auto a = guide->data()->at(0);
    const auto b = guide->data()->at(guide->data()->size() - 1);
    EXPECT_TRUE(a->key == 0.01 && a->value == 8.0 && b->key == 0.08);
    EXPECT_NEAR(std::log(b->value / a->value) / std::log(b->key / a->key), -0.5, 1e-12);
    EXPECT_LT(plot.yAxis->range().lower, b->value);
}

TEST(LowFrequencyPlots, TraceMarksEachIntervalsPeakToPeak)
{
    QCustomPlot plot;
    PrepareLowFrequencyPlot(plot);
    analysis::TLowFrequencyFigures f = Figures();
    ShowLowFrequency(plot, f, 100.0);
    ASSERT_EQ(plot.graphCount(), 3);
    EXPECT_DOUBLE_EQ(plot.graph(0)->data()->at(0)->key, 20.0); // s from the start
    // Per interval: a stroke at the maximum, one at the minimum, the pp above.
    const auto tops = plot.graph(1)->data();
    const auto bottoms = plot.graph(2)->data();
    ASSERT_EQ(tops->size(), 9);
    ASSERT_EQ(plot.itemCount(), 3);
    for (int k = 0; k < 3; ++k) {
        const double pp = f.lf->intervalPpUv[static_cast<size_t>(k)];
        EXPECT_NEAR(tops->at(3 * k)->value - bottoms->at(3 * k + 1)->value, pp, 1e-12);
        EXPECT_EQ(tops->at(3 * k)->value, tops->at(3 * k + 1)->value);
        EXPECT_TRUE(std::isnan(tops->at(3 * k + 2)->value));
        EXPECT_GE(tops->at(3 * k)->key, 20.0 + k);
        EXPECT_LE(tops->at(3 * k + 1)->key, 21.0 + k);
        auto* label = qobject_cast<QCPItemText*>(plot.item(k));
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), QString::number(pp, 'g', 3) + U(" µV"));
    }
    // A million samples are drawn from at most two points per run.
    f.lf->keptUv.assign(1'000'000, 0.0);
    f.lf->keptUv[123'456] = 9.0;
    f.lf->intervalSamples = 10'000;
    ShowLowFrequency(plot, f, 100.0);
    EXPECT_LE(plot.graph(0)->data()->size(), 2 * kTraceBuckets);
    const auto data = plot.graph(0)->data();
    EXPECT_TRUE(std::any_of(data->begin(), data->end(), [](auto& d) { return d.value == 9.0; }));
    // Not defined: no curve, the reason in its place.
    f.lf.reset();
    f.lfReason = analysis::kLfReasonLength;
    ShowLowFrequency(plot, f, 100.0);
    EXPECT_EQ(plot.graphCount(), 0);
    ASSERT_EQ(plot.itemCount(), 1);
    auto* reason = qobject_cast<QCPItemText*>(plot.item(0));
    ASSERT_NE(reason, nullptr);
    EXPECT_EQ(reason->text(), U(text::AnalysisLfUndefined) + "\n" + U(text::AnalysisLfNeedsLength));
}

TEST(LowFrequencyPlots, ReductionKeepsEachRunsMinimumAndMaximum)
{
    std::mt19937_64 rng(7);
    std::normal_distribution<double> g(0.0, 1.0);
    const std::pair<size_t, int> cases[] = {
        {1'000'000, kTraceBuckets}, {10'007, 100}, {2001, 1000}, {7, 3}, {6, 3}, {0, 5}};
    for (const auto& [samples, buckets] : cases) {
        std::vector<double> y(samples);
        for (double& v : y)
            v = g(rng);
        const TPlotPoints p = DecimateMinMax(y, 20.0, 0.5, buckets);
        const auto b = static_cast<size_t>(buckets);
        EXPECT_LE(static_cast<size_t>(p.values.size()), std::min(samples, 2 * b));
        EXPECT_TRUE(samples > 2 * b || static_cast<size_t>(p.values.size()) == samples);
        // Each point is a sample at its own time; each run's extremes are among them.
        std::vector<double> lo(b, INFINITY), hi(b, -INFINITY);
        for (qsizetype i = 0; i < p.keys.size(); ++i) {
            const auto idx = static_cast<size_t>(std::llround((p.keys[i] - 20.0) / 0.5));
            ASSERT_LT(idx, samples);
            ASSERT_EQ(p.values[i], y[idx]);
            const size_t run = std::min(b - 1, (idx * b + b - 1) / samples);
            lo[run] = std::min(lo[run], p.values[i]);
            hi[run] = std::max(hi[run], p.values[i]);
        }
        for (size_t k = 0; samples > 0 && k < b; ++k) {
            const auto first = y.begin() + static_cast<long>(samples * k / b);
            const auto last = y.begin() + static_cast<long>(samples * (k + 1) / b);
            if (first == last)
                continue;
            const auto [mn, mx] = std::minmax_element(first, last);
            ASSERT_TRUE(lo[k] == *mn && hi[k] == *mx) << samples << " run " << k;
        }
    }
}

TEST(LowFrequencyPlots, PictureHoldsFourPlots)
{
    std::mt19937_64 rng(3);
    std::normal_distribution<double> g(0.0, 40.0);
    std::vector<uint32_t> codes(2000);
    for (uint32_t& c : codes)
        c = static_cast<uint32_t>(std::llround(3178275430.0 + g(rng)));
    analysis::TNoiseFigures noise;
    ASSERT_TRUE(analysis::Analyze(codes, 100.0, 1, {}, noise));
    const QImage image = RenderNoisePlots(noise, Figures(), false, QSize(800, 600));
    ASSERT_EQ(image.size(), QSize(800, 600));
    // Pixels near an (antialiased) colour in a quadrant.
    auto count = [&](int x0, int y0, QColor c) {
        int n = 0;
        for (int y = y0; y < y0 + 300; ++y)
            for (int x = x0; x < x0 + 400; ++x) {
                const QColor p(image.pixel(x, y));
                n += std::abs(p.red() - c.red()) + std::abs(p.green() - c.green()) +
                                 std::abs(p.blue() - c.blue()) <
                             60
                         ? 1
                         : 0;
            }
        return n;
    };
    // The bars' fill over white, the lines' colours.
    const QColor bars(145, 178, 232), blue(30, 90, 170), red(200, 40, 40);
    // Histogram top left, density top right, Allan bottom left, trace bottom right.
    EXPECT_GT(count(0, 0, bars), 2000);
    for (auto [x, y, c] : {std::tuple{400, 0, blue},
                           {0, 300, blue},
                           {0, 300, red},
                           {400, 300, blue},
                           {400, 300, red}})
        EXPECT_GT(count(x, y, c), 50) << x << "," << y;
    for (auto [x, y] : {std::pair{400, 0}, {0, 300}, {400, 300}})
        EXPECT_LT(5 * count(x, y, bars), count(0, 0, bars)) << x << "," << y;
}
