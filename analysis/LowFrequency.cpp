#include "LowFrequency.h"

#include "MeasureRecord.h"
#include "NoiseAnalysis.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace mirantos::analysis {

std::string DriftReason(int64_t samples, double rateSps)
{
    const auto settle = static_cast<int64_t>(std::llround(kLfSettleSeconds * rateSps));
    const auto length = static_cast<int64_t>(std::llround(kLfIntervalSeconds * rateSps));
    if (!(rateSps > 0) || length < 1 || (samples > settle ? (samples - settle) / length : 0) < 1)
        return kLfReasonLength;
    return {};
}

std::string LowFrequencyNoiseReason(int64_t samples, double rateSps)
{
    if (!(rateSps >= kLfMinRateSps))
        return kLfReasonRate;
    return DriftReason(samples, rateSps);
}

namespace {

using TComplex = std::complex<double>;

// Microvolts of every sample less those of the smallest code, and their sum:
// the volts of offset drop out before any sum, so the slope and the mean keep
// their digits for microvolts of change.
struct TOffsetUv {
    std::vector<double> v;
    double sum = 0;
};

// sum of term(i) for i < n in four partial sums: independent chains the
// processor overlaps, where one running sum waits for every addition.
template <class F> double Sum4(size_t n, F term)
{
    double a[4] = {0, 0, 0, 0};
    size_t i = 0;
    for (; i + 4 <= n; i += 4)
        for (size_t j = 0; j < 4; ++j)
            a[j] += term(i + j);
    for (; i < n; ++i)
        a[0] += term(i);
    return (a[0] + a[1]) + (a[2] + a[3]);
}

TOffsetUv OffsetUv(std::span<const uint32_t> codes, int32_t gain)
{
    TOffsetUv out;
    if (codes.empty())
        return out;
    const auto [lo, hi] = std::minmax_element(codes.begin(), codes.end());
    out.v = OffsetMicrovolts(codes, gain, *lo, *hi);
    out.sum = Sum4(out.v.size(), [&v = out.v](size_t i) { return v[i]; });
    return out;
}

// Slope of v against i / fs in units of v per hour. With the index centred the
// intercept drops out: slope = sum (i - ibar) v_i / sum (i - ibar)^2, and the
// denominator is n (n^2 - 1) / 12.
double SlopePerHour(const std::vector<double>& v, double rateSps)
{
    const auto n = static_cast<double>(v.size());
    if (v.size() < 2)
        return 0;
    const double centre = (n - 1) / 2;
    const double s =
        Sum4(v.size(), [&](size_t i) { return (static_cast<double>(i) - centre) * v[i]; });
    return s / (n * (n * n - 1) / 12) * rateSps * 3600;
}

// The analog Butterworth prototype's poles of `order`, as scipy.signal.buttap
// numbers them: -exp(i pi k / (2 order)) for k = -order+1, -order+3, ..., order-1.
std::vector<TComplex> PrototypePoles(int order)
{
    std::vector<TComplex> p;
    for (int k = -order + 1; k < order; k += 2)
        p.push_back(-std::exp(TComplex(0, std::numbers::pi * k / (2.0 * order))));
    return p;
}

// A digital Butterworth of even order at cutHz by the bilinear transform with
// the cut-off pre-warped, in sections; the same arithmetic as scipy's
// butter(order, cutHz, btype, fs=fs, output='sos'): frequencies normalised to
// a sampling rate of 2, the whole gain in the first section, and the sections
// ordered with the poles nearest the unit circle last. Each section holds one
// conjugate pole pair over a double zero: the analog zeros at infinity of the
// low-pass go to z = -1, those at s = 0 of the high-pass to z = 1.
std::vector<TBiquad> Butterworth(int order, double cutHz, double rateSps, bool highPass)
{
    constexpr double kRate = 2.0;
    const double warped = 2 * kRate * std::tan(std::numbers::pi * (2 * cutHz / rateSps) / kRate);
    const double k2 = 2 * kRate; // the bilinear transform's 2 fs
    std::vector<TComplex> poles;
    TComplex gain = 1;
    for (const TComplex p : PrototypePoles(order)) {
        const TComplex analog = highPass ? warped / p : warped * p;
        poles.push_back((k2 + analog) / (k2 - analog));
        // Low-pass: k = warped^order over prod (2fs - p); high-pass: the zeros
        // at s = 0 give prod (2fs - 0) / prod (2fs - p).
        gain *= (highPass ? k2 : warped) / (k2 - analog);
    }
    // The upper half-plane member of each pair, farthest from the unit circle first.
    std::vector<TComplex> upper;
    for (const TComplex p : poles)
        if (p.imag() > 0)
            upper.push_back(p);
    std::sort(upper.begin(), upper.end(),
              [](TComplex a, TComplex b) { return std::abs(a) < std::abs(b); });
    const double zero = highPass ? 1.0 : -1.0;
    std::vector<TBiquad> sections;
    for (const TComplex p : upper) {
        TBiquad s;
        s.b0 = 1;
        s.b1 = -2 * zero;
        s.b2 = 1;
        s.a1 = -2 * p.real();
        s.a2 = std::norm(p);
        sections.push_back(s);
    }
    const double k = gain.real();
    sections.front().b0 *= k;
    sections.front().b1 *= k;
    sections.front().b2 *= k;
    return sections;
}

std::optional<TLowFrequencyNoise> BandNoise(const TOffsetUv& uv, double rateSps,
                                            std::string* reason)
{
    auto fail = [reason](const std::string& why) {
        if (reason != nullptr)
            *reason = why;
        return std::nullopt;
    };
    const auto n = static_cast<int64_t>(uv.v.size());
    if (const std::string why = LowFrequencyNoiseReason(n, rateSps); !why.empty())
        return fail(why);
    const auto settle = static_cast<int64_t>(std::llround(kLfSettleSeconds * rateSps));
    const auto length = static_cast<int64_t>(std::llround(kLfIntervalSeconds * rateSps));
    const int64_t intervals = (n - settle) / length;
    if (reason != nullptr)
        reason->clear();

    TLowFrequencyNoise out;
    out.intervals = intervals;
    out.firstKept = settle;
    out.intervalSamples = length;
    out.keptUv.resize(static_cast<size_t>(intervals * length));

    // The three sections in one pass, direct form II transposed from a zero
    // state; samples past the last whole interval are not needed.
    const std::vector<TBiquad> s = LowFrequencySections(rateSps);
    const TBiquad h = s[0], l1 = s[1], l2 = s[2];
    double h1 = 0, h2 = 0, p1 = 0, p2 = 0, q1 = 0, q2 = 0;
    const double mean = uv.sum / static_cast<double>(n);
    auto step = [&](double x) {
        const double y0 = h.b0 * x + h1;
        h1 = h.b1 * x - h.a1 * y0 + h2;
        h2 = h.b2 * x - h.a2 * y0;
        const double y1 = l1.b0 * y0 + p1;
        p1 = l1.b1 * y0 - l1.a1 * y1 + p2;
        p2 = l1.b2 * y0 - l1.a2 * y1;
        const double y2 = l2.b0 * y1 + q1;
        q1 = l2.b1 * y1 - l2.a1 * y2 + q2;
        q2 = l2.b2 * y1 - l2.a2 * y2;
        return y2;
    };
    const double* x = uv.v.data();
    for (int64_t i = 0; i < settle; ++i)
        step(x[i] - mean);
    double* kept = out.keptUv.data();
    for (size_t i = 0; i < out.keptUv.size(); ++i)
        kept[i] = step(x[settle + static_cast<int64_t>(i)] - mean);

    double squares = 0;
    out.intervalPpUv.reserve(static_cast<size_t>(intervals));
    for (int64_t k = 0; k < intervals; ++k) {
        const double* x = out.keptUv.data() + k * length;
        double lo = x[0], hi = x[0];
        for (int64_t i = 0; i < length; ++i) {
            lo = std::min(lo, x[i]);
            hi = std::max(hi, x[i]);
            squares += x[i] * x[i];
        }
        out.intervalPpUv.push_back(hi - lo);
    }
    out.rmsUv = std::sqrt(squares / static_cast<double>(out.keptUv.size()));
    std::vector<double> pp = out.intervalPpUv;
    std::sort(pp.begin(), pp.end());
    const auto m = pp.size();
    out.ppUvMedian = m % 2 == 1 ? pp[m / 2] : (pp[m / 2 - 1] + pp[m / 2]) / 2;
    out.ppUvMax = pp.back();
    return out;
}

} // namespace

std::vector<TBiquad> LowFrequencySections(double rateSps)
{
    std::vector<TBiquad> s = Butterworth(2, kLfLowHz, rateSps, true);
    const std::vector<TBiquad> low = Butterworth(4, kLfHighHz, rateSps, false);
    s.insert(s.end(), low.begin(), low.end());
    return s;
}

double DriftUvPerHour(std::span<const uint32_t> codes, double rateSps, int32_t gain)
{
    return SlopePerHour(OffsetUv(codes, gain).v, rateSps);
}

std::vector<TAllanPoint> AllanDeviation(std::span<const uint32_t> codes, double rateSps,
                                        int32_t gain)
{
    std::vector<TAllanPoint> out;
    const auto n = static_cast<int64_t>(codes.size());
    if (n < 4)
        return out;
    // Prefix sums of the codes less the first: the second differences do not
    // change, and below 2^31 samples of 2^32 codes the sums fit 63 bits.
    std::vector<int64_t> sums(static_cast<size_t>(n) + 1);
    const int64_t base = codes[0];
    int64_t acc = 0;
    sums[0] = 0;
    for (int64_t i = 0; i < n; ++i) {
        acc += static_cast<int64_t>(codes[static_cast<size_t>(i)]) - base;
        sums[static_cast<size_t>(i) + 1] = acc;
    }
    const double q = 2500000.0 / (2147483647.0 * (gain == 0 ? 1 : gain));
    const int64_t* s = sums.data();
    for (int64_t m = 1; 4 * m <= n; m *= 2) {
        const int64_t terms = n - 2 * m + 1;
        const int64_t* far = s + 2 * m;
        const int64_t* mid = s + m;
        const double total = Sum4(static_cast<size_t>(terms), [&](size_t k) {
            const auto d = static_cast<double>(far[k] - 2 * mid[k] + s[k]);
            return d * d;
        });
        const auto md = static_cast<double>(m);
        TAllanPoint p;
        p.m = m;
        p.tauS = md / rateSps;
        p.adevUv = q * std::sqrt(total / (2 * md * md * static_cast<double>(terms)));
        p.terms = terms;
        out.push_back(p);
    }
    return out;
}

std::optional<TLowFrequencyNoise> LowFrequencyNoise(std::span<const uint32_t> codes, double rateSps,
                                                    int32_t gain, std::string* reason)
{
    if (!(rateSps >= kLfMinRateSps)) // no conversion needed to say so
        return BandNoise(TOffsetUv{}, rateSps, reason);
    return BandNoise(OffsetUv(codes, gain), rateSps, reason);
}

TLowFrequencyFigures ComputeLowFrequency(std::span<const uint32_t> codes, double rateSps,
                                         int32_t gain)
{
    TLowFrequencyFigures f;
    const TOffsetUv uv = OffsetUv(codes, gain);
    f.slopeReason = DriftReason(static_cast<int64_t>(codes.size()), rateSps);
    if (f.slopeReason.empty())
        f.slopeUvPerH = SlopePerHour(uv.v, rateSps);
    f.allan = AllanDeviation(codes, rateSps, gain);
    f.lf = BandNoise(uv, rateSps, &f.lfReason);
    return f;
}

} // namespace mirantos::analysis
