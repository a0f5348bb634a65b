#pragma once
// A noise test's limits file: the test's name and version, the settings every
// board is measured with, and per channel limits on the figures `analyze`
// reports. Read with nlohmann-json; anything unknown or impossible is refused
// with the key's path ("limits.ch0.rms_uV.max: ..."), so a typo never turns a
// limit off silently. Pure C++; no Qt.

#include "NoiseAnalysis.h"
#include "SineAnalysis.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mirantos::station {

// A figure a limit may name, by analyze's JSON key ("lf_0p1_10Hz.*" dotted).
struct TFigureInfo {
    std::string_view name;
    bool needsLowFrequency; // defined only from 49.96 sps and 30 s of samples
    double lowest;          // the figure's possible range, for refusing impossible limits
    double highest;
    std::string_view unit; // as the windows write it ("µV", "digit", "bit", "nV/√Hz", "µV/h")
    std::string_view storedUnit; // as the database keeps it, ASCII ("uV", "codes", "bits", ...)
    bool needsSine = false; // a figure of the sine-wave test (a tone on the input, 1024 samples)
};
// rms_uV, pp_uV, rms_code, pp_code, mean_uV, mean_code, effective_bits,
// noise_free_bits, nsd_median_nV, band_rms_uV, slope_uV_per_h,
// lf_0p1_10Hz.pp_uV_median, lf_0p1_10Hz.pp_uV_max, lf_0p1_10Hz.rms_uV, and the sine-wave
// test's snr_dB, thd_dBc, sinad_dB, sfdr_dBc, enob_bits, enob_fs_bits.
const std::vector<TFigureInfo>& Figures();
const TFigureInfo* FindFigure(std::string_view name);

struct TLimit {
    std::string figure;
    std::optional<double> min;
    std::optional<double> max;
    // band_rms_uV only: its band; absent for 0 to fs/2.
    std::optional<double> bandLowHz, bandHighHz;
};

struct TTestSettings {
    bool sim = false;     // "board": "usb" (default) or "sim"
    uint64_t simSeed = 1; // "sim": {"seed", "flicker_nV", "drift_uV_per_h", "pickup_uV"}
    double simFlickerNv = 0;
    double simDriftUvPerH = 0;
    double simPickupUv = 0;
    // "sim": {"tone": "F:A[:HD2[:HD3]]"}: the simulated board's SimTone (off at 0 uV).
    double simToneHz = 0, simToneUv = 0, simToneHd2Dbc = -400, simToneHd3Dbc = -400;
    int rateIndex = 0;                   // "rate": a rate of the list ("1000") or its index 0..13
    bool sinc5 = true;                   // "filter": "sinc5" or "sinc3"
    int chSel = 0;                       // "channels": "ch0", "ch1" or "both"
    int32_t samples = 0;                 // per channel, 10..1048575
    analysis::TAnalysisOptions analysis; // "analysis": {"window", "segment", "bins"}
    // "analysis": {"sine": {"window", "side_bins", "harmonics", "tone_Hz"}}: the sine-wave
    // test's options, for limits on its figures.
    analysis::TSineOptions sine;
    bool sineGiven = false;

    double RateSps() const;
    // A count of the window's list: measured as a data set; else captured to a file.
    bool IsDataSet() const;
    // The settings as one JSON object (stored with each run).
    std::string Json() const;
};

struct TTestLimits {
    std::string name;
    std::string version;
    // "part_number", "lot": what a run records when the station names none ("" when absent).
    std::string partNumber, lot;
    TTestSettings settings;
    // Per channel (0, 1), in the file's order.
    std::array<std::vector<TLimit>, 2> channels;
    std::string content; // the file's bytes
    std::string sha256;  // of content, lower-case hex

    int LimitCount() const;
};

// Parses a limits file's content. False with `error` naming the key's path
// and what is wrong.
bool ParseLimits(std::string_view content, TTestLimits& out, std::string& error);
// Reads and parses a file; the error names the file.
bool ReadLimitsFile(const std::string& path, TTestLimits& out, std::string& error);

std::string Sha256Hex(std::string_view bytes);
// Of a file's content; empty with `error` when it cannot be read.
std::string Sha256OfFile(const std::string& path, std::string& error);

} // namespace mirantos::station
