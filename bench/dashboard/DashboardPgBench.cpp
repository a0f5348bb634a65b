// The dashboard under load on PostgreSQL: a throwaway cluster (the tests'
// TPgCluster) with N generated runs (default 1 000 000: 50 tests, 100 stations,
// one run every 30 s from 2025-01-01, 10 measurements each), then
// dashboard_load.py against `mirantos-cli serve` on it.
//   dashboard_pg_bench [--runs N] [--seconds S] [--clients N]

#include "PgCluster.h"
#include "ResultsDb.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <chrono>
#include <cstdio>
#include <cstring>

using namespace mirantos::results;

namespace {

bool Exec(QSqlDatabase& db, const QString& sql)
{
    QSqlQuery q(db);
    if (q.exec(sql))
        return true;
    std::fprintf(stderr, "%s\n  %s\n", qPrintable(q.lastError().text()), qPrintable(sql));
    return false;
}

// The same rows as results_bench generates, inside the server.
bool Generate(const TDbTarget& t, long runs)
{
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", "generate");
        db.setDatabaseName(QString::fromStdString(t.database));
        db.setHostName(QString::fromStdString(t.host));
        db.setPort(t.port);
        db.setUserName(QString::fromStdString(t.user));
        const auto from = [](long count) {
            return QString("FROM generate_series(0, %1) AS s(i)").arg(count - 1);
        };
        const QString time = "to_char(timestamp '2025-01-01' + i * interval '30 seconds',"
                             " 'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"')";
        ok = db.open() && Exec(db, "BEGIN") &&
             Exec(db, "INSERT INTO stations (name) SELECT 'station-' || i " + from(100)) &&
             Exec(db, "INSERT INTO test_definitions (name, version, sha256, content)"
                      " SELECT 'test-' || i, '1', 'sha-' || i, '{}' " +
                          from(50)) &&
             Exec(db, "INSERT INTO runs (uuid, serial, operator, station_id, test_id,"
                      " started_utc, ended_utc, settings, pass, program_version)"
                      " SELECT '00000000-0000-4000-8000-' || lpad(i::text, 12, '0'),"
                      " 'SN-' || (i % 200000), 'op', 1 + i % 100, 1 + i % 50, " +
                          time + ", " + time +
                          ", '{\"board\":\"usb\"}', CASE WHEN i % 17 = 0 THEN 0 ELSE 1 END,"
                          " '1.10' " +
                          from(runs)) &&
             Exec(db, "WITH f(ch, name, lo, hi) AS (VALUES (0, 'rms_uV', NULL, 0.8),"
                      " (0, 'pp_uV', NULL, 6.0), (0, 'noise_free_bits', 20.5, NULL),"
                      " (0, 'nsd_median_nV', NULL, 30.0), (0, 'band_rms_uV', NULL, 0.3),"
                      " (1, 'rms_uV', 0.01, 0.8), (1, 'pp_uV', NULL, 6.0),"
                      " (1, 'noise_free_bits', 20.5, NULL), (1, 'nsd_median_nV', NULL, 30.0),"
                      " (1, 'band_rms_uV', NULL, 0.3)) INSERT INTO measurements (run_id,"
                      " test_id, channel, figure, value, low_limit, high_limit, pass)"
                      " SELECT r.id, r.test_id, f.ch, f.name, 0.5 + (r.id % 1000) * 1e-4, f.lo,"
                      " f.hi, r.pass FROM runs r CROSS JOIN f") &&
             Exec(db, "COMMIT") && Exec(db, "VACUUM ANALYZE");
        db.close();
    }
    QSqlDatabase::removeDatabase("generate");
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    long runs = 1000000;
    QString seconds = "60", clients = "50";
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--runs"))
            runs = std::atol(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--seconds"))
            seconds = argv[i + 1];
        else if (!std::strcmp(argv[i], "--clients"))
            clients = argv[i + 1];
    }
    std::string error;
    const auto cluster = mirantos::testing::TPgCluster::Start(error);
    if (!cluster || !cluster->CreateDatabase("bench", error)) {
        std::fprintf(stderr, "no PostgreSQL cluster: %s\n", error.c_str());
        return 1;
    }
    const std::string url = cluster->Url("bench");
    const auto target = ParseDbUrl(url, error);
    if (!target || !TResultsDb::Open(*target, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const auto t0 = std::chrono::steady_clock::now();
    std::printf("%s: generating %ld runs...\n", url.c_str(), runs);
    std::fflush(stdout);
    if (!Generate(*target, runs))
        return 1;
    std::printf("generated in %.0f s\n",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    std::fflush(stdout);
    QProcess load;
    load.setProcessChannelMode(QProcess::ForwardedChannels);
    load.start("/usr/bin/python3",
               {MIRANTOS_LOAD_SCRIPT, MIRANTOS_CLI_EXE, MIRANTOS_SEED_EXE,
                QString::fromStdString(url), "--seconds", seconds, "--clients", clients});
    load.waitForFinished(-1);
    return load.exitCode();
}
