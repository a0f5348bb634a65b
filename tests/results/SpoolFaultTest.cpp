// Faults of storing into a server, on a throwaway PostgreSQL cluster: what the
// station is told (the outcome) and what ends up stored (the server's rows, the
// spool's entries). A run the server refuses is never spooled and never holds
// back the others; the spool follows the server, not the URL's spelling.

#include "PgCluster.h"
#include "ResultsDb.h"
#include "Spool.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

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

// A new database with the schema in place; its URL for `user` through the socket folder `host`.
std::string Database(const std::string& name, const std::string& user = "mirantos",
                     const std::string& host = "")
{
    std::string error;
    EXPECT_TRUE(Cluster()->CreateDatabase(name, error) &&
                TResultsDb::Open(*ParseDbUrl(Cluster()->Url(name), error), error))
        << error;
    return "postgresql://" + user + "@/" + name +
           "?host=" + (host.empty() ? Cluster()->SocketDir() : host) +
           "&port=" + std::to_string(Cluster()->Port());
}

// Superuser SQL; the connection "holder" stays open (a session holding its locks).
bool Sql(const std::string& db, const QStringList& statements, const QString& name = "raw")
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
    if (name != "holder")
        QSqlDatabase::removeDatabase(name);
    return ok;
}

TRunRecord MakeRun(const std::string& uuid, int minute, const std::string& station = "bench-1")
{
    TRunRecord r;
    r.uuid = uuid;
    r.serial = "SN-" + uuid;
    r.station = station;
    r.testName = r.testVersion = r.testContent = r.testSha256 = r.settingsJson = "1";
    r.startedUtc = r.endedUtc = "2026-12-08T07:" + std::to_string(10 + minute) + ":00Z";
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

size_t Stored(const std::string& url)
{
    std::string error;
    auto db = TResultsDb::Open(*ParseDbUrl(url, error), error);
    std::vector<TRunSummary> runs;
    EXPECT_TRUE(db && db->Runs({}, runs, error)) << error;
    return runs.size();
}

struct Refusal {
    const char* name;
    const char* user;
    QStringList sql; // the superuser's, once the schema is there
    std::string station;
    const char* why; // in the station's message
};

void PrintTo(const Refusal& r, std::ostream* os)
{
    *os << r.name;
}

class ServerRefuses : public ::testing::TestWithParam<Refusal> {};

// Failed at once with the reason, never spooled.
TEST_P(ServerRefuses, FailsAtOnceAndIsNotSpooled)
{
    const Refusal& c = GetParam();
    QTemporaryDir dir;
    const std::string spool = dir.filePath("spool.sqlite").toStdString();
    const std::string db = QString(c.name).toLower().toStdString();
    const std::string url = Database(db, c.user);
    ASSERT_TRUE(Sql(db, c.sql));
    std::string error;
    const TStoreOutcome o = StoreRun(MakeRun("r", 1, c.station), *ParseDbUrl(url, error), spool);
    EXPECT_EQ(o.kind, K::Failed) << o.message;
    EXPECT_NE(o.message.find(c.why), std::string::npos) << o.message;
    std::vector<TPendingRun> pending;
    EXPECT_TRUE(PendingRuns(spool, pending, error) && pending.empty()) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ServerRefuses,
    ::testing::Values(
        Refusal{"OverIndexLimit", "mirantos", {}, HugeName(), "index row"},
        Refusal{"LoginRefused", "barred", {"CREATE ROLE barred NOLOGIN"}, "b", "not permitted"},
        Refusal{
            "PermissionDenied",
            "reader",
            {"CREATE ROLE reader LOGIN", "GRANT SELECT ON ALL TABLES IN SCHEMA public TO reader"},
            "b",
            "permission denied"},
        Refusal{"NewerSchema",
                "mirantos",
                {"UPDATE schema_version SET version = 99"},
                "b",
                "newer MIRANTOS"}),
    [](const auto& info) { return std::string(info.param.name); });

// A refused run spooled by an older program (its entries name the URL alone)
// no longer stops the ones behind it; it is listed, and not tried first again.
TEST(Spool, SendsPastARefusedRunAndListsIt)
{
    QTemporaryDir dir;
    TDbTarget file;
    file.sqlitePath = dir.filePath("spool.sqlite").toStdString();
    const std::string url = Database("past");
    std::string error;
    {
        auto s = TResultsDb::Open(file, error);
        ASSERT_TRUE(s && s->AddUnsent(MakeRun("huge", 1, HugeName()), url, error) &&
                    s->AddUnsent(MakeRun("b", 2), url, error))
            << error;
    }
    const TDbTarget target = *ParseDbUrl(url, error);
    TStoreOutcome o = StoreRun(MakeRun("c", 3), target, file.sqlitePath);
    EXPECT_EQ(std::tie(o.kind, o.forwarded), std::tuple(K::Stored, 1)) << o.message;
    ASSERT_EQ(o.refused.size(), 1u);
    EXPECT_NE(o.refused[0].find("index row"), std::string::npos) << o.refused[0];
    o = StoreRun(MakeRun("d", 4), target, file.sqlitePath);
    EXPECT_EQ(std::tuple(o.kind, o.forwarded, o.refused.size()),
              std::tuple(K::Stored, 0, size_t{0}));
    EXPECT_EQ(Stored(url), 3u);

    std::vector<TPendingRun> pending;
    ASSERT_TRUE(PendingRuns(file.sqlitePath, pending, error)) << error;
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_EQ(std::tie(pending[0].uuid, pending[0].entry.url, pending[0].entry.refused),
              std::tuple("huge", url, true));
    EXPECT_NE(pending[0].entry.error.find("index row"), std::string::npos);
    TSyncReport report;
    EXPECT_FALSE(SyncSpool(target, file.sqlitePath, report, error)); // tried, refused again
    EXPECT_EQ(report.refused.size(), 1u);
}

// The same server by another name (a link to its socket folder) takes what was
// spooled for it, with a run and with a sync. A lock held by another session
// times the store out: the run waits in the spool like one for an unreachable
// server, and is sent once the lock goes.
TEST(Spool, FollowsTheServerNotTheUrlAndOutlastsALock)
{
    QTemporaryDir dir;
    const std::string spool = dir.filePath("spool.sqlite").toStdString();
    const QString alias = dir.filePath("socket");
    ASSERT_TRUE(QFile::link(QString::fromStdString(Cluster()->SocketDir()), alias));
    const std::string url = Database("same"), other = Database("other");
    std::string error;
    TDbTarget byAlias = *ParseDbUrl(Database("same2", "mirantos", alias.toStdString()), error);
    byAlias.database = "same";

    ASSERT_TRUE(Cluster()->Stop());
    EXPECT_EQ(StoreRun(MakeRun("a", 1), *ParseDbUrl(url, error), spool).kind, K::Spooled);
    EXPECT_EQ(StoreRun(MakeRun("x", 2), *ParseDbUrl(other, error), spool).kind, K::Spooled);
    ASSERT_TRUE(Cluster()->Restart());

    ASSERT_TRUE(Sql("same", {"BEGIN", "INSERT INTO stations (name) VALUES ('bench-9')"}, "holder"));
    const TStoreOutcome o = StoreRun(MakeRun("b", 3, "bench-9"), byAlias, spool);
    EXPECT_EQ(std::tie(o.kind, o.forwarded), std::tuple(K::Spooled, 1)) << o.message;
    EXPECT_NE(o.message.find("lock timeout"), std::string::npos) << o.message;
    ASSERT_TRUE(Sql("same", {"ROLLBACK"}, "holder"));

    TSyncReport report;
    ASSERT_TRUE(SyncSpool(*ParseDbUrl(url, error), spool, report, error)) << error;
    EXPECT_EQ(std::tie(report.sent, report.elsewhere), std::tuple(1, 1));
    EXPECT_EQ(Stored(url), 2u);
    std::vector<TPendingRun> pending;
    ASSERT_TRUE(PendingRuns(spool, pending, error) && pending.size() == 1) << error;
    EXPECT_EQ(pending[0].uuid, "x");
}

} // namespace
