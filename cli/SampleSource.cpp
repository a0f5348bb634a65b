#include "SampleSource.h"

#include "CaptureFile.h"
#include "FileCommandSupport.h"
#include "RateTable.h"
#include "Session.h"

#include <cstdio>
#include <ostream>
#include <string_view>

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

std::string ContentReason(const std::string& path)
{
    // The first 64 KiB tell: a data file's lines are far shorter.
    std::string head(64 * 1024, '\0');
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return {};
    head.resize(std::fread(head.data(), 1, head.size(), f));
    std::fclose(f);
    if (head.empty())
        return "the file is empty";
    if (std::string_view(head).substr(0, 3) == "\xEF\xBB\xBF")
        return "the file begins with a UTF-8 byte order mark";
    if (head.find('\n') == std::string::npos && head.find('\r') != std::string::npos)
        return head.find_first_not_of('\r') == std::string::npos
                   ? "the file holds nothing but CR characters"
                   : "its lines end in CR alone, without LF";
    return {};
}

} // namespace mirantos::cli
