// The built tool stopped by a signal while its run's file is being set up:
// SIGINT, SIGTERM and SIGHUP stop it as the stop button does, and SIGKILL
// leaves no empty file under the user's name and nothing the next run trips on.

#include "CliTestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <csignal>
#include <cstring>
#include <gtest/gtest.h>
#include <tuple>

namespace {

enum Command { Capture, TestKept, TestScratch, TestDataSet };

class StopSignal : public ::testing::TestWithParam<std::tuple<Command, int>> {
protected:
    QString Q(const std::string& name) const { return QString::fromStdString(dir.Path(name)); }

    // At 5 sps the first sample is far off when the signal comes; `quick` is the next run.
    void Start(QProcess& p, Command c, bool quick) const
    {
        const QString rate = quick ? "10ksps" : "5sps";
        QStringList args = {"capture",   "--board", "sim", "--rate",      rate,
                            "--samples", "1000",    "-o",  Q("out/c.csv")};
        if (c != Capture) {
            const int samples = c == TestDataSet || quick ? 1000 : 20000;
            dir.Write("limits.json",
                      R"({"name": "sig", "version": 1, "settings": {"board": "sim", "rate": ")" +
                          rate.toStdString() + R"(", "channels": "ch0", "samples": )" +
                          std::to_string(samples) +
                          R"(}, "limits": {"ch0": {"rms_uV": {"max": 100}}}})");
            args = {"test", "--limits", Q("limits.json"), "--serial",
                    "SN-1", "--db",     Q("xdg/r.sqlite")};
            if (c == TestKept)
                args << "--keep-data" << Q("kept");
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TMPDIR", Q("tmp"));
        env.insert("XDG_DATA_HOME", Q("xdg"));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(MIRANTOS_CLI_EXE), args);
        ASSERT_TRUE(p.waitForStarted());
    }
    // Nothing under a user's name is empty; the run's temporaries exist only when `killed`.
    void CheckLeftovers(bool killed, const char* when) const
    {
        QDirIterator it(Q(""),
                        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            it.next();
            const std::string name = it.fileName().toStdString();
            const bool temp = name.starts_with(".mirantos-") || name.starts_with("mirantos-");
            EXPECT_TRUE(!temp || killed) << when << ": left behind: " << name;
            EXPECT_TRUE(temp || !it.fileInfo().isFile() || it.fileInfo().size() > 0 ||
                        name.ends_with(".sqlite") || name == "limits.json")
                << when << ": empty file " << name;
        }
    }

    clitest::TempDir dir;
};

TEST_P(StopSignal, LeavesNoEmptyFileAndNoTemporaries)
{
    const auto [command, signal] = GetParam();
    for (const char* sub : {"out", "kept", "tmp", "xdg"})
        QDir().mkpath(Q(sub));
    QProcess p;
    Start(p, command, false);
    // The signal comes as soon as the command's first file (or folder) appears.
    const QDir watched(Q(command == Capture ? "out" : command == TestKept ? "kept" : "tmp"));
    bool ended = false;
    while (!ended && watched
                         .entryList({"mirantos-*", ".mirantos-*", "*.csv"},
                                    QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                         .isEmpty())
        ended = p.waitForFinished(1);
    ASSERT_FALSE(ended) << p.readAllStandardError().toStdString();
    ::kill(static_cast<pid_t>(p.processId()), signal);
    ASSERT_TRUE(p.waitForFinished(120000));

    const bool killed = signal == SIGKILL;
    CheckLeftovers(killed, "after the signal");
    if (!killed) {
        // As Ctrl-C: the run stops, the command says so and exits 130.
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), 130) << p.readAllStandardError().toStdString();
        return;
    }
    // The next run is not refused, and it clears what the killed one left.
    const bool named = QFileInfo::exists(Q("out/c.csv"));
    QProcess again;
    Start(again, command, true);
    ASSERT_TRUE(again.waitForFinished(120000));
    EXPECT_EQ(again.exitCode(), named ? 1 : 0) << again.readAllStandardError().toStdString();
    CheckLeftovers(false, "after the next run");
}

std::string CaseName(const ::testing::TestParamInfo<std::tuple<Command, int>>& info)
{
    static const char* const names[] = {"Capture", "TestKept", "TestScratch", "TestDataSet"};
    return std::string(names[std::get<0>(info.param)]) + sigabbrev_np(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(SignalsTimesCommands, StopSignal,
                         ::testing::Combine(::testing::Values(Capture, TestKept, TestScratch,
                                                              TestDataSet),
                                            ::testing::Values(SIGINT, SIGTERM, SIGHUP, SIGKILL)),
                         CaseName);

} // namespace
