// Store and forward: a server that cannot be reached does not lose a run. The
// run waits in the local SQLite file, marked unsent, and goes with the next one.
// Runs are keyed by uuid, so one that reached the server before its connection
// broke is not stored twice when it is sent again. A run the server refuses
// for good is put aside, so it never holds back the ones behind it.

#include "Spool.h"

#include <QDateTime>
#include <QFileInfo>

#include <set>

namespace mirantos::results {

namespace {

// How long a spooled run's other URL is given to say which server it reaches.
constexpr int kOtherUrlTimeoutS = 2;

TDbTarget SpoolTarget(const std::string& spoolPath)
{
    TDbTarget t;
    t.sqlitePath = spoolPath;
    return t;
}

std::string NowUtc()
{
    return QDateTime::currentDateTimeUtc().toString("yyyy-MM-ddTHH:mm:ss.zzzZ").toStdString();
}

struct TEntry {
    TResultsDb::TOutboxEntry row;
    TSpoolEntry where;
};

bool ReadEntries(TResultsDb& spool, std::vector<TEntry>& out, std::string& error)
{
    std::vector<TResultsDb::TOutboxEntry> rows;
    if (!spool.Outbox(rows, error))
        return false;
    out.clear();
    for (auto& r : rows)
        out.push_back({r, DecodeSpoolEntry(r.destination, r.endedUtc)});
    return true;
}

// Writes the entries back, all in one transaction.
bool Save(TResultsDb& spool, const std::vector<const TEntry*>& entries, std::string& error)
{
    std::vector<std::pair<std::string, std::string>> rows;
    for (const TEntry* e : entries)
        rows.emplace_back(e->row.uuid, EncodeSpoolEntry(e->where));
    return rows.empty() || spool.SetDestinations(rows, error);
}

// Whether a run spooled as `e` goes to the server `url` reached, whose identity is `id`.
bool GoesTo(const TSpoolEntry& e, const std::string& url, const std::string& id)
{
    if (!e.server.empty() && !id.empty())
        return e.server == id;
    return e.url == url;
}

// Runs spooled before their URL ever reached a server belong to the server it reaches now.
bool Adopt(TResultsDb& spool, std::vector<TEntry>& entries, const std::string& url,
           const std::string& id, std::string& error)
{
    if (id.empty())
        return true;
    std::vector<const TEntry*> adopted;
    for (TEntry& e : entries)
        if (e.where.server.empty() && e.where.url == url) {
            e.where.server = id;
            adopted.push_back(&e);
        }
    return Save(spool, adopted, error);
}

// Runs spooled for another spelling of a server, never reached since: each
// such URL is asked once which server it reaches, so this one's go with it.
bool ResolveOtherUrls(TResultsDb& server, TResultsDb& spool, std::string& error)
{
    const std::string& id = server.ServerIdentity();
    std::vector<TEntry> entries;
    if (id.empty())
        return true;
    if (!ReadEntries(spool, entries, error))
        return false;
    std::set<std::string> asked;
    for (const TEntry& e : entries) {
        if (!e.where.server.empty() || e.where.url == server.Target().Display() ||
            !asked.insert(e.where.url).second)
            continue;
        std::string ignored;
        const auto other = ParseDbUrl(e.where.url, ignored);
        const auto db = other && other->engine == TDbTarget::Engine::Postgres
                            ? TResultsDb::Open(*other, ignored, kOtherUrlTimeoutS)
                            : nullptr;
        if (db && !Adopt(spool, entries, e.where.url, db->ServerIdentity(), error))
            return false;
    }
    return true;
}

// Sends the spool's runs for `server`, oldest first; a run it refuses is
// marked and passed over, a transient failure stops (the server is gone).
// Refused runs are tried again, last, only when `retryRefused`.
bool Forward(TResultsDb& server, TResultsDb& spool, bool retryRefused, int& sent,
             std::vector<std::string>& refused, int& elsewhere, std::string& error)
{
    const std::string url = server.Target().Display();
    const std::string& id = server.ServerIdentity();
    std::vector<TEntry> entries;
    if (!ResolveOtherUrls(server, spool, error) || !ReadEntries(spool, entries, error) ||
        !Adopt(spool, entries, url, id, error))
        return false;
    std::vector<TEntry*> order;
    for (int pass = 0; pass < 2; ++pass)
        for (TEntry& e : entries)
            if (GoesTo(e.where, url, id) && e.where.refused == (pass == 1) &&
                (pass == 0 || retryRefused))
                order.push_back(&e);
    elsewhere = 0;
    for (const TEntry& e : entries)
        elsewhere += GoesTo(e.where, url, id) ? 0 : 1;
    for (TEntry* e : order) {
        TRunRecord run;
        bool inserted = false;
        if (!spool.SpooledRun(e->row.uuid, run, error))
            return false;
        if (server.Insert(run, inserted, error)) {
            if (!spool.MarkSent(run.uuid, error))
                return false;
            ++sent;
            continue;
        }
        e->where.error = error;
        e->where.refused = server.LastFailure() == EFailure::Permanent;
        std::string saveError;
        if (!Save(spool, {e}, saveError))
            return false;
        if (!e->where.refused)
            return false;
        refused.push_back(run.uuid + " (serial " + run.serial + "): " + error);
    }
    error.clear();
    return true;
}

// The last failure for every run waiting for `url`, so `results --pending` tells it.
void NoteFailure(TResultsDb& spool, const std::string& url, const std::string& id,
                 const std::string& failure)
{
    std::vector<TEntry> entries;
    std::string error;
    if (!ReadEntries(spool, entries, error))
        return;
    std::vector<const TEntry*> noted;
    for (TEntry& e : entries)
        if (!e.where.refused && GoesTo(e.where, url, id) && e.where.error != failure) {
            e.where.error = failure;
            noted.push_back(&e);
        }
    Save(spool, noted, error);
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

    EFailure failure = EFailure::Transient;
    std::string identity;
    auto server = TResultsDb::Open(target, error, 5, &failure);
    if (server) {
        identity = server->ServerIdentity();
        // Pending runs first, so the server receives them in the order they were made.
        if (QFileInfo::exists(QString::fromStdString(spoolPath))) {
            std::string spoolError;
            auto spool = TResultsDb::Open(SpoolTarget(spoolPath), spoolError);
            if (!spool || !Forward(*server, *spool, false, out.forwarded, out.refused,
                                   out.elsewhere, spoolError))
                out.message = "spooled runs not sent: " + spoolError;
        }
        if (server->Insert(run, inserted, error)) {
            out.kind = TStoreOutcome::Kind::Stored;
            return out;
        }
        failure = server->LastFailure();
    }
    if (failure == EFailure::Permanent) {
        // Trying again cannot help: said now, and not left in the spool ahead of others.
        out.kind = TStoreOutcome::Kind::Failed;
        out.message = error + " (refused by the server; not spooled)";
        return out;
    }

    std::string spoolError;
    auto spool = TResultsDb::Open(SpoolTarget(spoolPath), spoolError);
    const TSpoolEntry entry{target.Display(), identity, NowUtc(), error, false};
    if (spool && spool->AddUnsent(run, EncodeSpoolEntry(entry), spoolError)) {
        NoteFailure(*spool, target.Display(), identity, error);
        out.kind = TStoreOutcome::Kind::Spooled;
        out.message = error + "; the result is kept in " + spoolPath + " and sent later";
        return out;
    }
    out.kind = TStoreOutcome::Kind::Failed;
    out.message = error + "; and the local spool failed too: " + spoolError;
    return out;
}

bool SyncSpool(const TDbTarget& target, const std::string& spoolPath, TSyncReport& report,
               std::string& error)
{
    report = {};
    error.clear();
    if (!QFileInfo::exists(QString::fromStdString(spoolPath)))
        return true; // nothing was ever spooled
    auto spool = TResultsDb::Open(SpoolTarget(spoolPath), error);
    if (!spool)
        return false;
    auto server = TResultsDb::Open(target, error);
    if (!server) {
        NoteFailure(*spool, target.Display(), {}, error);
        return false;
    }
    if (!Forward(*server, *spool, true, report.sent, report.refused, report.elsewhere, error))
        return false;
    if (report.refused.empty())
        return true;
    error = std::to_string(report.refused.size()) + " result" +
            (report.refused.size() == 1 ? " was" : "s were") + " refused by " + target.Display();
    return false;
}

bool SyncSpool(const TDbTarget& target, const std::string& spoolPath, int& sent, std::string& error)
{
    TSyncReport report;
    const bool ok = SyncSpool(target, spoolPath, report, error);
    sent = report.sent;
    return ok;
}

} // namespace mirantos::results
