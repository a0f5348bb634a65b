#include "Tables.h"
#include "RateTable.h"

#include "MeasureRecord.h"

#include <charconv>
#include <string>

namespace mirantos {

bool SettingsInRange(const TAdcSetting& s)
{
    return ValidRateIndex(s.spsSel) && ValidCountIndex(s.DataCountSel) &&
           ValidChannelIndex(s.CHSel);
}

double SettingRateSps(const TAdcSetting& setting)
{
    return RateSps(setting.spsSel, setting.fSinc5 == 1);
}

namespace {

std::string WithoutBlanks(std::string_view s)
{
    std::string r;
    for (char c : s) {
        if (c != ' ')
            r += c;
    }
    return r;
}

} // namespace

bool ParseRateText(std::string_view text, int& index)
{
    const std::string compact = WithoutBlanks(text);
    for (int i = 0; i < kRateItemCount; ++i) {
        if (!compact.empty() && compact == WithoutBlanks(kRateItems[static_cast<size_t>(i)])) {
            index = i;
            return true;
        }
    }
    // The index: digits only, no sign, no blanks.
    int v = 0;
    const char* last = text.data() + text.size();
    const auto [end, ec] = std::from_chars(text.data(), last, v);
    if (text.empty() || text.front() == '-' || ec != std::errc() || end != last ||
        !ValidRateIndex(v))
        return false;
    index = v;
    return true;
}

} // namespace mirantos
