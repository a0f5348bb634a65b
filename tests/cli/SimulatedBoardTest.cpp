// Simulated data is never passed off as real: every output that names the
// board (the capture's header, analyze's table and JSON, compare's table, the
// PDF report, test's verdict and its JUnit XML) says so when the board was
// the simulated one, and says nothing of it for a board that is not. The
// simulated board answers "?", "U?" and "V?" as a real one does, so the
// stand-in for the real board below is the same firmware model with only the
// driver's own word changed.

#include "BoardFactory.h"
#include "CliTestSupport.h"
#include "ReportTexts.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

using clitest::ReadAll;
using clitest::RunCli;
using clitest::TempDir;
using namespace mirantos;

namespace {

class RealBoardStandIn : public SimBoardDriver {
public:
    using SimBoardDriver::SimBoardDriver;
    bool Simulated() const override { return false; }
};

cli::MeasureEnv Board(bool simulated)
{
    cli::MeasureEnv env;
    env.makeDriver = [simulated](cli::BoardKind, uint64_t) -> std::unique_ptr<IFtdiDriver> {
        // The board's clock moves with every look at it: no run waits for wall time.
        auto clock = std::make_shared<ManualClock>();
        clock->SetAutoStepUs(5000);
        SimConfig config;
        config.seed = 5;
        config.clock = clock;
        if (simulated)
            return MakeSimDriver(config);
        return std::make_unique<RealBoardStandIn>(config);
    };
    return env;
}

std::string PdfText(const std::string& path)
{
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdftotext.isEmpty())
        return "pdftotext is missing (poppler-utils)";
    QProcess p;
    p.start(pdftotext, {QStringLiteral("-enc"), QStringLiteral("UTF-8"),
                        QString::fromStdString(path), QStringLiteral("-")});
    p.waitForFinished(60000);
    return p.readAllStandardOutput().toStdString();
}

// What an output says; `dir` holds the capture "c.csv" of the board.
using Produce = std::function<std::string(const TempDir& dir, const cli::MeasureEnv& env)>;

std::string Stdout(const std::vector<std::string>& args, const cli::MeasureEnv& env = {})
{
    const auto r = RunCli(args, env);
    return r.code == 0 || r.code == 4 ? r.out : "exit " + std::to_string(r.code) + ": " + r.err;
}

std::string NoiseTest(const TempDir& dir, const cli::MeasureEnv& env, bool junit)
{
    const std::string limits =
        dir.Write("limits.json", R"({"name": "AFE-7", "version": 1, "settings": {"board": "usb",
        "rate": "10ksps", "filter": "sinc5", "channels": "ch0", "samples": 1000},
        "limits": {"ch0": {"rms_uV": {"max": 100}}}})");
    const std::string out = Stdout({"test", "--limits", limits, "--serial", "SN-9", "--db",
                                    dir.Path("r.sqlite"), "--junit", dir.Path("r.xml")},
                                   env);
    return junit ? ReadAll(dir.Path("r.xml")) : out;
}

struct Output {
    const char* name;
    Produce produce;
    std::vector<std::string> simulated; // each in the output of the simulated board's data
    std::string real;                   // in the output of the other board's data
    std::string absentForReal = "simulated";
};

void PrintTo(const Output& o, std::ostream* os)
{
    *os << o.name;
}

std::string Capture(const TempDir& d, const cli::MeasureEnv&)
{
    return ReadAll(d.Path("c.csv"));
}
std::string AnalyzeTable(const TempDir& d, const cli::MeasureEnv&)
{
    return Stdout({"analyze", d.Path("c.csv")});
}
std::string AnalyzeJson(const TempDir& d, const cli::MeasureEnv&)
{
    const auto j =
        nlohmann::json::parse(Stdout({"analyze", "--json", d.Path("c.csv")}), nullptr, false);
    if (!j.is_object())
        return "no JSON";
    return j.value("board", "-") +
           " simulated_board=" + j.value("simulated_board", nlohmann::json()).dump();
}
std::string CompareTable(const TempDir& d, const cli::MeasureEnv&)
{
    QFile::copy(QString::fromStdString(d.Path("c.csv")), QString::fromStdString(d.Path("d.csv")));
    return Stdout({"compare", d.Path("c.csv"), d.Path("d.csv")});
}
std::string ReportPdf(const TempDir& d, const cli::MeasureEnv&)
{
    const std::string run = Stdout({"report", "-o", d.Path("r.pdf"), d.Path("c.csv")});
    return PdfText(d.Path("r.pdf")) + run;
}
std::string TestVerdict(const TempDir& d, const cli::MeasureEnv& env)
{
    return NoiseTest(d, env, false);
}
std::string TestJUnit(const TempDir& d, const cli::MeasureEnv& env)
{
    return NoiseTest(d, env, true);
}

const Output kOutputs[] = {
    {"CaptureHeader",
     Capture,
     {"\n# board: MIRANTOS 1.10 (simulated)\n"},
     "\n# board: MIRANTOS 1.10\n"},
    {"AnalyzeTable",
     AnalyzeTable,
     {"board             MIRANTOS 1.10 (simulated board)\n"},
     "board             MIRANTOS 1.10\n"},
    {"AnalyzeJson",
     AnalyzeJson,
     {"MIRANTOS 1.10 simulated_board=true"},
     "MIRANTOS 1.10 simulated_board=false",
     "=true"},
    {"CompareTable", CompareTable, {"MIRANTOS 1.10 (simulated board)"}, "MIRANTOS 1.10"},
    {"ReportPdf",
     ReportPdf,
     {std::string("MIRANTOS 1.10") + text::ReportSimulatedBoard, text::ReportSimulatedNote},
     "MIRANTOS 1.10",
     "シミュレーション"},
    {"TestVerdict",
     TestVerdict,
     {"board: simulated (the built-in simulated board, not a real one)\n"},
     "verdict: PASS\n"},
    {"TestJUnit",
     TestJUnit,
     {R"x(<testsuite name="AFE-7 (simulated board)")x",
      R"(<property name="board" value="simulated"/>)"},
     R"(<property name="board" value="usb"/>)"},
};

class BoardNamed : public ::testing::TestWithParam<std::tuple<Output, bool>> {
protected:
    void SetUp() override
    {
        old_ = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dir_.Path("xdg")));
    }
    void TearDown() override
    {
        if (old_.isNull())
            qunsetenv("XDG_DATA_HOME");
        else
            qputenv("XDG_DATA_HOME", old_);
    }
    TempDir dir_;

private:
    QByteArray old_;
};

TEST_P(BoardNamed, OnlyTheSimulatedBoardsDataSaysSimulated)
{
    const auto& [o, simulated] = GetParam();
    const cli::MeasureEnv env = Board(simulated);
    const auto capture = RunCli({"capture", "--rate", "10ksps", "--channels", "ch0", "--samples",
                                 "2000", "-o", dir_.Path("c.csv")},
                                env);
    ASSERT_EQ(capture.code, 0) << capture.err;
    const std::string said = o.produce(dir_, env);
    if (simulated) {
        for (const std::string& s : o.simulated)
            EXPECT_NE(said.find(s), std::string::npos) << s << " not in:\n" << said;
    } else {
        EXPECT_NE(said.find(o.real), std::string::npos) << said;
        EXPECT_EQ(said.find(o.absentForReal), std::string::npos) << said;
    }
}

INSTANTIATE_TEST_SUITE_P(Outputs, BoardNamed,
                         ::testing::Combine(::testing::ValuesIn(kOutputs), ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) ? "Simulated" : "Real");
                         });

} // namespace
