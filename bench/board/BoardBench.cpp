// Costs of the acquisition path: parsing sample records, and a poll that
// finds nothing queued (simulated board; libftdi1 backend without a device).

#include "Ad7177.h"
#include "BoardFactory.h"
#include "FtdiUsbDriver.h"
#include "SimBoard.h"

#include <QCoreApplication>
#include <QObject>

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

using namespace mirantos;

namespace {

// Always has the same block of records queued.
class EndlessRecords : public IFtdiDriver {
public:
    explicit EndlessRecords(std::string block) : block_(std::move(block)) {}
    FT_STATUS Open(int, FT_HANDLE* h) override
    {
        *h = this;
        return FT_OK;
    }
    FT_STATUS SetUSBParameters(FT_HANDLE, uint32_t, uint32_t) override { return FT_OK; }
    FT_STATUS Purge(FT_HANDLE, uint32_t) override { return FT_OK; }
    FT_STATUS Close(FT_HANDLE) override { return FT_OK; }
    FT_STATUS GetQueueStatus(FT_HANDLE, uint32_t* n) override
    {
        *n = static_cast<uint32_t>(block_.size());
        return FT_OK;
    }
    FT_STATUS Read(FT_HANDLE, void* buf, uint32_t want, uint32_t* got) override
    {
        const uint32_t n = std::min<uint32_t>(want, static_cast<uint32_t>(block_.size()));
        std::memcpy(buf, block_.data(), n);
        *got = n;
        return FT_OK;
    }
    FT_STATUS Write(FT_HANDLE, const void*, uint32_t n, uint32_t* w) override
    {
        *w = n;
        return FT_OK;
    }

private:
    std::string block_;
};

void BM_ReadData2CH_Parse(benchmark::State& state)
{
    std::string block;
    for (int i = 0; i < 100; ++i)
        block += "80A1B2C37f6e5d4c\r";
    QObject owner;
    TADC adc(&owner, std::make_unique<EndlessRecords>(block));
    adc.Connect();
    std::vector<uint32_t> c0(100), c1(100);
    for (auto _ : state) {
        int32_t n = 0;
        adc.ReadData2CH(c0.data(), c1.data(), 100, &n);
        benchmark::DoNotOptimize(c0.data());
        benchmark::DoNotOptimize(c1.data());
    }
    state.SetItemsProcessed(state.iterations() * 100);
}
BENCHMARK(BM_ReadData2CH_Parse);

void BM_ReadData1CH_Parse(benchmark::State& state)
{
    std::string block;
    for (int i = 0; i < 100; ++i)
        block += "80a1b2c3\r";
    QObject owner;
    TADC adc(&owner, std::make_unique<EndlessRecords>(block));
    adc.Connect();
    std::vector<uint32_t> c0(100);
    for (auto _ : state) {
        int32_t n = 0;
        adc.ReadData1CH(c0.data(), &n, 100);
        benchmark::DoNotOptimize(c0.data());
    }
    state.SetItemsProcessed(state.iterations() * 100);
}
BENCHMARK(BM_ReadData1CH_Parse);

// The controller's poll while a 10 kSPS two-channel block is not complete
// yet: the simulated board on its real clock, run in progress.
void BM_EmptyPoll_SimRunning(benchmark::State& state)
{
    QObject owner;
    SimConfig cfg;
    cfg.faults.answerDelayUs = 0;
    TADC adc(&owner, MakeSimDriver(std::move(cfg)));
    adc.Connect();
    adc.SetRate(0); // 5 sps: a block of 100 records is never complete here
    adc.StartConversion(2, 10000);
    std::vector<uint32_t> c0(100), c1(100);
    for (auto _ : state) {
        int32_t n = 0;
        benchmark::DoNotOptimize(adc.ReadData2CH(c0.data(), c1.data(), 100, &n));
    }
}
BENCHMARK(BM_EmptyPoll_SimRunning);

// One second of a 10 kSPS two-channel run made and read straight from the
// simulated board on a manual clock; argument 1 adds flicker noise and drift,
// which must stay a small part of real time.
void BM_SimSecond10ksps2ch(benchmark::State& state)
{
    auto clock = std::make_shared<ManualClock>();
    SimConfig cfg;
    cfg.clock = clock;
    if (state.range(0) != 0) {
        cfg.flickerNvAt1Hz = 50.0;
        cfg.driftUvPerHour = 2.0;
    }
    SimBoardDriver sim(std::move(cfg));
    FT_HANDLE h = nullptr;
    sim.Open(0, &h);
    uint32_t n = 0;
    const char start[] = "S5\rFD\rA2FFFFF\r";
    sim.Write(h, start, sizeof start - 1, &n);
    std::vector<char> buf(17 * 10000);
    for (auto _ : state) {
        clock->AdvanceUs(1000000);
        if (sim.Read(h, buf.data(), static_cast<uint32_t>(buf.size()), &n) != FT_OK) {
            state.SkipWithError("read failed");
            break;
        }
        benchmark::DoNotOptimize(buf.data());
        if (n < buf.size() / 2) { // a run lasts 105 s: start the next one
            state.PauseTiming();
            sim.Write(h, start + 6, sizeof start - 7, &n);
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_SimSecond10ksps2ch)->Arg(0)->Arg(1);

// The same with the board idle (nothing produced at all).
void BM_EmptyPoll_SimIdle(benchmark::State& state)
{
    QObject owner;
    TADC adc(&owner, MakeSimDriver(1));
    adc.Connect();
    std::vector<uint32_t> c0(100), c1(100);
    for (auto _ : state) {
        int32_t n = 0;
        benchmark::DoNotOptimize(adc.ReadData2CH(c0.data(), c1.data(), 100, &n));
    }
}
BENCHMARK(BM_EmptyPoll_SimIdle);

// libftdi1 backend, no device on this machine: the link never opens, so the
// poll takes the closed-link path of the transport.
void BM_EmptyPoll_UsbNoDevice(benchmark::State& state)
{
    QObject owner;
    TADC adc(&owner, MakeUsbDriver());
    adc.Connect();
    std::vector<uint32_t> c0(100), c1(100);
    for (auto _ : state) {
        int32_t n = 0;
        benchmark::DoNotOptimize(adc.ReadData2CH(c0.data(), c1.data(), 100, &n));
    }
}
BENCHMARK(BM_EmptyPoll_UsbNoDevice);

// The backend's own queue-status call when it has no open device.
void BM_UsbQueueStatus_NotOpen(benchmark::State& state)
{
    FtdiUsbDriver d;
    int other = 0;
    for (auto _ : state) {
        uint32_t n = 0;
        benchmark::DoNotOptimize(d.GetQueueStatus(&other, &n));
    }
}
BENCHMARK(BM_UsbQueueStatus_NotOpen);

// What a connect attempt costs when no FTDI device is present (libusb
// initialisation and a bus scan).
void BM_UsbOpen_NoDevice(benchmark::State& state)
{
    FtdiUsbDriver d;
    for (auto _ : state) {
        FT_HANDLE h = nullptr;
        benchmark::DoNotOptimize(d.Open(0, &h));
    }
}
BENCHMARK(BM_UsbOpen_NoDevice)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
