// results --import-unsaved: the raw data test kept when a result could not be
// stored (in the unsaved folder, or a held temporary folder) judged again with
// the limits the run was judged with, and stored under the run's own uuid, so
// an import that is repeated stores nothing twice. A kept file goes only once
// its result is stored (or spooled for its server).

#include "Commands.h"
#include "ResultsDb.h"
#include "SampleSource.h"
#include "UnsavedData.h"
#include "Usage.h"
#include "Verdict.h"

#include <ostream>

namespace mirantos::cli {

namespace {

// One kept run into `db`: false after saying why on the error stream.
bool ImportOne(const std::string& dataPath, const results::TDbTarget& db, CliIo io)
{
    station::TUnsavedRun run;
    std::string error;
    station::TTestLimits limits;
    if (!station::ReadUnsavedRun(dataPath, run, error) ||
        !station::ParseLimits(run.limitsContent, limits, error)) {
        Fail(io, error, kExitFailure);
        return false;
    }
    TSampleSet samples;
    if (!LoadSamples(dataPath, samples, io))
        return false;
    const double rateSps = samples.rateSps > 0 ? samples.rateSps : limits.settings.RateSps();
    station::TVerdict verdict = station::CheckMeasuredChannels(
        limits, samples.chSel, {samples.ch0, samples.ch1}, rateSps, samples.gain);
    if (!run.runError.empty())
        verdict = station::WithRunError(std::move(verdict), run.runError);
    if (!run.stopped.empty())
        verdict = station::WithStop(std::move(verdict), run.stopped);
    // Kept by an older version, which did not note the board: the one its limits name.
    if (run.facts.boardKind.empty())
        run.facts.boardKind = limits.settings.sim ? "sim" : "usb";
    results::TRunRecord record = station::MakeRunRecord(limits, verdict, run.facts);
    record.uuid = run.uuid;
    const std::string spool = results::DefaultSqlitePath();
    const results::TStoreOutcome stored = results::StoreRun(record, db, spool);
    if (stored.kind == results::TStoreOutcome::Kind::Failed) {
        Fail(io, dataPath + ": not stored: " + stored.message, kExitFailure);
        return false;
    }
    io.out << dataPath << ": " << results::OutcomeText(record.outcome) << ", result " << record.uuid
           << (stored.kind == results::TStoreOutcome::Kind::Stored ? " stored in " + db.Display()
                                                                   : " kept in " + spool)
           << '\n'
           << std::flush;
    if (!station::RemoveUnsavedRun(dataPath, error))
        Fail(io, error, kExitFailure);
    return true;
}

} // namespace

int ImportUnsaved(const std::string& dbUrl, CliIo io)
{
    std::string error;
    const auto db = results::ParseDbUrl(dbUrl, error);
    if (!db)
        return Fail(io, "--db: " + error, kExitUsage);
    const std::vector<std::string> files = station::UnsavedDataFiles();
    int failed = 0;
    for (const std::string& path : files)
        failed += ImportOne(path, *db, io) ? 0 : 1;
    io.err << files.size() - static_cast<size_t>(failed) << " of " << files.size() << " kept run"
           << (files.size() == 1 ? "" : "s") << " stored from " << station::UnsavedFolder() << '\n'
           << std::flush;
    return failed == 0 ? kExitOk : kExitFailure;
}

} // namespace mirantos::cli
