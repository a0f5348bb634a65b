#include "SineAnalysis.h"

#include "FftPlans.h"
#include "MeasureRecord.h"
#include "NoiseAnalysis.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <complex>

namespace mirantos::analysis {

namespace {

constexpr int kMaxSideBins = 50;
constexpr int kMinHarmonics = 2;
constexpr int kMaxHarmonics = 10;

std::string Num(double v)
{
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 6);
    return std::string(buf, r.ptr);
}

double Db(double ratio)
{
    return 10.0 * std::log10(ratio);
}

// Which region a bin belongs to; a harmonic h is kHarmonic + h.
enum : uint8_t { kNoise = 0, kDc = 1, kFundamental = 2, kHarmonic = 3 };

// The windowed spectrum's P[k], k = 0..K. The window is a sum of cosines, so it is applied
// to the rectangular transform as a convolution over 2J+1 neighbouring bins (J = 6 for
// bh7): X_w[k] = a_0 X[k] + sum_j (-1)^j a_j / 2 (X[k-j] + X[k+j]). That costs 13
// products a bin instead of N window values of seven cosines each, and is the same sum.
std::vector<double> Spectrum(const std::vector<double>& x, ESineWindow window, int kLast)
{
    const int n = static_cast<int>(x.size());
    TRealFft fft(n);
    std::copy(x.begin(), x.end(), fft.Input());
    fft.Execute();
    const std::complex<double>* out = fft.Output();
    // X at any index: X[-m] = conj X[m], X[N - m] = conj X[m] for a real input.
    auto at = [out, n](int m) {
        if (m < 0)
            return std::conj(out[-m]);
        if (m > n / 2)
            return std::conj(out[n - m]);
        return out[m];
    };
    std::vector<double> p(static_cast<size_t>(kLast) + 1, 0.0);
    if (window == ESineWindow::Rect) {
        // sum w^2 = N
        const double scale = 2.0 / (static_cast<double>(n) * static_cast<double>(n));
        for (int k = 1; k <= kLast; ++k)
            p[static_cast<size_t>(k)] = std::norm(out[k]) * scale;
        return p;
    }
    double c[7];
    double sumSquares = kBh7[0] * kBh7[0];
    for (int j = 0; j < 7; ++j) {
        c[j] = (j % 2 == 0 ? 1.0 : -1.0) * kBh7[j] * (j == 0 ? 1.0 : 0.5);
        if (j > 0)
            sumSquares += 0.5 * kBh7[j] * kBh7[j];
    }
    // sum over n of w^2 = N (a_0^2 + sum_j a_j^2 / 2) exactly for N > 12: the products'
    // cosines of 2 pi (i +- j) n / N sum to zero.
    const double dn = static_cast<double>(n);
    const double scale = 2.0 / (dn * dn * sumSquares);
    for (int k = 1; k <= kLast; ++k) {
        std::complex<double> v = c[0] * out[k];
        for (int j = 1; j < 7; ++j)
            v += c[j] * (at(k - j) + at(k + j));
        p[static_cast<size_t>(k)] = std::norm(v) * scale;
    }
    return p;
}

// h f folded into 0..fs/2.
double Fold(double f, double fs)
{
    f = std::fmod(f, fs);
    return f > fs / 2.0 ? fs - f : f;
}

} // namespace

const char* SineWindowName(ESineWindow window)
{
    return window == ESineWindow::Rect ? "rect" : "bh7";
}

std::optional<ESineWindow> ParseSineWindow(const std::string& name)
{
    if (name == "bh7")
        return ESineWindow::Bh7;
    if (name == "rect")
        return ESineWindow::Rect;
    return std::nullopt;
}

int SideBins(const TSineOptions& options)
{
    if (options.sideBins)
        return *options.sideBins;
    return options.window == ESineWindow::Bh7 ? 7 : 0;
}

std::string CheckSineOptions(const TSineOptions& options)
{
    if (options.sideBins && (*options.sideBins < 0 || *options.sideBins > kMaxSideBins))
        return "--side-bins must be 0..50, not " + std::to_string(*options.sideBins);
    if (options.harmonics < kMinHarmonics || options.harmonics > kMaxHarmonics)
        return "--harmonics must be 2..10, not " + std::to_string(options.harmonics);
    if (options.toneHz && !(std::isfinite(*options.toneHz) && *options.toneHz > 0.0))
        return "--tone must be a frequency above 0 Hz, not " + Num(*options.toneHz);
    return {};
}

std::string CheckSineInput(int64_t samples, double rateSps, const TSineOptions& options)
{
    if (std::string bad = CheckSineOptions(options); !bad.empty())
        return bad;
    if (!options.toneHz || samples < kSineMinSamples || !(rateSps > 0.0))
        return {};
    const int s = SideBins(options);
    const int64_t kLast = (samples - 1) / 2;
    const double df = rateSps / static_cast<double>(samples);
    const double bin = std::round(*options.toneHz / df);
    if (bin >= static_cast<double>(s + 1) && bin <= static_cast<double>(kLast))
        return {};
    // The frequencies whose nearest bin is s + 1 and K.
    return "--tone takes a frequency from " + Num((s + 0.5) * df) + " to " +
           Num((static_cast<double>(kLast) + 0.5) * df) + " Hz for this record, not " +
           Num(*options.toneHz);
}

std::optional<TSineFigures> AnalyzeSine(std::span<const uint32_t> codes, double rateSps,
                                        int32_t gain, const TSineOptions& options,
                                        std::string* reason)
{
    auto fail = [reason](std::string why) -> std::optional<TSineFigures> {
        if (reason != nullptr)
            *reason = std::move(why);
        return std::nullopt;
    };
    const auto count = static_cast<int64_t>(codes.size());
    if (count < kSineMinSamples)
        return fail(kSineReasonLength);
    if (count > 0x7FFFFFFF)
        return fail("takes at most 2147483647 samples");
    if (std::string bad = CheckSineInput(count, rateSps, options); !bad.empty())
        return fail(bad);

    TSineFigures f;
    f.n = static_cast<int>(count);
    f.rateSps = rateSps;
    f.window = options.window;
    f.sideBins = SideBins(options);
    f.k = (f.n - 1) / 2;
    f.fullScaleUv = static_cast<double>(FULL_SCALE_UV) / static_cast<double>(gain < 1 ? 1 : gain);
    const int s = f.sideBins;
    const int kLast = f.k;
    if (kLast <= s)
        return fail(kSineReasonNoBin);

    // Microvolts less the least code's (volts of offset cost no digits), less their mean.
    const auto [lo, hi] = std::minmax_element(codes.begin(), codes.end());
    std::vector<double> x = OffsetMicrovolts(codes, gain, *lo, *hi);
    double sum = 0.0;
    for (const double v : x)
        sum += v;
    const double mean = sum / static_cast<double>(f.n);
    for (double& v : x)
        v -= mean;

    f.power = Spectrum(x, options.window, kLast);
    const std::vector<double>& p = f.power;
    const double fs = rateSps;
    const double df = fs / static_cast<double>(f.n);

    // The fundamental: the strongest bin above DC, or the one nearest the given tone.
    int kf = s + 1;
    if (options.toneHz) {
        kf = static_cast<int>(std::round(*options.toneHz / df));
    } else {
        for (int k = s + 2; k <= kLast; ++k)
            if (p[static_cast<size_t>(k)] > p[static_cast<size_t>(kf)])
                kf = k;
    }
    if (p[static_cast<size_t>(kf)] <= 0.0)
        return fail(kSineReasonNoTone);
    // A peak in the first bin above DC or the last one may be the skirt of something
    // outside the band.
    if (!options.toneHz && (kf == s + 1 || kf == kLast))
        return fail(kSineReasonEdge);
    f.fundamentalBin = kf;

    std::vector<uint8_t> owner(static_cast<size_t>(kLast) + 1, kNoise);
    for (int k = 1; k <= s; ++k)
        owner[static_cast<size_t>(k)] = kDc;
    const int f0 = std::max(1, kf - s);
    const int f9 = std::min(kLast, kf + s);
    double p1 = 0.0;
    double moment = 0.0;
    double peak = 0.0;
    for (int k = f0; k <= f9; ++k) {
        const double v = p[static_cast<size_t>(k)];
        owner[static_cast<size_t>(k)] = kFundamental;
        p1 += v;
        moment += static_cast<double>(k) * v;
        peak = std::max(peak, v);
    }
    f.fundamentalHz = df * moment / p1;
    f.amplitudeUv = std::sqrt(2.0 * p1);
    f.amplitudeDbfs = 20.0 * std::log10(f.amplitudeUv / f.fullScaleUv);

    double harmonicSum = 0.0;
    for (int h = 2; h <= options.harmonics; ++h) {
        TSineHarmonic hm;
        hm.h = h;
        hm.fHz = Fold(static_cast<double>(h) * f.fundamentalHz, fs);
        hm.centreBin = static_cast<int>(std::round(hm.fHz / df));
        for (int k = std::max(1, hm.centreBin - s); k <= std::min(kLast, hm.centreBin + s); ++k) {
            if (owner[static_cast<size_t>(k)] != kNoise)
                continue;
            owner[static_cast<size_t>(k)] = static_cast<uint8_t>(kHarmonic + h);
            hm.power += p[static_cast<size_t>(k)];
            ++hm.bins;
        }
        if (hm.bins > 0 && hm.power > 0.0)
            hm.dBc = Db(hm.power / p1);
        harmonicSum += hm.power;
        f.harmonics.push_back(hm);
    }

    double noiseSum = 0.0;
    int64_t noiseBins = 0;
    double spur = 0.0;
    int spurBin = 0;
    for (int k = 1; k <= kLast; ++k) {
        const uint8_t o = owner[static_cast<size_t>(k)];
        const double v = p[static_cast<size_t>(k)];
        if (o == kNoise) {
            noiseSum += v;
            ++noiseBins;
        }
        if (o != kDc && o != kFundamental && (spurBin == 0 || v > spur)) {
            spur = v;
            spurBin = k;
        }
    }
    if (noiseBins == 0 || noiseSum <= 0.0 || spur <= 0.0)
        return fail(kSineReasonNoNoise);
    if (harmonicSum <= 0.0)
        return fail(kSineReasonNoHarmonic);
    // The excluded bins filled at the mean noise level.
    f.noisePower = noiseSum * static_cast<double>(kLast - s) / static_cast<double>(noiseBins);
    f.snrDb = Db(p1 / f.noisePower);
    f.thdDbc = Db(harmonicSum / p1);
    f.sinadDb = Db(p1 / (f.noisePower + harmonicSum));
    f.sfdrDbc = Db(peak / spur);
    f.spurBin = spurBin;
    f.spurHz = df * static_cast<double>(spurBin);
    f.enobBits = (f.sinadDb - 1.76) / 6.02;
    f.enobFsBits = (f.sinadDb + 20.0 * std::log10(f.fullScaleUv / f.amplitudeUv) - 1.76) / 6.02;

    // Per bin in dBFS: a full-scale sine's mean square is A_FS^2 / 2.
    const double fullScalePower = f.fullScaleUv * f.fullScaleUv / 2.0;
    f.dbfs.assign(p.size(), kSineFloorDbfs);
    for (size_t k = 1; k < p.size(); ++k)
        if (p[k] > 0.0)
            f.dbfs[k] = std::max(kSineFloorDbfs, Db(p[k] / fullScalePower));

    // The fit takes the samples themselves: put the mean and the offset back in its C.
    const double base = CodeToMicrovolt(*lo, gain) + mean;
    f.fit = FitSine(x, fs, f.fundamentalHz, f.fullScaleUv, &f.fitReason);
    if (f.fit) {
        f.fit->offsetUv += base;
        for (double& v : f.fit->fittedUv)
            v += base;
    }
    return f;
}

} // namespace mirantos::analysis
