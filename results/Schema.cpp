// The schema's steps: each version's statements for SQLite and PostgreSQL.

#include "Schema.h"

namespace mirantos::results {

namespace {

using Engine = TDbTarget::Engine;

// The figures under which version 2 stored a run's read error or a test
// definition's error, as a failed row of its own; version 3 says it in the run.
const QString kStandIns = "('read_error', 'definition_error')";

QString HasRow(const QString& figure)
{
    return "EXISTS (SELECT 1 FROM measurements m WHERE m.run_id = r.id AND m.figure = '" + figure +
           "')";
}

// A version-2 run's outcome, reason, verdict and board, from its rows and settings.
QString OldOutcome()
{
    return "CASE WHEN " + HasRow("definition_error") +
           " THEN 'ERROR' WHEN r.pass <> 0 THEN 'PASS' ELSE 'FAIL' END";
}
QString OldReason()
{
    return "CASE WHEN " + HasRow("definition_error") +
           " THEN 'test definition: ' || COALESCE((SELECT 'ch' || m.channel || ' ' || m.figure"
           " FROM measurements m WHERE m.run_id = r.id AND m.value IS NULL AND m.figure NOT IN " +
           kStandIns +
           " ORDER BY m.channel, m.figure LIMIT 1) || ' could not be computed',"
           " 'a figure could not be computed') WHEN " +
           HasRow("read_error") + " THEN 'read error' END";
}
QString OldPass()
{
    return "CASE WHEN " + HasRow("definition_error") + " THEN 0 ELSE r.pass END";
}
QString OldBoard()
{
    QString c = "CASE";
    for (const QString kind : {"usb", "sim"})
        c += " WHEN r.settings LIKE '%\"board\":\"" + kind +
             "\"%' OR r.settings LIKE"
             " '%\"board\": \"" +
             kind + "\"%' THEN '" + kind + "'";
    return c + " END";
}

const QString kOutcomeCheck = "CHECK (outcome IN ('PASS', 'FAIL', 'ERROR', 'ABORTED'))";
const QString kBoardCheck = "CHECK (board_kind IN ('usb', 'sim'))";

// Version 3 on SQLite: foreign keys cannot be added to a table, so runs and
// measurements are made anew with them and their rows copied (SQLite's own
// procedure for such changes), the stand-in rows left behind.
std::vector<QString> SqliteV3()
{
    const QString v2Runs = "id, uuid, serial, operator, station_id, test_id, started_utc,"
                           " ended_utc, settings, pass, program_version, data_path, data_sha256";
    const QString v2Rows = "run_id, test_id, channel, figure, value, low_limit, high_limit, pass";
    return {
        "CREATE TABLE runs_v3 (id INTEGER PRIMARY KEY, uuid TEXT NOT NULL UNIQUE,"
        " serial TEXT NOT NULL, operator TEXT,"
        " station_id INTEGER NOT NULL REFERENCES stations (id),"
        " test_id INTEGER NOT NULL REFERENCES test_definitions (id),"
        " started_utc TEXT NOT NULL, ended_utc TEXT NOT NULL, settings TEXT NOT NULL,"
        " pass INTEGER NOT NULL, program_version TEXT NOT NULL, data_path TEXT,"
        " data_sha256 TEXT, outcome TEXT NOT NULL " +
            kOutcomeCheck +
            ", outcome_reason TEXT, part_number TEXT, lot TEXT, dut_hw_id TEXT,"
            " board_kind TEXT " +
            kBoardCheck +
            ", board_identity TEXT,"
            " received_utc TEXT DEFAULT (strftime('%Y-%m-%dT%H:%M:%fZ', 'now')))",
        // Runs stored before keep no receive time: it was never recorded.
        "INSERT INTO runs_v3 (" + v2Runs +
            ", outcome, outcome_reason, board_kind, received_utc) SELECT r.id, r.uuid, r.serial,"
            " r.operator, r.station_id, r.test_id, r.started_utc, r.ended_utc, r.settings, " +
            OldPass() + ", r.program_version, r.data_path, r.data_sha256, " + OldOutcome() + ", " +
            OldReason() + ", " + OldBoard() + ", NULL FROM runs r",
        "CREATE TABLE measurements_v3 (run_id INTEGER NOT NULL REFERENCES runs (id),"
        " test_id INTEGER REFERENCES test_definitions (id), channel INTEGER NOT NULL,"
        " figure TEXT NOT NULL, value REAL, low_limit REAL, high_limit REAL,"
        " pass INTEGER NOT NULL, unit TEXT, band_low_hz REAL, band_high_hz REAL, reason TEXT)",
        "INSERT INTO measurements_v3 (" + v2Rows + ") SELECT " + v2Rows +
            " FROM measurements WHERE figure NOT IN " + kStandIns,
        "DROP TABLE measurements",
        "DROP TABLE runs",
        "ALTER TABLE runs_v3 RENAME TO runs",
        "ALTER TABLE measurements_v3 RENAME TO measurements",
        "CREATE INDEX runs_serial ON runs (serial)",
        "CREATE INDEX runs_trend ON runs (test_id, started_utc, serial, uuid, pass)",
        "CREATE INDEX runs_failed ON runs (started_utc) WHERE pass = 0",
        "CREATE INDEX measurements_run ON measurements (run_id)",
        "CREATE INDEX measurements_trend ON measurements (test_id, figure, run_id, channel,"
        " value, low_limit, high_limit, pass, unit, band_low_hz, band_high_hz, reason)",
        "CREATE INDEX test_definitions_name ON test_definitions (name, version)",
        "UPDATE schema_version SET version = 3",
    };
}

// Version 3 on PostgreSQL: columns added in place, the times become
// timestamptz (the ISO texts convert exactly), a foreign key for the
// measurement's test.
std::vector<QString> PostgresV3()
{
    const auto toTime = [](const QString& c) {
        return "ALTER COLUMN " + c + " TYPE TIMESTAMPTZ USING " + c + "::timestamptz";
    };
    return {
        "ALTER TABLE runs ADD COLUMN outcome TEXT, ADD COLUMN outcome_reason TEXT,"
        " ADD COLUMN part_number TEXT, ADD COLUMN lot TEXT, ADD COLUMN dut_hw_id TEXT,"
        " ADD COLUMN board_kind TEXT, ADD COLUMN board_identity TEXT,"
        " ADD COLUMN received_utc TIMESTAMPTZ",
        "ALTER TABLE measurements ADD COLUMN unit TEXT, ADD COLUMN band_low_hz DOUBLE PRECISION,"
        " ADD COLUMN band_high_hz DOUBLE PRECISION, ADD COLUMN reason TEXT",
        "UPDATE runs r SET outcome = " + OldOutcome() + ", outcome_reason = " + OldReason() +
            ", board_kind = " + OldBoard() + ", pass = " + OldPass(),
        "DELETE FROM measurements WHERE figure IN " + kStandIns,
        // Added after the rows, so the runs stored before keep no receive time.
        "ALTER TABLE runs ALTER COLUMN outcome SET NOT NULL, ADD CONSTRAINT runs_outcome " +
            kOutcomeCheck + ", ADD CONSTRAINT runs_board_kind " + kBoardCheck + ", " +
            toTime("started_utc") + ", " + toTime("ended_utc") +
            ", ALTER COLUMN received_utc SET DEFAULT now()",
        "ALTER TABLE measurements ADD CONSTRAINT measurements_test FOREIGN KEY (test_id)"
        " REFERENCES test_definitions (id)",
        "DROP INDEX measurements_trend",
        "CREATE INDEX measurements_trend ON measurements (test_id, figure, run_id)"
        " INCLUDE (channel, value, low_limit, high_limit, pass, unit, band_low_hz,"
        " band_high_hz, reason)",
        "CREATE INDEX test_definitions_name ON test_definitions (name, version)",
        "UPDATE schema_version SET version = 3",
    };
}

} // namespace

std::vector<QString> SchemaStep(int from, Engine engine)
{
    const bool pg = engine == Engine::Postgres;
    const QString id =
        pg ? "BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY" : "INTEGER PRIMARY KEY";
    const QString real = pg ? "DOUBLE PRECISION" : "REAL";
    // Times are ISO text in UTC; byte order makes their text order their time order.
    const QString time = pg ? "TEXT COLLATE \"C\"" : "TEXT";
    if (from == 0)
        return {
            "CREATE TABLE schema_version (version INTEGER NOT NULL)",
            "CREATE TABLE stations (id " + id + ", name TEXT NOT NULL UNIQUE)",
            "CREATE TABLE test_definitions (id " + id +
                ", name TEXT NOT NULL, version TEXT NOT NULL, sha256 TEXT NOT NULL UNIQUE,"
                " content TEXT NOT NULL)",
            "CREATE TABLE runs (id " + id +
                ", uuid TEXT NOT NULL UNIQUE, serial TEXT NOT NULL, operator TEXT,"
                " station_id BIGINT NOT NULL REFERENCES stations (id),"
                " test_id BIGINT NOT NULL REFERENCES test_definitions (id),"
                " started_utc " +
                time + " NOT NULL, ended_utc " + time +
                " NOT NULL, settings TEXT NOT NULL, pass INTEGER NOT NULL,"
                " program_version TEXT NOT NULL, data_path TEXT, data_sha256 TEXT)",
            "CREATE TABLE measurements (run_id BIGINT NOT NULL REFERENCES runs (id),"
            " channel INTEGER NOT NULL, figure TEXT NOT NULL, value " +
                real + ", low_limit " + real + ", high_limit " + real + ", pass INTEGER NOT NULL)",
            "CREATE INDEX runs_serial ON runs (serial)",
            "CREATE INDEX runs_test_started ON runs (test_id, started_utc)",
            "CREATE INDEX measurements_run ON measurements (run_id)",
            "INSERT INTO schema_version (version) VALUES (1)",
        };
    if (from == 1)
        return {
            // The spool: runs kept here for a server that could not be reached.
            "CREATE TABLE outbox (uuid TEXT PRIMARY KEY, server TEXT NOT NULL)",
            // A trend reads one figure of one test: with the test on each measurement
            // and the index holding what a trend shows, it reads one contiguous range
            // of each index instead of looking up every run's rows.
            "ALTER TABLE measurements ADD COLUMN test_id BIGINT",
            "UPDATE measurements SET test_id ="
            " (SELECT r.test_id FROM runs r WHERE r.id = measurements.run_id)",
            pg ? "CREATE INDEX measurements_trend ON measurements (test_id, figure, run_id)"
                 " INCLUDE (channel, value, low_limit, high_limit, pass)"
               : "CREATE INDEX measurements_trend ON measurements (test_id, figure, run_id,"
                 " channel, value, low_limit, high_limit, pass)",
            pg ? "CREATE INDEX runs_trend ON runs (test_id, started_utc)"
                 " INCLUDE (id, serial, uuid, pass)"
               : "CREATE INDEX runs_trend ON runs (test_id, started_utc, serial, uuid, pass)",
            "DROP INDEX runs_test_started",
            "CREATE INDEX runs_failed ON runs (started_utc) WHERE pass = 0",
            "UPDATE schema_version SET version = 2",
        };
    if (from == 2)
        return pg ? PostgresV3() : SqliteV3();
    return {};
}

QString TimeText(const QString& column, bool pg)
{
    return pg ? "to_char(" + column + " AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"')"
              : column;
}

} // namespace mirantos::results
