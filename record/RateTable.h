#pragma once
// The converter's output data rates behind the rate index (0..13), per filter.
// The board firmware does the selecting; the program uses these numbers only
// where it models or reports timing (the simulated board, the tools, the
// noise analysis). One row per item of the rate list in Tables.h.

#include "Tables.h"

#include <array>
#include <cstdint>

namespace mirantos {

struct RateEntry {
    int32_t odrCode; // AD7177 output-data-rate code (20 minus the index)
    double sinc5Sps; // Sinc5+Sinc1; double, so 16.66 is 16.66 in the analysis
    float sinc5PeriodUs;
    double sinc3Sps; // Sinc3
    float sinc3PeriodUs;
};

inline constexpr int kRateCount = kRateItemCount;

inline constexpr std::array<RateEntry, kRateCount> kRateTable = {{
    {20, 5.0, 200000.0f, 5.0, 200000.0f},
    {19, 10.0, 100000.0f, 10.0, 100000.0f},
    {18, 16.66, 60024.008f, 16.67, 59988.004f},
    {17, 20.0, 50000.0f, 20.0, 50000.0f},
    {16, 49.96, 20016.014f, 50.0, 20000.0f},
    {15, 59.92, 16688.918f, 60.0, 16666.666f},
    {14, 100.0, 10000.0f, 100.0, 10000.0f},
    {13, 200.0, 5000.0f, 200.0, 5000.0f},
    {12, 397.5, 2515.7234f, 400.0, 2500.0f},
    {11, 500.0, 2000.0f, 500.0, 2000.0f},
    {10, 1000.0, 1000.0f, 1000.0, 1000.0f},
    {9, 2500.0, 400.0f, 2500.0, 400.0f},
    {8, 5000.0, 200.0f, 5000.0, 200.0f},
    {7, 10000.0, 100.0f, 10000.0, 100.0f},
}};

static_assert(kRateTable.size() == kRateItems.size(), "one rate per list item");
static_assert(kRateTable[0].sinc5Sps == 5.0 && kRateTable[kRateCount - 1].sinc3Sps == 10000.0,
              "the list runs from 5 sps to 10 ksps");

// Samples per second for a rate index and filter; 0 for an index outside the table.
inline constexpr double RateSps(int index, bool sinc5)
{
    if (index < 0 || index >= kRateCount)
        return 0.0;
    const RateEntry& e = kRateTable[static_cast<size_t>(index)];
    return sinc5 ? e.sinc5Sps : e.sinc3Sps;
}

// The rate a data set's settings describe (Sinc5+Sinc1 when fSinc5 is 1).
double SettingRateSps(const TAdcSetting& setting);

} // namespace mirantos
