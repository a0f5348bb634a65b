// Faults of storing into a server, on a throwaway PostgreSQL cluster: what the
// station is told (the outcome) and what ends up stored (the server's rows, the
// spool's entries). A run the server refuses is never spooled and never holds
// back the others; the spool follows the server, not the URL's spelling.

#include "PgCluster.h"
#include "ResultsDb.h"
#include "Spool.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/mount.h>

#include <functional>

using namespace mirantos::results;
using mirantos::testing::TPgCluster;
using K = TStoreOutcome::Kind;

namespace {

TPgCluster* Cluster()
{
    static std::string error;
    static const std::unique_ptr<TPgCluster> c = TPgCluster::Start(error);
    EXPECT_TRUE(c) << error;
    return c.get();
}

// A new database with the schema in place, as `user` sees it through `host` (a socket folder).
std::string Database(const std::string& name, const std::string& user = "mirantos",
                     const std::string& host = "")
{
    std::string error;
    EXPECT_TRUE(Cluster()->CreateDatabase(name, error)) << error;
    const std::string url = Cluster()->Url(name);
    EXPECT_TRUE(TResultsDb::Open(*ParseDbUrl(url, error), error)) << error;
    std::string u = "postgresql://" + user + "@/" + name +
                    "?host=" + (host.empty() ? Cluster()->SocketDir() : host) +
                    "&port=" + std::to_string(Cluster()->Port());
    return u;
}

// Superuser SQL beside the library, on its own connection `name` (kept open while `keep`).
bool Sql(const std::string& db, const QStringList& statements, const QString& name = "raw",
         bool keep = false)
{
    bool ok = false;
    {
        auto c = QSqlDatabase::contains(name) ? QSqlDatabase::database(name)
                                              : QSqlDatabase::addDatabase("QPSQL", name);
        c.setHostName(QString::fromStdString(Cluster()->SocketDir()));
        c.setPort(Cluster()->Port());
        c.setUserName("mirantos");
        c.setDatabaseName(QString::fromStdString(db));
        ok = c.isOpen() || c.open();
        QSqlQuery q(c);
        for (const QString& s : statements)
            ok = ok && q.exec(s);
    }
    if (!keep)
        QSqlDatabase::removeDatabase(name);
    return ok;
}

TRunRecord MakeRun(const std::string& uuid, int minute, const std::string& station = "bench-1")
{
    TRunRecord r;
    r.uuid = uuid;
    r.serial = "SN-" + uuid;
    r.station = station;
    r.testName = "AFE-7";
    r.testVersion = "3";
    r.testContent = "{}";
    r.testSha256 = "sha";
    r.startedUtc = "2026-12-08T07:" + std::to_string(10 + minute) + ":00Z";
    r.endedUtc = r.startedUtc;
    r.settingsJson = "{}";
    r.pass = true;
    r.programVersion = "1.10";
    r.measurements = {{0, "rms_uV", 0.5, std::nullopt, 1.0, true}};
    return r;
}

// 20 kB that do not compress: over PostgreSQL's limit for an index entry.
std::string HugeName()
{
    std::string s;
    for (unsigned x = 7; s.size() < 20000;)
        s += static_cast<char>('a' + (x = x * 1103515245u + 12345u) % 26);
    return s;
}

int Stored(const std::string& url)
{
    std::string error;
    auto db = TResultsDb::Open(*ParseDbUrl(url, error), error);
    std::vector<TRunSummary> runs;
    EXPECT_TRUE(db && db->Runs({}, runs, error)) << error;
    return static_cast<int>(runs.size());
}

struct Refusal {
    const char* name;
    std::function<std::string(const std::string& db)> prepare; // gives the URL to store through
    TRunRecord run;
    const char* why; // in the station's message
};

void PrintTo(const Refusal& r, std::ostream* os)
{
    *os << r.name;
}

class ServerRefuses : public ::testing::TestWithParam<Refusal> {};

// Reported at once, never spooled; a good run after it is stored.
TEST_P(ServerRefuses, FailsAtOnceAndIsNotSpooled)
{
    QTemporaryDir dir;
    const std::string spool = dir.filePath("spool.sqlite").toStdString();
    std::string error;
    static int n = 0;
    const std::string name = "refuse" + std::to_string(++n);
    const std::string url = GetParam().prepare(name);
    const TStoreOutcome o = StoreRun(GetParam().run, *ParseDbUrl(url, error), spool);
    EXPECT_EQ(o.kind, K::Failed) << o.message;
    EXPECT_NE(o.message.find(GetParam().why), std::string::npos) << o.message;
    std::vector<TPendingRun> pending;
    ASSERT_TRUE(PendingRuns(spool, pending, error)) << error;
    EXPECT_TRUE(pending.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ServerRefuses,
    ::testing::Values(Refusal{"OverIndexLimit", [](const std::string& db) { return Database(db); },
                              MakeRun("huge", 1, HugeName()), "index row"},
                      Refusal{"LoginRefused",
                              [](const std::string& db) {
                                  const std::string url = Database(db, "barred");
                                  EXPECT_TRUE(Sql(db, {"CREATE ROLE barred NOLOGIN"}));
                                  return url;
                              },
                              MakeRun("login", 1), "not permitted to log in"},
                      Refusal{"PermissionDenied",
                              [](const std::string& db) {
                                  const std::string url = Database(db, "reader");
                                  EXPECT_TRUE(Sql(
                                      db,
                                      {"CREATE ROLE reader LOGIN",
                                       "GRANT SELECT ON ALL TABLES IN SCHEMA public TO reader"}));
                                  return url;
                              },
                              MakeRun("perm", 1), "permission denied"},
                      Refusal{"NewerSchema",
                              [](const std::string& db) {
                                  const std::string url = Database(db);
                                  EXPECT_TRUE(Sql(db, {"UPDATE schema_version SET version = 99"}));
                                  return url;
                              },
                              MakeRun("newer", 1), "newer MIRANTOS"}),
    [](const auto& info) { return std::string(info.param.name); });

// A run the server refuses for good, spooled by an older program, no longer
// stops the ones behind it; it is listed, and not tried first again.
TEST(Spool, SendsPastARefusedRunAndListsIt)
{
    QTemporaryDir dir;
    const std::string spool = dir.filePath("spool.sqlite").toStdString();
    const std::string url = Database("past");
    std::string error;
    {
        TDbTarget file;
        file.sqlitePath = spool;
        auto s = TResultsDb::Open(file, error);
        ASSERT_TRUE(s) << error;
        // Today's entries name the URL alone.
        ASSERT_TRUE(s->AddUnsent(MakeRun("huge", 1, HugeName()), url, error)) << error;
        ASSERT_TRUE(s->AddUnsent(MakeRun("b", 2), url, error)) << error;
    }
    const TDbTarget target = *ParseDbUrl(url, error);
    TStoreOutcome o = StoreRun(MakeRun("c", 3), target, spool);
    EXPECT_EQ(o.kind, K::Stored) << o.message;
    EXPECT_EQ(o.forwarded, 1);
    ASSERT_EQ(o.refused.size(), 1u);
    EXPECT_NE(o.refused[0].find("index row"), std::string::npos) << o.refused[0];
    o = StoreRun(MakeRun("d", 4), target, spool);
    EXPECT_EQ(std::tie(o.kind, o.forwarded), std::tuple(K::Stored, 0));
    EXPECT_TRUE(o.refused.empty());
    EXPECT_EQ(Stored(url), 3);

    std::vector<TPendingRun> pending;
    ASSERT_TRUE(PendingRuns(spool, pending, error)) << error;
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_EQ(pending[0].uuid, "huge");
    EXPECT_TRUE(pending[0].entry.refused);
    EXPECT_EQ(pending[0].entry.url, url);
    EXPECT_NE(pending[0].entry.error.find("index row"), std::string::npos);
    TSyncReport report;
    EXPECT_FALSE(SyncSpool(target, spool, report, error)); // tried again, refused again
    EXPECT_EQ(report.refused.size(), 1u);
}

// The same server by another name (a link to its socket folder): the spool
// goes there. A row lock held by another session times out the store: the run
// is spooled like one for an unreachable server and sent once the lock goes.
TEST(Spool, FollowsTheServerNotTheUrlAndOutlastsALock)
{
    QTemporaryDir dir;
    const std::string spool = dir.filePath("spool.sqlite").toStdString();
    const std::string alias = dir.filePath("socket").toStdString();
    ASSERT_TRUE(
        QFile::link(QString::fromStdString(Cluster()->SocketDir()), QString::fromStdString(alias)));
    const std::string url = Database("same");
    const std::string other = Database("other");
    const std::string aliased = Database("same2", "mirantos", alias);
    std::string error;
    const TDbTarget byAlias = *ParseDbUrl(aliased.substr(0, aliased.find("same2")) + "same" +
                                              aliased.substr(aliased.find('?')),
                                          error);
    ASSERT_NE(byAlias.Display(), ParseDbUrl(url, error)->Display());

    // Spooled while the server is down: for the URL as spelled.
    ASSERT_TRUE(Cluster()->Stop());
    EXPECT_EQ(StoreRun(MakeRun("a", 1), *ParseDbUrl(url, error), spool).kind, K::Spooled);
    EXPECT_EQ(StoreRun(MakeRun("x", 2), *ParseDbUrl(other, error), spool).kind, K::Spooled);
    ASSERT_TRUE(Cluster()->Restart());

    // A second session holds the lock the store needs.
    ASSERT_TRUE(
        Sql("same", {"BEGIN", "INSERT INTO stations (name) VALUES ('bench-9')"}, "holder", true));
    TStoreOutcome o = StoreRun(MakeRun("b", 3, "bench-9"), *ParseDbUrl(url, error), spool);
    EXPECT_EQ(o.kind, K::Spooled) << o.message;
    EXPECT_NE(o.message.find("lock timeout"), std::string::npos) << o.message;
    EXPECT_EQ(o.forwarded, 1); // "a" went before the lock stopped "b"
    ASSERT_TRUE(Sql("same", {"ROLLBACK"}, "holder"));

    TSyncReport report;
    ASSERT_TRUE(SyncSpool(byAlias, spool, report, error)) << error;
    EXPECT_EQ(report.sent, 1);
    EXPECT_EQ(report.elsewhere, 1);
    EXPECT_EQ(Stored(url), 2);
    std::vector<TPendingRun> pending;
    ASSERT_TRUE(PendingRuns(spool, pending, error)) << error;
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_EQ(pending[0].uuid, "x");
}

} // namespace
