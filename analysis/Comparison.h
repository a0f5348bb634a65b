#pragma once
// Several analysed runs side by side: each run's settings and figures, and the
// difference of the 2nd, 3rd ... run to the first (the reference):
//   rms and pp in %    100 (x_i / x_0 - 1)
//   rms and pp in dB   20 log10(x_i / x_0)      (amplitudes)
//   nsd median in dB   20 log10(nsd_i / nsd_0)  (an amplitude density)
//   resolution         bits_i - bits_0          (effective and noise-free)
// rms and pp in microvolts; a ratio with a zero reference is not a number
// and stays absent. Runs taken at another rate or through another filter
// hold noise of another bandwidth (0 to fs/2, shaped by the filter): their
// rms and pp differ for that alone, and the difference says so. Pure C++; no Qt.

#include "LowFrequency.h"
#include "NoiseAnalysis.h"
#include "SineAnalysis.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mirantos::analysis {

inline constexpr int kMaxComparedRuns = 8;

struct TRunSettings {
    int32_t rateIndex = 0;
    bool sinc5 = true;
    int32_t chSel = 0;   // the channels the file holds
    int32_t channel = 0; // the channel analysed
    int64_t samples = 0;
    std::string board;       // "MIRANTOS 1.10", empty when the file has none
    std::string startUtc;    // empty when the file has none
    bool simulated = false;  // a capture from the simulated board
    bool filterKnown = true; // false: codes from elsewhere, their filter not told
};

struct TRunFigures {
    std::string label; // --label or the file's base name
    std::string path;
    TRunSettings settings;
    TNoiseFigures noise;
    TLowFrequencyFigures low;
    // The sine-wave test when asked for (--sine), figures or the reason there are none.
    std::optional<TSineResult> sine;
};

struct TDifference {
    std::optional<double> rmsPct, rmsDb;
    std::optional<double> ppPct, ppDb;
    std::optional<double> nsdMedianDb;
    double effectiveBits = 0;
    double noiseFreeBits = 0;
    // Another rate (fs/2) or, where both are known, another filter than the reference's.
    bool bandwidthDiffers = false;
};

// "0-500 Hz sinc3": the band a run's noise was taken over, 0 to fs/2, and its
// filter when known.
std::string BandwidthText(const TRunFigures& run);

// One entry per run after the first, in order.
std::vector<TDifference> DifferencesToFirst(const std::vector<TRunFigures>& runs);

} // namespace mirantos::analysis
