// The results database's read-only queries: the run listing and a figure's
// trend. Storing, the schema and the spool are in ResultsDb.cpp.

#include "ResultsDb.h"
#include "ResultsSql.h"

#include <QSqlDatabase>

#include <algorithm>
#include <tuple>
#include <unordered_map>

namespace mirantos::results {

using namespace sql;

namespace {

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

} // namespace

bool TResultsDb::Runs(const TRunQuery& query, std::vector<TRunSummary>& out, std::string& error)
{
    out.clear();
    QString sql = "SELECT r.uuid, r.serial, r.operator, s.name, t.name, t.version, r.started_utc,"
                  " r.ended_utc, r.pass,"
                  " (SELECT COUNT(*) FROM measurements m WHERE m.run_id = r.id AND m.pass = 0),"
                  " r.data_path, r.data_sha256"
                  " FROM runs r JOIN stations s ON s.id = r.station_id"
                  " JOIN test_definitions t ON t.id = r.test_id WHERE 1 = 1";
    QVariantList values;
    if (!Filters(query, sql, values, error))
        return false;
    sql += " ORDER BY r.started_utc, r.id";
    QSqlQuery q(Connection());
    if (!Select(q, sql, values, error)) {
        error = Target().Display() + ": " + error;
        return false;
    }
    while (q.next()) {
        TRunSummary r;
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
        out.push_back(std::move(r));
    }
    return true;
}

bool TResultsDb::Trend(const TRunQuery& query, const std::string& figure,
                       std::vector<TTrendPoint>& out, std::string& error)
{
    out.clear();
    QString where;
    QVariantList values;
    if (!Filters(query, where, values, error))
        return false;
    const auto fail = [&] {
        error = Target().Display() + ": " + error;
        return false;
    };
    const auto point = [](const QSqlQuery& q, int first) {
        TTrendPoint p;
        p.channel = q.value(first).toInt();
        p.value = OptNum(q.value(first + 1));
        p.low = OptNum(q.value(first + 2));
        p.high = OptNum(q.value(first + 3));
        p.pass = q.value(first + 4).toInt() != 0;
        return p;
    };
    if (!query.testName || query.serial) {
        // A serial's few runs, or every test: through the runs that match.
        QSqlQuery q(Connection());
        if (!Select(q,
                    "SELECT r.started_utc, r.serial, r.uuid, m.channel, m.value,"
                    " m.low_limit, m.high_limit, m.pass FROM runs r JOIN measurements m"
                    " ON m.run_id = r.id WHERE m.figure = ?" +
                        where + " ORDER BY r.started_utc, r.id, m.channel",
                    QVariantList{Q(figure)} + values, error))
            return fail();
        while (q.next()) {
            TTrendPoint p = point(q, 3);
            p.startedUtc = S(q.value(0));
            p.serial = S(q.value(1));
            p.uuid = S(q.value(2));
            out.push_back(std::move(p));
        }
        return true;
    }
    // One test: its matching runs in time order, then that test's rows of the
    // figure, each one range of its index; joined here.
    struct TRun {
        qint64 id;
        std::string started, serial, uuid;
    };
    std::vector<TRun> runs;
    {
        QSqlQuery q(Connection());
        if (!Select(q,
                    "SELECT r.id, r.started_utc, r.serial, r.uuid FROM runs r WHERE 1 = 1" + where,
                    values, error))
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
    std::unordered_map<qint64, int> ordinal;
    ordinal.reserve(runs.size());
    for (size_t i = 0; i < runs.size(); ++i)
        ordinal.emplace(runs[i].id, static_cast<int>(i));
    std::vector<TTrendPoint> points;
    std::vector<int> runOf;
    points.reserve(2 * runs.size());
    runOf.reserve(2 * runs.size());
    {
        QSqlQuery q(Connection());
        if (!Select(q,
                    "SELECT m.run_id, m.channel, m.value, m.low_limit, m.high_limit, m.pass"
                    " FROM measurements m WHERE m.test_id IN"
                    " (SELECT id FROM test_definitions WHERE name = ?) AND m.figure = ?",
                    {Q(*query.testName), Q(figure)}, error))
            return fail();
        while (q.next()) {
            const auto it = ordinal.find(q.value(0).toLongLong());
            if (it != ordinal.end()) {
                runOf.push_back(it->second);
                points.push_back(point(q, 1));
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
