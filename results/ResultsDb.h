#pragma once
// The results database through Qt SQL: an SQLite file (QSQLITE, WAL) on one
// bench, or a PostgreSQL server (QPSQL) shared by several stations. The
// program creates and migrates the schema itself: a schema-version table and
// upgrades applied in order, never destructive; a database written by a newer
// program is refused and left alone.

#include "ResultTypes.h"
#include "ServerErrors.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QSqlDatabase;

namespace mirantos::results {

// The schema this program writes.
extern const int kSchemaVersion;

struct TDbTarget {
    enum class Engine { Sqlite, Postgres };
    Engine engine = Engine::Sqlite;
    std::string sqlitePath; // Sqlite
    // Postgres: a host name, or a directory for a Unix socket; empty for libpq's default.
    std::string host;
    int port = 0; // 0: libpq's default
    std::string user;
    std::string database;
    // How messages name it, never with a password: "results.sqlite", "postgresql://qa@db1/noise".
    std::string Display() const;
};

// $XDG_DATA_HOME/mirantos/results.sqlite (~/.local/share when XDG_DATA_HOME is unset or relative).
std::string DefaultSqlitePath();

// "" (the default file), a file path, "sqlite:PATH", or
// "postgresql://user@host[:port]/db" ("postgres://" too; a socket directory as
// "?host=/dir" or a percent-encoded host). A password in the URL is refused:
// it comes from ~/.pgpass or PGPASSWORD through libpq. Nullopt with `error`.
// Anything else that begins with a URL scheme ("word:/", or "postgresql:"
// with one slash or none) is refused rather than taken as a file name.
std::optional<TDbTarget> ParseDbUrl(std::string_view url, std::string& error);
// `url` as a message may show it: a password after "user:" or in a
// "password=" parameter replaced by "***".
std::string MaskedUrl(std::string_view url);

// ISO 8601 as written by every row: UTC with milliseconds, so text order is time order.
// A date alone is its midnight; a time without an offset is taken as UTC.
// Nullopt for a text that is neither.
std::optional<std::string> CanonicalUtc(const std::string& text);

class TResultsDb {
public:
    // Opens the database, creating it (and the SQLite file's folder) and
    // bringing its schema up to kSchemaVersion. Null with `error` when it cannot
    // be reached, is not a results database, is read-only or corrupt, or has a
    // newer schema. `connectTimeoutS` bounds the wait for a server. `failure`
    // tells whether trying again later may help (Transient) or not (Permanent).
    static std::unique_ptr<TResultsDb> Open(const TDbTarget& target, std::string& error,
                                            int connectTimeoutS = 5, EFailure* failure = nullptr);
    ~TResultsDb();
    TResultsDb(const TResultsDb&) = delete;
    TResultsDb& operator=(const TResultsDb&) = delete;

    const TDbTarget& Target() const;
    int SchemaVersion() const;
    // A server's identity however its URL is spelled: its system identifier and
    // database name ("7312…/noise"); empty for a file.
    const std::string& ServerIdentity() const;

    // Stores a run with its station, test definition and measurements in one
    // transaction. A run whose uuid is already stored is left as it is and
    // `inserted` is false. False with `error` (nothing stored).
    bool Insert(const TRunRecord& run, bool& inserted, std::string& error);
    // How the last Insert failed.
    EFailure LastFailure() const;

    // Runs matching the filters, oldest first (the page the query asks for).
    bool Runs(const TRunQuery& query, std::vector<TRunSummary>& out, std::string& error);
    // One figure's values (with limits) over time for the matching runs, oldest first.
    bool Trend(const TRunQuery& query, const std::string& figure, std::vector<TTrendPoint>& out,
               std::string& error);
    // The same, handed over one at a time as the database gives them, so a long
    // listing is never held whole; `row` returns false to stop early.
    bool EachRun(const TRunQuery& query, const std::function<bool(const TRunSummary&)>& row,
                 std::string& error);
    bool EachTrendPoint(const TRunQuery& query, const std::string& figure,
                        const std::function<bool(const TTrendPoint&)>& point, std::string& error);

    // The local spool (an SQLite results file): runs kept here for a server
    // that could not be reached, and marking them sent once it has them.
    bool AddUnsent(const TRunRecord& run, const std::string& server, std::string& error);
    // Unsent runs for `server` (its Display()), oldest first.
    bool Unsent(const std::string& server, std::vector<TRunRecord>& out, std::string& error);
    bool MarkSent(const std::string& uuid, std::string& error);
    // Every unsent run's uuid, serial, end time and where it goes (the text given to AddUnsent).
    struct TOutboxEntry {
        std::string uuid, serial, endedUtc, destination;
    };
    bool Outbox(std::vector<TOutboxEntry>& out, std::string& error);
    // New destinations (uuid, text) in one transaction.
    bool SetDestinations(const std::vector<std::pair<std::string, std::string>>& destinations,
                         std::string& error);
    // One spooled run, read back whole.
    bool SpooledRun(const std::string& uuid, TRunRecord& out, std::string& error);

private:
    struct Impl;
    explicit TResultsDb(std::unique_ptr<Impl> impl);
    // Unsent runs by server text, or the one with that uuid.
    bool ReadUnsent(bool byUuid, const std::string& key, std::vector<TRunRecord>& out,
                    std::string& error);
    static std::unique_ptr<TResultsDb> OpenJudged(const TDbTarget& target, std::string& error,
                                                  int connectTimeoutS, EFailure& failure);
    QSqlDatabase& Connection(); // for the queries (ResultsQuery.cpp)
    bool TrendOfTest(const TRunQuery& query, const std::string& figure,
                     std::vector<TTrendPoint>& out, std::string& error);
    std::unique_ptr<Impl> impl_;
};

// Store and forward. Into SQLite: stored there. Into a server: pending runs of
// the spool for that server are sent first (past any it refuses), then this
// one; when the server cannot be reached, times out or fails on the way, the
// run goes to the spool file (`spoolPath`, normally DefaultSqlitePath()) marked
// unsent. A run the server refuses for good (bad data, login, permission, a
// newer schema) Failed, and is not spooled. Nothing is stored twice.
struct TStoreOutcome {
    enum class Kind { Stored, Spooled, Failed };
    Kind kind = Kind::Failed;
    int forwarded = 0;                // spooled runs sent to the server on the way
    std::string message;              // why it was spooled, or why it failed
    std::vector<std::string> refused; // spooled runs the server refused on the way, with why
    int elsewhere = 0;                // spooled runs waiting for another server
};
TStoreOutcome StoreRun(const TRunRecord& run, const TDbTarget& target,
                       const std::string& spoolPath);

// `results --sync`: sends the spool's unsent runs for `target`. False with
// `error` when the server cannot be reached; `sent` counts what went.
bool SyncSpool(const TDbTarget& target, const std::string& spoolPath, int& sent,
               std::string& error);

} // namespace mirantos::results
