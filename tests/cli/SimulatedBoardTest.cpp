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
using clitest::TempDir;
using namespace mirantos;

namespace {

struct RealBoardStandIn : SimBoardDriver {
    using SimBoardDriver::SimBoardDriver;
    bool Simulated() const override { return false; }
};

class BoardNamed : public ::testing::TestWithParam<bool> {};

// Each output of a capture (and of a test run) from the board: what says the
// board is simulated, and what names the other board instead.
TEST_P(BoardNamed, OnlyTheSimulatedBoardsDataSaysSimulated)
{
    const bool simulated = GetParam();
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
    auto run = [&](const std::vector<std::string>& args) {
        const auto r = clitest::RunCli(args, env);
        return r.out + r.err;
    };
    const std::string c = d.Path("c.csv");
    run({"capture", "--rate", "10ksps", "--channels", "ch0", "--samples", "2000", "-o", c});
    ASSERT_TRUE(clitest::FileExists(c));
    QFile::copy(QString::fromStdString(c), QString::fromStdString(d.Path("d.csv")));
    run({"report", "-o", d.Path("r.pdf"), c});
    QProcess pdf;
    pdf.start("pdftotext", {"-enc", "UTF-8", QString::fromStdString(d.Path("r.pdf")), "-"});
    pdf.waitForFinished(60000);
    const std::string limits = d.Write("l.json", R"({"name": "AFE-7", "version": 1, "settings":
        {"board": "usb", "rate": "10ksps", "channels": "ch0", "samples": 1000},
        "limits": {"ch0": {"rms_uV": {"max": 100}}}})");
    const std::string test = run({"test", "--limits", limits, "--serial", "SN-9", "--db",
                                  d.Path("r.sqlite"), "--junit", d.Path("r.xml")});
    qunsetenv("XDG_DATA_HOME");
    const std::string said[] = {
        ReadAll(c),
        run({"analyze", c}) + run({"analyze", "--json", c}),
        run({"compare", c, d.Path("d.csv")}) + pdf.readAllStandardOutput().toStdString(),
        test + ReadAll(d.Path("r.xml")),
    };
    struct Named {
        std::vector<std::string> simulated; // each in the simulated board's output
        std::string real;                   // in the other board's (where none of those is)
    };
    const Named named[] = {
        {{"\n# board: MIRANTOS 1.10 (simulated)\n"}, "\n# board: MIRANTOS 1.10\n"},
        {{"board             MIRANTOS 1.10 (simulated board)\n",
          R"("board":"MIRANTOS 1.10","simulated_board":true})"},
         R"("board":"MIRANTOS 1.10","simulated_board":false})"},
        {{"MIRANTOS 1.10 (simulated board)",
          std::string("MIRANTOS 1.10") + text::ReportSimulatedBoard, text::ReportSimulatedNote},
         "MIRANTOS 1.10"},
        {{"board: simulated (the built-in simulated board, not a real one)\n",
          R"x(<testsuite name="AFE-7 (simulated board)")x",
          R"(<property name="board" value="simulated"/>)"},
         R"(<property name="board" value="usb"/>)"},
    };
    for (size_t i = 0; i < std::size(named); ++i) {
        for (const std::string& s : named[i].simulated) {
            EXPECT_EQ(said[i].find(s) != std::string::npos, simulated) << s << " in:\n" << said[i];
        }
        EXPECT_TRUE(simulated || said[i].find(named[i].real) != std::string::npos)
            << named[i].real << " not in:\n"
            << said[i];
    }
}

INSTANTIATE_TEST_SUITE_P(Outputs, BoardNamed, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Simulated" : "Real"; });

} // namespace
