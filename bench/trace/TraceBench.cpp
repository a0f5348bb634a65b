// The trace viewer over two channels of 1048575 samples: building the
// pyramids, and one 1920 x 600 frame of the whole record, of 1 % of it and of
// ~1000 samples, ours against QCustomPlot 2.1 drawing the same samples
// (QCPGraph with adaptive sampling, replotted into a pixmap), and the
// columns' extremes by a plain scan of the raw samples against the pyramids.
// Prints the medians' ratios at the end.

#include "MedianReporter.h"
#include "TraceRenderer.h"

#include <benchmark/benchmark.h>

#include <QImage>

#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#ifdef MIRANTOS_HAVE_QCUSTOMPLOT
#include <QApplication>
#include <qcustomplot.h>
#else
#include <QGuiApplication>
#endif

using namespace mirantos::trace;

namespace {

constexpr int64_t kSamples = 1048575;
constexpr int kWidth = 1920;
constexpr int kHeight = 600;
const QRgb kColours[2] = {qRgb(255, 0, 0), qRgb(0, 0, 255)};

// A slow sine under noise of a few hundred codes, and one spike.
const std::vector<uint32_t>& Channel(int c)
{
    static const std::array<std::vector<uint32_t>, 2> data = [] {
        std::array<std::vector<uint32_t>, 2> v;
        std::mt19937 rng(42);
        std::normal_distribution<double> noise(0.0, 300.0);
        for (int ch = 0; ch < 2; ++ch) {
            v[ch].resize(kSamples);
            for (int64_t i = 0; i < kSamples; ++i) {
                const double t = 2.0 * 3.14159265358979 * 5.0 * static_cast<double>(i) / kSamples;
                const double a = (ch == 0 ? 20000.0 * std::sin(t) : 15000.0 * std::cos(t));
                v[ch][static_cast<size_t>(i)] =
                    static_cast<uint32_t>(2147483648.0 + a + noise(rng));
            }
        }
        v[0][654321] += 100000;
        return v;
    }();
    return data[c];
}

const TMinMaxPyramid& Pyramid(int c)
{
    static const TMinMaxPyramid p[2] = {TMinMaxPyramid(Channel(0)), TMinMaxPyramid(Channel(1))};
    return p[c];
}

// range(0): 0 whole record, 1 one per cent, 2 about 1000 samples.
TViewX ZoomView(int64_t zoom)
{
    if (zoom == 0)
        return FitAll(kSamples, kWidth);
    const int64_t count = zoom == 1 ? kSamples / 100 : 1000;
    return ShowSamples(kSamples, kWidth, 600000, count);
}

void BM_BuildPyramids(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<uint32_t> a = Channel(0), b = Channel(1);
        state.ResumeTiming();
        TMinMaxPyramid p0(std::move(a)), p1(std::move(b));
        benchmark::DoNotOptimize(p0.Level(0).data());
        benchmark::DoNotOptimize(p1.Level(0).data());
    }
}

// A whole frame: the visible extremes for the auto Y range, then the drawing.
void BM_OursFrame(benchmark::State& state)
{
    const TViewX vx = ZoomView(state.range(0));
    const TTraceLayer layers[2] = {{&Pyramid(0), kColours[0]}, {&Pyramid(1), kColours[1]}};
    QImage img(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    TTraceRenderer renderer;
    for (auto _ : state) {
        const TSampleSpan vis = VisibleSpan(vx, kSamples);
        TCodeRange r = Pyramid(0).Range(vis.first, vis.last);
        r.Add(Pyramid(1).Range(vis.first, vis.last));
        renderer.Render(img, vx, AutoY(r.min, r.max, kHeight), layers, qRgb(255, 255, 255));
        benchmark::DoNotOptimize(img.constBits());
    }
}

// The extremes of every column straight from the raw samples, both channels.
void BM_PlainColumnMinMax(benchmark::State& state)
{
    const TViewX vx = ZoomView(state.range(0));
    std::vector<int64_t> starts;
    std::vector<TCodeRange> out(kWidth);
    for (auto _ : state) {
        ColumnStarts(vx, kSamples, starts);
        for (int c = 0; c < 2; ++c) {
            const uint32_t* codes = Channel(c).data();
            for (int x = 0; x < kWidth; ++x)
                out[static_cast<size_t>(x)] =
                    ScanRange(codes + starts[static_cast<size_t>(x)],
                              starts[static_cast<size_t>(x) + 1] - starts[static_cast<size_t>(x)]);
            benchmark::DoNotOptimize(out.data());
        }
    }
}

// The same extremes from the pyramids.
void BM_PyramidColumnMinMax(benchmark::State& state)
{
    const TViewX vx = ZoomView(state.range(0));
    std::vector<int64_t> starts;
    std::vector<TCodeRange> out;
    for (auto _ : state) {
        ColumnStarts(vx, kSamples, starts);
        for (int c = 0; c < 2; ++c) {
            QueryColumns(Pyramid(c), starts, false, out);
            benchmark::DoNotOptimize(out.data());
        }
    }
}

#ifdef MIRANTOS_HAVE_QCUSTOMPLOT
// The plot area fills the pixmap, no tick labels, so it draws about what we
// draw; adaptive sampling on (its default), aliased like ours.
void BM_QCustomPlotFrame(benchmark::State& state)
{
    const TViewX vx = ZoomView(state.range(0));
    const TSampleSpan vis = VisibleSpan(vx, kSamples);
    QCustomPlot plot;
    plot.resize(kWidth, kHeight);
    plot.axisRect()->setAutoMargins(QCP::msNone);
    plot.axisRect()->setMargins(QMargins(0, 0, 0, 0));
    plot.xAxis->setTickLabels(false);
    plot.yAxis->setTickLabels(false);
    plot.setNotAntialiasedElements(QCP::aeAll);
    QVector<double> keys(kSamples);
    for (int64_t i = 0; i < kSamples; ++i)
        keys[i] = static_cast<double>(i);
    for (int c = 0; c < 2; ++c) {
        QVector<double> values(kSamples);
        for (int64_t i = 0; i < kSamples; ++i)
            values[i] = Channel(c)[static_cast<size_t>(i)];
        QCPGraph* g = plot.addGraph();
        g->setData(keys, values, true);
        g->setPen(QPen(QColor(kColours[c]), 1));
        g->setAdaptiveSampling(true);
    }
    TCodeRange r = Pyramid(0).Range(vis.first, vis.last);
    r.Add(Pyramid(1).Range(vis.first, vis.last));
    const TViewY vy = AutoY(r.min, r.max, kHeight);
    plot.xAxis->setRange(static_cast<double>(vis.first), static_cast<double>(vis.last - 1));
    plot.yAxis->setRange(vy.low, vy.high);
    for (auto _ : state) {
        QPixmap pm = plot.toPixmap(kWidth, kHeight);
        benchmark::DoNotOptimize(pm.cacheKey());
    }
}
#endif

} // namespace

BENCHMARK(BM_BuildPyramids)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OursFrame)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainColumnMinMax)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PyramidColumnMinMax)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
#ifdef MIRANTOS_HAVE_QCUSTOMPLOT
BENCHMARK(BM_QCustomPlotFrame)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
#endif

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#ifdef MIRANTOS_HAVE_QCUSTOMPLOT
    QApplication app(argc, argv);
#else
    QGuiApplication app(argc, argv);
#endif
    benchmark::Initialize(&argc, argv);
    // The samples and pyramids are made before the clock runs.
    benchmark::DoNotOptimize(Pyramid(1).Size());
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    for (const char* zoom : {"0", "1", "2"}) {
        const auto ours = reporter.medians.find(std::string("BM_OursFrame/") + zoom);
        if (ours == reporter.medians.end())
            continue;
        std::printf("zoom %s: our frame median %.3f ms\n", zoom, ours->second);
        const auto qcp = reporter.medians.find(std::string("BM_QCustomPlotFrame/") + zoom);
        if (qcp != reporter.medians.end())
            std::printf("  QCustomPlot frame %.3f ms: %.1fx ours\n", qcp->second,
                        qcp->second / ours->second);
        const auto plain = reporter.medians.find(std::string("BM_PlainColumnMinMax/") + zoom);
        const auto pyramid = reporter.medians.find(std::string("BM_PyramidColumnMinMax/") + zoom);
        if (plain != reporter.medians.end() && pyramid != reporter.medians.end())
            std::printf("  column extremes: plain scan %.3f ms, pyramid %.3f ms (%.1fx)\n",
                        plain->second, pyramid->second, plain->second / pyramid->second);
    }
    return 0;
}
