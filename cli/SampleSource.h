#pragma once
// The samples of a data file for the commands that work on samples (export,
// the noise analysis): a .DTA file loaded as the window loads it, or a
// capture file read whole. Captures are told by their first line.

#include "Commands.h"
#include "SampleFile.h"

#include <string>

namespace mirantos::cli {

// False after telling why on the error stream: the window's content error box
// (and the system's reason) for a .DTA file, "FILE: line N: ..." for a capture.
// A capture cut short is read up to its last whole line, with a warning; so is
// one that ended with a write or read error.
bool LoadSamples(const std::string& path, TSampleSet& out, CliIo io);

// Why a file that was read is no data file, where its first bytes tell: it is
// empty, its lines end in CR alone, or it begins with a UTF-8 byte order mark
// (which the .DTA reader, like the window, does not skip). Empty otherwise.
std::string ContentReason(const std::string& path);

} // namespace mirantos::cli
