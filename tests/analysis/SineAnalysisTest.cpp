// The sine-wave test against a model written here from the definitions: long double,
// the window from its cosines, a direct DFT, the regions bin by bin, and a fit of its
// own (the frequency as the root of the gradient of the three-parameter fit's squared
// residual, found by the secant method). Then answers known in advance and bad input.

#include "SineAnalysis.h"
#include "FftPlans.h"
#include "MeasureRecord.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

using namespace mirantos::analysis;

namespace {

using LD = long double;
constexpr LD kPi = std::numbers::pi_v<LD>;
constexpr double kFs = 1000.0;

// A tone of `amp` uV at `cycles` cycles over the record (not whole: non-coherent), its
// harmonics at the given dBc, white noise of sigma uV, quantised at gain 1.
std::vector<uint32_t> Tone(int n, double cycles, double amp, std::vector<double> hdDbc,
                           double sigma, uint64_t seed = 1, double offsetUv = 1234.5)
{
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> g(0.0, sigma);
    const LD perUv = 2147483647.0L / 2500000.0L;
    std::vector<uint32_t> c(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        const LD ph = 2 * kPi * cycles * i / n + 0.3L;
        LD v = offsetUv + amp * std::cos(ph);
        for (size_t h = 0; h < hdDbc.size(); ++h)
            v += amp * std::pow(10.0L, hdDbc[h] / 20.0L) * std::cos((h + 2) * ph + 1.1L * h);
        if (sigma > 0)
            v += g(rng);
        c[static_cast<size_t>(i)] = static_cast<uint32_t>(std::llround(2147483648.0L + v * perUv));
    }
    return c;
}

// Figures in this order: f1, A1, SNR, THD, SINAD, SFDR, spur, ENOB, ENOB FS, and the fit's
// f, amplitude, phase, offset and residual; then each harmonic's bins and dBc.
struct Model {
    std::vector<LD> figures;
    std::vector<int> hBins;
    std::vector<LD> hDbc;
};

std::vector<double> Figures(const TSineFigures& f)
{
    const TSineFit& t = *f.fit;
    return {f.fundamentalHz, f.amplitudeUv, f.snrDb,    f.thdDbc,       f.sinadDb,
            f.sfdrDbc,       f.spurHz,      f.enobBits, f.enobFsBits,   t.fHz,
            t.amplitudeUv,   t.phaseRad,    t.offsetUv, t.residualRmsUv};
}

// The definitions, one by one.
Model ModelFigures(const std::vector<uint32_t>& codes, int s, bool bh7, int harmonics)
{
    const int n = static_cast<int>(codes.size());
    const int kk = (n - 1) / 2;
    std::vector<LD> x(n), cosT(n), sinT(n);
    LD mean = 0;
    for (int i = 0; i < n; ++i)
        mean += CodeToMicrovolt(codes[i], 1);
    mean /= n;
    for (int i = 0; i < n; ++i) {
        x[i] = CodeToMicrovolt(codes[i], 1) - mean;
        cosT[i] = std::cos(2 * kPi * i / n);
        sinT[i] = std::sin(2 * kPi * i / n);
    }
    std::vector<LD> w(n, 1);
    LD w2 = 0;
    for (int i = 0; i < n; ++i) {
        if (bh7) {
            w[i] = 0;
            for (int k = 0; k < 7; ++k)
                w[i] += (k % 2 ? -1 : 1) * static_cast<LD>(kBh7[k]) * cosT[(k * i) % n];
        }
        w2 += w[i] * w[i];
    }
    std::vector<LD> p(kk + 1, 0);
    for (int k = 1; k <= kk; ++k) {
        LD re = 0, im = 0;
        for (int i = 0; i < n; ++i) {
            const int m = static_cast<int>((static_cast<int64_t>(k) * i) % n);
            re += w[i] * x[i] * cosT[m];
            im -= w[i] * x[i] * sinT[m];
        }
        p[k] = 2 * (re * re + im * im) / (n * w2);
    }
    std::vector<int> region(kk + 1, 0); // 0 noise, 1 DC, 2 fundamental, h harmonic
    for (int k = 1; k <= s; ++k)
        region[k] = 1;
    int kf = s + 1;
    for (int k = s + 1; k <= kk; ++k)
        if (p[k] > p[kf])
            kf = k;
    LD p1 = 0, mom = 0, peak = 0;
    for (int k = std::max(1, kf - s); k <= std::min(kk, kf + s); ++k) {
        region[k] = 2;
        p1 += p[k];
        mom += k * p[k];
        peak = std::max(peak, p[k]);
    }
    Model m{};
    const LD fs = kFs;
    const LD f1 = fs / n * mom / p1, a1 = std::sqrt(2 * p1);
    LD ph = 0;
    for (int h = 2; h <= harmonics; ++h) {
        LD fh = std::fmod(h * f1, fs);
        if (fh > fs / 2)
            fh = fs - fh;
        const int c = static_cast<int>(std::round(fh * n / fs));
        LD pw = 0;
        int bins = 0;
        for (int k = c - s; k <= c + s; ++k)
            if (k >= 1 && k <= kk && region[k] == 0) {
                region[k] = 2 + h;
                pw += p[k];
                ++bins;
            }
        m.hBins.push_back(bins);
        m.hDbc.push_back(bins ? 10 * std::log10(pw / p1) : 0);
        ph += pw;
    }
    LD noise = 0, spur = 0;
    int count = 0, spurK = 0;
    for (int k = 1; k <= kk; ++k) {
        if (region[k] == 0) {
            noise += p[k];
            ++count;
        }
        if (region[k] != 1 && region[k] != 2 && p[k] > spur) {
            spur = p[k];
            spurK = k;
        }
    }
    const LD pn = noise * (kk - s) / count;
    const LD sinad = 10 * std::log10(p1 / (pn + ph));
    m.figures = {f1,
                 a1,
                 10 * std::log10(p1 / pn),
                 10 * std::log10(ph / p1),
                 sinad,
                 10 * std::log10(peak / spur),
                 fs / n * spurK,
                 (sinad - 1.76L) / 6.02L,
                 (sinad + 20 * std::log10(2500000.0L / a1) - 1.76L) / 6.02L};

    // The fit: for each f the linear fit of cos, sin, 1 by its normal equations (Cramer's
    // rule); the f where the squared residual is least is where its derivative, by the
    // envelope theorem -2 sum r * dmodel/df, is zero: found by the secant method.
    struct Lin {
        LD a, b, c, g, ssr;
    };
    auto linear = [&](LD f) {
        LD s11 = 0, s12 = 0, s13 = 0, s22 = 0, s23 = 0, r1 = 0, r2 = 0, r3 = 0;
        for (int i = 0; i < n; ++i) {
            const LD y = x[i] + mean, co = std::cos(2 * kPi * f * i / fs),
                     si = std::sin(2 * kPi * f * i / fs);
            s11 += co * co, s12 += co * si, s13 += co, s22 += si * si, s23 += si;
            r1 += y * co, r2 += y * si, r3 += y;
        }
        const LD s33 = n;
        auto det = [](LD a, LD b, LD c, LD d, LD e, LD f_, LD g, LD h, LD i) {
            return a * (e * i - f_ * h) - b * (d * i - f_ * g) + c * (d * h - e * g);
        };
        const LD d0 = det(s11, s12, s13, s12, s22, s23, s13, s23, s33);
        Lin l{};
        l.a = det(r1, s12, s13, r2, s22, s23, r3, s23, s33) / d0;
        l.b = det(s11, r1, s13, s12, r2, s23, s13, r3, s33) / d0;
        l.c = det(s11, s12, r1, s12, s22, r2, s13, s23, r3) / d0;
        for (int i = 0; i < n; ++i) {
            const LD t = i / fs, co = std::cos(2 * kPi * f * t), si = std::sin(2 * kPi * f * t);
            const LD r = x[i] + mean - (l.a * co + l.b * si + l.c);
            l.g += r * 2 * kPi * t * (l.b * co - l.a * si);
            l.ssr += r * r;
        }
        return l;
    };
    LD fa = f1, fb = f1 * (1 + 1e-7L);
    Lin la = linear(fa), lb = linear(fb);
    for (int it = 0; it < 60 && lb.g != la.g && std::fabs(fb - fa) > 1e-16L * fb; ++it) {
        const LD fc = fb - lb.g * (fb - fa) / (lb.g - la.g);
        fa = fb, la = lb, fb = fc, lb = linear(fc);
    }
    m.figures.insert(m.figures.end(), {fb, std::hypot(lb.a, lb.b), std::atan2(-lb.b, lb.a), lb.c,
                                       std::sqrt(lb.ssr / n)});
    return m;
}

struct Case {
    const char* name;
    int n;
    double cycles;
    std::vector<double> hd;
    bool rect;
    int sideBins; // -1: the window's own
    int harmonics;
};

// Relative to the figure, or absolute below 1 (a phase near 0).
bool Near(double got, LD want, double tol)
{
    return std::fabs(got - static_cast<double>(want)) <=
           tol * std::max<double>(1.0, std::fabs(static_cast<double>(want)));
}

} // namespace

TEST(SineAnalysis, EveryFigureAgreesWithTheModelFromTheDefinitions)
{
    const Case cases[] = {
        {"coherent rect", 1024, 61, {}, true, -1, 5},
        {"coherent bh7, harmonics", 2048, 97, {-70, -85, -95}, false, -1, 5},
        {"non-coherent bh7, harmonics", 2048, 123.37, {-60, -80}, false, -1, 6},
        {"non-coherent, no harmonics, odd N", 1025, 40.61, {}, false, 9, 3},
        {"near DC", 2048, 10.3, {-70}, false, -1, 5},
        {"near fs/2", 2048, 1019.6, {-70}, false, -1, 4},
        {"2nd harmonic folds onto the fundamental", 3000, 1001.3, {-60, -70}, false, -1, 5},
    };
    for (const Case& c : cases) {
        const auto codes = Tone(c.n, c.cycles, 1.0e6, c.hd, 20.0);
        TSineOptions o;
        o.window = c.rect ? ESineWindow::Rect : ESineWindow::Bh7;
        if (c.sideBins >= 0)
            o.sideBins = c.sideBins;
        o.harmonics = c.harmonics;
        std::string why;
        const auto f = AnalyzeSine(codes, kFs, 1, o, &why);
        ASSERT_TRUE(f) << c.name << ": " << why;
        const Model m = ModelFigures(codes, SideBins(o), !c.rect, c.harmonics);
        ASSERT_TRUE(f->fit && f->fit->converged) << c.name << ": " << f->fitReason;
        const auto got = Figures(*f);
        const auto& want = m.figures;
        for (size_t i = 0; i < got.size(); ++i)
            EXPECT_TRUE(Near(got[i], want[i], 1e-9))
                << c.name << ": figure " << i << " " << got[i] << " vs " << double(want[i]);
        ASSERT_EQ(f->harmonics.size(), m.hBins.size()) << c.name;
        for (size_t h = 0; h < m.hBins.size(); ++h) {
            EXPECT_EQ(f->harmonics[h].bins, m.hBins[h]) << c.name << " h" << h + 2;
            EXPECT_EQ(f->harmonics[h].dBc.has_value(), m.hBins[h] > 0) << c.name;
            if (m.hBins[h] > 0) {
                EXPECT_TRUE(Near(*f->harmonics[h].dBc, m.hDbc[h], 1e-9)) << c.name << h + 2;
            }
        }
    }
}

TEST(SineAnalysis, KnownAnswers)
{
    // A coherent tone in white noise of sigma: SNR = 10 lg(A^2 / (2 sigma^2)).
    {
        const int n = 1 << 20;
        const auto codes = Tone(n, 10007, 1.0e6, {}, 10.0, 7);
        std::string why;
        const auto f = AnalyzeSine(codes, kFs, 1, {}, &why);
        ASSERT_TRUE(f) << why;
        EXPECT_NEAR(f->snrDb, 10 * std::log10(1.0e12 / (2 * 100.0)), 0.1);
    }
    // Harmonics at -100 and -120 dBc of a non-coherent tone: bh7 reads them within 0.2 dB;
    // a 4-term Blackman-Harris window leaks its main tone over the -120 dBc one.
    const int n = 65536;
    const double cycles = 100.37;
    const auto codes = Tone(n, cycles, 1.25e6, {-100, -120}, 0.0);
    std::string why;
    const auto f = AnalyzeSine(codes, kFs, 1, {}, &why);
    ASSERT_TRUE(f) << why;
    EXPECT_NEAR(f->harmonics[0].dBc.value_or(0), -100, 0.2);
    EXPECT_NEAR(f->harmonics[1].dBc.value_or(0), -120, 0.2);
    TRealFft fft(n);
    double mean = 0;
    for (const uint32_t c : codes)
        mean += CodeToMicrovolt(c, 1) / n;
    for (int i = 0; i < n; ++i) {
        const double c = std::cos(2 * std::numbers::pi * i / n);
        const double w4 =
            0.35875 - 0.48829 * c + 0.14128 * (2 * c * c - 1) - 0.01168 * (4 * c * c - 3) * c;
        fft.Input()[i] = w4 * (CodeToMicrovolt(codes[i], 1) - mean);
    }
    fft.Execute();
    auto band = [&](int centre) {
        double p = 0;
        for (int k = centre - 7; k <= centre + 7; ++k)
            p += std::norm(fft.Output()[k]);
        return p;
    };
    const int k1 = static_cast<int>(std::round(cycles));
    const double hd3 = 10 * std::log10(band(3 * k1) / band(k1));
    EXPECT_GT(std::fabs(hd3 + 120), 1.0) << "the 4-term window read HD3 as " << hd3;

    // The fit of a noiseless tone (quantised only) finds f and the amplitude.
    const auto clean = Tone(4096, 123.456, 1.0e6, {}, 0.0);
    const auto g = AnalyzeSine(clean, kFs, 1, {}, &why);
    ASSERT_TRUE(g && g->fit) << why;
    const double fTrue = 123.456 * kFs / 4096;
    EXPECT_LT(std::fabs(g->fit->fHz / fTrue - 1), 1e-9);
    EXPECT_LT(std::fabs(g->fit->amplitudeUv / 1.0e6 - 1), 1e-7);
    EXPECT_TRUE(g->fit->converged);
}

TEST(SineAnalysis, BadInputGivesAReasonOrFiguresButNeverNaN)
{
    struct Bad {
        const char* name;
        std::vector<uint32_t> codes;
        std::optional<double> tone;
        std::string reason; // empty: figures expected
    };
    std::vector<uint32_t> twoTones = Tone(4096, 200.25, 1.0e5, {}, 1.0, 3);
    const auto second = Tone(4096, 611.75, 1.0e5, {}, 0.0, 4, 0.0);
    for (size_t i = 0; i < twoTones.size(); ++i)
        twoTones[i] += second[i] - 2147483648u;
    const Bad cases[] = {
        {"constant codes", std::vector<uint32_t>(4096, 2147483648u + 77), {}, kSineReasonNoTone},
        {"DC and noise only", Tone(4096, 0, 0, {}, 5.0), {}, ""},
        {"two equal tones", twoTones, {}, ""},
        {"1023 samples", Tone(1023, 50.5, 1.0e6, {}, 1.0), {}, kSineReasonLength},
        {"tone beyond fs/2", Tone(4096, 50.5, 1.0e6, {}, 1.0), 600.0, "--tone takes"},
    };
    for (const Bad& c : cases) {
        TSineOptions o;
        o.toneHz = c.tone;
        std::string why;
        const auto f = AnalyzeSine(c.codes, kFs, 1, o, &why);
        if (!c.reason.empty()) {
            EXPECT_FALSE(f) << c.name;
            EXPECT_EQ(why.rfind(c.reason, 0), 0u) << c.name << ": " << why;
            continue;
        }
        ASSERT_TRUE(f) << c.name << ": " << why;
        for (const double v : {f->fundamentalHz, f->amplitudeUv, f->amplitudeDbfs, f->snrDb,
                               f->thdDbc, f->sinadDb, f->sfdrDbc, f->enobBits, f->enobFsBits})
            EXPECT_TRUE(std::isfinite(v)) << c.name;
        for (const double v : f->dbfs)
            ASSERT_TRUE(std::isfinite(v)) << c.name;
        if (f->fit) {
            EXPECT_TRUE(std::isfinite(f->fit->fHz) && std::isfinite(f->fit->residualRmsUv));
        }
    }
    // Two equal tones: the other one is the largest spur, about as strong.
    const auto two = AnalyzeSine(twoTones, kFs, 1, {}, nullptr);
    ASSERT_TRUE(two);
    EXPECT_NEAR(two->sfdrDbc, 0.0, 0.5);
    const double lowHz = 200.25 * kFs / 4096, highHz = 611.75 * kFs / 4096;
    const bool lowFirst = std::fabs(two->fundamentalHz - lowHz) < 1;
    EXPECT_NEAR(two->fundamentalHz, lowFirst ? lowHz : highHz, 0.01);
    EXPECT_NEAR(two->spurHz, lowFirst ? highHz : lowHz, kFs / 4096);
}
