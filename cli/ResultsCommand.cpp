// results: what the results database holds, as a table for a person, CSV for
// a spreadsheet or JSON for a script: the runs matching the filters, or with
// --figure the trend of one figure with its limits. --sync sends the spool's
// unsent runs to the server.

#include "CliArgs.h"
#include "Commands.h"
#include "Limits.h"
#include "NoiseReport.h"
#include "ResultsDb.h"
#include "Spool.h"
#include "Usage.h"
#include "Verdict.h"

#include <QFileInfo>
#include <QString>
#include <algorithm>
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

bool ParseResults(const std::vector<std::string>& args, CliIo io, ResultsOptions& o, int& code)
{
    const std::vector<OptionSpec> specs = {
        {"--db", "", true},      {"--serial", "", true},
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
    if (!ParseCommandArgs(args, specs, kResultsUsage, io, parsed, code))
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
        // read_error: the runs that ended in a read error, each a failed row.
        if (!station::FindFigure(*v) && *v != station::kReadErrorFigure) {
            std::string names;
            for (const station::TFigureInfo& f : station::Figures())
                names += (names.empty() ? "" : ", ") + std::string(f.name);
            names += ", " + std::string(station::kReadErrorFigure);
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

std::string CsvField(const std::string& s)
{
    if (s.find_first_of(",\"\r\n") == std::string::npos)
        return s;
    std::string quoted = "\"";
    for (char c : s) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

using Row = std::vector<std::string>;

// Columns padded to their widest cell, two blanks apart; CSV with the same header.
void PrintRows(std::ostream& out, const Row& header, const std::vector<Row>& rows, Format format)
{
    if (format == Format::Csv) {
        auto csvLine = [&out](const Row& r) {
            for (size_t i = 0; i < r.size(); ++i)
                out << (i ? "," : "") << CsvField(r[i]);
            out << '\n';
        };
        csvLine(header);
        for (const Row& r : rows)
            csvLine(r);
        return;
    }
    std::vector<size_t> widths(header.size());
    for (size_t i = 0; i < header.size(); ++i) {
        widths[i] = header[i].size();
        for (const Row& r : rows)
            widths[i] = std::max(widths[i], r[i].size());
    }
    auto line = [&](const Row& r) {
        std::string text;
        for (size_t i = 0; i < r.size(); ++i) {
            text += r[i];
            if (i + 1 < r.size())
                text += std::string(widths[i] - r[i].size() + 2, ' ');
        }
        out << text << '\n';
    };
    line(header);
    for (const Row& r : rows)
        line(r);
}

void PrintRuns(std::ostream& out, const std::vector<results::TRunSummary>& runs, Format format)
{
    if (format == Format::Json) {
        nlohmann::json list = nlohmann::json::array();
        for (const results::TRunSummary& r : runs)
            list.push_back({{"uuid", r.uuid},
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
                            {"data_sha256", r.dataSha256}});
        out << list.dump(2) << '\n';
        return;
    }
    std::vector<Row> rows;
    for (const results::TRunSummary& r : runs) {
        Row row = {r.startedUtc,
                   r.serial,
                   r.testName,
                   r.testVersion,
                   r.pass ? "PASS" : "FAIL",
                   std::to_string(r.failedLimits),
                   r.operatorName,
                   r.station,
                   r.uuid};
        if (format == Format::Csv)
            row.insert(row.end(), {r.endedUtc, r.dataPath, r.dataSha256});
        rows.push_back(std::move(row));
    }
    Row header = {"started_utc", "serial",   "test",    "version", "verdict",
                  "failed",      "operator", "station", "uuid"};
    if (format == Format::Csv)
        header.insert(header.end(), {"ended_utc", "data_path", "data_sha256"});
    PrintRows(out, header, rows, format);
}

void PrintTrend(std::ostream& out, const std::string& figure,
                const std::vector<results::TTrendPoint>& points, Format format)
{
    if (format == Format::Json) {
        nlohmann::json list = nlohmann::json::array();
        for (const results::TTrendPoint& p : points)
            list.push_back({{"started_utc", p.startedUtc},
                            {"serial", p.serial},
                            {"uuid", p.uuid},
                            {"channel", p.channel},
                            {"value", JsonNumber(p.value)},
                            {"low", JsonNumber(p.low)},
                            {"high", JsonNumber(p.high)},
                            {"pass", p.pass}});
        out << nlohmann::json{{"figure", figure}, {"points", list}}.dump(2) << '\n';
        return;
    }
    std::vector<Row> rows;
    for (const results::TTrendPoint& p : points)
        rows.push_back({p.startedUtc, p.serial, "ch" + std::to_string(p.channel), Number(p.value),
                        Number(p.low), Number(p.high), p.pass ? "PASS" : "FAIL"});
    PrintRows(out, {"started_utc", "serial", "channel", figure, "low", "high", "verdict"}, rows,
              format);
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
        std::vector<Row> rows;
        for (const results::TPendingRun& p : pending)
            rows.push_back({p.uuid, p.serial, p.entry.url, p.entry.since,
                            p.entry.refused ? "refused" : "waiting",
                            // libpq's messages run over lines: one row per run.
                            QString::fromStdString(p.entry.error).simplified().toStdString()});
        PrintRows(io.out, {"uuid", "serial", "server", "since_utc", "state", "last_error"}, rows,
                  format);
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
    if (o.figure) {
        std::vector<results::TTrendPoint> points;
        if (!db->Trend(o.query, *o.figure, points, error))
            return Fail(io, error, kExitFailure);
        PrintTrend(io.out, *o.figure, points, o.format);
    } else {
        std::vector<results::TRunSummary> runs;
        if (!db->Runs(o.query, runs, error))
            return Fail(io, error, kExitFailure);
        PrintRuns(io.out, runs, o.format);
    }
    io.out << std::flush;
    return io.out ? kExitOk : Fail(io, "cannot write to standard output", kExitFailure);
}

} // namespace mirantos::cli
