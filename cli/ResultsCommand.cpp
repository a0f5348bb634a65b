// results: what the results database holds, as a table for a person, CSV for
// a spreadsheet or JSON for a script: the runs matching the filters, or with
// --figure the trend of one figure with its limits. --sync sends the spool's
// unsent runs to the server. A page at a time (--limit, --offset, --after),
// each row written as it is read.

#include "CliArgs.h"
#include "Commands.h"
#include "Limits.h"
#include "NoiseReport.h"
#include "ResultsDb.h"
#include "ResultsText.h"
#include "Spool.h"
#include "Usage.h"
#include "Verdict.h"

#include <QFileInfo>
#include <QString>
#include <algorithm>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>

namespace mirantos::cli {

namespace {

enum class Format { Table, Csv, Json };

struct ResultsOptions {
    results::TDbTarget db;
    results::TRunQuery query;
    std::optional<std::string> figure;
    Format format = Format::Table;
    bool sync = false;
    bool importUnsaved = false;
    std::string dbUrl;
    bool pending = false;
};

// A listing shows this many rows unless --limit says otherwise (0: all).
constexpr long long kDefaultLimit = 1000;

// The options that choose a page: --limit, --offset, --after.
std::vector<OptionSpec> WithPaging(std::vector<OptionSpec> specs)
{
    specs.insert(specs.end(),
                 {{"--limit", "", true}, {"--offset", "", true}, {"--after", "", true}});
    return specs;
}

bool ParsePaging(const ParsedArgs& parsed, ResultsOptions& o,
                 const std::function<bool(const std::string&)>& usage)
{
    for (const char* option : {"--limit", "--offset", "--after"})
        if (parsed.Flag("--sync") && parsed.Value(option))
            return usage(std::string("--sync takes no ") + option);
    o.query.limit = kDefaultLimit;
    if (const auto v = parsed.Value("--limit"); v && !ParseInt(*v, 0, 1LL << 40, o.query.limit))
        return usage("--limit takes a number of rows (0: all), not \"" + *v + "\"");
    if (const auto v = parsed.Value("--offset"); v && !ParseInt(*v, 0, 1LL << 40, o.query.offset))
        return usage("--offset takes a number of rows to skip, not \"" + *v + "\"");
    o.query.afterUuid = parsed.Value("--after");
    return true;
}

bool ParseResults(const std::vector<std::string>& args, CliIo io, ResultsOptions& o, int& code)
{
    const std::vector<OptionSpec> specs = {{"--db", "", true},      {"--serial", "", true},
                                           {"--test", "", true},    {"--since", "", true},
                                           {"--failed", "", false}, {"--figure", "", true},
                                           {"--csv", "", false},    {"--json", "", false},
                                           {"--sync", "", false},   {"--import-unsaved", "", false},
                                           {"--pending", "", false}};
    auto usage = [&](const std::string& problem) {
        code = UsageError(io, problem, kResultsUsage);
        return false;
    };
    ParsedArgs parsed;
    if (!ParseCommandArgs(args, WithPaging(specs), kResultsUsage, io, parsed, code))
        return false;
    if (!parsed.positional.empty())
        return usage("unexpected argument \"" + parsed.positional.front() + "\"");
    std::string error;
    const auto db = results::ParseDbUrl(parsed.Value("--db").value_or(""), error);
    if (!db)
        return usage("--db: " + error);
    o.db = *db;
    o.dbUrl = parsed.Value("--db").value_or("");
    if ((o.importUnsaved = parsed.Flag("--import-unsaved"))) {
        for (const char* other : {"--serial", "--test", "--since", "--failed", "--figure", "--csv",
                                  "--json", "--sync"}) {
            if (parsed.Value(other) || parsed.Flag(other))
                return usage(std::string("--import-unsaved takes no ") + other);
        }
        return true;
    }
    if (!ParsePaging(parsed, o, usage))
        return false;
    o.sync = parsed.Flag("--sync");
    o.pending = parsed.Flag("--pending");
    if (o.sync && o.pending)
        return usage("--sync and --pending go separately");
    if (o.pending) {
        for (const char* other : {"--db", "--serial", "--test", "--since", "--failed", "--figure"})
            if (parsed.Value(other) || parsed.Flag(other))
                return usage(std::string("--pending takes no ") + other);
    }
    if (o.sync) {
        for (const char* other :
             {"--serial", "--test", "--since", "--failed", "--figure", "--csv", "--json"}) {
            if (parsed.Value(other) || parsed.Flag(other))
                return usage(std::string("--sync takes no ") + other);
        }
        if (o.db.engine != results::TDbTarget::Engine::Postgres)
            return usage("--sync sends to a server: give --db postgresql://...");
        return true;
    }
    o.query.serial = parsed.Value("--serial");
    o.query.testName = parsed.Value("--test");
    if (const auto v = parsed.Value("--since")) {
        // "2026-12-01", or a date and time in ISO 8601 (UTC unless it says otherwise).
        if (!results::CanonicalUtc(*v))
            return usage("--since takes a date (2026-12-01) or a UTC time "
                         "(2026-12-01T08:00:00Z), not \"" +
                         *v + "\"");
        o.query.sinceUtc = *v;
    }
    o.query.failedOnly = parsed.Flag("--failed");
    if (const auto v = parsed.Value("--figure")) {
        if (!station::FindFigure(*v)) {
            std::string names;
            for (const station::TFigureInfo& f : station::Figures())
                names += (names.empty() ? "" : ", ") + std::string(f.name);
            return usage("--figure takes one of " + names + ", not \"" + *v + "\"");
        }
        o.figure = *v;
    }
    if (parsed.Flag("--csv") && parsed.Flag("--json"))
        return usage("give --csv or --json, not both");
    o.format = parsed.Flag("--csv")    ? Format::Csv
               : parsed.Flag("--json") ? Format::Json
                                       : Format::Table;
    return true;
}

std::string Number(const std::optional<double>& v)
{
    return v ? analysis::GeneralText(*v, 6) : std::string();
}

nlohmann::json JsonNumber(const std::optional<double>& v)
{
    return v ? nlohmann::json(*v) : nlohmann::json(nullptr);
}

using Row = std::vector<std::string>;

// A JSON array written one element at a time, in the layout of dump(2).
class TJsonList {
public:
    TJsonList(std::ostream& out, std::string indent) : out_(out), indent_(std::move(indent))
    {
        out_ << '[';
    }
    void Add(const nlohmann::json& item)
    {
        std::string text = item.dump(2);
        std::string shifted;
        for (char c : text) {
            shifted += c;
            if (c == '\n')
                shifted += indent_ + "  ";
        }
        out_ << (first_ ? "\n" : ",\n") << indent_ << "  " << shifted;
        first_ = false;
    }
    void End() { out_ << (first_ ? "]" : "\n" + indent_ + "]"); }

private:
    std::ostream& out_;
    std::string indent_;
    bool first_ = true;
};

// Streams the page of runs; `more` when a run follows the page, `last` the page's last uuid.
bool PrintRuns(std::ostream& out, results::TResultsDb& db, results::TRunQuery query, Format format,
               bool& more, std::string& last, std::string& error)
{
    const long long limit = query.limit;
    if (limit > 0)
        ++query.limit; // one more tells whether another page follows
    long long shown = 0;
    std::optional<TJsonList> json;
    std::optional<TRowWriter> table;
    if (format == Format::Json) {
        json.emplace(out, "");
    } else {
        Row header = {"started_utc", "serial",   "test",    "version", "verdict",
                      "failed",      "operator", "station", "uuid"};
        // New columns go last, so scripts reading the older ones by position keep working.
        if (format == Format::Csv)
            header.insert(header.end(), {"ended_utc", "data_path", "data_sha256", "outcome",
                                         "reason", "part_number", "lot", "dut_hw_id", "board_kind",
                                         "board_identity", "received_utc"});
        else
            header.push_back("reason");
        table.emplace(out, format == Format::Csv, header,
                      std::vector<size_t>{24, 12, 16, 7, 7, 6, 10, 12, 36, 0});
    }
    more = false;
    const bool ok = db.EachRun(
        query,
        [&](const results::TRunSummary& r) {
            if (limit > 0 && shown == limit) {
                more = true;
                return false;
            }
            ++shown;
            last = r.uuid;
            if (json) {
                json->Add({{"uuid", r.uuid},
                           {"serial", r.serial},
                           {"operator", r.operatorName},
                           {"station", r.station},
                           {"test", r.testName},
                           {"test_version", r.testVersion},
                           {"started_utc", r.startedUtc},
                           {"ended_utc", r.endedUtc},
                           {"pass", r.pass},
                           {"failed_limits", r.failedLimits},
                           {"data_path", r.dataPath},
                           {"data_sha256", r.dataSha256},
                           {"outcome", results::OutcomeText(r.outcome)},
                           {"reason", r.outcomeReason},
                           {"part_number", r.partNumber},
                           {"lot", r.lot},
                           {"dut_hw_id", r.dutHardwareId},
                           {"board_kind", r.boardKind},
                           {"board_identity", r.boardIdentity},
                           {"received_utc", r.receivedUtc}});
                return true;
            }
            const std::string outcome = results::OutcomeText(r.outcome);
            Row row = {r.startedUtc,   r.serial,  r.testName,
                       r.testVersion,  outcome,   std::to_string(r.failedLimits),
                       r.operatorName, r.station, r.uuid};
            if (format == Format::Csv)
                row.insert(row.end(), {r.endedUtc, r.dataPath, r.dataSha256, outcome,
                                       r.outcomeReason, r.partNumber, r.lot, r.dutHardwareId,
                                       r.boardKind, r.boardIdentity, r.receivedUtc});
            else
                row.push_back(r.outcomeReason);
            table->Row(row);
            return true;
        },
        error);
    if (json) {
        json->End();
        out << '\n';
    }
    return ok;
}

// Streams the page of a figure's trend (rows of points); `more` as for PrintRuns.
bool PrintTrend(std::ostream& out, results::TResultsDb& db, const results::TRunQuery& query,
                const std::string& figure, Format format, bool& more, std::string& error)
{
    long long skipped = 0, shown = 0;
    std::optional<TJsonList> json;
    std::optional<TRowWriter> table;
    if (format == Format::Json) {
        out << "{\n  \"figure\": " << nlohmann::json(figure).dump() << ",\n  \"points\": ";
        json.emplace(out, "  ");
    } else {
        Row header{"started_utc", "serial", "channel", figure, "low", "high", "verdict"};
        if (format == Format::Csv)
            header.insert(header.end(), {"unit", "band_low_hz", "band_high_hz", "reason"});
        else
            header.insert(header.end(), {"unit", "reason"});
        table.emplace(out, format == Format::Csv, header,
                      std::vector<size_t>{24, 12, 7, 10, 10, 10, 7, 7, 0});
    }
    more = false;
    const bool ok = db.EachTrendPoint(
        query, figure,
        [&](const results::TTrendPoint& p) {
            if (skipped < query.offset) {
                ++skipped;
                return true;
            }
            if (query.limit > 0 && shown == query.limit) {
                more = true;
                return false;
            }
            ++shown;
            if (json)
                json->Add({{"started_utc", p.startedUtc},
                           {"serial", p.serial},
                           {"uuid", p.uuid},
                           {"channel", p.channel},
                           {"value", JsonNumber(p.value)},
                           {"low", JsonNumber(p.low)},
                           {"high", JsonNumber(p.high)},
                           {"pass", p.pass},
                           {"unit", p.unit},
                           {"band_low_hz", JsonNumber(p.bandLowHz)},
                           {"band_high_hz", JsonNumber(p.bandHighHz)},
                           {"reason", p.reason}});
            else if (format == Format::Csv)
                table->Row({p.startedUtc, p.serial, "ch" + std::to_string(p.channel),
                            Number(p.value), Number(p.low), Number(p.high),
                            p.pass ? "PASS" : "FAIL", p.unit, Number(p.bandLowHz),
                            Number(p.bandHighHz), p.reason});
            else
                table->Row({p.startedUtc, p.serial, "ch" + std::to_string(p.channel),
                            Number(p.value), Number(p.low), Number(p.high),
                            p.pass ? "PASS" : "FAIL", p.unit, p.reason});
            return true;
        },
        error);
    if (json) {
        json->End();
        out << "\n}\n";
    }
    return ok;
}

// `--pending`: what waits in the spool, for which server, since when, and why.
int ListPending(CliIo io, Format format)
{
    const std::string spool = results::DefaultSqlitePath();
    std::vector<results::TPendingRun> pending;
    std::string error;
    if (!results::PendingRuns(spool, pending, error))
        return Fail(io, error, kExitFailure);
    if (format == Format::Json) {
        nlohmann::json list = nlohmann::json::array();
        for (const results::TPendingRun& p : pending)
            list.push_back({{"uuid", p.uuid},
                            {"serial", p.serial},
                            {"server", p.entry.url},
                            {"server_identity", p.entry.server},
                            {"since_utc", p.entry.since},
                            {"refused", p.entry.refused},
                            {"last_error", p.entry.error}});
        io.out << list.dump(2) << '\n';
    } else {
        TRowWriter rows(io.out, format == Format::Csv,
                        {"uuid", "serial", "server", "since_utc", "state", "last_error"},
                        {36, 12, 24, 20, 7, 0});
        for (const results::TPendingRun& p : pending)
            rows.Row({p.uuid, p.serial, p.entry.url, p.entry.since,
                      p.entry.refused ? "refused" : "waiting",
                      // libpq's messages run over lines: one row per run.
                      QString::fromStdString(p.entry.error).simplified().toStdString()});
        if (format == Format::Table)
            io.err << pending.size() << " result" << (pending.size() == 1 ? "" : "s")
                   << " waiting in " << spool << '\n';
    }
    io.out << std::flush;
    return io.out ? kExitOk : Fail(io, "cannot write to standard output", kExitFailure);
}

} // namespace

int Results(const std::vector<std::string>& args, CliIo io)
{
    if (std::find(args.begin(), args.end(), "--spc") != args.end())
        return ResultsSpc(args, io);
    ResultsOptions o;
    int code = kExitOk;
    if (!ParseResults(args, io, o, code))
        return code;

    if (o.importUnsaved)
        return ImportUnsaved(o.dbUrl, io);
    std::string error;
    if (o.pending)
        return ListPending(io, o.format);
    if (o.sync) {
        const std::string spool = results::DefaultSqlitePath();
        results::TSyncReport report;
        const bool ok = results::SyncSpool(o.db, spool, report, error);
        io.err << report.sent << " result" << (report.sent == 1 ? "" : "s") << " sent from "
               << spool << " to " << o.db.Display() << '\n';
        for (const std::string& refused : report.refused)
            io.err << "not sent: " << refused << '\n';
        if (report.elsewhere > 0)
            io.err << report.elsewhere << " waiting for another server\n";
        io.err << std::flush;
        return ok ? kExitOk : Fail(io, error, kExitFailure);
    }

    // Reading never makes a database: a mistyped file name is an error, not an empty list.
    if (o.db.engine == results::TDbTarget::Engine::Sqlite &&
        !QFileInfo::exists(QString::fromStdString(o.db.sqlitePath)))
        return Fail(io,
                    o.db.sqlitePath + ": no results database (test makes it with its first run)",
                    kExitFailure);
    const auto db = results::TResultsDb::Open(o.db, error);
    if (!db)
        return Fail(io, error, kExitFailure);
    bool more = false;
    std::string last;
    const bool ok = o.figure ? PrintTrend(io.out, *db, o.query, *o.figure, o.format, more, error)
                             : PrintRuns(io.out, *db, o.query, o.format, more, last, error);
    io.out << std::flush;
    if (!ok)
        return Fail(io, error, kExitFailure);
    if (more) {
        // On the error stream, so a CSV or JSON page stays what it is.
        const std::string next = o.figure
                                     ? "--offset " + std::to_string(o.query.offset + o.query.limit)
                                     : "--after " + TerminalText(last);
        io.err << "more rows follow; the next page: the same command with " << next
               << (o.query.offset > 0 && !o.figure ? " (without --offset)" : "") << '\n'
               << std::flush;
    }
    io.out << std::flush;
    return io.out ? kExitOk : Fail(io, "cannot write to standard output", kExitFailure);
}

} // namespace mirantos::cli
