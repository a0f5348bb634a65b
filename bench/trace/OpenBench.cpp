// Opening the longest capture in the trace viewer: a 1 048 575-sample
// two-channel capture file read and its pyramids built (the viewer's open),
// beside the capture reader alone on the same file, in one run. Target: the
// open takes at most 1.5 times the reader.

#include "CaptureFile.h"
#include "RateTable.h"
#include "SampleFile.h"
#include "TraceData.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace mirantos;

constexpr int32_t kSamples = 1048575;

// A capture as the board writes one at 10 ksps: codes near the two inputs'
// levels with some noise, written by the capture writer itself.
const std::string& CaptureFile()
{
    static const std::string path = [] {
        char name[] = "/tmp/mirantos-open-bench-XXXXXX";
        const int fd = ::mkstemp(name);
        if (fd >= 0)
            ::close(fd);
        TCaptureWriter writer;
        TCaptureInfo info;
        info.rateIndex = 13;
        info.sinc5 = false;
        info.rateSps = RateSps(13, false);
        info.chSel = 2;
        info.board = "MIRANTOS 1.10";
        info.startUtc = "2026-12-08T05:00:00Z";
        std::mt19937 rng(7);
        std::normal_distribution<double> noise(0.0, 1500.0);
        std::vector<uint32_t> c0(1000);
        std::vector<uint32_t> c1(1000);
        if (!writer.Open(name, true) || !writer.Begin(info))
            std::abort();
        for (int32_t done = 0; done < kSamples;) {
            const int32_t n = std::min<int32_t>(1000, kSamples - done);
            for (int32_t i = 0; i < n; ++i) {
                c0[static_cast<size_t>(i)] = static_cast<uint32_t>(3178275430.0 + noise(rng));
                c1[static_cast<size_t>(i)] = static_cast<uint32_t>(1848000000.0 + noise(rng));
            }
            if (!writer.Write(c0.data(), c1.data(), n))
                std::abort();
            done += n;
        }
        if (!writer.Finish(TCaptureEnd::Complete))
            std::abort();
        return std::string(name);
    }();
    return path;
}

void BM_CaptureReader(benchmark::State& state)
{
    const std::string& path = CaptureFile();
    for (auto _ : state) {
        TCaptureData data;
        std::vector<std::string> warnings;
        std::string error;
        if (!ReadCapture(path, data, warnings, error) || data.ch0.size() != kSamples)
            state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(data.ch1.data());
    }
}

void BM_ViewerOpen(benchmark::State& state)
{
    const std::string& path = CaptureFile();
    for (auto _ : state) {
        TSampleSet samples;
        std::vector<std::string> warnings;
        std::string error;
        if (ReadSampleFile(path, 1, samples, warnings, error) != TSampleLoad::Ok)
            state.SkipWithError(error.c_str());
        const trace::TTraceData data(std::move(samples), "open.csv");
        if (data.Samples() != kSamples)
            state.SkipWithError("short record");
        benchmark::DoNotOptimize(&data);
    }
}

// Side by side, alternating, so that both see the same machine.
BENCHMARK(BM_CaptureReader)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ViewerOpen)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::remove(CaptureFile().c_str());
    return 0;
}
