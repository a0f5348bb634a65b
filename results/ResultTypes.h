#pragma once
// One test run's result as the results database keeps it, and what its
// queries give back. Plain data: filled by station/, stored by TResultsDb.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace mirantos::results {

// One figure of one channel against its limits.
struct TMeasurementRow {
    TMeasurementRow() = default;
    TMeasurementRow(int channel_, std::string figure_, std::optional<double> value_,
                    std::optional<double> low_, std::optional<double> high_, bool pass_)
        : channel(channel_), figure(std::move(figure_)), value(value_), low(low_), high(high_),
          pass(pass_)
    {
    }
    int channel = 0;
    std::string figure;          // analyze's JSON name, e.g. "rms_uV", "lf_0p1_10Hz.pp_uV_median"
    std::optional<double> value; // absent when the figure could not be computed
    std::optional<double> low;   // the limit's min
    std::optional<double> high;  // the limit's max
    bool pass = false;
    std::string unit;                // "uV", "nV/rtHz", "codes", "" for a pure number
    std::optional<double> bandLowHz; // the band the figure is taken over, when it has one
    std::optional<double> bandHighHz;
    std::string reason; // why the value is absent ("" when computed)
};

// How a run ended, as stored and listed.
//   PASS     every limit held
//   FAIL     the board failed a limit, or reading it failed part way (reason says)
//   ERROR    the test could not judge the board (a figure the limits name cannot be computed)
//   ABORTED  stopped by the operator or a signal before the measurement was complete
enum class ERunOutcome { Pass, Fail, Error, Aborted };
const char* OutcomeText(ERunOutcome outcome); // "PASS", "FAIL", "ERROR", "ABORTED"
std::optional<ERunOutcome> OutcomeFromText(const std::string& text);

struct TRunRecord {
    std::string uuid; // RFC 4122 text, lower case: the run's identity in every database
    std::string serial;
    std::string operatorName;
    std::string station;  // the station's name (the host name unless set)
    std::string testName; // the limits file's name and version
    std::string testVersion;
    std::string testContent; // the limits file's bytes as read
    std::string testSha256;  // of testContent, lower-case hex
    std::string startedUtc;  // ISO 8601 with milliseconds, "2026-12-08T07:30:00.123Z"
    std::string endedUtc;
    std::string settingsJson; // the settings the run used, as one JSON object
    std::string programVersion;
    std::string dataPath;   // the kept raw data file (absolute), empty when not kept
    std::string dataSha256; // of that file, empty when not kept
    std::vector<TMeasurementRow> measurements;
    ERunOutcome outcome = ERunOutcome::Fail;    // the verdict; the database's pass is PASS
    std::string outcomeReason;                  // for FAIL by a read error, ERROR, ABORTED
    std::string partNumber, lot, dutHardwareId; // optional, "" when not given
    std::string boardKind;                      // "usb" or "sim"
    std::string boardIdentity;                  // the USB board's serial/description, "" for sim
    std::string receivedUtc; // the database's receive time; filled when read back, never sent
};

// A stored run as `results` lists it.
struct TRunSummary {
    std::string uuid, serial, operatorName, station, testName, testVersion;
    std::string startedUtc, endedUtc;
    bool pass = false;
    int failedLimits = 0;
    std::string dataPath, dataSha256;
    ERunOutcome outcome = ERunOutcome::Fail;
    std::string outcomeReason;
    std::string partNumber, lot, dutHardwareId, boardKind, boardIdentity, receivedUtc;
};

// One point of a figure's trend over time.
struct TTrendPoint {
    std::string startedUtc;
    std::string serial;
    std::string uuid;
    int channel = 0;
    std::optional<double> value, low, high;
    bool pass = false;
    std::string unit; // as the measurement row has them
    std::optional<double> bandLowHz, bandHighHz;
    std::string reason;
};

// The filters of `results`; every one optional.
struct TRunQuery {
    std::optional<std::string> serial;
    std::optional<std::string> testName;
    std::optional<std::string>
        sinceUtc; // runs started at or after, ISO 8601 ("2026-12-01" or full)
    bool failedOnly = false;
    // A page of the run listing: the runs after the one with this uuid (a cursor
    // that stays put while runs are added), then `offset` skipped, at most `limit` (0: all).
    std::optional<std::string> afterUuid;
    long long offset = 0;
    long long limit = 0;
};

} // namespace mirantos::results
