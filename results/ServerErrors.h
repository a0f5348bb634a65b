#pragma once
// How a failed store is judged: a transient failure (no connection, a timeout,
// a conflict between transactions) keeps the run in the spool for a later try;
// a permanent one (the server refuses this run or this login whatever the
// moment) is reported at once and never spooled, since retrying cannot help.

#include <string>
#include <string_view>

namespace mirantos::results {

enum class EFailure { None, Transient, Permanent };

// By a PostgreSQL SQLSTATE: classes 22 (data), 23 (constraint), 28 (login),
// 42 (syntax, permission), 3D (no such database) and 54 (a text over a limit,
// such as an index row) are permanent; everything else, an empty code (the
// connection went) included, is transient.
EFailure ClassifySqlState(std::string_view sqlState);

// A connection that failed before any statement has no SQLSTATE, only the
// server's message: a refused login or a database that is not there is
// permanent, anything else (not reachable, starting up, too many clients) transient.
EFailure ClassifyConnectFailure(std::string_view message);

// What stopped an SQLite file being opened or written, when it is not the file
// itself: "disk full", "read-only file system", "permission denied" (the
// folder's errno text, found by trying to write there). Empty when the folder
// takes writes, so the file is to blame.
std::string SqliteFolderCause(const std::string& path, int sqliteCode);

} // namespace mirantos::results
