// Capture files: what the writer puts in them, how they end after a failed
// write, and what the reader accepts, warns about and rejects.

#include "CaptureFile.h"
#include "DataFileTestSupport.h"

#include <cerrno>
#include <charconv>
#include <csignal>
#include <sstream>
#include <sys/resource.h>

using dtatest::ReadBytes;
using dtatest::TempDir;
using dtatest::WriteBytes;
using namespace mirantos;

namespace {

TCaptureInfo Info(int32_t chSel)
{
    TCaptureInfo info;
    info.rateIndex = 2;
    info.rateSps = 16.66;
    info.sinc5 = true;
    info.chSel = chSel;
    info.gain = 1;
    info.board = "MIRANTOS 1.10";
    info.startUtc = "2026-12-07T23:50:29Z";
    return info;
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        lines.push_back(l);
    return lines;
}

const std::vector<uint32_t> kEdgeCodes = {0u,          1u,          0x7FFFFFFFu, 0x80000000u,
                                          0x80000001u, 0xFFFFFFFEu, 0xFFFFFFFFu, 0x12345678u};

} // namespace

TEST(CaptureWriter, HeaderColumnsSamplesAndEndLineReadBackExactly)
{
    TempDir dir;
    const std::string path = dir.File("c.csv");
    TCaptureWriter w;
    ASSERT_TRUE(w.Open(path, false));
    ASSERT_TRUE(w.Begin(Info(2)));
    std::vector<uint32_t> ch1(kEdgeCodes.rbegin(), kEdgeCodes.rend());
    ASSERT_TRUE(w.Write(kEdgeCodes.data(), ch1.data(), 8));
    ASSERT_TRUE(w.Finish(TCaptureEnd::Stopped));
    EXPECT_EQ(w.Samples(), 8);

    const std::string text = ReadBytes(path);
    EXPECT_EQ(w.Bytes(), static_cast<int64_t>(text.size()));
    const auto lines = SplitLines(text);
    ASSERT_EQ(lines.size(), 9u + 8u + 1u);
    const std::vector<std::string> head(lines.begin(), lines.begin() + 9);
    EXPECT_EQ(head,
              (std::vector<std::string>{
                  "# MIRANTOS capture", "# rate_index: 2", "# rate_sps: 16.66", "# filter: sinc5",
                  "# channels: both", "# gain: 1", "# board: MIRANTOS 1.10",
                  "# start: 2026-12-07T23:50:29Z", "index,ch0_code,ch0_uV,ch1_code,ch1_uV"}));
    EXPECT_EQ(lines[9], "1,0,-2500000.001164153,305419896,-2144444.446146695");
    EXPECT_EQ(lines.back(), "# end: stopped, samples=8");

    // Every microvolt text reads back as the very double of its code.
    for (size_t i = 0; i < 8; ++i) {
        std::string_view l(lines[9 + i]);
        const size_t a = l.find(',') + 1;
        const size_t b = l.find(',', a) + 1;
        const size_t c = l.find(',', b);
        double uv = 0;
        std::from_chars(l.data() + b, l.data() + c, uv);
        EXPECT_EQ(uv, CodeToMicrovolt(kEdgeCodes[i], 1)) << l;
    }

    TCaptureData data;
    std::vector<std::string> warnings;
    std::string error;
    ASSERT_TRUE(ReadCapture(path, data, warnings, error)) << error;
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(data.ch0, kEdgeCodes);
    EXPECT_EQ(data.ch1, ch1);
    EXPECT_EQ(data.info.rateSps, 16.66);
    EXPECT_EQ(data.info.chSel, 2);
    EXPECT_EQ(data.info.board, "MIRANTOS 1.10");
    EXPECT_EQ(data.end, "stopped, samples=8");
}

TEST(CaptureWriter, OneChannelCapturesHaveOnlyTheirColumns)
{
    TempDir dir;
    for (int chSel : {0, 1}) {
        const std::string path = dir.File("one" + std::to_string(chSel));
        TCaptureWriter w;
        ASSERT_TRUE(w.Open(path, false));
        ASSERT_TRUE(w.Begin(Info(chSel)));
        const uint32_t code = 0x80000000u;
        ASSERT_TRUE(w.Write(chSel == 0 ? &code : nullptr, chSel == 1 ? &code : nullptr, 1));
        ASSERT_TRUE(w.Finish(TCaptureEnd::Complete));
        const auto lines = SplitLines(ReadBytes(path));
        EXPECT_EQ(lines[8], chSel == 0 ? "index,ch0_code,ch0_uV" : "index,ch1_code,ch1_uV");
        EXPECT_EQ(lines[9], "1,2147483648,0");
        TCaptureData data;
        std::vector<std::string> warnings;
        std::string error;
        ASSERT_TRUE(ReadCapture(path, data, warnings, error)) << error;
        EXPECT_EQ((chSel == 0 ? data.ch0 : data.ch1), std::vector<uint32_t>{code});
        EXPECT_TRUE((chSel == 0 ? data.ch1 : data.ch0).empty());
    }
}

TEST(CaptureWriter, ExistingFileIsRefusedOrKeptUntilTheRunBegins)
{
    TempDir dir;
    const std::string old = dir.File("old.csv");
    WriteBytes(old, "precious");
    TCaptureWriter refused;
    EXPECT_FALSE(refused.Open(old, false));
    EXPECT_EQ(refused.Error(), EEXIST);

    // Replacing: a start that never happens leaves the old content.
    TCaptureWriter abandoned;
    ASSERT_TRUE(abandoned.Open(old, true));
    abandoned.Abandon();
    EXPECT_EQ(ReadBytes(old), "precious");

    // A new file that never got its run is removed again.
    const std::string fresh = dir.File("new.csv");
    TCaptureWriter unused;
    ASSERT_TRUE(unused.Open(fresh, false));
    unused.Abandon();
    EXPECT_FALSE(std::filesystem::exists(fresh));

    TCaptureWriter replaced;
    ASSERT_TRUE(replaced.Open(old, true));
    ASSERT_TRUE(replaced.Begin(Info(0)));
    ASSERT_TRUE(replaced.Finish(TCaptureEnd::Complete));
    EXPECT_EQ(ReadBytes(old).rfind("# MIRANTOS capture\n", 0), 0u);
}

TEST(CaptureWriter, FileSizeLimitKeepsWholeLinesAndSaysWriteError)
{
    TempDir dir;
    const std::string path = dir.File("full.csv");
    constexpr rlim_t kLimit = 100000;
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = kLimit;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);

    TCaptureWriter w;
    bool accepted = w.Open(path, false) && w.Begin(Info(2));
    std::vector<uint32_t> block(100, 0x80001234u);
    int blocks = 0;
    while (accepted && blocks < 1000) {
        accepted = w.Write(block.data(), block.data(), 100);
        ++blocks;
    }
    const bool finished = w.Finish(TCaptureEnd::Complete);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(accepted);
    EXPECT_FALSE(finished);
    EXPECT_EQ(w.Error(), EFBIG);
    const std::string text = ReadBytes(path);
    ASSERT_LE(text.size(), kLimit);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    TCaptureData data;
    std::vector<std::string> warnings;
    std::string error;
    ASSERT_TRUE(ReadCapture(path, data, warnings, error)) << error;
    EXPECT_EQ(static_cast<int64_t>(data.ch0.size()), w.Samples());
    EXPECT_GT(data.ch0.size(), 1000u);
    // The end line goes in only where it still fits; then it says why the file ends there.
    if (!data.end.empty()) {
        EXPECT_EQ(data.end, "write error, samples=" + std::to_string(data.ch0.size()));
    } else {
        EXPECT_EQ(warnings.size(), 1u);
    }
}

// ---- Reader --------------------------------------------------------------------

namespace {

const std::string kHead = "# MIRANTOS capture\n# rate_index: 13\n# rate_sps: 10000\n"
                          "# filter: sinc3\n# channels: ch0\n# gain: 1\n# board: MIRANTOS 1.10\n"
                          "# start: 2026-12-07T23:50:29Z\nindex,ch0_code,ch0_uV\n";

struct ReadResult {
    bool ok = false;
    TCaptureData data;
    std::vector<std::string> warnings;
    std::string error;
};

ReadResult Read(const TempDir& dir, const std::string& text)
{
    const std::string path = dir.File("r.csv");
    WriteBytes(path, text);
    ReadResult r;
    r.ok = ReadCapture(path, r.data, r.warnings, r.error);
    return r;
}

} // namespace

TEST(CaptureReader, TruncatedLastLineIsDroppedWithAWarning)
{
    TempDir dir;
    const auto r = Read(dir, kHead + "1,2147483648,0\n2,2147483649,0.0011641532\n3,21474");
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.data.ch0, (std::vector<uint32_t>{2147483648u, 2147483649u}));
    ASSERT_EQ(r.warnings.size(), 2u);
    EXPECT_EQ(r.warnings[0], "line 12: incomplete last line ignored (capture cut short)");
    EXPECT_EQ(r.warnings[1], "no end line: the capture was cut short");
    EXPECT_EQ(r.data.info.rateSps, 10000.0);
    EXPECT_FALSE(r.data.info.sinc5);
}

TEST(CaptureReader, MalformedLinesFailWithTheirNumber)
{
    TempDir dir;
    const std::vector<std::pair<std::string, std::string>> cases = {
        {kHead + "1,2147483648,0\n3,2147483648,0\n", "line 11: index 3 where 2 belongs"},
        {kHead + "1,4294967296,0\n", "line 10: missing or malformed code"},
        {kHead + "1,2147483648,x\n", "line 10: missing or malformed microvolts"},
        {kHead + "1,2147483648\n", "line 10: missing or malformed microvolts"},
        {kHead + "1,2147483648,0,5\n", "line 10: more fields than the header names"},
        {kHead + "1,2147483648,0\n# note\n", "line 11: comment among the samples"},
        {kHead + "1,2147483648,0\n# end: complete, samples=1\n2,1,0\n",
         "line 12: text after the end line"},
        {"# MIRANTOS capture\nindex,ch0_code,ch0_uV\n",
         "line 2: the rate_sps and channels lines must come before the data"},
        {"# MIRANTOS capture\n# rate_sps: 10\n# channels: both\nindex,ch0_code,ch0_uV\n",
         "line 4: column header is not \"index,ch0_code,ch0_uV,ch1_code,ch1_uV\""},
        {"# MIRANTOS capture\n# rate_sps: -1\n", "line 2: rate_sps is no positive number"},
        {"index,ch0_code\n", "line 1: not a capture file (no \"# MIRANTOS capture\")"},
    };
    for (const auto& [text, error] : cases) {
        const auto r = Read(dir, text);
        EXPECT_FALSE(r.ok) << text;
        EXPECT_EQ(r.error, error);
    }
}

TEST(CaptureReader, CaptureFilesAreToldByTheirFirstLine)
{
    TempDir dir;
    WriteBytes(dir.File("a"), kHead);
    WriteBytes(dir.File("b"), "AD7177_DataFile:\r\n");
    WriteBytes(dir.File("c"), "# MIRANTOS capture!\n");
    EXPECT_TRUE(IsCaptureFile(dir.File("a")));
    EXPECT_FALSE(IsCaptureFile(dir.File("b")));
    EXPECT_FALSE(IsCaptureFile(dir.File("c")));
    EXPECT_FALSE(IsCaptureFile(dir.File("missing")));
}
