#include "SampleSource.h"

#include "FileCommandSupport.h"
#include "Session.h"

#include <cstdio>
#include <ostream>
#include <string_view>

namespace mirantos::cli {

bool LoadSamples(const std::string& path, TSampleSet& out, CliIo io)
{
    std::vector<std::string> warnings;
    std::string error;
    const TSampleLoad how = ReadSampleFile(path, kBoardGain, out, warnings, error);
    for (const std::string& w : warnings)
        io.err << "mirantos-cli: warning: " << path << ": " << w << '\n';
    io.err << std::flush;
    if (how == TSampleLoad::CaptureError) {
        io.err << "mirantos-cli: " << path << ": " << error << '\n' << std::flush;
        return false;
    }
    if (how == TSampleLoad::DataFileError) {
        // The window's own rejection texts come from loading it as the window does.
        TCliSession cli(TControlValues{}, io.err, nullptr, QSize());
        LoadOrReport(cli, path, io);
        return false;
    }
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
