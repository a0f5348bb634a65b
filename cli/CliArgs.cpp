#include "CliArgs.h"

#include "Tables.h"

#include <QCommandLineParser>
#include <QStringList>
#include <charconv>
#include <cmath>

namespace mirantos::cli {

std::optional<std::string> ParsedArgs::Value(std::string_view name) const
{
    const auto it = values.find(name);
    if (it == values.end())
        return std::nullopt;
    return it->second;
}

namespace {

QString Q(std::string_view s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// "--rate" -> "rate", "-o" -> "o".
QString NameOf(std::string_view option)
{
    while (!option.empty() && option.front() == '-')
        option.remove_prefix(1);
    return Q(option);
}

// The option word as the user typed it (before any "=value"), for messages.
std::string Typed(const std::vector<std::string>& args, const QString& name)
{
    for (const std::string& a : args) {
        if (a == "--")
            break;
        const std::string word = a.substr(0, a.find('='));
        if (!word.empty() && word[0] == '-' && NameOf(word) == name)
            return word;
    }
    return "--" + name.toStdString();
}

} // namespace

bool ParseArgs(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs,
               ParsedArgs& parsed, std::string& error)
{
    QCommandLineParser parser;
    // "-o" is one option, not the letters of several; options and file names may mix.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    parser.addOption(help);
    for (const OptionSpec& s : specs) {
        QStringList names{NameOf(s.name)};
        if (!s.alias.empty())
            names << NameOf(s.alias);
        parser.addOption(s.takesValue ? QCommandLineOption(names, QString(), QStringLiteral("v"))
                                      : QCommandLineOption(names));
    }

    // QCommandLineParser takes the first word for the program's name.
    QStringList words{QStringLiteral("mirantos-cli")};
    for (const std::string& a : args)
        words << QString::fromLocal8Bit(a.data(), static_cast<qsizetype>(a.size()));
    if (!parser.parse(words)) {
        // Our own wording, by what went wrong: an unknown option, a value missing
        // after an option, or a value given to a flag.
        if (!parser.unknownOptionNames().isEmpty()) {
            error = "unknown option " + Typed(args, parser.unknownOptionNames().front());
            return false;
        }
        for (const OptionSpec& s : specs) {
            const QString name = NameOf(s.name);
            const std::string typed = Typed(args, name);
            if (parser.errorText().contains(QLatin1Char('\'') + Q(typed) + QLatin1Char('\''))) {
                error = "option " + std::string(s.name) +
                        (s.takesValue ? " needs a value" : " takes no value");
                return false;
            }
        }
        error = parser.errorText().toStdString();
        return false;
    }

    parsed.help = parser.isSet(help);
    for (const OptionSpec& s : specs) {
        const QString name = NameOf(s.name);
        if (!parser.isSet(name))
            continue;
        if (s.takesValue) {
            const QStringList all = parser.values(name);
            parsed.values[std::string(s.name)] = all.constLast().toStdString();
            std::vector<std::string>& list = parsed.lists[std::string(s.name)];
            for (const QString& v : all)
                list.push_back(v.toStdString());
        } else
            parsed.flags.insert(std::string(s.name));
    }
    for (const QString& p : parser.positionalArguments())
        parsed.positional.push_back(p.toLocal8Bit().toStdString());
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

bool ParseDouble(std::string_view text, double& value)
{
    if (text.empty())
        return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && std::isfinite(value);
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
