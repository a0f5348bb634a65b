#pragma once
// The dashboard's read-only view of the results database: its own Qt SQL
// connection (SQLite opened read-only, PostgreSQL sessions read-only), opened
// again after the database was missing, down, locked or of a newer schema, and
// the few bound queries the pages need. Nothing here can write.

#include "ResultsDb.h"
#include "Spc.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mirantos::dashboard {

// The SQL condition that a run (alias r) was made with the simulated board.
// The one place that knows how: today the settings JSON's "board".
const char* SimulatedRunSql();

// Runs started in [fromUtc, toUtc), both canonical ISO text.
struct TPeriod {
    std::string fromUtc, toUtc;
};

enum class EDbState { Ok, Missing, Down, Locked, NewerSchema, NotResults };
const char* DbStateName(EDbState state); // "ok", "missing", "down", ...

// One run as the overview and the station page count it.
struct TRunRow {
    std::string uuid, serial, test, version, station, operatorName, startedUtc;
    bool pass = false;
    bool simulated = false;
    std::string outcome; // PASS, FAIL, ERROR, ABORTED
    std::string endedUtc, receivedUtc;
    bool late = false; // StoredLate
};

// A run the database received more than a minute after it ended came through a
// station's store-and-forward spool (a station stores as the run ends).
inline constexpr long long kLateAfterMs = 60'000;
bool StoredLate(const std::string& endedUtc, const std::string& receivedUtc);

struct TParetoRow {
    std::string test;
    int channel = 0;
    std::string figure;
    long long failures = 0;
};

struct TFigurePoint {
    std::string startedUtc, serial, uuid, station;
    double value = 0;
    std::optional<double> low, high;
    bool pass = false;
};

struct TSerialFigure {
    int channel = 0;
    std::string figure;
    std::optional<double> value, low, high;
    bool pass = false;
};
struct TSerialRun {
    TRunRow run;
    std::vector<TSerialFigure> figures;
};

struct TLatest {
    long long id = 0; // 0: no run yet
    std::string uuid, startedUtc;
};

class TDashboardDb {
public:
    explicit TDashboardDb(results::TDbTarget target);
    ~TDashboardDb();
    TDashboardDb(const TDashboardDb&) = delete;
    TDashboardDb& operator=(const TDashboardDb&) = delete;

    // Opens the connection when it is not (again at most once a second after a
    // failure). False with the state and a message naming the database.
    bool Ready(EDbState& state, std::string& message);
    // Called when the server announces a new run (PostgreSQL NOTIFY), if it can.
    void OnNotify(std::function<void()> notified);
    bool Listening() const;

    // Every run of the period (in no particular order); simulated ones only when asked for.
    bool RunsIn(const TPeriod& period, bool withSimulated, const std::string& station,
                std::vector<TRunRow>& out, std::string& error);
    bool Pareto(const TPeriod& period, bool withSimulated, std::vector<TParetoRow>& out,
                std::string& error);
    // One figure of one test (the newest version when `version` is empty), in time order;
    // at most `limit` points, the newest (`truncated` when there were more).
    bool Figure(const std::string& test, std::string& version, int channel,
                const std::string& figure, const TPeriod& period, bool withSimulated, int limit,
                std::vector<TFigurePoint>& out, bool& truncated, std::string& error);
    bool Serial(const std::string& serial, std::vector<TSerialRun>& out, std::string& error);
    bool Latest(TLatest& out, std::string& error);
    // The channels and figures each of these runs stored (uuid, channel, figure), in order.
    struct TRunFigure {
        std::string uuid;
        int channel = 0;
        std::string figure;
    };
    bool FiguresOfRuns(const std::vector<std::string>& uuids, std::vector<TRunFigure>& out,
                       std::string& error);
    const results::TDbTarget& Target() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace mirantos::dashboard
