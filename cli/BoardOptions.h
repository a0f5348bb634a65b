#pragma once
// The options that choose and set up the board, shared by measure and capture:
// --board, --rate, --filter, --channels, --seed, --device and the simulated
// board's signal (--sim-flicker, --sim-drift, --sim-pickup, --sim-tone).

#include "CliArgs.h"
#include "Commands.h"
#include "ConsoleUi.h"
#include "SimBoard.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mirantos::cli {

struct BoardChoice {
    BoardKind board = BoardKind::Usb;
    uint64_t seed = 1;
    std::string device; // serial number of the USB board, optionally ":A" or ":B"
    // The simulated board's input (SimConfig's fields of the same meaning).
    double simFlickerNv = 0.0;
    double simDriftUvPerH = 0.0;
    double simPickupUv = 0.0;
    SimTone simTone;
};

// The specs of those options, to be joined with a command's own.
std::vector<OptionSpec> BoardOptionSpecs();

// The driver for the chosen board: the environment's when it brings one (the
// tests), else the simulated board or the USB one.
std::unique_ptr<IFtdiDriver> MakeBoardDriver(const BoardChoice& choice, const MeasureEnv& env);

// Reads them into `choice` and the controls they set; false with `problem`
// set on the first bad value.
bool ParseBoardOptions(const ParsedArgs& parsed, BoardChoice& choice, TControlValues& controls,
                       std::string& problem);

} // namespace mirantos::cli
