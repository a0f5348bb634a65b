#pragma once
// How far a run is: the percent done and the seconds left at the board's
// rate, and a duration as text. The command line's progress line and the
// window's progress bar say the same.

#include <cstdint>
#include <string>

namespace mirantos {

struct TRunProgress {
    int percent = 0;           // whole percent, rounded down
    long long secondsLeft = 0; // rounded up, 0 for an unknown rate
};

TRunProgress RunProgressOf(int64_t received, int64_t target, double sps);

// Seconds as m:ss, or h:mm:ss from an hour on; negative counts as 0.
std::string DurationText(long long seconds);

} // namespace mirantos
