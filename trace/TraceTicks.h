#pragma once
// Axis ticks of the trace viewer, pure geometry: "nice" steps of 1, 2 or 5
// times a power of ten, at least `minSpacing` pixels apart, each tick with
// its value and its pixel within the plot (x from the plot's left edge, y
// from its top). Labels are the value with `decimals` decimals, the fewest
// that tell the step's multiples apart.

#include "TraceView.h"

#include <cstdint>
#include <string>
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

// How time labels read: seconds ("12.5"), minutes and seconds ("1:05",
// "1:05.5"), hours too ("2:03:04"), or the time of day ("09:05:00", wrapping
// at midnight).
enum class TTimeStyle { Seconds, MinSec, HourMinSec, Clock };
// The elapsed time's style for a view ending `lastSeconds` into the record:
// seconds below a minute, m:s below an hour, h:m:s beyond.
TTimeStyle ElapsedStyle(double lastSeconds);
// The least step at or above `raw` seconds that a clock reads well: 1/2/5 x
// 10^k below a second, then 1, 2, 5, 10, 15, 30 s, 1, 2, 5, 10, 15, 30 min,
// 1, 2, 3, 6, 12 h, then whole days.
double ClockStep(double raw);
// A time label in `style` with `decimals` decimals of the seconds.
std::string TimeLabel(double seconds, TTimeStyle style, int decimals);

// The time axis of the view's width columns. Tick values are origin + t (t
// seconds into the record; origin 0 for the elapsed time, the start's
// seconds since midnight for the time of day), at multiples of the step.
TTicks TimeTicks(const TViewX& v, double rateSps, int minSpacing,
                 TTimeStyle style = TTimeStyle::Seconds, double origin = 0);
// The Y axis in codes (steps of whole codes) or in microvolts. Code ticks are
// valued code - origin, at multiples of the step of that value.
TTicks CodeTicks(const TViewY& v, int minSpacing, double origin = 0);
TTicks MicrovoltTicks(const TViewY& v, int32_t gain, int minSpacing);

} // namespace mirantos::trace
