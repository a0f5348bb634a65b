// The simulated board's converter noise, acquired through the real transport
// and protocol on a manual clock, recovered by the analysis at three rates:
// the rms the board was told to produce, a white density of rms * sqrt(2/fs),
// and the whole band holding the variance.

#include "Ad7177.h"
#include "BoardFactory.h"
#include "NoiseAnalysis.h"
#include "SimBoard.h"

#include <QObject>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

using namespace mirantos;
using namespace mirantos::analysis;

namespace {

struct RateCase {
    int index;
    bool sinc5;
    double sps; // the converter's rate for that index and filter
    int perRead;
};

void PrintTo(const RateCase& c, std::ostream* os)
{
    *os << c.sps << " sps";
}

std::vector<uint32_t> Acquire(const RateCase& rate, int count, double pickupUv = 0.0)
{
    QObject owner;
    auto clock = std::make_shared<ManualClock>();
    SimConfig cfg;
    cfg.seed = 17;
    cfg.clock = clock;
    cfg.pickup50HzUv = pickupUv;
    TADC adc(&owner, MakeSimDriver(std::move(cfg)));
    clock->SetAutoStepUs(100);
    char name[11], version[11];
    EXPECT_TRUE(adc.Connect() && adc.CheckBoard() && adc.GetBoardName(name) &&
                adc.GetVersion(version));
    EXPECT_TRUE((rate.sinc5 ? adc.SetSinc5() : adc.SetSinc3()) && adc.SetRate(rate.index));
    EXPECT_TRUE(adc.StartConversion(0, count));
    clock->SetAutoStepUs(0);
    std::vector<uint32_t> codes(static_cast<size_t>(count) + 200);
    int received = 0;
    for (int quiet = 0; received < count && quiet < 50;) {
        clock->AdvanceUs(static_cast<int64_t>(1e6 / rate.sps * rate.perRead) + 1);
        int32_t got = 0;
        if (!adc.ReadData1CH(&codes[static_cast<size_t>(received)], &got, rate.perRead))
            break;
        received += got;
        quiet = got == 0 ? quiet + 1 : 0;
    }
    codes.resize(static_cast<size_t>(received));
    return codes;
}

class SimNoise : public ::testing::TestWithParam<RateCase> {};

} // namespace

TEST_P(SimNoise, BoardsNoiseIsRecoveredWithinStatisticalBounds)
{
    const RateCase rate = GetParam();
    const int n = 10000;
    const auto codes = Acquire(rate, n);
    ASSERT_EQ(codes.size(), static_cast<size_t>(n));
    TNoiseFigures f;
    std::string error;
    ASSERT_TRUE(Analyze(codes, rate.sps, 1, {}, f, &error)) << error;

    const double rms = SimNoiseRmsUv(rate.sps, rate.sinc5);
    EXPECT_NEAR(f.rmsUv / rms, 1.0, 4.0 / std::sqrt(2.0 * n));
    EXPECT_NEAR(f.meanUv, 1200000.0, 4.0 * rms / std::sqrt(static_cast<double>(n)));
    // 8 segments of 2048: the median of the averaged periodogram is about
    // 0.98 of the white density.
    EXPECT_EQ(f.spectrum.segments, 8);
    const double density = rms * std::sqrt(2.0 / rate.sps) * 1000.0;
    EXPECT_NEAR(f.nsdMedianNv / density, 0.98, 0.04);
    EXPECT_NEAR(f.bandRmsUv / rms, 1.0, 0.04);
    EXPECT_NEAR(f.effectiveBits, 32.0 - std::log2(rms * 2147483647.0 / 2500000.0), 0.05);
}

INSTANTIATE_TEST_SUITE_P(ThreeRates, SimNoise,
                         ::testing::Values(RateCase{0, true, 5.0, 1}, RateCase{8, true, 397.5, 4},
                                           RateCase{13, false, 10000.0, 100}),
                         [](const auto& info) {
                             return "Rate" + std::to_string(info.param.index) +
                                    (info.param.sinc5 ? "Sinc5" : "Sinc3");
                         });

TEST(SimNoisePickup, MainsPickupIsThePeakAt50Hz)
{
    const RateCase rate{8, true, 397.5, 4};
    const auto codes = Acquire(rate, 4000, 20.0);
    ASSERT_EQ(codes.size(), 4000u);
    TNoiseFigures f;
    ASSERT_TRUE(Analyze(codes, rate.sps, 1, {}, f));
    const auto& nsd = f.spectrum.nsdNv;
    const size_t peak = static_cast<size_t>(std::max_element(nsd.begin(), nsd.end()) - nsd.begin());
    EXPECT_NEAR(f.spectrum.FrequencyHz(peak), 50.0, f.spectrum.dfHz);
    // The 20 uV amplitude is 14.1 uV rms around 50 Hz, above a noise of about 0.5 uV.
    EXPECT_NEAR(BandRms(f.spectrum, 45.0, 55.0), 20.0 / std::sqrt(2.0), 0.5);
}
