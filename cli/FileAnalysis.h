#pragma once
// One channel of one data file analysed as `analyze` does it: its options,
// the load, the channel's checks and every figure. compare and report go
// through the same steps for each of their files.

#include "CliArgs.h"
#include "Commands.h"
#include "LowFrequency.h"
#include "NoiseAnalysis.h"
#include "SampleFile.h"

#include <string>

namespace mirantos::cli {

// --channel (0 or 1; -1 when not given). False after the usage message.
bool ParseChannelOption(const ParsedArgs& parsed, const char* usage, CliIo io, int& channel,
                        int& code);
// --bins, --segment, --window, --band. False after the usage message.
bool ParseAnalysisOptions(const ParsedArgs& parsed, const char* usage, CliIo io,
                          analysis::TAnalysisOptions& o, int& code);

struct TFileAnalysis {
    TSampleSet samples;
    int channel = 0;
    analysis::TNoiseFigures figures;
    analysis::TLowFrequencyFigures lf;
};

// Loads `path` and analyses `channel` (-1: the file's readout channel). False
// after the message naming the file (or the usage message for options the
// file's samples do not fit), with the exit code in `code`.
bool AnalyseFile(const std::string& path, int channel, const analysis::TAnalysisOptions& options,
                 const char* usage, CliIo io, TFileAnalysis& out, int& code);

} // namespace mirantos::cli
