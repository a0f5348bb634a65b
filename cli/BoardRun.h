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

// What test records of a run besides its data: filled, when asked for, as the run goes.
struct TRunReport {
    bool started = false;      // the board ran (a stop or failure before it: no run at all)
    std::string boardIdentity; // the USB device the board was opened on ("" for sim)
};

struct TDataSetRun {
    BoardChoice choice;
    TControlValues controls;
    std::optional<std::string> output; // with its ".DTA"
    bool force = false;
    std::optional<std::string> png;
    // Set, when given, to whether the board was the simulated one (its
    // driver says so; the board's own answers read like a real one's).
    bool* simulatedBoard = nullptr;
    // Set to ReadErrorText when the run ended in a read error (its data kept
    // from ten samples on).
    std::string* readFailure = nullptr;
    TRunReport* report = nullptr;
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
    TRunReport* report = nullptr;
};

// Opens the file, runs the board and streams every sample into it. The exit
// code of capture.
int RunCapture(const TCaptureJob& job, CliIo io, const MeasureEnv& env);

} // namespace mirantos::cli
