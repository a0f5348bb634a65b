// The built tool stopped by a signal while its run's file is being set up:
// SIGINT, SIGTERM and SIGHUP stop it as the stop button does, and SIGKILL
// leaves no empty file under the user's name and nothing the next run trips on.

#include "CliTestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <csignal>
#include <gtest/gtest.h>
#include <tuple>

using clitest::TempDir;

namespace {

enum class Command { Capture, TestKept, TestScratch, TestDataSet };

std::string Limits(int samples, const char* rate)
{
    return std::string(R"({"name": "sig", "version": 1, "settings": {"board": "sim", "rate": ")") +
           rate + R"(", "filter": "sinc5", "channels": "ch0", "samples": )" +
           std::to_string(samples) + R"(}, "limits": {"ch0": {"rms_uV": {"max": 100}}}})";
}

class StopSignal : public ::testing::TestWithParam<std::tuple<Command, int>> {
protected:
    void SetUp() override
    {
        for (const char* sub : {"out", "kept", "tmp", "xdg"})
            QDir().mkpath(Q(dir.Path(sub)));
    }
    static QString Q(const std::string& s) { return QString::fromStdString(s); }

    // The command at 5 sps, so its first sample is far off when the signal comes.
    QStringList Args(Command c, bool quick) const
    {
        const std::string db = dir.Path("xdg/r.sqlite");
        switch (c) {
        case Command::Capture:
            return {"capture",
                    "--board",
                    "sim",
                    "--rate",
                    quick ? "10ksps" : "5sps",
                    "--samples",
                    "1000",
                    "-o",
                    Q(dir.Path("out/c.csv"))};
        case Command::TestKept:
        case Command::TestScratch:
        case Command::TestDataSet: {
            const bool dataSet = c == Command::TestDataSet || quick;
            const std::string limits =
                dir.Write("limits.json", Limits(dataSet ? 1000 : 20000, quick ? "10ksps" : "5sps"));
            QStringList a = {"test", "--limits", Q(limits), "--serial", "SN-1", "--db", Q(db)};
            if (c == Command::TestKept)
                a << "--keep-data" << Q(dir.Path("kept"));
            return a;
        }
        }
        return {};
    }
    // The folder where the command's first file or folder appears.
    std::string Watched(Command c) const
    {
        return dir.Path(c == Command::Capture ? "out" : c == Command::TestKept ? "kept" : "tmp");
    }
    void Start(QProcess& p, const QStringList& args) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TMPDIR"), Q(dir.Path("tmp")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), Q(dir.Path("xdg")));
        p.setProcessEnvironment(env);
        p.setProgram(QStringLiteral(MIRANTOS_CLI_EXE));
        p.setArguments(args);
        p.start();
        ASSERT_TRUE(p.waitForStarted());
    }
    // Every entry below the test's folder, hidden ones included, but the limits file.
    std::vector<QFileInfo> Entries() const
    {
        std::vector<QFileInfo> all;
        QDirIterator it(Q(dir.Path("")),
                        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QFileInfo info(it.next());
            if (info.fileName() != QStringLiteral("limits.json"))
                all.push_back(info);
        }
        return all;
    }
    // Nothing under a user's name is empty; the run's temporaries exist only when `killed`.
    void CheckLeftovers(bool killed, const std::string& when) const
    {
        for (const QFileInfo& e : Entries()) {
            const std::string name = e.fileName().toStdString();
            const bool temp = name.starts_with(".mirantos-") || name.starts_with("mirantos-");
            EXPECT_TRUE(!temp || killed) << when << ": left behind: " << name;
            EXPECT_TRUE(temp || !e.isFile() || e.size() > 0 ||
                        name.find(".sqlite") != std::string::npos)
                << when << ": empty file " << name;
        }
    }

    TempDir dir;
};

TEST_P(StopSignal, LeavesNoEmptyFileAndNoTemporaries)
{
    const auto [command, signal] = GetParam();
    QProcess p;
    Start(p, Args(command, false));
    // The signal comes as soon as the command's first file (or folder) appears.
    const QString watched = Q(Watched(command));
    const QStringList ours = {QStringLiteral("mirantos-*"), QStringLiteral(".mirantos-*"),
                              QStringLiteral("*.csv")};
    const auto filter = QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot;
    bool ended = false;
    while (QDir(watched).entryList(ours, filter).isEmpty() && !ended)
        ended = p.waitForFinished(1);
    ASSERT_FALSE(ended) << p.readAllStandardError().toStdString();
    ::kill(static_cast<pid_t>(p.processId()), signal);
    ASSERT_TRUE(p.waitForFinished(120000));
    const std::string err = p.readAllStandardError().toStdString();

    const bool killed = signal == SIGKILL;
    if (!killed) {
        // As Ctrl-C: the run stops, the command says so and exits 130.
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), 130) << err;
    }
    CheckLeftovers(killed, "after the signal");
    if (!killed)
        return;

    // The next run is not refused, and it clears what the killed one left.
    const bool named = QFileInfo::exists(Q(dir.Path("out/c.csv")));
    QProcess again;
    Start(again, Args(command, true));
    ASSERT_TRUE(again.waitForFinished(120000));
    EXPECT_EQ(again.exitCode(), named ? 1 : 0) << again.readAllStandardError().toStdString();
    CheckLeftovers(false, "after the next run");
}

std::string CaseName(const ::testing::TestParamInfo<std::tuple<Command, int>>& info)
{
    static const char* const commands[] = {"Capture", "TestKept", "TestScratch", "TestDataSet"};
    const int s = std::get<1>(info.param);
    return std::string(commands[static_cast<int>(std::get<0>(info.param))]) +
           (s == SIGINT    ? "Int"
            : s == SIGTERM ? "Term"
            : s == SIGHUP  ? "Hup"
                           : "Kill");
}

INSTANTIATE_TEST_SUITE_P(SignalsTimesCommands, StopSignal,
                         ::testing::Combine(::testing::Values(Command::Capture, Command::TestKept,
                                                              Command::TestScratch,
                                                              Command::TestDataSet),
                                            ::testing::Values(SIGINT, SIGTERM, SIGHUP, SIGKILL)),
                         CaseName);

} // namespace
