// Time-outs and identity of a PostgreSQL session.

#include "PgSession.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>

namespace mirantos::results {

QString PgConnectOptions(int connectTimeoutS)
{
    return QString("connect_timeout=%1;keepalives=1;keepalives_idle=5;keepalives_interval=2;"
                   "keepalives_count=3;tcp_user_timeout=10000")
        .arg(std::max(1, connectTimeoutS));
}

bool StartPgSession(QSqlDatabase& db, std::string& identity, std::string& error)
{
    QSqlQuery q(db);
    for (const QString& sql : {QString("SET lock_timeout = %1").arg(kLockTimeoutMs),
                               QString("SET statement_timeout = %1").arg(kStatementTimeoutMs)})
        if (!q.exec(sql)) {
            error = q.lastError().text().toStdString();
            return false;
        }
    // Several URLs may name one server (localhost, 127.0.0.1, a socket): the
    // cluster's system identifier and the database name do not change with them.
    if (q.exec("SELECT system_identifier::text, current_database() FROM pg_control_system()") &&
        q.next()) {
        identity = (q.value(0).toString() + "/" + q.value(1).toString()).toStdString();
        return true;
    }
    identity.clear(); // not granted: the spool falls back to the URL
    return true;
}

} // namespace mirantos::results
