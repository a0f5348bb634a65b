// stats, plot and export: a data file loaded as the window loads it, then the
// readout, the graph area or the samples.

#include "CaptureFile.h"
#include "CliArgs.h"
#include "Commands.h"
#include "FileCommandSupport.h"
#include "Output.h"
#include "SampleSource.h"
#include "Session.h"
#include "Usage.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ostream>

#include <sys/stat.h>

namespace mirantos::cli {

namespace {

// --unit: "code" or "uv"; absent means codes, as the unchecked menu item.
bool ParseUnit(const ParsedArgs& parsed, bool& voltMode, std::string& error)
{
    const auto unit = parsed.Value("--unit");
    voltMode = false;
    if (!unit)
        return true;
    if (*unit == "code")
        return true;
    if (*unit == "uv") {
        voltMode = true;
        return true;
    }
    error = "--unit takes code or uv, not \"" + *unit + "\"";
    return false;
}

} // namespace

bool ParseFileCommand(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs,
                      const char* usage, CliIo io, ParsedArgs& parsed, int& code)
{
    if (!ParseCommandArgs(args, specs, usage, io, parsed, code))
        return false;
    if (parsed.positional.size() != 1) {
        code = UsageError(
            io, parsed.positional.empty() ? "no data file given" : "more than one data file given",
            usage);
        return false;
    }
    return true;
}

bool LoadOrReport(TCliSession& cli, const std::string& path, CliIo io)
{
    if (cli.Ready() && cli.Session().Load(path))
        return true;
    // A FIFO or device is never opened to find the reason: with no writer
    // the open would wait for ever.
    if (struct stat st{};
        ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
        io.err << path << ": not a regular file" << (S_ISFIFO(st.st_mode) ? " (a FIFO)" : "")
               << '\n'
               << std::flush;
        return false;
    }
    int reason = 0;
    errno = 0;
    if (FILE* f = std::fopen(path.c_str(), "r")) {
        // Opens but cannot be read (a folder, an I/O error).
        if (std::fgetc(f) == EOF && std::ferror(f))
            reason = errno;
        std::fclose(f);
    } else {
        reason = errno;
    }
    if (reason != 0)
        io.err << path << ": " << std::strerror(reason) << '\n' << std::flush;
    else if (const std::string why = ContentReason(path); !why.empty())
        io.err << path << ": " << why << '\n' << std::flush;
    return false;
}

int Stats(const std::vector<std::string>& args, CliIo io)
{
    ParsedArgs parsed;
    int code = kExitOk;
    if (!ParseFileCommand(args, {{"--unit", "", true}, {"--channel", "", true}}, kStatsUsage, io,
                          parsed, code))
        return code;

    TControlValues controls;
    std::string error;
    if (!ParseUnit(parsed, controls.voltMode, error))
        return UsageError(io, error, kStatsUsage);
    int channel = -1;
    if (const auto c = parsed.Value("--channel")) {
        if (*c == "0")
            channel = 0;
        else if (*c == "1")
            channel = 1;
        else
            return UsageError(io, "--channel takes 0 or 1, not \"" + *c + "\"", kStatsUsage);
    }

    // Numbers only: the session draws nothing.
    TCliSession cli(controls, io.err, nullptr, QSize());
    const std::string& path = parsed.positional.front();
    if (!LoadOrReport(cli, path, io))
        return kExitFailure;

    // The readout the window shows after the load, unless another channel is asked for.
    TMeasureSession& session = cli.Session();
    if (channel < 0) {
        channel = session.ShownChannel();
    } else if (!session.Holds(channel)) {
        return Fail(io,
                    path + " holds no CH" + std::to_string(channel) + " data (CHSel " +
                        std::to_string(session.Settings().CHSel) + ")",
                    kExitFailure);
    }
    io.out << Utf8(cli.ChannelReadout(channel)) << '\n' << std::flush;
    return kExitOk;
}

int Plot(const std::vector<std::string>& args, CliIo io)
{
    ParsedArgs parsed;
    int code = kExitOk;
    if (!ParseFileCommand(args,
                          {{"--unit", "", true},
                           {"--size", "", true},
                           {"--output", "-o", true},
                           {"--bitmap-only", "", false},
                           {"--axes", "", false},
                           {"--force", "", false}},
                          kPlotUsage, io, parsed, code))
        return code;

    TControlValues controls;
    std::string error;
    if (!ParseUnit(parsed, controls.voltMode, error))
        return UsageError(io, error, kPlotUsage);

    QSize size(kPaintBoxWidth, kPaintBoxHeight);
    if (const auto s = parsed.Value("--size")) {
        const size_t x = s->find('x');
        long long w = 0;
        long long h = 0;
        if (x == std::string::npos || !ParseInt(std::string_view(*s).substr(0, x), 16, 8000, w) ||
            !ParseInt(std::string_view(*s).substr(x + 1), 16, 8000, h))
            return UsageError(io,
                              "--size takes WxH with W and H from 16 to 8000, not \"" + *s + "\"",
                              kPlotUsage);
        size = QSize(static_cast<int>(w), static_cast<int>(h));
    }
    const bool axes = parsed.Flag("--axes");
    const auto output = parsed.Value("--output");
    if (axes && (output || parsed.Flag("--bitmap-only")))
        return UsageError(
            io, "--axes prints the label texts; it takes neither -o nor --bitmap-only", kPlotUsage);
    if (!axes && !output)
        return UsageError(io, "no picture file given (-o OUT.png)", kPlotUsage);
    const std::string& path = parsed.positional.front();
    if (output && !CheckOutputs({path}, {{"-o", *output, false}}, parsed.Flag("--force"),
                                kPlotUsage, io, code))
        return code;

    TCliSession cli(controls, io.err, nullptr, size);
    if (!LoadOrReport(cli, path, io))
        return kExitFailure;

    if (axes) {
        for (const QString& t : cli.View().AxisTexts())
            io.out << Utf8(t) << '\n';
        io.out << std::flush;
        return kExitOk;
    }
    const QImage image = parsed.Flag("--bitmap-only") ? cli.View().Bitmap() : cli.View().Picture();
    return WritePng(io, *output, image) ? kExitOk : kExitFailure;
}

int Export(const std::vector<std::string>& args, CliIo io)
{
    ParsedArgs parsed;
    int code = kExitOk;
    if (!ParseFileCommand(args, {{"--output", "-o", true}, {"--force", "", false}}, kExportUsage,
                          io, parsed, code))
        return code;
    const std::string& path = parsed.positional.front();
    const std::string output = parsed.Value("--output").value_or("-");
    if (!CheckOutputs({path}, {{"-o", output, true}}, parsed.Flag("--force"), kExportUsage, io,
                      code))
        return code;

    std::string csv;
    if (IsCaptureFile(path)) {
        TSampleSet samples;
        if (!LoadSamples(path, samples, io))
            return kExitFailure;
        csv = CsvOf(samples);
    } else {
        TCliSession cli(TControlValues{}, io.err, nullptr, QSize());
        if (!LoadOrReport(cli, path, io))
            return kExitFailure;
        csv = CsvOf(cli.Record());
    }
    return WriteOutput(io, output, csv) ? kExitOk : kExitFailure;
}

} // namespace mirantos::cli
