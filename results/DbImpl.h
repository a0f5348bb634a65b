#pragma once
// The state of one open results database and the work every part of TResultsDb
// shares: the schema's upgrade, write transactions, storing a run. Private to
// results/ (ResultsDb.cpp opens and stores, SpoolStore.cpp keeps the spool).

#include "ResultsDb.h"
#include "ResultsSql.h"
#include "Schema.h"
#include "ServerErrors.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QVariant>

#include <functional>

namespace mirantos::results {

namespace detail {

using namespace sql;

using Engine = TDbTarget::Engine;

// Any number; the same in every program that migrates this schema.
constexpr qint64 kMigrationLockKey = 0x4d4952414e54; // "MIRANT"
constexpr int kBusyTimeoutMs = 15000;
// Opening a file other stations are creating: tries, 50 ms apart and 100 ms more each time.
constexpr int kOpenAttempts = 12;

inline QVariant TextOrNull(const std::string& s)
{
    return s.empty() ? QVariant(QMetaType::fromType<QString>()) : QVariant(Q(s));
}

inline QVariant Num(const std::optional<double>& v)
{
    return v ? QVariant(*v) : QVariant(QMetaType::fromType<double>());
}

// Advisory locks of two keys: this class for test definitions by name and
// version (the migration's lock is one key of its own).
constexpr int kDefinitionLockClass = 0x5444; // "TD"

inline bool IsBusy(const QSqlError& e)
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

} // namespace detail

using namespace detail;

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
            const ERunOutcome outcome = run.outcome;
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

} // namespace mirantos::results
