// The sine-wave test of analyze --sine on 1 048 575 samples at 1 ksps: a 1e6 uV tone at
// 123.4 Hz (not a whole number of cycles) with 2nd and 3rd harmonics at -100 and -110 dBc
// and white noise of 3 uV. BM_SineAll is AnalyzeSine (the figures and the fit), the others
// its parts. With --dump DIR the samples and MIRANTOS' figures are written there first,
// so compare_sine_numpy.py times numpy + scipy on the very same samples and checks that
// both agree.

#include "MeasureRecord.h"
#include "NoiseReport.h"
#include "SineAnalysis.h"
#include "WholeFile.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <random>
#include <string>
#include <vector>

using namespace mirantos::analysis;
using mirantos::WriteFileWhole;

namespace {

constexpr double kRateSps = 1000.0;
constexpr int64_t kSamples = 1048575;

const std::vector<uint32_t>& Codes()
{
    static std::vector<uint32_t> c;
    if (c.empty()) {
        std::mt19937_64 rng(30);
        std::normal_distribution<double> g(0.0, 3.0);
        c.resize(kSamples);
        for (int64_t i = 0; i < kSamples; ++i) {
            const double ph =
                2.0 * std::numbers::pi * std::fmod(123.4 * static_cast<double>(i) / kRateSps, 1.0);
            const double uv = 1e6 * (std::sin(ph) + 1e-5 * std::sin(2 * ph + 0.3) +
                                     std::pow(10.0, -5.5) * std::sin(3 * ph + 1.0)) +
                              g(rng);
            c[static_cast<size_t>(i)] =
                static_cast<uint32_t>(std::llround(2147483648.0 + uv * 2147483647.0 / 2500000.0));
        }
    }
    return c;
}

void BM_SineAll(benchmark::State& state)
{
    const auto& codes = Codes();
    for (auto _ : state) {
        const auto f = AnalyzeSine(codes, kRateSps, 1, {}, nullptr);
        benchmark::DoNotOptimize(f->fit->residualRmsUv);
    }
}
BENCHMARK(BM_SineAll)->Unit(benchmark::kMillisecond);

// The fit alone, from the spectrum's frequency.
void BM_SineFit(benchmark::State& state)
{
    const auto& codes = Codes();
    std::vector<double> uv(codes.size());
    for (size_t i = 0; i < uv.size(); ++i)
        uv[i] = CodeToMicrovolt(codes[i], 1);
    const double f1 = AnalyzeSine(codes, kRateSps, 1, {}, nullptr)->fundamentalHz;
    for (auto _ : state) {
        const auto fit = FitSine(uv, kRateSps, f1, 2.5e6, nullptr);
        benchmark::DoNotOptimize(fit->residualRmsUv);
    }
}
BENCHMARK(BM_SineFit)->Unit(benchmark::kMillisecond);

bool Dump(const std::string& dir)
{
    const auto& codes = Codes();
    std::string raw(reinterpret_cast<const char*>(codes.data()), codes.size() * 4);
    TSineResult s;
    s.figures = AnalyzeSine(codes, kRateSps, 1, {}, &s.reason);
    if (!s.figures)
        return false;
    TNoiseFigures noise;
    Analyze(codes, kRateSps, 1, {}, noise);
    return WriteFileWhole(dir + "/sine.u32", raw) &&
           WriteFileWhole(dir + "/sine.json",
                          FiguresJson(noise, 0, {}, {}, s)); // the sine object is what counts
}

} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--dump") == 0) {
            if (!Dump(argv[i + 1])) {
                std::fprintf(stderr, "cannot write the data to %s\n", argv[i + 1]);
                return 1;
            }
            for (int j = i; j + 2 <= argc; ++j)
                argv[j] = argv[j + 2];
            argc -= 2;
            break;
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
