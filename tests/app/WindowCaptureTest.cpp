// The window's long capture on the simulated board: the file holds exactly the
// samples the board produced and says how the capture ended (complete, the
// stop button, an unplugged or quiet board, a full disk), the status bar and
// the error box say so too, and the held data set, graph and readout stay.

#include "Ad7177.h"
#include "AppTestSupport.h"
#include "CaptureDialog.h"
#include "CaptureFile.h"
#include "CaptureRun.h"
#include "MeasureSession.h"
#include "Tables.h"
#include "Texts.h"

#include <QAction>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <sys/resource.h>

using namespace mirantos;
using RunEnd = TMeasureController::RunEnd;

namespace {

// The same board replayed on its own: the records of its run number `run`
// (earlier runs produced nothing here, only their number counts) of `start`
// after `filter` and `rate`, read straight from the driver.
void Replay(uint64_t seed, int run, const std::string& start, int64_t records,
            std::vector<uint32_t>& ch0, std::vector<uint32_t>& ch1)
{
    auto clock = std::make_shared<ManualClock>();
    SimConfig config;
    config.seed = seed;
    config.clock = clock;
    auto board = MakeSimDriver(config);
    FT_HANDLE h = nullptr;
    ASSERT_EQ(board->Open(0, &h), FT_OK);
    uint32_t done = 0;
    std::vector<std::string> commands(static_cast<size_t>(run - 1), "A000000");
    commands.insert(commands.end(), {"S3", "FD"});
    for (const std::string& c : commands) {
        const std::string line = c + "\r";
        board->Write(h, line.data(), static_cast<uint32_t>(line.size()), &done);
        clock->AdvanceUs(10000);
        board->Purge(h, FT_PURGE_RX | FT_PURGE_TX);
    }
    const std::string a = start + "\r";
    board->Write(h, a.data(), static_cast<uint32_t>(a.size()), &done);
    clock->AdvanceSeconds(1e6);
    std::vector<uint8_t> bytes(static_cast<size_t>(records) * 17);
    uint32_t got = 0;
    ASSERT_EQ(board->Read(h, bytes.data(), static_cast<uint32_t>(bytes.size()), &got), FT_OK);
    ASSERT_EQ(got, bytes.size());
    for (int64_t i = 0; i < records; ++i) {
        ch0.push_back(HexToCode(bytes.data() + i * 17));
        ch1.push_back(HexToCode(bytes.data() + i * 17 + 8));
    }
}

struct CaptureCase {
    const char* name;
    int64_t unplugAt = -1;
    int64_t quietAfter = -1;
    int32_t stopAt = -1;     // the stop button once this many samples came
    rlim_t fileLimit = 0;    // RLIMIT_FSIZE during the capture; 0: none
    const char* end;         // the end line's word
    const char* runPanel;    // null: the written message
    const char* detailPanel; // null: the written message
    const char* reason;      // in the error box; null: no box
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
    // A held two-channel data set of 1000 samples; then other settings in the lists.
    h.Select(13, 3, 2);
    h.window->MeasureBtnClick();
    ASSERT_TRUE(h.RunToEnd());
    h.Select(1, 3, 0, false);
    const TMeasureSession& session = h.window->Session();
    const TAdcSetting held = session.Settings();
    const QString readout = session.ReadoutText(0, false);
    const QImage graph = h.window->PaintBox()->grab().toImage();
    ASSERT_EQ(session.Count(1), 1000);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("long.csv"));
    h.dialogs.captureAnswer = [&](TCaptureRequest* r) {
        r->path = path;
        r->rateIndex = 13;
        r->sinc3 = true;
        r->channelIndex = 2;
        r->byDuration = false;
        r->count = kCount;
        return true;
    };
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    if (c.fileLimit != 0) {
        rlimit small = saved;
        small.rlim_cur = c.fileLimit;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    }
    int64_t observed = 0;
    QObject::connect(h.window.get(), &TFormMain::CaptureStarting, [&](TCaptureRun* run) {
        run->SetBlockObserver(
            [&](const uint32_t*, const uint32_t*, int32_t blockSize) { observed += blockSize; });
    });
    h.window->Capture1Click();
    ASSERT_TRUE(h.window->Controller()->Measuring());
    // The dialog opened with the main window's settings.
    ASSERT_EQ(h.dialogs.captureShown.size(), 1u);
    EXPECT_EQ(h.dialogs.captureShown[0].rateIndex, 1);
    EXPECT_FALSE(h.dialogs.captureShown[0].sinc3);
    EXPECT_EQ(h.dialogs.captureShown[0].channelIndex, 0);
    // As in a run: only the stop button, and no file taken from outside.
    EXPECT_FALSE(h.window->Data1->menuAction()->isEnabled());
    EXPECT_FALSE(h.window->ComboBox1->isEnabled());
    EXPECT_TRUE(h.window->MeasureBtn->isEnabled());
    EXPECT_EQ(h.Caption(), U(text::StopCaption));
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
    EXPECT_EQ(data.info.board, "MIRANTOS 1.10");
    std::vector<uint32_t> ch0;
    std::vector<uint32_t> ch1;
    Replay(11, 2, "A203039", n, ch0, ch1);
    EXPECT_TRUE(data.ch0 == ch0);
    EXPECT_TRUE(data.ch1 == ch1);
    // A full disk cuts the file back to its last whole line on disk.
    if (c.fileLimit != 0) {
        EXPECT_GE(observed, n);
    } else {
        EXPECT_EQ(observed, n);
    }
    const std::string end = std::string(c.end) + ", samples=" + std::to_string(n);
    if (c.fileLimit != 0) {
        EXPECT_LE(QFileInfo(path).size(), static_cast<qint64>(c.fileLimit));
        EXPECT_GT(n, 1000);
        if (!data.end.empty()) {
            EXPECT_EQ(data.end, end);
        }
    } else {
        EXPECT_EQ(data.end, end);
    }
    // The stop keeps every whole sample that came before it.
    const int64_t expected = c.stopAt >= 0       ? stoppedAt
                             : c.quietAfter >= 0 ? c.quietAfter
                             : c.unplugAt >= 0   ? -1
                             : c.fileLimit != 0  ? -1
                                                 : kCount;
    if (expected >= 0) {
        EXPECT_EQ(n, expected);
    }

    const QString written =
        path + U(text::CaptureWrittenInfix) + QString::number(n) + U(text::CaptureWrittenSuffix);
    EXPECT_EQ(h.Panel(TmyStatus::RunPanel), c.runPanel ? U(c.runPanel) : written);
    EXPECT_EQ(h.Panel(TmyStatus::DetailPanel), c.detailPanel ? U(c.detailPanel) : written);
    if (c.reason == nullptr) {
        EXPECT_TRUE(h.presenter.boxes.empty());
    } else {
        ASSERT_EQ(h.presenter.boxes.size(), 1u);
        EXPECT_TRUE(h.presenter.boxes[0].text.contains(QString::fromUtf8(c.reason)))
            << h.presenter.boxes[0].text.toStdString();
        EXPECT_TRUE(h.presenter.boxes[0].text.endsWith(written));
    }

    // The held data set, its graph and readout, and the main window's lists.
    EXPECT_EQ(session.Count(0), 1000);
    EXPECT_EQ(session.Count(1), 1000);
    EXPECT_EQ(session.Settings().spsSel, held.spsSel);
    EXPECT_EQ(session.Settings().CHSel, held.CHSel);
    EXPECT_EQ(session.ReadoutText(0, false), readout);
    EXPECT_EQ(h.window->PaintBox()->grab().toImage(), graph);
    EXPECT_EQ(h.window->ComboBox1->currentIndex(), 1);
    EXPECT_TRUE(h.window->Data1->menuAction()->isEnabled());
    EXPECT_EQ(h.Caption(), U(text::StartCaption));
}

INSTANTIATE_TEST_SUITE_P(
    Ends, WindowCapture,
    ::testing::Values(
        CaptureCase{"Complete", -1, -1, -1, 0, "complete", text::MeasureEnd, nullptr, nullptr},
        CaptureCase{"StopButton", -1, -1, 3000, 0, "stopped", text::MeasureAbort, nullptr, nullptr},
        CaptureCase{"Unplugged", 5000, -1, -1, 0, "read error", nullptr, text::MeasureError,
                    "disappeared"},
        CaptureCase{"Quiet", -1, 4000, -1, 0, "read error", nullptr, text::MeasureError,
                    "stopped sending"},
        CaptureCase{"DiskFull", -1, -1, -1, 200000, "write error", nullptr,
                    text::BoxCaptureWriteError, "File too large"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WindowCapture, AnExistingFileIsReplacedOnlyOnYesAndACancelledDialogStartsNothing)
{
    WindowHarness h;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("old.csv"));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("precious");
    }
    auto read = [&] {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    h.window->Capture1Click(); // cancelled
    h.dialogs.captureAnswer = [&](TCaptureRequest* r) {
        r->path = path;
        r->rateIndex = 13;
        r->byDuration = false;
        r->count = 100;
        return true;
    };
    h.dialogs.overwriteAnswers = {false, true};
    h.window->Capture1Click(); // "いいえ"
    EXPECT_FALSE(h.window->Controller()->Measuring());
    EXPECT_EQ(read(), "precious");
    h.window->Capture1Click(); // "はい"
    ASSERT_TRUE(h.RunToEnd());
    EXPECT_EQ(h.dialogs.questions.size(), 2u);
    EXPECT_TRUE(read().startsWith("# MIRANTOS capture\n"));
    EXPECT_TRUE(read().endsWith("# end: complete, samples=100\n"));
}

// The dialog's arithmetic: samples from a duration at a rate, the limits.
TEST(CaptureRequest, DurationLimitsAndSamplesFollowTheRateAndFilter)
{
    struct Row {
        int rate;
        bool sinc3;
        int64_t seconds, minSeconds, maxSeconds, count;
    };
    // 10 ksps: 1 048 575 samples are 104 s; 5 sps Sinc5: 58 hours, at least 2 s.
    const Row rows[] = {{13, true, 104, 1, 104, 1040000},
                        {0, false, 7200, 2, 209715, 36000},
                        {1, true, 600, 1, 104857, 6000}};
    for (const Row& r : rows) {
        TCaptureRequest q = DefaultCaptureRequest(r.rate, r.sinc3, 2);
        EXPECT_EQ(q.seconds, std::min<int64_t>(600, r.maxSeconds));
        EXPECT_EQ(RequestMinSeconds(q), r.minSeconds);
        EXPECT_EQ(RequestMaxSeconds(q), r.maxSeconds);
        q.seconds = r.seconds;
        EXPECT_EQ(RequestCount(q), r.count);
        EXPECT_FALSE(RequestValid(q)); // no file yet
        q.path = QStringLiteral("x.csv");
        EXPECT_TRUE(RequestValid(q));
        q.seconds = r.maxSeconds + 1;
        EXPECT_EQ(RequestValid(q), RequestCount(q) <= kBoardMaxCount);
        EXPECT_EQ(RequestSettings(q).sinc5, !r.sinc3);
    }
}

TEST(CaptureDialog, TheSaveDialogNamesTheFileAndTheRateBoundsTheDuration)
{
    ScriptedDialogs files;
    files.saveNames = {QStringLiteral("/tmp/drift.csv")};
    TCaptureDialog dialog(nullptr, &files, DefaultCaptureRequest(1, true, 0));
    EXPECT_EQ(dialog.SecondsSpin->value(), 600);
    EXPECT_FALSE(dialog.StartBtn->isEnabled());
    dialog.BrowseBtn->click();
    EXPECT_EQ(files.lastSaveFilter, U(text::CaptureFilter));
    EXPECT_EQ(dialog.PathEdit->text(), QStringLiteral("/tmp/drift.csv"));
    EXPECT_TRUE(dialog.StartBtn->isEnabled());
    dialog.RateBox->setCurrentIndex(13); // 10 ksps: at most 104 s
    EXPECT_EQ(dialog.SecondsSpin->value(), 104);
    EXPECT_EQ(dialog.SamplesLabel->text(), QStringLiteral("1040000"));
    dialog.ByCount_RB->setChecked(true);
    dialog.CountSpin->setValue(kBoardMaxCount);
    const TCaptureRequest r = dialog.Request();
    EXPECT_FALSE(r.byDuration);
    EXPECT_EQ(RequestSettings(r).count, kBoardMaxCount);
    EXPECT_EQ(RequestSettings(r).rateIndex, 13);
}

} // namespace
