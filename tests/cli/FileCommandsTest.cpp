// stats, plot and export on crafted data files.

#include "CaptureFile.h"
#include "CliTestSupport.h"
#include "MeasureRecord.h"

#include <QImage>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <map>

#include <sys/stat.h>
#include <unistd.h>

using clitest::DtaText;
using clitest::Lines;
using clitest::RunCli;
using clitest::TempDir;
namespace cli = mirantos::cli;

namespace {

const char* const kDataFileError = "データファイルの内容が正しくありませんでした\n";

// Three CH0 samples: mean code 2147483648 (truncated), deviations 0, 2, -1.
const std::vector<std::string> kSmallCh0 = {"2147483648", "2147483650", "2147483647"};
const char* const kSmallCh0Readout =
    "CH0 : 最大値：2147483650 / 最小値：2147483647 / pp値：3 digit / 標準偏差：1.29 digit\n";

// Two channels, CH0 spread 10 codes (sigma 4.08), CH1 100 codes (sigma 40.8).
const std::vector<std::string> kTwoChannels = {"2147483648,2147483600", "2147483658,2147483700",
                                               "2147483653,2147483650"};
const char* const kTwoCh0Readout =
    "CH0 : 最大値：2147483658 / 最小値：2147483648 / pp値：10 digit / 標準偏差：4.08 digit\n";
const char* const kTwoCh1Readout =
    "CH1 : 最大値：2147483700 / 最小値：2147483600 / pp値：100 digit / 標準偏差：40.8 digit\n";

// Full scale both ways: +2500000 and -2500000 microvolts.
const std::vector<std::string> kFullScale = {"4294967295", "1"};

} // namespace

// ---- stats ------------------------------------------------------------------

TEST(StatsCommand, OneChannelFileShowsTheCodeReadout)
{
    TempDir dir;
    const auto r = RunCli({"stats", dir.Write("a.DTA", DtaText(0, kSmallCh0))});
    EXPECT_EQ(r.code, cli::kExitOk);
    EXPECT_EQ(r.out, kSmallCh0Readout);
    EXPECT_EQ(r.err, "");
}

TEST(StatsCommand, MicrovoltUnitUsesTheSigmaMaskForAllFourNumbers)
{
    TempDir dir;
    const std::string f = dir.Write("fs.DTA", DtaText(0, kFullScale));
    const auto uv = RunCli({"stats", "--unit", "uv", f});
    EXPECT_EQ(uv.code, cli::kExitOk);
    EXPECT_EQ(uv.out, "CH0 : 最大値：2500000[uV] / 最小値：-2500000[uV] / pp値：5000000[uV] / "
                      "標準偏差：2500000[uV]\n");
    const auto code = RunCli({"stats", "--unit=code", f});
    EXPECT_EQ(code.out, "CH0 : 最大値：4294967295 / 最小値：1 / pp値：4294967294 digit / "
                        "標準偏差：2147483648.0 digit\n");
}

TEST(StatsCommand, TwoChannelFileShowsCh0UnlessCh1IsAskedFor)
{
    TempDir dir;
    const std::string f = dir.Write("two.DTA", DtaText(2, kTwoChannels));
    EXPECT_EQ(RunCli({"stats", f}).out, kTwoCh0Readout);
    EXPECT_EQ(RunCli({"stats", "--channel", "0", f}).out, kTwoCh0Readout);
    EXPECT_EQ(RunCli({"stats", "--channel", "1", f}).out, kTwoCh1Readout);
}

TEST(StatsCommand, Ch1FileShowsCh1AndHasNoCh0)
{
    TempDir dir;
    const std::string f =
        dir.Write("b.DTA", DtaText(1, {"2147483600", "2147483700", "2147483650"}));
    const auto r = RunCli({"stats", f});
    EXPECT_EQ(r.code, cli::kExitOk);
    EXPECT_EQ(r.out, kTwoCh1Readout);

    const auto missing = RunCli({"stats", "--channel", "0", f});
    EXPECT_EQ(missing.code, cli::kExitFailure);
    EXPECT_EQ(missing.out, "");
    EXPECT_NE(missing.err.find("no CH0 data"), std::string::npos) << missing.err;
}

TEST(StatsCommand, Ch0FileHasNoCh1)
{
    TempDir dir;
    const auto r = RunCli({"stats", "--channel", "1", dir.Write("a.DTA", DtaText(0, kSmallCh0))});
    EXPECT_EQ(r.code, cli::kExitFailure);
    EXPECT_NE(r.err.find("no CH1 data"), std::string::npos) << r.err;
}

class RejectedFile : public ::testing::TestWithParam<std::string> {};

TEST_P(RejectedFile, EveryFileCommandReportsTheWindowsContentError)
{
    TempDir dir;
    const std::string f = dir.Write("bad.DTA", GetParam());
    const std::vector<std::vector<std::string>> commands = {
        {"stats", f}, {"plot", f, "-o", dir.Path("bad.png")}, {"plot", "--axes", f}, {"export", f}};
    for (const auto& args : commands) {
        const auto r = RunCli(args);
        EXPECT_EQ(r.code, cli::kExitFailure) << args[0];
        EXPECT_EQ(r.out, "") << args[0];
        EXPECT_EQ(r.err, kDataFileError) << args[0];
    }
    EXPECT_FALSE(clitest::FileExists(dir.Path("bad.png")));
}

std::string RejectedFileName(const ::testing::TestParamInfo<std::string>& info)
{
    static const char* const kNames[] = {"LowerCaseTag", "NoDend", "BadFlag", "ChannelOutOfRange"};
    return kNames[info.index];
}

INSTANTIATE_TEST_SUITE_P(
    Files, RejectedFile,
    ::testing::Values(
        // lower-case tag
        std::string("ad7177_datafile:\r\nM:\r\nspsSel:1\r\nDataCountSel:3\r\nCHSel:0\r\n"
                    "GainSel:0\r\nfSinc5:1\r\nfBUF_ON:0\r\nMEND:\r\nD:\r\n1\r\nDEND:\r\n"),
        // no DEND:
        std::string("AD7177_DataFile:\r\nM:\r\nspsSel:1\r\nDataCountSel:3\r\nCHSel:0\r\n"
                    "GainSel:0\r\nfSinc5:1\r\nfBUF_ON:0\r\nMEND:\r\nD:\r\n1\r\n"),
        // a flag value the reader does not accept
        std::string("AD7177_DataFile:\r\nM:\r\nspsSel:1\r\nDataCountSel:3\r\nCHSel:0\r\n"
                    "GainSel:0\r\nfSinc5:2\r\nfBUF_ON:0\r\nMEND:\r\nD:\r\n1\r\nDEND:\r\n"),
        // a channel selection outside the list
        DtaText(3, {"1", "2"})),
    RejectedFileName);

namespace {

// A capture of 12 CH0 samples as the capture writer formats them, with its end line.
std::string CaptureText(const std::string& end)
{
    std::string s = "# MIRANTOS capture\n# rate_index: 13\n# rate_sps: 10000\n# filter: sinc3\n"
                    "# channels: ch0\n# gain: 1\nindex,ch0_code,ch0_uV\n";
    char line[mirantos::kMaxCaptureLine];
    for (int i = 1; i <= 12; ++i) {
        const uint32_t code = 0x80000000u + static_cast<uint32_t>(i * i * 37);
        s.append(line, mirantos::FormatCaptureLine(line, i, &code, nullptr, 1));
    }
    return s + "# end: " + end + ", samples=12\n";
}

struct TextCase {
    const char* name;
    std::string content;
    bool loads;
    std::string said; // after the content error (or after "warning: FILE: "), "" for nothing
};

void PrintTo(const TextCase& c, std::ostream* os)
{
    *os << c.name;
}

class FileText : public ::testing::TestWithParam<TextCase> {};

} // namespace

TEST_P(FileText, AnalyzeAndExportSayWhatIsWrongWithTheText)
{
    const TextCase& c = GetParam();
    TempDir dir;
    const std::string f = dir.Write("f.DTA", c.content);
    for (const char* command : {"analyze", "export"}) {
        const auto r = RunCli({command, f});
        EXPECT_EQ(r.code, c.loads ? cli::kExitOk : cli::kExitFailure) << command << r.err;
        if (!c.loads)
            EXPECT_EQ(r.err, kDataFileError + f + ": " + c.said + "\n") << command;
        else if (c.said.empty())
            EXPECT_EQ(r.err, "") << command;
        else
            EXPECT_EQ(r.err, "mirantos-cli: warning: " + f + ": " + c.said + "\n") << command;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, FileText,
    ::testing::Values(
        TextCase{"Empty", "", false, "the file is empty"},
        TextCase{"OnlyCr", "\r\r\r", false, "the file holds nothing but CR characters"},
        TextCase{"CrLineEnds",
                 QString::fromStdString(DtaText(0, kSmallCh0)).replace("\r\n", "\r").toStdString(),
                 false, "its lines end in CR alone, without LF"},
        TextCase{"BomBeforeDta", "\xEF\xBB\xBF" + DtaText(0, kSmallCh0), false,
                 "the file begins with a UTF-8 byte order mark"},
        TextCase{"BomBeforeCapture", "\xEF\xBB\xBF" + CaptureText("complete"), true, ""},
        TextCase{"CaptureEndedByWriteError", CaptureText("write error"), true,
                 "line 20: the capture ended with a write error: the samples stop where writing "
                 "the file failed"}),
    [](const ::testing::TestParamInfo<TextCase>& info) { return std::string(info.param.name); });

TEST(FileCommands, AFileThatCannotBeReadGetsTheContentErrorAndTheSystemsReason)
{
    TempDir dir;
    const std::string missing = dir.Path("nothing-here.DTA");
    for (const char* command : {"stats", "plot", "export"}) {
        std::vector<std::string> args{command};
        if (std::string(command) == "plot")
            args.insert(args.end(), {"-o", dir.Path("p.png")});
        args.push_back(missing);
        const auto r = RunCli(args);
        EXPECT_EQ(r.code, cli::kExitFailure) << command;
        EXPECT_EQ(r.err, std::string(kDataFileError) + missing + ": No such file or directory\n")
            << command;
    }
    // A folder opens but cannot be read.
    const auto r = RunCli({"stats", dir.Path("")});
    EXPECT_EQ(r.code, cli::kExitFailure);
    EXPECT_NE(r.err.find("Is a directory"), std::string::npos) << r.err;
    // A file that is read but rejected gets the window's text alone.
    const auto bad = RunCli({"stats", dir.Write("bad.DTA", "not a data file\r\n")});
    EXPECT_EQ(bad.err, kDataFileError);
}

// ---- export -----------------------------------------------------------------

TEST(ExportCommand, OneChannelCsvCountsFromOneWithRoundTripMicrovolts)
{
    TempDir dir;
    const auto r = RunCli({"export", dir.Write("a.DTA", DtaText(0, kSmallCh0))});
    ASSERT_EQ(r.code, cli::kExitOk);
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "index,ch0_code,ch0_uV");
    EXPECT_EQ(lines[1], "1,2147483648,0");
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::string& l = lines[i];
        const size_t c1 = l.find(',');
        const size_t c2 = l.find(',', c1 + 1);
        ASSERT_NE(c2, std::string::npos) << l;
        EXPECT_EQ(l.substr(0, c1), std::to_string(i));
        const uint32_t code = static_cast<uint32_t>(std::stoul(l.substr(c1 + 1, c2 - c1 - 1)));
        EXPECT_EQ(std::to_string(code), kSmallCh0[i - 1]);
        // The text reads back as exactly the float the record stores.
        const float stored = static_cast<float>(CodeToMicrovolt(code, 1));
        const float read = std::strtof(l.c_str() + c2 + 1, nullptr);
        EXPECT_EQ(std::memcmp(&stored, &read, sizeof stored), 0) << l;
    }
}

TEST(ExportCommand, HeaderNamesOnlyTheChannelsTheFileHolds)
{
    TempDir dir;
    const auto two = RunCli({"export", dir.Write("two.DTA", DtaText(2, kTwoChannels))});
    const auto twoLines = Lines(two.out);
    ASSERT_EQ(twoLines.size(), 4u);
    EXPECT_EQ(twoLines[0], "index,ch0_code,ch0_uV,ch1_code,ch1_uV");
    EXPECT_EQ(twoLines[1].rfind("1,2147483648,0,2147483600,-", 0), 0u) << twoLines[1];

    const auto ch1 = RunCli({"export", dir.Write("b.DTA", DtaText(1, kFullScale))});
    EXPECT_EQ(ch1.out, "index,ch1_code,ch1_uV\n1,4294967295,2500000\n2,1,-2500000\n");
}

TEST(ExportCommand, OutputFileHoldsWhatStandardOutputWouldShow)
{
    TempDir dir;
    const std::string f = dir.Write("two.DTA", DtaText(2, kTwoChannels));
    const auto toStdout = RunCli({"export", f});
    const auto toFile = RunCli({"export", f, "-o", dir.Path("out.csv")});
    EXPECT_EQ(toFile.code, cli::kExitOk);
    EXPECT_EQ(toFile.out, "");
    EXPECT_EQ(clitest::ReadAll(dir.Path("out.csv")), toStdout.out);
}

TEST(ExportCommand, UnwritableOutputFails)
{
    TempDir dir;
    const auto r = RunCli({"export", dir.Write("a.DTA", DtaText(0, kSmallCh0)), "-o",
                           dir.Path("no-such-dir/out.csv")});
    EXPECT_EQ(r.code, cli::kExitFailure);
    EXPECT_NE(r.err.find("cannot write"), std::string::npos);
}

// ---- plot -------------------------------------------------------------------

TEST(PlotCommand, AxesOfAConstantSignalInCodes)
{
    TempDir dir;
    const auto r =
        RunCli({"plot", "--axes", dir.Write("c.DTA", DtaText(0, {"2147483648", "2147483648"}))});
    ASSERT_EQ(r.code, cli::kExitOk);
    std::vector<std::string> expected;
    for (long long v = 2147483653; v >= 2147483643; --v)
        expected.push_back(std::to_string(v));
    expected.push_back("1");
    expected.push_back("100");
    EXPECT_EQ(Lines(r.out), expected);
}

TEST(PlotCommand, AxesOfAConstantSignalInMicrovolts)
{
    TempDir dir;
    const auto r = RunCli({"plot", "--axes", "--unit", "uv",
                           dir.Write("c.DTA", DtaText(0, {"2147483648", "2147483648"}))});
    ASSERT_EQ(r.code, cli::kExitOk);
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 13u);
    // 0.2 uV span from -0.1 uV: the unit only on the top and bottom labels.
    EXPECT_EQ(lines[0], "0.10uV");
    EXPECT_EQ(lines[1], "0.08");
    EXPECT_EQ(lines[5], "0.00");
    EXPECT_EQ(lines[10], "-0.10uV");
}

TEST(PlotCommand, BitmapOnlyIsThePaintBoxLessItsFrame)
{
    TempDir dir;
    const std::string f = dir.Write("two.DTA", DtaText(2, kTwoChannels));
    ASSERT_EQ(RunCli({"plot", "--bitmap-only", f, "-o", dir.Path("bmp.png")}).code, cli::kExitOk);
    const QImage bmp(QString::fromStdString(dir.Path("bmp.png")));
    ASSERT_EQ(bmp.size(), QSize(558, 415));
    // Grid corner grey, background white.
    EXPECT_EQ(bmp.pixel(0, 0) & 0xffffff, 0x808080u);
    EXPECT_EQ(bmp.pixel(3, 3) & 0xffffff, 0xffffffu);

    ASSERT_EQ(
        RunCli({"plot", "--bitmap-only", "--size", "300x200", f, "-o", dir.Path("s.png")}).code,
        cli::kExitOk);
    EXPECT_EQ(QImage(QString::fromStdString(dir.Path("s.png"))).size(), QSize(298, 198));
}

TEST(PlotCommand, PictureHoldsTheBitmapAtOneOneOfThePaintBoxAndTheLabels)
{
    TempDir dir;
    const std::string f = dir.Write("two.DTA", DtaText(2, kTwoChannels));
    ASSERT_EQ(RunCli({"plot", f, "--bitmap-only", "-o", dir.Path("bmp.png")}).code, cli::kExitOk);
    ASSERT_EQ(RunCli({"plot", f, "-o", dir.Path("pic.png")}).code, cli::kExitOk);
    const QImage bmp =
        QImage(QString::fromStdString(dir.Path("bmp.png"))).convertToFormat(QImage::Format_RGB32);
    const QImage pic =
        QImage(QString::fromStdString(dir.Path("pic.png"))).convertToFormat(QImage::Format_RGB32);
    ASSERT_GE(pic.width(), 72 + 560);
    ASSERT_GE(pic.height(), 24 + 417);
    // Ten-digit code labels end 3 px left of the box where the room allows;
    // the window font's (75 px) start at the parent's edge and reach at most
    // 2 px into the bitmap. Right of that the picture is the bitmap, pixel for
    // pixel.
    constexpr int kPastLabels = 2;
    EXPECT_EQ(pic.copy(73 + kPastLabels, 25, 558 - kPastLabels, 415),
              bmp.copy(kPastLabels, 0, 558 - kPastLabels, 415));

    // The paint box's outer ring shows the parent's colour, as does the area
    // left of the labels.
    const QRgb background = pic.pixel(0, 0);
    EXPECT_EQ(pic.pixel(72, 24), background);
    EXPECT_EQ(pic.pixel(72 + 559, 24 + 416), background);

    // Some pixel of the label column and of the X-label row is text.
    auto inked = [&](int x0, int y0, int x1, int y1) {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                if (pic.pixel(x, y) != background)
                    return true;
        return false;
    };
    EXPECT_TRUE(inked(0, 19, 72, 31));                        // top Y label
    EXPECT_TRUE(inked(72, 24 + 415 + 10, 100, pic.height())); // "1" under the plot
    EXPECT_FALSE(inked(0, 0, pic.width(), 15));               // nothing above the top label
}

TEST(PlotCommand, UsageErrors)
{
    TempDir dir;
    const std::string f = dir.Write("a.DTA", DtaText(0, kSmallCh0));
    const std::vector<std::vector<std::string>> bad = {
        {"plot", f},                                    // no -o
        {"plot", "--axes", f, "-o", dir.Path("x.png")}, // both
        {"plot", "--size", "560", f, "-o", dir.Path("x.png")},
        {"plot", "--size", "5x5", f, "-o", dir.Path("x.png")},
        {"plot", "--unit", "volt", f, "-o", dir.Path("x.png")},
        {"plot", "--bogus", f, "-o", dir.Path("x.png")},
        {"plot", "-o"},
    };
    for (const auto& args : bad) {
        const auto r = RunCli(args);
        EXPECT_EQ(r.code, cli::kExitUsage) << args[1];
        EXPECT_NE(r.err.find("Usage: mirantos-cli plot"), std::string::npos) << args[1];
        EXPECT_EQ(r.out, "");
    }
    EXPECT_FALSE(clitest::FileExists(dir.Path("x.png")));
}

// ---- output files of every command ------------------------------------------

namespace {

struct OutputCase {
    std::vector<std::string> args; // {IN}, {LINK}, {OLD}, ... stand for files
    int code;
    std::string message; // on the error stream, with the files as in args
    std::string stdoutStart = {};
};

void PrintTo(const OutputCase& c, std::ostream* os)
{
    for (const std::string& a : c.args)
        *os << a << ' ';
}

class OutputPaths : public ::testing::TestWithParam<OutputCase> {};

} // namespace

TEST_P(OutputPaths, InputsAndExistingFilesAreNeverReplacedUnasked)
{
    TempDir dir;
    std::vector<std::string> samples;
    for (int i = 0; i < 40; ++i)
        samples.push_back(std::to_string(2147483648u + static_cast<unsigned>(i * 7 % 13)));
    const std::string in = dir.Write("in.DTA", DtaText(0, samples));
    const std::string data = clitest::ReadAll(in);
    const std::string old = dir.Write("old.out", "precious");
    ASSERT_EQ(::symlink(in.c_str(), dir.Path("link.out").c_str()), 0);
    ASSERT_EQ(::link(in.c_str(), dir.Path("hard.out").c_str()), 0);
    const std::map<std::string, std::string> names = {{"{IN}", in},
                                                      {"{LINK}", dir.Path("link.out")},
                                                      {"{HARD}", dir.Path("hard.out")},
                                                      {"{ALIAS}", dir.Path("sub/../in.DTA")},
                                                      {"{OLD}", old},
                                                      {"{NEW}", dir.Path("new.out")},
                                                      {"{NEW2}", dir.Path("./new.out")}};
    ::mkdir(dir.Path("sub").c_str(), 0755);
    auto expand = [&names](std::string s) {
        for (const auto& [token, path] : names) {
            for (size_t at = s.find(token); at != std::string::npos; at = s.find(token))
                s.replace(at, token.size(), path);
        }
        return s;
    };
    const OutputCase& c = GetParam();
    std::vector<std::string> args;
    for (const std::string& a : c.args)
        args.push_back(expand(a));
    const auto r = RunCli(args);

    EXPECT_EQ(r.code, c.code) << r.err;
    EXPECT_NE(r.err.find(expand(c.message)), std::string::npos) << r.err;
    EXPECT_EQ(r.out.rfind(c.stdoutStart, 0), 0u) << r.out;
    EXPECT_TRUE(clitest::ReadAll(in) == data) << "the input was overwritten";
    if (c.code != cli::kExitOk) {
        EXPECT_TRUE(clitest::ReadAll(old) == "precious") << "the old file was overwritten";
        EXPECT_FALSE(clitest::FileExists(dir.Path("new.out")));
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryCommand, OutputPaths,
    ::testing::Values(
        OutputCase{{"analyze", "--png", "{IN}", "{IN}"}, 2, "--png {IN} is the input file {IN}"},
        OutputCase{{"analyze", "--png", "{LINK}", "{IN}"}, 2, "--png {LINK} is the input file"},
        OutputCase{{"analyze", "--histogram-csv", "{HARD}", "{IN}"}, 2, "is the input file"},
        OutputCase{{"analyze", "--spectrum-csv", "{ALIAS}", "{IN}", "--force"}, 2, "is the input"},
        OutputCase{{"analyze", "--histogram-csv", "{NEW}", "--spectrum-csv", "{NEW2}", "{IN}"},
                   2,
                   "--spectrum-csv {NEW2} is also the file of --histogram-csv"},
        OutputCase{{"analyze", "--png", "{OLD}", "{IN}"}, 1, "{OLD} exists; --force replaces it"},
        OutputCase{{"analyze", "--png", "-", "{IN}"}, 2, "only text goes to standard output"},
        OutputCase{{"analyze", "--json", "--spectrum-csv", "-", "{IN}"},
                   2,
                   "--spectrum-csv - is also the file of --json (standard output)"},
        OutputCase{{"analyze", "--spectrum-csv", "-", "{IN}"}, 0, "", "f_Hz,nsd_nV_per_rtHz\n0,"},
        OutputCase{{"analyze", "--force", "--png", "{OLD}", "{IN}"}, 0, "", "channel "},
        OutputCase{{"export", "{IN}", "-o", "{IN}"}, 2, "-o {IN} is the input file"},
        OutputCase{{"export", "{IN}", "-o", "{OLD}"}, 1, "{OLD} exists; --force"},
        OutputCase{{"export", "{IN}", "-o", "-"}, 0, "", "index,ch0_code,ch0_uV\n1,"},
        OutputCase{{"plot", "{IN}", "-o", "{LINK}"}, 2, "-o {LINK} is the input file"},
        OutputCase{
            {"measure", "--board", "sim", "--rate", "10ksps", "--count", "100", "--png", "{OLD}"},
            1,
            "{OLD} exists; --force"},
        OutputCase{{"measure", "--board", "sim", "--rate", "10ksps", "--count", "100", "-o",
                    "{NEW}", "--png", "{NEW}.DTA"},
                   2,
                   "--png {NEW}.DTA is also the file of -o"}));
