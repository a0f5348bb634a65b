// A data file named from outside: on the command line at start-up, and handed
// by a second copy (a real second process) to the running window, which takes
// it unless a run or a command of its own is in progress.

#include "AppTestSupport.h"

#include "CaptureFile.h"
#include "NoiseAnalysisWindow.h"
#include "SingleInstance.h"
#include "Startup.h"
#include "TraceViewerWindow.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

QString U(const char* s)
{
    return QString::fromUtf8(s);
}

const char* const kContentError = "データファイルの内容が正しくありませんでした";

// A two-channel data set of 100 samples, measured and saved by a window of its own.
QString SavedDataFile(const QString& chosen)
{
    WindowHarness h;
    h.Select(13, 0, 2);
    h.window->MeasureBtnClick();
    if (!h.RunToEnd())
        return {};
    h.dialogs.saveNames.push_back(chosen);
    h.window->Save1Click();
    return chosen + QStringLiteral(".DTA");
}

QString NotADataFile(const QDir& dir)
{
    const QString path = dir.filePath(QStringLiteral("notes.DTA"));
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write("measured by hand\r\n");
    return path;
}

// A two-channel capture of 3000 samples at 1 ksps, by the capture writer.
// `name` decides nothing: a capture is told by its first line.
QString CaptureFile(const QDir& dir, const QString& name)
{
    const std::string path = QFile::encodeName(dir.filePath(name)).toStdString();
    mirantos::TCaptureInfo info;
    info.rateIndex = 10;
    info.rateSps = 1000;
    info.sinc5 = false;
    info.chSel = 2;
    std::vector<uint32_t> c0(3000), c1(3000);
    for (uint32_t i = 0; i < 3000; ++i) {
        c0[i] = 0x9ABC0001u + i * 977u;
        c1[i] = 0x41230003u - i * 13u;
    }
    mirantos::TCaptureWriter w;
    if (!w.Open(path, false) || !w.Begin(info) || !w.Write(c0.data(), c1.data(), 3000) ||
        !w.Finish(mirantos::TCaptureEnd::Complete))
        return {};
    return dir.filePath(name);
}

// The running copy: a window on the simulated board that answers second copies
// on the socket in its own runtime folder.
struct RunningCopy {
    RunningCopy() : guard(runtime.path())
    {
        ::chmod(QFile::encodeName(runtime.path()).constData(), 0700);
        locked = guard.TryLock();
        StartWindow(*h.window, guard, QString());
    }

    // Starts `mirantos-sim file` in `workDir` and serves it until it exits.
    void SecondCopy(const QString& file, const QString& workDir)
    {
        QProcess p;
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(workDir);
        p.start(QStringLiteral(MIRANTOS_SIM_EXE), {file});
        // Our event loop must run: the answer comes from this window.
        for (int i = 0; i < 4000 && p.state() != QProcess::NotRunning; ++i) {
            QCoreApplication::processEvents();
            p.waitForFinished(5);
        }
        if (p.state() != QProcess::NotRunning) {
            p.kill();
            p.waitForFinished();
        }
        exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        stdErr = QString::fromLocal8Bit(p.readAllStandardError());
        h.Settle();
    }

    QTemporaryDir runtime;
    WindowHarness h;
    TSingleInstance guard;
    bool locked = false;
    int exitCode = -1;
    QString stdErr;
};

TEST(StartUpFile, LoadedAfterTheEmptyGraphAsTheLoadCommandLoadsIt)
{
    QTemporaryDir dir, runtime;
    const QString file = SavedDataFile(dir.filePath(QStringLiteral("run 1")));
    ASSERT_TRUE(QFile::exists(file));

    WindowHarness h({}, /*settle=*/false);
    TSingleInstance guard(runtime.path());
    ASSERT_TRUE(guard.TryLock());
    StartWindow(*h.window, guard, file);
    h.Settle();

    EXPECT_TRUE(h.presenter.boxes.empty());
    EXPECT_TRUE(h.window->Record().HasData());
    EXPECT_EQ(h.window->Record().Ch1.Count, 100);
    EXPECT_EQ(h.window->ComboBox3->currentIndex(), 2);
    EXPECT_EQ(h.window->windowTitle(), U("MIRANTOS（シミュレーションボード） / v1.10 : ") + file);
    EXPECT_EQ(h.Panel(1), U("データファイル読み込みました"));

    // The graph is the data set's, not the start-up's empty one drawn over it.
    WindowHarness byMenu;
    byMenu.dialogs.openNames.push_back(file);
    byMenu.window->Load1Click();
    for (int i = 0; i < 11; ++i)
        EXPECT_EQ(h.window->YLabel(i)->text().toStdString(),
                  byMenu.window->YLabel(i)->text().toStdString())
            << i;
    EXPECT_EQ(h.window->PaintBox()->grab().toImage(), byMenu.window->PaintBox()->grab().toImage());
}

TEST(StartUpFile, RejectedFileShowsTheLoadBoxAndLeavesTheWindowEmpty)
{
    QTemporaryDir dir, runtime;
    WindowHarness h({}, /*settle=*/false);
    TSingleInstance guard(runtime.path());
    ASSERT_TRUE(guard.TryLock());
    StartWindow(*h.window, guard, NotADataFile(QDir(dir.path())));
    h.Settle();

    ASSERT_EQ(h.presenter.boxes.size(), 1u);
    EXPECT_EQ(h.presenter.boxes[0].text, U(kContentError));
    EXPECT_FALSE(h.window->Record().HasData());
    EXPECT_EQ(h.window->windowTitle(), U("MIRANTOS（シミュレーションボード） / v1.10"));

    // The trace viewer names the file, the line (comments count) and the
    // field; the main window's own box above stays as it always was.
    const QString bad = dir.filePath("bad.DTA");
    QFile f(bad);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly) &&
                f.write(";note\nAD7177_DataFile:\nM:\nspsSel:1\nCHSel:x\n") > 0);
    f.close();
    h.window->TraceViewer1Click();
    EXPECT_FALSE(h.window->ViewerWindow()->OpenFile(bad));
    ASSERT_EQ(h.viewerDialogs.errors.size(), 1u);
    EXPECT_TRUE(h.viewerDialogs.errors[0].endsWith(bad + "\nline 5: bad value of CHSel \"x\""))
        << h.viewerDialogs.errors[0].toStdString();
}

TEST(HandOver, SecondCopyHandsItsFileToTheRunningCopyAndExitsZero)
{
    QTemporaryDir dir;
    // A blank and Japanese in the name, given relative to the second copy's folder.
    const QString file = SavedDataFile(dir.filePath(U("測定 1")));
    ASSERT_TRUE(QFile::exists(file));
    RunningCopy running;
    ASSERT_TRUE(running.locked);

    running.SecondCopy(U("測定 1.DTA"), dir.path());
    EXPECT_EQ(running.exitCode, 0);
    EXPECT_EQ(running.stdErr, QString());
    EXPECT_TRUE(running.h.presenter.boxes.empty());
    EXPECT_TRUE(running.h.window->Record().HasData());
    EXPECT_EQ(running.h.window->windowTitle(),
              U("MIRANTOS（シミュレーションボード） / v1.10 : ") + file);
}

// A capture named on the command line or handed over opens in the trace
// viewer, whatever its name; the main window's data set stays as it was.
TEST(HandOver, CapturesOpenInTheTraceViewerByTheirFirstLineAlsoFromTheLoadCommand)
{
    QTemporaryDir dir;
    const QString names[] = {U("長時間 1.csv"), U("drift.DTA"), U("no-extension")};
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        const QString file = CaptureFile(QDir(dir.path()), name);
        ASSERT_FALSE(file.isEmpty());

        QTemporaryDir runtime;
        WindowHarness atStart({}, /*settle=*/false);
        TSingleInstance guard(runtime.path());
        ASSERT_TRUE(guard.TryLock());
        StartWindow(*atStart.window, guard, file);
        atStart.Settle();

        RunningCopy running;
        ASSERT_TRUE(running.locked);
        running.SecondCopy(name, dir.path());
        EXPECT_EQ(running.exitCode, 0);

        // The load command takes a capture the same way.
        WindowHarness loaded;
        loaded.dialogs.openNames.push_back(file);
        loaded.window->Load1Click();
        for (WindowHarness* h : {&atStart, &running.h, &loaded}) {
            mirantos::TTraceViewerWindow* viewer = h->window->ViewerWindow();
            ASSERT_NE(viewer, nullptr);
            EXPECT_TRUE(viewer->isVisible());
            EXPECT_EQ(viewer->Data().Samples(), 3000);
            EXPECT_EQ(viewer->Data().Channel(1).Codes()[2999], 0x41230003u - 2999u * 13u);
            EXPECT_TRUE(h->presenter.boxes.empty());
            EXPECT_TRUE(h->viewerDialogs.errors.empty());
            EXPECT_FALSE(h->window->Record().HasData());
            EXPECT_EQ(h->window->windowTitle(), U("MIRANTOS（シミュレーションボード） / v1.10"));
        }
    }
}

TEST(HandOver, RejectedFileShowsTheLoadBoxInTheRunningCopyOnly)
{
    QTemporaryDir dir;
    RunningCopy running;
    ASSERT_TRUE(running.locked);

    running.SecondCopy(NotADataFile(QDir(dir.path())), dir.path());
    EXPECT_EQ(running.exitCode, 0);
    EXPECT_EQ(running.stdErr, QString());
    ASSERT_EQ(running.h.presenter.boxes.size(), 1u);
    EXPECT_EQ(running.h.presenter.boxes[0].text, U(kContentError));
    EXPECT_FALSE(running.h.window->Record().HasData());
    EXPECT_EQ(running.h.window->windowTitle(), U("MIRANTOS（シミュレーションボード） / v1.10"));
}

TEST(HandOver, RefusedDuringARunWhichGoesOnUndisturbed)
{
    QTemporaryDir dir;
    const QString file = SavedDataFile(dir.filePath(QStringLiteral("run1")));
    ASSERT_TRUE(QFile::exists(file));
    RunningCopy running;
    ASSERT_TRUE(running.locked);
    WindowHarness& h = running.h;
    h.Select(13, 3, 0); // 1000 samples of CH0
    h.window->MeasureBtnClick();
    ASSERT_TRUE(h.RunUntil([&] { return h.window->Controller()->Received() >= 100; }));

    running.SecondCopy(file, dir.path());
    EXPECT_EQ(running.exitCode, 1);
    EXPECT_TRUE(running.stdErr.contains(QStringLiteral("a run is in progress")))
        << running.stdErr.toStdString();
    EXPECT_TRUE(running.stdErr.contains(file)) << running.stdErr.toStdString();

    ASSERT_TRUE(h.window->Controller()->Measuring());
    ASSERT_TRUE(h.RunToEnd());
    EXPECT_TRUE(h.presenter.boxes.empty());
    EXPECT_EQ(h.window->Record().Ch0.Count, 1000);
    EXPECT_EQ(h.window->Record().Setting.CHSel, 0);
    EXPECT_EQ(h.window->windowTitle(), U("MIRANTOS（シミュレーションボード） / v1.10"));
    EXPECT_EQ(h.Panel(1), U("計測終了しました"));
}

TEST(HandOver, RefusedWhileACommandWaitsForTheUserAndNeverLoadedLater)
{
    QTemporaryDir dir;
    const QString file = SavedDataFile(dir.filePath(QStringLiteral("run1")));
    WindowHarness h;
    TFormMain::TOpenAnswer answer = TFormMain::TOpenAnswer::Accepted;
    h.dialogs.whileOpenDialog = [&] { answer = h.window->OfferFile(file); };
    h.window->Load1Click(); // the dialog is cancelled
    h.Settle();
    EXPECT_EQ(answer, TFormMain::TOpenAnswer::Busy);
    EXPECT_FALSE(h.window->Record().HasData());
    EXPECT_EQ(h.window->windowTitle(), U("MIRANTOS（シミュレーションボード） / v1.10"));
}

TEST(HandOver, RefusedWhileTheNoiseViewAsksWhereToSaveWhichSavesItsOwnDataSet)
{
    QTemporaryDir dir;
    const QString file = SavedDataFile(dir.filePath(QStringLiteral("other")));
    WindowHarness h;
    h.Select(13, 0, 0); // 100 samples of CH0
    h.window->MeasureBtnClick();
    ASSERT_TRUE(h.RunToEnd());
    h.window->NoiseAnalysis1Click();
    mirantos::TNoiseAnalysisWindow* view = h.window->NoiseWindow();
    ASSERT_NE(view, nullptr);
    const uint32_t maxBefore = view->Figures()->maxCode;

    TFormMain::TOpenAnswer answer = TFormMain::TOpenAnswer::Accepted;
    h.analysisDialogs.whileSaveDialog = [&] { answer = h.window->OfferFile(file); };
    const QString csv = dir.filePath(QStringLiteral("h.csv"));
    h.analysisDialogs.saveNames.push_back(csv);
    view->findChild<QPushButton*>(QStringLiteral("saveHistogram"))->click();
    h.Settle();
    EXPECT_EQ(answer, TFormMain::TOpenAnswer::Busy);
    EXPECT_EQ(h.window->Record().Setting.CHSel, 0);
    EXPECT_EQ(h.window->windowTitle(), U("MIRANTOS（シミュレーションボード） / v1.10"));
    ASSERT_NE(view->Figures(), nullptr);
    EXPECT_EQ(view->Figures()->maxCode, maxBefore);
    EXPECT_TRUE(QFile::exists(csv));
}

} // namespace
