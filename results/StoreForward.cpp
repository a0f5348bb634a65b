// Store and forward: a server that cannot be reached does not lose a run. The
// run waits in the local SQLite file, marked unsent, and goes with the next one.
// Runs are keyed by uuid, so one that reached the server before its connection
// broke is not stored twice when it is sent again.

#include "ResultsDb.h"

#include <QFileInfo>

namespace mirantos::results {

namespace {

TDbTarget SpoolTarget(const std::string& spoolPath)
{
    TDbTarget t;
    t.sqlitePath = spoolPath;
    return t;
}

// Sends the spool's unsent runs for `server`'s target, oldest first; stops at the first failure.
bool Forward(TResultsDb& server, TResultsDb& spool, int& sent, std::string& error)
{
    std::vector<TRunRecord> pending;
    if (!spool.Unsent(server.Target().Display(), pending, error))
        return false;
    for (const TRunRecord& run : pending) {
        bool inserted = false;
        if (!server.Insert(run, inserted, error) || !spool.MarkSent(run.uuid, error))
            return false;
        ++sent;
    }
    return true;
}

} // namespace

TStoreOutcome StoreRun(const TRunRecord& run, const TDbTarget& target, const std::string& spoolPath)
{
    TStoreOutcome out;
    std::string error;
    bool inserted = false;
    if (target.engine == TDbTarget::Engine::Sqlite) {
        auto db = TResultsDb::Open(target, error);
        if (db && db->Insert(run, inserted, error))
            out.kind = TStoreOutcome::Kind::Stored;
        else
            out.message = error;
        return out;
    }

    auto server = TResultsDb::Open(target, error);
    if (server) {
        // Pending runs first, so the server receives them in the order they were made.
        if (QFileInfo::exists(QString::fromStdString(spoolPath))) {
            std::string spoolError;
            auto spool = TResultsDb::Open(SpoolTarget(spoolPath), spoolError);
            if (!spool || !Forward(*server, *spool, out.forwarded, spoolError))
                out.message = "spooled runs not sent: " + spoolError;
        }
        if (server->Insert(run, inserted, error)) {
            out.kind = TStoreOutcome::Kind::Stored;
            return out;
        }
    }

    std::string spoolError;
    auto spool = TResultsDb::Open(SpoolTarget(spoolPath), spoolError);
    if (spool && spool->AddUnsent(run, target.Display(), spoolError)) {
        out.kind = TStoreOutcome::Kind::Spooled;
        out.message = error + "; the result is kept in " + spoolPath + " and sent later";
        return out;
    }
    out.kind = TStoreOutcome::Kind::Failed;
    out.message = error + "; and the local spool failed too: " + spoolError;
    return out;
}

bool SyncSpool(const TDbTarget& target, const std::string& spoolPath, int& sent, std::string& error)
{
    sent = 0;
    error.clear();
    if (!QFileInfo::exists(QString::fromStdString(spoolPath)))
        return true; // nothing was ever spooled
    auto spool = TResultsDb::Open(SpoolTarget(spoolPath), error);
    if (!spool)
        return false;
    auto server = TResultsDb::Open(target, error);
    return server && Forward(*server, *spool, sent, error);
}

} // namespace mirantos::results
