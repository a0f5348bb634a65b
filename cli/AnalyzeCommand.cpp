// analyze: the noise figures of one channel of a data file, as a table, as
// JSON, and as the histogram, spectrum, Allan deviation and 0.1-10 Hz CSVs
// and the plots' picture.

#include "CliArgs.h"
#include "Commands.h"
#include "FileAnalysis.h"
#include "FileCommandSupport.h"
#include "LowFrequency.h"
#include "NoisePlots.h"
#include "NoiseReport.h"
#include "Output.h"
#include "SampleSource.h"
#include "Tables.h"
#include "Usage.h"

#include <algorithm>
#include <cmath>
#include <ostream>

namespace mirantos::cli {

namespace {

using analysis::TAnalysisOptions;

} // namespace

bool ParseChannelOption(const ParsedArgs& parsed, const char* usage, CliIo io, int& channel,
                        int& code)
{
    channel = -1;
    if (const auto c = parsed.Value("--channel")) {
        if (*c == "0") {
            channel = 0;
        } else if (*c == "1") {
            channel = 1;
        } else {
            code = UsageError(io, "--channel takes 0 or 1, not \"" + *c + "\"", usage);
            return false;
        }
    }
    return true;
}

bool ParseAnalysisOptions(const ParsedArgs& parsed, const char* usage, CliIo io,
                          TAnalysisOptions& o, int& code)
{
    auto bad = [&](const std::string& problem) {
        code = UsageError(io, problem, usage);
        return false;
    };
    long long v = 0;
    if (const auto b = parsed.Value("--bins")) {
        if (!ParseInt(*b, 1, analysis::kMaxBins, v))
            return bad("--bins takes a number from 1 to 1000, not \"" + *b + "\"");
        o.bins = static_cast<int>(v);
    }
    if (const auto s = parsed.Value("--segment")) {
        if (!ParseInt(*s, analysis::kMinSegment, 0x7FFFFFFF, v))
            return bad("--segment takes a number of samples from 8 on, not \"" + *s + "\"");
        o.segment = static_cast<int>(v);
    }
    if (const auto w = parsed.Value("--window")) {
        const auto window = analysis::ParseWindow(*w);
        if (!window)
            return bad("--window takes blackman-harris, hann or rect, not \"" + *w + "\"");
        o.window = *window;
    }
    if (const auto band = parsed.Value("--band")) {
        double lo = 0;
        double hi = 0;
        if (!analysis::ParseBand(*band, lo, hi))
            return bad("--band takes F1:F2 in Hz, not \"" + *band + "\"");
        o.bandLowHz = lo;
        o.bandHighHz = hi;
    }
    return true;
}

std::vector<OptionSpec> SineOptionSpecs()
{
    return {{"--sine", "", false},
            {"--sine-window", "", true},
            {"--side-bins", "", true},
            {"--harmonics", "", true},
            {"--tone", "", true}};
}

bool ParseSineOptions(const ParsedArgs& parsed, const char* usage, CliIo io,
                      std::optional<analysis::TSineOptions>& sine, int& code)
{
    auto bad = [&](const std::string& problem) {
        code = UsageError(io, problem, usage);
        return false;
    };
    sine.reset();
    if (!parsed.Flag("--sine")) {
        for (const char* name : {"--sine-window", "--side-bins", "--harmonics", "--tone"})
            if (parsed.Value(name))
                return bad(std::string(name) + " needs --sine");
        return true;
    }
    analysis::TSineOptions o;
    long long v = 0;
    if (const auto w = parsed.Value("--sine-window")) {
        const auto window = analysis::ParseSineWindow(*w);
        if (!window)
            return bad("--sine-window takes bh7 or rect, not \"" + *w + "\"");
        o.window = *window;
    }
    if (const auto s = parsed.Value("--side-bins")) {
        if (!ParseInt(*s, 0, 50, v))
            return bad("--side-bins takes a number from 0 to 50, not \"" + *s + "\"");
        o.sideBins = static_cast<int>(v);
    }
    if (const auto h = parsed.Value("--harmonics")) {
        if (!ParseInt(*h, 2, 10, v))
            return bad("--harmonics takes a number from 2 to 10, not \"" + *h + "\"");
        o.harmonics = static_cast<int>(v);
    }
    if (const auto t = parsed.Value("--tone")) {
        double hz = 0;
        if (!ParseDouble(*t, hz) || !(hz > 0.0))
            return bad("--tone takes a frequency in Hz above 0, not \"" + *t + "\"");
        o.toneHz = hz;
    }
    sine = o;
    return true;
}

bool AnalyseFile(const std::string& path, int channel, const TAnalysisOptions& options,
                 const char* usage, CliIo io, TFileAnalysis& out, int& code,
                 const std::optional<analysis::TSineOptions>& sine)
{
    code = kExitFailure;
    // A .DTA file or a capture, with all of its samples.
    if (!LoadSamples(path, out.samples, io))
        return false;
    const TSampleSet& samples = out.samples;
    // The window's readout channel after a load, unless another is asked for.
    if (channel < 0) {
        channel = ReadoutChannel(samples.chSel);
    } else if (!HoldsChannel(samples.chSel, channel)) {
        Fail(io,
             path + " holds no CH" + std::to_string(channel) + " data (CHSel " +
                 std::to_string(samples.chSel) + ")",
             kExitFailure);
        return false;
    }
    out.channel = channel;
    const std::vector<uint32_t>& codes = channel == 0 ? samples.ch0 : samples.ch1;
    const auto n = static_cast<int64_t>(codes.size());
    if (n < analysis::kMinSamples) {
        Fail(io,
             path + " holds " + std::to_string(n) + " CH" + std::to_string(channel) +
                 " samples; the noise analysis needs at least 10",
             kExitFailure);
        return false;
    }
    std::string error;
    if (!analysis::Analyze(codes, samples.rateSps, samples.gain, options, out.figures, &error)) {
        code = UsageError(io, error, usage);
        return false;
    }
    out.lf = analysis::ComputeLowFrequency(codes, samples.rateSps, samples.gain);
    out.sineAsked = sine.has_value();
    if (sine) {
        // A tone outside this record's band is the command line's mistake, not the file's.
        if (const std::string bad = analysis::CheckSineInput(n, samples.rateSps, *sine);
            !bad.empty()) {
            code = UsageError(io, bad, usage);
            return false;
        }
        out.sine.figures =
            analysis::AnalyzeSine(codes, samples.rateSps, samples.gain, *sine, &out.sine.reason);
    }
    return true;
}

int Analyze(const std::vector<std::string>& args, CliIo io)
{
    ParsedArgs parsed;
    int code = kExitOk;
    std::vector<OptionSpec> specs = {
        {"--channel", "", true},       {"--bins", "", true},         {"--segment", "", true},
        {"--window", "", true},        {"--band", "", true},         {"--json", "", false},
        {"--histogram-csv", "", true}, {"--spectrum-csv", "", true}, {"--allan-csv", "", true},
        {"--lf-csv", "", true},        {"--png", "", true},          {"--sine-csv", "", true},
        {"--force", "", false}};
    for (const OptionSpec& spec : SineOptionSpecs())
        specs.push_back(spec);
    if (!ParseFileCommand(args, specs, kAnalyzeUsage, io, parsed, code))
        return code;
    int channel = -1;
    if (!ParseChannelOption(parsed, kAnalyzeUsage, io, channel, code))
        return code;
    TAnalysisOptions options;
    if (!ParseAnalysisOptions(parsed, kAnalyzeUsage, io, options, code))
        return code;
    std::optional<analysis::TSineOptions> sine;
    if (!ParseSineOptions(parsed, kAnalyzeUsage, io, sine, code))
        return code;
    const auto sineCsv = parsed.Value("--sine-csv");
    if (sineCsv && !sine)
        return UsageError(io, "--sine-csv needs --sine", kAnalyzeUsage);

    // The files, checked before the work; the JSON takes standard output as a
    // CSV given "-" would, and a CSV there leaves the table out.
    const std::string& path = parsed.positional.front();
    const auto histogramCsv = parsed.Value("--histogram-csv");
    const auto spectrumCsv = parsed.Value("--spectrum-csv");
    const auto allanCsv = parsed.Value("--allan-csv");
    const auto lfCsv = parsed.Value("--lf-csv");
    const auto png = parsed.Value("--png");
    std::vector<TOutputFile> outputs;
    if (parsed.Flag("--json"))
        outputs.push_back({"--json", "-", true});
    if (histogramCsv)
        outputs.push_back({"--histogram-csv", *histogramCsv, true});
    if (spectrumCsv)
        outputs.push_back({"--spectrum-csv", *spectrumCsv, true});
    if (allanCsv)
        outputs.push_back({"--allan-csv", *allanCsv, true});
    if (lfCsv)
        outputs.push_back({"--lf-csv", *lfCsv, true});
    if (png)
        outputs.push_back({"--png", *png, false});
    if (sineCsv)
        outputs.push_back({"--sine-csv", *sineCsv, true});
    if (!CheckOutputs({path}, outputs, parsed.Flag("--force"), kAnalyzeUsage, io, code))
        return code;
    const bool tableShown = std::none_of(outputs.begin(), outputs.end(),
                                         [](const TOutputFile& o) { return o.path == "-"; });

    TFileAnalysis run;
    if (!AnalyseFile(path, channel, options, kAnalyzeUsage, io, run, code, sine))
        return code;
    channel = run.channel;
    const analysis::TNoiseFigures& figures = run.figures;
    const analysis::TLowFrequencyFigures& lf = run.lf;
    const double rate = run.samples.rateSps;
    // Nothing is written when one of the files cannot have its content.
    if (lfCsv && !lf.lf)
        return Fail(io, "--lf-csv: no 0.1-10 Hz noise in " + path + ": " + lf.lfReason,
                    kExitFailure);
    if (sineCsv && !run.sine.figures)
        return Fail(io, "--sine-csv: no sine-wave test of " + path + ": " + run.sine.reason,
                    kExitFailure);

    if ((histogramCsv &&
         !WriteOutput(io, *histogramCsv, analysis::HistogramCsv(figures.histogram))) ||
        (spectrumCsv && !WriteOutput(io, *spectrumCsv, analysis::SpectrumCsv(figures.spectrum))) ||
        (allanCsv && !WriteOutput(io, *allanCsv, analysis::AllanCsv(lf.allan))) ||
        (lfCsv && !WriteOutput(io, *lfCsv, analysis::LowFrequencyCsv(*lf.lf, rate))) ||
        (png && !WritePng(io, *png, RenderNoisePlots(figures, lf, false))) ||
        (sineCsv && !WriteOutput(io, *sineCsv, analysis::SineCsv(*run.sine.figures))))
        return kExitFailure;

    // A capture names its board; the simulated one is named as such.
    const analysis::TSampleSource source{run.samples.board, run.samples.simulated};
    // Without --sine the output stays what it always was.
    if (parsed.Flag("--json") && sine)
        io.out << analysis::FiguresJson(figures, channel, lf, source, run.sine) << '\n';
    else if (parsed.Flag("--json"))
        io.out << analysis::FiguresJson(figures, channel, lf, source) << '\n';
    else if (tableShown && sine)
        io.out << analysis::FiguresTable(figures, channel, lf, source, run.sine);
    else if (tableShown)
        io.out << analysis::FiguresTable(figures, channel, lf, source);
    io.out << std::flush;
    return kExitOk;
}

} // namespace mirantos::cli
