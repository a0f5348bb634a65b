#pragma once
// The command line of a command, read with QCommandLineParser: long options
// with a value ("--rate 1ksps" or "--rate=1ksps"), short aliases ("-o FILE"),
// flags, positional arguments and "--" to end the options. It reports the first
// problem as text in the tool's own words and never prints or exits itself.

#include "Tables.h"

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace mirantos::cli {

struct OptionSpec {
    std::string_view name;  // "--rate"
    std::string_view alias; // "-o", or empty
    bool takesValue = true;
};

struct ParsedArgs {
    std::map<std::string, std::string, std::less<>> values; // by long name; the last one given wins
    // Every value of an option, in the order given (for one that may repeat).
    std::map<std::string, std::vector<std::string>, std::less<>> lists;
    std::set<std::string, std::less<>> flags;
    std::vector<std::string> positional;
    bool help = false; // --help or -h anywhere among the options

    std::optional<std::string> Value(std::string_view name) const;
    bool Flag(std::string_view name) const { return flags.count(name) != 0; }
};

// False with `error` set on an unknown option or a missing value.
bool ParseArgs(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs,
               ParsedArgs& parsed, std::string& error);

// Whole decimal number in [lo, hi]; no sign for unsigned, no blanks, no suffix.
bool ParseInt(std::string_view text, long long lo, long long hi, long long& value);
bool ParseUint64(std::string_view text, uint64_t& value);
// A finite decimal number, the whole text.
bool ParseDouble(std::string_view text, double& value);

// A rate of the window's list by its text or index: record's, shared with the limits files.
using mirantos::ParseRateText;
// A sample count of the window's list (100 ... 10000) to its index.
bool ParseCountText(std::string_view text, int& index);

} // namespace mirantos::cli
