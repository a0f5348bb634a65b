// Read-only queries of the dashboard. Every value from a request is bound.

#include "DashboardDb.h"

#include <QDateTime>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

#include <map>

namespace mirantos::dashboard {

namespace {

QString Q(const std::string& s)
{
    return QString::fromStdString(s);
}
std::string S(const QVariant& v)
{
    if (v.isNull())
        return {};
    // A time column (timestamptz) reads as the stored text does: UTC ISO with milliseconds.
    if (v.typeId() == QMetaType::QDateTime)
        return (v.toDateTime().toUTC().toString("yyyy-MM-ddTHH:mm:ss.zzz") + "Z").toStdString();
    return v.toString().toStdString();
}
std::optional<double> Num(const QVariant& v)
{
    return v.isNull() ? std::nullopt : std::optional<double>(v.toDouble());
}

std::string ErrorText(const QSqlError& e)
{
    QString t = e.databaseText().trimmed();
    if (t.isEmpty())
        t = e.driverText().trimmed();
    return t.toStdString();
}

bool LooksLocked(const std::string& text)
{
    return text.find("locked") != std::string::npos || text.find("busy") != std::string::npos;
}

// The columns of a run row; r, t, s the runs, its test and its station.
const QString kRunColumns = QString("r.uuid, r.serial, t.name, t.version, s.name, r.operator,"
                                    " r.started_utc, r.pass, CASE WHEN %1 THEN 1 ELSE 0 END,"
                                    " r.outcome, r.ended_utc, r.received_utc")
                                .arg(SimulatedRunSql());
constexpr int kRunColumnCount = 12;
const QString kRunJoins = " FROM runs r JOIN test_definitions t ON t.id = r.test_id"
                          " JOIN stations s ON s.id = r.station_id";

TRunRow ReadRun(const QSqlQuery& q)
{
    TRunRow r;
    r.uuid = S(q.value(0));
    r.serial = S(q.value(1));
    r.test = S(q.value(2));
    r.version = S(q.value(3));
    r.station = S(q.value(4));
    r.operatorName = S(q.value(5));
    r.startedUtc = S(q.value(6));
    r.pass = q.value(7).toInt() != 0;
    r.simulated = q.value(8).toInt() != 0;
    r.outcome = S(q.value(9));
    r.endedUtc = S(q.value(10));
    r.receivedUtc = S(q.value(11));
    r.late = StoredLate(r.endedUtc, r.receivedUtc);
    return r;
}

} // namespace

bool StoredLate(const std::string& endedUtc, const std::string& receivedUtc)
{
    if (endedUtc.empty() || receivedUtc.empty())
        return false; // stored before the database kept its receive time: not known
    const QDateTime ended = QDateTime::fromString(Q(endedUtc), Qt::ISODateWithMs);
    const QDateTime received = QDateTime::fromString(Q(receivedUtc), Qt::ISODateWithMs);
    return ended.isValid() && received.isValid() && ended.msecsTo(received) > kLateAfterMs;
}

const char* SimulatedRunSql()
{
    // The board each run was measured on, as the station stored it.
    return "r.board_kind = 'sim'";
}

const char* DbStateName(EDbState state)
{
    switch (state) {
    case EDbState::Ok:
        return "ok";
    case EDbState::Missing:
        return "missing";
    case EDbState::Down:
        return "down";
    case EDbState::Locked:
        return "locked";
    case EDbState::NewerSchema:
        return "newer_schema";
    case EDbState::NotResults:
        return "not_results";
    }
    return "down";
}

struct TDashboardDb::Impl {
    results::TDbTarget target;
    QString name = "mirantos-dashboard-" + QUuid::createUuid().toString(QUuid::WithoutBraces);
    QSqlDatabase db;
    bool open = false;
    qint64 lastTryMs = 0;
    EDbState lastState = EDbState::Down;
    std::string lastMessage;
    std::function<void()> notified;
    bool listening = false;
    // While the server announces new runs, the newest run is read once per
    // announcement, and at least every second for writers that do not announce.
    std::optional<TLatest> latest;
    qint64 latestMs = 0;

    void Close()
    {
        if (db.isValid()) {
            db.close();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(name);
        }
        open = false;
        listening = false;
        latest.reset();
    }

    bool Fail(EDbState state, const std::string& message)
    {
        Close();
        lastState = state;
        lastMessage = message;
        return false;
    }

    bool Open()
    {
        const bool pg = target.engine == results::TDbTarget::Engine::Postgres;
        const std::string where = target.Display();
        if (!pg && !QFileInfo::exists(Q(target.sqlitePath)))
            return Fail(EDbState::Missing, where + ": no results database");
        db = QSqlDatabase::addDatabase(pg ? "QPSQL" : "QSQLITE", name);
        if (!db.isValid())
            return Fail(EDbState::Down,
                        std::string("the Qt SQL driver for ") +
                            (pg ? "PostgreSQL (libqt6sql6-psql)" : "SQLite (libqt6sql6-sqlite)") +
                            " is not installed");
        if (pg) {
            if (!target.host.empty())
                db.setHostName(Q(target.host));
            if (target.port > 0)
                db.setPort(target.port);
            if (!target.user.empty())
                db.setUserName(Q(target.user));
            if (!target.database.empty())
                db.setDatabaseName(Q(target.database));
            db.setConnectOptions("connect_timeout=3;keepalives=1;keepalives_idle=5;"
                                 "keepalives_interval=2;keepalives_count=3");
        } else {
            db.setDatabaseName(Q(target.sqlitePath));
            // Read-only by construction; a WAL reader never blocks the stations.
            db.setConnectOptions("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=2000");
        }
        if (!db.open())
            return Fail(EDbState::Down, where + ": " + ErrorText(db.lastError()));
        QSqlQuery q(db);
        if (pg) {
            for (const char* sql : {"SET default_transaction_read_only = on",
                                    "SET statement_timeout = 10000", "SET lock_timeout = 2000"})
                if (!q.exec(sql))
                    return Fail(EDbState::Down, where + ": " + ErrorText(q.lastError()));
        }
        if (!q.exec("SELECT MAX(version) FROM schema_version") || !q.next()) {
            const std::string text = ErrorText(q.lastError());
            if (LooksLocked(text))
                return Fail(EDbState::Locked, where + ": locked (" + text + ")");
            return Fail(EDbState::NotResults, where + ": not a results database (" + text + ")");
        }
        const int version = q.value(0).toInt();
        if (version > results::kSchemaVersion)
            return Fail(EDbState::NewerSchema, where + ": written by a newer program (schema " +
                                                   std::to_string(version) +
                                                   ", this one reads up to " +
                                                   std::to_string(results::kSchemaVersion) + ")");
        if (version < results::kSchemaVersion)
            return Fail(EDbState::NotResults,
                        where + ": schema " + std::to_string(version) +
                            " is older than this dashboard reads; a station run upgrades it");
        q.finish();
        open = true;
        lastState = EDbState::Ok;
        lastMessage.clear();
        // A run stored elsewhere is announced on this channel where the engine can.
        if (pg && db.driver()->hasFeature(QSqlDriver::EventNotifications) &&
            db.driver()->subscribeToNotification("mirantos_runs")) {
            listening = true;
            QObject::connect(
                db.driver(),
                qOverload<const QString&, QSqlDriver::NotificationSource, const QVariant&>(
                    &QSqlDriver::notification),
                [this](const QString&, QSqlDriver::NotificationSource, const QVariant&) {
                    latest.reset();
                    if (notified)
                        notified();
                });
        }
        return true;
    }

    // Runs `sql` with `values` bound; a failure closes the connection so the next request opens it.
    bool Select(QSqlQuery& q, const QString& sql, const QVariantList& values, std::string& error)
    {
        q.setForwardOnly(true);
        bool ok = q.prepare(sql);
        if (ok) {
            for (const QVariant& v : values)
                q.addBindValue(v);
            ok = q.exec();
        }
        if (!ok) {
            error = target.Display() + ": " + ErrorText(q.lastError());
            lastState = LooksLocked(error) ? EDbState::Locked : EDbState::Down;
            lastMessage = error;
            q = QSqlQuery();
            Close();
            lastTryMs = 0;
        }
        return ok;
    }
};

TDashboardDb::TDashboardDb(results::TDbTarget target) : impl_(std::make_unique<Impl>())
{
    impl_->target = std::move(target);
}

TDashboardDb::~TDashboardDb()
{
    impl_->Close();
}

const results::TDbTarget& TDashboardDb::Target() const
{
    return impl_->target;
}

bool TDashboardDb::Ready(EDbState& state, std::string& message)
{
    Impl& d = *impl_;
    if (d.open && d.db.isOpen()) {
        state = EDbState::Ok;
        return true;
    }
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (d.lastTryMs == 0 || now - d.lastTryMs >= 1000) {
        d.lastTryMs = now;
        d.Close();
        if (d.Open()) {
            state = EDbState::Ok;
            return true;
        }
    }
    state = d.lastState;
    message = d.lastMessage;
    return false;
}

void TDashboardDb::OnNotify(std::function<void()> notified)
{
    impl_->notified = std::move(notified);
}

bool TDashboardDb::Listening() const
{
    return impl_->listening;
}

bool TDashboardDb::RunsIn(const TPeriod& period, bool withSimulated, const std::string& station,
                          std::vector<TRunRow>& out, std::string& error)
{
    QSqlQuery q(impl_->db);
    QString sql =
        // No index keeps every run in time order, but runs_trend keeps each test's: naming
        // the tests lets both engines read one range of it per test instead of every run.
        "SELECT " + kRunColumns + kRunJoins +
        " WHERE r.test_id IN (SELECT id FROM test_definitions)"
        " AND r.started_utc >= ? AND r.started_utc < ?";
    QVariantList values{Q(period.fromUtc), Q(period.toUtc)};
    if (!withSimulated)
        sql += QString(" AND NOT (%1)").arg(SimulatedRunSql());
    if (!station.empty()) {
        sql += " AND s.name = ?";
        values << Q(station);
    }
    if (!impl_->Select(q, sql, values, error))
        return false;
    while (q.next())
        out.push_back(ReadRun(q));
    return true;
}

bool TDashboardDb::Pareto(const TPeriod& period, bool withSimulated, std::vector<TParetoRow>& out,
                          std::string& error)
{
    QSqlQuery q(impl_->db);
    QString sql = "SELECT t.name, m.channel, m.figure, COUNT(*) AS failures FROM measurements m"
                  " JOIN runs r ON r.id = m.run_id JOIN test_definitions t ON t.id = r.test_id"
                  // A failed limit fails its run: runs_failed finds those runs.
                  " WHERE r.started_utc >= ? AND r.started_utc < ? AND r.pass = 0"
                  " AND m.pass = 0";
    if (!withSimulated)
        sql += QString(" AND NOT (%1)").arg(SimulatedRunSql());
    sql += " GROUP BY t.name, m.channel, m.figure ORDER BY failures DESC, t.name, m.channel,"
           " m.figure LIMIT 50";
    if (!impl_->Select(q, sql, {Q(period.fromUtc), Q(period.toUtc)}, error))
        return false;
    while (q.next())
        out.push_back(
            TParetoRow{S(q.value(0)), q.value(1).toInt(), S(q.value(2)), q.value(3).toLongLong()});
    return true;
}

bool TDashboardDb::Figure(const std::string& test, std::string& version, int channel,
                          const std::string& figure, const TPeriod& period, bool withSimulated,
                          int limit, std::vector<TFigurePoint>& out, bool& truncated,
                          std::string& error)
{
    QSqlQuery q(impl_->db);
    truncated = false;
    if (version.empty()) {
        // The version of the test's newest run.
        if (!impl_->Select(q,
                           "SELECT t.version FROM runs r JOIN test_definitions t ON t.id ="
                           " r.test_id WHERE t.name = ? ORDER BY r.started_utc DESC, r.id DESC"
                           " LIMIT 1",
                           {Q(test)}, error))
            return false;
        if (!q.next())
            return true; // no such test: no points
        version = S(q.value(0));
    }
    QString sql =
        "SELECT r.started_utc, r.serial, r.uuid, s.name, m.value, m.low_limit, m.high_limit,"
        " m.pass FROM measurements m JOIN runs r ON r.id = m.run_id"
        " JOIN test_definitions t ON t.id = r.test_id JOIN stations s ON s.id = r.station_id"
        " WHERE t.name = ? AND t.version = ? AND m.channel = ? AND m.figure = ?"
        " AND m.value IS NOT NULL AND r.started_utc >= ? AND r.started_utc < ?";
    if (!withSimulated)
        sql += QString(" AND NOT (%1)").arg(SimulatedRunSql());
    sql += " ORDER BY r.started_utc DESC, r.id DESC LIMIT ?";
    if (!impl_->Select(q, sql,
                       {Q(test), Q(version), channel, Q(figure), Q(period.fromUtc), Q(period.toUtc),
                        limit + 1},
                       error))
        return false;
    while (q.next()) {
        if (static_cast<int>(out.size()) == limit) {
            truncated = true;
            break;
        }
        TFigurePoint p;
        p.startedUtc = S(q.value(0));
        p.serial = S(q.value(1));
        p.uuid = S(q.value(2));
        p.station = S(q.value(3));
        p.value = q.value(4).toDouble();
        p.low = Num(q.value(5));
        p.high = Num(q.value(6));
        p.pass = q.value(7).toInt() != 0;
        out.push_back(std::move(p));
    }
    std::reverse(out.begin(), out.end());
    return true;
}

bool TDashboardDb::Serial(const std::string& serial, std::vector<TSerialRun>& out,
                          std::string& error)
{
    QSqlQuery q(impl_->db);
    if (!impl_->Select(q,
                       "SELECT " + kRunColumns + ", r.id" + kRunJoins +
                           " WHERE r.serial = ? ORDER BY r.started_utc, r.id LIMIT 1000",
                       {Q(serial)}, error))
        return false;
    std::map<long long, size_t> byId;
    while (q.next()) {
        byId[q.value(kRunColumnCount).toLongLong()] = out.size();
        out.push_back(TSerialRun{ReadRun(q), {}});
    }
    if (!impl_->Select(q,
                       "SELECT m.run_id, m.channel, m.figure, m.value, m.low_limit, m.high_limit,"
                       " m.pass FROM measurements m JOIN runs r ON r.id = m.run_id"
                       " WHERE r.serial = ? ORDER BY m.run_id, m.channel, m.figure",
                       {Q(serial)}, error))
        return false;
    while (q.next()) {
        const auto it = byId.find(q.value(0).toLongLong());
        if (it == byId.end())
            continue;
        out[it->second].figures.push_back(TSerialFigure{q.value(1).toInt(), S(q.value(2)),
                                                        Num(q.value(3)), Num(q.value(4)),
                                                        Num(q.value(5)), q.value(6).toInt() != 0});
    }
    return true;
}

bool TDashboardDb::Latest(TLatest& out, std::string& error)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (impl_->listening && impl_->latest && now - impl_->latestMs < 1000) {
        out = *impl_->latest;
        return true;
    }
    QSqlQuery q(impl_->db);
    if (!impl_->Select(q, "SELECT id, uuid, started_utc FROM runs ORDER BY id DESC LIMIT 1", {},
                       error))
        return false;
    out = TLatest{};
    if (q.next()) {
        out.id = q.value(0).toLongLong();
        out.uuid = S(q.value(1));
        out.startedUtc = S(q.value(2));
    }
    if (impl_->listening) {
        impl_->latest = out;
        impl_->latestMs = now;
    }
    return true;
}

bool TDashboardDb::FiguresOfRuns(const std::vector<std::string>& uuids,
                                 std::vector<TRunFigure>& out, std::string& error)
{
    if (uuids.empty())
        return true;
    QSqlQuery q(impl_->db);
    QString marks;
    QVariantList values;
    for (const std::string& uuid : uuids) {
        marks += marks.isEmpty() ? "?" : ", ?";
        values << Q(uuid);
    }
    if (!impl_->Select(q,
                       "SELECT r.uuid, m.channel, m.figure FROM measurements m JOIN runs r ON"
                       " r.id = m.run_id WHERE r.uuid IN (" +
                           marks + ") ORDER BY m.channel, m.figure",
                       values, error))
        return false;
    while (q.next())
        out.push_back(TRunFigure{S(q.value(0)), q.value(1).toInt(), S(q.value(2))});
    return true;
}

} // namespace mirantos::dashboard
