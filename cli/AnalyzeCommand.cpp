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

bool AnalyseFile(const std::string& path, int channel, const TAnalysisOptions& options,
                 const char* usage, CliIo io, TFileAnalysis& out, int& code)
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
    return true;
}

int Analyze(const std::vector<std::string>& args, CliIo io)
{
    ParsedArgs parsed;
    int code = kExitOk;
    if (!ParseFileCommand(args,
                          {{"--channel", "", true},
                           {"--bins", "", true},
                           {"--segment", "", true},
                           {"--window", "", true},
                           {"--band", "", true},
                           {"--json", "", false},
                           {"--histogram-csv", "", true},
                           {"--spectrum-csv", "", true},
                           {"--allan-csv", "", true},
                           {"--lf-csv", "", true},
                           {"--png", "", true},
                           {"--force", "", false}},
                          kAnalyzeUsage, io, parsed, code))
        return code;
    int channel = -1;
    if (!ParseChannelOption(parsed, kAnalyzeUsage, io, channel, code))
        return code;
    TAnalysisOptions options;
    if (!ParseAnalysisOptions(parsed, kAnalyzeUsage, io, options, code))
        return code;

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
    if (!CheckOutputs({path}, outputs, parsed.Flag("--force"), kAnalyzeUsage, io, code))
        return code;
    const bool tableShown = std::none_of(outputs.begin(), outputs.end(),
                                         [](const TOutputFile& o) { return o.path == "-"; });

    TFileAnalysis run;
    if (!AnalyseFile(path, channel, options, kAnalyzeUsage, io, run, code))
        return code;
    channel = run.channel;
    const analysis::TNoiseFigures& figures = run.figures;
    const analysis::TLowFrequencyFigures& lf = run.lf;
    const double rate = run.samples.rateSps;
    // Nothing is written when one of the files cannot have its content.
    if (lfCsv && !lf.lf)
        return Fail(io, "--lf-csv: no 0.1-10 Hz noise in " + path + ": " + lf.lfReason,
                    kExitFailure);

    if ((histogramCsv &&
         !WriteOutput(io, *histogramCsv, analysis::HistogramCsv(figures.histogram))) ||
        (spectrumCsv && !WriteOutput(io, *spectrumCsv, analysis::SpectrumCsv(figures.spectrum))) ||
        (allanCsv && !WriteOutput(io, *allanCsv, analysis::AllanCsv(lf.allan))) ||
        (lfCsv && !WriteOutput(io, *lfCsv, analysis::LowFrequencyCsv(*lf.lf, rate))) ||
        (png && !WritePng(io, *png, RenderNoisePlots(figures, lf, false))))
        return kExitFailure;

    // A capture names its board; the simulated one is named as such.
    const analysis::TSampleSource source{run.samples.board, run.samples.simulated};
    if (parsed.Flag("--json"))
        io.out << analysis::FiguresJson(figures, channel, lf, source) << '\n';
    else if (tableShown)
        io.out << analysis::FiguresTable(figures, channel, lf, source);
    io.out << std::flush;
    return kExitOk;
}

} // namespace mirantos::cli
