#pragma once
// The raw data of a run whose result could not be stored, kept where the
// user finds it ("unsaved" beside the default results file) with what is
// needed to store it later: the run's facts and the limits it was judged
// with. A copy counts only once it is whole and verified; until then the
// run's own temporary file is held and named.

#include "Verdict.h"

#include <string>
#include <vector>

namespace mirantos::station {

// What a kept copy carries beside it ("<name>.run.json").
struct TUnsavedRun {
    TRunFacts facts; // dataPath and dataSha256 unused
    std::string uuid;
    std::string limitsPath;    // where the limits were read from, for the person
    std::string limitsContent; // the limits file's bytes as the run was judged with them
    std::string runError;      // a read error the run ended in, or empty
    std::string stopped;       // why the run was stopped before its end, or empty
};

// The sidecar's name for a data file: "<data>.run.json".
std::string UnsavedSidecarOf(const std::string& dataPath);
// <folder of DefaultSqlitePath()>/unsaved
std::string UnsavedFolder();

struct TKeptData {
    std::string path;  // the verified copy in the unsaved folder; empty when none was made
    std::string error; // why not
};
// Copies `dataPath` into the unsaved folder under a free name ("-2", "-3" ...),
// writes its sidecar, and checks the copy (size and SHA-256) before naming it;
// a copy that fails (a full disk) leaves nothing behind.
TKeptData KeepUnsavedRun(const std::string& dataPath, const TUnsavedRun& run);

// When no copy could be made: the run's temporary folder is renamed
// "mirantos-unsaved-..." beside it (no space needed), so no later run clears
// it, and the sidecar written there if it can be. The data file's new path
// (its old one when the folder cannot be renamed).
std::string HoldUnsavedRun(const std::string& dataPath, const TUnsavedRun& run);

// Every kept run waiting to be stored: the unsaved folder's and held
// temporary folders' data files that have a sidecar, oldest name first.
std::vector<std::string> UnsavedDataFiles();
// Reads a sidecar; false with `error`.
bool ReadUnsavedRun(const std::string& dataPath, TUnsavedRun& run, std::string& error);
// Removes a kept data file and its sidecar (and a held folder left empty).
bool RemoveUnsavedRun(const std::string& dataPath, std::string& error);

} // namespace mirantos::station
