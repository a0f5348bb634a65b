// results on a real database with stored runs: which rows a page shows and
// how the next one is named, on SQLite and PostgreSQL; and what the terminal
// and a spreadsheet receive from hostile stored texts.

#include "CliTestSupport.h"
#include "PgCluster.h"
#include "ResultsDb.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <iterator>
#include <tuple>

using clitest::Lines;
using clitest::RunCli;
using clitest::TempDir;
using namespace mirantos;
using Engine = results::TDbTarget::Engine;

namespace {

results::TRunRecord StoredRun(const std::string& uuid, const std::string& serial,
                              const std::string& started, const std::string& test, bool pass)
{
    results::TRunRecord r;
    r.uuid = uuid;
    r.serial = serial;
    r.operatorName = "sato";
    r.station = "bench-1";
    r.testName = test;
    r.testVersion = "1";
    r.testContent = "{}";
    r.testSha256 = "sha-" + test;
    r.startedUtc = r.endedUtc = started;
    r.settingsJson = "{}";
    r.outcome = pass ? results::ERunOutcome::Pass : results::ERunOutcome::Fail;
    r.programVersion = "1.10";
    r.measurements = {{0, "rms_uV", -0.5, std::nullopt, 0.8, pass},
                      {1, "rms_uV", 0.5, 0.1, 0.8, true}};
    return r;
}

// Stores the runs into a fresh database of `engine`; its URL, empty on failure.
std::string Store(Engine engine, TempDir& dir, const std::vector<results::TRunRecord>& runs)
{
    static int count = 0;
    const std::string name = "listing" + std::to_string(++count);
    std::string url = dir.Path(name + ".sqlite"), error;
    if (engine == Engine::Postgres) {
        static const auto cluster = mirantos::testing::TPgCluster::Start(error);
        if (!cluster || !cluster->CreateDatabase(name, error)) {
            ADD_FAILURE() << error;
            return "";
        }
        url = cluster->Url(name);
    }
    const auto db = results::TResultsDb::Open(*results::ParseDbUrl(url, error), error);
    bool inserted = false;
    for (const auto& r : runs)
        if (!db || !db->Insert(r, inserted, error)) {
            ADD_FAILURE() << error;
            return "";
        }
    return url;
}

// The second CSV column (the serial) of each row.
std::string Serials(const std::string& csv)
{
    std::string serials;
    const auto lines = Lines(csv);
    for (size_t i = 1; i < lines.size(); ++i)
        serials += lines[i].substr(lines[i].find(',') + 1, 2) + " ";
    return serials;
}

struct Page {
    std::vector<std::string> args;
    int code;
    std::string serials; // the rows shown, in order
    std::string err;     // what stderr says ("" : nothing)
};

class ResultsListing : public ::testing::TestWithParam<Engine> {};

TEST_P(ResultsListing, ShowsThePageAskedForAndNamesTheNext)
{
    TempDir dir;
    // Stored out of time order; S2 and S3 start together (then the row order holds).
    const std::string url = Store(GetParam(), dir,
                                  {StoredRun("u5", "S5", "2026-12-03T08:00:00.000Z", "A", true),
                                   StoredRun("u2", "S2", "2026-12-01T09:00:00.000Z", "A", true),
                                   StoredRun("u1", "S1", "2026-12-01T08:00:00.000Z", "A", true),
                                   StoredRun("u3", "S3", "2026-12-01T09:00:00.000Z", "B", true),
                                   StoredRun("u4", "S4", "2026-12-02T08:00:00.000Z", "B", false)});
    ASSERT_FALSE(url.empty());
    const std::string next = "more rows follow; the next page: the same command with ";
    const Page pages[] = {
        {{}, 0, "S1 S2 S3 S4 S5 ", ""},
        {{"--limit", "2"}, 0, "S1 S2 ", next + "--after u2\n"},
        {{"--limit", "2", "--after", "u2"}, 0, "S3 S4 ", next + "--after u4\n"},
        {{"--limit", "2", "--offset", "2"}, 0, "S3 S4 ", next + "--after u4 (without --offset)\n"},
        {{"--after", "u4"}, 0, "S5 ", ""},
        {{"--limit", "0", "--offset", "3"}, 0, "S4 S5 ", ""},
        {{"--since", "2026-12-01T09:00Z", "--limit", "1"}, 0, "S2 ", next + "--after u2\n"},
        {{"--test", "B", "--limit", "1", "--after", "u3"}, 0, "S4 ", ""},
        {{"--failed", "--limit", "1"}, 0, "S4 ", ""},
        {{"--figure", "rms_uV", "--limit", "3"}, 0, "S1 S1 S2 ", next + "--offset 3\n"},
        {{"--figure", "rms_uV", "--test", "A", "--since", "2026-12-02"}, 0, "S5 S5 ", ""},
        {{"--figure", "rms_uV", "--offset", "8"}, 0, "S5 S5 ", ""},
        {{"--after", "u9"}, 1, "", "no stored run has the uuid u9"},
        {{"--limit", "-1"}, 2, "", "--limit takes a number of rows"},
        {{"--figure", "rms_uV", "--after", "u2"}, 0, "S3 S3 S4 S4 S5 S5 ", ""},
        {{"--figure", "rms_uV", "--test", "A", "--after", "u2"}, 0, "S5 S5 ", ""},
        {{"--figure", "rms_uV", "--test", "A", "--after", "u9"}, 1, "", "no stored run has"},
    };
    for (const Page& p : pages) {
        std::vector<std::string> args = {"results", "--db", url, "--csv"};
        args.insert(args.end(), p.args.begin(), p.args.end());
        const auto r = RunCli(args);
        SCOPED_TRACE(::testing::PrintToString(p.args));
        EXPECT_EQ(r.code, p.code) << r.err;
        if (p.code == 0) {
            EXPECT_EQ(Serials(r.out), p.serials);
            EXPECT_EQ(r.err, p.err);
        } else {
            EXPECT_NE(r.err.find(p.err), std::string::npos) << r.err;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, ResultsListing,
                         ::testing::Values(Engine::Sqlite, Engine::Postgres), [](const auto& info) {
                             return info.param == Engine::Sqlite ? "SQLite" : "PostgreSQL";
                         });

// A serial as stored, as the table shows it, and as its CSV cell.
struct Hostile {
    std::string stored, terminal, csv;
};

TEST(ResultsText, TerminalGetsNoControlsSpreadsheetNoFormulas)
{
    const Hostile cases[] = {
        {"SN\x1b[2J\x1b[31mRED", "SN\\x1b[2J\\x1b[31mRED", "SN\x1b[2J\x1b[31mRED"},
        {"\x1b]0;owned\x07", "\\x1b]0;owned\\x07", "\x1b]0;owned\x07"},
        {"SN\xc2\x9b"
         "1m",
         "SN\\x9b1m",
         "SN\xc2\x9b"
         "1m"}, // the 8-bit CSI
        {"A\rB\nC\x7f", "A\\x0dB\\x0aC\\x7f", "\"A\rB\nC\x7f\""},
        {"=HYPERLINK(\"http://x\",\"y\")", "=HYPERLINK(\"http://x\",\"y\")",
         "\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\""},
        {"+1+2", "+1+2", "'+1+2"},
        {"-2+3", "-2+3", "'-2+3"},
        {"@SUM(A1)", "@SUM(A1)", "'@SUM(A1)"},
        {"\tTAB", "\\x09TAB", "'\tTAB"},
        {"-0.5", "-0.5", "-0.5"}, // a number stays a number
        {"1e-3", "1e-3", "1e-3"},
        {"基板-7", "基板-7", "基板-7"},
        // Right-to-left override and isolates: "SN-1" shown as it is stored, not reversed.
        {"SN-\u202e1-A\u2066x\u2069", "SN-\\u202e1-A\\u2066x\\u2069", "SN-\u202e1-A\u2066x\u2069"},
    };
    TempDir dir;
    std::vector<results::TRunRecord> runs;
    for (size_t i = 0; i < std::size(cases); ++i)
        runs.push_back(StoredRun("u" + std::to_string(i), cases[i].stored,
                                 "2026-12-01T08:00:0" + std::to_string(i % 10) + ".00" +
                                     std::to_string(i / 10) + "Z",
                                 "A", true));
    const std::string url = Store(Engine::Sqlite, dir, runs);
    const auto table = RunCli({"results", "--db", url});
    const auto csv = RunCli({"results", "--db", url, "--csv"});
    ASSERT_TRUE(table.code == 0 && csv.code == 0) << table.err << csv.err;
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].terminal);
        const std::string started = runs[i].startedUtc;
        EXPECT_NE(table.out.find(started + "  " + cases[i].terminal + "  "), std::string::npos)
            << table.out;
        EXPECT_NE(csv.out.find(started + "," + cases[i].csv + ","), std::string::npos) << csv.out;
    }
    for (char c : table.out)
        EXPECT_TRUE((static_cast<unsigned char>(c) >= 0x20 && c != 0x7f) || c == '\n');
}

} // namespace

namespace {

// What a script reads: every run field in --json and at the end of each CSV
// row (the older columns where they were), every point field in the trend's JSON.
TEST(ResultsFields, JsonAndCsvCarryTheWholeRecord)
{
    results::TRunRecord r = StoredRun("u1", "S1", "2026-12-01T08:00:00.000Z", "A", false);
    r.outcome = results::ERunOutcome::Aborted;
    std::tie(r.outcomeReason, r.partNumber, r.lot, r.dutHardwareId, r.boardKind, r.boardIdentity) =
        std::tuple("stopped", "PN-7", "L-42", "DUT-9", "usb", "FT 1");
    r.measurements[0].unit = "uV";
    r.measurements[0].bandLowHz = 0.1;
    r.measurements[1].reason = "too short";
    TempDir dir;
    const std::string url = Store(Engine::Sqlite, dir, {r});
    const auto json = RunCli({"results", "--db", url, "--json"});
    const auto csv = RunCli({"results", "--db", url, "--csv"});
    const auto trend = RunCli({"results", "--db", url, "--figure", "rms_uV", "--json"});
    ASSERT_TRUE(json.code == 0 && csv.code == 0 && trend.code == 0) << json.err << trend.err;
    auto run = nlohmann::json::parse(json.out).at(0);
    EXPECT_EQ(run["received_utc"].get<std::string>().substr(0, 2), "20");
    run.erase("received_utc");
    EXPECT_EQ(run.dump(),
              R"({"board_identity":"FT 1","board_kind":"usb","data_path":"","data_sha256":"",)"
              R"("dut_hw_id":"DUT-9","ended_utc":"2026-12-01T08:00:00.000Z","failed_limits":1,)"
              R"("lot":"L-42","operator":"sato","outcome":"ABORTED","part_number":"PN-7",)"
              R"("pass":false,"reason":"stopped","serial":"S1",)"
              R"("started_utc":"2026-12-01T08:00:00.000Z","station":"bench-1","test":"A",)"
              R"("test_version":"1","uuid":"u1"})");
    const auto lines = Lines(csv.out);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0] + "\n" + lines[1].substr(0, lines[1].size() - 24),
              "started_utc,serial,test,version,verdict,failed,operator,station,uuid,ended_utc,"
              "data_path,data_sha256,outcome,reason,part_number,lot,dut_hw_id,board_kind,"
              "board_identity,received_utc\n2026-12-01T08:00:00.000Z,S1,A,1,ABORTED,1,sato,"
              "bench-1,u1,2026-12-01T08:00:00.000Z,,,ABORTED,stopped,PN-7,L-42,DUT-9,usb,FT 1,");
    const auto points = nlohmann::json::parse(trend.out).at("points");
    EXPECT_EQ(points[0]["unit"].dump() + points[0]["band_low_hz"].dump() +
                  points[1]["band_high_hz"].dump() + points[1]["reason"].dump(),
              "\"uV\"0.1null\"too short\"");
}

} // namespace
