#pragma once
// What every command on a data file does the same way: its command line with
// exactly one file, and the load with the window's rejection texts.

#include "CliArgs.h"
#include "Commands.h"
#include "Session.h"

#include <string>
#include <vector>

namespace mirantos::cli {

// Parses the arguments of a file command; on false the exit code is in `code`
// (after the usage message or the help text).
bool ParseFileCommand(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs,
                      const char* usage, CliIo io, ParsedArgs& parsed, int& code);

// Loads the file as the window does; false after the window's content error
// box (on the error stream). A file that cannot be opened at all gets a second
// line naming it and the system's reason, which the window's text leaves out;
// so does an empty or CR-only file or one with a byte order mark (ContentReason),
// and a FIFO or device ("not a regular file"), which is never opened blocking.
bool LoadOrReport(TCliSession& cli, const std::string& path, CliIo io);

} // namespace mirantos::cli
