#pragma once
// A noise test the window is running: what the dialog asked for, the limits
// read from its file, the database the result goes to, and where the raw data
// lands. Lives from the dialog's OK until the verdict (or the run's failure).

#include "Limits.h"
#include "ResultsDb.h"
#include "StationDialog.h"

#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <string>

namespace mirantos {

struct TStationRun {
    TStationRequest request;
    station::TTestLimits limits;
    results::TDbTarget target;
    std::string startedUtc;
    // A count beyond the window's list: captured to a file and read back.
    bool Capture() const { return !limits.settings.IsDataSet(); }
    // The capture's file, or the kept .DTA file of a data set; empty when none.
    QString dataPath;
    // The raw data with no folder to keep it goes here and is removed
    // afterwards, unless the result cannot be stored.
    std::unique_ptr<QTemporaryDir> scratch;
    // Stored as the reason should the run be stopped before its end.
    std::string stopReason = "stopped by the operator";
};

} // namespace mirantos
