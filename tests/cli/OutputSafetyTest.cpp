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

constexpr uid_t kOtherUser = 65534;

enum class Kind {
    Regular,
    LinkToRegular,
    LinkToFifo, // a reader waits at the other end
    HardLink,
    Dangling,
    ReadOnly,
    Folder,
    ReadOnlyFolder,
    FifoWithoutReader,
};
enum class Writer { DtaSave, AnalysisWriter, MeasureCli };

struct Row {
    const char* name;
    Kind kind;
    const char* refusal; // empty: written
};

const Row kRows[] = {
    {"Regular", Kind::Regular, ""},
    {"LinkToRegular", Kind::LinkToRegular, ""},
    {"LinkToFifo", Kind::LinkToFifo, ""},
    {"HardLink", Kind::HardLink, ""},
    {"Dangling", Kind::Dangling, ""},
    {"ReadOnly", Kind::ReadOnly, "out.DTA is read-only"},
    {"Folder", Kind::Folder, "out.DTA: it is a folder"},
    {"ReadOnlyFolder", Kind::ReadOnlyFolder, "/ro is read-only"},
    {"FifoWithoutReader", Kind::FifoWithoutReader, "out.DTA: nothing reads from it"},
};

// The name handed to the writer, made as `kind` says; a FIFO's read end in `reader`.
std::string Prepare(const TempDir& dir, Kind kind, int& reader)
{
    const std::string out = dir.Path("out.DTA");
    switch (kind) {
    case Kind::Regular:
    case Kind::ReadOnly:
        dir.Write("out.DTA", "old");
        if (kind == Kind::ReadOnly)
            ::chmod(out.c_str(), 0444);
        // Another owner, where this process may give it one: a replaced file keeps it.
        if (kind == Kind::Regular && ::geteuid() == 0) {
            EXPECT_EQ(::chown(out.c_str(), kOtherUser, kOtherUser), 0);
        }
        break;
    case Kind::LinkToRegular:
        fs::create_directory(dir.Path("real"));
        dir.Write("real/t.DTA", "old");
        fs::create_symlink("real/t.DTA", out);
        break;
    case Kind::LinkToFifo:
        ::mkfifo(dir.Path("pipe").c_str(), 0600);
        reader = ::open(dir.Path("pipe").c_str(), O_RDONLY | O_NONBLOCK);
        fs::create_symlink("pipe", out);
        break;
    case Kind::HardLink:
        dir.Write("out.DTA", "old");
        fs::create_hard_link(out, dir.Path("other.DTA"));
        break;
    case Kind::Dangling:
        fs::create_symlink("gone.DTA", out);
        break;
    case Kind::Folder:
        fs::create_directory(out);
        break;
    case Kind::ReadOnlyFolder:
        fs::create_directory(dir.Path("ro"));
        ::chmod(dir.Path("ro").c_str(), 0555);
        return dir.Path("ro/out.DTA");
    case Kind::FifoWithoutReader:
        ::mkfifo(out.c_str(), 0600);
        break;
    }
    return out;
}

// Where the written bytes must be found; checks that each name stayed what it was.
std::string WrittenBytes(const TempDir& dir, Kind kind, int reader)
{
    const std::string out = dir.Path("out.DTA");
    switch (kind) {
    case Kind::LinkToRegular:
        EXPECT_TRUE(fs::is_symlink(out));
        return ReadAll(dir.Path("real/t.DTA"));
    case Kind::LinkToFifo: {
        EXPECT_TRUE(fs::is_symlink(out));
        EXPECT_TRUE(fs::is_fifo(dir.Path("pipe")));
        std::string got(1 << 16, '\0');
        const ssize_t n = ::read(reader, got.data(), got.size());
        got.resize(n > 0 ? static_cast<size_t>(n) : 0);
        return got;
    }
    case Kind::HardLink:
        EXPECT_EQ(fs::hard_link_count(out), 2u);
        EXPECT_EQ(ReadAll(dir.Path("other.DTA")), ReadAll(out));
        return ReadAll(out);
    case Kind::Dangling:
        EXPECT_TRUE(fs::is_symlink(out));
        return ReadAll(dir.Path("gone.DTA"));
    case Kind::Regular: {
        struct stat st {};
        EXPECT_EQ(::stat(out.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, ::geteuid() == 0 ? kOtherUser : ::geteuid());
        return ReadAll(out);
    }
    default:
        return ReadAll(out);
    }
}

class OutputKinds : public ::testing::TestWithParam<std::tuple<Row, Writer>> {};

std::string KindAndWriterName(const ::testing::TestParamInfo<std::tuple<Row, Writer>>& info)
{
    static const char* const writers[] = {"DtaSave", "AnalysisWriter", "MeasureCli"};
    return std::string(std::get<0>(info.param).name) + "_" +
           writers[static_cast<int>(std::get<1>(info.param))];
}

TEST_P(OutputKinds, EndOnDiskAndSayWhatHappened)
{
    const auto [row, writer] = GetParam();
    TempDir dir;
    int reader = -1;
    const std::string path = Prepare(dir, row.kind, reader);
    const bool refused = *row.refusal != '\0';

    std::string expected;
    std::string said; // what the user reads
    bool written = false;
    if (writer == Writer::DtaSave) {
        std::vector<uint32_t> codes(100, 8388608u);
        const TChannelData ch{100, codes.data(), nullptr};
        const TAdcSetting setting{};
        ASSERT_TRUE(FormatDataFile(setting, ch, expected));
        TmyFile file([](const std::string&) { return true; });
        TSaveOutcome outcome = TSaveOutcome::Written;
        file.SaveData(path, &setting, &ch, &outcome);
        written = outcome == TSaveOutcome::Written;
        said = file.Error();
    } else if (writer == Writer::AnalysisWriter) {
        expected = "f_Hz,nsd\n1,2\n";
        written = mirantos::WriteFileWhole(path, expected, &said);
    } else {
        CountingBoard board;
        const auto r = RunCli({"measure", "--board", "sim", "--rate", "10ksps", "--count", "100",
                               "-o", path, "--force"},
                              board.Env());
        written = r.code == cli::kExitOk;
        said = r.err;
        EXPECT_EQ(r.code, refused ? cli::kExitFailure : cli::kExitOk) << r.err;
        // A refusal costs no run.
        EXPECT_EQ(board.made, refused ? 0 : 1);
    }

    ::chmod(dir.Path("ro").c_str(), 0755);
    if (refused) {
        EXPECT_FALSE(written);
        EXPECT_NE(said.find(row.refusal), std::string::npos) << said;
        if (row.kind == Kind::ReadOnly) {
            EXPECT_EQ(ReadAll(path), "old");
        }
        if (row.kind == Kind::FifoWithoutReader) {
            EXPECT_TRUE(fs::is_fifo(path));
        }
    } else {
        EXPECT_TRUE(written) << said;
        const std::string bytes = WrittenBytes(dir, row.kind, reader);
        if (writer == Writer::MeasureCli) {
            EXPECT_EQ(bytes.rfind("AD7177_DataFile:\r\n", 0), 0u) << bytes.substr(0, 40);
        } else {
            EXPECT_EQ(bytes, expected);
        }
    }
    if (reader >= 0)
        ::close(reader);
}

INSTANTIATE_TEST_SUITE_P(Table, OutputKinds,
                         ::testing::Combine(::testing::ValuesIn(kRows),
                                            ::testing::Values(Writer::DtaSave,
                                                              Writer::AnalysisWriter,
                                                              Writer::MeasureCli)),
                         KindAndWriterName);

// Refused before the work, wherever the work is long: the board is never made.
struct Early {
    const char* name;
    std::vector<std::string> args; // "@fifo": a FIFO nobody reads, "@ro": a read-only folder
    const char* says;
};

class RefusedBeforeTheWork : public ::testing::TestWithParam<Early> {};

TEST_P(RefusedBeforeTheWork, NoBoardIsTouched)
{
    TempDir dir;
    ::mkfifo(dir.Path("fifo.csv").c_str(), 0600);
    fs::create_directory(dir.Path("ro"));
    ::chmod(dir.Path("ro").c_str(), 0555);
    const std::string limits = dir.Write(
        "limits.json", R"({"name": "t", "version": 1, "settings": {"board": "sim", "rate": "10ksps",
        "channels": "ch0", "samples": 100}, "limits": {"ch0": {"rms_uV": {"max": 100}}}})");
    std::vector<std::string> args = GetParam().args;
    for (std::string& a : args) {
        if (a == "@fifo")
            a = dir.Path("fifo.csv");
        else if (a.rfind("@ro", 0) == 0)
            a = dir.Path("ro") + a.substr(3);
        else if (a == "@limits")
            a = limits;
    }
    CountingBoard board;
    const auto r = RunCli(args, board.Env());
    ::chmod(dir.Path("ro").c_str(), 0755);
    EXPECT_EQ(r.code, cli::kExitFailure) << r.err;
    EXPECT_NE(r.err.find(GetParam().says), std::string::npos) << r.err;
    EXPECT_EQ(board.made, 0);
    EXPECT_TRUE(fs::is_empty(dir.Path("ro")));
}

INSTANTIATE_TEST_SUITE_P(
    Commands, RefusedBeforeTheWork,
    ::testing::Values(
        Early{"CaptureToAFifoNobodyReads",
              {"capture", "--board", "sim", "--samples", "20000", "--force", "-o", "@fifo"},
              "nothing reads from it"},
        Early{"CaptureIntoAReadOnlyFolder",
              {"capture", "--board", "sim", "--samples", "20000", "-o", "@ro/c.csv"},
              "/ro is read-only"},
        Early{"KeepDataInAReadOnlyFolder",
              {"test", "--limits", "@limits", "--serial", "SN-1", "--keep-data", "@ro"},
              "/ro is read-only"}),
    [](const auto& info) { return std::string(info.param.name); });

// Two outputs that meet through a link to nothing are the same file.
TEST(OutputNames, ALinkToNothingAndTheNameItPointsToAreNamedTwice)
{
    TempDir dir;
    const std::string data =
        dir.Write("run.DTA", clitest::DtaText(0, std::vector<std::string>(200, "8388608")));
    fs::create_symlink("nothere.x", dir.Path("d.x"));
    const auto r = RunCli({"analyze", data, "--spectrum-csv", dir.Path("d.x"), "--histogram-csv",
                           dir.Path("nothere.x"), "--force"});
    EXPECT_EQ(r.code, cli::kExitUsage) << r.err;
    EXPECT_NE(r.err.find(" is also the file of --"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir.Path("nothere.x")));
}

// A FIFO given as input, with no writer ever: a refusal, not a hang.
class FifoInput : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(FifoInput, IsRefusedWithoutWaiting)
{
    TempDir dir;
    const std::string fifo = dir.Path("in.DTA");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::vector<std::string> args = GetParam();
    for (std::string& a : args) {
        if (a == "@in")
            a = fifo;
        else if (a == "@out")
            a = dir.Path("out.x");
    }
    const auto r = RunCli(args);
    EXPECT_EQ(r.code, cli::kExitFailure) << r.err;
    EXPECT_NE(r.err.find(fifo + ": not a regular file"), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(Commands, FifoInput,
                         ::testing::Values(std::vector<std::string>{"stats", "@in"},
                                           std::vector<std::string>{"plot", "@in", "-o", "@out"},
                                           std::vector<std::string>{"export", "@in"},
                                           std::vector<std::string>{"view", "@in", "-o", "@out"},
                                           std::vector<std::string>{"analyze", "@in"},
                                           std::vector<std::string>{"compare", "@in", "@in"},
                                           std::vector<std::string>{"report", "@in", "-o", "@out"},
                                           std::vector<std::string>{"test", "--limits", "@in",
                                                                    "--serial", "S"}));

} // namespace
