#include "NoiseAnalysis.h"

#include "FftPlans.h"
#include "MeasureRecord.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numbers>

namespace mirantos::analysis {

namespace {

// Shortest text that reads back as v, for a readable message.
std::string Num(double v)
{
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

void MinMax(std::span<const uint32_t> codes, uint32_t& lo, uint32_t& hi)
{
    lo = 0xFFFFFFFFu;
    hi = 0;
    for (const uint32_t c : codes) {
        lo = std::min(lo, c);
        hi = std::max(hi, c);
    }
}

// The periodic window, w[n] = w[L - n]: each value is computed once for both
// halves, with cos 2x and cos 3x from cos x.
std::vector<double> WindowValues(TWindow window, int length)
{
    std::vector<double> w(static_cast<size_t>(length), 1.0);
    if (window == TWindow::Rect)
        return w;
    for (int n = 0; n <= length / 2; ++n) {
        const double c =
            std::cos(2.0 * std::numbers::pi * static_cast<double>(n) / static_cast<double>(length));
        double value = 0.5 - 0.5 * c;
        if (window == TWindow::BlackmanHarris) {
            const double c2 = 2.0 * c * c - 1.0;
            const double c3 = (4.0 * c * c - 3.0) * c;
            value = 0.35875 - 0.48829 * c + 0.14128 * c2 - 0.01168 * c3;
        }
        w[static_cast<size_t>(n)] = value;
        if (n > 0)
            w[static_cast<size_t>(length - n)] = value;
    }
    return w;
}

TSpectrum Welch(const std::vector<double>& v, double fs, int length, TWindow window)
{
    TSpectrum s;
    s.window = window;
    s.segment = length;
    s.rateSps = fs;
    s.dfHz = fs / static_cast<double>(length);
    const int64_t n = static_cast<int64_t>(v.size());
    const int64_t step = length - length / 2;
    s.segments = static_cast<int>(1 + (n - length) / step);

    const std::vector<double> w = WindowValues(window, length);
    double sumW2 = 0.0;
    for (const double x : w)
        sumW2 += x * x;

    const size_t bins = static_cast<size_t>(length / 2 + 1);
    std::vector<double> acc(bins, 0.0);
    TRealFft fft(length);
    double* in = fft.Input();
    for (int m = 0; m < s.segments; ++m) {
        const double* x = v.data() + static_cast<int64_t>(m) * step;
        double sum = 0.0;
        for (int i = 0; i < length; ++i)
            sum += x[i];
        const double mean = sum / static_cast<double>(length);
        for (int i = 0; i < length; ++i)
            in[i] = (x[i] - mean) * w[static_cast<size_t>(i)];
        fft.Execute();
        const std::complex<double>* out = fft.Output();
        for (size_t k = 0; k < bins; ++k)
            acc[k] += std::norm(out[k]);
    }

    const double scale = 1.0 / (static_cast<double>(s.segments) * fs * sumW2);
    s.psdUv2.resize(bins);
    s.nsdNv.resize(bins);
    for (size_t k = 0; k < bins; ++k) {
        const bool single = k == 0 || (length % 2 == 0 && k == bins - 1);
        const double p = acc[k] * scale * (single ? 1.0 : 2.0);
        s.psdUv2[k] = p;
        s.nsdNv[k] = std::sqrt(p) * 1000.0;
    }
    return s;
}

} // namespace

// Microvolts of every sample less those of the minimum code: the offset of
// volts drops out before any sum, so a constant record gives exact zeros and
// the sums keep their digits for the noise. Noise spans few codes, so when the
// span is smaller than the record each code is converted once into a table.
std::vector<double> OffsetMicrovolts(std::span<const uint32_t> codes, int32_t gain, uint32_t lo,
                                     uint32_t hi)
{
    const double base = CodeToMicrovolt(lo, gain);
    std::vector<double> v(codes.size());
    const uint64_t span = static_cast<uint64_t>(hi - lo) + 1;
    if (span <= codes.size()) {
        std::vector<double> table(static_cast<size_t>(span));
        for (uint64_t i = 0; i < span; ++i)
            table[i] = CodeToMicrovolt(static_cast<uint32_t>(lo + i), gain) - base;
        for (size_t i = 0; i < codes.size(); ++i)
            v[i] = table[codes[i] - lo];
    } else {
        for (size_t i = 0; i < codes.size(); ++i)
            v[i] = CodeToMicrovolt(codes[i], gain) - base;
    }
    return v;
}

std::string_view WindowName(TWindow w)
{
    switch (w) {
    case TWindow::BlackmanHarris:
        return "blackman-harris";
    case TWindow::Hann:
        return "hann";
    case TWindow::Rect:
        break;
    }
    return "rect";
}

bool ParseBand(std::string_view text, double& lowHz, double& highHz)
{
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos)
        return false;
    auto number = [](std::string_view t, double& v) {
        const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
        return !t.empty() && ec == std::errc() && end == t.data() + t.size() && std::isfinite(v);
    };
    return number(text.substr(0, colon), lowHz) && number(text.substr(colon + 1), highHz);
}

double EnbwBins(TWindow window, int length)
{
    if (length < 1)
        return 1.0;
    const std::vector<double> w = WindowValues(window, length);
    double sum = 0;
    double squares = 0;
    for (const double x : w) {
        sum += x;
        squares += x * x;
    }
    return sum > 0 ? static_cast<double>(length) * squares / (sum * sum) : 1.0;
}

std::optional<TWindow> ParseWindow(std::string_view name)
{
    for (const TWindow w : {TWindow::BlackmanHarris, TWindow::Hann, TWindow::Rect}) {
        if (name == WindowName(w))
            return w;
    }
    return std::nullopt;
}

uint64_t THistogram::BinLast(size_t k) const
{
    return std::min<uint64_t>(BinFirst(k) + binWidth - 1, 0xFFFFFFFFu);
}

double TSpectrum::FrequencyHz(size_t k) const
{
    return static_cast<double>(k) * rateSps / static_cast<double>(segment);
}

int DefaultSegment(int64_t samples)
{
    int64_t l = kMinSegment;
    while (l * 2 <= samples / 4)
        l *= 2;
    return static_cast<int>(l);
}

std::string CheckInput(int64_t samples, double rateSps, int32_t gain, const TAnalysisOptions& o)
{
    if (samples < kMinSamples)
        return "the noise analysis needs at least " + std::to_string(kMinSamples) +
               " samples; the channel holds " + std::to_string(samples);
    if (samples > 0x7FFFFFFF)
        return "the noise analysis takes at most 2147483647 samples";
    if (!(rateSps > 0.0) || !std::isfinite(rateSps))
        return "the rate must be above 0 samples per second, not " + Num(rateSps);
    if (gain < 1)
        return "the gain must be at least 1, not " + std::to_string(gain);
    if (o.bins < 1 || o.bins > kMaxBins)
        return "--bins must lie in 1.." + std::to_string(kMaxBins) + ", not " +
               std::to_string(o.bins);
    if (o.segment != 0 && (o.segment < kMinSegment || o.segment > samples))
        return "--segment must lie in " + std::to_string(kMinSegment) + ".." +
               std::to_string(samples) + " for " + std::to_string(samples) + " samples, not " +
               std::to_string(o.segment);
    const double nyquist = rateSps / 2.0;
    const double lo = o.bandLowHz.value_or(0.0);
    const double hi = o.bandHighHz.value_or(nyquist);
    if (!std::isfinite(lo) || !std::isfinite(hi) || lo < 0.0 || hi > nyquist || lo > hi)
        return "--band must lie within 0:" + Num(nyquist) + " Hz (0 to half the rate), low to " +
               "high, not " + Num(lo) + ":" + Num(hi);
    return {};
}

namespace {

// The level figures from the codes and their offset microvolts (relative to the minimum code).
void Levels(std::span<const uint32_t> codes, const std::vector<double>& v, int32_t gain,
            TNoiseFigures& out)
{
    const size_t n = codes.size();
    const double dn = static_cast<double>(n);
    out.samples = static_cast<int64_t>(n);
    out.gain = gain;
    out.ppCode = out.maxCode - out.minCode;

    const TCodeSpread spread =
        CodeSpread(codes.data(), static_cast<int64_t>(codes.size()), out.minCode);
    out.meanCode = spread.mean;
    out.rmsCode = spread.sigma;

    double vSum = 0.0;
    for (const double x : v)
        vSum += x;
    const double vMean = vSum / dn;
    double vSquares = 0.0;
    for (const double x : v)
        vSquares += (x - vMean) * (x - vMean);
    const double base = CodeToMicrovolt(out.minCode, gain);
    out.meanUv = base + vMean;
    out.rmsUv = std::sqrt(vSquares / dn);
    out.ppUv = CodeToMicrovolt(out.maxCode, gain) - base;

    out.effectiveBits = ResolutionBits(out.rmsCode);
    out.noiseFreeBits = ResolutionBits(static_cast<double>(out.ppCode));
}

} // namespace

void ComputeLevelFigures(std::span<const uint32_t> codes, int32_t gain, TNoiseFigures& out)
{
    MinMax(codes, out.minCode, out.maxCode);
    Levels(codes, OffsetMicrovolts(codes, gain, out.minCode, out.maxCode), gain, out);
}

THistogram ComputeHistogram(std::span<const uint32_t> codes, int bins)
{
    THistogram h;
    uint32_t lo = 0;
    uint32_t hi = 0;
    MinMax(codes, lo, hi);
    const uint64_t span = static_cast<uint64_t>(hi - lo) + 1; // up to 2^32
    const auto b = static_cast<uint64_t>(bins);
    h.firstCode = lo;
    h.binWidth = (span + b - 1) / b;
    h.counts.assign(static_cast<size_t>((span + h.binWidth - 1) / h.binWidth), 0);
    if (h.binWidth == 1) {
        for (const uint32_t c : codes)
            ++h.counts[c - lo];
        return h;
    }
    // A multiply instead of a division per sample; x * inv is off by at most
    // one from the true quotient, which the two checks put right.
    const uint64_t w = h.binWidth;
    const double inv = 1.0 / static_cast<double>(w);
    const uint64_t last = h.counts.size() - 1;
    for (const uint32_t c : codes) {
        const uint64_t x = c - lo;
        uint64_t k = std::min<uint64_t>(static_cast<uint64_t>(static_cast<double>(x) * inv), last);
        if (k * w > x)
            --k;
        else if (k < last && (k + 1) * w <= x)
            ++k;
        ++h.counts[k];
    }
    return h;
}

TSpectrum ComputeSpectrum(std::span<const uint32_t> codes, double rateSps, int32_t gain,
                          int segment, TWindow window)
{
    uint32_t lo = 0;
    uint32_t hi = 0;
    MinMax(codes, lo, hi);
    return Welch(OffsetMicrovolts(codes, gain, lo, hi), rateSps, segment, window);
}

double MedianNsd(const TSpectrum& s)
{
    if (s.nsdNv.size() < 2)
        return 0.0;
    std::vector<double> d(s.nsdNv.begin() + 1, s.nsdNv.begin() + 1 + s.segment / 2);
    const size_t mid = d.size() / 2;
    std::nth_element(d.begin(), d.begin() + static_cast<std::ptrdiff_t>(mid), d.end());
    const double upper = d[mid];
    if (d.size() % 2 != 0)
        return upper;
    const double lower = *std::max_element(d.begin(), d.begin() + static_cast<std::ptrdiff_t>(mid));
    return (lower + upper) / 2.0;
}

double BandRms(const TSpectrum& s, double lowHz, double highHz)
{
    double sum = 0.0;
    for (size_t k = 1; k < s.psdUv2.size(); ++k) {
        const double f = s.FrequencyHz(k);
        if (f >= lowHz && f <= highHz)
            sum += s.psdUv2[k];
    }
    return std::sqrt(sum * s.dfHz);
}

double ResolutionBits(double codes)
{
    if (!(codes > 0.0))
        return 32.0;
    return std::min(32.0, 32.0 - std::log2(codes));
}

bool Analyze(std::span<const uint32_t> codes, double rateSps, int32_t gain,
             const TAnalysisOptions& options, TNoiseFigures& out, std::string* error)
{
    const std::string problem =
        CheckInput(static_cast<int64_t>(codes.size()), rateSps, gain, options);
    if (!problem.empty()) {
        if (error != nullptr)
            *error = problem;
        return false;
    }
    out = TNoiseFigures{};
    out.rateSps = rateSps;
    MinMax(codes, out.minCode, out.maxCode);
    const std::vector<double> v = OffsetMicrovolts(codes, gain, out.minCode, out.maxCode);
    Levels(codes, v, gain, out);
    out.histogram = ComputeHistogram(codes, options.bins);
    const int segment =
        options.segment != 0 ? options.segment : DefaultSegment(static_cast<int64_t>(codes.size()));
    out.spectrum = Welch(v, rateSps, segment, options.window);
    out.nsdMedianNv = MedianNsd(out.spectrum);
    out.bandLowHz = options.bandLowHz.value_or(0.0);
    out.bandHighHz = options.bandHighHz.value_or(rateSps / 2.0);
    out.bandRmsUv = BandRms(out.spectrum, out.bandLowHz, out.bandHighHz);
    return true;
}

} // namespace mirantos::analysis
