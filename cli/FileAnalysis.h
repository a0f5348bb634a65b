#pragma once
// One channel of one data file analysed as `analyze` does it: its options,
// the load, the channel's checks and every figure. compare and report go
// through the same steps for each of their files.

#include "CliArgs.h"
#include "Commands.h"
#include "LowFrequency.h"
#include "NoiseAnalysis.h"
#include "NoiseReport.h"
#include "SampleFile.h"
#include "SineAnalysis.h"

#include <string>

namespace mirantos::cli {

// --channel (0 or 1; -1 when not given). False after the usage message.
bool ParseChannelOption(const ParsedArgs& parsed, const char* usage, CliIo io, int& channel,
                        int& code);
// --bins, --segment, --window, --band. False after the usage message.
bool ParseAnalysisOptions(const ParsedArgs& parsed, const char* usage, CliIo io,
                          analysis::TAnalysisOptions& o, int& code);

// The sine-wave test's options of analyze, compare and report: --sine, --sine-window,
// --side-bins, --harmonics, --tone.
std::vector<OptionSpec> SineOptionSpecs();
// Nothing without --sine (the others then are a usage error). False after the usage message.
bool ParseSineOptions(const ParsedArgs& parsed, const char* usage, CliIo io,
                      std::optional<analysis::TSineOptions>& sine, int& code);

struct TFileAnalysis {
    TSampleSet samples;
    int channel = 0;
    analysis::TNoiseFigures figures;
    analysis::TLowFrequencyFigures lf;
    // Asked for by --sine: the sine-wave test's figures, or why there are none.
    bool sineAsked = false;
    analysis::TSineResult sine;
};

// Loads `path` and analyses `channel` (-1: the file's readout channel). False
// after the message naming the file (or the usage message for options the
// file's samples do not fit), with the exit code in `code`.
// With sine options, the sine-wave test too (a --tone the file's rate does not fit is a
// usage error).
bool AnalyseFile(const std::string& path, int channel, const analysis::TAnalysisOptions& options,
                 const char* usage, CliIo io, TFileAnalysis& out, int& code,
                 const std::optional<analysis::TSineOptions>& sine = std::nullopt);

} // namespace mirantos::cli
