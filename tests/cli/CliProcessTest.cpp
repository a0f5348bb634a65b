// The built tool as a user runs it: a separate process, real signals.

#include "CliTestSupport.h"

#include <QProcess>
#include <csignal>
#include <gtest/gtest.h>

using clitest::Lines;
using clitest::TempDir;

namespace {

struct ProcessResult {
    int code = -1;
    QProcess::ExitStatus status = QProcess::CrashExit;
    std::string out;
    std::string err;
};

void StartTool(QProcess& p, const QStringList& args)
{
    p.setProgram(QStringLiteral(MIRANTOS_CLI_EXE));
    p.setArguments(args);
    p.start();
    ASSERT_TRUE(p.waitForStarted());
}

ProcessResult Finish(QProcess& p, std::string err = {})
{
    // A guard against a hung tool, not a measure of speed.
    EXPECT_TRUE(p.waitForFinished(120000));
    ProcessResult r;
    r.code = p.exitCode();
    r.status = p.exitStatus();
    r.out = p.readAllStandardOutput().toStdString();
    r.err = err + p.readAllStandardError().toStdString();
    return r;
}

// Reads the error stream until `text` shows up (or the tool ends).
std::string WaitForError(QProcess& p, const std::string& text)
{
    std::string err;
    p.setReadChannel(QProcess::StandardError);
    while (err.find(text) == std::string::npos && p.state() == QProcess::Running) {
        if (p.waitForReadyRead(60000))
            err += p.readAllStandardError().toStdString();
        else
            break;
    }
    return err;
}

ProcessResult RunTool(const QStringList& args)
{
    QProcess p;
    StartTool(p, args);
    return Finish(p);
}

} // namespace

TEST(ToolProcess, VersionAndUsageExitCodes)
{
    const auto v = RunTool({"--version"});
    EXPECT_EQ(v.status, QProcess::NormalExit);
    EXPECT_EQ(v.code, 0);
    EXPECT_EQ(v.out, "mirantos-cli 1.10\n");
    EXPECT_EQ(v.err, "");

    const auto bad = RunTool({"measure", "--rate", "fast"});
    EXPECT_EQ(bad.code, 2);
    EXPECT_NE(bad.err.find("Usage: mirantos-cli measure"), std::string::npos);
}

TEST(ToolProcess, MeasureOnTheSimulatedBoardPrintsTheUtf8Readout)
{
    TempDir dir;
    const QString file = QString::fromStdString(dir.Path("p.DTA"));
    const auto r = RunTool({"measure", "--board", "sim", "--seed", "3", "--rate", "10ksps",
                            "--count", "100", "-o", file});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.rfind("CH0 : 最大値：", 0), 0u) << r.out;
    const auto stats = RunTool({"stats", file});
    EXPECT_EQ(stats.out, r.out);
}

TEST(ToolProcess, CtrlCStopsLikeTheStopButtonAndKeepsTheSamples)
{
    TempDir dir;
    const QString file = QString::fromStdString(dir.Path("int.DTA"));
    QProcess p;
    StartTool(p, {"measure", "--board", "sim", "--rate", "100sps", "--count", "1000", "-o", file});
    // The first progress line comes at 100 samples.
    const std::string seen = WaitForError(p, " 10% ");
    ASSERT_NE(seen.find(" 10% "), std::string::npos) << seen;
    ::kill(static_cast<pid_t>(p.processId()), SIGINT);
    const auto r = Finish(p, seen);

    EXPECT_EQ(r.status, QProcess::NormalExit);
    EXPECT_EQ(r.code, 130) << r.err;
    EXPECT_NE(r.err.find("計測中止しました"), std::string::npos) << r.err;
    ASSERT_TRUE(clitest::FileExists(file.toStdString()));
    EXPECT_EQ(RunTool({"stats", file}).out, r.out);
    const size_t rows = Lines(RunTool({"export", file}).out).size() - 1;
    EXPECT_GE(rows, 100u);
    EXPECT_LT(rows, 1000u);
}

TEST(ToolProcess, CtrlCRightAfterTheStartDiscardsTheFewSamples)
{
    TempDir dir;
    const QString file = QString::fromStdString(dir.Path("few.DTA"));
    QProcess p;
    // 5 samples a second: the stop comes long before the tenth.
    StartTool(p, {"measure", "--board", "sim", "--rate", "5sps", "--count", "1000", "-o", file});
    const std::string seen = WaitForError(p, "計測中です");
    ASSERT_NE(seen.find("計測中です"), std::string::npos) << seen;
    ::kill(static_cast<pid_t>(p.processId()), SIGINT);
    const auto r = Finish(p, seen);

    EXPECT_EQ(r.code, 130) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(clitest::FileExists(file.toStdString()));
}
