#pragma once
// mirantos-cli: the program's job from a terminal. Each command takes its
// arguments (without the program and command names) and writes to the streams
// it is given, so the tool and the tests run the very same code. A
// QGuiApplication (or QApplication) must exist; the commands never create one.

#include "FtdiDriver.h"

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace mirantos::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;       // a file the window rejects, a failed write
inline constexpr int kExitUsage = 2;         // bad command line
inline constexpr int kExitBoard = 3;         // the board could not be reached or failed
inline constexpr int kExitLimitFailed = 4;   // test: a limit of the limits file does not hold
inline constexpr int kExitInterrupted = 130; // Ctrl-C

struct CliIo {
    std::ostream& out;
    std::ostream& err;
    // Progress as a redrawn bar (a terminal) or as a line per 10 % (anything else).
    bool errIsTerminal = false;
};

enum class BoardKind { Usb, Sim };

// What `measure` needs from outside: where its board driver comes from, and
// who else wants to see the progress. Both may be left empty.
struct MeasureEnv {
    std::function<std::unique_ptr<IFtdiDriver>(BoardKind board, uint64_t seed)> makeDriver;
    std::function<void(int received, int target)> onSamples;
};

// The whole command line (argv[1..]): dispatches to a command, or handles
// --help and --version.
int Run(const std::vector<std::string>& args, CliIo io, const MeasureEnv& env = {});

int Measure(const std::vector<std::string>& args, CliIo io, const MeasureEnv& env = {});
// A long run streamed to a CSV file; uses `env` as measure does.
int Capture(const std::vector<std::string>& args, CliIo io, const MeasureEnv& env = {});
int Stats(const std::vector<std::string>& args, CliIo io);
int Plot(const std::vector<std::string>& args, CliIo io);
int Export(const std::vector<std::string>& args, CliIo io);
// A data file as the trace viewer shows it, as a PNG picture.
int View(const std::vector<std::string>& args, CliIo io);
// Needs a QApplication for --png: the plots are QCustomPlot widgets.
int Analyze(const std::vector<std::string>& args, CliIo io);
// Two to eight files analysed as analyze does, side by side, each against the first.
int Compare(const std::vector<std::string>& args, CliIo io);
// One to eight files as compare analyses them, as the A4 PDF report.
int Report(const std::vector<std::string>& args, CliIo io);

// A noise test: the limits file's settings on the board, each limit checked,
// the verdict printed and stored in the results database; uses `env` as measure does.
int Test(const std::vector<std::string>& args, CliIo io, const MeasureEnv& env = {});
// The results database's runs, or the trend of one figure; --sync sends the spool.
int Results(const std::vector<std::string>& args, CliIo io);
// results --spc: capability, control limits and rule breaks of one figure.
int ResultsSpc(const std::vector<std::string>& args, CliIo io);
// The dashboard over HTTP, read-only, until SIGINT or SIGTERM.
int Serve(const std::vector<std::string>& args, CliIo io);
// results --import-unsaved: the kept raw data of unstored runs into `db`.
int ImportUnsaved(const std::string& dbUrl, CliIo io);

// "mirantos-cli 1.10"
std::string VersionText();

} // namespace mirantos::cli
