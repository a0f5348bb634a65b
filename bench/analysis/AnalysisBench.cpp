// Every noise figure with the default options (100 bins, default segment,
// Blackman-Harris, the whole band) for 10 000 and 1 048 575 samples of white
// noise on a 1.2 V offset; then all of analyze's figures (those and the
// drift, Allan deviation and 0.1-10 Hz noise) and each low-frequency one alone. With --dump DIR the
// data and MIRANTOS' figures are written there first, so compare_numpy.py times numpy/scipy on the
// very same samples and checks that both agree.

#include "LowFrequency.h"
#include "NoiseAnalysis.h"
#include "NoiseReport.h"
#include "WholeFile.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

using namespace mirantos::analysis;
using mirantos::WriteFileWhole;

namespace {

constexpr double kRateSps = 1000.0;

const std::vector<uint32_t>& Codes(int64_t n)
{
    static std::vector<uint32_t> small, large;
    std::vector<uint32_t>& c = n <= 10000 ? small : large;
    if (c.size() != static_cast<size_t>(n)) {
        std::mt19937_64 rng(static_cast<uint64_t>(n));
        std::normal_distribution<double> g(0.0, 120.0);
        c.resize(static_cast<size_t>(n));
        for (auto& x : c)
            x = static_cast<uint32_t>(std::llround(3178275430.0 + g(rng))); // about +1.2 V
    }
    return c;
}

void BM_AllFigures(benchmark::State& state)
{
    const auto& codes = Codes(state.range(0));
    TNoiseFigures f;
    for (auto _ : state) {
        Analyze(codes, kRateSps, 1, {}, f);
        benchmark::DoNotOptimize(f.bandRmsUv);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_AllFigures)->Arg(10000)->Arg(1048575)->Unit(benchmark::kMillisecond);

// What analyze computes.
void BM_AnalyzeAll(benchmark::State& state)
{
    const auto& codes = Codes(state.range(0));
    TNoiseFigures f;
    for (auto _ : state) {
        Analyze(codes, kRateSps, 1, {}, f);
        const TLowFrequencyFigures lf = ComputeLowFrequency(codes, kRateSps, 1);
        benchmark::DoNotOptimize(f.bandRmsUv);
        benchmark::DoNotOptimize(lf.slopeUvPerH);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_AnalyzeAll)->Arg(1048575)->Unit(benchmark::kMillisecond);

void BM_Drift(benchmark::State& state)
{
    const auto& codes = Codes(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(DriftUvPerHour(codes, kRateSps, 1));
}
BENCHMARK(BM_Drift)->Arg(1048575)->Unit(benchmark::kMillisecond);

void BM_Allan(benchmark::State& state)
{
    const auto& codes = Codes(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(AllanDeviation(codes, kRateSps, 1));
}
BENCHMARK(BM_Allan)->Arg(1048575)->Unit(benchmark::kMillisecond);

void BM_Band(benchmark::State& state)
{
    const auto& codes = Codes(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(LowFrequencyNoise(codes, kRateSps, 1, nullptr));
}
BENCHMARK(BM_Band)->Arg(1048575)->Unit(benchmark::kMillisecond);

bool Dump(const std::string& dir)
{
    for (const int64_t n : {int64_t{10000}, int64_t{1048575}}) {
        const auto& codes = Codes(n);
        const std::string base = dir + "/noise_" + std::to_string(n);
        std::string raw(reinterpret_cast<const char*>(codes.data()), codes.size() * 4);
        TNoiseFigures f;
        if (!Analyze(codes, kRateSps, 1, {}, f) || !WriteFileWhole(base + ".u32", raw) ||
            !WriteFileWhole(base + ".json",
                            FiguresJson(f, 0, ComputeLowFrequency(codes, kRateSps, 1))))
            return false;
    }
    return true;
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
