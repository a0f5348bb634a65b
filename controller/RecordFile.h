#pragma once
// The record and the data file meet here, once, for the window and the
// command-line tool alike.

#include "MeasureRecord.h"
#include "Myfile.h"

#include <string>

namespace mirantos {

// Reads `path` into the scratch buffers and, only when the whole file was
// accepted, makes it the record's data set: the six stored settings, `gain`,
// the codes, the counts and the flags its CHSel calls for. On failure the
// record is left exactly as it was.
bool LoadRecord(TmyFile& file, const std::string& path, TChannelStorage& scratch,
                TMeasureRecord& record, int32_t gain);

// Writes the record's data set with the writer its CHSel calls for.
bool SaveRecord(TmyFile& file, const std::string& name, const TMeasureRecord& record,
                TSaveOutcome* outcome);

} // namespace mirantos
