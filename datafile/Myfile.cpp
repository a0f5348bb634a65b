#include "Myfile.h"

#include "Tables.h"
#include "WholeFile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::string_view kTag = "AD7177_DataFile:";
constexpr std::string_view kCrLf = "\r\n";
// Lines reach the reader in pieces of at most this many bytes, the LF included.
constexpr size_t kPieceBytes = 255;
constexpr int kMarkerSearchLines = 10;
constexpr int kSettingsMaxLines = 20;
constexpr int kSettingsMinLinesBeforeEnd = 6;

// ---------------------------------------------------------------- writing

void AppendLine(std::string& out, std::string_view text)
{
    out.append(text);
    out.append(kCrLf);
}

void AppendKeyInt(std::string& out, std::string_view key, int32_t value)
{
    char digits[16];
    const auto res = std::to_chars(digits, digits + sizeof digits, value);
    out.append(key);
    out.append(digits, res.ptr);
    out.append(kCrLf);
}

void WriteHeader(std::string& out, const TAdcSetting& s)
{
    AppendLine(out, "M:");
    AppendKeyInt(out, "spsSel:", s.spsSel);
    AppendKeyInt(out, "DataCountSel:", s.DataCountSel);
    AppendKeyInt(out, "CHSel:", s.CHSel);
    AppendKeyInt(out, "GainSel:", s.GainSel);
    AppendLine(out, s.fSinc5 != 0 ? "fSinc5:1" : "fSinc5:0");
    AppendLine(out, s.fBUF_ON != 0 ? "fBUF_ON:1" : "fBUF_ON:0");
    AppendLine(out, "MEND:");
}

bool SamplesWritable(const TChannelData& ch)
{
    return ch.Count >= 0 && ch.Count <= CHANNEL_CAPACITY && (ch.Count == 0 || ch.Code != nullptr);
}

// The sample lines are written straight into room reserved at the end of out.
constexpr size_t kMaxCodeDigits = 10;

inline char* PutCode(char* p, uint32_t v)
{
    return std::to_chars(p, p + kMaxCodeDigits, v).ptr;
}

inline char* PutCrLf(char* p)
{
    p[0] = '\r';
    p[1] = '\n';
    return p + 2;
}

void WriteSamples(std::string& out, const TChannelData& ch)
{
    AppendLine(out, "D:");
    const size_t start = out.size();
    out.resize(start + static_cast<size_t>(ch.Count) * (kMaxCodeDigits + 2));
    char* const begin = out.data() + start;
    char* p = begin;
    for (int i = 0; i < ch.Count; ++i) {
        p = PutCrLf(PutCode(p, ch.Code[i]));
    }
    out.resize(start + static_cast<size_t>(p - begin));
    AppendLine(out, "DEND:");
}

void WriteSamples2ch(std::string& out, const TChannelData& ch0, const TChannelData& ch1)
{
    AppendLine(out, "D:");
    const size_t start = out.size();
    out.resize(start + static_cast<size_t>(ch0.Count) * (2 * kMaxCodeDigits + 3));
    char* const begin = out.data() + start;
    char* p = begin;
    for (int i = 0; i < ch0.Count; ++i) {
        p = PutCode(p, ch0.Code[i]);
        *p++ = ',';
        p = PutCrLf(PutCode(p, ch1.Code[i]));
    }
    out.resize(start + static_cast<size_t>(p - begin));
    AppendLine(out, "DEND:");
}

// ---------------------------------------------------------------- file handles

class TFd {
public:
    explicit TFd(int fd = -1) : fd_(fd) {}
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    ~TFd() { Close(); }
    int Get() const { return fd_; }
    // Closes now and reports whether the close itself succeeded.
    bool Close()
    {
        if (fd_ < 0) {
            return true;
        }
        const int rc = ::close(fd_);
        fd_ = -1;
        // After EINTR the descriptor is gone on Linux, but the data state is unknown.
        return rc == 0;
    }

private:
    int fd_;
};

// ---------------------------------------------------------------- reading

// Splits a file into the reader's lines: pieces of at most 255 bytes up to and
// including LF, comment pieces (";" first) skipped, every CR and LF removed.
class TLineReader {
public:
    explicit TLineReader(int fd) : fd_(fd), buf_(new char[kBufferBytes]) {}

    // False at end of file and on a read error.
    bool ReadLine(std::string_view& line)
    {
        for (;;) {
            const char* piece = nullptr;
            size_t len = 0;
            bool hasCr = false;
            if (!ReadPiece(piece, len, hasCr)) {
                return false;
            }
            if (piece[0] == ';') {
                continue;
            }
            if (piece[len - 1] == '\n') {
                --len;
            }
            if (!hasCr) {
                // The buffer stays put until the next call, so the view may point into it.
                line = std::string_view(piece, len);
                return true;
            }
            size_t out = 0;
            for (size_t i = 0; i < len; ++i) {
                if (piece[i] != '\r') {
                    line_[out++] = piece[i];
                }
            }
            line = std::string_view(line_, out);
            return true;
        }
    }

    bool Failed() const { return failed_; }
    // The file's line (from 1, comments counted) the last line read began on.
    int64_t Line() const { return line_no_; }

private:
    static constexpr size_t kBufferBytes = 64 * 1024;

    // One pass over the piece: its end (LF or 255 bytes) and whether it holds a CR.
    bool ReadPiece(const char*& piece, size_t& len, bool& hasCr)
    {
        if (end_ - pos_ < kPieceBytes && !eof_) {
            Fill();
        }
        if (pos_ == end_) {
            return false;
        }
        const size_t avail = std::min(kPieceBytes, end_ - pos_);
        piece = buf_.get() + pos_;
        size_t i = 0;
        bool cr = false;
        while (i < avail) {
            const char c = piece[i++];
            if (c == '\n') {
                break;
            }
            cr |= c == '\r';
        }
        len = i;
        hasCr = cr;
        pos_ += len;
        // A piece cut at 255 bytes goes on the same line.
        if (at_line_start_)
            ++line_no_;
        at_line_start_ = piece[len - 1] == '\n';
        return true;
    }

    void Fill()
    {
        std::memmove(buf_.get(), buf_.get() + pos_, end_ - pos_);
        end_ -= pos_;
        pos_ = 0;
        while (end_ < kBufferBytes && !eof_) {
            const ssize_t n = ::read(fd_, buf_.get() + end_, kBufferBytes - end_);
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                failed_ = true;
                eof_ = true;
                end_ = pos_ = 0; // a read error ends the file here
                return;
            }
            if (n == 0) {
                eof_ = true;
            }
            end_ += static_cast<size_t>(n);
        }
    }

    int fd_;
    std::unique_ptr<char[]> buf_;
    size_t pos_ = 0;
    size_t end_ = 0;
    bool eof_ = false;
    bool failed_ = false;
    int64_t line_no_ = 0;
    bool at_line_start_ = true;
    char line_[kPieceBytes];
};

// Optional sign and decimal digits, nothing else, within signed 32 bits.
bool ParseSettingInt(std::string_view text, int32_t& value)
{
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+') {
        ++first;
        if (first != last && (*first == '-' || *first == '+')) {
            return false;
        }
    }
    if (first == last) {
        return false;
    }
    int32_t v = 0;
    const auto res = std::from_chars(first, last, v);
    if (res.ec != std::errc() || res.ptr != last) {
        return false;
    }
    value = v;
    return true;
}

bool ParseFlag(std::string_view text, uint8_t& flag)
{
    if (text == "0") {
        flag = 0;
        return true;
    }
    if (text == "1") {
        flag = 1;
        return true;
    }
    return false;
}

// A sample's value: leading blanks, optional sign, digits up to the first other
// character, reduced to the low 32 bits ("-1" and "4294967295" are the same code).
uint32_t ParseCode(std::string_view text)
{
    size_t i = 0;
    const size_t n = text.size();
    while (i < n && (text[i] == ' ' || text[i] == '\t' || text[i] == '\v' || text[i] == '\f')) {
        ++i;
    }
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    uint32_t v = 0; // unsigned wrap-around keeps exactly the low 32 bits
    while (i < n && text[i] >= '0' && text[i] <= '9') {
        v = v * 10u + static_cast<uint32_t>(text[i] - '0');
        ++i;
    }
    return negative ? 0u - v : v;
}

// Why a load failed, for the windows that say so: "line 7: ...".
bool Why(std::string& why, std::string text)
{
    why = std::move(text);
    return false;
}

std::string AtLine(const TLineReader& in)
{
    return "line " + std::to_string(in.Line()) + ": ";
}

bool FindMarker(TLineReader& in, std::string_view marker)
{
    std::string_view line;
    for (int i = 0; i < kMarkerSearchLines; ++i) {
        if (!in.ReadLine(line)) {
            return false;
        }
        if (line == marker) {
            return true;
        }
    }
    return false;
}

bool ReadHeader(TLineReader& in, TAdcSetting& s, std::string& why)
{
    if (!FindMarker(in, "M:")) {
        return Why(why, "no settings block (\"M:\")");
    }
    std::string_view line;
    for (int i = 0; i < kSettingsMaxLines; ++i) {
        if (!in.ReadLine(line)) {
            return Why(why, "the file ends inside the settings");
        }
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            return Why(why, AtLine(in) + "not a setting: \"" + std::string(line) + "\"");
        }
        const std::string_view key = line.substr(0, colon + 1);
        const std::string_view value = line.substr(colon + 1);
        if (key == "MEND:" && i >= kSettingsMinLinesBeforeEnd) {
            return true;
        }
        bool ok = true;
        if (key == "spsSel:") {
            ok = ParseSettingInt(value, s.spsSel);
        } else if (key == "DataCountSel:") {
            ok = ParseSettingInt(value, s.DataCountSel);
        } else if (key == "CHSel:") {
            ok = ParseSettingInt(value, s.CHSel);
        } else if (key == "GainSel:") {
            ok = ParseSettingInt(value, s.GainSel);
        } else if (key == "fSinc5:") {
            ok = ParseFlag(value, s.fSinc5);
        } else if (key == "fBUF_ON:") {
            ok = ParseFlag(value, s.fBUF_ON);
        }
        if (!ok) {
            return Why(why, AtLine(in) + "bad value of " + std::string(key.substr(0, colon)) +
                                " \"" + std::string(value) + "\"");
        }
    }
    return true;
}

// Reads sample lines up to "DEND:"; store(index, line) keeps one line's values.
// More lines than the buffers hold make the read fail.
template <typename Store>
bool ReadSampleLines(TLineReader& in, int32_t& count, std::string& why, Store store)
{
    std::string_view line;
    for (;;) {
        if (!in.ReadLine(line)) {
            return Why(why, "the file ends before \"DEND:\"");
        }
        if (line.find(':') != std::string_view::npos) {
            return line == "DEND:" ||
                   Why(why, AtLine(in) + "not a sample: \"" + std::string(line) + "\"");
        }
        if (count >= CHANNEL_CAPACITY) {
            return Why(why,
                       AtLine(in) + "more than " + std::to_string(CHANNEL_CAPACITY) + " samples");
        }
        store(count, line);
        ++count;
    }
}

bool ReadSamples(TLineReader& in, TChannelData& ch, std::string& why)
{
    if (!FindMarker(in, "D:")) {
        return Why(why, "no data block (\"D:\")");
    }
    ch.Count = 0;
    int32_t count = 0;
    uint32_t* code = ch.Code;
    const bool ok = ReadSampleLines(
        in, count, why, [code](int32_t i, std::string_view line) { code[i] = ParseCode(line); });
    ch.Count = count;
    return ok;
}

bool ReadSamples2ch(TLineReader& in, TChannelData& ch0, TChannelData& ch1, std::string& why)
{
    if (!FindMarker(in, "D:")) {
        return Why(why, "no data block (\"D:\")");
    }
    ch0.Count = 0;
    ch1.Count = 0;
    int32_t count = 0;
    uint32_t* code0 = ch0.Code;
    uint32_t* code1 = ch1.Code;
    const bool ok =
        ReadSampleLines(in, count, why, [code0, code1](int32_t i, std::string_view line) {
            const size_t comma = line.find(',');
            if (comma == std::string_view::npos) {
                code0[i] = 0;
                code1[i] = ParseCode(line);
            } else {
                code0[i] = ParseCode(line.substr(0, comma));
                code1[i] = ParseCode(line.substr(comma + 1));
            }
        });
    ch0.Count = count;
    ch1.Count = count;
    return ok;
}

void SetOutcome(TSaveOutcome* outcome, TSaveOutcome value)
{
    if (outcome != nullptr) {
        *outcome = value;
    }
}

} // namespace

std::string OverwriteQuestionText(const std::string& fileName)
{
    return "ファイル：" + fileName + "があります。" + "\n" + "上書きしますか";
}

std::string WithDtaExtension(const std::string& name)
{
    // A name without any "." cannot end in ".DTA", so one test covers both cases.
    constexpr std::string_view ext = ".DTA";
    const bool endsDta =
        name.size() >= ext.size() && name.compare(name.size() - ext.size(), ext.size(), ext) == 0;
    return endsDta ? name : name + std::string(ext);
}

bool FormatDataFile(const TAdcSetting& setting, const TChannelData& ch, std::string& out)
{
    out.clear();
    if (!SamplesWritable(ch)) {
        return false;
    }
    out.reserve(256 + static_cast<size_t>(ch.Count) * 12);
    AppendLine(out, kTag);
    WriteHeader(out, setting);
    WriteSamples(out, ch);
    return true;
}

bool FormatDataFile2ch(const TAdcSetting& setting, const TChannelData& ch0, const TChannelData& ch1,
                       std::string& out)
{
    out.clear();
    if (!SamplesWritable(ch0) || (ch0.Count > 0 && ch1.Code == nullptr)) {
        return false;
    }
    out.reserve(256 + static_cast<size_t>(ch0.Count) * 23);
    AppendLine(out, kTag);
    WriteHeader(out, setting);
    WriteSamples2ch(out, ch0, ch1);
    return true;
}

TmyFile::TmyFile(TOverwriteQuestion ask) : ask_(std::move(ask)) {}

void TmyFile::SetOverwriteQuestion(TOverwriteQuestion ask)
{
    ask_ = std::move(ask);
}

bool TmyFile::SaveData(const std::string& fileName, const TAdcSetting* setting,
                       const TChannelData* ch, TSaveOutcome* outcome)
{
    SetOutcome(outcome, TSaveOutcome::Failed);
    std::string content;
    if (fileName.empty() || setting == nullptr || ch == nullptr ||
        !FormatDataFile(*setting, *ch, content)) {
        return false;
    }
    return Save(fileName, content, outcome);
}

bool TmyFile::SaveData2ch(const std::string& fileName, const TAdcSetting* setting,
                          const TChannelData* ch0, const TChannelData* ch1, TSaveOutcome* outcome)
{
    SetOutcome(outcome, TSaveOutcome::Failed);
    std::string content;
    if (fileName.empty() || setting == nullptr || ch0 == nullptr || ch1 == nullptr ||
        !FormatDataFile2ch(*setting, *ch0, *ch1, content)) {
        return false;
    }
    return Save(fileName, content, outcome);
}

// Through the program's one whole-file writer: a symbolic link, a hard-linked
// file, a FIFO or a device stays what it is, and a failure leaves the old file.
bool TmyFile::Save(const std::string& fileName, const std::string& content, TSaveOutcome* outcome)
{
    SetOutcome(outcome, TSaveOutcome::Failed);
    error_.clear();
    // Refused before the question: a yes could not be kept.
    if (std::string problem = mirantos::WriteProblem(fileName); !problem.empty()) {
        error_ = std::move(problem);
        return false;
    }
    if (mirantos::ReplacesOnWrite(fileName) && (!ask_ || !ask_(OverwriteQuestionText(fileName)))) {
        SetOutcome(outcome, TSaveOutcome::Declined);
        return true;
    }
    if (!mirantos::WriteFileWhole(fileName, content, &error_))
        return false;
    SetOutcome(outcome, TSaveOutcome::Written);
    return true;
}

bool TmyFile::LoadData(const std::string& fileName, TAdcSetting* setting, TChannelData* ch0,
                       TChannelData* ch1, std::string* reason)
{
    std::string why;
    const bool ok = Load(fileName, setting, ch0, ch1, why);
    if (reason != nullptr) {
        *reason = ok ? std::string() : why;
    }
    return ok;
}

bool TmyFile::Load(const std::string& fileName, TAdcSetting* setting, TChannelData* ch0,
                   TChannelData* ch1, std::string& why)
{
    if (fileName.empty() || setting == nullptr || ch0 == nullptr || ch1 == nullptr ||
        ch0->Code == nullptr || ch1->Code == nullptr) {
        return Why(why, "no file");
    }
    // Non-blocking open so that a FIFO or device picked by mistake cannot hang the caller.
    TFd fd(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.Get() < 0) {
        return Why(why, std::strerror(errno));
    }
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return Why(why, "not a regular file");
    }

    TLineReader in(fd.Get());
    std::string_view line;
    if (!in.ReadLine(line) || line != kTag) {
        return Why(why, AtLine(in) + "not a MIRANTOS data file (the first line is not \"" +
                            std::string(kTag) + "\")");
    }
    if (!ReadHeader(in, *setting, why)) {
        return false;
    }
    // The window indexes its lists and the board tables with these; refuse anything outside.
    if (!mirantos::SettingsInRange(*setting)) {
        return Why(why, "a setting is out of range (spsSel " + std::to_string(setting->spsSel) +
                            ", DataCountSel " + std::to_string(setting->DataCountSel) + ", CHSel " +
                            std::to_string(setting->CHSel) + ")");
    }
    bool ok = false;
    switch (setting->CHSel) {
    case 0:
        ok = ReadSamples(in, *ch0, why);
        ch1->Count = 0;
        break;
    case 1:
        ok = ReadSamples(in, *ch1, why);
        ch0->Count = 0;
        break;
    default:
        ok = ReadSamples2ch(in, *ch0, *ch1, why);
        break;
    }
    if (ok && in.Failed()) {
        return Why(why, "read error");
    }
    return ok;
}
