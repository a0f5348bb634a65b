#pragma once
// The low-frequency figures data sheets quote for a reference or a front end,
// of one channel of N samples at rate fs (codes c_i, gain g, microvolts
// through CodeToMicrovolt in double):
//
// - drift: the ordinary least-squares slope of uV_i against t_i = i / fs,
//   times 3600, in uV per hour; defined for records of at least 30 s;
// - the overlapping Allan deviation of the samples taken as averages over
//   1/fs: with exact integer prefix sums S_0 = 0, S_j = c_0 + ... + c_{j-1},
//   for m = 1, 2, 4, ... while 4m <= N,
//     adev(m) = q sqrt( sum_{k=0}^{N-2m} (S_{k+2m} - 2 S_{k+m} + S_k)^2
//                       / (2 m^2 (N - 2m + 1)) ),
//   q = 2 500 000 / (2 147 483 647 g) uV per code, tau = m / fs; the second
//   differences are taken in integers, squared and summed in double;
// - the 0.1-10 Hz band-limited noise, defined when fs >= 49.96 sps and the
//   record is long enough: y_i = uV_i - mean(uV); y filtered from a zero state
//   by a 2nd-order Butterworth high-pass at 0.1 Hz, then a 4th-order
//   Butterworth low-pass at 10 Hz, both digital, designed by the bilinear
//   transform with the cut-off pre-warped (scipy.signal.butter(2, 0.1,
//   'highpass', fs=fs) and butter(4, 10, fs=fs)) and run causally as
//   second-order sections; the first round(20 fs) filtered samples are dropped
//   (the high-pass settles), the rest cut into M consecutive intervals of
//   round(10 fs) samples (an incomplete last one dropped); defined when
//   M >= 1. pp_median is the median over the intervals of (max - min) (the
//   mean of the two middle ones for an even M), pp_max their maximum, rms the
//   root mean square of the kept filtered samples.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace mirantos::analysis {

// The band's edges and the settling and interval lengths, in Hz and seconds.
inline constexpr double kLfLowHz = 0.1;
inline constexpr double kLfHighHz = 10.0;
inline constexpr double kLfMinRateSps = 49.96;
inline constexpr double kLfSettleSeconds = 20.0;
inline constexpr double kLfIntervalSeconds = 10.0;

struct TAllanPoint {
    int64_t m = 0;
    double tauS = 0;
    double adevUv = 0;
    int64_t terms = 0; // N - 2m + 1
};

// One second-order section, b0 b1 b2 over 1 a1 a2 (a0 normalised to 1).
struct TBiquad {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
};

struct TLowFrequencyNoise {
    int64_t intervals = 0; // M
    double ppUvMedian = 0;
    double ppUvMax = 0;
    double rmsUv = 0;
    // The filtered samples kept (after settling, whole intervals only), from
    // sample index firstKept on, and each interval's peak-to-peak.
    int64_t firstKept = 0;
    int64_t intervalSamples = 0;
    std::vector<double> keptUv;
    std::vector<double> intervalPpUv;
};

struct TLowFrequencyFigures {
    // Absent for a record shorter than the 0.1-10 Hz figure needs (30 s), with
    // that reason in slopeReason: over a few seconds the noise swamps any drift
    // and the slope, scaled to an hour, reads as hundreds of uV/h.
    std::optional<double> slopeUvPerH;
    std::string slopeReason;
    std::vector<TAllanPoint> allan;
    // Absent when not defined, with the reason ("needs at least 49.96 sps",
    // "needs at least 30 s of samples").
    std::optional<TLowFrequencyNoise> lf;
    std::string lfReason;
};

// The sections of the 0.1 Hz high-pass (one) and the 10 Hz low-pass (two) at fs.
std::vector<TBiquad> LowFrequencySections(double rateSps);

double DriftUvPerHour(std::span<const uint32_t> codes, double rateSps, int32_t gain);
std::vector<TAllanPoint> AllanDeviation(std::span<const uint32_t> codes, double rateSps,
                                        int32_t gain);
// Empty when the band-limited noise is defined for that many samples at that
// rate, else the reason: one of these two.
inline constexpr char kLfReasonRate[] = "needs at least 49.96 sps";
inline constexpr char kLfReasonLength[] = "needs at least 30 s of samples";
std::string LowFrequencyNoiseReason(int64_t samples, double rateSps);
// Empty when that many samples at that rate are long enough for a drift
// figure (the length the 0.1-10 Hz figure needs, at any rate), else
// kLfReasonLength.
std::string DriftReason(int64_t samples, double rateSps);
// The band-limited noise, or the reason it is not defined in `reason`.
std::optional<TLowFrequencyNoise> LowFrequencyNoise(std::span<const uint32_t> codes, double rateSps,
                                                    int32_t gain, std::string* reason);

// All three.
TLowFrequencyFigures ComputeLowFrequency(std::span<const uint32_t> codes, double rateSps,
                                         int32_t gain);

} // namespace mirantos::analysis
