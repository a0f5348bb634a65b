#include "MeasureRecord.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

// The completion sequence's arithmetic for a full two-channel run of 10000 samples.
void BM_CompleteTwoChannels(benchmark::State& state)
{
    auto r = std::make_unique<TMeasureRecord>();
    uint32_t x = 7;
    for (int i = 0; i < 10000; ++i) {
        x = x * 1103515245u + 12345u;
        r->Ch0.Code[i] = 0xF5C28F5Cu + (x >> 20);
        r->Ch1.Code[i] = 0x80000000u + (x >> 22);
    }
    r->Setting.CHSel = 2;
    r->MarkComplete(10000);
    for (auto _ : state) {
        r->ConvertToVolt();
        r->ComputeCodeStatistics();
        r->ComputeVoltStatistics();
        benchmark::DoNotOptimize(r->Ch0SigmaVolt);
        benchmark::DoNotOptimize(r->Ch1SigmaCode);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 20000);
}
BENCHMARK(BM_CompleteTwoChannels)->Unit(benchmark::kMicrosecond);

} // namespace
