#pragma once
// The record a trace viewer shows: one or two channels of exact converter
// codes, each with its min/max pyramid, and what the picture needs to label
// them (rate, gain, file name, start time, board). Built from a data file that was
// read whole, or grown sample by sample while a capture runs.

#include "MinMaxPyramid.h"
#include "SampleFile.h"

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace mirantos::trace {

class TTraceData {
public:
    TTraceData() = default;
    // The channels chSel names (0 CH0, 1 CH1, 2 both), empty, for Append.
    TTraceData(int32_t chSel, double rateSps, int32_t gain, std::string fileName,
               std::string startUtc);
    // A file's samples (moved in).
    TTraceData(TSampleSet&& samples, std::string fileName);

    // The board that recorded them, for a record built sample by sample (a capture's).
    void SetBoard(std::string board, bool simulated)
    {
        board_ = std::move(board);
        simulated_ = simulated;
    }

    // n more samples per held channel; a channel not held ignores its pointer.
    void Append(const uint32_t* c0, const uint32_t* c1, int64_t n);

    bool Empty() const { return !held_[0] && !held_[1]; }
    bool Holds(int channel) const { return channel >= 0 && channel < 2 && held_[channel]; }
    // The one pyramid of `channel` (empty when not held).
    const TMinMaxPyramid& Channel(int channel) const { return pyramids_[channel & 1]; }
    // Samples per channel (the held channels have the same count).
    int64_t Samples() const;
    int32_t ChSel() const { return chSel_; }
    double RateSps() const { return rateSps_; }
    int32_t Gain() const { return gain_; }
    const std::string& FileName() const { return fileName_; }
    const std::string& StartUtc() const { return startUtc_; }
    // The board's name and version ("MIRANTOS 1.10"), empty when unknown.
    const std::string& Board() const { return board_; }
    bool Simulated() const { return simulated_; }

private:
    int32_t chSel_ = 0;
    double rateSps_ = 0;
    int32_t gain_ = 1;
    std::string fileName_;
    std::string startUtc_;
    std::string board_;
    bool simulated_ = false;
    std::array<bool, 2> held_{false, false};
    std::array<TMinMaxPyramid, 2> pyramids_;
};

// Seconds from the record's start of sample i (the sample's own instant).
double SampleSeconds(int64_t i, double rateSps);
// The number readouts give sample i: counted from 1, as the file's index
// column and the main window's graph count.
inline int64_t SampleNumber(int64_t i)
{
    return i + 1;
}

} // namespace mirantos::trace
