#pragma once
// A board's verdict: each limit of a test checked against the figures of the
// measured channel, and every way the result leaves the station (the table a
// person reads, JUnit XML for CI dashboards, the database's run record).
//
// Margin in percent of the limit, positive while the limit holds:
//   max:  100 (max - value) / |max|      min:  100 (value - min) / |min|
// with both, the smaller; absent for a limit of 0 or a figure not computed.

#include "Limits.h"
#include "LowFrequency.h"
#include "NoiseAnalysis.h"
#include "ResultTypes.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace mirantos::station {

struct TCheck {
    int channel = 0;
    TLimit limit;
    std::optional<double> value; // absent: not computed (then the check fails)
    std::string reason;          // why not computed
    bool pass = false;
    std::optional<double> marginPct;
};

struct TVerdict {
    std::vector<TCheck> checks; // channel 0's limits, then channel 1's, each in the file's order
    bool pass = false;          // every check passed and the run ended normally
    // Why the run itself failed ("read error: ..."), empty for a run that ended normally.
    std::string runError;
    // Why the run was stopped before its end ("stopped by SIGINT"), empty when it was not.
    std::string stopped;
    // Limits whose figure was computed and does not hold them.
    int Failed() const;
    // Limits whose figure could not be computed for this run (a band that
    // holds no bin of its spectrum, a drift of a shorter record): no word on
    // the board, an error of the test definition.
    int Errors() const;
    // The run ended normally, yet a figure the limits name could not be
    // computed: the verdict is ERROR, neither PASS nor FAIL.
    bool DefinitionError() const { return runError.empty() && stopped.empty() && Errors() > 0; }
    // ABORTED (stopped), FAIL (a run error, or a limit), ERROR (DefinitionError), PASS.
    results::ERunOutcome Outcome() const;
    // The reason stored with the outcome: the stop, the run error, the
    // figures not computed; empty for PASS and a FAIL by the limits alone.
    std::string OutcomeReason() const;
};

// The verdict of a run whose data ends where reading the board failed: the
// limits as checked on that data, and a FAIL for the run whatever they say.
TVerdict WithRunError(TVerdict verdict, const std::string& error);
// The verdict of a run stopped before its end: the limits as checked on what
// was measured, and ABORTED whatever they say.
TVerdict WithStop(TVerdict verdict, const std::string& reason);

// One channel's figures as the limits need them.
struct TChannelFigures {
    analysis::TNoiseFigures noise;
    analysis::TLowFrequencyFigures low;
    std::optional<analysis::TSineResult> sine; // only when a limit names one of its figures
};

// Analyses `codes` of `channel` with the test's analysis options and checks its limits.
std::vector<TCheck> CheckChannel(const TTestLimits& limits, int channel,
                                 std::span<const uint32_t> codes, double rateSps, int32_t gain);
// Both channels' checks (the measured ones) into one verdict.
TVerdict MakeVerdict(std::vector<TCheck> checks);
// The verdict of a run: the limits of each channel `chSel` holds (0, 1, or 2
// for both) checked against that channel's codes.
TVerdict CheckMeasuredChannels(const TTestLimits& limits, int chSel,
                               const std::array<std::span<const uint32_t>, 2>& codes,
                               double rateSps, int32_t gain);

// The value of a named figure, or nullopt with the reason it is not defined.
std::optional<double> FigureValue(const TChannelFigures& f, const TLimit& limit,
                                  std::string* reason);
// Margin as defined above.
std::optional<double> MarginPct(const TLimit& limit, std::optional<double> value);

// A limit as the table and the JUnit messages show it: "<= 0.8", ">= 20.5", "0.01 .. 0.8".
std::string LimitText(const TLimit& limit);
// The table: channel, figure, value, limit, PASS/FAIL/ERROR, margin; then
// "verdict: PASS|FAIL|ERROR" (a run error named in the FAIL line, the figures
// not computed counted in the ERROR line).
std::string VerdictTable(const TVerdict& verdict);
// What a run record and the JUnit file say of the run besides its verdict.
struct TRunFacts {
    std::string serial, operatorName, station;
    std::string startedUtc, endedUtc;
    std::string programVersion;
    std::string dataPath, dataSha256;
    // Optional; part number and lot default to the limits file's.
    std::string partNumber, lot, dutHardwareId;
    std::string boardKind;     // "usb" or "sim"
    std::string boardIdentity; // the USB board as its driver named it at open; "" for sim
};
// The facts with the limits file's part number and lot where the run gave none.
TRunFacts WithLimitsDefaults(TRunFacts facts, const TTestLimits& limits);
// JUnit XML: one test suite named after the test, one test case per limit
// ("ch0 rms_uV"), failures with the value and the limit, a figure not
// computed an <error> of its case; a run error is an <error> of a test case
// "run", a stopped run a <skipped> of that case (its limits' cases as
// measured, an unmeasured one <skipped> too). Properties: serial, test
// version, hash, board ("usb" or "simulated"), board identity, part number,
// lot, DUT id, outcome and its reason. A simulated board's suite is named
// "<test> (simulated board)", since dashboards show the name.
std::string JUnitXml(const TVerdict& verdict, const TTestLimits& limits, const TRunFacts& facts,
                     double seconds);

// The database's record of a run: a fresh uuid, the outcome and its reason,
// each check's row with its unit, band and the reason a value is absent.
results::TRunRecord MakeRunRecord(const TTestLimits& limits, const TVerdict& verdict,
                                  const TRunFacts& facts);
std::string NewUuid();
// UTC now as the records write it: "2026-12-08T07:30:00.123Z".
std::string UtcNow();
// The name a kept data file gets: serial (its first 64 bytes, characters
// outside [A-Za-z0-9._-] replaced by '_') and start time, "SN123_20261208T073000Z" + extension.
std::string KeptDataName(const std::string& serial, const std::string& startedUtc,
                         const std::string& extension);
// The first of "<dir>/<KeptDataName>", then "-2", "-3" ... before the
// extension, that names no file yet: two runs of a serial in one second both stay.
std::string FreeKeptPath(const std::string& dir, const std::string& serial,
                         const std::string& startedUtc, const std::string& extension);
} // namespace mirantos::station
