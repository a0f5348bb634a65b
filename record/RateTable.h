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
    float sinc5Sps;  // Sinc5+Sinc1
    float sinc5PeriodUs;
    float sinc3Sps; // Sinc3
    float sinc3PeriodUs;
};

inline constexpr int kRateCount = kRateItemCount;

inline constexpr std::array<RateEntry, kRateCount> kRateTable = {{
    {20, 5.0f, 200000.0f, 5.0f, 200000.0f},
    {19, 10.0f, 100000.0f, 10.0f, 100000.0f},
    {18, 16.66f, 60024.008f, 16.67f, 59988.004f},
    {17, 20.0f, 50000.0f, 20.0f, 50000.0f},
    {16, 49.96f, 20016.014f, 50.0f, 20000.0f},
    {15, 59.92f, 16688.918f, 60.0f, 16666.666f},
    {14, 100.0f, 10000.0f, 100.0f, 10000.0f},
    {13, 200.0f, 5000.0f, 200.0f, 5000.0f},
    {12, 397.5f, 2515.7234f, 400.0f, 2500.0f},
    {11, 500.0f, 2000.0f, 500.0f, 2000.0f},
    {10, 1000.0f, 1000.0f, 1000.0f, 1000.0f},
    {9, 2500.0f, 400.0f, 2500.0f, 400.0f},
    {8, 5000.0f, 200.0f, 5000.0f, 200.0f},
    {7, 10000.0f, 100.0f, 10000.0f, 100.0f},
}};

static_assert(kRateTable.size() == kRateItems.size(), "one rate per list item");
static_assert(kRateTable[0].sinc5Sps == 5.0f && kRateTable[kRateCount - 1].sinc3Sps == 10000.0f,
              "the list runs from 5 sps to 10 ksps");

// Samples per second for a rate index and filter; 0 for an index outside the table.
inline constexpr float RateSps(int index, bool sinc5)
{
    if (index < 0 || index >= kRateCount)
        return 0.0f;
    const RateEntry& e = kRateTable[static_cast<size_t>(index)];
    return sinc5 ? e.sinc5Sps : e.sinc3Sps;
}

} // namespace mirantos
