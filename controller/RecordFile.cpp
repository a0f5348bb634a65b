#include "RecordFile.h"

#include <algorithm>

namespace mirantos {

bool LoadRecord(TmyFile& file, const std::string& path, TChannelStorage& scratch,
                TMeasureRecord& record, int32_t gain)
{
    TAdcSetting loaded = record.Setting;
    TChannelData ch0{0, scratch.Code0.data(), scratch.Volt0.data()};
    TChannelData ch1{0, scratch.Code1.data(), scratch.Volt1.data()};
    if (path.empty() || !file.LoadData(path, &loaded, &ch0, &ch1))
        return false;

    TAdcSetting& s = record.Setting;
    s.spsSel = loaded.spsSel;
    s.DataCountSel = loaded.DataCountSel;
    s.CHSel = loaded.CHSel;
    s.GainSel = loaded.GainSel;
    s.fSinc5 = loaded.fSinc5;
    s.fBUF_ON = loaded.fBUF_ON;
    s.Gain = gain;

    record.ResetPointers();
    record.MarkComplete(0);
    const int32_t n0 = record.fCh0Valid ? UsableCount(ch0) : 0;
    const int32_t n1 = record.fCh1Valid ? UsableCount(ch1) : 0;
    std::copy_n(ch0.Code, n0, record.Ch0.Code);
    std::copy_n(ch1.Code, n1, record.Ch1.Code);
    record.Ch0.Count = n0;
    record.Ch1.Count = n1;
    return true;
}

bool SaveRecord(TmyFile& file, const std::string& name, const TMeasureRecord& record,
                TSaveOutcome* outcome)
{
    const TAdcSetting& s = record.Setting;
    switch (s.CHSel) {
    case 0:
        return file.SaveData(name, &s, &record.Ch0, outcome);
    case 1:
        return file.SaveData(name, &s, &record.Ch1, outcome);
    case 2:
        return file.SaveData2ch(name, &s, &record.Ch0, &record.Ch1, outcome);
    default:
        if (outcome)
            *outcome = TSaveOutcome::Failed;
        return false;
    }
}

} // namespace mirantos
