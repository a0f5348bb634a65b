// The spool's half of TResultsDb: runs kept in the local SQLite file for a
// server that could not take them yet (the outbox), read back whole and marked sent.

#include "DbImpl.h"

namespace mirantos::results {

bool TResultsDb::AddUnsent(const TRunRecord& run, const std::string& server, std::string& error)
{
    const bool ok = impl_->Transaction(
        [&](std::string& err) {
            bool added = false;
            return impl_->InsertRun(run, added, err) &&
                   impl_->Exec("INSERT INTO outbox (uuid, server) VALUES (?, ?)"
                               " ON CONFLICT (uuid) DO NOTHING",
                               {Q(run.uuid), Q(server)}, err);
        },
        error);
    if (!ok)
        error = impl_->Where() + ": run " + run.uuid + " not spooled: " + error;
    return ok;
}

bool TResultsDb::Unsent(const std::string& server, std::vector<TRunRecord>& out, std::string& error)
{
    return ReadUnsent(false, server, out, error);
}

bool TResultsDb::SpooledRun(const std::string& uuid, TRunRecord& out, std::string& error)
{
    std::vector<TRunRecord> runs;
    if (!ReadUnsent(true, uuid, runs, error))
        return false;
    if (runs.empty()) {
        error = impl_->Where() + ": run " + uuid + " is not in the spool";
        return false;
    }
    out = std::move(runs.front());
    return true;
}

bool TResultsDb::Outbox(std::vector<TOutboxEntry>& out, std::string& error)
{
    out.clear();
    QSqlQuery q(impl_->db);
    if (!impl_->Select(q,
                       "SELECT o.uuid, r.serial, " + TimeText("r.ended_utc", impl_->Pg()) +
                           ", o.server FROM outbox o"
                           " JOIN runs r ON r.uuid = o.uuid ORDER BY r.started_utc, r.id",
                       {}, error)) {
        error = impl_->Where() + ": " + error;
        return false;
    }
    while (q.next())
        out.push_back({S(q.value(0)), S(q.value(1)), S(q.value(2)), S(q.value(3))});
    return true;
}

bool TResultsDb::SetDestinations(
    const std::vector<std::pair<std::string, std::string>>& destinations, std::string& error)
{
    const bool ok = impl_->Transaction(
        [&](std::string& err) {
            for (const auto& [uuid, destination] : destinations)
                if (!impl_->Exec("UPDATE outbox SET server = ? WHERE uuid = ?",
                                 {Q(destination), Q(uuid)}, err))
                    return false;
            return true;
        },
        error);
    if (!ok)
        error = impl_->Where() + ": " + error;
    return ok;
}

bool TResultsDb::ReadUnsent(bool byUuid, const std::string& key, std::vector<TRunRecord>& out,
                            std::string& error)
{
    out.clear();
    std::vector<qint64> ids;
    {
        QSqlQuery q(impl_->db);
        if (!impl_->Select(q,
                           "SELECT r.id, r.uuid, r.serial, r.operator, s.name, t.name, t.version,"
                           " t.content, t.sha256, " +
                               TimeText("r.started_utc", impl_->Pg()) + ", " +
                               TimeText("r.ended_utc", impl_->Pg()) +
                               ", r.settings, r.pass,"
                               " r.program_version, r.data_path, r.data_sha256, r.outcome,"
                               " r.outcome_reason, r.part_number, r.lot, r.dut_hw_id,"
                               " r.board_kind, r.board_identity, " +
                               TimeText("r.received_utc", impl_->Pg()) +
                               " FROM outbox o JOIN runs r ON r.uuid = o.uuid"
                               " JOIN stations s ON s.id = r.station_id"
                               " JOIN test_definitions t ON t.id = r.test_id"
                               " WHERE o." +
                               QString(byUuid ? "uuid" : "server") +
                               " = ? ORDER BY r.started_utc, r.id",
                           {Q(key)}, error)) {
            error = impl_->Where() + ": " + error;
            return false;
        }
        while (q.next()) {
            ids.push_back(q.value(0).toLongLong());
            TRunRecord r;
            r.uuid = S(q.value(1));
            r.serial = S(q.value(2));
            r.operatorName = S(q.value(3));
            r.station = S(q.value(4));
            r.testName = S(q.value(5));
            r.testVersion = S(q.value(6));
            r.testContent = S(q.value(7));
            r.testSha256 = S(q.value(8));
            r.startedUtc = S(q.value(9));
            r.endedUtc = S(q.value(10));
            r.settingsJson = S(q.value(11));
            r.programVersion = S(q.value(13));
            r.dataPath = S(q.value(14));
            r.dataSha256 = S(q.value(15));
            r.outcome = OutcomeFromText(S(q.value(16))).value_or(ERunOutcome::Fail);
            r.outcomeReason = S(q.value(17));
            r.partNumber = S(q.value(18));
            r.lot = S(q.value(19));
            r.dutHardwareId = S(q.value(20));
            r.boardKind = S(q.value(21));
            r.boardIdentity = S(q.value(22));
            r.receivedUtc = S(q.value(23));
            out.push_back(std::move(r));
        }
    }
    for (size_t i = 0; i < out.size(); ++i) {
        QSqlQuery q(impl_->db);
        if (!impl_->Select(q,
                           "SELECT channel, figure, value, low_limit, high_limit, pass, unit,"
                           " band_low_hz, band_high_hz, reason"
                           " FROM measurements WHERE run_id = ? ORDER BY channel, figure",
                           {ids[i]}, error)) {
            error = impl_->Where() + ": " + error;
            return false;
        }
        while (q.next()) {
            TMeasurementRow m;
            m.channel = q.value(0).toInt();
            m.figure = S(q.value(1));
            m.value = OptNum(q.value(2));
            m.low = OptNum(q.value(3));
            m.high = OptNum(q.value(4));
            m.pass = q.value(5).toInt() != 0;
            m.unit = S(q.value(6));
            m.bandLowHz = OptNum(q.value(7));
            m.bandHighHz = OptNum(q.value(8));
            m.reason = S(q.value(9));
            out[i].measurements.push_back(std::move(m));
        }
    }
    return true;
}

bool TResultsDb::MarkSent(const std::string& uuid, std::string& error)
{
    // One statement: atomic on its own.
    if (impl_->Exec("DELETE FROM outbox WHERE uuid = ?", {Q(uuid)}, error))
        return true;
    error = impl_->Where() + ": " + error;
    return false;
}

} // namespace mirantos::results
