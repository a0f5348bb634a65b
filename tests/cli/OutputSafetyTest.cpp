// Every output goes through one writer under one rule: what ends on disk and
// what the user reads, for each kind of name, through the .DTA save, the
// analysis writer and `measure -o`; refusals come before the work; inputs
// that are not files never hang a command.

#include "BoardFactory.h"
#include "CliTestSupport.h"
#include "Myfile.h"
#include "WholeFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using clitest::ReadAll;
using clitest::RunCli;
using clitest::TempDir;
namespace cli = mirantos::cli;
namespace fs = std::filesystem;

namespace {

// Counts the boards made: zero means the command refused before any work.
struct CountingBoard {
    int made = 0;
    cli::MeasureEnv Env()
    {
        cli::MeasureEnv env;
        env.makeDriver = [this](cli::BoardKind, uint64_t) -> std::unique_ptr<IFtdiDriver> {
            ++made;
            return mirantos::MakeSimDriver(3);
        };
        return env;
    }
};

// `@x` arguments become paths in `dir`.
std::vector<std::string> Resolve(std::vector<std::string> args, const TempDir& dir)
{
    for (std::string& a : args)
        if (a.starts_with('@'))
            a = dir.Path(a.substr(1));
    return args;
}

constexpr uid_t kOtherUser = 65534;

// Each kind of name, and what the user reads when it is refused (empty: written).
// clang-format off
enum Kind { Regular, LinkToRegular, LinkToFifo, HardLink, Dangling,
            ReadOnly, Folder, RoFolder, Fifo };
const char* const kKindNames[] = {"Regular", "LinkToRegular", "LinkToFifo", "HardLink", "Dangling",
                                  "ReadOnly", "Folder", "ReadOnlyFolder", "FifoWithoutReader"};
const char* const kRefusals[] = {"", "", "", "", "", "out.DTA is read-only",
    "out.DTA: it is a folder", "/ro is read-only", "out.DTA: nothing reads from it"};
// clang-format on
enum Writer { DtaSave, AnalysisWriter, MeasureCli };

class OutputKinds : public ::testing::TestWithParam<std::tuple<Kind, Writer>> {};

TEST_P(OutputKinds, EndOnDiskAndSayWhatHappened)
{
    const auto [kind, writer] = GetParam();
    TempDir dir;
    const std::string out = dir.Path("out.DTA");
    std::string path = out;
    std::string target = out; // where the bytes must end
    int reader = -1;
    if (kind == Regular || kind == ReadOnly || kind == HardLink)
        dir.Write("out.DTA", "old");
    if (kind == ReadOnly)
        ::chmod(out.c_str(), 0444);
    // Another owner, where this process may give it one: a replaced file keeps it.
    if (kind == Regular && ::geteuid() == 0) {
        EXPECT_EQ(::chown(out.c_str(), kOtherUser, kOtherUser), 0);
    }
    if (kind == LinkToRegular || kind == Dangling)
        fs::create_symlink("t.DTA", out), target = dir.Path("t.DTA");
    if (kind == LinkToRegular)
        dir.Write("t.DTA", "old");
    if (kind == LinkToFifo) {
        ::mkfifo(dir.Path("pipe").c_str(), 0600);
        reader = ::open(dir.Path("pipe").c_str(), O_RDONLY | O_NONBLOCK);
        fs::create_symlink("pipe", out);
    }
    if (kind == HardLink)
        fs::create_hard_link(out, target = dir.Path("other.DTA"));
    if (kind == Folder)
        fs::create_directory(out);
    if (kind == RoFolder) {
        fs::create_directory(dir.Path("ro"));
        ::chmod(dir.Path("ro").c_str(), 0555);
        path = dir.Path("ro/out.DTA");
    }
    if (kind == Fifo)
        ::mkfifo(out.c_str(), 0600);
    const std::string refusal = kRefusals[kind];

    std::string expected = "f_Hz,nsd\n1,2\n";
    std::string said; // what the user reads
    bool written = false;
    if (writer == DtaSave) {
        std::vector<uint32_t> codes(100, 8388608u);
        const TChannelData ch{100, codes.data(), nullptr};
        const TAdcSetting setting{};
        ASSERT_TRUE(FormatDataFile(setting, ch, expected));
        TmyFile file([](const std::string&) { return true; });
        TSaveOutcome outcome = TSaveOutcome::Written;
        file.SaveData(path, &setting, &ch, &outcome);
        written = outcome == TSaveOutcome::Written;
        said = file.Error();
    } else if (writer == AnalysisWriter) {
        written = mirantos::WriteFileWhole(path, expected, &said);
    } else {
        CountingBoard board;
        const auto r = RunCli({"measure", "--board", "sim", "--rate", "10ksps", "--count", "100",
                               "-o", path, "--force"},
                              board.Env());
        written = r.code == cli::kExitOk;
        said = r.err;
        EXPECT_EQ(r.code, refusal.empty() ? cli::kExitOk : cli::kExitFailure) << r.err;
        EXPECT_EQ(board.made, refusal.empty() ? 1 : 0); // a refusal costs no run
    }
    ::chmod(dir.Path("ro").c_str(), 0755);
    EXPECT_EQ(written, refusal.empty()) << said;
    EXPECT_NE(said.find(refusal), std::string::npos) << said;
    if (!refusal.empty()) {
        EXPECT_TRUE(kind != ReadOnly || ReadAll(path) == "old");
        EXPECT_EQ(fs::is_fifo(path), kind == Fifo);
        return;
    }
    // Each name stays what it was.
    EXPECT_EQ(fs::is_symlink(out), kind == LinkToRegular || kind == Dangling || kind == LinkToFifo);
    std::string bytes = kind == LinkToFifo ? "" : ReadAll(target);
    if (kind == LinkToFifo) {
        bytes.resize(1 << 16);
        const ssize_t n = ::read(reader, bytes.data(), bytes.size());
        bytes.resize(n > 0 ? static_cast<size_t>(n) : 0);
        ::close(reader);
    }
    if (kind == HardLink) {
        EXPECT_EQ(fs::hard_link_count(out), 2u);
    }
    struct stat st {};
    EXPECT_EQ(::stat(out.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, kind == Regular && ::geteuid() == 0 ? kOtherUser : ::geteuid());
    if (writer == MeasureCli)
        bytes.resize(std::min<size_t>(bytes.size(), 18)), expected = "AD7177_DataFile:\r\n";
    EXPECT_EQ(bytes, expected);
}

std::string KindAndWriter(const ::testing::TestParamInfo<std::tuple<Kind, Writer>>& info)
{
    static const char* const writers[] = {"DtaSave", "AnalysisWriter", "MeasureCli"};
    return std::string(kKindNames[std::get<0>(info.param)]) + "_" +
           writers[std::get<1>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Table, OutputKinds,
                         ::testing::Combine(::testing::Range(Regular, Kind(Fifo + 1)),
                                            ::testing::Values(DtaSave, AnalysisWriter, MeasureCli)),
                         KindAndWriter);

// Refused before the work, wherever the work is long: the board is never made.
// "@fifo.csv" is a FIFO nobody reads, "@ro" a read-only folder.
class RefusedBeforeTheWork
    : public ::testing::TestWithParam<std::pair<std::vector<std::string>, const char*>> {};

TEST_P(RefusedBeforeTheWork, NoBoardIsTouched)
{
    TempDir dir;
    ::mkfifo(dir.Path("fifo.csv").c_str(), 0600);
    fs::create_directory(dir.Path("ro"));
    ::chmod(dir.Path("ro").c_str(), 0555);
    dir.Write("limits.json", R"({"name": "t", "version": 1, "settings": {"board": "sim",
        "rate": "10ksps", "channels": "ch0", "samples": 100},
        "limits": {"ch0": {"rms_uV": {"max": 100}}}})");
    CountingBoard board;
    const auto r = RunCli(Resolve(GetParam().first, dir), board.Env());
    ::chmod(dir.Path("ro").c_str(), 0755);
    EXPECT_EQ(r.code, cli::kExitFailure) << r.err;
    EXPECT_NE(r.err.find(GetParam().second), std::string::npos) << r.err;
    EXPECT_EQ(board.made, 0);
    EXPECT_TRUE(fs::is_empty(dir.Path("ro")));
}

INSTANTIATE_TEST_SUITE_P(
    Commands, RefusedBeforeTheWork,
    ::testing::Values(std::pair{std::vector<std::string>{"capture", "--board", "sim", "--samples",
                                                         "20000", "--force", "-o", "@fifo.csv"},
                                "nothing reads from it"},
                      std::pair{std::vector<std::string>{"capture", "--board", "sim", "--samples",
                                                         "20000", "-o", "@ro/c.csv"},
                                "/ro is read-only"},
                      std::pair{std::vector<std::string>{"test", "--limits", "@limits.json",
                                                         "--serial", "SN-1", "--keep-data", "@ro"},
                                "/ro is read-only"}));

// Two outputs that meet through a link to nothing are the same file.
TEST(OutputNames, ALinkToNothingAndTheNameItPointsToAreNamedTwice)
{
    TempDir dir;
    dir.Write("run.DTA", clitest::DtaText(0, std::vector<std::string>(200, "8388608")));
    fs::create_symlink("nothere.x", dir.Path("d.x"));
    const auto r = RunCli(Resolve({"analyze", "@run.DTA", "--spectrum-csv", "@d.x",
                                   "--histogram-csv", "@nothere.x", "--force"},
                                  dir));
    EXPECT_EQ(r.code, cli::kExitUsage) << r.err;
    EXPECT_NE(r.err.find(" is also the file of --"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir.Path("nothere.x")));
}

// A FIFO given as input, with no writer ever: a refusal, not a hang.
class FifoInput : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(FifoInput, IsRefusedWithoutWaiting)
{
    TempDir dir;
    ASSERT_EQ(::mkfifo(dir.Path("in").c_str(), 0600), 0);
    const auto r = RunCli(Resolve(GetParam(), dir));
    EXPECT_EQ(r.code, cli::kExitFailure) << r.err;
    EXPECT_NE(r.err.find(dir.Path("in") + ": not a regular file"), std::string::npos) << r.err;
}

// One row per way in: the window's loader, the sample reader, the limits file.
using Args = std::vector<std::string>;
INSTANTIATE_TEST_SUITE_P(Commands, FifoInput,
                         ::testing::Values(Args{"stats", "@in"}, Args{"analyze", "@in"},
                                           Args{"test", "--limits", "@in", "--serial", "S"}));

} // namespace
