// The noise figures against what they must be: statistical bounds for white
// noise, exact identities (Parseval with a rectangular window over one
// segment, a sine's peak), a brute-force DFT for every window and an odd
// segment length, and the edges of the code range and of the options.

#include "NoiseAnalysis.h"
#include "FftPlans.h"
#include "MeasureRecord.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <thread>
#include <vector>

using namespace mirantos::analysis;

namespace {

constexpr double kUvPerCode = 2500000.0 / 2147483647.0;

std::vector<uint32_t> GaussianCodes(size_t n, double sigmaCodes, uint64_t seed,
                                    double centre = 2147483648.0)
{
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> g(0.0, sigmaCodes);
    std::vector<uint32_t> c(n);
    for (auto& x : c)
        x = static_cast<uint32_t>(std::llround(centre + g(rng)));
    return c;
}

// A sine of `amplitudeCodes` at bin k0 of a segment of length L, around 0 V.
std::vector<uint32_t> SineCodes(size_t n, double amplitudeCodes, int k0, int length)
{
    std::vector<uint32_t> c(n);
    for (size_t i = 0; i < n; ++i) {
        const double phase = 2.0 * std::numbers::pi * static_cast<double>(k0) *
                             static_cast<double>(i) / static_cast<double>(length);
        c[i] = static_cast<uint32_t>(std::llround(2147483648.0 + amplitudeCodes * std::sin(phase)));
    }
    return c;
}

TNoiseFigures Figures(const std::vector<uint32_t>& codes, double fs, TAnalysisOptions o = {},
                      int32_t gain = 1)
{
    TNoiseFigures f;
    std::string error;
    EXPECT_TRUE(Analyze(codes, fs, gain, o, f, &error)) << error;
    return f;
}

// Welch's estimate straight from its definition, with an O(L^2) DFT.
std::vector<double> NaiveWelch(const std::vector<uint32_t>& codes, double fs, int length,
                               TWindow window)
{
    std::vector<double> v;
    for (uint32_t c : codes)
        v.push_back(CodeToMicrovolt(c, 1));
    std::vector<double> w(static_cast<size_t>(length));
    double s2 = 0;
    for (int n = 0; n < length; ++n) {
        const double x = 2.0 * std::numbers::pi * n / length;
        w[static_cast<size_t>(n)] = window == TWindow::Rect ? 1.0
                                    : window == TWindow::Hann
                                        ? 0.5 - 0.5 * std::cos(x)
                                        : 0.35875 - 0.48829 * std::cos(x) +
                                              0.14128 * std::cos(2 * x) - 0.01168 * std::cos(3 * x);
        s2 += w[static_cast<size_t>(n)] * w[static_cast<size_t>(n)];
    }
    const int step = length - length / 2;
    const int segments = 1 + (static_cast<int>(codes.size()) - length) / step;
    std::vector<double> p(static_cast<size_t>(length / 2 + 1), 0.0);
    for (int m = 0; m < segments; ++m) {
        double mean = 0;
        for (int n = 0; n < length; ++n)
            mean += v[static_cast<size_t>(m * step + n)];
        mean /= length;
        for (int k = 0; k <= length / 2; ++k) {
            std::complex<double> x = 0;
            for (int n = 0; n < length; ++n)
                x += (v[static_cast<size_t>(m * step + n)] - mean) * w[static_cast<size_t>(n)] *
                     std::polar(1.0, -2.0 * std::numbers::pi * k * n / length);
            const bool single = k == 0 || (length % 2 == 0 && k == length / 2);
            p[static_cast<size_t>(k)] += std::norm(x) * (single ? 1.0 : 2.0) / (fs * s2);
        }
    }
    for (auto& x : p)
        x /= segments;
    return p;
}

} // namespace

TEST(NoiseLevels, WhiteNoiseOfKnownSigmaWithinStatisticalBounds)
{
    const size_t n = 40000;
    const double sigma = 50.0;
    const auto codes = GaussianCodes(n, sigma, 7);
    const TNoiseFigures f = Figures(codes, 1000.0);
    // Sample sigma: relative spread 1/sqrt(2N); the mean: sigma/sqrt(N). Four spreads.
    EXPECT_NEAR(f.rmsCode, sigma, 4.0 * sigma / std::sqrt(2.0 * n));
    EXPECT_NEAR(f.meanCode, 2147483648.0, 4.0 * sigma / std::sqrt(static_cast<double>(n)));
    // Microvolts are an exact scaling of codes, so the ratios hold to rounding.
    EXPECT_NEAR(f.rmsUv / (f.rmsCode * kUvPerCode), 1.0, 1e-9);
    EXPECT_NEAR(f.meanUv, (f.meanCode - 2147483648.0) * kUvPerCode, 1e-6);
    EXPECT_DOUBLE_EQ(f.ppUv, CodeToMicrovolt(f.maxCode, 1) - CodeToMicrovolt(f.minCode, 1));
    EXPECT_EQ(f.ppCode, f.maxCode - f.minCode);
    EXPECT_DOUBLE_EQ(f.effectiveBits, 32.0 - std::log2(f.rmsCode));
    EXPECT_DOUBLE_EQ(f.noiseFreeBits, 32.0 - std::log2(static_cast<double>(f.ppCode)));

    // White density sigma * sqrt(2 / fs), one-sided. The median of the
    // averaged periodogram sits a little below its mean (chi-square with
    // about 2M degrees of freedom): 0.98 for M = 18 here.
    const double density = f.rmsUv * std::sqrt(2.0 / 1000.0) * 1000.0;
    EXPECT_EQ(f.spectrum.segment, 8192);
    EXPECT_EQ(f.spectrum.segments, 1 + (40000 - 8192) / 4096);
    EXPECT_NEAR(f.nsdMedianNv / density, 0.98, 0.03);
    // Parseval: the whole band holds the variance (less a few bins at DC).
    EXPECT_NEAR(f.bandRmsUv / f.rmsUv, 1.0, 0.02);
    EXPECT_DOUBLE_EQ(f.bandLowHz, 0.0);
    EXPECT_DOUBLE_EQ(f.bandHighHz, 500.0);
}

TEST(NoiseSpectrum, RectangularWindowOverOneSegmentIsExactlyParseval)
{
    // With w = 1, one segment of all N samples and the mean removed, the
    // one-sided density summed over k >= 1 is exactly the population
    // variance: checks the scaling, the doubling and the Nyquist bin, for
    // an even and an odd length.
    for (const size_t n : {size_t{4096}, size_t{1001}}) {
        const auto codes = GaussianCodes(n, 1234.5, 3, 3e9);
        TAnalysisOptions o;
        o.window = TWindow::Rect;
        o.segment = static_cast<int>(n);
        const TNoiseFigures f = Figures(codes, 397.5, o);
        EXPECT_EQ(f.spectrum.segments, 1);
        EXPECT_EQ(f.spectrum.nsdNv.size(), n / 2 + 1);
        EXPECT_NEAR(f.bandRmsUv / f.rmsUv, 1.0, 1e-12) << n;
        EXPECT_DOUBLE_EQ(f.bandHighHz, 198.75);
    }
}

TEST(NoiseSpectrum, SineShowsItsPeakBinAndAmplitude)
{
    // 397.5 sps (a fractional rate), a sine centred on bin 100 of 1024.
    const double fs = 397.5;
    const int length = 1024;
    const int k0 = 100;
    const double amplitude = 1.0e6; // codes; rounding to codes is 1e-13 of it
    const auto codes = SineCodes(8192, amplitude, k0, length);
    TAnalysisOptions o;
    o.segment = length;
    const TNoiseFigures f = Figures(codes, fs, o);
    const auto& nsd = f.spectrum.nsdNv;
    const auto peak = std::max_element(nsd.begin(), nsd.end()) - nsd.begin();
    EXPECT_EQ(peak, k0);
    EXPECT_DOUBLE_EQ(f.spectrum.FrequencyHz(k0), k0 * fs / length);
    EXPECT_DOUBLE_EQ(f.spectrum.dfHz, fs / length);

    // At the bin centre |X| = A/2 * sum(w), so P = A^2 (sum w)^2 / (2 fs sum w^2).
    double sw = 0, sw2 = 0;
    for (int n = 0; n < length; ++n) {
        const double x = 2.0 * std::numbers::pi * n / length;
        const double w =
            0.35875 - 0.48829 * std::cos(x) + 0.14128 * std::cos(2 * x) - 0.01168 * std::cos(3 * x);
        sw += w;
        sw2 += w * w;
    }
    const double a = amplitude * kUvPerCode;
    const double expected = std::sqrt(a * a * sw * sw / (2.0 * fs * sw2)) * 1000.0;
    EXPECT_NEAR(nsd[k0] / expected, 1.0, 1e-6);

    // All of the sine's power lies in its main lobe: band rms = A / sqrt(2).
    const double df = fs / length;
    EXPECT_NEAR(BandRms(f.spectrum, (k0 - 4) * df, (k0 + 4) * df) / (a / std::sqrt(2.0)), 1.0,
                1e-6);
    EXPECT_LT(BandRms(f.spectrum, 0.0, (k0 - 6) * df), 1e-6 * a);
    EXPECT_NEAR(f.rmsUv / (a / std::sqrt(2.0)), 1.0, 1e-6);
}

TEST(NoiseSpectrum, EveryWindowAndAnOddSegmentMatchABruteForceDft)
{
    const auto codes = GaussianCodes(100, 300.0, 11, 1.0e9);
    struct Case {
        TWindow window;
        int segment;
    };
    for (const Case c :
         {Case{TWindow::BlackmanHarris, 32}, Case{TWindow::Hann, 32}, Case{TWindow::Rect, 32},
          Case{TWindow::Hann, 25}, Case{TWindow::BlackmanHarris, 8}, Case{TWindow::Rect, 100}}) {
        const TSpectrum s = ComputeSpectrum(codes, 50.0, 1, c.segment, c.window);
        const auto p = NaiveWelch(codes, 50.0, c.segment, c.window);
        ASSERT_EQ(s.psdUv2.size(), p.size());
        EXPECT_EQ(s.segments, 1 + (100 - c.segment) / (c.segment - c.segment / 2));
        double biggest = 0;
        for (double x : p)
            biggest = std::max(biggest, x);
        for (size_t k = 0; k < p.size(); ++k) {
            EXPECT_NEAR(s.psdUv2[k], p[k], 1e-9 * biggest)
                << WindowName(c.window) << " L=" << c.segment << " k=" << k;
            EXPECT_DOUBLE_EQ(s.nsdNv[k], std::sqrt(s.psdUv2[k]) * 1000.0);
        }
    }
}

TEST(NoiseLevels, ConstantRecordHasFullResolutionOneBinAndZeroDensity)
{
    const std::vector<uint32_t> codes(1000, 3000000123u);
    const TNoiseFigures f = Figures(codes, 10.0);
    EXPECT_EQ(f.rmsCode, 0.0);
    EXPECT_EQ(f.rmsUv, 0.0);
    EXPECT_EQ(f.ppCode, 0u);
    EXPECT_EQ(f.ppUv, 0.0);
    EXPECT_EQ(f.meanCode, 3000000123.0);
    EXPECT_EQ(f.meanUv, CodeToMicrovolt(3000000123u, 1));
    EXPECT_EQ(f.effectiveBits, 32.0);
    EXPECT_EQ(f.noiseFreeBits, 32.0);
    ASSERT_EQ(f.histogram.counts.size(), 1u);
    EXPECT_EQ(f.histogram.counts[0], 1000u);
    EXPECT_EQ(f.histogram.firstCode, 3000000123u);
    EXPECT_EQ(f.histogram.binWidth, 1u);
    for (double d : f.spectrum.nsdNv)
        EXPECT_EQ(d, 0.0);
    EXPECT_EQ(f.nsdMedianNv, 0.0);
    EXPECT_EQ(f.bandRmsUv, 0.0);
}

TEST(NoiseLevels, ExtremeCodesDoNotOverflow)
{
    std::vector<uint32_t> codes;
    for (int i = 0; i < 50; ++i) {
        codes.push_back(0u);
        codes.push_back(4294967295u);
    }
    const TNoiseFigures f = Figures(codes, 10000.0);
    EXPECT_EQ(f.ppCode, 4294967295u);
    EXPECT_EQ(f.minCode, 0u);
    EXPECT_EQ(f.maxCode, 4294967295u);
    EXPECT_EQ(f.meanCode, 2147483647.5);
    EXPECT_EQ(f.rmsCode, 2147483647.5);
    EXPECT_DOUBLE_EQ(f.ppUv, 2500000.0 - CodeToMicrovolt(0u, 1));
    EXPECT_GT(f.ppUv, 5000000.0);
    EXPECT_DOUBLE_EQ(f.effectiveBits, 32.0 - std::log2(2147483647.5));
    EXPECT_DOUBLE_EQ(f.noiseFreeBits, 32.0 - std::log2(4294967295.0));
    // 2^32 codes in at most 100 bins: width 42949673, 100 bins, the top one
    // ending at the last code there is.
    EXPECT_EQ(f.histogram.binWidth, 42949673u);
    ASSERT_EQ(f.histogram.counts.size(), 100u);
    EXPECT_EQ(f.histogram.counts.front(), 50u);
    EXPECT_EQ(f.histogram.counts.back(), 50u);
    EXPECT_EQ(f.histogram.BinLast(99), 4294967295u);
    // One bin over the whole range is 2^32 codes wide.
    const THistogram one = ComputeHistogram(codes, 1);
    EXPECT_EQ(one.binWidth, 4294967296u);
    ASSERT_EQ(one.counts.size(), 1u);
    EXPECT_EQ(one.counts[0], 100u);
}

TEST(NoiseHistogram, BinsFollowTheWidthRule)
{
    // pp + 1 = 10 codes from 1000.
    std::vector<uint32_t> codes;
    for (uint32_t c = 1000; c <= 1009; ++c)
        codes.push_back(c);
    codes.push_back(1009);
    struct Case {
        int bins;
        uint64_t width;
        std::vector<uint64_t> counts;
    };
    for (const Case& c : {Case{3, 4, {4, 4, 3}}, Case{4, 3, {3, 3, 3, 2}},
                          Case{6, 2, {2, 2, 2, 2, 3}}, Case{10, 1, {1, 1, 1, 1, 1, 1, 1, 1, 1, 2}},
                          Case{1000, 1, {1, 1, 1, 1, 1, 1, 1, 1, 1, 2}}, Case{1, 10, {11}}}) {
        const THistogram h = ComputeHistogram(codes, c.bins);
        EXPECT_EQ(h.firstCode, 1000u);
        EXPECT_EQ(h.binWidth, c.width) << c.bins;
        EXPECT_EQ(h.counts, c.counts) << c.bins;
    }
    const THistogram h = ComputeHistogram(codes, 3);
    EXPECT_EQ(h.BinFirst(2), 1008u);
    EXPECT_EQ(h.BinLast(2), 1011u);
}

TEST(NoiseHistogram, EverySampleLandsInTheBinItsCodeNames)
{
    // Wide, odd bin widths, where a multiply standing in for the division
    // could be off by one.
    std::mt19937_64 rng(5);
    for (const int bins : {7, 97, 999}) {
        std::vector<uint32_t> codes(20000);
        for (auto& c : codes)
            c = static_cast<uint32_t>(rng());
        codes[0] = 0;
        codes[1] = 4294967295u;
        const THistogram h = ComputeHistogram(codes, bins);
        std::vector<uint64_t> expected(h.counts.size(), 0);
        for (uint32_t c : codes)
            ++expected[(c - h.firstCode) / h.binWidth];
        EXPECT_EQ(h.counts, expected) << bins;
        EXPECT_LE(h.counts.size(), static_cast<size_t>(bins));
    }
}

TEST(NoiseSpectrum, SmallestRecordAndDefaultSegment)
{
    EXPECT_EQ(DefaultSegment(10), 8);
    EXPECT_EQ(DefaultSegment(63), 8);
    EXPECT_EQ(DefaultSegment(64), 16);
    EXPECT_EQ(DefaultSegment(10000), 2048);
    EXPECT_EQ(DefaultSegment(1048575), 131072);
    EXPECT_EQ(DefaultSegment(1048576), 262144);

    const auto codes = GaussianCodes(10, 20.0, 1);
    const TNoiseFigures f = Figures(codes, 5.0);
    EXPECT_EQ(f.samples, 10);
    EXPECT_EQ(f.spectrum.segment, 8);
    EXPECT_EQ(f.spectrum.segments, 1);
    EXPECT_EQ(f.spectrum.nsdNv.size(), 5u);
    EXPECT_DOUBLE_EQ(f.spectrum.dfHz, 0.625);
    // Four densities k = 1..4: the median is the mean of the middle two.
    std::vector<double> d(f.spectrum.nsdNv.begin() + 1, f.spectrum.nsdNv.end());
    std::sort(d.begin(), d.end());
    EXPECT_DOUBLE_EQ(f.nsdMedianNv, (d[1] + d[2]) / 2.0);

    // Segment 10: 1 segment, bins 0..5, the odd middle of five is the median.
    TAnalysisOptions o;
    o.segment = 10;
    const TNoiseFigures g = Figures(codes, 5.0, o);
    EXPECT_EQ(g.spectrum.nsdNv.size(), 6u);
    std::vector<double> e(g.spectrum.nsdNv.begin() + 1, g.spectrum.nsdNv.end());
    std::sort(e.begin(), e.end());
    EXPECT_DOUBLE_EQ(g.nsdMedianNv, e[2]);
}

TEST(NoiseSpectrum, BandTakesTheBinsWithinItsEdgesButNeverDc)
{
    TSpectrum s;
    s.segment = 8;
    s.rateSps = 8.0;
    s.dfHz = 1.0;
    s.psdUv2 = {100.0, 1.0, 2.0, 3.0, 4.0};
    EXPECT_DOUBLE_EQ(BandRms(s, 0.0, 4.0), std::sqrt(10.0));
    EXPECT_DOUBLE_EQ(BandRms(s, 2.0, 3.0), std::sqrt(5.0));
    EXPECT_DOUBLE_EQ(BandRms(s, 2.0, 2.0), std::sqrt(2.0));
    EXPECT_DOUBLE_EQ(BandRms(s, 2.5, 2.9), 0.0);
    EXPECT_DOUBLE_EQ(BandRms(s, 0.0, 0.0), 0.0);

    const auto codes = GaussianCodes(4000, 20.0, 9);
    TAnalysisOptions o;
    o.bandLowHz = 10.0;
    o.bandHighHz = 20.0;
    const TNoiseFigures f = Figures(codes, 100.0, o);
    EXPECT_EQ(f.bandLowHz, 10.0);
    EXPECT_EQ(f.bandHighHz, 20.0);
    EXPECT_DOUBLE_EQ(f.bandRmsUv, BandRms(f.spectrum, 10.0, 20.0));
    // White noise: a fifth of the band, a fifth of the power.
    EXPECT_NEAR(f.bandRmsUv / f.rmsUv, std::sqrt(0.2), 0.02);
}

TEST(NoiseOptions, RejectsWhatCannotBeAnalysed)
{
    const TAnalysisOptions ok;
    EXPECT_EQ(CheckInput(10, 5.0, 1, ok), "");
    EXPECT_NE(CheckInput(9, 5.0, 1, ok).find("at least 10 samples"), std::string::npos);
    EXPECT_NE(CheckInput(100, 0.0, 1, ok), "");
    EXPECT_NE(CheckInput(100, std::nan(""), 1, ok), "");
    EXPECT_NE(CheckInput(100, 5.0, 0, ok), "");

    auto with = [](auto change) {
        TAnalysisOptions o;
        change(o);
        return CheckInput(100, 400.0, 1, o);
    };
    EXPECT_EQ(with([](auto& o) { o.bins = 1; }), "");
    EXPECT_EQ(with([](auto& o) { o.bins = 1000; }), "");
    EXPECT_EQ(with([](auto& o) { o.bins = 0; }), "--bins must lie in 1..1000, not 0");
    EXPECT_NE(with([](auto& o) { o.bins = 1001; }), "");
    EXPECT_EQ(with([](auto& o) { o.segment = 8; }), "");
    EXPECT_EQ(with([](auto& o) { o.segment = 100; }), "");
    EXPECT_EQ(with([](auto& o) { o.segment = 7; }),
              "--segment must lie in 8..100 for 100 samples, not 7");
    EXPECT_NE(with([](auto& o) { o.segment = 101; }), "");
    EXPECT_EQ(with([](auto& o) {
                  o.bandLowHz = 0.0;
                  o.bandHighHz = 200.0;
              }),
              "");
    EXPECT_EQ(with([](auto& o) {
                  o.bandLowHz = 0.0;
                  o.bandHighHz = 200.5;
              }),
              "--band must lie within 0:200 Hz (0 to half the rate), low to high, not 0:200.5");
    EXPECT_NE(with([](auto& o) {
                  o.bandLowHz = -1.0;
                  o.bandHighHz = 10.0;
              }),
              "");
    EXPECT_NE(with([](auto& o) {
                  o.bandLowHz = 30.0;
                  o.bandHighHz = 20.0;
              }),
              "");

    TNoiseFigures f;
    f.samples = 42;
    std::string error;
    const std::vector<uint32_t> nine(9, 5u);
    EXPECT_FALSE(Analyze(nine, 5.0, 1, ok, f, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(f.samples, 42); // untouched

    EXPECT_EQ(ParseWindow("blackman-harris"), TWindow::BlackmanHarris);
    EXPECT_EQ(ParseWindow("hann"), TWindow::Hann);
    EXPECT_EQ(ParseWindow("rect"), TWindow::Rect);
    EXPECT_EQ(ParseWindow("hanning"), std::nullopt);
    EXPECT_EQ(ParseWindow(""), std::nullopt);
}

TEST(NoiseLevels, GainScalesTheMicrovoltsOnly)
{
    const auto codes = GaussianCodes(1000, 100.0, 4);
    const TNoiseFigures one = Figures(codes, 100.0, {}, 1);
    const TNoiseFigures eight = Figures(codes, 100.0, {}, 8);
    EXPECT_EQ(eight.gain, 8);
    EXPECT_EQ(eight.rmsCode, one.rmsCode);
    EXPECT_EQ(eight.effectiveBits, one.effectiveBits);
    EXPECT_NEAR(eight.rmsUv * 8.0 / one.rmsUv, 1.0, 1e-9);
    EXPECT_NEAR(eight.nsdMedianNv * 8.0 / one.nsdMedianNv, 1.0, 1e-9);
}

TEST(NoiseSpectrum, ConcurrentAnalysesGiveTheSameBitsAsOneAtATime)
{
    // More lengths than the plan cache keeps, from two threads: plans are
    // made, evicted and executed at the same time.
    const auto codes = GaussianCodes(3000, 40.0, 21);
    std::vector<int> lengths;
    for (int l = 100; l < 140; ++l)
        lengths.push_back(l);
    std::vector<std::vector<double>> alone;
    for (int l : lengths)
        alone.push_back(ComputeSpectrum(codes, 1000.0, 1, l, TWindow::Hann).nsdNv);
    EXPECT_LE(CachedPlanCount(), 16u);

    std::vector<std::vector<double>> a(lengths.size()), b(lengths.size());
    std::thread t1([&] {
        for (size_t i = 0; i < lengths.size(); ++i)
            a[i] = ComputeSpectrum(codes, 1000.0, 1, lengths[i], TWindow::Hann).nsdNv;
    });
    std::thread t2([&] {
        for (size_t i = lengths.size(); i-- > 0;)
            b[i] = ComputeSpectrum(codes, 1000.0, 1, lengths[i], TWindow::Hann).nsdNv;
    });
    t1.join();
    t2.join();
    EXPECT_EQ(a, alone);
    EXPECT_EQ(b, alone);
    EXPECT_LE(CachedPlanCount(), 16u);
}
