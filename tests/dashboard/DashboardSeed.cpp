// Stores test runs through the station's own writer, for the browser test:
//   dashboard_seed DB_URL SERIAL VALUE [MINUTES_AGO] [sim]
// one run of test AFE-7 version 3 with rms_uV on channel 0 (limits 9..11).

#include "ResultsDb.h"

#include <QDateTime>
#include <QUuid>

#include <iostream>
#include <string>

using namespace mirantos::results;

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::cerr << "usage: dashboard_seed DB_URL SERIAL VALUE [MINUTES_AGO] [sim]\n";
        return 2;
    }
    std::string error;
    const auto target = ParseDbUrl(argv[1], error);
    auto db = target ? TResultsDb::Open(*target, error) : nullptr;
    if (!db) {
        std::cerr << error << '\n';
        return 1;
    }
    const double value = std::stod(argv[3]);
    const int ago = argc > 4 ? std::stoi(argv[4]) : 0;
    const bool sim = argc > 5 && std::string(argv[5]) == "sim";
    TRunRecord r;
    r.uuid = QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString();
    r.serial = argv[2];
    r.operatorName = "sato";
    r.station = value > 10 ? "bench-2" : "bench-1";
    r.testName = "AFE-7";
    r.testVersion = "3";
    r.testContent = "{}";
    r.testSha256 = "sha-afe-7-3";
    r.startedUtc = r.endedUtc = QDateTime::currentDateTimeUtc()
                                    .addSecs(-60 * ago)
                                    .toString("yyyy-MM-ddTHH:mm:ss.zzz")
                                    .toStdString() +
                                "Z";
    r.settingsJson = sim ? R"({"board":"sim"})" : R"({"board":"usb"})";
    const bool pass = value >= 9.0 && value <= 11.0;
    r.outcome = pass ? mirantos::results::ERunOutcome::Pass : mirantos::results::ERunOutcome::Fail;
    r.boardKind = sim ? "sim" : "usb";
    r.programVersion = "1.10";
    r.measurements = {{0, "rms_uV", value, 9.0, 11.0, pass}};
    bool inserted = false;
    if (!db->Insert(r, inserted, error)) {
        std::cerr << error << '\n';
        return 1;
    }
    return 0;
}
