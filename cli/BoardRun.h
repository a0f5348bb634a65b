#pragma once
// One run on the board with its settings chosen and its files checked: a data
// set saved as a .DTA file (measure) or a capture streamed to a CSV file
// (capture). test runs them the same way with the limits file's settings.

#include "BoardOptions.h"
#include "Commands.h"

#include <cstdint>
#include <optional>
#include <string>

namespace mirantos::cli {

struct TDataSetRun {
    BoardChoice choice;
    TControlValues controls;
    std::optional<std::string> output; // with its ".DTA"
    bool force = false;
    std::optional<std::string> png;
    // Set, when given, to whether the board was the simulated one (its
    // driver says so; the board's own answers read like a real one's).
    bool* simulatedBoard = nullptr;
    // Set to ReadErrorText when the run ended in a read error and its data was kept.
    std::string* readFailure = nullptr;
};

// How a run that ended in a read error is named in a verdict: "read error: <reason>".
std::string ReadErrorText(const std::string& reason);

// Runs the board, prints the readout on `io.out`, saves and draws what was
// asked. The exit code of measure.
int RunDataSet(const TDataSetRun& run, CliIo io, const MeasureEnv& env);

struct TCaptureJob {
    BoardChoice choice;
    TControlValues controls;
    int32_t count = 0; // kMinCaptureCount..kBoardMaxCount
    std::string output;
    bool force = false;
    bool* simulatedBoard = nullptr; // as TDataSetRun's
    // As in TDataSetRun.
    std::string* readFailure = nullptr;
};

// Opens the file, runs the board and streams every sample into it. The exit
// code of capture.
int RunCapture(const TCaptureJob& job, CliIo io, const MeasureEnv& env);

} // namespace mirantos::cli
