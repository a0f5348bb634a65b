// analyze: the noise figures of one channel of a data file, as a table, as
// JSON, and as the histogram, spectrum, Allan deviation and 0.1-10 Hz CSVs
// and the plots' picture.

#include "CliArgs.h"
#include "Commands.h"
#include "FileCommandSupport.h"
#include "LowFrequency.h"
#include "NoisePlots.h"
#include "NoiseReport.h"
#include "Output.h"
#include "SampleSource.h"
#include "Tables.h"
#include "Usage.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <ostream>

namespace mirantos::cli {

namespace {

using analysis::TAnalysisOptions;

bool ParseDouble(std::string_view text, double& value)
{
    if (text.empty())
        return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && std::isfinite(value);
}

// The options that need no file; false after the usage message (`code` set).
bool ParseAnalysisOptions(const ParsedArgs& parsed, TAnalysisOptions& o, CliIo io, int& code)
{
    auto bad = [&](const std::string& problem) {
        code = UsageError(io, problem, kAnalyzeUsage);
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
        const size_t colon = band->find(':');
        double lo = 0;
        double hi = 0;
        if (colon == std::string::npos ||
            !ParseDouble(std::string_view(*band).substr(0, colon), lo) ||
            !ParseDouble(std::string_view(*band).substr(colon + 1), hi))
            return bad("--band takes F1:F2 in Hz, not \"" + *band + "\"");
        o.bandLowHz = lo;
        o.bandHighHz = hi;
    }
    return true;
}

} // namespace

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
    if (const auto c = parsed.Value("--channel")) {
        if (*c == "0")
            channel = 0;
        else if (*c == "1")
            channel = 1;
        else
            return UsageError(io, "--channel takes 0 or 1, not \"" + *c + "\"", kAnalyzeUsage);
    }
    TAnalysisOptions options;
    if (!ParseAnalysisOptions(parsed, options, io, code))
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

    // A .DTA file or a capture, with all of its samples.
    TSampleSet samples;
    if (!LoadSamples(path, samples, io))
        return kExitFailure;
    // The window's readout channel after a load, unless another is asked for.
    if (channel < 0)
        channel = ReadoutChannel(samples.chSel);
    else if (!HoldsChannel(samples.chSel, channel))
        return Fail(io,
                    path + " holds no CH" + std::to_string(channel) + " data (CHSel " +
                        std::to_string(samples.chSel) + ")",
                    kExitFailure);

    const std::vector<uint32_t>& codes = channel == 0 ? samples.ch0 : samples.ch1;
    const auto n = static_cast<int64_t>(codes.size());
    const double rate = samples.rateSps;
    if (n < analysis::kMinSamples)
        return Fail(io,
                    path + " holds " + std::to_string(n) + " CH" + std::to_string(channel) +
                        " samples; the noise analysis needs at least 10",
                    kExitFailure);
    analysis::TNoiseFigures figures;
    std::string error;
    if (!analysis::Analyze(codes, rate, samples.gain, options, figures, &error))
        return UsageError(io, error, kAnalyzeUsage);
    const analysis::TLowFrequencyFigures lf =
        analysis::ComputeLowFrequency(codes, rate, samples.gain);
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

    if (parsed.Flag("--json"))
        io.out << analysis::FiguresJson(figures, channel, lf) << '\n';
    else if (tableShown)
        io.out << analysis::FiguresTable(figures, channel, lf);
    io.out << std::flush;
    return kExitOk;
}

} // namespace mirantos::cli
