// capture on the simulated board: the board's whole count range sample for
// sample, Ctrl-C, a read error, a write error, --force, and reading captures
// back with export.

#include "Ad7177.h"
#include "BoardFactory.h"
#include "CaptureFile.h"
#include "CliTestSupport.h"
#include "NoiseAnalysis.h"
#include "NoiseReport.h"
#include "SimReplay.h"

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

using clitest::Lines;
using clitest::RunCli;
using clitest::TempDir;
namespace cli = mirantos::cli;
using namespace mirantos;

namespace {

// Forwards to the simulated board and keeps every command line it was sent,
// which outlive the driver.
class LoggingDriver : public IFtdiDriver {
public:
    LoggingDriver(std::unique_ptr<IFtdiDriver> inner, std::shared_ptr<std::string> log)
        : inner_(std::move(inner)), log_(std::move(log))
    {
    }
    FT_STATUS Open(int i, FT_HANDLE* h) override { return inner_->Open(i, h); }
    FT_STATUS SetUSBParameters(FT_HANDLE h, uint32_t in, uint32_t out) override
    {
        return inner_->SetUSBParameters(h, in, out);
    }
    FT_STATUS Purge(FT_HANDLE h, uint32_t mask) override { return inner_->Purge(h, mask); }
    FT_STATUS Close(FT_HANDLE h) override { return inner_->Close(h); }
    FT_STATUS GetQueueStatus(FT_HANDLE h, uint32_t* n) override
    {
        return inner_->GetQueueStatus(h, n);
    }
    FT_STATUS Read(FT_HANDLE h, void* b, uint32_t n, uint32_t* got) override
    {
        return inner_->Read(h, b, n, got);
    }
    FT_STATUS Write(FT_HANDLE h, const void* b, uint32_t n, uint32_t* done) override
    {
        log_->append(static_cast<const char*>(b), n);
        return inner_->Write(h, b, n, done);
    }
    std::string LastErrorText() const override { return inner_->LastErrorText(); }
    bool Simulated() const override { return inner_->Simulated(); }

private:
    std::unique_ptr<IFtdiDriver> inner_;
    std::shared_ptr<std::string> log_;
};

struct SimBoard {
    SimFaults faults;
    uint64_t seed = 21;
    std::shared_ptr<ISimClock> clock; // null: real time
    int made = 0;
    std::shared_ptr<std::string> sent = std::make_shared<std::string>();

    cli::MeasureEnv Env()
    {
        cli::MeasureEnv env;
        env.makeDriver = [this](cli::BoardKind, uint64_t) -> std::unique_ptr<IFtdiDriver> {
            ++made;
            SimConfig config;
            config.seed = seed;
            config.faults = faults;
            config.clock = clock;
            return std::make_unique<LoggingDriver>(MakeSimDriver(config), sent);
        };
        return env;
    }
};

struct Capture {
    bool ok = false;
    TCaptureData data;
    std::vector<std::string> warnings;
    std::string error;
};

Capture ReadBack(const std::string& path)
{
    Capture c;
    c.ok = ReadCapture(path, c.data, c.warnings, c.error);
    return c;
}

// SIGINT once `at` samples have arrived; the board stops sending after `stallAfter`.
cli::MeasureEnv Interrupting(SimBoard& board, int stallAfter, int at)
{
    board.faults.stallAfterSamples = stallAfter;
    cli::MeasureEnv env = board.Env();
    env.onSamples = [at, raised = false](int received, int) mutable {
        if (!raised && received >= at) {
            raised = true;
            std::raise(SIGINT);
        }
    };
    return env;
}

} // namespace

TEST(CaptureCommand, TheBoardsWholeCountOfTwoChannelsAt10kspsEqualsTheReplay)
{
    TempDir dir;
    SimBoard board;
    auto clock = std::make_shared<ManualClock>();
    // Every reading of the clock moves it on 20 ms: the run's 105 s of samples
    // arrive as fast as the command takes them.
    clock->SetAutoStepUs(20000);
    board.clock = clock;
    const std::string path = dir.Path("full.csv");
    const auto r = RunCli({"capture", "--board", "sim", "--rate", "10ksps", "--channels", "both",
                           "--samples", "1048575", "-o", path},
                          board.Env());
    ASSERT_EQ(r.code, cli::kExitOk) << r.err;
    EXPECT_EQ(*board.sent, "?\rU?\rV?\rS3\rFD\rA2FFFFF\r");

    const Capture c = ReadBack(path);
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_TRUE(c.warnings.empty());
    EXPECT_EQ(c.data.end, "complete, samples=1048575");
    EXPECT_EQ(c.data.info.rateIndex, 13);
    EXPECT_EQ(c.data.info.rateSps, 10000.0);
    EXPECT_EQ(c.data.info.board, "MIRANTOS 1.10");
    std::vector<uint32_t> ch0;
    std::vector<uint32_t> ch1;
    simtest::Replay(board.seed, {"S3", "FD"}, "A2FFFFF", 1048575, ch0, ch1);
    ASSERT_EQ(c.data.ch0.size(), 1048575u);
    EXPECT_TRUE(c.data.ch0 == ch0);
    EXPECT_TRUE(c.data.ch1 == ch1);

    const std::string size = std::to_string(clitest::ReadAll(path).size());
    EXPECT_NE(r.err.find("1048575 samples written to " + path + " (" + size + " bytes)"),
              std::string::npos)
        << r.err;
    // Without a terminal: a progress line per 10 %.
    int progress = 0;
    for (const auto& l : Lines(r.err))
        progress += l.find(" samples  10ksps  ") != std::string::npos ? 1 : 0;
    EXPECT_EQ(progress, 10) << r.err;
}

TEST(CaptureCommand, OneChannelCountThatIsNoMultipleOfTheBlockEndsComplete)
{
    TempDir dir;
    SimBoard board;
    auto clock = std::make_shared<ManualClock>();
    clock->SetAutoStepUs(5000);
    board.clock = clock;
    const std::string path = dir.Path("ch1.csv");
    const auto r = RunCli({"capture", "--board", "sim", "--rate", "5ksps", "--filter", "sinc5",
                           "--channels", "ch1", "--samples", "12345", "-o", path},
                          board.Env());
    ASSERT_EQ(r.code, cli::kExitOk) << r.err;
    const Capture c = ReadBack(path);
    ASSERT_TRUE(c.ok) << c.error;
    std::vector<uint32_t> ch0;
    std::vector<uint32_t> unused;
    simtest::Replay(board.seed, {"S5", "FC"}, "A103039", 12345, ch0, unused);
    EXPECT_TRUE(c.data.ch0.empty());
    EXPECT_EQ(c.data.ch1, ch0);
    EXPECT_EQ(c.data.end, "complete, samples=12345");
}

TEST(CaptureCommand, CtrlCStopsLikeTheStopButtonAndKeepsEvenFewerThanTenSamples)
{
    TempDir dir;
    SimBoard board;
    const std::string path = dir.Path("stop.csv");
    const auto r = RunCli({"capture", "--board", "sim", "--rate", "100sps", "--channels", "both",
                           "--samples", "1000", "-o", path},
                          Interrupting(board, 5, 5));
    EXPECT_EQ(r.code, cli::kExitInterrupted) << r.err;
    EXPECT_NE(r.err.find("計測中止しました"), std::string::npos) << r.err;
    EXPECT_EQ(board.sent->substr(board.sent->size() - 3), "AX\r");
    const Capture c = ReadBack(path);
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_EQ(c.data.ch0.size(), 5u);
    EXPECT_EQ(c.data.end, "stopped, samples=5");
}

// Unplugged, or quiet with the link up: the file keeps every sample received
// and says how the capture ended; the reason follows the window's text.
struct CaptureReadFailure {
    const char* name;
    int64_t unplugAt;
    int64_t quietAfter;
    const char* reason;
};

class CaptureReadError : public ::testing::TestWithParam<CaptureReadFailure> {};

TEST_P(CaptureReadError, KeepsTheSamplesReceivedAndExitsThree)
{
    const CaptureReadFailure c = GetParam();
    TempDir dir;
    SimBoard board;
    board.faults.unplugAtSample = c.unplugAt;
    board.faults.stallAfterSamples = c.quietAfter;
    const std::string path = dir.Path("err.csv");
    const auto r =
        RunCli({"capture", "--board", "sim", "--rate", "1ksps", "--samples", "1000", "-o", path},
               board.Env());
    EXPECT_EQ(r.code, cli::kExitBoard);
    EXPECT_NE(r.err.find("計測エラーで終了\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
    const Capture k = ReadBack(path);
    ASSERT_TRUE(k.ok) << k.error;
    if (c.quietAfter >= 0) {
        EXPECT_EQ(k.data.ch0.size(), static_cast<size_t>(c.quietAfter));
    }
    EXPECT_GE(k.data.ch0.size(), 10u);
    EXPECT_LE(k.data.ch0.size(), 50u);
    EXPECT_EQ(k.data.end, "read error, samples=" + std::to_string(k.data.ch0.size()));
}

INSTANTIATE_TEST_SUITE_P(Faults, CaptureReadError,
                         ::testing::Values(CaptureReadFailure{"Unplugged", 50, -1, "disappeared"},
                                           CaptureReadFailure{"Quiet", -1, 47, "stopped sending"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CaptureCommand, WriteErrorStopsTheBoardKeepsWholeLinesAndExitsOne)
{
    TempDir dir;
    SimBoard board;
    auto clock = std::make_shared<ManualClock>();
    clock->SetAutoStepUs(5000);
    board.clock = clock;
    const std::string path = dir.Path("limit.csv");
    constexpr rlim_t kLimit = 200000;
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = kLimit;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const auto r = RunCli({"capture", "--board", "sim", "--rate", "10ksps", "--channels", "both",
                           "--samples", "100000", "-o", path},
                          board.Env());
    ::setrlimit(RLIMIT_FSIZE, &saved);

    EXPECT_EQ(r.code, cli::kExitFailure) << r.err;
    EXPECT_NE(r.err.find("cannot write " + path + ": File too large"), std::string::npos) << r.err;
    EXPECT_EQ(board.sent->substr(board.sent->size() - 3), "AX\r");
    const std::string text = clitest::ReadAll(path);
    EXPECT_LE(text.size(), kLimit);
    const Capture c = ReadBack(path);
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_GT(c.data.ch0.size(), 1000u);
    if (!c.data.end.empty()) {
        EXPECT_EQ(c.data.end, "write error, samples=" + std::to_string(c.data.ch0.size()));
    }
}

TEST(CaptureCommand, ExistingFileIsRefusedBeforeTheBoardAndKeptWhenTheStartFails)
{
    TempDir dir;
    const std::string f = dir.Write("old.csv", "precious");
    SimBoard board;
    const auto r =
        RunCli({"capture", "--board", "sim", "--rate", "10ksps", "--samples", "100", "-o", f},
               board.Env());
    EXPECT_EQ(r.code, cli::kExitFailure);
    EXPECT_EQ(board.made, 0);
    EXPECT_EQ(clitest::ReadAll(f), "precious");
    EXPECT_NE(r.err.find("--force"), std::string::npos);

    SimBoard absent;
    absent.faults.absent = true;
    const auto failed =
        RunCli({"capture", "--board", "sim", "--samples", "100", "-o", f, "--force"}, absent.Env());
    EXPECT_EQ(failed.code, cli::kExitBoard);
    EXPECT_EQ(clitest::ReadAll(f), "precious");
    const auto noFile = RunCli(
        {"capture", "--board", "sim", "--samples", "100", "-o", dir.Path("new.csv")}, absent.Env());
    EXPECT_EQ(noFile.code, cli::kExitBoard);
    EXPECT_FALSE(clitest::FileExists(dir.Path("new.csv")));

    const auto forced = RunCli(
        {"capture", "--board", "sim", "--rate", "10ksps", "--samples", "100", "-o", f, "--force"},
        board.Env());
    EXPECT_EQ(forced.code, cli::kExitOk) << forced.err;
    EXPECT_EQ(clitest::ReadAll(f).rfind("# MIRANTOS capture\n", 0), 0u);
}

TEST(CaptureCommandDeathTest, CtrlCBeforeTheFirstSampleLeavesNoNewFileAndTheOldOneAsItWas)
{
    TempDir dir;
    const std::string old = dir.Write("old.csv", "precious");
    for (const auto& [path, force] : {std::pair{dir.Path("new.csv"), false}, {old, true}}) {
        SCOPED_TRACE(path);
        SimBoard board;
        cli::MeasureEnv env = board.Env();
        // The file is open when the board is made: Ctrl-C comes right then.
        env.makeDriver = [make = env.makeDriver](cli::BoardKind kind, uint64_t seed) {
            std::raise(SIGINT);
            return make(kind, seed);
        };
        // 5 samples a second in real time: the stop is long before the first.
        std::vector<std::string> args = {"capture",   "--board", "sim", "--rate", "5sps",
                                         "--samples", "100",     "-o",  path};
        if (force)
            args.push_back("--force");
        // _Exit: the child ends as the command did, without the exit-time
        // leak check of a sanitizer build (the font library keeps its caches).
        EXPECT_EXIT(std::_Exit(RunCli(args, env).code),
                    ::testing::ExitedWithCode(cli::kExitInterrupted), "");
        EXPECT_EQ(clitest::FileExists(path), force);
    }
    EXPECT_EQ(clitest::ReadAll(old), "precious");
}

TEST(CaptureCommand, BadOptionsExitTwoWithoutTouchingTheBoard)
{
    SimBoard board;
    const std::vector<std::pair<std::vector<std::string>, std::string>> bad = {
        {{"capture", "-o", "x"}, "give either --samples N or --duration D"},
        {{"capture", "--samples", "10", "--duration", "1s", "-o", "x"}, "give either"},
        {{"capture", "--samples", "9", "-o", "x"}, "--samples takes 10 to 1048575, not \"9\""},
        {{"capture", "--samples", "1048576", "-o", "x"}, "--samples takes 10 to 1048575"},
        {{"capture", "--samples", "100"}, "no capture file given"},
        {{"capture", "--duration", "90", "-o", "x"}, "--duration takes a whole number"},
        {{"capture", "--rate", "10ksps", "--duration", "2h", "-o", "x"},
         "--duration 2h is 72000000 samples at 10ksps; the board takes at most 1048575 (1:44 "
         "at that rate)"},
        {{"capture", "--rate", "5sps", "--duration", "1s", "-o", "x"}, "fewer than 10 samples"},
        {{"capture", "--samples", "100", "--seed", "3", "-o", "x"}, "--seed applies"},
        {{"capture", "--board", "sim", "--device", "MRT1", "--samples", "100", "-o", "x"},
         "--device applies"},
        {{"capture", "--device", "MRT1:E", "--samples", "100", "-o", "x"},
         "--device \"MRT1:E\": the interface letter \"E\" after the colon is not A or B"},
        {{"capture", "--device", ":B", "--samples", "100", "-o", "x"},
         "--device \":B\": no serial number before \":B\""},
        {{"capture", "--samples", "100", "--count", "100", "-o", "x"}, "count"},
    };
    for (const auto& [args, problem] : bad) {
        const auto r = RunCli(args, board.Env());
        EXPECT_EQ(r.code, cli::kExitUsage) << problem;
        EXPECT_NE(r.err.find(problem), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("Usage: mirantos-cli capture"), std::string::npos);
    }
    EXPECT_EQ(board.made, 0);
    EXPECT_FALSE(clitest::FileExists("x"));
}

TEST(CaptureCommand, ExportReadsACaptureWholeAndSaysWhereOneIsBroken)
{
    TempDir dir;
    SimBoard board;
    const std::string path = dir.Path("e.csv");
    ASSERT_EQ(RunCli({"capture", "--board", "sim", "--rate", "10ksps", "--channels", "both",
                      "--samples", "10020", "-o", path},
                     board.Env())
                  .code,
              cli::kExitOk);
    // All samples, not the first 10 010; the data lines exactly as captured.
    const auto r = RunCli({"export", path});
    ASSERT_EQ(r.code, cli::kExitOk) << r.err;
    const auto captured = Lines(clitest::ReadAll(path));
    const std::vector<std::string> data(captured.begin() + 8, captured.end() - 1);
    EXPECT_EQ(Lines(r.out), data);
    EXPECT_EQ(data.size(), 10021u);

    // Cut in the middle of a line, as by a crash: the last whole line is the end.
    std::string text = clitest::ReadAll(path);
    text.resize(text.size() - 60);
    const std::string cut = dir.Write("cut.csv", text);
    const auto partial = RunCli({"export", cut});
    EXPECT_EQ(partial.code, cli::kExitOk);
    EXPECT_NE(partial.err.find("warning: " + cut + ": line "), std::string::npos) << partial.err;

    std::string broken = clitest::ReadAll(path);
    broken.replace(broken.find("\n5,"), 3, "\n5;");
    const std::string bad = dir.Write("bad.csv", broken);
    const auto rejected = RunCli({"export", bad});
    EXPECT_EQ(rejected.code, cli::kExitFailure);
    EXPECT_EQ(rejected.out, "");
    EXPECT_NE(rejected.err.find(bad + ": line 14: index"), std::string::npos) << rejected.err;
}

TEST(CaptureCommand, AnalyzeTakesEverySampleOfACaptureAtItsRate)
{
    TempDir dir;
    SimBoard board;
    auto clock = std::make_shared<ManualClock>();
    clock->SetAutoStepUs(20000);
    board.clock = clock;
    const std::string path = dir.Path("a.csv");
    ASSERT_EQ(RunCli({"capture", "--board", "sim", "--rate", "1ksps", "--filter", "sinc5",
                      "--channels", "both", "--samples", "12000", "-o", path},
                     board.Env())
                  .code,
              cli::kExitOk);
    const Capture c = ReadBack(path);
    ASSERT_TRUE(c.ok) << c.error;
    analysis::TNoiseFigures expected;
    ASSERT_TRUE(analysis::Analyze(c.data.ch1, 1000.0, 1, {}, expected));
    const auto r = RunCli({"analyze", "--json", "--channel", "1", path});
    ASSERT_EQ(r.code, cli::kExitOk) << r.err;
    EXPECT_EQ(r.out, analysis::FiguresJson(expected, 1,
                                           analysis::ComputeLowFrequency(c.data.ch1, 1000.0, 1),
                                           {"MIRANTOS 1.10", true}) +
                         "\n");
    EXPECT_NE(r.out.find("\"samples\":12000,"), std::string::npos) << r.out;
}
