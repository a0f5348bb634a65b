#pragma once
// A PostgreSQL session that cannot stall a station: libpq's connect options
// (connect time-out, TCP keepalives, tcp_user_timeout) and, once connected,
// lock and statement time-outs; and the server's identity. Internal to
// results/ (Qt SQL types).

#include <QSqlDatabase>
#include <QString>

#include <string>

namespace mirantos::results {

// A waiting lock gives up after this long, a statement after this long: a run
// then waits in the spool like one for an unreachable server.
inline constexpr int kLockTimeoutMs = 5000;
inline constexpr int kStatementTimeoutMs = 10000;

// QPSQL's connect options: connect_timeout, keepalives after 5 s idle (every
// 2 s, 3 misses) and tcp_user_timeout 10 s, so a dead server is noticed.
QString PgConnectOptions(int connectTimeoutS);

// Sets the session's time-outs and reads the identity, "SYSTEM_IDENTIFIER/DATABASE"
// (the URL stands in when pg_control_system() is not granted to the user).
bool StartPgSession(QSqlDatabase& db, std::string& identity, std::string& error);

} // namespace mirantos::results
