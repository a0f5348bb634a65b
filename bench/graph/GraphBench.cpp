// Full redraw of a two-channel, 10000-sample record into 558 x 415, against
// the same traces drawn with QPainter::drawLine per segment and with a
// QCustomPlot replot into a pixmap. Prints the medians' ratios at the end.

#include "GraphLabels.h"
#include "Graph_2ch.h"
#include "MedianReporter.h"

#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>
#include <QPen>

#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#ifdef MIRANTOS_HAVE_QCUSTOMPLOT
#include <QApplication>
#include <qcustomplot.h>
#else
#include <QGuiApplication>
#endif

using namespace mirantos;

namespace {

constexpr int kSamples = 10000;
constexpr int kBoxWidth = 560; // bitmap 558 x 415
constexpr int kBoxHeight = 417;
constexpr uint32_t kZero = 2147483648u;

class NullBox : public IPaintBox {
public:
    int Left() const override { return 72; }
    int Top() const override { return 24; }
    int Width() const override { return kBoxWidth; }
    int Height() const override { return kBoxHeight; }
    void Present(const QImage&, const QRect&, const QRect&) override {}
};

// Data kind 0: a slow sine with noise of a few percent (a typical signal);
// kind 1: noise over the whole range, so nearly every segment is steep and long.
struct Data {
    std::unique_ptr<TChannelStorage> store = std::make_unique<TChannelStorage>();
    TChannelData ch0, ch1;
    TAdcSetting setting;

    explicit Data(int kind)
    {
        std::mt19937 rng(42);
        std::normal_distribution<double> noise(0.0, kind == 0 ? 300.0 : 0.0);
        std::uniform_int_distribution<int> wide(0, 200000);
        for (int i = 0; i < kSamples; ++i) {
            const double t = 2.0 * 3.14159265358979 * 3.0 * i / kSamples;
            int64_t a, b;
            if (kind == 0) {
                a = static_cast<int64_t>(10000.0 * std::sin(t) + noise(rng));
                b = static_cast<int64_t>(8000.0 * std::cos(t) + noise(rng));
            } else {
                a = wide(rng) - 100000;
                b = wide(rng) - 100000;
            }
            store->Code0[i] = static_cast<uint32_t>(kZero + a);
            store->Code1[i] = static_cast<uint32_t>(kZero + b);
            store->Volt0[i] = static_cast<float>(CodeToMicrovolt(store->Code0[i], 1));
            store->Volt1[i] = static_cast<float>(CodeToMicrovolt(store->Code1[i], 1));
        }
        ch0 = {kSamples, store->Code0.data(), store->Volt0.data()};
        ch1 = {kSamples, store->Code1.data(), store->Volt1.data()};
        setting.CHSel = 2;
    }
};

QSize FixedSize(const QString& text)
{
    return {7 * static_cast<int>(text.size()), 12};
}

void BM_DrawRecord(benchmark::State& state)
{
    Data d(static_cast<int>(state.range(0)));
    NullBox box;
    std::vector<std::unique_ptr<TMeasuredLabel>> labels;
    for (int i = 0; i < 13; ++i)
        labels.push_back(std::make_unique<TMeasuredLabel>(FixedSize));
    IGraphLabel* const xs[2] = {labels[11].get(), labels[12].get()};
    IGraphLabel* const ys[11] = {labels[0].get(), labels[1].get(), labels[2].get(), labels[3].get(),
                                 labels[4].get(), labels[5].get(), labels[6].get(), labels[7].get(),
                                 labels[8].get(), labels[9].get(), labels[10].get()};
    TGraph_2CH graph(&box, &d.ch0, &d.ch1, &d.setting, xs, ys);
    for (auto _ : state) {
        graph.DrawRecord(false);
        benchmark::DoNotOptimize(graph.Bitmap().constBits());
    }
}

// The same picture with QPainter: fill, grid, then one drawLine per segment.
void BM_QPainterDrawLine(benchmark::State& state)
{
    Data d(static_cast<int>(state.range(0)));
    const int w = kBoxWidth - 2, h = kBoxHeight - 2;
    QImage img(w, h, QImage::Format_RGB32);
    uint32_t max = 0, min = 0xFFFFFFFFu;
    for (int i = 0; i < kSamples; ++i) {
        for (const uint32_t c : {d.ch0.Code[i], d.ch1.Code[i]}) {
            max = std::max(max, c);
            min = std::min(min, c);
        }
    }
    const double span = CodeSpan(max, min);
    const double low = CodeLow(max, min, span);
    const QPen grey(QColor(128, 128, 128), 1), red(QColor(255, 0, 0), 1),
        blue(QColor(0, 0, 255), 1);
    for (auto _ : state) {
        img.fill(Qt::white);
        QPainter p(&img);
        p.setPen(grey);
        for (int i = 0; i <= 10; ++i) {
            const int y = static_cast<int>((h - 1) * i * 0.1);
            const int x = static_cast<int>((w - 1) * i * 0.1);
            p.drawLine(0, y, w - 1, y);
            p.drawLine(x, 0, x, h - 1);
        }
        const float step = XStep(w, kSamples - 1);
        for (const TChannelData* ch : {&d.ch0, &d.ch1}) {
            p.setPen(ch == &d.ch0 ? red : blue);
            for (int i = 0; i + 1 < kSamples; ++i)
                p.drawLine(XPosition(i, step), YPosition(ch->Code[i], low, span, h),
                           XPosition(i + 1, step), YPosition(ch->Code[i + 1], low, span, h));
        }
        p.end();
        benchmark::DoNotOptimize(img.constBits());
    }
}

#ifdef MIRANTOS_HAVE_QCUSTOMPLOT
// QCustomPlot with the plot area filling the pixmap and no tick labels, so it
// draws about what we draw. range(1): 0 = every pair, aliased (like ours);
// 1 = its defaults (adaptive sampling thins the data, antialiasing as set up).
void BM_QCustomPlotReplot(benchmark::State& state)
{
    Data d(static_cast<int>(state.range(0)));
    const bool defaults = state.range(1) != 0;
    QCustomPlot plot;
    plot.resize(kBoxWidth - 2, kBoxHeight - 2);
    plot.axisRect()->setAutoMargins(QCP::msNone);
    plot.axisRect()->setMargins(QMargins(0, 0, 0, 0));
    plot.xAxis->setTickLabels(false);
    plot.yAxis->setTickLabels(false);
    if (!defaults)
        plot.setNotAntialiasedElements(QCP::aeAll);
    QVector<double> keys(kSamples), v0(kSamples), v1(kSamples);
    for (int i = 0; i < kSamples; ++i) {
        keys[i] = i;
        v0[i] = d.ch0.Code[i];
        v1[i] = d.ch1.Code[i];
    }
    const QColor colours[2] = {QColor(255, 0, 0), QColor(0, 0, 255)};
    const QVector<double>* values[2] = {&v0, &v1};
    for (int c = 0; c < 2; ++c) {
        QCPGraph* g = plot.addGraph();
        g->setData(keys, *values[c], true);
        g->setPen(QPen(colours[c], 1));
        g->setAdaptiveSampling(defaults);
    }
    plot.rescaleAxes();
    for (auto _ : state) {
        QPixmap pm = plot.toPixmap(kBoxWidth - 2, kBoxHeight - 2);
        benchmark::DoNotOptimize(pm.cacheKey());
    }
}
#endif

} // namespace

BENCHMARK(BM_DrawRecord)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_QPainterDrawLine)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);
#ifdef MIRANTOS_HAVE_QCUSTOMPLOT
BENCHMARK(BM_QCustomPlotReplot)
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);
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
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    for (const char* kind : {"0", "1"}) {
        const auto ours = reporter.medians.find(std::string("BM_DrawRecord/") + kind);
        if (ours == reporter.medians.end())
            continue;
        std::printf("data %s: DrawRecord median %.3f ms\n", kind, ours->second);
        for (const auto& [name, t] : reporter.medians) {
            if (name.rfind("BM_DrawRecord", 0) == 0)
                continue;
            const std::string suffix = name.substr(name.find('/') + 1);
            if (suffix.rfind(kind, 0) != 0)
                continue;
            std::printf("  %-28s %.3f ms, %.1fx ours\n", name.c_str(), t, t / ours->second);
        }
    }
    return 0;
}
