#include "Verdict.h"

#include "NoiseReport.h"
#include "ResultsDb.h"
#include "SineFigures.h"
#include "Tables.h"

#include <QDateTime>
#include <QUuid>
#include <QXmlStreamWriter>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <iterator>

namespace mirantos::station {

namespace {

bool NeedsLowFrequency(const TLimit& limit)
{
    const TFigureInfo* info = FindFigure(limit.figure);
    return limit.figure == "slope_uV_per_h" || (info != nullptr && info->needsLowFrequency);
}

bool Holds(const TLimit& limit, double value)
{
    return (!limit.min || value >= *limit.min) && (!limit.max || value <= *limit.max);
}

// Values to six significant digits, but every digit before the point of a
// large one (a mean code of 2147483648, a mean of 1200000.5 uV); limits as
// written (up to 15).
std::string ValueText(double v)
{
    return analysis::GeneralText(v, std::fabs(v) < 1e6 ? 6 : 12);
}

std::string LimitNumber(double v)
{
    return analysis::GeneralText(v, 15);
}

std::string Channel(int channel)
{
    return "ch" + std::to_string(channel);
}

// "band_rms_uV 0.1..10 Hz" for a band limit, else the figure's name.
std::string FigureText(const TLimit& limit)
{
    if (!limit.bandLowHz || !limit.bandHighHz)
        return limit.figure;
    return limit.figure + " " + LimitNumber(*limit.bandLowHz) + ".." +
           LimitNumber(*limit.bandHighHz) + " Hz";
}

std::string MarginText(const std::optional<double>& m)
{
    if (!m)
        return "-";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f %%", *m);
    return buf;
}

std::string Padded(const std::string& s, size_t width, bool right)
{
    const std::string pad(width > s.size() ? width - s.size() : 0, ' ');
    return right ? pad + s : s + pad;
}

QString Q(const std::string& s)
{
    return QString::fromStdString(s);
}

} // namespace

int TVerdict::Failed() const
{
    return static_cast<int>(std::count_if(checks.begin(), checks.end(),
                                          [](const TCheck& c) { return c.value && !c.pass; }));
}

int TVerdict::Errors() const
{
    return static_cast<int>(
        std::count_if(checks.begin(), checks.end(), [](const TCheck& c) { return !c.value; }));
}

results::ERunOutcome TVerdict::Outcome() const
{
    using results::ERunOutcome;
    if (!stopped.empty())
        return ERunOutcome::Aborted;
    if (!runError.empty())
        return ERunOutcome::Fail;
    if (DefinitionError())
        return ERunOutcome::Error;
    return pass ? ERunOutcome::Pass : ERunOutcome::Fail;
}

std::string TVerdict::OutcomeReason() const
{
    if (!stopped.empty())
        return stopped;
    if (!runError.empty())
        return runError;
    if (!DefinitionError())
        return {};
    // The first figure names the problem; the count says whether there is more.
    const auto first =
        std::find_if(checks.begin(), checks.end(), [](const TCheck& c) { return !c.value; });
    return "test definition: " + std::to_string(Errors()) + " of " + std::to_string(checks.size()) +
           " figures could not be computed (" + Channel(first->channel) + " " +
           FigureText(first->limit) + ": " + first->reason + ")";
}

std::optional<double> FigureValue(const TChannelFigures& f, const TLimit& limit,
                                  std::string* reason)
{
    auto none = [reason](std::string why) -> std::optional<double> {
        if (reason != nullptr)
            *reason = std::move(why);
        return std::nullopt;
    };
    const analysis::TNoiseFigures& n = f.noise;
    if (n.samples == 0)
        return none("no samples analysed");
    const std::optional<analysis::TLowFrequencyNoise>& lf = f.low.lf;
    const std::string& name = limit.figure;
    std::optional<double> v;
    if (name == "rms_uV")
        v = n.rmsUv;
    else if (name == "pp_uV")
        v = n.ppUv;
    else if (name == "rms_code")
        v = n.rmsCode;
    else if (name == "pp_code")
        v = n.ppCode;
    else if (name == "mean_uV")
        v = n.meanUv;
    else if (name == "mean_code")
        v = n.meanCode;
    else if (name == "effective_bits")
        v = n.effectiveBits;
    else if (name == "noise_free_bits")
        v = n.noiseFreeBits;
    else if (name == "nsd_median_nV")
        v = n.nsdMedianNv;
    else if (name == "band_rms_uV") {
        const double lo = limit.bandLowHz.value_or(0.0);
        const double hi = limit.bandHighHz.value_or(n.rateSps / 2.0);
        if (std::string empty = analysis::EmptyBandText(n.spectrum, lo, hi); !empty.empty())
            return none(std::move(empty));
        v = analysis::BandRms(n.spectrum, lo, hi);
    } else if (name == "slope_uV_per_h") {
        if (!f.low.slopeUvPerH)
            return none(f.low.slopeReason.empty() ? "not computed" : f.low.slopeReason);
        v = f.low.slopeUvPerH;
    } else if (name.rfind("lf_0p1_10Hz.", 0) == 0) {
        if (!lf)
            return none(f.low.lfReason.empty() ? "not computed" : f.low.lfReason);
        if (name == "lf_0p1_10Hz.pp_uV_median")
            v = lf->ppUvMedian;
        else if (name == "lf_0p1_10Hz.pp_uV_max")
            v = lf->ppUvMax;
        else if (name == "lf_0p1_10Hz.rms_uV")
            v = lf->rmsUv;
    } else if (FindFigure(name) != nullptr && FindFigure(name)->needsSine) {
        v = SineFigureValue(f.sine, name, reason);
        if (!v)
            return std::nullopt;
    }
    if (!v)
        return none("unknown figure " + name);
    if (!std::isfinite(*v))
        return none("not a finite number");
    if (reason != nullptr)
        reason->clear();
    return v;
}

std::optional<double> MarginPct(const TLimit& limit, std::optional<double> value)
{
    if (!value)
        return std::nullopt;
    std::optional<double> margin;
    auto take = [&margin](double m) { margin = margin ? std::min(*margin, m) : m; };
    if (limit.max && *limit.max != 0.0)
        take(100.0 * (*limit.max - *value) / std::fabs(*limit.max));
    if (limit.min && *limit.min != 0.0)
        take(100.0 * (*value - *limit.min) / std::fabs(*limit.min));
    return margin;
}

std::vector<TCheck> CheckChannel(const TTestLimits& limits, int channel,
                                 std::span<const uint32_t> codes, double rateSps, int32_t gain)
{
    std::vector<TCheck> checks;
    if (channel < 0 || channel > 1)
        return checks;
    const std::vector<TLimit>& wanted = limits.channels[static_cast<size_t>(channel)];
    if (wanted.empty())
        return checks;

    TChannelFigures f;
    std::string problem;
    const bool analysed =
        analysis::Analyze(codes, rateSps, gain, limits.settings.analysis, f.noise, &problem);
    // Drift and the 0.1-10 Hz band cost a pass or three over the samples: only when asked for.
    if (analysed && std::any_of(wanted.begin(), wanted.end(), NeedsLowFrequency))
        f.low = analysis::ComputeLowFrequency(codes, rateSps, gain);
    // The sine-wave test likewise, with the test's sine options.
    if (analysed && std::any_of(wanted.begin(), wanted.end(), NeedsSine)) {
        analysis::TSineResult& sine = f.sine.emplace();
        sine.figures =
            analysis::AnalyzeSine(codes, rateSps, gain, limits.settings.sine, &sine.reason);
    }

    for (const TLimit& limit : wanted) {
        TCheck c;
        c.channel = channel;
        c.limit = limit;
        if (analysed)
            c.value = FigureValue(f, limit, &c.reason);
        else
            c.reason = problem;
        c.pass = c.value && Holds(limit, *c.value);
        c.marginPct = MarginPct(limit, c.value);
        checks.push_back(std::move(c));
    }
    return checks;
}

TVerdict MakeVerdict(std::vector<TCheck> checks)
{
    TVerdict v;
    v.checks = std::move(checks);
    std::stable_sort(v.checks.begin(), v.checks.end(),
                     [](const TCheck& a, const TCheck& b) { return a.channel < b.channel; });
    v.pass = !v.checks.empty() && v.Failed() == 0;
    return v;
}

TVerdict WithRunError(TVerdict verdict, const std::string& error)
{
    verdict.runError = error;
    verdict.pass = false;
    return verdict;
}

TVerdict WithStop(TVerdict verdict, const std::string& reason)
{
    verdict.stopped = reason;
    verdict.pass = false;
    return verdict;
}

TVerdict CheckMeasuredChannels(const TTestLimits& limits, int chSel,
                               const std::array<std::span<const uint32_t>, 2>& codes,
                               double rateSps, int32_t gain)
{
    std::vector<TCheck> checks;
    for (int ch = 0; ch < 2; ++ch) {
        if (!HoldsChannel(chSel, ch))
            continue;
        std::vector<TCheck> c =
            CheckChannel(limits, ch, codes[static_cast<size_t>(ch)], rateSps, gain);
        std::move(c.begin(), c.end(), std::back_inserter(checks));
    }
    return MakeVerdict(std::move(checks));
}

std::string LimitText(const TLimit& limit)
{
    if (limit.min && limit.max)
        return LimitNumber(*limit.min) + " .. " + LimitNumber(*limit.max);
    if (limit.max)
        return "<= " + LimitNumber(*limit.max);
    if (limit.min)
        return ">= " + LimitNumber(*limit.min);
    return "-";
}

std::string VerdictTable(const TVerdict& verdict)
{
    using TRow = std::array<std::string, 6>;
    std::vector<TRow> rows{{"channel", "figure", "value", "limit", "result", "margin"}};
    std::vector<std::string> reasons{""};
    for (const TCheck& c : verdict.checks) {
        rows.push_back({Channel(c.channel), FigureText(c.limit),
                        c.value ? ValueText(*c.value) : "-", LimitText(c.limit),
                        c.pass    ? "PASS"
                        : c.value ? "FAIL"
                                  : "ERROR",
                        MarginText(c.marginPct)});
        reasons.push_back(c.value ? "" : c.reason);
    }
    std::array<size_t, 6> width{};
    for (const TRow& r : rows) {
        for (size_t i = 0; i < r.size(); ++i)
            width[i] = std::max(width[i], r[i].size());
    }
    // Numbers right-aligned, words left-aligned.
    constexpr std::array<bool, 6> right = {false, false, true, false, false, true};
    std::string out;
    for (size_t k = 0; k < rows.size(); ++k) {
        std::string line;
        for (size_t i = 0; i < rows[k].size(); ++i)
            line += (i == 0 ? "" : "  ") + Padded(rows[k][i], width[i], right[i]);
        if (!reasons[k].empty())
            line += "  (" + reasons[k] + ")";
        line.erase(line.find_last_not_of(' ') + 1);
        out += line + "\n";
    }
    const std::string of = " of " + std::to_string(verdict.checks.size());
    const int failed = verdict.Failed();
    if (!verdict.stopped.empty())
        out += "verdict: ABORTED (" + verdict.stopped +
               "; the figures are of the samples read before it)\n";
    else if (!verdict.runError.empty())
        out += "verdict: FAIL (" + verdict.runError + "; " +
               std::to_string(failed + verdict.Errors()) + of + " limits)\n";
    else if (verdict.DefinitionError())
        out += "verdict: ERROR (test definition: " + std::to_string(verdict.Errors()) + of +
               " figures could not be computed" +
               (failed > 0 ? "; " + std::to_string(failed) + of + " limits failed" : "") + ")\n";
    else
        out += verdict.pass ? std::string("verdict: PASS\n")
                            : "verdict: FAIL (" + std::to_string(failed) + of + " limits)\n";
    return out;
}

TRunFacts WithLimitsDefaults(TRunFacts facts, const TTestLimits& limits)
{
    if (facts.partNumber.empty())
        facts.partNumber = limits.partNumber;
    if (facts.lot.empty())
        facts.lot = limits.lot;
    return facts;
}

namespace {

// <element message=... type=...>message + more</element>, or an empty element without a type.
void WriteResult(QXmlStreamWriter& xml, const char* element, const std::string& message,
                 const char* type, const std::string& more = {})
{
    xml.writeStartElement(QLatin1String(element));
    xml.writeAttribute(QStringLiteral("message"), Q(message));
    if (type != nullptr)
        xml.writeAttribute(QStringLiteral("type"), QLatin1String(type));
    xml.writeCharacters(Q(message + more));
    xml.writeEndElement();
}

} // namespace

std::string JUnitXml(const TVerdict& verdict, const TTestLimits& limits, const TRunFacts& given,
                     double seconds)
{
    const TRunFacts facts = WithLimitsDefaults(given, limits);
    const bool simulatedBoard = facts.boardKind == "sim";
    // A dashboard shows the suite's name, seldom its properties: a simulated
    // board's result must not read as a real board's there either.
    const std::string suite = simulatedBoard ? limits.name + " (simulated board)" : limits.name;
    QByteArray text;
    QXmlStreamWriter xml(&text);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    // A stopped run says nothing for or against the board: every case is
    // skipped, so CI shows neither a pass nor a failure of it.
    const bool stopped = !verdict.stopped.empty();
    const bool runCase = stopped || !verdict.runError.empty();
    const size_t cases = verdict.checks.size() + (runCase ? 1 : 0);
    const QString tests = QString::number(cases);
    const QString errors =
        QString::number(stopped ? 0 : verdict.Errors() + (verdict.runError.empty() ? 0 : 1));
    const QString failures = QString::number(stopped ? 0 : verdict.Failed());
    const QString skipped = QString::number(stopped ? cases : 0);
    const QString time = Q(analysis::GeneralText(seconds, 6));
    for (const bool suites : {true, false}) {
        xml.writeStartElement(suites ? QStringLiteral("testsuites") : QStringLiteral("testsuite"));
        xml.writeAttribute(QStringLiteral("name"), Q(suite));
        xml.writeAttribute(QStringLiteral("tests"), tests);
        xml.writeAttribute(QStringLiteral("failures"), failures);
        xml.writeAttribute(QStringLiteral("errors"), errors);
        xml.writeAttribute(QStringLiteral("skipped"), skipped);
        if (!suites)
            xml.writeAttribute(QStringLiteral("timestamp"), Q(facts.startedUtc));
        xml.writeAttribute(QStringLiteral("time"), time);
    }

    xml.writeStartElement(QStringLiteral("properties"));
    for (const auto& [name, value] :
         {std::pair{"serial", facts.serial}, std::pair{"test_version", limits.version},
          std::pair{"sha256", limits.sha256},
          std::pair{"board", std::string(simulatedBoard ? "simulated" : "usb")},
          std::pair{"board_identity", facts.boardIdentity},
          std::pair{"part_number", facts.partNumber}, std::pair{"lot", facts.lot},
          std::pair{"dut_id", facts.dutHardwareId},
          std::pair{"outcome", std::string(results::OutcomeText(verdict.Outcome()))},
          std::pair{"outcome_reason", verdict.OutcomeReason()}}) {
        xml.writeEmptyElement(QStringLiteral("property"));
        xml.writeAttribute(QStringLiteral("name"), QString::fromLatin1(name));
        xml.writeAttribute(QStringLiteral("value"), Q(value));
    }
    xml.writeEndElement();

    const QString classname = Q("mirantos." + facts.serial);
    if (runCase) {
        // The data stops where reading the board failed, or where the run was
        // stopped: no limit below speaks for the board.
        xml.writeStartElement(QStringLiteral("testcase"));
        xml.writeAttribute(QStringLiteral("classname"), classname);
        xml.writeAttribute(QStringLiteral("name"), QStringLiteral("run"));
        if (stopped)
            WriteResult(xml, "skipped", verdict.stopped, nullptr);
        else
            WriteResult(xml, "error", verdict.runError, "read error");
        xml.writeEndElement();
    }
    for (const TCheck& c : verdict.checks) {
        xml.writeStartElement(QStringLiteral("testcase"));
        xml.writeAttribute(QStringLiteral("classname"), classname);
        xml.writeAttribute(QStringLiteral("name"), Q(Channel(c.channel) + " " + c.limit.figure));
        const std::string value = c.value
                                      ? FigureText(c.limit) + " " + ValueText(*c.value)
                                      : FigureText(c.limit) + " not computed (" + c.reason + ")";
        const std::string message = value + ", limit " + LimitText(c.limit);
        if (stopped)
            WriteResult(xml, "skipped", verdict.stopped + "; before it: " + message, nullptr);
        else if (!c.value)
            // Not the board's fault: the test asks for a figure this run cannot
            // give, or the run ended before it could.
            WriteResult(xml, "error", message,
                        verdict.runError.empty() ? "test definition" : "read error");
        else if (!c.pass)
            WriteResult(xml, "failure", message, "limit",
                        c.marginPct ? ", margin " + MarginText(c.marginPct) : "");
        xml.writeEndElement();
    }
    xml.writeEndDocument();
    return text.toStdString();
}

results::TRunRecord MakeRunRecord(const TTestLimits& limits, const TVerdict& verdict,
                                  const TRunFacts& given)
{
    const TRunFacts facts = WithLimitsDefaults(given, limits);
    results::TRunRecord r;
    r.uuid = NewUuid();
    r.serial = facts.serial;
    r.operatorName = facts.operatorName;
    r.station = facts.station;
    r.testName = limits.name;
    r.testVersion = limits.version;
    r.testContent = limits.content;
    r.testSha256 = limits.sha256;
    r.startedUtc = facts.startedUtc;
    r.endedUtc = facts.endedUtc;
    r.settingsJson = limits.settings.Json();
    r.outcome = verdict.Outcome();
    r.outcomeReason = verdict.OutcomeReason();
    r.programVersion = facts.programVersion;
    r.dataPath = facts.dataPath;
    r.dataSha256 = facts.dataSha256;
    r.partNumber = facts.partNumber;
    r.lot = facts.lot;
    r.dutHardwareId = facts.dutHardwareId;
    r.boardKind = facts.boardKind;
    r.boardIdentity = facts.boardKind == "sim" ? std::string() : facts.boardIdentity;
    for (const TCheck& c : verdict.checks) {
        results::TMeasurementRow row(c.channel, c.limit.figure, c.value, c.limit.min, c.limit.max,
                                     c.pass);
        if (const TFigureInfo* info = FindFigure(c.limit.figure))
            row.unit = std::string(info->storedUnit);
        if (c.limit.figure == "band_rms_uV") {
            row.bandLowHz = c.limit.bandLowHz.value_or(0.0);
            row.bandHighHz = c.limit.bandHighHz.value_or(limits.settings.RateSps() / 2.0);
        } else if (c.limit.figure.starts_with("lf_0p1_10Hz.")) {
            row.bandLowHz = analysis::kLfLowHz;
            row.bandHighHz = analysis::kLfHighHz;
        }
        if (!c.value)
            row.reason = c.reason;
        r.measurements.push_back(std::move(row));
    }
    return r;
}

std::string NewUuid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toLower().toStdString();
}

std::string UtcNow()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toStdString();
}

std::string KeptDataName(const std::string& serial, const std::string& startedUtc,
                         const std::string& extension)
{
    // Bounded, so a name with its stamp, suffix and extension stays far below NAME_MAX.
    std::string name = serial.empty() ? "_" : serial.substr(0, 64);
    for (char& c : name) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
        if (!plain)
            c = '_';
    }
    // "2026-12-08T07:30:00.123Z" -> "20261208T073000Z": the digits and the T up to the seconds.
    std::string stamp;
    for (char c : startedUtc) {
        if (c == '.' || c == 'Z' || c == '+')
            break;
        if ((c >= '0' && c <= '9') || c == 'T')
            stamp += c;
    }
    return name + "_" + stamp + "Z" + extension;
}

std::string FreeKeptPath(const std::string& dir, const std::string& serial,
                         const std::string& startedUtc, const std::string& extension)
{
    namespace fs = std::filesystem;
    const std::string stem = (fs::path(dir) / KeptDataName(serial, startedUtc, "")).string();
    std::string path = stem + extension;
    std::error_code ec;
    for (int n = 2; n <= 1000 && fs::exists(fs::symlink_status(path, ec)); ++n)
        path = stem + "-" + std::to_string(n) + extension;
    return path;
}

} // namespace mirantos::station
