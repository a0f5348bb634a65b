// The simulated board's signal over long runs, read straight from the driver
// on a manual clock: flicker noise by its density and Allan deviation, drift
// by its slope, and the plain model unchanged when both are off.

#include "BoardFactory.h"
#include "NoiseAnalysis.h"
#include "RateTable.h"
#include "SimBoard.h"
#include "SineAnalysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

using namespace mirantos;

namespace {

constexpr double kUvPerCode = 2500000.0 / 2147483647.0;

// One run of `count` records (channel "0", "1" or "2") at rate index `rate`
// (Sinc5+Sinc1), the codes per channel and the FNV-1a hash of the bytes.
struct Record {
    std::vector<uint32_t> c0, c1;
    uint64_t hash = 1469598103934665603ull;
};

Record Generate(SimConfig cfg, int rate, char channel, int64_t count)
{
    auto clock = std::make_shared<ManualClock>();
    cfg.clock = clock;
    SimBoardDriver sim(std::move(cfg));
    FT_HANDLE h = nullptr;
    EXPECT_EQ(sim.Open(0, &h), FT_OK);
    char hex[8];
    std::snprintf(hex, sizeof hex, "%05llX", static_cast<unsigned long long>(count));
    const std::string setup = "S5\rF" + std::string(1, "0123456789ABCD"[rate]) + "\r";
    const std::string start = std::string("A") + channel + hex + "\r";
    uint32_t n = 0;
    sim.Write(h, setup.data(), static_cast<uint32_t>(setup.size()), &n);
    clock->AdvanceSeconds(1.0);
    std::vector<char> buf(1 << 16);
    sim.Read(h, buf.data(), static_cast<uint32_t>(buf.size()), &n);
    EXPECT_EQ(std::string(buf.data(), n), "OK\rOK\r");
    sim.Write(h, start.data(), static_cast<uint32_t>(start.size()), &n);
    clock->AdvanceSeconds(1e7);

    Record r;
    const size_t size = channel == '2' ? 17 : 9;
    std::string line;
    while (sim.Read(h, buf.data(), static_cast<uint32_t>(buf.size()), &n) == FT_OK && n > 0) {
        for (uint32_t i = 0; i < n; ++i) {
            r.hash = (r.hash ^ static_cast<uint8_t>(buf[i])) * 1099511628211ull;
            line.push_back(buf[i]);
            if (line.size() < size)
                continue;
            r.c0.push_back(static_cast<uint32_t>(std::stoul(line.substr(0, 8), nullptr, 16)));
            if (size == 17)
                r.c1.push_back(static_cast<uint32_t>(std::stoul(line.substr(8, 8), nullptr, 16)));
            line.clear();
        }
    }
    EXPECT_EQ(static_cast<int64_t>(r.c0.size()), count);
    return r;
}

} // namespace

TEST(SimSignal, WithFlickerAndDriftOffTheSamplesAreThoseOfBefore)
{
    struct Case {
        uint64_t seed;
        int rate;
        char channel;
        double pickup;
        uint64_t hash;
    };
    // Recorded from the model before flicker and drift existed.
    const Case cases[] = {
        {1, 13, '2', 0.0, 16500299887146234610ull},
        {7, 6, '0', 0.0, 13510118574848494425ull},
        {42, 0, '1', 3.0, 13123208768202136175ull},
        {3, 11, '2', 25.0, 7936278992035533693ull},
    };
    for (const Case& c : cases) {
        SimConfig cfg;
        cfg.seed = c.seed;
        cfg.pickup50HzUv = c.pickup;
        EXPECT_EQ(Generate(cfg, c.rate, c.channel, 5000).hash, c.hash) << c.seed;
    }
}

namespace {

double Uv(uint32_t code)
{
    return (static_cast<double>(code) - 2147483648.0) * kUvPerCode;
}

std::vector<uint32_t> Difference(const Record& r)
{
    // Offset so that the difference stays mid-scale.
    std::vector<uint32_t> d(r.c0.size());
    for (size_t i = 0; i < d.size(); ++i)
        d[i] = r.c0[i] - r.c1[i] + 2147483648u;
    return d;
}

// Density times frequency, averaged over the bins of [lo, hi): A^2 for A^2/f.
double FlickerLevel(const analysis::TSpectrum& s, double lo, double hi)
{
    double sum = 0.0;
    int n = 0;
    for (size_t k = 1; k < s.psdUv2.size(); ++k) {
        const double f = s.FrequencyHz(k);
        if (f >= lo && f < hi) {
            sum += s.psdUv2[k] * f;
            ++n;
        }
    }
    return sum / n;
}

// Allan deviation from averages of `m` samples, non-overlapping.
double Adev(const std::vector<uint32_t>& codes, size_t m)
{
    std::vector<double> means;
    for (size_t i = 0; i + m <= codes.size(); i += m) {
        double sum = 0.0;
        for (size_t j = i; j < i + m; ++j)
            sum += Uv(codes[j]);
        means.push_back(sum / static_cast<double>(m));
    }
    double sum = 0.0;
    for (size_t i = 1; i < means.size(); ++i)
        sum += (means[i] - means[i - 1]) * (means[i] - means[i - 1]);
    return std::sqrt(sum / (2.0 * static_cast<double>(means.size() - 1)));
}

} // namespace

TEST(SimSignal, FlickerFollowsOneOverFOnEachChannelIndependently)
{
    struct Case {
        int rate;
        double nv, lowHz, highHz;
    };
    // 2^20 records: 58 h at 5 sps, 2.9 h at 100 sps, 105 s at 10 ksps.
    const Case cases[] = {{0, 300.0, 0.01, 2.0}, {6, 100.0, 0.05, 10.0}, {13, 50.0, 5.0, 4000.0}};
    for (const Case& c : cases) {
        SimConfig cfg;
        cfg.seed = 5;
        cfg.noiseScale = 0.0;
        cfg.flickerNvAt1Hz = c.nv;
        const Record r = Generate(cfg, c.rate, '2', 0xFFFFF);
        const double fs = RateSps(c.rate, true);
        const double a2 = c.nv * c.nv * 1e-6; // uV^2 at 1 Hz
        const std::vector<uint32_t> diff = Difference(r);
        for (const auto* codes : {&r.c0, &r.c1, &diff}) {
            const auto s = analysis::ComputeSpectrum(*codes, fs, 1, 1 << 15,
                                                     analysis::TWindow::BlackmanHarris);
            // Independent channels: their difference carries twice the power.
            const double expected = codes == &diff ? 2.0 * a2 : a2;
            for (double lo = c.lowHz; lo < c.highHz * 0.99; lo *= std::sqrt(2.0)) {
                const double db =
                    10.0 * std::log10(FlickerLevel(s, lo, lo * std::sqrt(2.0)) / expected);
                EXPECT_LT(std::abs(db), 1.5) << "rate " << fs << " at " << lo << " Hz";
            }
        }
    }
}

TEST(SimSignal, FlickerSetsAnAllanFloorWhereWhiteNoiseKeepsFalling)
{
    SimConfig white;
    white.seed = 8;
    SimConfig flicker = white;
    flicker.flickerNvAt1Hz = 100.0;
    const Record w = Generate(white, 6, '0', 0xFFFFF);
    const Record f = Generate(flicker, 6, '0', 0xFFFFF);
    // 100 sps: tau = m / 100 s.
    EXPECT_NEAR(Adev(w.c0, 1000) / Adev(w.c0, 10), 0.1, 0.02);
    // A 1/f density A^2/f has the Allan deviation A sqrt(2 ln 2) at every tau.
    const double floor = 0.1 * std::sqrt(2.0 * std::log(2.0));
    for (const size_t m : {100u, 1000u, 10000u})
        EXPECT_NEAR(Adev(f.c0, m) / floor, 1.0, 0.2) << "tau " << m / 100 << " s";
}

TEST(SimSignal, DriftIsALineFromTheRunsStart)
{
    struct Case {
        int rate;
        char channel;
        double uvPerHour;
    };
    const Case cases[] = {{6, '2', 2.0}, {13, '1', -0.5}, {0, '0', 1000.0}};
    for (const Case& c : cases) {
        SimConfig cfg;
        cfg.noiseScale = 0.0;
        cfg.driftUvPerHour = c.uvPerHour;
        const Record r = Generate(cfg, c.rate, c.channel, 100000);
        const double fs = RateSps(c.rate, true);
        const double dc = c.channel == '1' ? cfg.dcUv[1] : cfg.dcUv[0];
        // Least-squares line against hours since the start command.
        double st = 0, sv = 0, stt = 0, stv = 0;
        const double n = static_cast<double>(r.c0.size());
        for (size_t k = 0; k < r.c0.size(); ++k) {
            const double t = static_cast<double>(k + 1) / fs / 3600.0;
            const double v = Uv(r.c0[k]) - dc;
            st += t;
            sv += v;
            stt += t * t;
            stv += t * v;
        }
        const double slope = (n * stv - st * sv) / (n * stt - st * st);
        const double at0 = (sv - slope * st) / n;
        const double hours = n / fs / 3600.0;
        // Code rounding (half a code) spread over the run.
        EXPECT_NEAR(slope, c.uvPerHour, 0.5 * kUvPerCode / hours) << c.rate;
        EXPECT_NEAR(at0, 0.0, kUvPerCode) << c.rate;
        if (c.channel == '2') {
            EXPECT_NEAR(Uv(r.c1.back()) - cfg.dcUv[1], c.uvPerHour * hours, kUvPerCode);
        }
    }
}

TEST(SimSignal, SimSettingsTextSetsGoodItemsAndNamesBadOnes)
{
    struct Case {
        const char* text;
        double flicker, drift, pickup;
        uint64_t seed;
        std::vector<std::string> problems; // a part of each message, in order
    };
    const Case cases[] = {
        {"", 0, 0, 0, 1, {}},
        {"flicker=50,drift=2,pickup=3", 50, 2, 3, 1, {}},
        {" flicker = 1e3 , drift=-0.5,,seed=77,", 1000, -0.5, 0, 77, {}},
        {"flicker=50,drfit=2", 50, 0, 0, 1, {"unknown setting \"drfit=2\""}},
        {"flicker=-1,drift=abc,pickup=3", 0, 0, 3, 1, {"flicker takes", "drift takes"}},
        {"flicker=100001,pickup=1e7,drift=inf",
         0,
         0,
         0,
         1,
         {"not \"100001\"", "pickup takes", "not \"inf\""}},
        {"seed=-3,flicker,pickup=2uV", 0, 0, 0, 1, {"seed takes", "flicker takes", "not \"2uV\""}},
    };
    for (const Case& c : cases) {
        SimConfig cfg;
        const auto problems = ApplySimSettings(c.text, cfg);
        EXPECT_EQ(cfg.flickerNvAt1Hz, c.flicker) << c.text;
        EXPECT_EQ(cfg.driftUvPerHour, c.drift) << c.text;
        EXPECT_EQ(cfg.pickup50HzUv, c.pickup) << c.text;
        EXPECT_EQ(cfg.seed, c.seed) << c.text;
        ASSERT_EQ(problems.size(), c.problems.size()) << c.text;
        for (size_t i = 0; i < problems.size(); ++i)
            EXPECT_NE(problems[i].find(c.problems[i]), std::string::npos) << problems[i];
    }
}

// The tone as the sine-wave test reads it back on each channel, each with its own phase;
// and its text in MIRANTOS_SIM.
TEST(SimSignal, ToneAndItsHarmonicsReadBackOnEachChannel)
{
    SimConfig cfg;
    cfg.tone = {123.4, 1.0e6, -90.0, -100.0};
    const Record r = Generate(cfg, 10, '2', 16384); // 1 ksps
    double phase[2] = {0, 0};
    for (int c = 0; c < 2; ++c) {
        std::string why;
        const auto f = analysis::AnalyzeSine(c == 0 ? r.c0 : r.c1, 1000.0, 1, {}, &why);
        ASSERT_TRUE(f && f->fit) << why;
        EXPECT_NEAR(f->fit->fHz, 123.4, 1e-6) << c;
        EXPECT_NEAR(f->fit->amplitudeUv, 1.0e6, 0.1) << c;
        EXPECT_NEAR(f->fit->offsetUv, cfg.dcUv[c], 0.1) << c;
        EXPECT_NEAR(f->harmonics[0].dBc.value_or(0), -90.0, 0.3) << c;
        EXPECT_NEAR(f->harmonics[1].dBc.value_or(0), -100.0, 0.3) << c;
        phase[c] = f->fit->phaseRad;
    }
    EXPECT_GT(std::fabs(phase[0] - phase[1]), 1e-3);

    const std::pair<const char*, const char*> texts[] = {
        {"tone=1000:2e6:-100:-110", ""},           {"tone=50:3", ""},
        {"tone=50", "tone takes F:A[:HD2[:HD3]]"}, {"tone=0:3", "tone takes"},
        {"tone=50:3:-90:-100:-110", "tone takes"}, {"tone=50:3e6", "tone takes"},
        {"tone=50:3:+1", "not \"50:3:+1\""},
    };
    for (const auto& [text, problem] : texts) {
        SimConfig c;
        const auto problems = ApplySimSettings(text, c);
        ASSERT_EQ(problems.size(), *problem ? 1u : 0u) << text;
        if (*problem) {
            EXPECT_NE(problems[0].find(problem), std::string::npos) << problems[0];
        }
        EXPECT_EQ(c.tone.On(), !*problem) << text;
    }
}
