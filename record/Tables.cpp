#include "Tables.h"
#include "RateTable.h"

#include "MeasureRecord.h"

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

} // namespace mirantos
