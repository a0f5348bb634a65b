#pragma once
// Process capability, control-chart limits, Western Electric rule breaks and
// yield: the numbers the dashboard and `results --spc` show. Pure arithmetic on
// values already in time order; no Qt, no database.

#include <optional>
#include <string>
#include <vector>

namespace mirantos::dashboard {

// Below this many values the capability indices are not given.
inline constexpr int kMinCapabilityRuns = 10;
// d2 for moving ranges of two, and D4 for the moving-range chart.
inline constexpr double kD2 = 1.128;
inline constexpr double kD4 = 3.267;

// An index, or why there is none.
struct TIndex {
    std::optional<double> value;
    std::string reason; // "" when value is set
};

struct TSpc {
    int n = 0;
    std::optional<double> low, high; // the limits the indices are taken against
    std::optional<double> mean, mrBar, sigmaWithin, sigmaOverall;
    // Both limits: cp, cpk, pp, ppk. One limit: cpu/ppu (upper) or cpl/ppl (lower).
    TIndex cp, cpk, pp, ppk, cpu, cpl, ppu, ppl;
    // Individuals chart: centre mean, mean ± 3 σ_within; MR chart: centre MR̄, upper 3.267 MR̄.
    std::optional<double> iCentre, iUpper, iLower, mrCentre, mrUpper;
    // Per value: the moving range (none for the first) and the Western Electric
    // rules it breaks (1..4), empty when none or without control limits.
    std::vector<std::optional<double>> movingRange;
    std::vector<std::vector<int>> rules;
};

// `x` in time order; `low`/`high` the lower and upper limits, either may be absent.
TSpc ComputeSpc(const std::vector<double>& x, std::optional<double> low,
                std::optional<double> high);

// Rules broken at each point, against centre and σ (σ > 0):
//  1  the point lies beyond 3σ;
//  2  it is the second of 2 (within the last 3) beyond 2σ on one side;
//  3  it is the fourth of 4 (within the last 5) beyond 1σ on one side;
//  4  it ends 8 in a row on one side of the centre.
// A point counts for rules 2 and 3 only when it lies beyond on that side itself.
std::vector<std::vector<int>> WesternElectric(const std::vector<double>& x, double centre,
                                              double sigma);

// One run for the yield: a serial's runs are taken in time order.
struct TYieldRun {
    std::string serial;
    std::string startedUtc; // ISO text: its order is time order
    bool pass = false;
};
struct TYield {
    int serials = 0;   // serials tested
    int firstPass = 0; // serials whose first run passed
    int finalPass = 0; // serials whose last run passed
    int runs = 0;
    std::optional<double> firstPassYield, finalYield; // fractions; none without serials
};
TYield ComputeYield(std::vector<TYieldRun> runs);

// The histogram of `x` over equal bins spanning the values and the limits:
// edges (bins + 1) and counts. About √n bins, 5 to 40.
struct THistogram {
    std::vector<double> edges;
    std::vector<int> counts;
};
THistogram ComputeHistogram(const std::vector<double>& x, std::optional<double> low,
                            std::optional<double> high);

} // namespace mirantos::dashboard
