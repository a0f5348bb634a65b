#pragma once
// How `results` writes stored texts: a serial, operator or station name came
// from whoever ran a test (or wrote into the database), so it must neither
// drive the terminal nor become a spreadsheet formula. Rows are written as
// they come, so a listing of any length is never held whole.

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace mirantos::cli {

// For the terminal: C0 controls (ESC, BEL, CR, LF, ...), DEL and C1 controls
// (U+0080..U+009F, among them the 8-bit CSI and OSC) as \xNN; bytes that are
// not UTF-8 as \xNN too; the bidirectional embeddings, overrides and isolates
// (U+202A..U+202E, U+2066..U+2069) as \uNNNN. Everything else as it is.
std::string TerminalText(std::string_view text);

// One CSV cell: quoted when it holds a comma, quote or line break; a text that
// begins with = + - @, a tab or a CR (a formula to a spreadsheet) gets a
// leading apostrophe, unless it is a plain number ("-0.5", "1e-3").
std::string CsvCell(std::string_view text);

// A table with fixed column widths (each at least its header), two blanks
// apart, a longer cell pushing the rest of its line; or CSV. Each row is
// written at once.
class TRowWriter {
public:
    TRowWriter(std::ostream& out, bool csv, std::vector<std::string> header,
               std::vector<size_t> widths);
    void Row(const std::vector<std::string>& cells);

private:
    void Line(const std::vector<std::string>& cells);
    std::ostream& out_;
    bool csv_;
    std::vector<size_t> widths_;
};

} // namespace mirantos::cli
