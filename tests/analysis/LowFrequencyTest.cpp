// The low-frequency figures against models written here: scipy's filter
// coefficients, a direct-form-I filter, an Allan deviation from block
// averages in long double, and records whose answer is known (white noise,
// a pure drift, sines in and out of the band, records too short or too slow).

#include "LowFrequency.h"
#include "MeasureRecord.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

using namespace mirantos::analysis;

namespace {

constexpr double kQ = 2500000.0 / 2147483647.0; // uV per code at gain 1
constexpr uint32_t kMid = 2147483648u;

// Made once with scipy 1.10 (python3-scipy), printed with repr():
//   hp = signal.butter(2, 0.1, 'highpass', fs=fs, output='sos')
//   lp = signal.butter(4, 10, fs=fs, output='sos')
// each row b0 b1 b2 a1 a2 of hp then lp.
struct ScipySections {
    double rate;
    double s[3][5];
};
const ScipySections kScipy[] = {
    {49.96,
     {{0.9911465437561621, -1.9822930875123241, 0.9911465437561621, -1.9822147022888021,
       0.9823714727358469},
      {0.04670083549524516, 0.09340167099049032, 0.04670083549524516, -0.32790677908733595,
       0.06442516040139011},
      {1.0, 2.0, 1.0, -0.451676866849272, 0.46619787118698736}}},
    {1000.0,
     {{0.9995558103876087, -1.9991116207752173, 0.9995558103876087, -1.9991114234707956,
       0.9991118180796386},
      {8.984861463970646e-07, 1.7969722927941292e-06, 8.984861463970646e-07, -1.8866095826215064,
       0.8903397362840242},
      {1.0, 2.0, 1.0, -1.9492159580258417, 0.9530698953278909}}},
    {10000.0,
     {{0.999955572157564, -1.999911144315128, 0.999955572157564, -1.999911142341295,
       0.9999111462889614},
      {9.66139663398867e-11, 1.932279326797734e-10, 9.66139663398867e-11, -1.9884180173746582,
       0.9884572678187328},
      {1.0, 2.0, 1.0, -1.9951632412838627, 0.9952026248755107}}},
};

const ScipySections& Scipy(double rate)
{
    return *std::find_if(std::begin(kScipy), std::end(kScipy),
                         [rate](const ScipySections& s) { return s.rate == rate; });
}

// Direct form I over the whole record with scipy's sections, in long double.
std::vector<double> FilterDf1(const std::vector<long double>& x, const ScipySections& sc)
{
    std::vector<long double> v = x;
    for (const auto& c : sc.s) {
        long double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
        for (auto& e : v) {
            const long double y = c[0] * e + c[1] * x1 + c[2] * x2 - c[3] * y1 - c[4] * y2;
            x2 = x1;
            x1 = e;
            y2 = y1;
            y1 = y;
            e = y;
        }
    }
    return {v.begin(), v.end()};
}

// adev from the block averages themselves, sum over k of (avg_{k+m} - avg_k)^2.
double NaiveAdev(const std::vector<uint32_t>& c, int64_t m)
{
    const auto n = static_cast<int64_t>(c.size());
    long double sum = 0;
    for (int64_t k = 0; k + 2 * m <= n; ++k) {
        long double a = 0, b = 0;
        for (int64_t i = 0; i < m; ++i) {
            a += c[k + i];
            b += c[k + m + i];
        }
        const long double d = (b - a) / m;
        sum += d * d;
    }
    return static_cast<double>(kQ * std::sqrt(sum / (2.0L * (n - 2 * m + 1))));
}

std::vector<uint32_t> Codes(int64_t n, double rate, double sigma, double drift, double sineCodes,
                            double sineHz)
{
    std::mt19937_64 rng(static_cast<uint64_t>(n) * 7 + static_cast<uint64_t>(rate));
    std::normal_distribution<double> g(0.0, 1.0);
    std::vector<uint32_t> c(static_cast<size_t>(n));
    for (int64_t i = 0; i < n; ++i)
        c[i] = static_cast<uint32_t>(std::llround(
            3178275430.0 + sigma * g(rng) + drift * static_cast<double>(i) +
            sineCodes * std::sin(2 * std::numbers::pi * sineHz * static_cast<double>(i) / rate)));
    return c;
}

} // namespace

TEST(LowFrequency, SectionsAreScipysButterworth)
{
    for (const ScipySections& sc : kScipy) {
        const std::vector<TBiquad> s = LowFrequencySections(sc.rate);
        ASSERT_EQ(s.size(), 3u);
        for (int k = 0; k < 3; ++k) {
            const double got[5] = {s[k].b0, s[k].b1, s[k].b2, s[k].a1, s[k].a2};
            for (int j = 0; j < 5; ++j)
                EXPECT_NEAR(got[j], sc.s[k][j], 1e-12 * std::abs(sc.s[k][j]) + 1e-15)
                    << sc.rate << " sps, section " << k << ", coefficient " << j;
        }
    }
}

// The band-limited figures of noise plus a slow drift against the
// direct-form-I model at the rates of the board's range ends and between.
struct BandCase {
    double rate;
    double seconds;
};
class LowFrequencyBand : public testing::TestWithParam<BandCase> {};

TEST_P(LowFrequencyBand, MatchesTheDirectFormIModel)
{
    const auto [rate, seconds] = GetParam();
    const auto n = static_cast<int64_t>(std::llround(seconds * rate));
    const std::vector<uint32_t> c = Codes(n, rate, 40.0, 0.5, 200.0, 0.3);
    std::vector<long double> x(c.size());
    long double mean = 0;
    for (size_t i = 0; i < c.size(); ++i)
        mean += x[i] = CodeToMicrovolt(c[i], 1);
    mean /= static_cast<long double>(c.size());
    for (auto& e : x)
        e -= mean;
    const std::vector<double> y = FilterDf1(x, Scipy(rate));
    const auto settle = std::llround(20 * rate);
    const auto length = std::llround(10 * rate);
    const auto intervals = (n - settle) / length;

    std::string reason = "stale";
    const auto lf = LowFrequencyNoise(c, rate, 1, &reason);
    ASSERT_TRUE(lf.has_value());
    EXPECT_EQ(reason, "");
    EXPECT_EQ(lf->intervals, intervals);
    EXPECT_EQ(lf->firstKept, settle);
    EXPECT_EQ(lf->intervalSamples, length);
    ASSERT_EQ(lf->keptUv.size(), static_cast<size_t>(intervals * length));
    std::vector<double> pp;
    long double squares = 0;
    double worst = 0;
    for (int64_t k = 0; k < intervals; ++k) {
        const auto first = y.begin() + settle + k * length;
        const auto [lo, hi] = std::minmax_element(first, first + length);
        pp.push_back(*hi - *lo);
        for (auto it = first; it != first + length; ++it) {
            squares += *it * *it;
            worst = std::max(worst, std::abs(*it - lf->keptUv[it - y.begin() - settle]));
        }
    }
    const double rms = std::sqrt(static_cast<double>(squares / lf->keptUv.size()));
    EXPECT_LT(worst, 1e-6 * rms);
    EXPECT_NEAR(lf->rmsUv, rms, 1e-6 * rms);
    EXPECT_NEAR(lf->ppUvMax, *std::max_element(pp.begin(), pp.end()), 1e-6 * rms);
    std::sort(pp.begin(), pp.end());
    const double median =
        pp.size() % 2 ? pp[pp.size() / 2] : (pp[pp.size() / 2 - 1] + pp[pp.size() / 2]) / 2;
    EXPECT_NEAR(lf->ppUvMedian, median, 1e-6 * rms);
}

INSTANTIATE_TEST_SUITE_P(Rates, LowFrequencyBand,
                         testing::Values(BandCase{49.96, 30.1}, BandCase{49.96, 75.0},
                                         BandCase{1000.0, 65.0}, BandCase{10000.0, 42.0}));

TEST(LowFrequency, InBandSineKeepsItsPeakToPeakOutOfBandOneIsRemoved)
{
    const double a = 1e6; // codes
    for (const double rate : {1000.0, 10000.0}) {
        const int64_t n = std::llround(60 * rate);
        const auto in = LowFrequencyNoise(Codes(n, rate, 0, 0, a, 1.0), rate, 1, nullptr);
        ASSERT_TRUE(in.has_value());
        EXPECT_NEAR(in->ppUvMedian, 2 * a * kQ, 0.01 * 2 * a * kQ) << rate;
        EXPECT_NEAR(in->ppUvMax, 2 * a * kQ, 0.01 * 2 * a * kQ) << rate;
        EXPECT_NEAR(in->rmsUv, a * kQ / std::sqrt(2.0), 0.01 * a * kQ) << rate;
        const auto out = LowFrequencyNoise(Codes(n, rate, 0, 0, a, 100.0), rate, 1, nullptr);
        ASSERT_TRUE(out.has_value());
        EXPECT_LT(out->ppUvMax, 0.001 * 2 * a * kQ) << rate;
    }
}

TEST(LowFrequency, TooShortOrTooSlowSaysWhy)
{
    struct Case {
        double rate;
        int64_t n;
        const char* reason; // nullptr: defined, with `intervals`
        int64_t intervals;
    };
    const Case cases[] = {
        {1000.0, 29900, "needs at least 30 s of samples", 0},
        {1000.0, 29999, "needs at least 30 s of samples", 0},
        {1000.0, 30000, nullptr, 1},
        {1000.0, 49999, nullptr, 2},
        {49.96, 1498, "needs at least 30 s of samples", 0}, // round(999.2) + round(499.6) = 1499
        {49.96, 1499, nullptr, 1},
        {49.95, 100000, "needs at least 49.96 sps", 0},
        {10.0, 100000, "needs at least 49.96 sps", 0},
    };
    for (const Case& k : cases) {
        const auto c = Codes(k.n, k.rate, 10, 0, 0, 0);
        const TLowFrequencyFigures f = ComputeLowFrequency(c, k.rate, 1);
        std::string reason;
        const auto lf = LowFrequencyNoise(c, k.rate, 1, &reason);
        EXPECT_EQ(lf.has_value(), k.reason == nullptr) << k.rate << " sps, " << k.n;
        EXPECT_EQ(f.lf.has_value(), k.reason == nullptr) << k.rate << " sps, " << k.n;
        EXPECT_EQ(reason, k.reason ? k.reason : "") << k.rate << " sps, " << k.n;
        EXPECT_EQ(f.lfReason, k.reason ? k.reason : "") << k.rate << " sps, " << k.n;
        if (lf) {
            EXPECT_EQ(lf->intervals, k.intervals) << k.rate << " sps, " << k.n;
        }
    }
}

TEST(LowFrequency, AllanDeviationIsTheBlockAverageOne)
{
    // Noise with drift and a sine, so every m has its own value; odd N.
    const auto c = Codes(3001, 50.0, 300, 0.2, 500, 0.7);
    const auto a = AllanDeviation(c, 50.0, 1);
    ASSERT_EQ(a.size(), 10u); // m = 1 .. 512, 4 * 512 <= 3001
    for (size_t k = 0; k < a.size(); ++k) {
        const int64_t m = int64_t{1} << k;
        EXPECT_EQ(a[k].m, m);
        EXPECT_EQ(a[k].terms, 3001 - 2 * m + 1);
        EXPECT_DOUBLE_EQ(a[k].tauS, static_cast<double>(m) / 50.0);
        EXPECT_NEAR(a[k].adevUv, NaiveAdev(c, m), 1e-11 * NaiveAdev(c, m)) << "m " << m;
    }
    // Gain 4: a quarter of the microvolts; N = 4 has m = 1 alone, N = 3 nothing.
    EXPECT_NEAR(AllanDeviation(c, 50.0, 4)[3].adevUv, a[3].adevUv / 4, 1e-12 * a[3].adevUv);
    EXPECT_EQ(AllanDeviation(std::span(c).first(4), 50.0, 1).size(), 1u);
    EXPECT_TRUE(AllanDeviation(std::span(c).first(3), 50.0, 1).empty());
    // Extreme codes: the full 32-bit range in the sums.
    const std::vector<uint32_t> wide = {0u, 0xFFFFFFFFu, 0u, 0xFFFFFFFFu, 0u, 0xFFFFFFFFu, 7u, 0u};
    EXPECT_NEAR(AllanDeviation(wide, 1.0, 1)[0].adevUv, NaiveAdev(wide, 1),
                1e-12 * NaiveAdev(wide, 1));
}

TEST(LowFrequency, WhiteNoiseAveragesDownAndADriftGrowsLinearly)
{
    const double sigma = 50.0;
    const int64_t n = 131072;
    const auto a = AllanDeviation(Codes(n, 1000.0, sigma, 0, 0, 0), 1000.0, 1);
    for (const TAllanPoint& p : a)
        if (p.m <= n / 64) {
            EXPECT_NEAR(p.adevUv, sigma * kQ / std::sqrt(static_cast<double>(p.m)),
                        0.1 * sigma * kQ / std::sqrt(static_cast<double>(p.m)))
                << "m " << p.m;
        }

    // 3 codes per sample: drift and adev(m) = q 3 m / sqrt 2, exactly.
    std::vector<uint32_t> ramp(100000);
    for (size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = kMid - 150000 + 3 * static_cast<uint32_t>(i);
    for (const double rate : {49.96, 10000.0}) {
        EXPECT_NEAR(DriftUvPerHour(ramp, rate, 1), 3 * kQ * rate * 3600,
                    1e-9 * 3 * kQ * rate * 3600);
        // 2001 s at 49.96 sps; 10 s at 10 ksps, too short for a drift figure.
        const TLowFrequencyFigures lf = ComputeLowFrequency(ramp, rate, 1);
        if (rate < 100.0) {
            ASSERT_TRUE(lf.slopeUvPerH);
            EXPECT_NEAR(*lf.slopeUvPerH, 3 * kQ * rate * 3600, 1e-9 * 3 * kQ * rate * 3600);
        } else {
            EXPECT_FALSE(lf.slopeUvPerH);
            EXPECT_EQ(lf.slopeReason, kLfReasonLength);
        }
        for (const TAllanPoint& p : AllanDeviation(ramp, rate, 1))
            EXPECT_NEAR(p.adevUv, kQ * 3 * static_cast<double>(p.m) / std::sqrt(2.0),
                        1e-12 * kQ * 3 * static_cast<double>(p.m))
                << "m " << p.m;
    }
    EXPECT_NEAR(DriftUvPerHour(ramp, 100.0, 2), 1.5 * kQ * 100 * 3600, 1e-9 * 1.5 * kQ * 360000);
    EXPECT_EQ(DriftUvPerHour(std::vector<uint32_t>(1000, 12345u), 100.0, 1), 0.0);
}
