#pragma once
// The samples of either kind of data file in one shape: a .DTA file read as
// the window's load command reads it, or a capture read whole. Captures are
// told by their first line (IsCaptureFile), never by the name.

#include <cstdint>
#include <string>
#include <vector>

namespace mirantos {

struct TSampleSet {
    bool capture = false;
    int32_t chSel = 0; // 0 CH0, 1 CH1, 2 both
    int32_t rateIndex = 0;
    bool sinc5 = true;
    double rateSps = 0;
    int32_t gain = 1;
    std::string startUtc;   // a capture's start, empty for a .DTA file
    std::string board;      // a capture's board name and version, empty for a .DTA file
    bool simulated = false; // a capture from the simulated board (a .DTA file cannot say)
    // Codes of the channels the file holds (the other one empty).
    std::vector<uint32_t> ch0;
    std::vector<uint32_t> ch1;
};

enum class TSampleLoad { Ok, CaptureError, DataFileError };

// A .DTA file carries no gain; it gets `dtaGain` (the board's). On either
// error `error` says which line and why; DataFileError is the window's
// "content not right" case, whose box text belongs to the caller. A capture cut
// short is read up to its last whole line, with a warning.
TSampleLoad ReadSampleFile(const std::string& path, int32_t dtaGain, TSampleSet& out,
                           std::vector<std::string>& warnings, std::string& error);

} // namespace mirantos
