#include "ResultsText.h"

#include <algorithm>
#include <cstdio>

namespace mirantos::cli {

namespace {

std::string Hex(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "\\x%02x", value);
    return text;
}

// The length of the UTF-8 sequence starting at s[i], 0 when it is not one.
size_t Utf8Length(std::string_view s, size_t i)
{
    const auto b = static_cast<unsigned char>(s[i]);
    const size_t n = b < 0x80           ? 1
                     : (b >> 5) == 0x6  ? 2
                     : (b >> 4) == 0xe  ? 3
                     : (b >> 3) == 0x1e ? 4
                                        : 0;
    if (n == 0 || i + n > s.size())
        return 0;
    for (size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xc0) != 0x80)
            return 0;
    return n;
}

// The code point of the 3-byte UTF-8 sequence at s[i].
unsigned CodePoint3(std::string_view s, size_t i)
{
    const auto b = [&](size_t k) {
        return static_cast<unsigned>(static_cast<unsigned char>(s[i + k]));
    };
    return ((b(0) & 0x0f) << 12) | ((b(1) & 0x3f) << 6) | (b(2) & 0x3f);
}

// The embeddings, overrides and isolates that make a terminal show the text
// after them in another order (a serial could hide or reverse what follows).
bool IsBidiControl(unsigned c)
{
    return (c >= 0x202a && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069);
}

// Code points on screen (wide characters count one; close enough for the padding).
size_t Columns(std::string_view s)
{
    return static_cast<size_t>(
        std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xc0) != 0x80; }));
}

bool IsNumber(std::string_view s)
{
    size_t i = 0;
    const auto digits = [&] {
        const size_t from = i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9')
            ++i;
        return i - from;
    };
    if (i < s.size() && (s[i] == '-' || s[i] == '+'))
        ++i;
    size_t n = digits();
    if (i < s.size() && s[i] == '.') {
        ++i;
        n += digits();
    }
    if (n == 0)
        return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '-' || s[i] == '+'))
            ++i;
        if (digits() == 0)
            return false;
    }
    return i == s.size();
}

} // namespace

std::string TerminalText(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        const size_t n = Utf8Length(text, i);
        if (n == 0) {
            out += Hex(b);
            ++i;
        } else if (b < 0x20 || b == 0x7f) {
            out += Hex(b);
            ++i;
        } else if (n == 2 && b == 0xc2 && static_cast<unsigned char>(text[i + 1]) < 0xa0) {
            out += Hex(static_cast<unsigned char>(text[i + 1])); // U+0080..U+009F
            i += 2;
        } else if (const unsigned c = n == 3 ? CodePoint3(text, i) : 0; IsBidiControl(c)) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
            i += 3;
        } else {
            out.append(text.substr(i, n));
            i += n;
        }
    }
    return out;
}

std::string CsvCell(std::string_view text)
{
    std::string cell(text);
    if (!cell.empty() && std::string_view("=+-@\t\r").find(cell[0]) != std::string_view::npos &&
        !IsNumber(cell))
        cell.insert(0, 1, '\'');
    if (cell.find_first_of(",\"\r\n") == std::string::npos)
        return cell;
    std::string quoted = "\"";
    for (char c : cell) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

TRowWriter::TRowWriter(std::ostream& out, bool csv, std::vector<std::string> header,
                       std::vector<size_t> widths)
    : out_(out), csv_(csv), widths_(std::move(widths))
{
    widths_.resize(header.size());
    for (size_t i = 0; i < header.size(); ++i)
        widths_[i] = std::max(widths_[i], Columns(header[i]));
    Line(header);
}

void TRowWriter::Row(const std::vector<std::string>& cells)
{
    if (csv_) {
        Line(cells);
        return;
    }
    std::vector<std::string> shown;
    shown.reserve(cells.size());
    for (const std::string& c : cells)
        shown.push_back(TerminalText(c));
    Line(shown);
}

void TRowWriter::Line(const std::vector<std::string>& cells)
{
    std::string text;
    for (size_t i = 0; i < cells.size(); ++i) {
        if (csv_) {
            text += (i ? "," : "") + CsvCell(cells[i]);
            continue;
        }
        text += cells[i];
        if (i + 1 < cells.size()) {
            const size_t used = Columns(cells[i]);
            text += std::string(used < widths_[i] ? widths_[i] - used + 2 : 2, ' ');
        }
    }
    out_ << text << '\n';
}

} // namespace mirantos::cli
