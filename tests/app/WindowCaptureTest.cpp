// The window's long capture on the simulated board: the file holds exactly the
// samples the board produced and says how the capture ended (complete, the
// stop button, an unplugged or quiet board, a full disk), the error box says
// why, the trace viewer followed it, and the held data set stays.

#include "Ad7177.h"
#include "AppTestSupport.h"
#include "CaptureFile.h"
#include "CaptureRequest.h"
#include "CaptureRun.h"
#include "MeasureSession.h"
#include "SimReplay.h"
#include "Tables.h"
#include "Texts.h"
#include "TraceData.h"
#include "TraceViewerWindow.h"

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QMenu>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace mirantos;

namespace {

struct CaptureCase {
    const char* name;
    int64_t unplugAt, quietAfter;
    int32_t stopAt;     // the stop button once this many samples came; -1: none
    rlim_t fileLimit;   // RLIMIT_FSIZE during the capture; 0: none
    const char* end;    // the end line's word
    const char* reason; // in the error box; null: no box
};

class WindowCapture : public ::testing::TestWithParam<CaptureCase> {};

TEST_P(WindowCapture, WritesTheBoardsSamplesSaysHowItEndedAndLeavesTheDataSet)
{
    const CaptureCase c = GetParam();
    constexpr int32_t kCount = 12345;
    WindowHarness h([&](SimConfig& config) {
        config.faults.unplugAtSample = c.unplugAt;
        config.faults.stallAfterSamples = c.quietAfter;
    });
    // Every read of the board moves its clock past the USB latency, so an
    // answer is there at the first look after its command, however long the
    // scheduler keeps this thread waiting: the real-time command time-out
    // never decides the test.
    h.clock->SetAutoStepUs(2500);
    // A held two-channel data set of 1000 samples; then other settings in the lists.
    h.Select(13, 3, 2);
    h.window->MeasureBtnClick();
    ASSERT_TRUE(h.RunToEnd());
    h.Select(1, 3, 0, false);
    const TMeasureSession& session = h.window->Session();
    const TAdcSetting held = session.Settings();
    const QString readout = session.ReadoutText(0, false);
    const QImage graph = h.window->PaintBox()->grab().toImage();

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("long.csv"));
    h.dialogs.captureAnswer = [&](TCaptureRequest* r) {
        EXPECT_TRUE(r->rateIndex == 1 && !r->sinc3 && r->channelIndex == 0); // the lists
        *r = {path, 13, true, 2, false, r->seconds, kCount};
        return true;
    };
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit limit = saved;
    limit.rlim_cur = c.fileLimit != 0 ? c.fileLimit : saved.rlim_cur;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    h.window->Capture1Click();
    ASSERT_TRUE(h.window->Controller()->Measuring());
    EXPECT_EQ(h.window->OfferFile(path), TFormMain::TOpenAnswer::Measuring);

    int32_t stoppedAt = -1;
    if (c.stopAt >= 0) {
        ASSERT_TRUE(h.RunUntil([&] { return h.window->Controller()->Received() >= c.stopAt; }));
        stoppedAt = h.window->Controller()->Received();
        h.window->MeasureBtnClick();
    }
    // Simulated time brings every record there is; a quiet board is then
    // quiet on the real clock, which is what the time-out reads.
    h.RunUntil([&] { return !h.window->Controller()->Measuring(); }, 2000, 20000);
    QElapsedTimer wall;
    wall.start();
    while (h.window->Controller()->Measuring() && wall.elapsed() < 10000) {
        h.window->Controller()->Poll();
        QThread::msleep(20);
    }
    const bool ended = !h.window->Controller()->Measuring();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ASSERT_TRUE(ended);
    h.Settle();

    TCaptureData data;
    std::vector<std::string> warnings;
    std::string error;
    ASSERT_TRUE(ReadCapture(path.toStdString(), data, warnings, error)) << error;
    const auto n = static_cast<int64_t>(data.ch0.size());
    EXPECT_EQ(data.info.rateIndex, 13);
    std::vector<uint32_t> ch0, ch1;
    simtest::Replay(11, {"A000000", "S3", "FD"}, "A203039", n, ch0, ch1);
    EXPECT_TRUE(data.ch0 == ch0);
    EXPECT_TRUE(data.ch1 == ch1);
    // The trace viewer followed the capture: what it shows is what the file
    // holds (a full disk may have cut the file short of what came).
    const trace::TTraceData& live = h.window->ViewerWindow()->Data();
    ASSERT_TRUE(live.Holds(0) && live.Holds(1));
    ASSERT_GE(live.Samples(), n);
    EXPECT_TRUE(std::equal(ch0.begin(), ch0.end(), live.Channel(0).Codes().begin()));
    EXPECT_TRUE(std::equal(ch1.begin(), ch1.end(), live.Channel(1).Codes().begin()));
    EXPECT_FALSE(h.window->ViewerWindow()->Following());
    // A full disk cuts the file back to its last whole line on disk, and its
    // end line goes in only if it still fits.
    const std::string end = std::string(c.end) + ", samples=" + std::to_string(n);
    if (c.fileLimit != 0) {
        EXPECT_LE(QFileInfo(path).size(), static_cast<qint64>(c.fileLimit));
        EXPECT_GT(n, 1000);
        EXPECT_TRUE(data.end.empty() || data.end == end) << data.end;
    } else {
        EXPECT_EQ(live.Samples(), n);
        EXPECT_EQ(data.end, end);
    }
    // The stop keeps every whole sample that came before it.
    if (c.stopAt >= 0 || c.quietAfter >= 0 || (c.unplugAt < 0 && c.fileLimit == 0)) {
        EXPECT_EQ(n, c.stopAt >= 0 ? stoppedAt : c.quietAfter >= 0 ? c.quietAfter : kCount);
    }
    // The status bar tells the samples written; an error also the box, with why.
    const QString written =
        path + U(text::CaptureWrittenInfix) + QString::number(n) + U(text::CaptureWrittenSuffix);
    EXPECT_TRUE(h.Panel(TmyStatus::RunPanel) == written ||
                h.Panel(TmyStatus::DetailPanel) == written);
    ASSERT_EQ(h.presenter.boxes.size(), c.reason ? 1u : 0u);
    if (c.reason) {
        EXPECT_TRUE(h.presenter.boxes[0].text.contains(QString::fromUtf8(c.reason)) &&
                    h.presenter.boxes[0].text.endsWith(written))
            << h.presenter.boxes[0].text.toStdString();
    }

    // The held data set, its graph and readout, and the main window's lists.
    EXPECT_TRUE(session.Count(0) == 1000 && session.Count(1) == 1000);
    EXPECT_TRUE(session.Settings().spsSel == held.spsSel && session.Settings().CHSel == held.CHSel);
    EXPECT_EQ(session.ReadoutText(0, false), readout);
    EXPECT_EQ(h.window->PaintBox()->grab().toImage(), graph);
    EXPECT_EQ(h.window->ComboBox1->currentIndex(), 1);
    EXPECT_TRUE(h.window->Data1->menuAction()->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(
    Ends, WindowCapture,
    ::testing::Values(CaptureCase{"Complete", -1, -1, -1, 0, "complete", nullptr},
                      CaptureCase{"StopButton", -1, -1, 3000, 0, "stopped", nullptr},
                      CaptureCase{"Unplugged", 5000, -1, -1, 0, "read error", "disappeared"},
                      CaptureCase{"Quiet", -1, 4000, -1, 0, "read error", "stopped sending"},
                      CaptureCase{"DiskFull", -1, -1, -1, 200000, "write error", "File too large"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WindowCapture, AnExistingFileIsReplacedOnlyOnYesAndACancelledDialogStartsNothing)
{
    WindowHarness h;
    QTemporaryDir dir;
    QFile f(dir.filePath(QStringLiteral("old.csv")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write("precious") == 8);
    f.close();
    const auto read = [&] { return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray(); };
    h.window->Capture1Click(); // cancelled
    h.dialogs.captureAnswer = [&](TCaptureRequest* r) {
        // Back in the dialog after "いいえ", with the choice as it was; cancelled there.
        if (h.dialogs.captureShown.size() == 3) {
            EXPECT_EQ(r->path, f.fileName());
            EXPECT_EQ(r->count, 100);
            return false;
        }
        *r = {f.fileName(), 13, true, 0, false, r->seconds, 100};
        return true;
    };
    h.dialogs.overwriteAnswers = {false, true};
    h.window->Capture1Click(); // "いいえ", the dialog again, cancelled
    EXPECT_EQ(h.dialogs.captureShown.size(), 3u);
    EXPECT_FALSE(h.window->Controller()->Measuring());
    EXPECT_EQ(read(), "precious");
    f.close();
    h.window->Capture1Click(); // "はい"
    ASSERT_TRUE(h.RunToEnd());
    EXPECT_EQ(h.dialogs.questions.size(), 2u);
    const QByteArray now = read();
    EXPECT_TRUE(now.startsWith("# MIRANTOS capture\n") &&
                now.endsWith("# end: complete, samples=100\n"));
}

// A name that cannot take the capture is refused at once with the reason,
// before the question and the board: a FIFO nobody reads never blocks the window.
class WindowCaptureRefused : public ::testing::TestWithParam<std::pair<const char*, const char*>> {
};

TEST_P(WindowCaptureRefused, SaysWhyAndStartsNothing)
{
    WindowHarness h;
    QTemporaryDir dir;
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("fifo.csv")).constData(), 0600), 0);
    ASSERT_TRUE(QDir(dir.path()).mkdir("ro"));
    ASSERT_TRUE(QFile::setPermissions(dir.filePath("ro"), QFile::ReadOwner | QFile::ExeOwner));
    const QString path = dir.filePath(GetParam().first);
    h.dialogs.captureAnswer = [&](TCaptureRequest* r) {
        *r = {path, 13, true, 0, false, r->seconds, 100};
        return true;
    };
    h.window->Capture1Click();
    QFile::setPermissions(dir.filePath("ro"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_FALSE(h.window->Controller()->Measuring());
    EXPECT_TRUE(h.dialogs.questions.empty());
    ASSERT_EQ(h.presenter.boxes.size(), 1u);
    EXPECT_EQ(h.presenter.boxes[0].text,
              U(text::BoxCaptureWriteError) + "\ncannot write " + path + ": " +
                  QString(GetParam().second).replace("%1", dir.filePath("ro")));
    EXPECT_TRUE(QDir(dir.filePath("ro")).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Names, WindowCaptureRefused,
                         ::testing::Values(std::pair{"fifo.csv", "nothing reads from it"},
                                           std::pair{"ro/c.csv", "the folder %1 is read-only"}));

TEST(CaptureRequest, TheDurationIsBoundedByTheSamplesTheBoardTakesAtTheRate)
{
    // rate, Sinc3, seconds, shortest, longest, samples: 10 ksps, 5 sps Sinc5, 10 sps
    const int64_t rows[][6] = {{13, 1, 104, 1, 104, 1040000},
                               {0, 0, 7200, 2, 209715, 36000},
                               {1, 1, 600, 1, 104857, 6000}};
    for (const auto& r : rows) {
        TCaptureRequest q = DefaultCaptureRequest(static_cast<int32_t>(r[0]), r[1] != 0, 2);
        EXPECT_EQ(q.seconds, std::min<int64_t>(600, r[4]));
        q.path = QStringLiteral("x.csv");
        q.seconds = r[2];
        EXPECT_EQ(RequestMinSeconds(q), r[3]);
        EXPECT_EQ(RequestMaxSeconds(q), r[4]);
        EXPECT_EQ(RequestCount(q), r[5]);
        EXPECT_TRUE(RequestValid(q));
        q.seconds = r[4] + 1;
        EXPECT_FALSE(RequestValid(q));
    }
    TCaptureRequest q = DefaultCaptureRequest(13, true, 2);
    q.byDuration = false;
    q.count = kBoardMaxCount;
    const TCaptureSettings s = RequestSettings(q);
    EXPECT_TRUE(s.count == kBoardMaxCount && s.rateIndex == 13 && !s.sinc5);
}

} // namespace
