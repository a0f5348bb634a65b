#pragma once
// Usage texts of the tool and its commands, and the common way to report a
// bad command line.

#include "CliArgs.h"
#include "Commands.h"

#include <string>
#include <string_view>
#include <vector>

namespace mirantos::cli {

extern const char* const kMainUsage;
extern const char* const kMeasureUsage;
extern const char* const kCaptureUsage;
extern const char* const kStatsUsage;
extern const char* const kPlotUsage;
extern const char* const kExportUsage;
extern const char* const kViewUsage;
extern const char* const kAnalyzeUsage;
extern const char* const kCompareUsage;
extern const char* const kReportUsage;
extern const char* const kTestUsage;
extern const char* const kResultsUsage;
extern const char* const kServeUsage;

// "mirantos-cli: <problem>" and the usage on the error stream; returns kExitUsage.
int UsageError(CliIo io, std::string_view problem, const char* usage);
// The usage on the output stream; returns kExitOk.
int PrintHelp(CliIo io, const char* usage);
// "mirantos-cli: <problem>" on the error stream; returns `code`.
int Fail(CliIo io, std::string_view problem, int code);

// A command's arguments against its options; false after the usage message or
// the help text, with the exit code in `code`.
bool ParseCommandArgs(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs,
                      const char* usage, CliIo io, ParsedArgs& parsed, int& code);

} // namespace mirantos::cli
