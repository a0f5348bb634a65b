// The results database through Qt SQL: schema, migrations, storing runs and the spool.
// The read-only queries are in ResultsQuery.cpp.

#include "ResultsDb.h"
#include "PgSession.h"
#include "ResultsSql.h"
#include "Schema.h"
#include "ServerErrors.h"

#include <QAtomicInteger>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QThread>
#include <QTimeZone>
#include <QVariant>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <functional>

namespace mirantos::results {

const int kSchemaVersion = 3;

using namespace sql;

namespace {

using Engine = TDbTarget::Engine;

// Any number; the same in every program that migrates this schema.
constexpr qint64 kMigrationLockKey = 0x4d4952414e54; // "MIRANT"
constexpr int kBusyTimeoutMs = 15000;
// Opening a file other stations are creating: tries, 50 ms apart and 100 ms more each time.
constexpr int kOpenAttempts = 12;

QVariant TextOrNull(const std::string& s)
{
    return s.empty() ? QVariant(QMetaType::fromType<QString>()) : QVariant(Q(s));
}

QVariant Num(const std::optional<double>& v)
{
    return v ? QVariant(*v) : QVariant(QMetaType::fromType<double>());
}

// Advisory locks of two keys: this class for test definitions by name and
// version (the migration's lock is one key of its own).
constexpr int kDefinitionLockClass = 0x5444; // "TD"

// The outcome a record stores. A record filled by code older than outcomes
// says `pass` alone, and the outcome it leaves at its default (FAIL, no reason)
// then follows it.
ERunOutcome StoredOutcome(const TRunRecord& run)
{
    if (run.pass && run.outcome == ERunOutcome::Fail && run.outcomeReason.empty())
        return ERunOutcome::Pass;
    return run.outcome;
}

bool IsBusy(const QSqlError& e)
{
    // SQLITE_BUSY, SQLITE_LOCKED, and their extended codes (BUSY_SNAPSHOT, ...) in the low byte.
    bool number = false;
    const int code = e.nativeErrorCode().toInt(&number) & 0xff;
    return number && (code == 5 || code == 6);
}

struct TSchemaState {
    int version = 0;      // 0: no schema yet
    bool foreign = false; // tables that are not ours, or ours without a version
};

} // namespace

struct TResultsDb::Impl {
    TDbTarget target;
    QString name;
    QSqlDatabase db;
    int version = 0;
    std::string identity; // a server's system identifier and database name
    // What the last failure was, to judge it: the last SQL error, or a refusal
    // of the database or of the record by this program itself.
    QSqlError lastSql;
    bool refused = false;
    EFailure failure = EFailure::None;

    ~Impl()
    {
        if (db.isValid())
            db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
    }

    bool Pg() const { return target.engine == Engine::Postgres; }

    std::string Where() const { return target.Display(); }

    std::string Note(const QSqlError& e)
    {
        lastSql = e;
        return DbText(e);
    }

    // A failure this program judged itself (a newer schema, a record it cannot
    // store) is permanent; a server's is judged by its SQLSTATE.
    EFailure Judge() const
    {
        if (refused || !lastSql.isValid())
            return EFailure::Permanent;
        if (!Pg() || !db.isOpen())
            return EFailure::Transient;
        return ClassifySqlState(lastSql.nativeErrorCode().toStdString());
    }

    bool Exec(const QString& sql, std::string& error)
    {
        QSqlQuery q(db);
        if (q.exec(sql))
            return true;
        error = Note(q.lastError());
        return false;
    }

    bool ReadSchema(TSchemaState& st, std::string& error)
    {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        const QString list = Pg() ? "SELECT table_name FROM information_schema.tables"
                                    " WHERE table_schema = current_schema()"
                                  : "SELECT name FROM sqlite_master WHERE type = 'table'";
        if (!q.exec(list)) {
            error = Note(q.lastError());
            return false;
        }
        bool hasVersion = false, other = false, ours = false;
        while (q.next()) {
            const QString t = q.value(0).toString();
            if (t == "schema_version")
                hasVersion = true;
            else if (t == "stations" || t == "test_definitions" || t == "runs" ||
                     t == "measurements" || t == "outbox")
                ours = true;
            else if (!t.startsWith("sqlite_"))
                other = true;
        }
        q.finish();
        st = {};
        if (!hasVersion) {
            // A server's database may hold other tables; a file is ours alone.
            st.foreign = ours || (!Pg() && other);
            return true;
        }
        if (!q.exec("SELECT MAX(version) FROM schema_version") || !q.next()) {
            error = Note(q.lastError());
            return false;
        }
        st.version = q.value(0).isNull() ? 0 : q.value(0).toInt();
        st.foreign = st.version < 1;
        return true;
    }

    // Refusals of a database this program must not write into.
    bool Acceptable(const TSchemaState& st, std::string& error)
    {
        refused = st.foreign || st.version > kSchemaVersion;
        if (st.foreign) {
            error = Where() + ": not a MIRANTOS results database (tables without its schema "
                              "version); refused, nothing changed";
            return false;
        }
        if (st.version > kSchemaVersion) {
            error = Where() + ": written by a newer MIRANTOS (schema version " +
                    std::to_string(st.version) + ", this program knows up to " +
                    std::to_string(kSchemaVersion) + "); refused, nothing changed";
            return false;
        }
        return true;
    }

    // BEGIN for a write: SQLite takes the write lock at once (IMMEDIATE), so two
    // writers queue on the busy timeout instead of failing at their first write.
    bool Begin(std::string& error)
    {
        for (int attempt = 0;; ++attempt) {
            QSqlQuery q(db);
            if (q.exec(Pg() ? "BEGIN" : "BEGIN IMMEDIATE"))
                return true;
            if (Pg() || !IsBusy(q.lastError()) || attempt >= 4) {
                error = Note(q.lastError());
                return false;
            }
            QThread::msleep(50 + 100 * attempt);
        }
    }

    bool Commit(std::string& error)
    {
        for (int attempt = 0;; ++attempt) {
            QSqlQuery q(db);
            if (q.exec("COMMIT"))
                return true;
            if (Pg() || !IsBusy(q.lastError()) || attempt >= 4) {
                error = Note(q.lastError());
                Rollback();
                return false;
            }
            QThread::msleep(50 + 100 * attempt);
        }
    }

    void Rollback()
    {
        QSqlQuery q(db);
        q.exec("ROLLBACK");
    }

    // Runs `work` in one write transaction; everything or nothing.
    bool Transaction(const std::function<bool(std::string&)>& work, std::string& error)
    {
        if (!Begin(error))
            return false;
        if (!work(error)) {
            Rollback();
            return false;
        }
        return Commit(error);
    }

    bool Migrate(std::string& error)
    {
        TSchemaState st;
        if (!ReadSchema(st, error) || !Acceptable(st, error))
            return false;
        version = st.version;
        if (version == kSchemaVersion)
            return true;
        return Transaction(
            [&](std::string& err) {
                if (Pg() && !Exec("SELECT pg_advisory_xact_lock(" +
                                      QString::number(kMigrationLockKey) + ")",
                                  err))
                    return false;
                // Another program may have migrated while this one waited for the lock.
                if (!ReadSchema(st, err) || !Acceptable(st, err))
                    return false;
                for (int v = st.version; v < kSchemaVersion; ++v)
                    for (const QString& sql : SchemaStep(v, target.engine))
                        if (!Exec(sql, err)) {
                            err = "schema upgrade to version " + std::to_string(v + 1) +
                                  " failed: " + err;
                            return false;
                        }
                // The rebuilt tables' foreign keys hold for the rows copied.
                if (!Pg() && st.version < 3 && !ForeignKeysHold(err))
                    return false;
                version = kSchemaVersion;
                return true;
            },
            error);
    }

    bool ForeignKeysHold(std::string& error)
    {
        QSqlQuery q(db);
        if (!q.exec("PRAGMA foreign_key_check")) {
            error = Note(q.lastError());
            return false;
        }
        if (!q.next())
            return true;
        error = "schema upgrade to version 3 failed: a row of " + S(q.value(0)) +
                " names a missing row of " + S(q.value(2));
        return false;
    }

    // A test definition is its name and version: the same ones with other
    // limits are refused (the run is not stored, and sending it again cannot
    // help), so a trend never mixes two tests under one name. Databases of
    // version 2 may hold such pairs already; they are kept as they are.
    bool DefinitionAccepted(const TRunRecord& run, std::string& error)
    {
        QSqlQuery q(db);
        if (!Select(q, "SELECT id FROM test_definitions WHERE sha256 = ?", {Q(run.testSha256)},
                    error))
            return false;
        if (q.next())
            return true; // stored already, under its own name and version
        // Stations adding the same name at once: one at a time (SQLite's
        // write lock does that already).
        if (Pg() && !Exec("SELECT pg_advisory_xact_lock(" + QString::number(kDefinitionLockClass) +
                              ", hashtext(?))",
                          {Q(run.testName + '\n' + run.testVersion)}, error))
            return false;
        if (!Select(q,
                    "SELECT sha256 FROM test_definitions WHERE name = ? AND version = ?"
                    " AND sha256 <> ? ORDER BY id LIMIT 1",
                    {Q(run.testName), Q(run.testVersion), Q(run.testSha256)}, error))
            return false;
        if (!q.next())
            return true;
        const auto shortHash = [](const std::string& h) {
            return h.size() > 12 ? h.substr(0, 12) + "..." : h;
        };
        refused = true;
        error = "test \"" + run.testName + "\" version \"" + run.testVersion +
                "\" is stored already with other limits (sha256 " + shortHash(S(q.value(0))) +
                "; this run's " + shortHash(run.testSha256) +
                "): give the changed limits file a new version";
        return false;
    }

    // Adds the row unless its key (the first column) is there, and gives its id.
    // Several stations may add the same station or test at once: DO NOTHING
    // waits for the other writer and then the SELECT sees its row.
    bool IdOf(const QString& table, const QStringList& columns, const QVariantList& values,
              qint64& id, std::string& error)
    {
        if (!Exec("INSERT INTO " + table + " (" + columns.join(", ") + ") VALUES (" +
                      QStringList(columns.size(), "?").join(", ") + ") ON CONFLICT (" + columns[0] +
                      ") DO NOTHING",
                  values, error))
            return false;
        QSqlQuery q(db);
        if (!Select(q, "SELECT id FROM " + table + " WHERE " + columns[0] + " = ?", {values[0]},
                    error))
            return false;
        if (!q.next()) {
            error = q.lastError().isValid() ? Note(q.lastError()) : "row vanished";
            return false;
        }
        id = q.value(0).toLongLong();
        return true;
    }

    // The body of Insert, inside a transaction.
    bool InsertRun(const TRunRecord& run, bool& inserted, std::string& error)
    {
        inserted = false;
        const auto started = CanonicalUtc(run.startedUtc);
        const auto ended = CanonicalUtc(run.endedUtc);
        if (run.uuid.empty() || !started || !ended) {
            error = run.uuid.empty() ? "the run has no uuid"
                                     : "the run's start or end time is not ISO 8601 ('" +
                                           run.startedUtc + "', '" + run.endedUtc + "')";
            return false;
        }
        if (!run.boardKind.empty() && run.boardKind != "usb" && run.boardKind != "sim") {
            refused = true;
            error = "the run's board kind is \"" + run.boardKind + "\", not usb or sim";
            return false;
        }
        if (!DefinitionAccepted(run, error))
            return false;
        qint64 stationId = 0, testId = 0;
        if (!IdOf("stations", {"name"}, {Q(run.station)}, stationId, error) ||
            !IdOf("test_definitions", {"sha256", "name", "version", "content"},
                  {Q(run.testSha256), Q(run.testName), Q(run.testVersion), Q(run.testContent)},
                  testId, error))
            return false;

        qint64 runId = 0;
        {
            QSqlQuery q(db);
            const ERunOutcome outcome = StoredOutcome(run);
            if (!Select(q,
                        "INSERT INTO runs (uuid, serial, operator, station_id, test_id,"
                        " started_utc, ended_utc, settings, pass, program_version, data_path,"
                        " data_sha256, outcome, outcome_reason, part_number, lot, dut_hw_id,"
                        " board_kind, board_identity) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?,"
                        " ?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT (uuid) DO NOTHING RETURNING id",
                        {Q(run.uuid), Q(run.serial), TextOrNull(run.operatorName), stationId,
                         testId, Q(*started), Q(*ended), Q(run.settingsJson),
                         outcome == ERunOutcome::Pass ? 1 : 0, Q(run.programVersion),
                         TextOrNull(run.dataPath), TextOrNull(run.dataSha256),
                         QString(OutcomeText(outcome)), TextOrNull(run.outcomeReason),
                         TextOrNull(run.partNumber), TextOrNull(run.lot),
                         TextOrNull(run.dutHardwareId), TextOrNull(run.boardKind),
                         TextOrNull(run.boardIdentity)},
                        error))
                return false;
            if (!q.next())
                return true; // stored before: its measurements are there already
            runId = q.value(0).toLongLong();
        }
        // Whoever listens (a line's dashboard) hears of the run when it is committed.
        if (Pg() && !Exec("SELECT pg_notify('mirantos_runs', ?)", {Q(run.uuid)}, error))
            return false;
        QSqlQuery m(db);
        m.prepare("INSERT INTO measurements (run_id, test_id, channel, figure, value, low_limit,"
                  " high_limit, pass, unit, band_low_hz, band_high_hz, reason)"
                  " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        for (const TMeasurementRow& row : run.measurements) {
            m.addBindValue(runId);
            m.addBindValue(testId);
            m.addBindValue(row.channel);
            m.addBindValue(Q(row.figure));
            m.addBindValue(Num(row.value));
            m.addBindValue(Num(row.low));
            m.addBindValue(Num(row.high));
            m.addBindValue(row.pass ? 1 : 0);
            m.addBindValue(TextOrNull(row.unit));
            m.addBindValue(Num(row.bandLowHz));
            m.addBindValue(Num(row.bandHighHz));
            m.addBindValue(TextOrNull(row.reason));
            if (!m.exec()) {
                error = Note(m.lastError());
                return false;
            }
        }
        inserted = true;
        return true;
    }

    bool Select(QSqlQuery& q, const QString& sql, const QVariantList& values, std::string& error)
    {
        // The server's own error is kept, so a failure can be judged by its SQLSTATE.
        if (sql::Select(q, sql, values, error))
            return true;
        if (q.lastError().isValid())
            error = Note(q.lastError());
        return false;
    }

    // A statement with bound values that gives no rows (INSERT, DELETE).
    bool Exec(const QString& sql, const QVariantList& values, std::string& error)
    {
        QSqlQuery q(db);
        return Select(q, sql, values, error);
    }
};

std::optional<std::string> CanonicalUtc(const std::string& text)
{
    const QString s = Q(text).trimmed();
    QDateTime t = QDateTime::fromString(s, Qt::ISODateWithMs);
    if (!t.isValid()) {
        const QDate d = QDate::fromString(s, Qt::ISODate);
        if (!d.isValid())
            return std::nullopt;
        t = QDateTime(d, QTime(0, 0), QTimeZone::utc());
    } else if (t.timeSpec() == Qt::LocalTime) {
        t.setTimeZone(QTimeZone::utc());
    }
    return t.toUTC().toString("yyyy-MM-ddTHH:mm:ss.zzzZ").toStdString();
}

TResultsDb::TResultsDb(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
TResultsDb::~TResultsDb() = default;

const TDbTarget& TResultsDb::Target() const
{
    return impl_->target;
}
int TResultsDb::SchemaVersion() const
{
    return impl_->version;
}
const std::string& TResultsDb::ServerIdentity() const
{
    return impl_->identity;
}
EFailure TResultsDb::LastFailure() const
{
    return impl_->failure;
}

std::unique_ptr<TResultsDb> TResultsDb::Open(const TDbTarget& target, std::string& error,
                                             int connectTimeoutS, EFailure* failure)
{
    EFailure judged = EFailure::Transient;
    auto opened = OpenJudged(target, error, connectTimeoutS, judged);
    if (!opened && failure)
        *failure = judged;
    return opened;
}

std::unique_ptr<TResultsDb> TResultsDb::OpenJudged(const TDbTarget& target, std::string& error,
                                                   int connectTimeoutS, EFailure& failure)
{
    const bool pg = target.engine == Engine::Postgres;
    const QString driver = pg ? "QPSQL" : "QSQLITE";
    if (!QSqlDatabase::isDriverAvailable(driver)) {
        error = "the Qt SQL driver " + driver.toStdString() + " is not installed (Debian package " +
                (pg ? "libqt6sql6-psql" : "libqt6sql6-sqlite") + ")";
        return nullptr;
    }
    const std::string where = target.Display();
    if (!pg) {
        if (target.sqlitePath.empty()) {
            error = "no results database file given";
            return nullptr;
        }
        const QFileInfo file(Q(target.sqlitePath));
        if (!QDir().mkpath(file.absolutePath())) {
            error = where + ": cannot create the folder " + file.absolutePath().toStdString();
            return nullptr;
        }
        struct stat st {};
        if (::stat(target.sqlitePath.c_str(), &st) == 0) {
            if (!S_ISREG(st.st_mode)) {
                error = where + ": not a file";
                return nullptr;
            }
            // A file without write permission is the user's wish even where root could write.
            errno = 0;
            if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 ||
                ::access(target.sqlitePath.c_str(), W_OK) != 0) {
                failure = EFailure::Permanent;
                error =
                    where +
                    (errno == EROFS ? ": on a read-only file system" : ": the file is read-only") +
                    "; the results database needs write access";
                return nullptr;
            }
        }
    }

    static QAtomicInteger<quint64> serial;
    auto impl = std::make_unique<Impl>();
    impl->target = target;
    impl->name = QString("mirantos-results-%1").arg(serial.fetchAndAddRelaxed(1));
    impl->db = QSqlDatabase::addDatabase(driver, impl->name);
    QSqlDatabase& db = impl->db;
    if (pg) {
        if (!target.host.empty())
            db.setHostName(Q(target.host));
        if (target.port != 0)
            db.setPort(target.port);
        if (!target.user.empty())
            db.setUserName(Q(target.user));
        if (!target.database.empty())
            db.setDatabaseName(Q(target.database));
        db.setConnectOptions(PgConnectOptions(connectTimeoutS));
    } else {
        db.setDatabaseName(Q(target.sqlitePath));
        db.setConnectOptions(QString("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
    }
    // A file that cannot be written because of its folder or disk says so,
    // not that it is damaged.
    const auto sqliteCause = [&](const QSqlError& e) {
        return SqliteFolderCause(target.sqlitePath, e.nativeErrorCode().toInt());
    };
    if (!db.open()) {
        const std::string cause = pg ? std::string() : sqliteCause(db.lastError());
        failure = pg ? ClassifyConnectFailure(DbText(db.lastError())) : EFailure::Permanent;
        error = (pg ? "cannot connect to " : "cannot open ") + where + ": " +
                (cause.empty() ? "" : cause + ": ") + DbText(db.lastError());
        return nullptr;
    }

    // Stations that open a new file together race to create it and switch it
    // to WAL, and SQLite answers some of those races "locked" at once rather
    // than after its busy time-out: such a step is tried again, from the start.
    int attempt = 0;
    const auto again = [&](const QSqlError& e) {
        if (pg || !IsBusy(e) || attempt >= kOpenAttempts)
            return false;
        QThread::msleep(static_cast<unsigned long>(50 + 100 * attempt++));
        return true;
    };
    for (;;) {
        // Read first, so a database that is refused is left exactly as it was.
        TSchemaState st;
        if (!impl->ReadSchema(st, error)) {
            if (again(impl->lastSql))
                continue;
            const std::string cause = pg ? std::string() : sqliteCause(impl->lastSql);
            failure = pg ? impl->Judge() : EFailure::Permanent;
            error = pg              ? where + ": " + error
                    : cause.empty() ? where + ": not a results database, or damaged (" + error + ")"
                                    : where + ": " + cause + " (" + error + ")";
            return nullptr;
        }
        if (!impl->Acceptable(st, error)) {
            failure = EFailure::Permanent;
            return nullptr;
        }
        if (!pg) {
            QSqlQuery q(db);
            if (!q.exec("PRAGMA journal_mode=WAL") || !q.next()) {
                if (again(q.lastError()))
                    continue;
                const std::string cause = sqliteCause(q.lastError());
                failure = EFailure::Permanent;
                error = where + ": " + (cause.empty() ? "" : cause + ": ") + DbText(q.lastError());
                return nullptr;
            }
        }
        if (!impl->Migrate(error)) {
            if (again(impl->lastSql))
                continue;
            failure = impl->Judge();
            const std::string cause = pg ? std::string() : sqliteCause(impl->lastSql);
            error = where + ": " + (cause.empty() ? "" : cause + ": ") + error;
            return nullptr;
        }
        break;
    }
    // SQLite checks the foreign keys a connection asks for; not inside the
    // upgrade, which rebuilds tables they name.
    if (!pg) {
        QSqlQuery q(db);
        if (!q.exec("PRAGMA foreign_keys = ON")) {
            failure = EFailure::Permanent;
            error = where + ": " + DbText(q.lastError());
            return nullptr;
        }
    }
    // The session's time-outs come after the upgrade, which may rightly take long.
    if (pg && !StartPgSession(db, impl->identity, error)) {
        failure = EFailure::Transient;
        error = where + ": " + error;
        return nullptr;
    }
    return std::unique_ptr<TResultsDb>(new TResultsDb(std::move(impl)));
}

bool TResultsDb::Insert(const TRunRecord& run, bool& inserted, std::string& error)
{
    inserted = false;
    impl_->lastSql = QSqlError();
    impl_->refused = false;
    impl_->failure = EFailure::None;
    bool added = false;
    const bool ok = impl_->Transaction(
        [&](std::string& err) { return impl_->InsertRun(run, added, err); }, error);
    if (!ok) {
        impl_->failure = impl_->Judge();
        error = impl_->Where() + ": run " + run.uuid + " not stored: " + error;
        return false;
    }
    inserted = added;
    return true;
}

QSqlDatabase& TResultsDb::Connection()
{
    return impl_->db;
}

bool TResultsDb::AddUnsent(const TRunRecord& run, const std::string& server, std::string& error)
{
    const bool ok = impl_->Transaction(
        [&](std::string& err) {
            bool added = false;
            return impl_->InsertRun(run, added, err) &&
                   impl_->Exec("INSERT INTO outbox (uuid, server) VALUES (?, ?)"
                               " ON CONFLICT (uuid) DO NOTHING",
                               {Q(run.uuid), Q(server)}, err);
        },
        error);
    if (!ok)
        error = impl_->Where() + ": run " + run.uuid + " not spooled: " + error;
    return ok;
}

bool TResultsDb::Unsent(const std::string& server, std::vector<TRunRecord>& out, std::string& error)
{
    return ReadUnsent(false, server, out, error);
}

bool TResultsDb::SpooledRun(const std::string& uuid, TRunRecord& out, std::string& error)
{
    std::vector<TRunRecord> runs;
    if (!ReadUnsent(true, uuid, runs, error))
        return false;
    if (runs.empty()) {
        error = impl_->Where() + ": run " + uuid + " is not in the spool";
        return false;
    }
    out = std::move(runs.front());
    return true;
}

bool TResultsDb::Outbox(std::vector<TOutboxEntry>& out, std::string& error)
{
    out.clear();
    QSqlQuery q(impl_->db);
    if (!impl_->Select(q,
                       "SELECT o.uuid, r.serial, " + TimeText("r.ended_utc", impl_->Pg()) +
                           ", o.server FROM outbox o"
                           " JOIN runs r ON r.uuid = o.uuid ORDER BY r.started_utc, r.id",
                       {}, error)) {
        error = impl_->Where() + ": " + error;
        return false;
    }
    while (q.next())
        out.push_back({S(q.value(0)), S(q.value(1)), S(q.value(2)), S(q.value(3))});
    return true;
}

bool TResultsDb::SetDestinations(
    const std::vector<std::pair<std::string, std::string>>& destinations, std::string& error)
{
    const bool ok = impl_->Transaction(
        [&](std::string& err) {
            for (const auto& [uuid, destination] : destinations)
                if (!impl_->Exec("UPDATE outbox SET server = ? WHERE uuid = ?",
                                 {Q(destination), Q(uuid)}, err))
                    return false;
            return true;
        },
        error);
    if (!ok)
        error = impl_->Where() + ": " + error;
    return ok;
}

bool TResultsDb::ReadUnsent(bool byUuid, const std::string& key, std::vector<TRunRecord>& out,
                            std::string& error)
{
    out.clear();
    std::vector<qint64> ids;
    {
        QSqlQuery q(impl_->db);
        if (!impl_->Select(q,
                           "SELECT r.id, r.uuid, r.serial, r.operator, s.name, t.name, t.version,"
                           " t.content, t.sha256, " +
                               TimeText("r.started_utc", impl_->Pg()) + ", " +
                               TimeText("r.ended_utc", impl_->Pg()) +
                               ", r.settings, r.pass,"
                               " r.program_version, r.data_path, r.data_sha256, r.outcome,"
                               " r.outcome_reason, r.part_number, r.lot, r.dut_hw_id,"
                               " r.board_kind, r.board_identity, " +
                               TimeText("r.received_utc", impl_->Pg()) +
                               " FROM outbox o JOIN runs r ON r.uuid = o.uuid"
                               " JOIN stations s ON s.id = r.station_id"
                               " JOIN test_definitions t ON t.id = r.test_id"
                               " WHERE o." +
                               QString(byUuid ? "uuid" : "server") +
                               " = ? ORDER BY r.started_utc, r.id",
                           {Q(key)}, error)) {
            error = impl_->Where() + ": " + error;
            return false;
        }
        while (q.next()) {
            ids.push_back(q.value(0).toLongLong());
            TRunRecord r;
            r.uuid = S(q.value(1));
            r.serial = S(q.value(2));
            r.operatorName = S(q.value(3));
            r.station = S(q.value(4));
            r.testName = S(q.value(5));
            r.testVersion = S(q.value(6));
            r.testContent = S(q.value(7));
            r.testSha256 = S(q.value(8));
            r.startedUtc = S(q.value(9));
            r.endedUtc = S(q.value(10));
            r.settingsJson = S(q.value(11));
            r.pass = q.value(12).toInt() != 0;
            r.programVersion = S(q.value(13));
            r.dataPath = S(q.value(14));
            r.dataSha256 = S(q.value(15));
            r.outcome = OutcomeFromText(S(q.value(16))).value_or(ERunOutcome::Fail);
            r.outcomeReason = S(q.value(17));
            r.partNumber = S(q.value(18));
            r.lot = S(q.value(19));
            r.dutHardwareId = S(q.value(20));
            r.boardKind = S(q.value(21));
            r.boardIdentity = S(q.value(22));
            r.receivedUtc = S(q.value(23));
            out.push_back(std::move(r));
        }
    }
    for (size_t i = 0; i < out.size(); ++i) {
        QSqlQuery q(impl_->db);
        if (!impl_->Select(q,
                           "SELECT channel, figure, value, low_limit, high_limit, pass, unit,"
                           " band_low_hz, band_high_hz, reason"
                           " FROM measurements WHERE run_id = ? ORDER BY channel, figure",
                           {ids[i]}, error)) {
            error = impl_->Where() + ": " + error;
            return false;
        }
        while (q.next()) {
            TMeasurementRow m;
            m.channel = q.value(0).toInt();
            m.figure = S(q.value(1));
            m.value = OptNum(q.value(2));
            m.low = OptNum(q.value(3));
            m.high = OptNum(q.value(4));
            m.pass = q.value(5).toInt() != 0;
            m.unit = S(q.value(6));
            m.bandLowHz = OptNum(q.value(7));
            m.bandHighHz = OptNum(q.value(8));
            m.reason = S(q.value(9));
            out[i].measurements.push_back(std::move(m));
        }
    }
    return true;
}

bool TResultsDb::MarkSent(const std::string& uuid, std::string& error)
{
    // One statement: atomic on its own.
    if (impl_->Exec("DELETE FROM outbox WHERE uuid = ?", {Q(uuid)}, error))
        return true;
    error = impl_->Where() + ": " + error;
    return false;
}

} // namespace mirantos::results
