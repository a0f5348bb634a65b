// Simulated data is never passed off as real: each output that names the
// board says so for the simulated board's data and not for another board's.
// The simulated board answers "?", "U?" and "V?" as a real one does, so the
// stand-in for the real board is the same model with only the driver's word changed.

#include "BoardFactory.h"
#include "CliTestSupport.h"
#include "ReportTexts.h"

#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

using clitest::ReadAll;
using clitest::RunCli;
using clitest::TempDir;
using namespace mirantos;

namespace {

struct RealBoardStandIn : SimBoardDriver {
    using SimBoardDriver::SimBoardDriver;
    bool Simulated() const override { return false; }
};

// The file `c.csv` (captured from the board) or a command's output on it.
using Produce = std::string (*)(const TempDir& d, const cli::MeasureEnv& env);

std::string Out(const std::vector<std::string>& args, const cli::MeasureEnv& env = {})
{
    const auto r = RunCli(args, env);
    return r.out + r.err;
}

std::string NoiseTest(const TempDir& d, const cli::MeasureEnv& env)
{
    const std::string limits = d.Write("l.json", R"({"name": "AFE-7", "version": 1, "settings":
        {"board": "usb", "rate": "10ksps", "channels": "ch0", "samples": 1000},
        "limits": {"ch0": {"rms_uV": {"max": 100}}}})");
    const std::string out = Out({"test", "--limits", limits, "--serial", "SN-9", "--db",
                                 d.Path("r.sqlite"), "--junit", d.Path("r.xml")},
                                env);
    return out + ReadAll(d.Path("r.xml"));
}

struct Output {
    const char* name;
    Produce produce;
    std::vector<std::string> simulated; // each in the simulated board's output
    std::string real;                   // in the other board's (where none of those is)
};

const Output kOutputs[] = {
    {"CaptureHeader",
     [](const TempDir& d, const cli::MeasureEnv&) { return ReadAll(d.Path("c.csv")); },
     {"\n# board: MIRANTOS 1.10 (simulated)\n"},
     "\n# board: MIRANTOS 1.10\n"},
    {"Analyze",
     [](const TempDir& d, const cli::MeasureEnv&) {
         return Out({"analyze", d.Path("c.csv")}) + Out({"analyze", "--json", d.Path("c.csv")});
     },
     {"board             MIRANTOS 1.10 (simulated board)\n",
      R"("board":"MIRANTOS 1.10","simulated_board":true})"},
     R"("board":"MIRANTOS 1.10","simulated_board":false})"},
    {"CompareAndReportPdf",
     [](const TempDir& d, const cli::MeasureEnv&) {
         QFile::copy(QString::fromStdString(d.Path("c.csv")),
                     QString::fromStdString(d.Path("d.csv")));
         Out({"report", "-o", d.Path("r.pdf"), d.Path("c.csv")});
         QProcess p;
         p.start("pdftotext", {"-enc", "UTF-8", QString::fromStdString(d.Path("r.pdf")), "-"});
         p.waitForFinished(60000);
         return Out({"compare", d.Path("c.csv"), d.Path("d.csv")}) +
                p.readAllStandardOutput().toStdString();
     },
     {"MIRANTOS 1.10 (simulated board)", std::string("MIRANTOS 1.10") + text::ReportSimulatedBoard,
      text::ReportSimulatedNote},
     "MIRANTOS 1.10"},
    {"TestVerdictAndJUnit",
     NoiseTest,
     {"board: simulated (the built-in simulated board, not a real one)\n",
      R"x(<testsuite name="AFE-7 (simulated board)")x",
      R"(<property name="board" value="simulated"/>)"},
     R"(<property name="board" value="usb"/>)"},
};

class BoardNamed : public ::testing::TestWithParam<std::tuple<Output, bool>> {};

TEST_P(BoardNamed, OnlyTheSimulatedBoardsDataSaysSimulated)
{
    const auto& [o, simulated] = GetParam();
    TempDir d;
    // test's spool lives there, not in the user's data folder.
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(d.Path("xdg")));
    cli::MeasureEnv env;
    env.makeDriver = [simulated](cli::BoardKind, uint64_t) -> std::unique_ptr<IFtdiDriver> {
        // The board's clock moves with every look at it: no run waits for wall time.
        auto clock = std::make_shared<ManualClock>();
        clock->SetAutoStepUs(5000);
        SimConfig config;
        config.clock = clock;
        if (simulated)
            return MakeSimDriver(config);
        return std::make_unique<RealBoardStandIn>(config);
    };
    const auto capture = RunCli({"capture", "--rate", "10ksps", "--channels", "ch0", "--samples",
                                 "2000", "-o", d.Path("c.csv")},
                                env);
    ASSERT_EQ(capture.code, 0) << capture.err;
    const std::string said = o.produce(d, env);
    qunsetenv("XDG_DATA_HOME");
    for (const std::string& s : o.simulated) {
        EXPECT_EQ(said.find(s) != std::string::npos, simulated) << s << " in:\n" << said;
    }
    if (!simulated) {
        EXPECT_NE(said.find(o.real), std::string::npos) << o.real << " not in:\n" << said;
    }
}

INSTANTIATE_TEST_SUITE_P(Outputs, BoardNamed,
                         ::testing::Combine(::testing::ValuesIn(kOutputs), ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) ? "Simulated" : "Real");
                         });

} // namespace
