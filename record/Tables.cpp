#include "Tables.h"

#include "MeasureRecord.h"

namespace mirantos {

bool SettingsInRange(const TAdcSetting& s)
{
    return ValidRateIndex(s.spsSel) && ValidCountIndex(s.DataCountSel) &&
           ValidChannelIndex(s.CHSel);
}

} // namespace mirantos
