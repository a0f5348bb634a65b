#pragma once
// Axis ticks of the trace viewer, pure geometry: "nice" steps of 1, 2 or 5
// times a power of ten, at least `minSpacing` pixels apart, each tick with
// its value and its pixel within the plot (x from the plot's left edge, y
// from its top). Labels are the value with `decimals` decimals, the fewest
// that tell the step's multiples apart.

#include "TraceView.h"

#include <cstdint>
#include <vector>

namespace mirantos::trace {

struct TTick {
    double pos = 0; // pixel, fractional
    double value = 0;
    bool operator==(const TTick&) const = default;
};

struct TTicks {
    double step = 0;
    int decimals = 0;
    std::vector<TTick> ticks;
};

// The least 1/2/5 x 10^k at or above `raw` (> 0); at least `floor`.
double NiceStep(double raw, double floor = 0);
// Decimals that show every multiple of a nice step exactly (0 for steps >= 1).
int StepDecimals(double step);

// Column position of time t seconds (sample t * rate): ColumnOfSample
// continued between samples, so a tick at ceil(pos) is the column the
// renderer draws that sample in. ColumnToTime is its inverse.
double TimeToColumn(const TViewX& v, double rateSps, double seconds);
double ColumnToTime(const TViewX& v, double rateSps, double x);

// The time axis of the view's width columns.
TTicks TimeTicks(const TViewX& v, double rateSps, int minSpacing);
// The Y axis in codes (steps of whole codes) or in microvolts.
TTicks CodeTicks(const TViewY& v, int minSpacing);
TTicks MicrovoltTicks(const TViewY& v, int32_t gain, int minSpacing);

} // namespace mirantos::trace
