// ParseLimits on about 1 MB (just under the 1 MiB a limits file may have) in
// the shapes that once cost most: a megabyte of keys, in one object (refused
// at its 65th key) and in many small objects (parsed whole, then refused at
// their unknown key), a megabyte of '[' (refused at depth 16), and a valid
// file padded with blanks. Every shape is linear in its size.
//
//   limits_bench [--benchmark_filter=Keys]

#include "Limits.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

constexpr size_t kSize = 1000000;

const std::string kValid =
    R"({"name": "t", "version": 1, "settings": {"rate": "1000", "channels": "ch0",
    "samples": 10000}, "limits": {"ch0": {"rms_uV": {"max": 1}}}})";

std::string Keys(size_t perObject)
{
    std::string text = R"({"name": "t", "keys": [)";
    for (size_t n = 0; text.size() < kSize - 64;) {
        text += n % perObject == 0 ? (n == 0 ? "{" : "}, {") : ", ";
        text += "\"k" + std::to_string(n % perObject) + "\": 0";
        ++n;
    }
    return text + "}]}";
}

void Parse(benchmark::State& state, const std::string& text)
{
    for (auto _ : state) {
        mirantos::station::TTestLimits limits;
        std::string error;
        benchmark::DoNotOptimize(mirantos::station::ParseLimits(text, limits, error));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_KeysInOneObject(benchmark::State& state)
{
    static const std::string text = Keys(kSize);
    Parse(state, text);
}

void BM_KeysInObjectsOf60(benchmark::State& state)
{
    static const std::string text = Keys(60);
    Parse(state, text);
}

void BM_OpenBrackets(benchmark::State& state)
{
    static const std::string text(kSize, '[');
    Parse(state, text);
}

void BM_ValidPadded(benchmark::State& state)
{
    static const std::string text = kValid + std::string(kSize - kValid.size(), ' ');
    Parse(state, text);
}

BENCHMARK(BM_KeysInOneObject)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeysInObjectsOf60)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenBrackets)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ValidPadded)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
