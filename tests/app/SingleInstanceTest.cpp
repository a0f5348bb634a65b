// One copy per user: the lock, the running copy's socket, a second copy's exit.

#include "SingleInstance.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

TEST(SingleInstance, SecondLockFailsUntilTheFirstGoesAway)
{
    QTemporaryDir dir;
    auto first = std::make_unique<TSingleInstance>(dir.path());
    ASSERT_TRUE(first->TryLock());
    TSingleInstance second(dir.path());
    EXPECT_FALSE(second.TryLock());
    first.reset();
    EXPECT_TRUE(second.TryLock());
}

TEST(SingleInstance, AFolderWithoutRoomForTheLockDoesNotStopTheProgram)
{
    QTemporaryDir dir;
    TSingleInstance guard(dir.filePath(QStringLiteral("missing/sub")));
    EXPECT_TRUE(guard.TryLock());
    EXPECT_FALSE(guard.Listen([] {}));
}

TEST(SingleInstance, RunningCopyAnswersOnlyOnceItsWindowListens)
{
    QTemporaryDir dir;
    TSingleInstance first(dir.path());
    ASSERT_TRUE(first.TryLock());
    TSingleInstance second(dir.path());
    ASSERT_FALSE(second.TryLock());
    // No window yet: nothing answers, and the second copy ends silently.
    EXPECT_FALSE(second.ConnectToRunning(100));

    int shown = 0;
    ASSERT_TRUE(first.Listen([&] { ++shown; }));
    ASSERT_TRUE(second.ConnectToRunning(1000));
    second.AskRunningToShow();
    for (int i = 0; i < 200 && shown == 0; ++i) {
        QCoreApplication::processEvents();
        QThread::msleep(2);
    }
    EXPECT_EQ(shown, 1);
}

TEST(SingleInstance, StaleSocketFileNeverBlocksANewStart)
{
    QTemporaryDir dir;
    TSingleInstance probe(dir.path());
    {
        QFile stale(probe.SocketPath());
        ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
        stale.write("left behind by a crashed copy");
    }
    ASSERT_TRUE(probe.TryLock());
    EXPECT_TRUE(probe.Listen([] {}));
}

TEST(SingleInstance, SecondProgramExitsWithCodeOneWhileTheLockIsHeld)
{
    const QString exe = QStringLiteral(MIRANTOS_SIM_EXE);
    ASSERT_TRUE(QFile::exists(exe));
    QTemporaryDir dir;
    ::chmod(QFile::encodeName(dir.path()).constData(), 0700);
    TSingleInstance holder(dir.path());
    ASSERT_TRUE(holder.TryLock());

    QProcess p;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.start(exe, {});
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 1);
}

} // namespace
