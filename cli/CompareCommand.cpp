// compare: two to eight data files analysed as analyze does, side by side,
// with each one's difference to the first, as a table, as JSON and as the
// overlaid plots' picture.

#include "CliArgs.h"
#include "Commands.h"
#include "Comparison.h"
#include "ComparisonPdf.h"
#include "ComparisonPlots.h"
#include "FileAnalysis.h"
#include "NoiseReport.h"
#include "Output.h"
#include "Tables.h"
#include "Usage.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <ostream>
#include <sstream>

namespace mirantos::cli {

namespace {

using analysis::TDifference;
using analysis::TRunFigures;

constexpr QSize kComparisonPictureSize(1500, 500);

std::string BaseName(const std::string& path)
{
    const std::string name = std::filesystem::path(path).filename().string();
    return name.empty() ? path : name;
}

std::string Fixed(double v, int decimals)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    std::string text = buf;
    // A value that rounds to zero reads as 0, not -0.
    if (text.front() == '-' && text.find_first_not_of("-0.") == std::string::npos)
        text.erase(0, 1);
    return text;
}

std::string Signed(const std::optional<double>& v, int decimals)
{
    if (!v)
        return "-";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%+.*f", decimals, *v);
    return buf;
}

std::string Figure(double v)
{
    return analysis::GeneralText(v, 6);
}

std::string OptionalJson(const std::optional<double>& v)
{
    return v ? analysis::DoubleText(*v) : "null";
}

std::string ChannelsText(int chSel)
{
    return chSel >= 0 && chSel < kChannelItemCount
               ? std::string(kChannelItems[static_cast<size_t>(chSel)])
               : std::to_string(chSel);
}

std::string RateText(int rateIndex)
{
    return ValidRateIndex(rateIndex) ? std::string(kRateItems[static_cast<size_t>(rateIndex)])
                                     : std::to_string(rateIndex);
}

// One row: a name, then one cell per run.
using TRow = std::pair<std::string, std::vector<std::string>>;

std::string Layout(const std::vector<TRow>& rows)
{
    size_t nameWidth = 0;
    size_t cells = 0;
    for (const TRow& r : rows) {
        nameWidth = std::max(nameWidth, r.first.size());
        cells = std::max(cells, r.second.size());
    }
    std::vector<size_t> widths(cells, 0);
    for (const TRow& r : rows)
        for (size_t i = 0; i < r.second.size(); ++i)
            widths[i] = std::max(widths[i], r.second[i].size());
    std::ostringstream out;
    for (const TRow& r : rows) {
        std::string line = r.first;
        if (!r.second.empty())
            line.append(nameWidth - r.first.size(), ' ');
        for (size_t i = 0; i < r.second.size(); ++i) {
            line += "  ";
            line.append(widths[i] - r.second[i].size(), ' ');
            line += r.second[i];
        }
        out << line << '\n';
    }
    return out.str();
}

// The sine-wave test's rows when it was asked for: each figure, "-" where a file has none
// (its reason in the row "sine-wave test"), then each file's difference to the first in
// dB (ENOB in bits).
void AddSineRows(const std::vector<TRunFigures>& runs, std::vector<TRow>& rows)
{
    if (runs.empty() || !runs.front().sine)
        return;
    using analysis::TSineFigures;
    auto figures = [&](size_t i) -> const TSineFigures* {
        return runs[i].sine->figures ? &*runs[i].sine->figures : nullptr;
    };
    auto row = [&](const std::string& name, auto cell) {
        TRow r{name, {}};
        for (size_t i = 0; i < runs.size(); ++i)
            r.second.push_back(cell(i));
        rows.push_back(std::move(r));
    };
    row("sine-wave test", [&](size_t i) {
        return figures(i) ? std::string(analysis::SineWindowName(figures(i)->window)) + ", " +
                                std::to_string(figures(i)->sideBins) + " side bins"
                          : runs[i].sine->reason;
    });
    struct Item {
        const char* name;
        double TSineFigures::*member;
        int decimals;
    };
    const Item items[] = {{"fundamental [Hz]", &TSineFigures::fundamentalHz, 4},
                          {"amplitude [dBFS]", &TSineFigures::amplitudeDbfs, 2},
                          {"SNR [dB]", &TSineFigures::snrDb, 2},
                          {"THD [dBc]", &TSineFigures::thdDbc, 2},
                          {"SINAD [dB]", &TSineFigures::sinadDb, 2},
                          {"SFDR [dBc]", &TSineFigures::sfdrDbc, 2},
                          {"ENOB [bits]", &TSineFigures::enobBits, 2},
                          {"ENOB at full scale [bits]", &TSineFigures::enobFsBits, 2}};
    for (const Item& it : items)
        row(it.name, [&](size_t i) {
            return figures(i) ? Fixed(figures(i)->*it.member, it.decimals) : std::string("-");
        });
    row("fit residual [uV]", [&](size_t i) {
        return figures(i) && figures(i)->fit ? Figure(figures(i)->fit->residualRmsUv)
                                             : std::string("-");
    });
    rows.push_back({"sine difference to " + runs.front().label + ":", {}});
    // From SNR on; the names as the figures' rows, the units of a difference.
    const char* diffNames[] = {"SNR [dB]",  "THD [dB]",    "SINAD [dB]",
                               "SFDR [dB]", "ENOB [bits]", "ENOB at full scale [bits]"};
    for (size_t d = 0; d < std::size(diffNames); ++d) {
        const Item& it = items[d + 2];
        row(diffNames[d], [&](size_t i) {
            if (i == 0 || !figures(0) || !figures(i))
                return std::string("-");
            return Signed(figures(i)->*it.member - figures(0)->*it.member, 2);
        });
    }
}

std::string ComparisonTable(const std::vector<TRunFigures>& runs,
                            const std::vector<TDifference>& diffs)
{
    std::vector<TRow> rows;
    auto row = [&](const std::string& name, auto cell) {
        TRow r{name, {}};
        for (size_t i = 0; i < runs.size(); ++i)
            r.second.push_back(cell(i));
        rows.push_back(std::move(r));
    };
    auto lfCell = [&](size_t i, auto member) {
        const auto& lf = runs[i].low.lf;
        return lf ? Fixed((*lf).*member, 3) : std::string("-");
    };
    row("", [&](size_t i) { return runs[i].label; });
    row("rate", [&](size_t i) { return RateText(runs[i].settings.rateIndex); });
    row("rate [sps]", [&](size_t i) { return Figure(runs[i].noise.rateSps); });
    row("filter",
        [&](size_t i) { return std::string(runs[i].settings.sinc5 ? "sinc5+sinc1" : "sinc3"); });
    row("bandwidth", [&](size_t i) { return analysis::BandwidthText(runs[i]); });
    row("channels", [&](size_t i) { return ChannelsText(runs[i].settings.chSel); });
    row("channel", [&](size_t i) { return "CH" + std::to_string(runs[i].settings.channel); });
    row("samples", [&](size_t i) { return std::to_string(runs[i].settings.samples); });
    row("board", [&](size_t i) {
        const std::string board =
            analysis::BoardText({runs[i].settings.board, runs[i].settings.simulated});
        return board.empty() ? std::string("-") : board;
    });
    row("start (UTC)", [&](size_t i) {
        return runs[i].settings.startUtc.empty() ? std::string("-") : runs[i].settings.startUtc;
    });
    row("gain", [&](size_t i) { return std::to_string(runs[i].noise.gain); });
    row("mean [uV]", [&](size_t i) { return Fixed(runs[i].noise.meanUv, 3); });
    row("rms [uV]", [&](size_t i) { return Fixed(runs[i].noise.rmsUv, 4); });
    row("pp [uV]", [&](size_t i) { return Fixed(runs[i].noise.ppUv, 4); });
    row("rms [code]", [&](size_t i) { return Fixed(runs[i].noise.rmsCode, 3); });
    row("pp [code]", [&](size_t i) { return std::to_string(runs[i].noise.ppCode); });
    row("effective bits", [&](size_t i) { return Fixed(runs[i].noise.effectiveBits, 2); });
    row("noise-free bits", [&](size_t i) { return Fixed(runs[i].noise.noiseFreeBits, 2); });
    row("nsd median [nV/rtHz]", [&](size_t i) { return Figure(runs[i].noise.nsdMedianNv); });
    row("band [Hz]", [&](size_t i) {
        return Figure(runs[i].noise.bandLowHz) + "-" + Figure(runs[i].noise.bandHighHz);
    });
    row("band rms [uV]", [&](size_t i) { return Fixed(runs[i].noise.bandRmsUv, 4); });
    row("drift [uV/h]", [&](size_t i) {
        const auto& slope = runs[i].low.slopeUvPerH;
        return slope ? Fixed(*slope, 3) : std::string("-");
    });
    row("adev at 1/fs [uV]", [&](size_t i) {
        return runs[i].low.allan.empty() ? std::string("-")
                                         : Fixed(runs[i].low.allan.front().adevUv, 4);
    });
    row("adev at longest tau [uV]", [&](size_t i) {
        return runs[i].low.allan.empty() ? std::string("-")
                                         : Fixed(runs[i].low.allan.back().adevUv, 4);
    });
    row("0.1-10 Hz pp median [uV]",
        [&](size_t i) { return lfCell(i, &analysis::TLowFrequencyNoise::ppUvMedian); });
    row("0.1-10 Hz pp max [uV]",
        [&](size_t i) { return lfCell(i, &analysis::TLowFrequencyNoise::ppUvMax); });
    row("0.1-10 Hz rms [uV]",
        [&](size_t i) { return lfCell(i, &analysis::TLowFrequencyNoise::rmsUv); });

    rows.push_back({"difference to " + runs.front().label + ":", {}});
    auto diff = [&](const std::string& name, auto cell) {
        row(name, [&](size_t i) { return i == 0 ? std::string("-") : cell(diffs[i - 1]); });
    };
    diff("rms [%]", [](const TDifference& d) { return Signed(d.rmsPct, 2); });
    diff("rms [dB]", [](const TDifference& d) { return Signed(d.rmsDb, 2); });
    diff("pp [%]", [](const TDifference& d) { return Signed(d.ppPct, 2); });
    diff("pp [dB]", [](const TDifference& d) { return Signed(d.ppDb, 2); });
    diff("nsd median [dB]", [](const TDifference& d) { return Signed(d.nsdMedianDb, 2); });
    diff("effective bits", [](const TDifference& d) { return Signed(d.effectiveBits, 2); });
    diff("noise-free bits", [](const TDifference& d) { return Signed(d.noiseFreeBits, 2); });
    diff("bandwidth",
         [](const TDifference& d) { return std::string(d.bandwidthDiffers ? "differs" : "same"); });
    AddSineRows(runs, rows);
    std::string table = Layout(rows);
    if (std::any_of(diffs.begin(), diffs.end(),
                    [](const TDifference& d) { return d.bandwidthDiffers; }))
        table += "note: the bandwidths differ; rms and pp differ for that alone\n";
    return table;
}

std::string ComparisonJson(const std::vector<TFileAnalysis>& files,
                           const std::vector<TDifference>& diffs)
{
    std::string out = "{\"files\":[";
    for (size_t i = 0; i < files.size(); ++i) {
        if (i > 0)
            out += ',';
        const analysis::TSampleSource source{files[i].samples.board, files[i].samples.simulated};
        out += files[i].sineAsked
                   ? analysis::FiguresJson(files[i].figures, files[i].channel, files[i].lf, source,
                                           files[i].sine)
                   : analysis::FiguresJson(files[i].figures, files[i].channel, files[i].lf, source);
    }
    out += "],\"reference\":0,\"differences\":[";
    for (size_t i = 0; i < diffs.size(); ++i) {
        const TDifference& d = diffs[i];
        if (i > 0)
            out += ',';
        out += "{\"file\":" + std::to_string(i + 1) + ",\"rms_pct\":" + OptionalJson(d.rmsPct) +
               ",\"rms_dB\":" + OptionalJson(d.rmsDb) + ",\"pp_pct\":" + OptionalJson(d.ppPct) +
               ",\"pp_dB\":" + OptionalJson(d.ppDb) +
               ",\"nsd_median_dB\":" + OptionalJson(d.nsdMedianDb) +
               ",\"effective_bits\":" + analysis::DoubleText(d.effectiveBits) +
               ",\"noise_free_bits\":" + analysis::DoubleText(d.noiseFreeBits) +
               ",\"bandwidth_differs\":" + (d.bandwidthDiffers ? "true" : "false") + "}";
    }
    out += "]}";
    return out;
}

} // namespace

namespace {

// compare and report: the same files, options and runs; report needs only
// one file and writes the PDF alone.
int CompareOrReport(const std::vector<std::string>& args, CliIo io, bool report)
{
    const char* usage = report ? kReportUsage : kCompareUsage;
    const char* command = report ? "report" : "compare";
    const size_t minFiles = report ? 1 : 2;
    std::vector<OptionSpec> specs{{"--channel", "", true}, {"--bins", "", true},
                                  {"--segment", "", true}, {"--window", "", true},
                                  {"--band", "", true},    {"--label", "", true},
                                  {"--title", "", true},   {"--force", "", false}};
    if (report) {
        specs.push_back({"--output", "-o", true});
    } else {
        specs.push_back({"--json", "", false});
        specs.push_back({"--png", "", true});
        specs.push_back({"--pdf", "", true});
    }
    for (const OptionSpec& spec : SineOptionSpecs())
        specs.push_back(spec);
    ParsedArgs parsed;
    int code = kExitOk;
    if (!ParseCommandArgs(args, specs, usage, io, parsed, code))
        return code;
    const std::vector<std::string>& paths = parsed.positional;
    if (paths.size() < minFiles || paths.size() > static_cast<size_t>(analysis::kMaxComparedRuns))
        return UsageError(io,
                          std::string(command) + " takes " + std::to_string(minFiles) + " to " +
                              std::to_string(analysis::kMaxComparedRuns) + " data files, not " +
                              std::to_string(paths.size()),
                          usage);
    const auto labelList = parsed.lists.find("--label");
    const std::vector<std::string> labels =
        labelList == parsed.lists.end() ? std::vector<std::string>{} : labelList->second;
    if (labels.size() > paths.size())
        return UsageError(io,
                          std::to_string(labels.size()) + " labels for " +
                              std::to_string(paths.size()) + " data files",
                          usage);
    int channel = -1;
    if (!ParseChannelOption(parsed, usage, io, channel, code))
        return code;
    analysis::TAnalysisOptions options;
    if (!ParseAnalysisOptions(parsed, usage, io, options, code))
        return code;
    std::optional<analysis::TSineOptions> sine;
    if (!ParseSineOptions(parsed, usage, io, sine, code))
        return code;

    const auto png = parsed.Value("--png");
    const auto pdf = parsed.Value(report ? "--output" : "--pdf");
    if (report && !pdf)
        return UsageError(io, "report needs -o FILE.pdf", usage);
    std::vector<TOutputFile> outputs;
    if (parsed.Flag("--json"))
        outputs.push_back({"--json", "-", true});
    if (png)
        outputs.push_back({"--png", *png, false});
    // A PDF is binary: never "-".
    if (pdf)
        outputs.push_back({report ? "-o" : "--pdf", *pdf, false});
    if (!CheckOutputs(paths, outputs, parsed.Flag("--force"), usage, io, code))
        return code;

    std::vector<TFileAnalysis> files(paths.size());
    std::vector<TRunFigures> runs(paths.size());
    for (size_t i = 0; i < paths.size(); ++i) {
        if (!AnalyseFile(paths[i], channel, options, usage, io, files[i], code, sine))
            return code;
        const TSampleSet& s = files[i].samples;
        TRunFigures& r = runs[i];
        r.label = i < labels.size() ? labels[i] : BaseName(paths[i]);
        r.path = paths[i];
        r.settings.rateIndex = s.rateIndex;
        r.settings.sinc5 = s.sinc5;
        r.settings.chSel = s.chSel;
        r.settings.channel = files[i].channel;
        r.settings.samples = files[i].figures.samples;
        r.settings.startUtc = s.startUtc;
        r.settings.board = s.board;
        r.settings.simulated = s.simulated;
        r.noise = files[i].figures;
        r.low = files[i].lf;
        if (files[i].sineAsked)
            r.sine = files[i].sine;
    }
    const std::vector<TDifference> diffs = analysis::DifferencesToFirst(runs);

    if (pdf) {
        TReportOptions reportOptions;
        if (const auto title = parsed.Value("--title"))
            reportOptions.title = QString::fromStdString(*title);
        QByteArray bytes;
        if (!WriteComparisonPdf(runs, reportOptions, &bytes))
            return Fail(io, "cannot make the report " + *pdf, kExitFailure);
        if (!WriteOutput(io, *pdf, std::string_view(bytes.constData(), bytes.size())))
            return kExitFailure;
    }
    if (png && !WritePng(io, *png, RenderComparisonPlots(runs, kComparisonPictureSize)))
        return kExitFailure;
    if (report)
        return kExitOk;
    if (parsed.Flag("--json"))
        io.out << ComparisonJson(files, diffs) << '\n';
    else
        io.out << ComparisonTable(runs, diffs);
    io.out << std::flush;
    return kExitOk;
}

} // namespace

int Compare(const std::vector<std::string>& args, CliIo io)
{
    return CompareOrReport(args, io, false);
}

int Report(const std::vector<std::string>& args, CliIo io)
{
    return CompareOrReport(args, io, true);
}

} // namespace mirantos::cli
