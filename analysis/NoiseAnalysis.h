#pragma once
// Noise figures of one channel of a data set: RMS and peak-to-peak noise in
// codes and microvolts, effective and noise-free resolution, the histogram of
// codes, and the noise spectral density by Welch's method. Everything is
// computed in double from the raw codes (microvolts through CodeToMicrovolt),
// never from the record's float32 microvolt array, which cannot hold
// sub-microvolt noise at volts of offset. Pure C++ and FFTW3; no Qt.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace mirantos::analysis {

inline constexpr int kMinSamples = 10;
inline constexpr int kDefaultBins = 100;
inline constexpr int kMaxBins = 1000;
inline constexpr int kMinSegment = 8;
// A density median from fewer Welch segments than this reads low (the median
// of a few averaged periodograms lies below their mean) and scatters from run
// to run; the reports say so beside it.
inline constexpr int kMinMedianSegments = 8;

enum class TWindow { BlackmanHarris, Hann, Rect };

// "blackman-harris", "hann", "rect": the names the command line and the files use.
std::string_view WindowName(TWindow w);
std::optional<TWindow> ParseWindow(std::string_view name);

// "F1:F2" in Hz, the band of the band rms as the command line and the window
// take it; false unless both are finite numbers. Its limits are CheckInput's.
bool ParseBand(std::string_view text, double& lowHz, double& highHz);

// The window's equivalent noise bandwidth in bins, L sum(w^2) / (sum w)^2
// (about 2.00 Blackman-Harris, 1.5 Hann, 1 rect); times fs / L it is the
// resolution bandwidth in Hz of a density taken with it.
double EnbwBins(TWindow window, int length);

struct TAnalysisOptions {
    int bins = kDefaultBins;
    int segment = 0; // 0: the default, DefaultSegment(N)
    TWindow window = TWindow::BlackmanHarris;
    // Both absent: 0 to fs/2.
    std::optional<double> bandLowHz;
    std::optional<double> bandHighHz;
};

struct THistogram {
    uint32_t firstCode = 0;
    // Up to 2^32 (one bin over the whole code range), hence 64 bits.
    uint64_t binWidth = 1;
    std::vector<uint64_t> counts;

    uint64_t BinFirst(size_t k) const { return firstCode + k * binWidth; }
    // The bin's last code, 4294967295 at most: the top bin of a full-range
    // histogram would otherwise name codes that cannot exist.
    uint64_t BinLast(size_t k) const;
};

struct TSpectrum {
    TWindow window = TWindow::BlackmanHarris;
    int segment = 0;  // L
    int segments = 0; // M
    double rateSps = 0;
    double dfHz = 0; // fs / L
    // One-sided power spectral density in uV^2/Hz, k = 0..floor(L/2).
    std::vector<double> psdUv2;
    // sqrt(psdUv2) in nV/sqrt(Hz), same k.
    std::vector<double> nsdNv;

    double FrequencyHz(size_t k) const;
};

struct TNoiseFigures {
    int64_t samples = 0;
    double rateSps = 0;
    int32_t gain = 1;

    double meanCode = 0;
    double rmsCode = 0;
    uint32_t minCode = 0;
    uint32_t maxCode = 0;
    uint32_t ppCode = 0;

    double meanUv = 0;
    double rmsUv = 0;
    double ppUv = 0;

    double effectiveBits = 32;
    double noiseFreeBits = 32;

    THistogram histogram;
    TSpectrum spectrum;
    double nsdMedianNv = 0;
    double bandLowHz = 0;
    double bandHighHz = 0;
    double bandRmsUv = 0;
};

// The largest power of two <= N/4, at least 8.
int DefaultSegment(int64_t samples);

// Empty when the input and options can be analysed, else an English message
// naming what is wrong ("--bins must lie in 1..1000, not 0"; the option names
// are the command line's, since that is where a person sets them).
std::string CheckInput(int64_t samples, double rateSps, int32_t gain, const TAnalysisOptions& o);

// Every figure. False (with the message of CheckInput) when the input does not fit.
bool Analyze(std::span<const uint32_t> codes, double rateSps, int32_t gain,
             const TAnalysisOptions& options, TNoiseFigures& out, std::string* error = nullptr);

// The pieces, for a view that recomputes only what a changed option touches.
// Preconditions as checked by CheckInput.
void ComputeLevelFigures(std::span<const uint32_t> codes, int32_t gain, TNoiseFigures& out);
// Microvolts of every sample less those of `lo`, the smallest code (`hi` the largest).
std::vector<double> OffsetMicrovolts(std::span<const uint32_t> codes, int32_t gain, uint32_t lo,
                                     uint32_t hi);
THistogram ComputeHistogram(std::span<const uint32_t> codes, int bins);
TSpectrum ComputeSpectrum(std::span<const uint32_t> codes, double rateSps, int32_t gain,
                          int segment, TWindow window);
double MedianNsd(const TSpectrum& s);
double BandRms(const TSpectrum& s, double lowHz, double highHz);

// Effective / noise-free bits from an rms or pp figure in codes: min(32, 32 - log2(x)), 32 at 0.
double ResolutionBits(double codes);

} // namespace mirantos::analysis
