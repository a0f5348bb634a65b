#include "SampleSource.h"

#include "CaptureFile.h"
#include "FileCommandSupport.h"
#include "RateTable.h"
#include "Session.h"

#include <ostream>

namespace mirantos::cli {

bool LoadSamples(const std::string& path, TSampleSet& out, CliIo io)
{
    out = TSampleSet{};
    if (IsCaptureFile(path)) {
        TCaptureData data;
        std::vector<std::string> warnings;
        std::string error;
        const bool ok = ReadCapture(path, data, warnings, error);
        for (const std::string& w : warnings)
            io.err << "mirantos-cli: warning: " << path << ": " << w << '\n';
        if (!ok) {
            io.err << "mirantos-cli: " << path << ": " << error << '\n' << std::flush;
            return false;
        }
        io.err << std::flush;
        out.capture = true;
        out.chSel = data.info.chSel;
        out.rateIndex = data.info.rateIndex;
        out.sinc5 = data.info.sinc5;
        out.rateSps = data.info.rateSps;
        out.gain = data.info.gain;
        out.ch0 = std::move(data.ch0);
        out.ch1 = std::move(data.ch1);
        return true;
    }

    // Numbers only: the session draws nothing.
    TCliSession cli(TControlValues{}, io.err, nullptr, QSize());
    if (!LoadOrReport(cli, path, io))
        return false;
    const TMeasureRecord& r = cli.Record();
    out.chSel = r.Setting.CHSel;
    out.rateIndex = r.Setting.spsSel;
    out.sinc5 = r.Setting.fSinc5 != 0;
    out.rateSps = SettingRateSps(r.Setting);
    out.gain = r.Setting.Gain;
    if (r.fCh0Valid)
        out.ch0.assign(r.Ch0.Code, r.Ch0.Code + UsableCount(r.Ch0));
    if (r.fCh1Valid)
        out.ch1.assign(r.Ch1.Code, r.Ch1.Code + UsableCount(r.Ch1));
    return true;
}

} // namespace mirantos::cli
