// view: a data file (a capture or a .DTA file) as the trace viewer shows it,
// written as a PNG picture by the viewer's own picture composer.

#include "CliArgs.h"
#include "Commands.h"
#include "FileCommandSupport.h"
#include "Output.h"
#include "SampleSource.h"
#include "TracePicture.h"
#include "Usage.h"

#include <filesystem>

namespace mirantos::cli {

namespace {

bool ParseSeconds(std::string_view text, double& value)
{
    return ParseDouble(text, value) && value >= 0;
}

} // namespace

int View(const std::vector<std::string>& args, CliIo io)
{
    ParsedArgs parsed;
    int code = kExitOk;
    if (!ParseFileCommand(args,
                          {{"--channel", "", true},
                           {"--from", "", true},
                           {"--to", "", true},
                           {"--size", "", true},
                           {"--unit", "", true},
                           {"--output", "-o", true},
                           {"--force", "", false}},
                          kViewUsage, io, parsed, code))
        return code;

    auto bad = [&](const std::string& problem) { return UsageError(io, problem, kViewUsage); };
    int channel = -1; // -1: every channel the file holds
    if (const auto c = parsed.Value("--channel")) {
        if (*c == "0" || *c == "1")
            channel = *c == "0" ? 0 : 1;
        else if (*c != "both")
            return bad("--channel takes 0, 1 or both, not \"" + *c + "\"");
    }
    bool voltMode = false;
    if (const auto u = parsed.Value("--unit")) {
        if (*u != "code" && *u != "uv")
            return bad("--unit takes code or uv, not \"" + *u + "\"");
        voltMode = *u == "uv";
    }
    QSize size(1000, 500);
    if (const auto s = parsed.Value("--size")) {
        const size_t x = s->find('x');
        long long w = 0;
        long long h = 0;
        if (x == std::string::npos ||
            !ParseInt(std::string_view(*s).substr(0, x), trace::kMinPictureWidth, 8000, w) ||
            !ParseInt(std::string_view(*s).substr(x + 1), trace::kMinPictureHeight, 8000, h))
            return bad("--size takes WxH with W from 160 and H from 100 to 8000, not \"" + *s +
                       "\"");
        size = QSize(static_cast<int>(w), static_cast<int>(h));
    }
    double from = 0;
    double to = 0;
    const auto fromText = parsed.Value("--from");
    const auto toText = parsed.Value("--to");
    if (fromText && !ParseSeconds(*fromText, from))
        return bad("--from takes seconds (0 or more), not \"" + *fromText + "\"");
    if (toText && !ParseSeconds(*toText, to))
        return bad("--to takes seconds (0 or more), not \"" + *toText + "\"");
    if (toText && !(to > from))
        return bad("--to must lie after --from");
    const auto output = parsed.Value("--output");
    if (!output)
        return bad("no picture file given (-o OUT.png)");
    const std::string& path = parsed.positional.front();
    if (!CheckOutputs({path}, {{"-o", *output, false}}, parsed.Flag("--force"), kViewUsage, io,
                      code))
        return code;

    TSampleSet samples;
    if (!LoadSamples(path, samples, io))
        return kExitFailure;
    const trace::TTraceData data(std::move(samples),
                                 std::filesystem::path(path).filename().string());
    if (channel >= 0 && !data.Holds(channel))
        return Fail(io, path + ": the file holds no CH" + std::to_string(channel), kExitFailure);
    std::array<bool, 2> show{channel != 1, channel != 0};

    trace::TPictureView view = trace::WholeView(data, show, voltMode, size);
    if (fromText || toText) {
        const double end = toText ? to : trace::SampleSeconds(data.Samples(), data.RateSps());
        view.x = trace::ViewOfSeconds(data.Samples(), data.RateSps(), view.x.width, from, end);
        view.y =
            trace::AutoYOf(data, show, trace::VisibleSpan(view.x, data.Samples()), view.y.height);
    }
    trace::TTracePicture picture;
    return WritePng(io, *output, picture.Compose(data, view, size)) ? kExitOk : kExitFailure;
}

} // namespace mirantos::cli
