#pragma once
// Writing the tool's own output files (pictures, CSV): all or nothing, so a
// failed write never leaves a half file under the name asked for.

#include <QByteArray>
#include <QImage>
#include <string>

class TMeasureRecord;

namespace mirantos::cli {

bool WriteWhole(const std::string& path, const QByteArray& bytes);
bool WritePng(const std::string& path, const QImage& image);

// The CSV of a loaded data set, header included, LF line ends, C locale.
std::string CsvOf(const TMeasureRecord& record);
struct TSampleSet;
// The CSV of a capture's samples: the same header, microvolts as the capture
// file has them (doubles).
std::string CsvOf(const TSampleSet& samples);
// Shortest text that reads back as the same 32-bit float, fixed notation.
std::string FloatText(float value);
} // namespace mirantos::cli
