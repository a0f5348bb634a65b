#pragma once
// What an intact 10 ksps two-channel run of the simulated board holds: the
// same board and seed on a manual clock (Sinc3), read to the end. The
// benchmarks that run the window in real time compare their data with it.

#include "Ad7177.h"
#include "BoardFactory.h"

#include <QObject>
#include <cstdint>
#include <memory>
#include <vector>

inline bool ReplaySimRun(uint64_t seed, int32_t samples, std::vector<uint32_t>& ch0,
                         std::vector<uint32_t>& ch1)
{
    constexpr int kRate = 13; // 10 ksps, 100 records a read
    auto clock = std::make_shared<mirantos::ManualClock>();
    clock->SetAutoStepUs(200);
    mirantos::SimConfig config;
    config.seed = seed;
    config.clock = clock;
    QObject owner;
    TADC adc(&owner, mirantos::MakeSimDriver(config));
    char text[11];
    if (!adc.Connect() || !adc.CheckBoard() || !adc.GetBoardName(text) || !adc.GetVersion(text) ||
        !adc.SetSinc3() || !adc.SetRate(kRate) || !adc.StartConversion(2, samples))
        return false;
    ch0.assign(static_cast<size_t>(samples), 0);
    ch1.assign(static_cast<size_t>(samples), 0);
    int32_t received = 0;
    while (received < samples) {
        clock->AdvanceUs(10000);
        int32_t converted = 0;
        if (!adc.ReadData2CH(ch0.data() + received, ch1.data() + received, 100, &converted))
            return false;
        received += converted;
    }
    return true;
}
