// measure on the simulated board: the run, the readout, the saved file, the
// picture, board failures and the stop by Ctrl-C.

#include "BoardFactory.h"
#include "BoardOptions.h"
#include "CliTestSupport.h"

#include <QDir>
#include <QImage>
#include <csignal>
#include <gtest/gtest.h>

using clitest::Lines;
using clitest::RunCli;
using clitest::TempDir;
namespace cli = mirantos::cli;

namespace {

// The simulated board with the given faults; counts how often it was asked for.
struct FaultyBoard {
    mirantos::SimFaults faults;
    uint64_t seed = 5;
    int made = 0;

    cli::MeasureEnv Env()
    {
        cli::MeasureEnv env;
        env.makeDriver = [this](cli::BoardKind, uint64_t) -> std::unique_ptr<IFtdiDriver> {
            ++made;
            mirantos::SimConfig config;
            config.seed = seed;
            config.faults = faults;
            return mirantos::MakeSimDriver(config);
        };
        return env;
    }
};

// What `stats` prints for a file: for two channels the CH0 line, then CH1's.
std::string StatsOf(const std::string& file, bool twoChannels, const char* unit = "code")
{
    if (!twoChannels)
        return RunCli({"stats", "--unit", unit, file}).out;
    return RunCli({"stats", "--unit", unit, "--channel", "0", file}).out +
           RunCli({"stats", "--unit", unit, "--channel", "1", file}).out;
}

struct ChannelMode {
    const char* option;
    const char* firstLinePrefix;
    bool two;
};

} // namespace

class MeasureRun : public ::testing::TestWithParam<ChannelMode> {};

TEST_P(MeasureRun, ReadoutEqualsWhatStatsPrintsForTheSavedFile)
{
    const ChannelMode mode = GetParam();
    TempDir dir;
    const auto r = RunCli({"measure", "--board", "sim", "--seed", "11", "--rate", "10ksps",
                           "--count", "100", "--channels", mode.option, "-o", dir.Path("run")});
    ASSERT_EQ(r.code, cli::kExitOk) << r.err;
    // The ".DTA" rule of the window's save.
    const std::string saved = dir.Path("run.DTA");
    ASSERT_TRUE(clitest::FileExists(saved));

    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), mode.two ? 2u : 1u) << r.out;
    EXPECT_EQ(lines[0].rfind(mode.firstLinePrefix, 0), 0u) << lines[0];
    EXPECT_EQ(r.out, StatsOf(saved, mode.two));

    const auto exported = Lines(RunCli({"export", saved}).out);
    EXPECT_EQ(exported.size(), 101u);
    EXPECT_NE(r.err.find("計測終了しました"), std::string::npos) << r.err;
}

TEST_P(MeasureRun, MicrovoltReadoutEqualsStatsInMicrovolts)
{
    const ChannelMode mode = GetParam();
    TempDir dir;
    const auto r = RunCli({"measure", "--board", "sim", "--seed", "12", "--rate", "5ksps",
                           "--count", "200", "--channels", mode.option, "--unit", "uv", "--filter",
                           "sinc5", "-o", dir.Path("uv.DTA")});
    ASSERT_EQ(r.code, cli::kExitOk) << r.err;
    EXPECT_NE(r.out.find("[uV]"), std::string::npos);
    EXPECT_EQ(r.out, StatsOf(dir.Path("uv.DTA"), mode.two, "uv"));
}

INSTANTIATE_TEST_SUITE_P(Channels, MeasureRun,
                         ::testing::Values(ChannelMode{"ch0", "CH0 : ", false},
                                           ChannelMode{"ch1", "CH1 : ", false},
                                           ChannelMode{"both", "CH0 : ", true}),
                         [](const auto& info) { return std::string(info.param.option); });

TEST(MeasureCommand, SavedFileCarriesTheChosenSettings)
{
    TempDir dir;
    ASSERT_EQ(RunCli({"measure", "--board", "sim", "--rate", "13", "--count", "100", "--channels",
                      "both", "--filter", "sinc3", "-o", dir.Path("s.DTA")})
                  .code,
              cli::kExitOk);
    const std::string text = clitest::ReadAll(dir.Path("s.DTA"));
    EXPECT_NE(text.find("spsSel:13\r\nDataCountSel:0\r\nCHSel:2\r\nGainSel:0\r\nfSinc5:0\r\n"),
              std::string::npos)
        << text.substr(0, 120);
}

TEST(MeasureCommand, SameSeedSameSamples)
{
    TempDir dir;
    for (const char* name : {"a.DTA", "b.DTA"})
        ASSERT_EQ(RunCli({"measure", "--board", "sim", "--seed", "99", "--rate", "10ksps",
                          "--count", "100", "-o", dir.Path(name)})
                      .code,
                  cli::kExitOk);
    EXPECT_EQ(clitest::ReadAll(dir.Path("a.DTA")), clitest::ReadAll(dir.Path("b.DTA")));
}

TEST(MeasureCommand, PngIsWhatPlotRendersForTheSavedFile)
{
    TempDir dir;
    ASSERT_EQ(RunCli({"measure", "--board", "sim", "--rate", "10ksps", "--count", "200",
                      "--channels", "both", "-o", dir.Path("p.DTA"), "--png", dir.Path("m.png")})
                  .code,
              cli::kExitOk);
    ASSERT_EQ(RunCli({"plot", dir.Path("p.DTA"), "-o", dir.Path("p.png")}).code, cli::kExitOk);
    const QImage fromRun(QString::fromStdString(dir.Path("m.png")));
    const QImage fromFile(QString::fromStdString(dir.Path("p.png")));
    ASSERT_FALSE(fromRun.isNull());
    EXPECT_EQ(fromRun, fromFile);
}

TEST(MeasureCommand, ExistingOutputIsKeptWithoutForceAndNoRunHappens)
{
    TempDir dir;
    const std::string f = dir.Write("old.DTA", "precious");
    FaultyBoard board;
    const auto r = RunCli(
        {"measure", "--board", "sim", "--rate", "10ksps", "--count", "100", "-o", f}, board.Env());
    EXPECT_EQ(r.code, cli::kExitFailure);
    EXPECT_EQ(board.made, 0);
    EXPECT_EQ(clitest::ReadAll(f), "precious");
    EXPECT_NE(r.err.find("--force"), std::string::npos);

    const auto forced = RunCli(
        {"measure", "--board", "sim", "--rate", "10ksps", "--count", "100", "-o", f, "--force"},
        board.Env());
    EXPECT_EQ(forced.code, cli::kExitOk) << forced.err;
    EXPECT_EQ(clitest::ReadAll(f).rfind("AD7177_DataFile:\r\n", 0), 0u);
}

TEST(MeasureCommand, UnwritableOutputReportsTheWindowsSaveError)
{
    TempDir dir;
    // A missing folder is refused before the run; one that goes away during
    // the run fails the save after it, with the window's box and the reason.
    auto r = RunCli({"measure", "--board", "sim", "--rate", "10ksps", "--count", "100", "-o",
                     dir.Path("missing-dir/x")});
    EXPECT_EQ(r.code, cli::kExitFailure);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("missing-dir: No such file or directory"), std::string::npos) << r.err;

    const std::string folder = dir.Path("going");
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
    cli::MeasureEnv env;
    env.onSamples = [&](int, int) { QDir(QString::fromStdString(folder)).removeRecursively(); };
    r = RunCli(
        {"measure", "--board", "sim", "--rate", "10ksps", "--count", "100", "-o", folder + "/x"},
        env);
    EXPECT_EQ(r.code, cli::kExitFailure);
    EXPECT_NE(r.out.find("CH0 : "), std::string::npos);
    EXPECT_NE(r.err.find("データ保存できませんでした"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("going: No such file or directory"), std::string::npos) << r.err;
}

TEST(MeasureCommand, ProgressWithoutATerminalIsALinePerTenPercent)
{
    const auto r = RunCli({"measure", "--board", "sim", "--rate", "10ksps", "--count", "1000"});
    ASSERT_EQ(r.code, cli::kExitOk);
    int progressLines = 0;
    for (const auto& l : Lines(r.err)) {
        if (l.find(" samples  10ksps  ") != std::string::npos)
            ++progressLines;
    }
    EXPECT_EQ(progressLines, 10) << r.err;
    EXPECT_NE(r.err.find("100%   1000/1000 samples"), std::string::npos);
}

// ---- board failures ---------------------------------------------------------

TEST(MeasureBoardFailure, AbsentBoardPrintsTheNotFoundBoxText)
{
    FaultyBoard board;
    board.faults.absent = true;
    const auto r = RunCli({"measure", "--board", "sim"}, board.Env());
    EXPECT_EQ(r.code, cli::kExitBoard);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "MIRANTOS が見つかりませんでした\nno FTDI device found\n");
}

TEST(MeasureBoardFailure, MuteBoardPrintsTheNoResponseBoxText)
{
    FaultyBoard board;
    board.faults.mute = true;
    const auto r = RunCli({"measure", "--board", "sim"}, board.Env());
    EXPECT_EQ(r.code, cli::kExitBoard);
    EXPECT_EQ(r.err, "MIRANTOS が応答しませんでした\n");
}

TEST(MeasureBoardFailure, RefusedConfigurationPrintsTheBoardPanelText)
{
    FaultyBoard board;
    board.faults.ngCommand = "S5";
    const auto r = RunCli({"measure", "--board", "sim", "--filter", "sinc5"}, board.Env());
    EXPECT_EQ(r.code, cli::kExitBoard);
    EXPECT_EQ(r.err, "MIRANTOS Board がエラーです\n");
}

// A board that is unplugged or goes quiet mid-run: the read error, with its
// reason; from ten samples on what arrived is saved as a stop saves it.
struct MeasureReadFailure {
    const char* name;
    int64_t unplugAt;
    int64_t quietAfter;
    const char* reason;
    size_t savedRows; // 0: nothing saved
};

class MeasureReadError : public ::testing::TestWithParam<MeasureReadFailure> {};

TEST_P(MeasureReadError, ExitsThreeWithTheReasonAndSavesTenOrMoreSamples)
{
    const MeasureReadFailure c = GetParam();
    TempDir dir;
    FaultyBoard board;
    board.faults.unplugAtSample = c.unplugAt;
    board.faults.stallAfterSamples = c.quietAfter;
    const auto r = RunCli({"measure", "--board", "sim", "--rate", "1ksps", "--count", "100", "-o",
                           dir.Path("r.DTA"), "--png", dir.Path("r.png")},
                          board.Env());
    EXPECT_EQ(r.code, cli::kExitBoard);
    EXPECT_NE(r.err.find("計測エラーで終了\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
    const std::string saved = dir.Path("r.DTA");
    ASSERT_EQ(clitest::FileExists(saved), c.savedRows > 0);
    EXPECT_EQ(clitest::FileExists(dir.Path("r.png")), c.savedRows > 0);
    if (c.savedRows > 0) {
        EXPECT_EQ(r.out, StatsOf(saved, false));
        EXPECT_EQ(Lines(RunCli({"export", saved}).out).size() - 1, c.savedRows);
    } else {
        EXPECT_EQ(r.out, "");
    }
    // Keeping nothing is said as a stop says it.
    EXPECT_EQ(r.err.find("fewer than 10: nothing kept; " + saved + " not written\n") !=
                  std::string::npos,
              c.savedRows == 0)
        << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, MeasureReadError,
    ::testing::Values(MeasureReadFailure{"UnpluggedEarly", 5, -1, "disappeared", 0},
                      MeasureReadFailure{"Quiet", -1, 47, "the board stopped sending", 47},
                      MeasureReadFailure{"QuietBeforeTen", -1, 5, "stopped sending", 0}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Ctrl-C -----------------------------------------------------------------

namespace {

// The board stops streaming after `stallAfter` samples; SIGINT is raised once
// `interruptAt` samples have arrived, so the stop always finds that many.
cli::MeasureEnv InterruptingEnv(FaultyBoard& board, int stallAfter, int interruptAt)
{
    board.faults.stallAfterSamples = stallAfter;
    cli::MeasureEnv env = board.Env();
    env.onSamples = [interruptAt, raised = false](int received, int) mutable {
        if (!raised && received >= interruptAt) {
            raised = true;
            std::raise(SIGINT);
        }
    };
    return env;
}

} // namespace

TEST(MeasureInterrupt, StopAfterTenOrMoreKeepsAndSavesTheSamples)
{
    TempDir dir;
    FaultyBoard board;
    const auto r = RunCli({"measure", "--board", "sim", "--rate", "100sps", "--count", "1000",
                           "--channels", "both", "-o", dir.Path("stop.DTA")},
                          InterruptingEnv(board, 25, 20));
    ASSERT_EQ(r.code, cli::kExitInterrupted) << r.err;
    EXPECT_NE(r.err.find("計測中止しました"), std::string::npos) << r.err;
    const std::string saved = dir.Path("stop.DTA");
    ASSERT_TRUE(clitest::FileExists(saved));
    EXPECT_EQ(r.out, StatsOf(saved, true));
    const size_t rows = Lines(RunCli({"export", saved}).out).size() - 1;
    EXPECT_GE(rows, 20u);
    EXPECT_LE(rows, 25u);
}

TEST(MeasureInterrupt, StopBeforeTenSamplesDiscardsThem)
{
    TempDir dir;
    FaultyBoard board;
    const auto r = RunCli({"measure", "--board", "sim", "--rate", "100sps", "--count", "1000", "-o",
                           dir.Path("few.DTA"), "--png", dir.Path("few.png")},
                          InterruptingEnv(board, 5, 5));
    EXPECT_EQ(r.code, cli::kExitInterrupted) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("計測中止しました"), std::string::npos);
    EXPECT_FALSE(clitest::FileExists(dir.Path("few.DTA")));
    EXPECT_FALSE(clitest::FileExists(dir.Path("few.png")));
}

// ---- usage ------------------------------------------------------------------

TEST(MeasureUsage, BadOptionsExitTwoWithoutTouchingTheBoard)
{
    FaultyBoard board;
    const std::vector<std::vector<std::string>> bad = {
        {"measure", "--board", "pci"},
        {"measure", "--rate", "3ksps"},
        {"measure", "--rate", "14"},
        {"measure", "--count", "300"},
        {"measure", "--channels", "ch2"},
        {"measure", "--filter", "sinc4"},
        {"measure", "--unit", "mv"},
        {"measure", "--seed", "7"}, // the USB board has no seed
        {"measure", "--board", "sim", "--seed", "x"},
        {"measure", "--board", "sim", "--device", "FT1X2Y3Z"}, // the simulated board has none
        {"measure", "--device", "FT1X2Y3Z:E"},
        {"measure", "--device", ""},
        {"measure", "--force"},
        {"measure", "extra"},
        {"measure", "-o"},
    };
    for (const auto& args : bad) {
        const auto r = RunCli(args, board.Env());
        EXPECT_EQ(r.code, cli::kExitUsage) << args.back();
        EXPECT_NE(r.err.find("Usage: mirantos-cli measure"), std::string::npos);
    }
    EXPECT_EQ(board.made, 0);
}

// ---- the simulated board's signal -----------------------------------------------

TEST(MeasureUsage, SimSignalOptionsAreCheckedAndReachTheSimulatedBoard)
{
    struct Case {
        std::vector<std::string> args;
        const char* problem; // empty: accepted
        double flicker = 0, drift = 0, pickup = 0;
    };
    const Case cases[] = {
        {{"--board", "sim", "--sim-flicker", "50", "--sim-drift", "-2.5", "--sim-pickup", "3"},
         "",
         50,
         -2.5,
         3},
        {{"--board", "sim", "--sim-flicker", "1e5", "--sim-drift", "0"}, "", 1e5, 0, 0},
        {{"--sim-flicker", "50"},
         "--sim-flicker applies to the simulated board (--board sim) only"},
        {{"--board", "usb", "--sim-drift", "1"}, "--sim-drift applies to the simulated board"},
        {{"--sim-pickup", "1", "--board", "usb"}, "--sim-pickup applies to the simulated board"},
        {{"--board", "sim", "--sim-flicker", "-1"},
         "--sim-flicker takes a density in nV/sqrt(Hz) at 1 Hz from 0 to 100000, not \"-1\""},
        {{"--board", "sim", "--sim-flicker", "100001"}, "not \"100001\""},
        {{"--board", "sim", "--sim-drift", "-1e7"},
         "--sim-drift takes uV per hour from -1000000 to 1000000, not \"-1e7\""},
        {{"--board", "sim", "--sim-drift", "nan"}, "--sim-drift takes"},
        {{"--board", "sim", "--sim-pickup", "3uV"},
         "--sim-pickup takes a 50 Hz amplitude in uV from 0 to 1000000, not \"3uV\""},
        {{"--board", "sim", "--sim-pickup", ""}, "--sim-pickup takes"},
        {{"--board", "sim", "--sim-pickup", "+3"}, "--sim-pickup takes"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"measure"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        if (*c.problem != 0) {
            const auto r = RunCli(args);
            EXPECT_EQ(r.code, cli::kExitUsage) << c.problem;
            EXPECT_NE(r.err.find(c.problem), std::string::npos) << r.err;
            continue;
        }
        cli::ParsedArgs parsed;
        std::string error;
        ASSERT_TRUE(cli::ParseArgs(c.args, cli::BoardOptionSpecs(), parsed, error)) << error;
        cli::BoardChoice choice;
        cli::TControlValues controls;
        ASSERT_TRUE(cli::ParseBoardOptions(parsed, choice, controls, error)) << error;
        auto driver = cli::MakeBoardDriver(choice, {});
        auto* sim = dynamic_cast<mirantos::SimBoardDriver*>(driver.get());
        ASSERT_NE(sim, nullptr);
        EXPECT_EQ(sim->Config().flickerNvAt1Hz, c.flicker);
        EXPECT_EQ(sim->Config().driftUvPerHour, c.drift);
        EXPECT_EQ(sim->Config().pickup50HzUv, c.pickup);
    }
}
