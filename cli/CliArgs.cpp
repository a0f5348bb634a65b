#include "CliArgs.h"

#include "Tables.h"

#include <charconv>

namespace mirantos::cli {

std::optional<std::string> ParsedArgs::Value(std::string_view name) const
{
    const auto it = values.find(name);
    if (it == values.end())
        return std::nullopt;
    return it->second;
}

namespace {

const OptionSpec* Find(const std::vector<OptionSpec>& specs, std::string_view word)
{
    for (const OptionSpec& s : specs) {
        if (s.name == word || (!s.alias.empty() && s.alias == word))
            return &s;
    }
    return nullptr;
}

} // namespace

bool ParseArgs(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs,
               ParsedArgs& parsed, std::string& error)
{
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.size() < 2 || a[0] != '-') {
            parsed.positional.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        if (a == "--help" || a == "-h") {
            parsed.help = true;
            continue;
        }
        std::string_view word = a;
        std::optional<std::string> inlineValue;
        if (a.rfind("--", 0) == 0) {
            const size_t eq = a.find('=');
            if (eq != std::string::npos) {
                word = std::string_view(a).substr(0, eq);
                inlineValue = a.substr(eq + 1);
            }
        }
        const OptionSpec* option = Find(specs, word);
        if (option == nullptr) {
            error = "unknown option " + std::string(word);
            return false;
        }
        const std::string name(option->name);
        if (!option->takesValue) {
            if (inlineValue) {
                error = "option " + name + " takes no value";
                return false;
            }
            parsed.flags.insert(name);
            continue;
        }
        if (inlineValue) {
            parsed.values[name] = *inlineValue;
        } else if (i + 1 < args.size()) {
            parsed.values[name] = args[++i];
        } else {
            error = "option " + name + " needs a value";
            return false;
        }
    }
    return true;
}

bool ParseInt(std::string_view text, long long lo, long long hi, long long& value)
{
    if (text.empty() || text.front() == '+')
        return false;
    long long v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || v < lo || v > hi)
        return false;
    value = v;
    return true;
}

bool ParseUint64(std::string_view text, uint64_t& value)
{
    if (text.empty() || text.front() == '-' || text.front() == '+')
        return false;
    uint64_t v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size())
        return false;
    value = v;
    return true;
}

namespace {

std::string WithoutBlanks(std::string_view s)
{
    std::string r;
    for (char c : s) {
        if (c != ' ')
            r += c;
    }
    return r;
}

} // namespace

bool ParseRateText(std::string_view text, int& index)
{
    const std::string compact = WithoutBlanks(text);
    for (int i = 0; i < kRateItemCount; ++i) {
        const std::string_view item = kRateItems[static_cast<size_t>(i)];
        if (!compact.empty() && compact == WithoutBlanks(item)) {
            index = i;
            return true;
        }
    }
    long long v = 0;
    if (ParseInt(text, 0, kRateItemCount - 1, v)) {
        index = static_cast<int>(v);
        return true;
    }
    return false;
}

bool ParseCountText(std::string_view text, int& index)
{
    long long v = 0;
    if (!ParseInt(text, 0, kCountValues.back(), v))
        return false;
    for (int i = 0; i < kCountItemCount; ++i) {
        if (kCountValues[static_cast<size_t>(i)] == v) {
            index = i;
            return true;
        }
    }
    return false;
}

} // namespace mirantos::cli
