// What test takes in and where its files go: a --db that looks like a URL,
// texts no record can hold, an output that is the database itself, the raw
// data of an unstored result on a full disk, stored later by
// results --import-unsaved, and how a stopped or failed run is stored.

#include "BoardFactory.h"
#include "CliTestSupport.h"
#include "ResultsDb.h"
#include "SimBoard.h"

#include <QDir>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/mount.h>

using clitest::Lines;
using clitest::ReadAll;
using clitest::RunCli;
using namespace mirantos;

namespace {

const std::string kLimits =
    R"({"name": "AFE-7", "version": 3, "settings": {"board": "sim", "rate": "10ksps",
        "filter": "sinc5", "channels": "ch0", "samples": 1000}, "limits": {"ch0": {"rms_uV": {"max": 10}}}})";

// The spool, the unsaved folder and the temporary folder are the test's own.
class Inputs : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : {"XDG_DATA_HOME", "TMPDIR"})
            saved_.push_back(qgetenv(name));
        QDir().mkpath(QString::fromStdString(dir.Path("tmp")));
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dir.Path("xdg")));
        qputenv("TMPDIR", QByteArray::fromStdString(dir.Path("tmp")));
    }
    void TearDown() override
    {
        ::umount2(dir.Path("xdg").c_str(), MNT_DETACH); // where a test mounted one
        int i = 0;
        for (const char* name : {"XDG_DATA_HOME", "TMPDIR"}) {
            const QByteArray& old = saved_[static_cast<size_t>(i++)];
            old.isNull() ? qunsetenv(name) : qputenv(name, old);
        }
    }
    // test with SN-1 into `db` unless `extra` names them ("@x": the file x of the folder).
    clitest::Result Test(std::vector<std::string> extra, const cli::MeasureEnv& env = {})
    {
        std::vector<std::string> args = {"test", "--limits", dir.Write("limits.json", kLimits)};
        for (const char* own : {"--serial", "--db"}) {
            if (std::find(extra.begin(), extra.end(), own) == extra.end())
                args.insert(args.end(), {own, std::string(own) == "--db" ? db : "SN-1"});
        }
        for (const std::string& a : extra)
            args.push_back(a.starts_with("@") ? dir.Path(a.substr(1)) : a);
        return RunCli(args, env);
    }
    size_t Stored(const std::string& url)
    {
        std::string error;
        const auto opened = results::TResultsDb::Open(*results::ParseDbUrl(url, error), error);
        std::vector<results::TRunSummary> runs;
        EXPECT_TRUE(opened && opened->Runs({}, runs, error)) << error;
        return runs.size();
    }

    clitest::TempDir dir;
    std::string db = dir.Path("results.sqlite");

private:
    std::vector<QByteArray> saved_;
};

struct Refusal {
    const char* name;
    std::vector<std::string> args;
    std::string text; // on the error stream
};

void PrintTo(const Refusal& r, std::ostream* os)
{
    *os << r.name;
}

class RefusedInput : public Inputs, public ::testing::WithParamInterface<Refusal> {};

// Refused before the board is touched (exit 2, the option named), the
// database as it was, a password never shown.
TEST_P(RefusedInput, BeforeTheBoardWithTheReasonAndTheDatabaseUntouched)
{
    ASSERT_EQ(Test({}).code, 0);
    const std::string before = ReadAll(db);
    int samples = 0;
    const auto r =
        Test(GetParam().args, {.makeDriver = {}, .onSamples = [&](int n, int) { samples = n; }});
    EXPECT_EQ(r.code, 2) << r.err;
    EXPECT_NE(r.err.find(GetParam().text), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("PW"), std::string::npos) << r.err;
    EXPECT_EQ(samples, 0);
    EXPECT_TRUE(ReadAll(db) == before);
    EXPECT_EQ(Stored(db), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, RefusedInput,
    ::testing::Values(
        Refusal{"OneSlashUrl", {"--db", "postgresql:/qa:PW@db1/noise"}, "postgresql:/qa:***@db1"},
        Refusal{"OtherScheme", {"--db", "file:/srv/r.sqlite"}, "unknown scheme 'file'"},
        Refusal{"LongSerial", {"--serial", std::string(235, 'S')}, "--serial is 235 bytes long"},
        Refusal{"EscapeInOperator", {"--operator", "a\x1b]0;x\x07"}, "--operator holds a control"},
        Refusal{"NotUtf8Station", {"--station", "line\xff"}, "--station is not valid UTF-8"},
        // U+202E would make a listing read "L1" backwards from what is stored.
        Refusal{"BidiInLot", {"--lot", "L\u202e1"}, "--lot holds a bidirectional control"},
        Refusal{"LongDutId", {"--dut-id", std::string(65, 'D')}, "--dut-id is 65 bytes long"},
        Refusal{"NulInPartNumber",
                {"--part-number", std::string("P\0N", 3)},
                "--part-number holds a control"},
        Refusal{"JUnitIsTheDatabase",
                {"--junit", "@results.sqlite", "--force"},
                "is the results database " + std::string("")},
        Refusal{"JUnitIsItsWal", {"--junit", "@results.sqlite-wal", "--force"}, "a file of the"},
        Refusal{"KeepDataIsTheDatabase", {"--keep-data", "@results.sqlite"}, "--keep-data"},
        Refusal{"JUnitIsTheSpool",
                {"--db", "postgresql://qa@127.0.0.1:1/noise", "--junit",
                 "@xdg/mirantos/results.sqlite", "--force"},
                "is the local spool"}),
    [](const auto& info) { return std::string(info.param.name); });

// The database and the unsaved folder on a full disk: no copy that only
// looks kept; the run's own file stays, named, and is stored once there is room.
TEST_F(Inputs, RawDataOnAFullDiskIsHeldNamedAndImportedLater)
{
    namespace fs = std::filesystem;
    const std::string xdg = dir.Path("xdg");
    fs::create_directories(xdg);
    if (::mount("tmpfs", xdg.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "a small tmpfs cannot be mounted here (needs root)";
    fs::create_directories(xdg + "/mirantos/unsaved");
    {
        std::ofstream filler(xdg + "/filler", std::ios::binary);
        const std::string block(4096, 'f');
        while (filler.write(block.data(), block.size()))
            filler.flush();
    }
    const auto r = Test({"--db", xdg + "/mirantos/results.sqlite"});
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
    const std::string marker = "the raw data is kept in ";
    const size_t at = r.err.find(marker);
    ASSERT_NE(at, std::string::npos) << r.err;
    const std::string kept = Lines(r.err.substr(at + marker.size())).front();
    EXPECT_EQ(kept.rfind(dir.Path("tmp/mirantos-unsaved-"), 0), 0u) << kept;
    EXPECT_GT(ReadAll(kept).size(), 10000u);
    EXPECT_TRUE(fs::is_empty(xdg + "/mirantos/unsaved"));

    fs::remove(xdg + "/filler");
    const std::string good = dir.Path("good.sqlite");
    const auto imported = RunCli({"results", "--import-unsaved", "--db", good});
    EXPECT_EQ(imported.code, 0) << imported.err;
    EXPECT_EQ(Stored(good), 1u);
    EXPECT_FALSE(fs::exists(kept));
    EXPECT_EQ(RunCli({"results", "--import-unsaved", "--db", good}).code, 0);
    EXPECT_EQ(Stored(good), 1u);
}

// A stopped run and one whose board failed before ten samples: each stored
// once, as the exit status, the verdict line and the JUnit file say, with the
// part number (the limits file's), lot (the command's), DUT id and board.
struct RunEnd {
    const char* name;
    int samples, signalAt, unplugAt, code; // SIGINT, the board's loss after so many samples
    const char *verdict, *junit;
    const char* stored; // the stored outcome and the reason of its row without a value
};

class StoredRunEnd : public Inputs, public ::testing::WithParamInterface<RunEnd> {};

TEST_P(StoredRunEnd, ExitVerdictJUnitAndOneStoredRun)
{
    const RunEnd& c = GetParam();
    const std::string limits = dir.Write(
        "run.json", R"({"name": "A", "version": 3, "part_number": "PN-7", "lot": "L1", "settings":
            {"board": "sim", "rate": "10ksps", "channels": "ch0", "samples": )" +
                        std::to_string(c.samples) +
                        R"(}, "limits": {"ch0": {"rms_uV": {"max": 10}}}})");
    cli::MeasureEnv env;
    env.makeDriver = [&c](cli::BoardKind, uint64_t) -> std::unique_ptr<IFtdiDriver> {
        SimConfig config;
        config.faults.unplugAtSample = c.unplugAt;
        return MakeSimDriver(config);
    };
    bool raised = false;
    env.onSamples = [&](int received, int) {
        if (c.signalAt >= 0 && received >= c.signalAt && !raised)
            raised = ::raise(SIGINT) == 0;
    };
    const auto r = RunCli({"test", "--limits", limits, "--serial", "SN-1", "--db", db, "--lot",
                           "L2", "--dut-id", "DUT 9", "--junit", dir.Path("r.xml")},
                          env);
    EXPECT_EQ(r.code, c.code) << r.err;
    EXPECT_NE(r.out.find(c.verdict), std::string::npos) << r.out;
    const std::string xml = ReadAll(dir.Path("r.xml"));
    for (const char* part : {R"("part_number" value="PN-7")", R"("lot" value="L2")",
                             R"("dut_id" value="DUT 9")", R"("board_identity" value="")", c.junit})
        EXPECT_NE(xml.find(part), std::string::npos) << part << "\n" << xml;
    EXPECT_EQ(Stored(db), 1u);
    // What the database tells afterwards: the outcome, its reason, the run's fields, and
    // each figure's unit (its reason where it has no value).
    const auto listed = RunCli({"results", "--db", db, "--json"});
    const auto trend = RunCli({"results", "--db", db, "--json", "--figure", "rms_uV"});
    for (const std::string& part :
         {std::string(R"("outcome": ")") + c.stored, std::string(R"("part_number": "PN-7")"),
          std::string(R"("lot": "L2")"), std::string(R"("dut_hw_id": "DUT 9")"),
          std::string(R"("board_kind": "sim")")})
        EXPECT_NE(listed.out.find(part), std::string::npos) << part << "\n" << listed.out;
    EXPECT_EQ(listed.out.find(R"("reason": "")"), std::string::npos) << listed.out;
    EXPECT_NE(trend.out.find(R"("unit": "uV")"), std::string::npos) << trend.out;
}

INSTANTIATE_TEST_SUITE_P(
    Runs, StoredRunEnd,
    ::testing::Values(RunEnd{"StoppedDataSet", 10000, 300, -1, 130,
                             "\nverdict: ABORTED (stopped by Ctrl-C", R"(skipped="2")", "ABORTED"},
                      RunEnd{"StoppedCapture", 20000, 2000, -1, 130, "\nverdict: ABORTED",
                             R"(skipped="2")", "ABORTED"},
                      RunEnd{"ReadErrorBeforeTenSamples", 1000, -1, 5, 3,
                             "\nverdict: FAIL (read error: ",
                             "rms_uV not computed (the noise analysis needs at least 10 samples",
                             "FAIL"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
