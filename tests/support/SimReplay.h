#pragma once
// The simulated board replayed on its own, for tests that hold what the
// program wrote against what the board sent.

#include "Ad7177.h"
#include "BoardFactory.h"
#include "SimBoard.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace simtest {

// The records the board of `seed` sends for `start` after the commands
// `before` (each given its time and purged, as the program does), read
// straight from the driver: a two-channel start fills both vectors, a
// one-channel start only `ch0`. Earlier runs produce nothing here; only
// their number counts.
inline void Replay(uint64_t seed, const std::vector<std::string>& before, const std::string& start,
                   int64_t records, std::vector<uint32_t>& ch0, std::vector<uint32_t>& ch1)
{
    auto clock = std::make_shared<mirantos::ManualClock>();
    mirantos::SimConfig config;
    config.seed = seed;
    config.clock = clock;
    auto board = mirantos::MakeSimDriver(config);
    FT_HANDLE h = nullptr;
    ASSERT_EQ(board->Open(0, &h), FT_OK);
    uint32_t done = 0;
    for (const std::string& c : before) {
        const std::string line = c + "\r";
        board->Write(h, line.data(), static_cast<uint32_t>(line.size()), &done);
        clock->AdvanceUs(10000);
        board->Purge(h, FT_PURGE_RX | FT_PURGE_TX);
    }
    const std::string a = start + "\r";
    board->Write(h, a.data(), static_cast<uint32_t>(a.size()), &done);
    clock->AdvanceSeconds(1e6);
    const bool dual = start[1] == '2';
    const int size = dual ? 17 : 9;
    std::vector<uint8_t> bytes(static_cast<size_t>(size) * 10000);
    for (int64_t k = 0; k < records;) {
        const auto n = static_cast<int32_t>(std::min<int64_t>(10000, records - k));
        uint32_t got = 0;
        ASSERT_EQ(board->Read(h, bytes.data(), static_cast<uint32_t>(n * size), &got), FT_OK);
        ASSERT_EQ(got, static_cast<uint32_t>(n * size));
        for (int32_t i = 0; i < n; ++i) {
            const uint8_t* rec = bytes.data() + static_cast<size_t>(i) * size;
            ch0.push_back(HexToCode(rec));
            if (dual)
                ch1.push_back(HexToCode(rec + 8));
        }
        k += n;
    }
}

} // namespace simtest
