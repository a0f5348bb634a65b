// The results database through Qt SQL: opening it (and upgrading its schema) and
// storing runs. The spool is in SpoolStore.cpp, the read-only queries in ResultsQuery.cpp.

#include "ResultsDb.h"
#include "DbImpl.h"
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

} // namespace mirantos::results
