#pragma once
// The selection lists of the window and their meaning, written once for the
// window, the controller and the command-line tool.

#include <array>
#include <cstdint>
#include <string_view>

struct TAdcSetting;

namespace mirantos {

inline constexpr int kRateItemCount = 14;
inline constexpr int kCountItemCount = 7;
inline constexpr int kChannelItemCount = 3;

// UTF-8 list texts, indexed by spsSel / DataCountSel / CHSel.
inline constexpr std::array<std::string_view, kRateItemCount> kRateItems = {
    "5sps",   "10sps",  "16.66 / 16.67sps", "20sps",  "49.96 / 50sps", "59.92 / 60sps",
    "100sps", "200sps", "397.5 /400sps",    "500sps", "1ksps",         "2.5ksps",
    "5ksps",  "10ksps"};
inline constexpr std::array<int, kRateItemCount> kSamplesPerRead = {1, 1, 1, 1,  1,  1,  1,
                                                                    2, 4, 5, 10, 20, 50, 100};
inline constexpr std::array<std::string_view, kCountItemCount> kCountItems = {
    "100", "200", "500", "1000", "2000", "5000", "10000"};
inline constexpr std::array<int32_t, kCountItemCount> kCountValues = {100,  200,  500,  1000,
                                                                      2000, 5000, 10000};
inline constexpr std::array<std::string_view, kChannelItemCount> kChannelItems = {
    "CH0 (Ain0-Ain1)", "CH1 (Ain2-Ain3)", "CH0 + CH1"};

inline constexpr int kDefaultRateIndex = 1;
inline constexpr int kDefaultCountIndex = 3;
inline constexpr int kDefaultChannelIndex = 0;

// Live drawing only for slow, long runs: up to 100 sps and at least 1000 samples.
inline constexpr int kLiveBlock = 100;
inline constexpr int kLiveMaxRateIndex = 6;
inline constexpr int kLiveMinCountIndex = 3;
// A stopped run keeps its samples only from this many on.
inline constexpr int kMinKeptSamples = 10;
// The most records one poll asks for (the 10 ksps row of kSamplesPerRead).
inline constexpr int kMaxSamplesPerRead = 100;
// The board's start command carries the count in five hexadecimal digits; a
// capture streamed to disk may ask for any count from kMinCaptureCount up to that.
inline constexpr int32_t kBoardMaxCount = 0xFFFFF;
inline constexpr int32_t kMinCaptureCount = 10;

inline constexpr bool ValidRateIndex(int i)
{
    return i >= 0 && i < kRateItemCount;
}
inline constexpr bool ValidCountIndex(int i)
{
    return i >= 0 && i < kCountItemCount;
}
inline constexpr bool ValidChannelIndex(int i)
{
    return i >= 0 && i < kChannelItemCount;
}

// Records per poll for a rate index (1 for an index outside the table).
inline constexpr int SamplesPerRead(int spsSel)
{
    return ValidRateIndex(spsSel) ? kSamplesPerRead[static_cast<size_t>(spsSel)] : 1;
}

// The channel whose readout a data set shows first: CH1 for a CH1 set, else CH0.
inline constexpr int ReadoutChannel(int chSel)
{
    return chSel == 1 ? 1 : 0;
}
// Whether a data set of that channel selection holds channel 0 or 1.
inline constexpr bool HoldsChannel(int chSel, int channel)
{
    return channel == 0 ? chSel != 1 : chSel != 0;
}

// True when spsSel, DataCountSel and CHSel all lie inside their lists.
bool SettingsInRange(const TAdcSetting& s);

// A rate of the list by its text (blanks optional, so "16.66/16.67sps" works
// too) or by its index 0..13, as the command line and the limits files take it.
bool ParseRateText(std::string_view text, int& index);

} // namespace mirantos
