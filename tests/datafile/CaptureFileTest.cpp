// Capture files: what the writer puts in them, how they end after a failed
// write, and what the reader accepts, warns about and rejects.

#include "CaptureFile.h"
#include "DataFileTestSupport.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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

namespace {

// A writer's temporaries (names starting ".mirantos-") in `dir`.
std::vector<std::string> Temporaries(const std::string& dir)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        if (e.path().filename().string().starts_with(".mirantos-"))
            names.push_back(e.path().filename().string());
    return names;
}

// replace, another file takes the name between Open and Begin, the name is a
// link to a file that does not exist yet, and Begin's errno (0: it succeeds).
class CaptureWriterNewFile : public ::testing::TestWithParam<std::tuple<bool, bool, bool, int>> {};

} // namespace

// A new file has its name only from the first block on: before, a kill leaves
// at most a hidden temporary, and the next writer clears those of dead processes.
TEST_P(CaptureWriterNewFile, GetsItsNameAtTheFirstBlockOnly)
{
    const auto [replace, intruder, dangling, error] = GetParam();
    TempDir dir;
    const std::string path = dir.File("c.csv");
    const std::string target = dangling ? dir.File("target.csv") : path;
    if (dangling)
        std::filesystem::create_symlink("target.csv", path);
    const pid_t dead = ::fork();
    if (dead == 0)
        ::_exit(0);
    ::waitpid(dead, nullptr, 0);
    const std::string stale = ".mirantos-" + std::to_string(dead) + "-0.part";
    WriteBytes(dir.File(stale), "killed");

    TCaptureWriter w;
    ASSERT_EQ(w.Open(path, replace), !dangling || replace);
    if (dangling && !replace) {
        EXPECT_EQ(w.Error(), EEXIST); // a dangling link is refused without --force
        return;
    }
    EXPECT_FALSE(std::filesystem::exists(target));
    const auto temps = Temporaries(dir.Path()); // ours only: the dead one's is gone
    EXPECT_TRUE(temps.size() == 1 && temps[0] != stale) << temps.size();
    if (intruder)
        WriteBytes(target, "intruder");
    EXPECT_EQ(w.Begin(Info(0)), error == 0);
    EXPECT_EQ(w.Error(), error);
    w.Finish(TCaptureEnd::Stopped);
    EXPECT_TRUE(Temporaries(dir.Path()).empty());
    EXPECT_EQ(ReadBytes(target).rfind(error ? "intruder" : "# MIRANTOS capture\n", 0), 0u);
    EXPECT_EQ(std::filesystem::is_symlink(path), dangling);
}

INSTANTIATE_TEST_SUITE_P(Cases, CaptureWriterNewFile,
                         ::testing::Values(std::tuple{false, false, false, 0},
                                           std::tuple{false, true, false, EEXIST},
                                           std::tuple{true, true, false, 0},
                                           std::tuple{true, false, true, 0},
                                           std::tuple{false, false, true, 0}));

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
    const auto r = Read(dir, kHead + "1,2147483648,0\n2,2147483649,0.0011641532188114492\n3,21474");
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.data.ch0, (std::vector<uint32_t>{2147483648u, 2147483649u}));
    ASSERT_EQ(r.warnings.size(), 2u);
    EXPECT_EQ(r.warnings[0], "line 12: incomplete last line ignored (capture cut short)");
    EXPECT_EQ(r.warnings[1], "no end line: the capture was cut short");
    EXPECT_EQ(r.data.info.rateSps, 10000.0);
    EXPECT_FALSE(r.data.info.sinc5);
}

namespace {

// kHead with one of its lines ("# key: value") given another value.
std::string HeadWith(const std::string& key, const std::string& value)
{
    std::string h = kHead;
    const size_t at = h.find("# " + key + ": ") + key.size() + 4;
    return h.replace(at, h.find('\n', at) - at, value);
}

// Sample line 1 with code 2147484648 and the microvolts `ulps` doubles away from its own.
std::string LineOff(int ulps)
{
    double uv = CodeToMicrovolt(2147484648u, 1);
    for (int i = 0; i < ulps; ++i)
        uv = std::nextafter(uv, 1e9);
    char text[32];
    return "1,2147484648," + std::string(text, std::to_chars(text, text + 32, uv).ptr) + "\n";
}

// n CH0 sample lines as the writer formats them at `gain`, codes around mid scale.
std::string Rows(int n, int32_t gain)
{
    std::string s;
    char line[kMaxCaptureLine];
    for (int i = 1; i <= n; ++i) {
        const uint32_t code = 0x80000000u + static_cast<uint32_t>(i * 1000);
        s.append(line, FormatCaptureLine(line, i, &code, nullptr, gain));
    }
    return s;
}

struct ReaderCase {
    const char* name;
    std::string text;
    bool reads;           // whether the capture is read (then `what` is a warning, if any)
    int64_t line;         // the line the error or warning names
    std::string what;     // the text after "line N: "
    int64_t sparseTo = 0; // the file is then extended to this size with NULs
};

void PrintTo(const ReaderCase& c, std::ostream* os)
{
    *os << c.name;
}

class CaptureReaderTable : public ::testing::TestWithParam<ReaderCase> {};

TEST_P(CaptureReaderTable, FaultsAreNamedWithTheirLine)
{
    const ReaderCase& c = GetParam();
    TempDir dir;
    const std::string path = dir.File("r.csv");
    WriteBytes(path, c.text);
    if (c.sparseTo != 0)
        std::filesystem::resize_file(path, static_cast<uintmax_t>(c.sparseTo));
    ReadResult r;
    r.ok = ReadCapture(path, r.data, r.warnings, r.error);
    // "line N: " first, `what` somewhere after it.
    const auto names = [&c](const std::string& text) {
        const std::string at = "line " + std::to_string(c.line) + ": ";
        return text.rfind(at, 0) == 0 && text.find(c.what, at.size()) != std::string::npos;
    };
    ASSERT_EQ(r.ok, c.reads) << r.error;
    if (!c.reads) {
        EXPECT_TRUE(names(r.error)) << r.error;
    } else if (c.what.empty()) {
        EXPECT_TRUE(r.warnings.empty()) << r.warnings.front();
    } else {
        ASSERT_EQ(r.warnings.size(), 1u);
        EXPECT_TRUE(names(r.warnings[0])) << r.warnings[0];
    }
}

const std::string kSps = "rate_sps ";
const std::string kNot13 = " is not the rate of rate_index 13 with sinc3 (10000)";

INSTANTIATE_TEST_SUITE_P(
    Captures, CaptureReaderTable,
    ::testing::Values(
        ReaderCase{"IndexGap", kHead + "1,2147483648,0\n3,2147483648,0\n", false, 11,
                   "index \"3\" where 2 belongs"},
        ReaderCase{"CodeTooBig", kHead + "1,4294967296,0\n", false, 10,
                   "missing or malformed code"},
        ReaderCase{"MalformedUv", kHead + "1,2147483648,x\n", false, 10,
                   "missing or malformed microvolts"},
        ReaderCase{"MissingUv", kHead + "1,2147483648\n", false, 10,
                   "missing or malformed microvolts"},
        ReaderCase{"ExtraField", kHead + "1,2147483648,0,5\n", false, 10,
                   "more fields than the header names"},
        ReaderCase{"CommentAmongSamples", kHead + "1,2147483648,0\n# note\n", false, 11,
                   "comment among the samples"},
        ReaderCase{"TextAfterEnd", kHead + "1,2147483648,0\n# end: complete, samples=1\n2,1,0\n",
                   false, 12, "text after the end line"},
        ReaderCase{"NoSettings", "# MIRANTOS capture\nindex,ch0_code,ch0_uV\n", false, 2,
                   "the rate_index, rate_sps, filter, channels and gain lines must come before"},
        ReaderCase{"NoGainLine",
                   "# MIRANTOS capture\n# rate_index: 13\n# rate_sps: 10000\n"
                   "# filter: sinc3\n# channels: ch0\nindex,ch0_code,ch0_uV\n",
                   false, 6, "the rate_index, rate_sps, filter, channels and gain lines"},
        ReaderCase{"WrongColumns", HeadWith("channels", "both") + "1,2147483648,0\n", false, 9,
                   "column header is not \"index,ch0_code,ch0_uV,ch1_code,ch1_uV\""},
        ReaderCase{"NegativeRate", HeadWith("rate_sps", "-1"), false, 3,
                   "rate_sps is no positive number"},
        ReaderCase{"NotACapture", "index,ch0_code\n", false, 1,
                   "not a capture file (no \"# MIRANTOS capture\")"},
        // The settings against the rate table.
        ReaderCase{"RateIndex99", HeadWith("rate_index", "99") + Rows(2, 1), false, 2,
                   "rate_index 99 is outside 0 to 13"},
        ReaderCase{"RateTiny", HeadWith("rate_sps", "1e-320") + Rows(2, 1), false, 3, kSps},
        ReaderCase{"RateHuge", HeadWith("rate_sps", "1e308") + Rows(2, 1), false, 3,
                   kSps + "1e+308" + kNot13},
        ReaderCase{"RateInf", HeadWith("rate_sps", "inf") + Rows(2, 1), false, 3,
                   kSps + "inf" + kNot13},
        ReaderCase{"RateNan", HeadWith("rate_sps", "nan") + Rows(2, 1), false, 3, kSps},
        ReaderCase{"RateOfTheOtherFilter", HeadWith("rate_sps", "10") + Rows(2, 1), false, 3,
                   kSps + "10" + kNot13},
        ReaderCase{"SecondGainLine", HeadWith("board", "x\n# gain: 2") + Rows(2, 1), false, 8,
                   "a second gain line (the first is line 6)"},
        // The microvolts against the gain: every figure would be half of the written one.
        ReaderCase{"GainDisagreesWithMicrovolts", HeadWith("gain", "2") + Rows(3, 1), false, 10,
                   "of code 2147484648 at gain 2; 2 later lines disagree too"},
        ReaderCase{"OneEditedValue",
                   kHead + Rows(2, 1) + "3,2147486648,1.5\n" + Rows(5, 1).substr(Rows(3, 1).size()),
                   false, 12, "ch0_uV \"1.5\" is not 3.49245965"},
        ReaderCase{"OneUlpOff", kHead + LineOff(1) + "# end: complete, samples=1\n", true, 0, ""},
        ReaderCase{"TwoUlpsOff", kHead + LineOff(2), false, 10, "ch0_uV"},
        // The end line.
        ReaderCase{"EndCountsTooFew", kHead + Rows(12345, 1) + "# end: complete, samples=5\n",
                   false, 12355, "end line counts 5 samples, the file holds 12345"},
        ReaderCase{"EndBanana", kHead + Rows(2, 1) + "# end: banana\n", false, 12,
                   "end line is not \"end: HOW, samples=N\""},
        ReaderCase{"EndWordUnknown", kHead + Rows(2, 1) + "# end: banana, samples=2\n", false, 12,
                   "end line says \"banana\", not complete, stopped, read error or write error"},
        ReaderCase{"EndedByWriteError", kHead + Rows(2, 1) + "# end: write error, samples=2\n",
                   true, 12, "the capture ended with a write error"},
        ReaderCase{"EndedByReadError", kHead + Rows(2, 1) + "# end: read error, samples=2\n", true,
                   12, "the capture ended with a read error"},
        // Bounded lines: refused at the limit, whatever follows.
        ReaderCase{"LineOfNuls", kHead + std::string(5000, '\0') + "\n", false, 10,
                   "longer than 4096 bytes"},
        ReaderCase{"LongNote", "# MIRANTOS capture\n# " + std::string(5000, 'n') + "\n", false, 2,
                   "longer than 4096 bytes"},
        ReaderCase{"TwoGigabytesOfNuls", kHead, false, 10, "longer than 4096 bytes",
                   int64_t{2} << 30},
        // Read as they are.
        ReaderCase{"ByteOrderMark",
                   "\xEF\xBB\xBF" + kHead + Rows(2, 1) + "# end: complete, samples=2\n", true, 0,
                   ""},
        ReaderCase{"CrLf",
                   "# MIRANTOS capture\r\n# rate_index: 13\r\n# rate_sps: 10000\r\n"
                   "# filter: sinc3\r\n# channels: ch0\r\n# gain: 1\r\n"
                   "index,ch0_code,ch0_uV\r\n1,2147483648,0\r\n# end: stopped, samples=1\r\n",
                   true, 0, ""}),
    [](const ::testing::TestParamInfo<ReaderCase>& info) { return std::string(info.param.name); });

} // namespace

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
