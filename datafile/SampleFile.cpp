#include "SampleFile.h"

#include "CaptureFile.h"
#include "MeasureRecord.h"
#include "Myfile.h"
#include "RateTable.h"

namespace mirantos {

TSampleLoad ReadSampleFile(const std::string& path, int32_t dtaGain, TSampleSet& out,
                           std::vector<std::string>& warnings, std::string& error)
{
    out = TSampleSet{};
    if (IsCaptureFile(path)) {
        TCaptureData data;
        if (!ReadCapture(path, data, warnings, error))
            return TSampleLoad::CaptureError;
        out.capture = true;
        out.chSel = data.info.chSel;
        out.rateIndex = data.info.rateIndex;
        out.sinc5 = data.info.sinc5;
        out.rateSps = data.info.rateSps;
        out.gain = data.info.gain;
        out.startUtc = data.info.startUtc;
        out.board = data.info.board;
        out.simulated = data.info.simulated;
        out.ch0 = std::move(data.ch0);
        out.ch1 = std::move(data.ch1);
        return TSampleLoad::Ok;
    }

    // The window's load: the same reader, the same channel rules.
    std::vector<uint32_t> code0(CHANNEL_CAPACITY), code1(CHANNEL_CAPACITY);
    std::vector<float> volt0(CHANNEL_CAPACITY), volt1(CHANNEL_CAPACITY);
    TChannelData ch0{0, code0.data(), volt0.data()};
    TChannelData ch1{0, code1.data(), volt1.data()};
    TAdcSetting setting{};
    TmyFile file;
    if (path.empty() || !file.LoadData(path, &setting, &ch0, &ch1, &error))
        return TSampleLoad::DataFileError;
    setting.Gain = dtaGain;
    out.chSel = setting.CHSel;
    out.rateIndex = setting.spsSel;
    out.sinc5 = setting.fSinc5 != 0;
    out.rateSps = SettingRateSps(setting);
    out.gain = dtaGain;
    if (setting.CHSel == 0 || setting.CHSel == 2)
        out.ch0.assign(ch0.Code, ch0.Code + UsableCount(ch0));
    if (setting.CHSel == 1 || setting.CHSel == 2)
        out.ch1.assign(ch1.Code, ch1.Code + UsableCount(ch1));
    return TSampleLoad::Ok;
}

} // namespace mirantos
