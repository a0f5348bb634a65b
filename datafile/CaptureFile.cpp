#include "CaptureFile.h"

#include "MeasureRecord.h"
#include "NewFile.h"
#include "RateTable.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mirantos {

namespace {

int64_t NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

const char* ChannelsName(int32_t chSel)
{
    return chSel == 0 ? "ch0" : chSel == 1 ? "ch1" : "both";
}

template <typename T> char* Put(char* p, char* end, T value)
{
    return std::to_chars(p, end, value).ptr;
}

char* PutChannel(char* p, char* end, uint32_t code, int32_t gain)
{
    *p++ = ',';
    p = Put(p, end, code);
    *p++ = ',';
    // Shortest text that reads back as exactly this double.
    return Put(p, end, CodeToMicrovolt(code, gain));
}

// Writes all of [data, data + size) at the file's current end; the bytes
// that went out are in *done even when it fails.
bool WriteAll(int fd, const char* data, size_t size, size_t* done)
{
    *done = 0;
    while (*done < size) {
        const ssize_t n = ::write(fd, data + *done, size - *done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        *done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

std::string_view CaptureEndText(TCaptureEnd how)
{
    switch (how) {
    case TCaptureEnd::Complete:
        return "complete";
    case TCaptureEnd::Stopped:
        return "stopped";
    case TCaptureEnd::ReadError:
        return "read error";
    case TCaptureEnd::WriteError:
        return "write error";
    }
    return "write error";
}

std::string CaptureColumns(int32_t chSel)
{
    std::string s = "index";
    if (chSel != 1)
        s += ",ch0_code,ch0_uV";
    if (chSel != 0)
        s += ",ch1_code,ch1_uV";
    return s;
}

std::string CaptureHeader(const TCaptureInfo& info)
{
    char sps[32];
    char* spsEnd = std::to_chars(sps, sps + sizeof sps, info.rateSps).ptr;
    std::string h(kCaptureTag);
    h += "\n# rate_index: " + std::to_string(info.rateIndex);
    h += "\n# rate_sps: " + std::string(sps, static_cast<size_t>(spsEnd - sps));
    h += std::string("\n# filter: ") + (info.sinc5 ? "sinc5" : "sinc3");
    h += std::string("\n# channels: ") + ChannelsName(info.chSel);
    h += "\n# gain: " + std::to_string(info.gain);
    h += "\n# board: " + info.board;
    if (info.simulated)
        h += kSimulatedBoardSuffix;
    h += "\n# start: " + info.startUtc;
    h += '\n' + CaptureColumns(info.chSel) + '\n';
    return h;
}

std::string CaptureEndLine(TCaptureEnd how, int64_t samples)
{
    return "# end: " + std::string(CaptureEndText(how)) + ", samples=" + std::to_string(samples) +
           '\n';
}

std::string CaptureText(const TCaptureInfo& info, const uint32_t* c0, const uint32_t* c1, int64_t n)
{
    std::string text = CaptureHeader(info);
    text.reserve(text.size() + static_cast<size_t>(n) * 48 + 64);
    char line[kMaxCaptureLine];
    for (int64_t i = 0; i < n; ++i)
        text.append(line, FormatCaptureLine(line, i + 1, c0 ? c0 + i : nullptr,
                                            c1 ? c1 + i : nullptr, info.gain));
    return text + CaptureEndLine(TCaptureEnd::Complete, n);
}

size_t FormatCaptureLine(char* out, int64_t index, const uint32_t* c0, const uint32_t* c1,
                         int32_t gain)
{
    char* const end = out + kMaxCaptureLine;
    char* p = Put(out, end, index);
    if (c0 != nullptr)
        p = PutChannel(p, end, *c0, gain);
    if (c1 != nullptr)
        p = PutChannel(p, end, *c1, gain);
    *p++ = '\n';
    return static_cast<size_t>(p - out);
}

// ---- Writer ---------------------------------------------------------------------

TCaptureWriter::TCaptureWriter() : buffer_(kBufferBytes + kMaxCaptureLine) {}

TCaptureWriter::~TCaptureWriter()
{
    Abandon();
}

bool TCaptureWriter::Fail(int err)
{
    if (error_ == 0)
        error_ = err != 0 ? err : EIO;
    return false;
}

bool TCaptureWriter::Open(const std::string& path, bool replace)
{
    path_ = path;
    replace_ = replace;
    // A new file stays a hidden temporary until the run's first block: a
    // process killed before it leaves no empty file under the user's name.
    fd_ = OpenForWriting(path, replace, tempPath_, target_);
    if (fd_ < 0)
        return Fail(errno);
    return true;
}

bool TCaptureWriter::Begin(const TCaptureInfo& info)
{
    if (fd_ < 0 || Failed())
        return false;
    if (::ftruncate(fd_, 0) != 0 || ::lseek(fd_, 0, SEEK_SET) != 0)
        return Fail(errno);
    begun_ = true;
    gain_ = info.gain;
    const std::string h = CaptureHeader(info);
    size_t done = 0;
    const bool ok = WriteAll(fd_, h.data(), h.size(), &done);
    fileBytes_ = static_cast<int64_t>(done);
    if (!ok)
        return Fail(errno);
    lineEnd_ = fileBytes_;
    if (!tempPath_.empty()) {
        const int err = LinkInTemp(tempPath_, target_, replace_);
        tempPath_.clear();
        if (err != 0)
            return Fail(err);
    }
    lastWriteOutMs_ = NowMs();
    return true;
}

bool TCaptureWriter::WriteOut()
{
    if (used_ == 0)
        return true;
    size_t done = 0;
    const bool ok = WriteAll(fd_, buffer_.data(), used_, &done);
    const int err = errno;
    // Whole lines that made it to the file, and where the last one ends.
    for (size_t i = 0; i < done; ++i) {
        if (buffer_[i] == '\n') {
            ++samplesOnDisk_;
            lineEnd_ = fileBytes_ + static_cast<int64_t>(i) + 1;
        }
    }
    fileBytes_ += static_cast<int64_t>(done);
    used_ = 0;
    lastWriteOutMs_ = NowMs();
    if (!ok) {
        samples_ = samplesOnDisk_;
        return Fail(err);
    }
    return true;
}

bool TCaptureWriter::Write(const uint32_t* ch0, const uint32_t* ch1, int32_t n)
{
    if (!begun_ || Failed())
        return false;
    for (int32_t i = 0; i < n; ++i) {
        ++samples_;
        used_ += FormatCaptureLine(buffer_.data() + used_, samples_, ch0 ? ch0 + i : nullptr,
                                   ch1 ? ch1 + i : nullptr, gain_);
        if (used_ >= kBufferBytes && !WriteOut())
            return false;
    }
    return FlushIfDue();
}

bool TCaptureWriter::FlushIfDue()
{
    if (!begun_ || Failed())
        return false;
    if (used_ == 0 || NowMs() - lastWriteOutMs_ < kFlushIntervalMs)
        return true;
    return WriteOut();
}

bool TCaptureWriter::Finish(TCaptureEnd how)
{
    if (fd_ < 0)
        return false;
    if (begun_) {
        if (!Failed())
            WriteOut();
        if (Failed()) {
            // Only whole lines stay, so any CSV reader takes the file as it is.
            how = TCaptureEnd::WriteError;
            if (::ftruncate(fd_, lineEnd_) == 0)
                fileBytes_ = lineEnd_;
            ::lseek(fd_, fileBytes_, SEEK_SET);
        }
        const std::string endLine = CaptureEndLine(how, samplesOnDisk_);
        size_t done = 0;
        if (WriteAll(fd_, endLine.data(), endLine.size(), &done)) {
            fileBytes_ += static_cast<int64_t>(done);
        } else {
            Fail(errno);
            // Half an end line would be a malformed last line: it goes again.
            if (::ftruncate(fd_, fileBytes_) != 0)
                fileBytes_ += static_cast<int64_t>(done);
        }
        if (::fsync(fd_) != 0)
            Fail(errno);
    }
    if (!tempPath_.empty()) {
        ::unlink(tempPath_.c_str());
        tempPath_.clear();
    }
    samples_ = samplesOnDisk_;
    const bool ok = !Failed();
    if (::close(fd_) != 0 && ok)
        Fail(errno);
    fd_ = -1;
    return !Failed();
}

void TCaptureWriter::Abandon()
{
    if (fd_ < 0)
        return;
    ::close(fd_);
    fd_ = -1;
    if (!tempPath_.empty())
        ::unlink(tempPath_.c_str());
    tempPath_.clear();
}

// ---- Reader ---------------------------------------------------------------------

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

template <typename T> bool ParseWhole(std::string_view s, T& v)
{
    if (s.empty())
        return false;
    const auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    return ec == std::errc() && p == s.data() + s.size();
}

// The next comma-separated field of `rest`; false when there is none.
bool NextField(std::string_view& rest, std::string_view& field, bool& more)
{
    const size_t comma = rest.find(',');
    field = rest.substr(0, comma);
    more = comma != std::string_view::npos;
    rest = more ? rest.substr(comma + 1) : std::string_view();
    return true;
}

std::string DoubleText(double v)
{
    char text[32];
    return std::string(text, Put(text, text + sizeof text, v));
}

// Shown in a message: at most the first 40 bytes of a field, control bytes as "?".
std::string Quoted(std::string_view s)
{
    std::string q(s.substr(0, 40));
    for (char& ch : q)
        if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F)
            ch = '?';
    return '"' + q + (s.size() > 40 ? "...\"" : "\"");
}

// The writer's text reads back as its very double; one unit in the last place
// more allows for the extended-precision step of the conversion giving the
// other neighbour on another machine. A wrong gain or an edited figure is far
// beyond that.
bool SameMicrovolts(double read, double want)
{
    return read == want || std::nextafter(want, read) == read;
}

class TFileFd {
public:
    explicit TFileFd(const std::string& path)
        // Non-blocking, so a FIFO named by mistake cannot hang the reader.
        : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK))
    {
    }
    ~TFileFd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    TFileFd(const TFileFd&) = delete;
    TFileFd& operator=(const TFileFd&) = delete;
    int Get() const { return fd_; }
    bool IsRegular() const
    {
        struct stat st {};
        return fd_ >= 0 && ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
    }

private:
    int fd_;
};

// Lines through one fixed buffer: a line longer than kMaxCaptureTextLine (a
// binary file, gigabytes of NULs) is refused as soon as that many bytes are in,
// so memory never depends on what the file holds.
class TBoundedLineReader {
public:
    enum class TResult { Line, Unterminated, End, TooLong, Error };

    explicit TBoundedLineReader(int fd) : fd_(fd), buf_(kBufferBytes) {}

    // The line without its LF (a CR before it is kept).
    TResult Next(std::string_view& line)
    {
        for (;;) {
            const char* start = buf_.data() + pos_;
            const size_t avail = end_ - pos_;
            const size_t window = std::min(avail, kMaxCaptureTextLine + 1);
            if (const auto* lf = static_cast<const char*>(std::memchr(start, '\n', window))) {
                line = std::string_view(start, static_cast<size_t>(lf - start));
                pos_ += line.size() + 1;
                return TResult::Line;
            }
            if (avail > kMaxCaptureTextLine)
                return TResult::TooLong;
            if (eof_) {
                if (avail == 0)
                    return TResult::End;
                line = std::string_view(start, avail);
                pos_ = end_;
                return TResult::Unterminated;
            }
            std::memmove(buf_.data(), start, avail);
            pos_ = 0;
            end_ = avail;
            const ssize_t n = ::read(fd_, buf_.data() + end_, buf_.size() - end_);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return TResult::Error;
            }
            if (n == 0)
                eof_ = true;
            end_ += static_cast<size_t>(n);
        }
    }

private:
    static constexpr size_t kBufferBytes = 64 * 1024;
    static_assert(kBufferBytes > kMaxCaptureTextLine + 1, "a whole line fits the buffer");

    int fd_;
    std::vector<char> buf_;
    size_t pos_ = 0;
    size_t end_ = 0;
    bool eof_ = false;
};

// The line numbers of the settings, 0 while a setting has not been seen.
struct TSettingLines {
    int64_t rateIndex = 0;
    int64_t rateSps = 0;
    int64_t filter = 0;
    int64_t channels = 0;
    int64_t gain = 0;
};

} // namespace

bool IsCaptureFile(const std::string& path)
{
    const TFileFd fd(path);
    if (!fd.IsRegular())
        return false;
    // The tag after an optional byte order mark, then CR LF or LF: nothing more is read.
    char head[kUtf8Bom.size() + kCaptureTag.size() + 2];
    size_t got = 0;
    while (got < sizeof head) {
        const ssize_t n = ::read(fd.Get(), head + got, sizeof head - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    std::string_view h(head, got);
    if (h.substr(0, kUtf8Bom.size()) == kUtf8Bom)
        h.remove_prefix(kUtf8Bom.size());
    if (h.substr(0, kCaptureTag.size()) != kCaptureTag)
        return false;
    h.remove_prefix(kCaptureTag.size());
    return h.substr(0, 1) == "\n" || h.substr(0, 2) == "\r\n";
}

bool ReadCapture(const std::string& path, TCaptureData& out, std::vector<std::string>& warnings,
                 std::string& error)
{
    out = TCaptureData{};
    const TFileFd fd(path);
    if (fd.Get() < 0) {
        error = std::strerror(errno);
        return false;
    }
    if (!fd.IsRegular()) {
        error = "not a regular file";
        return false;
    }
    auto fail = [&error](int64_t lineNo, const std::string& what) {
        error = "line " + std::to_string(lineNo) + ": " + what;
        return false;
    };

    TBoundedLineReader in(fd.Get());
    std::string_view raw;
    int64_t lineNo = 0;
    TSettingLines seen;
    bool inData = false;
    bool ended = false;
    int64_t rows = 0;
    // The microvolt column must be what the writer makes of the code at the
    // stated gain, so a wrong gain line or an edited value shows. The first
    // such line is named, the rest counted.
    int64_t badUvLine = 0;
    int64_t badUvLines = 0;
    std::string badUv;
    for (;;) {
        const TBoundedLineReader::TResult got = in.Next(raw);
        if (got == TBoundedLineReader::TResult::End)
            break;
        if (got == TBoundedLineReader::TResult::Error) {
            error = std::strerror(errno);
            return false;
        }
        ++lineNo;
        if (got == TBoundedLineReader::TResult::TooLong)
            return fail(lineNo, "longer than " + std::to_string(kMaxCaptureTextLine) + " bytes");
        if (got == TBoundedLineReader::TResult::Unterminated) {
            // No LF after it: the writer was cut off in the middle of this line.
            warnings.push_back("line " + std::to_string(lineNo) +
                               ": incomplete last line ignored (capture cut short)");
            break;
        }
        std::string_view l = raw;
        if (!l.empty() && l.back() == '\r')
            l.remove_suffix(1);
        if (lineNo == 1) {
            if (l.substr(0, kUtf8Bom.size()) == kUtf8Bom)
                l.remove_prefix(kUtf8Bom.size());
            if (l != kCaptureTag)
                return fail(1, "not a capture file (no \"" + std::string(kCaptureTag) + "\")");
            continue;
        }
        if (ended)
            return fail(lineNo, "text after the end line");
        if (!l.empty() && l.front() == '#') {
            const std::string_view body = l.substr(l.size() > 1 && l[1] == ' ' ? 2 : 1);
            const size_t colon = body.find(": ");
            const std::string_view key = body.substr(0, colon);
            std::string_view value =
                colon == std::string_view::npos ? std::string_view() : body.substr(colon + 2);
            if (key == "end") {
                if (!inData)
                    return fail(lineNo, "end line before the samples");
                constexpr std::string_view kCount = ", samples=";
                const size_t at = value.find(kCount);
                const std::string_view word = value.substr(0, at);
                int64_t count = -1;
                if (at == std::string_view::npos ||
                    !ParseWhole(value.substr(at + kCount.size()), count))
                    return fail(lineNo, "end line is not \"end: HOW, samples=N\"");
                bool known = false;
                for (const TCaptureEnd how : {TCaptureEnd::Complete, TCaptureEnd::Stopped,
                                              TCaptureEnd::ReadError, TCaptureEnd::WriteError})
                    known = known || word == CaptureEndText(how);
                if (!known)
                    return fail(lineNo, "end line says " + Quoted(word) +
                                            ", not complete, stopped, read error or write error");
                if (count != rows)
                    return fail(lineNo, "end line counts " + std::to_string(count) +
                                            " samples, the file holds " + std::to_string(rows));
                if (word == CaptureEndText(TCaptureEnd::WriteError))
                    warnings.push_back("line " + std::to_string(lineNo) +
                                       ": the capture ended with a write error: the samples "
                                       "stop where writing the file failed");
                else if (word == CaptureEndText(TCaptureEnd::ReadError))
                    warnings.push_back("line " + std::to_string(lineNo) +
                                       ": the capture ended with a read error: the samples "
                                       "stop where reading the board failed");
                out.end = std::string(value);
                ended = true;
                continue;
            }
            if (inData)
                return fail(lineNo, "comment among the samples");
            int64_t* line = key == "rate_index" ? &seen.rateIndex
                            : key == "rate_sps" ? &seen.rateSps
                            : key == "filter"   ? &seen.filter
                            : key == "channels" ? &seen.channels
                            : key == "gain"     ? &seen.gain
                                                : nullptr;
            if (line != nullptr) {
                if (*line != 0)
                    return fail(lineNo, "a second " + std::string(key) +
                                            " line (the first is line " + std::to_string(*line) +
                                            ")");
                *line = lineNo;
            }
            if (key == "rate_index") {
                if (!ParseWhole(value, out.info.rateIndex))
                    return fail(lineNo, "rate_index is no whole number");
                if (out.info.rateIndex < 0 || out.info.rateIndex >= kRateCount)
                    return fail(lineNo, "rate_index " + std::to_string(out.info.rateIndex) +
                                            " is outside 0 to " + std::to_string(kRateCount - 1));
            } else if (key == "rate_sps") {
                if (!ParseWhole(value, out.info.rateSps) || !(out.info.rateSps > 0))
                    return fail(lineNo, "rate_sps is no positive number");
            } else if (key == "filter") {
                if (value != "sinc3" && value != "sinc5")
                    return fail(lineNo, "filter is neither sinc3 nor sinc5");
                out.info.sinc5 = value == "sinc5";
            } else if (key == "channels") {
                if (value == "ch0")
                    out.info.chSel = 0;
                else if (value == "ch1")
                    out.info.chSel = 1;
                else if (value == "both")
                    out.info.chSel = 2;
                else
                    return fail(lineNo, "channels is not ch0, ch1 or both");
            } else if (key == "gain") {
                if (!ParseWhole(value, out.info.gain) || out.info.gain < 1)
                    return fail(lineNo, "gain is no positive whole number");
            } else if (key == "board") {
                out.info.simulated = value.ends_with(kSimulatedBoardSuffix);
                if (out.info.simulated)
                    value.remove_suffix(kSimulatedBoardSuffix.size());
                out.info.board = std::string(value);
            } else if (key == "start") {
                out.info.startUtc = std::string(value);
            }
            // Other comments are notes and are passed over.
            continue;
        }
        if (!inData) {
            if (seen.rateIndex == 0 || seen.rateSps == 0 || seen.filter == 0 ||
                seen.channels == 0 || seen.gain == 0)
                return fail(lineNo, "the rate_index, rate_sps, filter, channels and gain lines "
                                    "must come before the data");
            const double tableSps = RateSps(out.info.rateIndex, out.info.sinc5);
            if (out.info.rateSps != tableSps)
                return fail(seen.rateSps, "rate_sps " + DoubleText(out.info.rateSps) +
                                              " is not the rate of rate_index " +
                                              std::to_string(out.info.rateIndex) + " with " +
                                              (out.info.sinc5 ? "sinc5" : "sinc3") + " (" +
                                              DoubleText(tableSps) + ")");
            const std::string columns = CaptureColumns(out.info.chSel);
            if (l != columns)
                return fail(lineNo, "column header is not \"" + columns + "\"");
            inData = true;
            continue;
        }

        // index, then code and microvolts per captured channel.
        std::string_view rest = l;
        std::string_view field;
        bool more = false;
        NextField(rest, field, more);
        int64_t index = 0;
        const int64_t expected = rows + 1;
        if (!ParseWhole(field, index) || index != expected)
            return fail(lineNo, "index " + Quoted(field) + " where " + std::to_string(expected) +
                                    " belongs");
        bool uvAgrees = true;
        for (int c = 0; c < 2; ++c) {
            if ((c == 0 && out.info.chSel == 1) || (c == 1 && out.info.chSel == 0))
                continue;
            uint32_t code = 0;
            double uv = 0;
            if (!more || !NextField(rest, field, more) || !ParseWhole(field, code))
                return fail(lineNo, "missing or malformed code");
            if (!more || !NextField(rest, field, more) || !ParseWhole(field, uv))
                return fail(lineNo, "missing or malformed microvolts");
            const double want = CodeToMicrovolt(code, out.info.gain);
            if (!SameMicrovolts(uv, want) && uvAgrees) {
                uvAgrees = false;
                if (badUvLine == 0) {
                    badUvLine = lineNo;
                    badUv = "ch" + std::to_string(c) + "_uV " + Quoted(field) + " is not " +
                            DoubleText(want) + ", the microvolts of code " + std::to_string(code) +
                            " at gain " + std::to_string(out.info.gain);
                }
            }
            (c == 0 ? out.ch0 : out.ch1).push_back(code);
        }
        if (more)
            return fail(lineNo, "more fields than the header names");
        badUvLines += uvAgrees ? 0 : 1;
        ++rows;
    }
    if (!inData)
        return fail(lineNo, "no column header");
    if (badUvLine != 0)
        return fail(badUvLine, badUv + (badUvLines > 1 ? "; " + std::to_string(badUvLines - 1) +
                                                             " later lines disagree too"
                                                       : std::string()));
    if (!ended)
        warnings.push_back("no end line: the capture was cut short");
    return true;
}

} // namespace mirantos
