#pragma once
// The spool: runs kept in the local SQLite file for a server that could not
// take them yet. Each waits for a server by its identity (system identifier
// and database name), so any URL that reaches the same server sends it; a run
// spooled before the server was ever reached waits for the URL it was given,
// and belongs to whatever server that URL reaches once it does.

#include "ResultsDb.h"

#include <string>
#include <vector>

namespace mirantos::results {

// Where one spooled run goes and how its last try went.
struct TSpoolEntry {
    std::string url;      // the target as given (its Display(), no password)
    std::string server;   // the server's identity, empty until it has been reached
    std::string since;    // when it was spooled, ISO 8601 UTC
    std::string error;    // the last failure
    bool refused = false; // the server refused it for good: tried only by `results --sync`, last
};

// The outbox's destination text. Older spools hold the URL alone: it reads as
// an entry for that URL, spooled when the run ended.
std::string EncodeSpoolEntry(const TSpoolEntry& entry);
TSpoolEntry DecodeSpoolEntry(const std::string& text, const std::string& endedUtc);

struct TPendingRun {
    std::string uuid, serial;
    TSpoolEntry entry;
};
// `results --pending`: everything waiting in the spool, oldest first (none when there is no spool).
bool PendingRuns(const std::string& spoolPath, std::vector<TPendingRun>& out, std::string& error);

// What a sync did: runs sent, runs the server refused (with the reason), and
// runs left waiting for another server.
struct TSyncReport {
    int sent = 0;
    std::vector<std::string> refused; // "UUID (serial SN): reason"
    int elsewhere = 0;
};
// `results --sync`: sends what the spool holds for `target`'s server, past any
// run it refuses; refused runs are tried again here, after the others. False
// with `error` when the server cannot be reached or some run was refused.
bool SyncSpool(const TDbTarget& target, const std::string& spoolPath, TSyncReport& report,
               std::string& error);

} // namespace mirantos::results
