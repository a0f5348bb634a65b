#pragma once
// Capture files: a long run streamed to disk as CSV in the C locale. Comment
// lines ("# ...") with the run's settings come first, then the column header
// of the CSV export, then one line per sample (index from 1, and per channel
// the code and its microvolts in the shortest text that reads back as the
// same double), and at the end one comment line saying how the run ended.
// The writer keeps a bounded buffer of whole lines, so memory does not grow
// with the count and the file holds only whole lines at every moment.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mirantos {

// The first line of every capture file; a reader tells captures by it.
inline constexpr std::string_view kCaptureTag = "# MIRANTOS capture";

struct TCaptureInfo {
    int32_t rateIndex = 0;
    double rateSps = 0;
    bool sinc5 = true;
    int32_t chSel = 0; // 0 CH0, 1 CH1, 2 both
    int32_t gain = 1;
    std::string board;    // name and version, "MIRANTOS 1.10"
    std::string startUtc; // ISO 8601, "2026-12-07T23:50:29Z"
    // The built-in simulated board ran: its board line ends in
    // kSimulatedBoardSuffix ("# board: MIRANTOS 1.10 (simulated)"), which the
    // reader takes off `board` again. An older reader keeps it as part of the text.
    bool simulated = false;
};

inline constexpr std::string_view kSimulatedBoardSuffix = " (simulated)";

enum class TCaptureEnd { Complete, Stopped, ReadError, WriteError };

// "complete", "stopped", "read error", "write error"
std::string_view CaptureEndText(TCaptureEnd how);

// "index,ch0_code,ch0_uV,ch1_code,ch1_uV" with the channels of chSel.
std::string CaptureColumns(int32_t chSel);

// The comment lines with the settings and the column header, each with its LF.
std::string CaptureHeader(const TCaptureInfo& info);
// "# end: complete, samples=12\n"
std::string CaptureEndLine(TCaptureEnd how, int64_t samples);
// A whole capture of n samples per channel in memory, for the whole-file
// writer (the viewer's export of a span): the header, the sample lines
// indexed from 1 and a "complete" end line.
std::string CaptureText(const TCaptureInfo& info, const uint32_t* c0, const uint32_t* c1,
                        int64_t n);

// One sample line with its LF; `c0`/`c1` null for a channel not captured.
// `out` needs kMaxCaptureLine bytes.
inline constexpr size_t kMaxCaptureLine = 128;
size_t FormatCaptureLine(char* out, int64_t index, const uint32_t* c0, const uint32_t* c1,
                         int32_t gain);

class TCaptureWriter {
public:
    TCaptureWriter();
    ~TCaptureWriter();
    TCaptureWriter(const TCaptureWriter&) = delete;
    TCaptureWriter& operator=(const TCaptureWriter&) = delete;

    // Opens the file before the board is touched: an existing one is refused
    // (EEXIST) unless `replace`, and then not truncated yet; a new one is a
    // hidden temporary in its folder until Begin. False with Error() set.
    bool Open(const std::string& path, bool replace);
    // The run has started: the file is emptied and gets its header; a new
    // file gets its name now (never over one that appeared meanwhile, unless
    // `replace`).
    bool Begin(const TCaptureInfo& info);
    // n samples; buffered, written out when the buffer fills or half a
    // second after the last write-out. False once a write has failed.
    bool Write(const uint32_t* ch0, const uint32_t* ch1, int32_t n);
    // Writes the buffer out when it has waited half a second (for a caller
    // that polls while no samples arrive).
    bool FlushIfDue();
    // The end line, the last write-out and fsync, then the file is closed.
    // After a failed write the file is cut back to its last whole line and
    // the end line ("write error") goes in if it still fits. False when any
    // write or the fsync failed.
    bool Finish(TCaptureEnd how);
    // The run never started: a new file is removed, a replaced one keeps its
    // old content.
    void Abandon();

    bool Failed() const { return error_ != 0; }
    // errno of the first failure (0: none).
    int Error() const { return error_; }
    // Sample lines in the file (written out) and counted in the buffer.
    int64_t Samples() const { return samples_; }
    // Bytes in the file so far, the buffer included.
    int64_t Bytes() const { return fileBytes_ + static_cast<int64_t>(used_); }

    static constexpr size_t kBufferBytes = 64 * 1024;
    static constexpr int64_t kFlushIntervalMs = 500;

private:
    bool WriteOut();
    bool Fail(int err);

    int fd_ = -1;
    std::string path_;
    std::string tempPath_; // a new file's name until Begin
    std::string target_;   // the name it gets there
    bool replace_ = false;
    bool begun_ = false;
    int32_t gain_ = 1;
    int error_ = 0;
    std::vector<char> buffer_;
    size_t used_ = 0;
    int64_t fileBytes_ = 0; // bytes written to the file
    int64_t lineEnd_ = 0;   // file offset just after the last whole line written
    int64_t samples_ = 0;   // sample lines written or buffered
    int64_t samplesOnDisk_ = 0;
    int64_t lastWriteOutMs_ = 0;
};

struct TCaptureData {
    TCaptureInfo info;
    std::vector<uint32_t> ch0;
    std::vector<uint32_t> ch1;
    std::string end; // the end line's text after "# end: ", empty when missing
};

// Whether the file's first line is the capture tag (after a UTF-8 byte order
// mark, which is skipped). Reads only the first line's bytes.
bool IsCaptureFile(const std::string& path);

// The longest line a reader takes; a longer one fails as soon as it is seen.
inline constexpr size_t kMaxCaptureTextLine = 4096;

// Reads a whole capture. A last line without its LF (a capture cut short) is
// dropped with a warning; any other fault fails with its line in `error`
// ("line 12: ..."). Checked: the settings (rate_index and rate_sps as in the
// rate table for the filter), the microvolts of every code at the stated gain
// (the first wrong line named, the rest counted), and the end line's word and
// sample count. A missing end line, or one saying "write error" or
// "read error", is a warning.
bool ReadCapture(const std::string& path, TCaptureData& out, std::vector<std::string>& warnings,
                 std::string& error);

} // namespace mirantos
