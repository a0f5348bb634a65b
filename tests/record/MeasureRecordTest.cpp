#include "MeasureRecord.h"
#include "Tables.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

// The record is large (four 10010-element arrays); keep it off the stack.
std::unique_ptr<TMeasureRecord> MakeRecord()
{
    return std::make_unique<TMeasureRecord>();
}

void Fill(TChannelData& ch, const std::vector<uint32_t>& codes)
{
    for (size_t i = 0; i < codes.size(); ++i) {
        ch.Code[i] = codes[i];
    }
}

// Sets CH0 as the finished data set and runs the completion sequence's computations.
void CompleteCh0(TMeasureRecord& r, const std::vector<uint32_t>& codes)
{
    r.Setting.CHSel = 0;
    Fill(r.Ch0, codes);
    r.MarkComplete(static_cast<int32_t>(codes.size()));
    r.ConvertToVolt();
    r.ComputeCodeStatistics();
    r.ComputeVoltStatistics();
}

// ---------------------------------------------------------------- conversion

TEST(CodeToMicrovolt, FullScaleEndsAndZero)
{
    EXPECT_EQ(CodeToMicrovolt(0xFFFFFFFFu, 1), 2500000.0);
    EXPECT_EQ(CodeToMicrovolt(0x80000000u, 1), 0.0);
    EXPECT_NEAR(CodeToMicrovolt(0u, 1), -2500000.0012, 1e-4);
    EXPECT_DOUBLE_EQ(CodeToMicrovolt(0u, 1), -2500000.0 - 2500000.0 / 2147483647.0);
    EXPECT_LT(CodeToMicrovolt(0u, 1), -2500000.0);
    EXPECT_EQ(static_cast<float>(CodeToMicrovolt(0u, 1)), -2500000.0f);
}

TEST(CodeToMicrovolt, GainDividesFullScaleAsInteger)
{
    // 2500000 div 3 = 833333 (integer division), not 833333.33.
    EXPECT_EQ(CodeToMicrovolt(0xFFFFFFFFu, 3), 833333.0);
    EXPECT_EQ(CodeToMicrovolt(0xFFFFFFFFu, 2), 1250000.0);
}

TEST(CodeToMicrovolt, OneCodeStep)
{
    EXPECT_NEAR(CodeToMicrovolt(0x80000001u, 1), 2500000.0 / 2147483647.0, 1e-15);
    EXPECT_NEAR(CodeToMicrovolt(0x7FFFFFFFu, 1), -2500000.0 / 2147483647.0, 1e-15);
}

TEST(CodeToMicrovolt, ZeroGainDoesNotTrap)
{
    EXPECT_EQ(CodeToMicrovolt(0xFFFFFFFFu, 0), 2500000.0);
}

TEST(RecordConversion, StoredVoltsAtFullScaleAndZero)
{
    auto r = MakeRecord();
    CompleteCh0(*r, {0xFFFFFFFFu, 0u, 0x80000000u});
    EXPECT_EQ(r->Ch0.Volt[0], 2500000.0f);
    EXPECT_EQ(r->Ch0.Volt[1], -2500000.0f);
    EXPECT_EQ(r->Ch0.Volt[2], 0.0f);
}

TEST(RecordConversion, ConvertToVoltSkipsChannelsWithoutFlag)
{
    auto r = MakeRecord();
    r->Setting.CHSel = 0;
    r->Ch0.Code[0] = 0xFFFFFFFFu;
    r->Ch1.Code[0] = 0xFFFFFFFFu;
    r->Ch1.Volt[0] = 7.0f;
    r->MarkComplete(1);
    r->ConvertToVolt();
    EXPECT_EQ(r->Ch0.Volt[0], 2500000.0f);
    EXPECT_EQ(r->Ch1.Volt[0], 7.0f);
}

TEST(RecordConversion, RangeFollowsChannelSelectionWhileCountIsZero)
{
    auto r = MakeRecord();
    r->Setting.CHSel = 1;
    for (int i = 0; i < 5; ++i) {
        r->Ch0.Code[i] = 0xFFFFFFFFu;
        r->Ch1.Code[i] = 0xFFFFFFFFu;
        r->Ch0.Volt[i] = -1.0f;
        r->Ch1.Volt[i] = -1.0f;
    }
    r->ConvertRangeToVolt(1, 3);
    EXPECT_EQ(r->Ch1.Volt[0], -1.0f);
    EXPECT_EQ(r->Ch1.Volt[1], 2500000.0f);
    EXPECT_EQ(r->Ch1.Volt[3], 2500000.0f);
    EXPECT_EQ(r->Ch1.Volt[4], -1.0f);
    EXPECT_EQ(r->Ch0.Volt[2], -1.0f);
}

TEST(RecordConversion, RangeIsClampedToStorage)
{
    auto r = MakeRecord();
    r->Setting.CHSel = 2;
    r->ConvertRangeToVolt(-5, CHANNEL_CAPACITY + 100); // must not write outside the arrays
    EXPECT_EQ(r->Ch0.Volt[CHANNEL_CAPACITY - 1], -2500000.0f);
}

// ---------------------------------------------------------------- code statistics

TEST(CodeStatistics, PopulationSigmaDividesByN)
{
    auto r = MakeRecord();
    CompleteCh0(*r, {0x80000000u, 0x80000002u});
    EXPECT_EQ(r->Ch0MeanCode, 0x80000001u);
    EXPECT_EQ(r->Ch0SigmaCode, 1.0f);
}

TEST(CodeStatistics, MeanTruncatesTowardZero)
{
    // Nine codes of 2147483649 and one of 2147483648 average 2147483648.9.
    auto r = MakeRecord();
    std::vector<uint32_t> codes(10, 2147483649u);
    codes[0] = 2147483648u;
    CompleteCh0(*r, codes);
    EXPECT_EQ(r->Ch0MeanCode, 2147483648u);
}

TEST(CodeStatistics, EqualSamplesGiveZeroSigma)
{
    auto r = MakeRecord();
    CompleteCh0(*r, std::vector<uint32_t>(10, 0xDEADBEEFu));
    EXPECT_EQ(r->Ch0MeanCode, 0xDEADBEEFu);
    EXPECT_EQ(r->Ch0SigmaCode, 0.0f);
    EXPECT_EQ(r->Ch0SigmaVolt, 0.0f);
}

TEST(CodeStatistics, ExtremeSpreadDoesNotOverflow)
{
    // Deviation 3865470566 squared exceeds the signed 64-bit range.
    auto r = MakeRecord();
    std::vector<uint32_t> codes(10, 0u);
    codes[9] = 4294967295u;
    CompleteCh0(*r, codes);
    EXPECT_EQ(r->Ch0MeanCode, 429496729u);
    EXPECT_EQ(r->Ch0SigmaCode, 1288490240.0f);
}

TEST(CodeStatistics, FullScaleHalfAndHalf)
{
    auto r = MakeRecord();
    CompleteCh0(*r, {0u, 4294967295u});
    EXPECT_EQ(r->Ch0MeanCode, 2147483647u);
    EXPECT_FLOAT_EQ(r->Ch0SigmaCode, 2147483647.5f);
}

TEST(CodeStatistics, ChannelWithZeroCountKeepsFigures)
{
    auto r = MakeRecord();
    r->Setting.CHSel = 2;
    Fill(r->Ch0, {100, 102});
    Fill(r->Ch1, {200, 200});
    r->MarkComplete(2);
    r->ConvertToVolt();
    r->ComputeCodeStatistics();
    r->ComputeVoltStatistics();
    const float ch1Sigma = r->Ch1SigmaCode;
    const float ch1MeanVolt = r->Ch1MeanVolt;
    EXPECT_EQ(r->Ch1MeanCode, 200u);

    r->Setting.CHSel = 0;
    Fill(r->Ch0, {10, 30});
    Fill(r->Ch1, {5, 9});
    r->MarkComplete(2);
    r->ConvertToVolt();
    r->ComputeCodeStatistics();
    r->ComputeVoltStatistics();
    EXPECT_EQ(r->Ch0MeanCode, 20u);
    EXPECT_EQ(r->Ch0SigmaCode, 10.0f);
    EXPECT_EQ(r->Ch1MeanCode, 200u);
    EXPECT_EQ(r->Ch1SigmaCode, ch1Sigma);
    EXPECT_EQ(r->Ch1MeanVolt, ch1MeanVolt);
}

// ---------------------------------------------------------------- microvolt statistics

TEST(VoltStatistics, IdenticalSamplesNearFullScaleHaveZeroSigma)
{
    // A float running sum drifts by about a millivolt per add at this level.
    auto r = MakeRecord();
    r->Setting.CHSel = 0;
    for (int i = 0; i < 40; ++i) {
        r->Ch0.Volt[i] = 2498874.0f;
        r->Ch0.Code[i] = 0x80000000u;
    }
    r->MarkComplete(40);
    r->ComputeCodeStatistics();
    r->ComputeVoltStatistics();
    EXPECT_EQ(r->Ch0MeanVolt, 2498874.0f);
    EXPECT_EQ(r->Ch0SigmaVolt, 0.0f);
    EXPECT_EQ(r->Ch0SigmaCode, 0.0f);
}

TEST(VoltStatistics, EqualCodesAtAnyLevelGiveZeroSigmaInBothUnits)
{
    for (uint32_t code : {0u, 0x12345678u, 0x80000000u, 0xF5C28F5Cu, 0xFFFFFFFFu}) {
        auto r = MakeRecord();
        CompleteCh0(*r, std::vector<uint32_t>(10000, code));
        EXPECT_EQ(r->Ch0SigmaCode, 0.0f) << code;
        EXPECT_EQ(r->Ch0SigmaVolt, 0.0f) << code;
        EXPECT_EQ(r->Ch0MeanVolt, static_cast<float>(CodeToMicrovolt(code, 1))) << code;
    }
}

TEST(VoltStatistics, SigmaAgreesWithCodeSigmaAtTwoPointFourVolts)
{
    auto r = MakeRecord();
    const auto base = static_cast<uint32_t>(2147483648.0 + 2.4e6 / 2.5e6 * 2147483647.0);
    std::vector<uint32_t> codes(10000);
    uint32_t lcg = 12345;
    for (auto& c : codes) {
        lcg = lcg * 1103515245u + 12345u;
        c = base + (lcg >> 16) % 401u; // a few hundred codes of noise, ~0.2 uV
    }
    CompleteCh0(*r, codes);
    const double lsb = 2500000.0 / 2147483647.0;
    const double expected = static_cast<double>(r->Ch0SigmaCode) * lsb;
    // Volt values are float32 near 2.4e6 uV: each carries up to 0.125 uV of rounding.
    EXPECT_NEAR(r->Ch0SigmaVolt, expected, 0.125 / std::sqrt(3.0) + 0.01);
    EXPECT_NEAR(r->Ch0MeanVolt, 2.4e6 + 200 * lsb, 0.25);
}

TEST(VoltStatistics, MeanAndSigmaOfKnownValues)
{
    auto r = MakeRecord();
    r->Setting.CHSel = 1;
    r->Ch1.Volt[0] = -3.0f;
    r->Ch1.Volt[1] = 1.0f;
    r->Ch1.Code[0] = 0;
    r->Ch1.Code[1] = 0;
    r->MarkComplete(2);
    r->ComputeVoltStatistics();
    EXPECT_EQ(r->Ch1MeanVolt, -1.0f);
    EXPECT_EQ(r->Ch1SigmaVolt, 2.0f);
}

// ---------------------------------------------------------------- flags and lifecycle

TEST(RecordLifecycle, StartsEmptyWithOwnStorage)
{
    auto r = MakeRecord();
    EXPECT_FALSE(r->HasData());
    EXPECT_EQ(r->Ch0.Count, 0);
    EXPECT_EQ(r->Ch1.Count, 0);
    ASSERT_NE(r->Ch0.Code, nullptr);
    ASSERT_NE(r->Ch1.Volt, nullptr);
    EXPECT_NE(r->Ch0.Code, r->Ch1.Code);
    EXPECT_EQ(r->Setting.spsSel, 1);
    EXPECT_EQ(r->Setting.DataCountSel, 3);
    EXPECT_EQ(r->Setting.Gain, 1);
    // Each of the four arrays holds the whole capacity on its own: the first
    // and last places of every one keep what was written there.
    constexpr int kLast = CHANNEL_CAPACITY - 1;
    uint32_t* codes[] = {r->Ch0.Code, r->Ch1.Code};
    float* volts[] = {r->Ch0.Volt, r->Ch1.Volt};
    for (uint32_t i = 0; i < 2; ++i) {
        codes[i][0] = 10 + i;
        codes[i][kLast] = 20 + i;
        volts[i][0] = 30.0f + static_cast<float>(i);
        volts[i][kLast] = 40.0f + static_cast<float>(i);
    }
    for (uint32_t i = 0; i < 2; ++i) {
        EXPECT_EQ(codes[i][0], 10 + i) << i;
        EXPECT_EQ(codes[i][kLast], 20 + i) << i;
        EXPECT_EQ(volts[i][0], 30.0f + static_cast<float>(i)) << i;
        EXPECT_EQ(volts[i][kLast], 40.0f + static_cast<float>(i)) << i;
    }
}

TEST(RecordLifecycle, MarkCompleteFollowsChannelSelection)
{
    auto r = MakeRecord();
    r->Setting.CHSel = 2;
    r->MarkComplete(1000);
    EXPECT_EQ(r->fCh0Valid, 1);
    EXPECT_EQ(r->fCh1Valid, 1);
    EXPECT_EQ(r->Ch0.Count, 1000);
    EXPECT_EQ(r->Ch1.Count, 1000);

    r->Setting.CHSel = 1;
    r->MarkComplete(500);
    EXPECT_EQ(r->fCh0Valid, 0);
    EXPECT_EQ(r->Ch0.Count, 0);
    EXPECT_EQ(r->fCh1Valid, 1);
    EXPECT_EQ(r->Ch1.Count, 500);

    r->Setting.CHSel = 0;
    r->MarkComplete(10);
    EXPECT_EQ(r->fCh0Valid, 1);
    EXPECT_EQ(r->Ch0.Count, 10);
    EXPECT_EQ(r->fCh1Valid, 0);
    EXPECT_EQ(r->Ch1.Count, 0);
}

TEST(RecordLifecycle, MarkCompleteNeverExceedsCapacity)
{
    auto r = MakeRecord();
    r->Setting.CHSel = 2;
    r->MarkComplete(CHANNEL_CAPACITY + 1);
    EXPECT_EQ(r->Ch0.Count, CHANNEL_CAPACITY);
    r->Setting.CHSel = 7;
    r->MarkComplete(10);
    EXPECT_FALSE(r->HasData());
}

TEST(RecordLifecycle, UsableCountStaysInsideTheStorage)
{
    uint32_t code[1] = {};
    EXPECT_EQ(UsableCount(TChannelData{5, code, nullptr}), 5);
    EXPECT_EQ(UsableCount(TChannelData{-3, code, nullptr}), 0);
    EXPECT_EQ(UsableCount(TChannelData{CHANNEL_CAPACITY + 1, code, nullptr}), CHANNEL_CAPACITY);
    EXPECT_EQ(UsableCount(TChannelData{5, nullptr, nullptr}), 0);
}

TEST(RecordLifecycle, ClearDropsFlagsAndCountsButKeepsStatistics)
{
    auto r = MakeRecord();
    CompleteCh0(*r, {1, 3});
    r->Clear();
    EXPECT_FALSE(r->HasData());
    EXPECT_EQ(r->Ch0.Count, 0);
    EXPECT_EQ(r->Ch0MeanCode, 2u);
    EXPECT_EQ(r->Ch0SigmaCode, 1.0f);
}

TEST(RecordLifecycle, ResetPointersRestoresOwnArrays)
{
    auto r = MakeRecord();
    uint32_t* own = r->Ch0.Code;
    uint32_t other[4] = {};
    r->Ch0.Code = other;
    r->ResetPointers();
    EXPECT_EQ(r->Ch0.Code, own);
}

TEST(Tables, SettingsInRange)
{
    TAdcSetting s;
    EXPECT_TRUE(mirantos::SettingsInRange(s));
    s.spsSel = 13;
    s.DataCountSel = 6;
    s.CHSel = 2;
    EXPECT_TRUE(mirantos::SettingsInRange(s));
    s.spsSel = 14;
    EXPECT_FALSE(mirantos::SettingsInRange(s));
    s.spsSel = 0;
    s.DataCountSel = -1;
    EXPECT_FALSE(mirantos::SettingsInRange(s));
    s.DataCountSel = 0;
    s.CHSel = 3;
    EXPECT_FALSE(mirantos::SettingsInRange(s));
}

TEST(Tables, EveryTargetIsAMultipleOfEveryReadSize)
{
    for (int32_t count : mirantos::kCountValues) {
        for (int per : mirantos::kSamplesPerRead) {
            EXPECT_EQ(count % per, 0) << count << " " << per;
        }
    }
}

} // namespace
