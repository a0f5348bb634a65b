#pragma once
// How the trace viewer places its channels vertically, pure geometry:
//
// - Common: both channels on one code range (the plain view).
// - Lanes: each channel in a lane of its own, stacked top to bottom with
//   kLaneGap rows between them, each lane with its own range and Y axis, so
//   two channels at different offsets both show their noise.
// - Ac: both channels over the whole plot on one common scale of deviations
//   from each channel's mean over the visible span. The deviations are kept
//   as a code range about kAcBase (code 2^31 is 0 µV, so the microvolt axis
//   of that range is already the deviation in µV); a channel is drawn with
//   that range moved to its centre, the code nearest its mean.

#include "TraceView.h"

#include <cstdint>
#include <span>

namespace mirantos::trace {

enum class TYLayout { Common, Lanes, Ac };

inline constexpr int kLaneGap = 12;
inline constexpr uint32_t kAcBase = 0x80000000u;

// Rows top .. top + height - 1 of the plot.
struct TLane {
    int top = 0;
    int height = 1;
    bool operator==(const TLane&) const = default;
};

// Lane k (0-based) of `count` lanes in a plot `height` rows tall: equal
// heights, the rows a gap cannot split going to the last lane; at least 1 row.
TLane LaneOf(int height, int count, int k);
// The lane holding row y; rows in a gap or outside belong to the nearest lane.
int LaneAt(int height, int count, int y);

// Mean of the codes (0 for none), exact to double rounding: the sum is whole.
double MeanOf(std::span<const uint32_t> codes);
// The code nearest `mean` (ties up), saturated to the code range.
uint32_t AcCentre(double mean);

// One channel's visible extremes and its centre.
struct TAcChannel {
    uint32_t min = 0;
    uint32_t max = 0;
    uint32_t centre = 0;
};
// The common deviation range: from the least min - centre to the greatest
// max - centre over the channels, padded as AutoY pads, about kAcBase.
TViewY AcAutoY(std::span<const TAcChannel> channels, int height);
// The range a channel with `centre` is drawn in: `deviations` (about kAcBase)
// moved to centre, saturated at the code range's ends.
TViewY AcChannelY(const TViewY& deviations, uint32_t centre);

} // namespace mirantos::trace
