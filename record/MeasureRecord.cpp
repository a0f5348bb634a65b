#include "MeasureRecord.h"

#include <algorithm>
#include <cmath>

double CodeToMicrovolt(uint32_t code, int32_t gain)
{
    // A gain of 0 never comes from the board or a file; treat it as 1 rather than divide by 0.
    if (gain == 0) {
        gain = 1;
    }
    const int64_t d = static_cast<int64_t>(code) - INT64_C(2147483648);
    const int32_t f = FULL_SCALE_UV / gain;
    const int64_t p = d * static_cast<int64_t>(f);
    // Extended precision for the scale, as the stored figures were always computed that way.
    const long double scaled = static_cast<long double>(p) * (1.0L / 2147483647.0L);
    return static_cast<double>(scaled);
}

int32_t UsableCount(const TChannelData& ch)
{
    if (ch.Count <= 0 || ch.Code == nullptr) {
        return 0;
    }
    return std::min(ch.Count, CHANNEL_CAPACITY);
}

TCodeSpread CodeSpread(const uint32_t* code, int64_t n, uint32_t minCode)
{
    // Codes less the minimum: exact integers, so the first pass is an exact sum.
    uint64_t sum = 0;
    for (int64_t i = 0; i < n; ++i)
        sum += code[i] - minCode;
    const double dn = static_cast<double>(n);
    const double meanOffset = static_cast<double>(sum) / dn;
    double squares = 0.0;
    for (int64_t i = 0; i < n; ++i) {
        const double d = static_cast<double>(code[i] - minCode) - meanOffset;
        squares += d * d;
    }
    return {static_cast<double>(minCode) + meanOffset, std::sqrt(squares / dn)};
}

TCodeExtremes ScanCodeExtremes(const uint32_t* code, int32_t first, int32_t last)
{
    TCodeExtremes e;
    for (int32_t i = first; i <= last; ++i) {
        const uint32_t c = code[i];
        if (c > e.Max)
            e.Max = c;
        if (c < e.Min)
            e.Min = c;
    }
    return e;
}

TCodeExtremes ChannelExtremes(const TChannelData& ch)
{
    const int32_t n = UsableCount(ch);
    if (n == 0)
        return {0, 0};
    return ScanCodeExtremes(ch.Code, 0, n - 1);
}

namespace {

void ConvertChannel(TChannelData& ch, int first, int last, int32_t gain)
{
    if (ch.Code == nullptr || ch.Volt == nullptr) {
        return;
    }
    first = std::max(first, 0);
    last = std::min(last, CHANNEL_CAPACITY - 1);
    for (int i = first; i <= last; ++i) {
        ch.Volt[i] = static_cast<float>(CodeToMicrovolt(ch.Code[i], gain));
    }
}

void CodeStatistics(const TChannelData& ch, uint32_t& mean, float& sigma)
{
    const int n = UsableCount(ch);
    if (n == 0) {
        return;
    }
    double sum = 0.0;
    for (int i = 0; i < n; ++i) {
        sum += static_cast<double>(ch.Code[i]);
    }
    const auto meanCode = static_cast<uint32_t>(sum / n);
    double squares = 0.0;
    for (int i = 0; i < n; ++i) {
        const int64_t d = static_cast<int64_t>(ch.Code[i]) - static_cast<int64_t>(meanCode);
        // |d| < 2^32, so its square always fits in 64 unsigned bits; a signed product does not.
        const uint64_t a = static_cast<uint64_t>(d < 0 ? -d : d);
        squares += static_cast<double>(a * a);
    }
    mean = meanCode;
    sigma = static_cast<float>(std::sqrt(squares / n));
}

void VoltStatistics(const TChannelData& ch, float& mean, float& sigma)
{
    const int n = UsableCount(ch);
    if (n == 0 || ch.Volt == nullptr) {
        return;
    }
    // A double sum: a float sum near full scale loses about a millivolt per sample.
    double sum = 0.0;
    for (int i = 0; i < n; ++i) {
        sum += static_cast<double>(ch.Volt[i]);
    }
    const auto meanVolt = static_cast<float>(sum / n);
    double squares = 0.0;
    for (int i = 0; i < n; ++i) {
        const double d = static_cast<double>(ch.Volt[i]) - static_cast<double>(meanVolt);
        squares += d * d;
    }
    mean = meanVolt;
    sigma = static_cast<float>(std::sqrt(squares / n));
}

} // namespace

TMeasureRecord::TMeasureRecord()
{
    ResetPointers();
}

void TMeasureRecord::Clear()
{
    fCh0Valid = 0;
    fCh1Valid = 0;
    Ch0.Count = 0;
    Ch1.Count = 0;
}

void TMeasureRecord::ConvertToVolt()
{
    if (fCh0Valid != 0) {
        ConvertChannel(Ch0, 0, UsableCount(Ch0) - 1, Setting.Gain);
    }
    if (fCh1Valid != 0) {
        ConvertChannel(Ch1, 0, UsableCount(Ch1) - 1, Setting.Gain);
    }
}

void TMeasureRecord::ConvertRangeToVolt(int first, int last)
{
    if (Setting.CHSel == 0 || Setting.CHSel == 2) {
        ConvertChannel(Ch0, first, last, Setting.Gain);
    }
    if (Setting.CHSel == 1 || Setting.CHSel == 2) {
        ConvertChannel(Ch1, first, last, Setting.Gain);
    }
}

void TMeasureRecord::ComputeCodeStatistics()
{
    CodeStatistics(Ch0, Ch0MeanCode, Ch0SigmaCode);
    CodeStatistics(Ch1, Ch1MeanCode, Ch1SigmaCode);
}

void TMeasureRecord::ComputeVoltStatistics()
{
    VoltStatistics(Ch0, Ch0MeanVolt, Ch0SigmaVolt);
    VoltStatistics(Ch1, Ch1MeanVolt, Ch1SigmaVolt);
}

void TMeasureRecord::ResetPointers()
{
    Ch0.Code = storage_.Code0.data();
    Ch0.Volt = storage_.Volt0.data();
    Ch1.Code = storage_.Code1.data();
    Ch1.Volt = storage_.Volt1.data();
}

void TMeasureRecord::MarkComplete(int32_t count)
{
    count = std::clamp(count, 0, CHANNEL_CAPACITY);
    const bool ch0 = Setting.CHSel == 0 || Setting.CHSel == 2;
    const bool ch1 = Setting.CHSel == 1 || Setting.CHSel == 2;
    fCh0Valid = ch0 ? 1 : 0;
    fCh1Valid = ch1 ? 1 : 0;
    Ch0.Count = ch0 ? count : 0;
    Ch1.Count = ch1 ? count : 0;
}
