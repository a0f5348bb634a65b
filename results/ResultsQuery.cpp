// The results database's read-only queries: the run listing and a figure's
// trend. Storing, the schema and the spool are in ResultsDb.cpp.

#include "ResultsDb.h"
#include "ResultsSql.h"
#include "Schema.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlField>

#include <algorithm>
#include <tuple>
#include <unordered_map>

namespace mirantos::results {

using namespace sql;

namespace {

// Up to this many test definitions, a page of runs is merged from each test's index range.
constexpr size_t kMergedTests = 200;

// " AND ..." for the filters, with their values in order.
bool Filters(const TRunQuery& query, QString& sql, QVariantList& values, std::string& error)
{
    if (query.serial) {
        sql += " AND r.serial = ?";
        values << Q(*query.serial);
    }
    if (query.testName) {
        sql += " AND r.test_id IN (SELECT id FROM test_definitions WHERE name = ?)";
        values << Q(*query.testName);
    }
    if (query.sinceUtc) {
        const auto since = CanonicalUtc(*query.sinceUtc);
        if (!since) {
            error = "'" + *query.sinceUtc +
                    "' is not an ISO 8601 date or time (2026-12-01, 2026-12-01T08:00Z)";
            return false;
        }
        sql += " AND r.started_utc >= ?";
        values << Q(*since);
    }
    if (query.failedOnly)
        sql += " AND r.pass = 0";
    return true;
}

bool Pg(QSqlDatabase& db)
{
    return db.driverName().contains("PSQL");
}

// The run a cursor names: its start time (as text) and row.
bool Cursor(QSqlDatabase& db, const std::string& uuid, QString& started, qint64& id,
            std::string& error)
{
    QSqlQuery q(db);
    if (!Select(q, "SELECT " + TimeText("started_utc", Pg(db)) + ", id FROM runs WHERE uuid = ?",
                {Q(uuid)}, error))
        return false;
    if (!q.next()) {
        error = "no stored run has the uuid " + uuid;
        return false;
    }
    started = q.value(0).toString();
    id = q.value(1).toLongLong();
    return true;
}

// " AND ..." for the runs after the cursor's, in the listing's order; written so
// the time is one index range.
bool AfterCursor(QSqlDatabase& db, const TRunQuery& query, QString& sql, QVariantList& values,
                 std::string& error)
{
    if (!query.afterUuid)
        return true;
    QString started;
    qint64 id = 0;
    if (!Cursor(db, *query.afterUuid, started, id, error))
        return false;
    sql += " AND r.started_utc >= ? AND (r.started_utc > ? OR r.id > ?)";
    values << started << started << id;
    return true;
}

} // namespace

bool TResultsDb::Runs(const TRunQuery& query, std::vector<TRunSummary>& out, std::string& error)
{
    out.clear();
    return EachRun(
        query,
        [&out](const TRunSummary& r) {
            out.push_back(r);
            return true;
        },
        error);
}

bool TResultsDb::EachRun(const TRunQuery& query, const std::function<bool(const TRunSummary&)>& row,
                         std::string& error)
{
    const auto fail = [&] {
        error = Target().Display() + ": " + error;
        return false;
    };
    // The page is chosen on runs alone (no station, test or count needed to
    // order and cut them), and only its rows are joined and counted.
    QString where;
    QVariantList values;
    if (!Filters(query, where, values, error))
        return false;
    // Keyset: after that run in the listing's order, however many came before it.
    if (!AfterCursor(Connection(), query, where, values, error))
        return fail();
    // The page is cut on what the indexes hold; only its runs are read whole.
    const QString columns = "r.id, r.started_utc";
    const QString order = " ORDER BY started_utc, id";
    QString cut;
    if (query.limit > 0)
        cut += " LIMIT " + QString::number(query.limit);
    else if (query.offset > 0 && !Pg(Connection()))
        cut += " LIMIT -1"; // SQLite takes OFFSET only after a LIMIT
    if (query.offset > 0)
        cut += " OFFSET " + QString::number(query.offset);

    // No index keeps every run in time order, but runs_trend keeps each test's:
    // a page of the whole listing is the first rows of each test's range, merged,
    // instead of a sort of every run. A serial's runs are few, and failed runs
    // have their own index in time order.
    std::vector<qint64> tests;
    if (query.limit > 0 && !query.serial && !query.failedOnly) {
        QSqlQuery q(Connection());
        if (!Select(q,
                    query.testName ? "SELECT id FROM test_definitions WHERE name = ?"
                                   : "SELECT id FROM test_definitions",
                    query.testName ? QVariantList{Q(*query.testName)} : QVariantList{}, error))
            return fail();
        while (q.next() && tests.size() <= kMergedTests)
            tests.push_back(q.value(0).toLongLong());
    }
    QString page;
    QVariantList pageValues;
    if (!tests.empty() && tests.size() <= kMergedTests) {
        const QString each = " LIMIT " + QString::number(query.limit + query.offset);
        QStringList arms;
        for (const qint64 test : tests) {
            arms << "SELECT * FROM (SELECT " + columns +
                        " FROM runs r WHERE r.test_id = " + QString::number(test) + where +
                        " ORDER BY r.started_utc, r.id" + each + ") AS t" +
                        QString::number(arms.size());
            pageValues += values;
        }
        page = "SELECT * FROM (" + arms.join(" UNION ALL ") + ") AS u" + order + cut;
    } else {
        page = "SELECT " + columns + " FROM runs r WHERE 1 = 1" + where + order + cut;
        pageValues = values;
    }
    const bool pg = Pg(Connection());
    QSqlQuery q(Connection());
    if (!Select(q,
                "SELECT r.uuid, r.serial, r.operator, s.name, t.name, t.version, " +
                    TimeText("r.started_utc", pg) + ", " + TimeText("r.ended_utc", pg) +
                    ", r.pass,"
                    " (SELECT COUNT(*) FROM measurements m WHERE m.run_id = r.id AND m.pass = 0),"
                    " r.data_path, r.data_sha256, r.outcome, r.outcome_reason, r.part_number,"
                    " r.lot, r.dut_hw_id, r.board_kind, r.board_identity, " +
                    TimeText("r.received_utc", pg) + " FROM (" + page +
                    ") p JOIN runs r ON r.id = p.id JOIN stations s ON s.id = r.station_id"
                    " JOIN test_definitions t ON t.id = r.test_id ORDER BY p.started_utc, p.id",
                pageValues, error))
        return fail();
    TRunSummary r;
    while (q.next()) {
        r.uuid = S(q.value(0));
        r.serial = S(q.value(1));
        r.operatorName = S(q.value(2));
        r.station = S(q.value(3));
        r.testName = S(q.value(4));
        r.testVersion = S(q.value(5));
        r.startedUtc = S(q.value(6));
        r.endedUtc = S(q.value(7));
        r.pass = q.value(8).toInt() != 0;
        r.failedLimits = q.value(9).toInt();
        r.dataPath = S(q.value(10));
        r.dataSha256 = S(q.value(11));
        r.outcome = OutcomeFromText(S(q.value(12))).value_or(ERunOutcome::Fail);
        r.outcomeReason = S(q.value(13));
        r.partNumber = S(q.value(14));
        r.lot = S(q.value(15));
        r.dutHardwareId = S(q.value(16));
        r.boardKind = S(q.value(17));
        r.boardIdentity = S(q.value(18));
        r.receivedUtc = S(q.value(19));
        if (!row(r))
            break;
    }
    if (q.lastError().isValid()) {
        error = DbText(q.lastError());
        return fail();
    }
    return true;
}

namespace {

// The whole history of one test goes through its two index ranges (TrendOfTest);
// a serial's few runs, a time window or every test through the runs that match.
bool ByRuns(const TRunQuery& query)
{
    return !query.testName || query.serial || query.sinceUtc;
}

TTrendPoint Point(const QSqlQuery& q, int first)
{
    TTrendPoint p;
    p.channel = q.value(first).toInt();
    p.value = OptNum(q.value(first + 1));
    p.low = OptNum(q.value(first + 2));
    p.high = OptNum(q.value(first + 3));
    p.pass = q.value(first + 4).toInt() != 0;
    p.unit = S(q.value(first + 5));
    p.bandLowHz = OptNum(q.value(first + 6));
    p.bandHighHz = OptNum(q.value(first + 7));
    p.reason = S(q.value(first + 8));
    return p;
}

} // namespace

bool TResultsDb::Trend(const TRunQuery& query, const std::string& figure,
                       std::vector<TTrendPoint>& out, std::string& error)
{
    out.clear();
    if (!ByRuns(query))
        return TrendOfTest(query, figure, out, error);
    return EachTrendPoint(
        query, figure,
        [&out](const TTrendPoint& p) {
            out.push_back(p);
            return true;
        },
        error);
}

bool TResultsDb::EachTrendPoint(const TRunQuery& query, const std::string& figure,
                                const std::function<bool(const TTrendPoint&)>& point,
                                std::string& error)
{
    if (!ByRuns(query)) {
        // One test's points are ordered in memory; that one test's share is the bound.
        std::vector<TTrendPoint> points;
        if (!TrendOfTest(query, figure, points, error))
            return false;
        for (const TTrendPoint& p : points)
            if (!point(p))
                break;
        return true;
    }
    QString where;
    QVariantList values;
    if (!Filters(query, where, values, error) ||
        !AfterCursor(Connection(), query, where, values, error)) {
        error = Target().Display() + ": " + error;
        return false;
    }
    QSqlQuery q(Connection());
    if (!Select(q,
                "SELECT " + TimeText("r.started_utc", Pg(Connection())) +
                    ", r.serial, r.uuid, m.channel, m.value, m.low_limit, m.high_limit, m.pass,"
                    " m.unit, m.band_low_hz, m.band_high_hz, m.reason FROM runs r"
                    " JOIN measurements m ON m.run_id = r.id WHERE m.figure = ?" +
                    where + " ORDER BY r.started_utc, r.id, m.channel",
                QVariantList{Q(figure)} + values, error)) {
        error = Target().Display() + ": " + error;
        return false;
    }
    while (q.next()) {
        TTrendPoint p = Point(q, 3);
        p.startedUtc = S(q.value(0));
        p.serial = S(q.value(1));
        p.uuid = S(q.value(2));
        if (!point(p))
            break;
    }
    if (q.lastError().isValid()) {
        error = Target().Display() + ": " + DbText(q.lastError());
        return false;
    }
    return true;
}

bool TResultsDb::TrendOfTest(const TRunQuery& query, const std::string& figure,
                             std::vector<TTrendPoint>& out, std::string& error)
{
    out.clear();
    const auto fail = [&] {
        error = Target().Display() + ": " + error;
        return false;
    };
    // The test's ids first: the two bulk statements then name them and the figure
    // as literals. A statement with parameters (PREPARE and EXECUTE in QPSQL) took
    // half as long again as the same text run at once, and the planner sees the
    // very test it reads instead of a subquery's guess.
    QStringList tests;
    {
        QSqlQuery q(Connection());
        if (!Select(q, "SELECT id FROM test_definitions WHERE name = ?", {Q(*query.testName)},
                    error))
            return fail();
        while (q.next())
            tests << QString::number(q.value(0).toLongLong());
    }
    if (tests.isEmpty())
        return true;
    const QString inTests = " IN (" + tests.join(", ") + ")";
    const auto run = [&](QSqlQuery& q, const QString& sql) {
        q.setForwardOnly(true);
        if (q.exec(sql))
            return true;
        error = DbText(q.lastError());
        return false;
    };
    // One test: its matching runs in time order, then that test's rows of the
    // figure, each one range of its index; joined here.
    struct TRun {
        qint64 id;
        std::string started, serial, uuid;
    };
    std::vector<TRun> runs;
    {
        QSqlQuery q(Connection());
        if (!run(q, "SELECT r.id, " + TimeText("r.started_utc", Pg(Connection())) +
                        ", r.serial, r.uuid FROM runs r WHERE r.test_id" + inTests +
                        (query.failedOnly ? " AND r.pass = 0" : "")))
            return fail();
        while (q.next())
            runs.push_back({q.value(0).toLongLong(), S(q.value(1)), S(q.value(2)), S(q.value(3))});
    }
    // Time order here: the index gives it for one test already, so mostly a check.
    const auto before = [](const TRun& a, const TRun& b) {
        return std::tie(a.started, a.id) < std::tie(b.started, b.id);
    };
    if (!std::is_sorted(runs.begin(), runs.end(), before))
        std::sort(runs.begin(), runs.end(), before);
    if (query.afterUuid) {
        // The points of the runs after the cursor's, as for the listing.
        QString started;
        qint64 id = 0;
        if (!Cursor(Connection(), *query.afterUuid, started, id, error))
            return fail();
        const TRun cursor{id, started.toStdString(), {}, {}};
        runs.erase(runs.begin(), std::upper_bound(runs.begin(), runs.end(), cursor, before));
    }
    std::unordered_map<qint64, int> ordinal;
    ordinal.reserve(runs.size());
    for (size_t i = 0; i < runs.size(); ++i)
        ordinal.emplace(runs[i].id, static_cast<int>(i));
    std::vector<TTrendPoint> points;
    std::vector<int> runOf;
    points.reserve(2 * runs.size());
    runOf.reserve(2 * runs.size());
    {
        QSqlField name("figure", QMetaType(QMetaType::QString));
        name.setValue(Q(figure));
        QSqlQuery q(Connection());
        if (!run(q, "SELECT m.run_id, m.channel, m.value, m.low_limit, m.high_limit, m.pass,"
                    " m.unit, m.band_low_hz, m.band_high_hz, m.reason"
                    " FROM measurements m WHERE m.test_id" +
                        inTests + " AND m.figure = " + Connection().driver()->formatValue(name)))
            return fail();
        while (q.next()) {
            const auto it = ordinal.find(q.value(0).toLongLong());
            if (it != ordinal.end()) {
                runOf.push_back(it->second);
                points.push_back(Point(q, 1));
            }
        }
    }
    // Into the runs' time order by counting (no moves of whole points), then
    // each run's few channels in order.
    std::vector<size_t> next(runs.size() + 1, 0);
    for (int r : runOf)
        ++next[static_cast<size_t>(r) + 1];
    for (size_t r = 1; r < next.size(); ++r)
        next[r] += next[r - 1];
    const std::vector<size_t> begin(next.begin(), next.end());
    out.resize(points.size());
    for (size_t i = 0; i < points.size(); ++i) {
        const TRun& run = runs[static_cast<size_t>(runOf[i])];
        TTrendPoint& p = out[next[static_cast<size_t>(runOf[i])]++];
        p = std::move(points[i]);
        p.startedUtc = run.started;
        p.serial = run.serial;
        p.uuid = run.uuid;
    }
    for (size_t r = 0; r + 1 < begin.size(); ++r)
        if (begin[r + 1] - begin[r] > 1)
            std::sort(
                out.begin() + static_cast<std::ptrdiff_t>(begin[r]),
                out.begin() + static_cast<std::ptrdiff_t>(begin[r + 1]),
                [](const TTrendPoint& a, const TTrendPoint& b) { return a.channel < b.channel; });
    return true;
}

} // namespace mirantos::results
