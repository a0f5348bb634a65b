#pragma once
// The tool's own output files (pictures, CSV): checked before any work, so an
// input or a file the user has is never replaced unasked, and written all or
// nothing, so a failed write never leaves a half file under the name asked for.

#include "Commands.h"
#include "SampleFile.h"

#include <QImage>
#include <string>
#include <string_view>
#include <vector>

class TMeasureRecord;

namespace mirantos::cli {

// A file a command writes, with the option that named it (for messages).
struct TOutputFile {
    std::string_view option; // "--png", "-o"
    std::string path;
    bool text = false; // "-" stands for the output stream; never for a picture or a data file
};

// Before any work: refuses (exit 2) an output that is one of `inputs`, also
// through a link or spelled otherwise, one that another output names too, and
// "-" where it cannot stand (a link to nothing meets the name it points to);
// refuses (exit 1) what WriteProblem refuses (a folder, a read-only file even
// with `force`, a FIFO nobody reads, a folder that takes no new file), then an
// existing file or a link to nothing unless `force`. A FIFO or a device is
// written into, not replaced, and needs no --force.
// False after the message, with the exit code in `code`.
bool CheckOutputs(const std::vector<std::string>& inputs, const std::vector<TOutputFile>& outputs,
                  bool force, const char* usage, CliIo io, int& code);
// "FILE exists; --force replaces it"
std::string ExistsText(const std::string& path);

// `bytes` whole to `path` ("-": the output stream); false after "cannot write
// PATH: reason" on the error stream.
bool WriteOutput(CliIo io, const std::string& path, std::string_view bytes);
bool WritePng(CliIo io, const std::string& path, const QImage& image);

// The CSV of a loaded data set, header included, LF line ends, C locale.
std::string CsvOf(const TMeasureRecord& record);
// The CSV of a capture's samples: the same header, microvolts as the capture
// file has them (doubles).
std::string CsvOf(const TSampleSet& samples);
// Shortest text that reads back as the same 32-bit float, fixed notation.
std::string FloatText(float value);
} // namespace mirantos::cli
