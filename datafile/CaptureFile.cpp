#include "CaptureFile.h"

#include "MeasureRecord.h"

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <fstream>
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
    if (fd_ >= 0)
        ::close(fd_);
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
    struct stat st {};
    const bool existed = ::stat(path.c_str(), &st) == 0;
    if (existed && !replace)
        return Fail(EEXIST);
    // Not truncated here: a start that fails must not cost an old file its content.
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (replace ? 0 : O_EXCL), 0666);
    if (fd_ < 0)
        return Fail(errno);
    created_ = !existed;
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
    char sps[32];
    char* spsEnd = std::to_chars(sps, sps + sizeof sps, info.rateSps).ptr;
    std::string h(kCaptureTag);
    h += "\n# rate_index: " + std::to_string(info.rateIndex);
    h += "\n# rate_sps: " + std::string(sps, static_cast<size_t>(spsEnd - sps));
    h += std::string("\n# filter: ") + (info.sinc5 ? "sinc5" : "sinc3");
    h += std::string("\n# channels: ") + ChannelsName(info.chSel);
    h += "\n# gain: " + std::to_string(info.gain);
    h += "\n# board: " + info.board;
    h += "\n# start: " + info.startUtc;
    h += '\n' + CaptureColumns(info.chSel) + '\n';
    size_t done = 0;
    const bool ok = WriteAll(fd_, h.data(), h.size(), &done);
    fileBytes_ = static_cast<int64_t>(done);
    if (!ok)
        return Fail(errno);
    lineEnd_ = fileBytes_;
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
        const std::string endLine = "# end: " + std::string(CaptureEndText(how)) +
                                    ", samples=" + std::to_string(samplesOnDisk_) + '\n';
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
    if (created_ && !begun_)
        ::unlink(path_.c_str());
}

// ---- Reader ---------------------------------------------------------------------

namespace {

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

} // namespace

bool IsCaptureFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string line;
    if (!std::getline(in, line))
        return false;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line == kCaptureTag;
}

bool ReadCapture(const std::string& path, TCaptureData& out, std::vector<std::string>& warnings,
                 std::string& error)
{
    out = TCaptureData{};
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = std::strerror(errno);
        return false;
    }
    auto fail = [&error](int64_t lineNo, const std::string& what) {
        error = "line " + std::to_string(lineNo) + ": " + what;
        return false;
    };

    std::string line;
    int64_t lineNo = 0;
    bool haveSps = false;
    bool haveChannels = false;
    bool inData = false;
    bool ended = false;
    std::string columns;
    int64_t rows = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (in.eof()) {
            // No LF after it: the writer was cut off in the middle of this line.
            warnings.push_back("line " + std::to_string(lineNo) +
                               ": incomplete last line ignored (capture cut short)");
            break;
        }
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::string_view l(line);
        if (lineNo == 1) {
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
            const std::string_view value =
                colon == std::string_view::npos ? std::string_view() : body.substr(colon + 2);
            if (key == "end") {
                if (!inData)
                    return fail(lineNo, "end line before the samples");
                out.end = std::string(value);
                ended = true;
                continue;
            }
            if (inData)
                return fail(lineNo, "comment among the samples");
            if (key == "rate_index") {
                if (!ParseWhole(value, out.info.rateIndex))
                    return fail(lineNo, "rate_index is no whole number");
            } else if (key == "rate_sps") {
                if (!ParseWhole(value, out.info.rateSps) || !(out.info.rateSps > 0))
                    return fail(lineNo, "rate_sps is no positive number");
                haveSps = true;
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
                haveChannels = true;
            } else if (key == "gain") {
                if (!ParseWhole(value, out.info.gain) || out.info.gain < 1)
                    return fail(lineNo, "gain is no positive whole number");
            } else if (key == "board") {
                out.info.board = std::string(value);
            } else if (key == "start") {
                out.info.startUtc = std::string(value);
            }
            // Other comments are notes and are passed over.
            continue;
        }
        if (!inData) {
            if (!haveSps || !haveChannels)
                return fail(lineNo, "the rate_sps and channels lines must come before the data");
            columns = CaptureColumns(out.info.chSel);
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
            return fail(lineNo, "index " + std::string(field) + " where " +
                                    std::to_string(expected) + " belongs");
        for (int c = 0; c < 2; ++c) {
            if ((c == 0 && out.info.chSel == 1) || (c == 1 && out.info.chSel == 0))
                continue;
            uint32_t code = 0;
            double uv = 0;
            if (!more || !NextField(rest, field, more) || !ParseWhole(field, code))
                return fail(lineNo, "missing or malformed code");
            if (!more || !NextField(rest, field, more) || !ParseWhole(field, uv))
                return fail(lineNo, "missing or malformed microvolts");
            (c == 0 ? out.ch0 : out.ch1).push_back(code);
        }
        if (more)
            return fail(lineNo, "more fields than the header names");
        ++rows;
    }
    if (in.bad()) {
        error = std::strerror(errno);
        return false;
    }
    if (!inData)
        return fail(lineNo, "no column header");
    if (!ended)
        warnings.push_back("no end line: the capture was cut short");
    return true;
}

} // namespace mirantos
