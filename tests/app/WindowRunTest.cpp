// The window's measurement runs on the simulated board: the sequences of
// start, acquisition, live drawing, end, stop and the failures.

#include "AppTestSupport.h"

#include "Ad7177.h"
#include "Graph_2ch.h"
#include "Tables.h"

#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QMenu>
#include <QPointer>
#include <QProcess>
#include <QRadioButton>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>
#include <utility>

namespace {

QString U(const char* s)
{
    return QString::fromUtf8(s);
}

std::vector<std::string> Cmds(const mirantos::SimBoardDriver* sim)
{
    return sim->Commands();
}

TEST(WindowStart, DefaultStateAfterCreationAndFirstIdle)
{
    WindowHarness h;
    TFormMain& w = *h.window;
    EXPECT_EQ(w.ComboBox1->currentText(), U("10sps"));
    EXPECT_EQ(w.ComboBox2->currentText(), U("1000"));
    EXPECT_EQ(w.ComboBox3->currentText(), U("CH0 (Ain0-Ain1)"));
    EXPECT_FALSE(w.ComboBox1->isEditable());
    EXPECT_TRUE(w.Sinc3_RB->isChecked());
    EXPECT_FALSE(w.Sinc5_RB->isChecked());
    EXPECT_FALSE(w.MenuY_Volt->isChecked());
    EXPECT_EQ(w.windowTitle(), U("MIRANTOS（シミュレーションボード） / v1.10"));
    EXPECT_EQ(h.Caption(), U("測定開始"));
    EXPECT_EQ(w.YLabel(0)->text(), U("2147484648"));
    EXPECT_EQ(w.YLabel(10)->text(), U("2147482648"));
    EXPECT_EQ(w.Label16->text(), U("1000"));
    EXPECT_EQ(w.Record().Setting.spsSel, 1);
    EXPECT_EQ(w.Record().Setting.DataCountSel, 3);
    EXPECT_EQ(w.Record().Setting.CHSel, 0);
    // The board is not touched before the first start.
    EXPECT_EQ(h.sim->OpenCount(), 0);
}

// A malformed MIRANTOS_DEVICE is refused at start, naming what is wrong,
// rather than taken for a serial number that no chip has.
TEST(WindowStart, AMalformedDevicePinIsAUsageErrorThatNamesTheWrongPart)
{
    const std::pair<const char*, const char*> cases[] = {
        {"FT1X2Y3Z:C", "the interface letter \"C\""}, {":A", "no serial number"}};
    for (const auto& [pin, named] : cases) {
        SCOPED_TRACE(pin);
        QProcess p;
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("MIRANTOS_DEVICE"), QString::fromUtf8(pin));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(MIRANTOS_USB_EXE), {});
        ASSERT_TRUE(p.waitForFinished(20000));
        EXPECT_EQ(p.exitCode(), 2);
        const std::string err = p.readAllStandardError().toStdString();
        EXPECT_NE(err.find(std::string("MIRANTOS_DEVICE \"") + pin + "\": " + named),
                  std::string::npos)
            << err;
    }
}

TEST(WindowRun, OneChannelRunAt1kspsSendsExactCommandsAndEndsWithStatistics)
{
    WindowHarness h;
    h.Select(10, 3, 0, true);
    h.window->MeasureBtnClick();
    EXPECT_EQ(h.Caption(), U("測定停止"));
    EXPECT_EQ(h.Panel(0), U("MIRANTOS / 1.10"));
    EXPECT_EQ(h.Panel(1), U("計測中です"));
    EXPECT_EQ(h.Panel(2), U("測定開始処理中です。。。"));
    EXPECT_TRUE(h.window->MeasureBtn->isEnabled());
    EXPECT_FALSE(h.window->QuitBtn->isEnabled());
    EXPECT_FALSE(h.window->ComboBox1->isEnabled());
    EXPECT_EQ(Cmds(h.sim), (std::vector<std::string>{"?", "U?", "V?", "S3", "FA", "A0003E8"}));

    ASSERT_TRUE(h.RunToEnd());
    const TMeasureRecord& r = h.window->Record();
    EXPECT_EQ(r.fCh0Valid, 1);
    EXPECT_EQ(r.fCh1Valid, 0);
    EXPECT_EQ(r.Ch0.Count, 1000);
    EXPECT_EQ(r.Ch1.Count, 0);
    EXPECT_EQ(h.Caption(), U("測定開始"));
    EXPECT_TRUE(h.window->QuitBtn->isEnabled());
    EXPECT_EQ(h.Panel(1), U("計測終了しました"));
    EXPECT_TRUE(h.Panel(2).startsWith(U("CH0 : 最大値：")));
    EXPECT_TRUE(h.Panel(2).endsWith(U(" digit")));
    // Nothing is sent at a normal end.
    EXPECT_EQ(Cmds(h.sim).back(), "A0003E8");
    // The microvolts follow the codes; the sim's CH0 sits near +1.2 V.
    EXPECT_NEAR(r.Ch0.Volt[0], 1200000.0, 100.0);
    EXPECT_EQ(h.window->Label16->text(), U("1000"));
}

TEST(WindowRun, SecondStartSkipsIdentification)
{
    WindowHarness h;
    h.Select(13, 0, 0);
    h.window->MeasureBtnClick();
    ASSERT_TRUE(h.RunToEnd());
    const size_t before = Cmds(h.sim).size();
    h.window->MeasureBtnClick();
    const auto cmds = Cmds(h.sim);
    ASSERT_EQ(cmds.size(), before + 3);
    EXPECT_EQ(cmds[before], "S3");
    EXPECT_EQ(cmds[before + 1], "FD");
    EXPECT_EQ(cmds[before + 2], "A000064");
    EXPECT_EQ(h.sim->OpenCount(), 1);
}

TEST(WindowRun, TwoChannelRunFillsBothChannelsAndTheStatusBarClickAlternates)
{
    WindowHarness h;
    h.Select(12, 1, 2, false);
    h.window->MeasureBtnClick();
    EXPECT_EQ(Cmds(h.sim).back(), "A2000C8");
    EXPECT_EQ(Cmds(h.sim)[3], "S5");
    ASSERT_TRUE(h.RunToEnd());
    const TMeasureRecord& r = h.window->Record();
    EXPECT_EQ(r.fCh0Valid, 1);
    EXPECT_EQ(r.fCh1Valid, 1);
    EXPECT_EQ(r.Ch0.Count, 200);
    EXPECT_EQ(r.Ch1.Count, 200);
    EXPECT_NEAR(r.Ch1.Volt[5], -350000.0, 100.0);
    EXPECT_TRUE(h.Panel(2).startsWith(U("CH0 : ")));
    h.window->StatusBar1Click();
    EXPECT_TRUE(h.Panel(2).startsWith(U("CH1 : ")));
    h.window->StatusBar1Click();
    EXPECT_TRUE(h.Panel(2).startsWith(U("CH0 : ")));
}

TEST(WindowRun, ProgressShowsTheNewestCodeOfTheMeasuredChannel)
{
    WindowHarness h;
    h.Select(6, 0, 1);
    h.window->MeasureBtnClick();
    ASSERT_TRUE(h.RunUntil([&] { return h.window->Controller()->Received() >= 5; }));
    const TMeasureRecord& r = h.window->Record();
    const int n = h.window->Controller()->Received();
    EXPECT_EQ(h.Panel(2),
              QStringLiteral("データ番号：%1 / AD変換値：%2").arg(n).arg(r.Ch1.Code[n - 1]));
    // During a run both counts and flags stay 0.
    EXPECT_EQ(r.Ch0.Count + r.Ch1.Count, 0);
    EXPECT_EQ(r.fCh0Valid + r.fCh1Valid, 0);
}

TEST(WindowRun, LiveBlocksOnlyForSlowLongRuns)
{
    {
        WindowHarness h; // 100 sps, 1000 samples: a block at every 100
        h.Select(6, 3, 0);
        h.window->MeasureBtnClick();
        ASSERT_TRUE(h.RunUntil([&] { return h.window->Controller()->Received() >= 100; }));
        EXPECT_EQ(h.window->Label15->text(), U("1"));
        EXPECT_EQ(h.window->Label16->text(), U("100"));
        ASSERT_TRUE(h.RunUntil([&] { return h.window->Controller()->Received() >= 200; }));
        EXPECT_EQ(h.window->Label15->text(), U("101"));
        EXPECT_EQ(h.window->Label16->text(), U("200"));
        EXPECT_EQ(h.window->Controller()->LiveDrawn(), 200);
        ASSERT_TRUE(h.RunToEnd());
        EXPECT_EQ(h.window->Label15->text(), U("1"));
        EXPECT_EQ(h.window->Label16->text(), U("1000"));
    }
    for (auto [rate, count] : {std::pair{7, 6}, std::pair{6, 2}}) {
        WindowHarness h; // 200 sps x 10000, and 100 sps x 500: drawn only at the end
        h.Select(rate, count, 0);
        h.window->MeasureBtnClick();
        ASSERT_TRUE(h.RunUntil([&] { return h.window->Controller()->Received() >= 300; }));
        EXPECT_EQ(h.window->Controller()->LiveDrawn(), 0);
        EXPECT_EQ(h.window->Label16->text(), U("1000"));
    }
}

TEST(WindowStop, NineSamplesAreDiscardedTenAreKept)
{
    for (int keep : {9, 10}) {
        WindowHarness h;
        h.Select(1, 3, 0);
        h.window->MeasureBtnClick();
        ASSERT_TRUE(h.RunUntil([&] { return h.window->Controller()->Received() >= keep; }));
        ASSERT_EQ(h.window->Controller()->Received(), keep);
        h.window->MeasureBtnClick();
        const TMeasureRecord& r = h.window->Record();
        EXPECT_EQ(Cmds(h.sim).back(), "AX");
        EXPECT_FALSE(h.sim->IsOpen());
        EXPECT_EQ(h.window->Controller()->Connected(), false);
        EXPECT_EQ(h.Panel(1), U("計測中止しました"));
        EXPECT_EQ(h.Caption(), U("測定開始"));
        if (keep == 9) {
            EXPECT_EQ(r.fCh0Valid, 0);
            EXPECT_EQ(r.Ch0.Count, 0);
            EXPECT_EQ(h.Panel(2), QString());
        } else {
            EXPECT_EQ(r.fCh0Valid, 1);
            EXPECT_EQ(r.Ch0.Count, 10);
            EXPECT_TRUE(h.Panel(2).startsWith(U("CH0 : ")));
            EXPECT_EQ(h.window->Label16->text(), U("100"));
        }
    }
}

TEST(WindowStop, TwoChannelRunStoppedAfter500PairsKeepsBoth)
{
    WindowHarness h;
    h.Select(10, 6, 2);
    h.window->MeasureBtnClick();
    ASSERT_TRUE(h.RunUntil([&] { return h.window->Controller()->Received() >= 500; }, 500));
    ASSERT_EQ(h.window->Controller()->Received(), 500);
    h.window->MeasureBtnClick();
    EXPECT_EQ(h.window->Record().Ch0.Count, 500);
    EXPECT_EQ(h.window->Record().Ch1.Count, 500);
    EXPECT_TRUE(h.Panel(2).startsWith(U("CH0 : ")));
}

TEST(WindowFailure, MalformedRecordEndsTheRunKeepsWhatCameBeforeAndTheLink)
{
    WindowHarness h([](mirantos::SimConfig& c) { c.faults.missingCrAtSample = 40; });
    h.Select(10, 3, 0);
    h.window->MeasureBtnClick();
    ASSERT_TRUE(h.RunToEnd());
    EXPECT_EQ(h.Panel(2), U("計測エラーで終了"));
    EXPECT_EQ(h.Panel(1), U("計測中です"));
    // The 40 records before the malformed one are genuine and kept.
    EXPECT_EQ(h.window->Record().fCh0Valid, 1);
    EXPECT_EQ(h.window->Record().Ch0.Count, 40);
    EXPECT_EQ(h.Caption(), U("測定開始"));
    EXPECT_TRUE(h.window->ComboBox1->isEnabled());
    EXPECT_EQ(Cmds(h.sim).back(), "AX");
    EXPECT_EQ(h.window->Controller()->Connected(), true);

    // The next start goes straight to the configuration.
    h.sim->Config().faults.missingCrAtSample = -1;
    const size_t before = Cmds(h.sim).size();
    h.window->MeasureBtnClick();
    EXPECT_EQ(Cmds(h.sim)[before], "S3");
    ASSERT_TRUE(h.RunToEnd());
    EXPECT_EQ(h.window->Record().Ch0.Count, 1000);
}

// A board that is unplugged, or goes quiet while the link stays up, ends the
// run with the read error; what arrived before is kept by the stop's rule.
struct ReadFailureCase {
    const char* name;
    int64_t unplugAt;
    int64_t quietAfter;
    bool kept;
};

class WindowReadFailure : public ::testing::TestWithParam<ReadFailureCase> {};

TEST_P(WindowReadFailure, EndsWithTheReadErrorAndKeepsTenOrMoreSamples)
{
    const ReadFailureCase c = GetParam();
    WindowHarness h([&](mirantos::SimConfig& cfg) {
        cfg.faults.unplugAtSample = c.unplugAt;
        cfg.faults.stallAfterSamples = c.quietAfter;
    });
    h.Select(10, 3, 2); // 1 ksps, 1000 pairs
    h.window->MeasureBtnClick();
    // Simulated time brings every record there is; then the board is quiet
    // (or gone) on the real clock, which is what the run's time-out reads.
    h.RunUntil([&] { return !h.window->Controller()->Measuring(); }, 2000, 2000);
    QElapsedTimer wall;
    wall.start();
    while (h.window->Controller()->Measuring() && wall.elapsed() < 10000) {
        h.window->Controller()->Poll();
        QThread::msleep(20);
    }
    ASSERT_FALSE(h.window->Controller()->Measuring());
    EXPECT_EQ(h.Panel(2), U("計測エラーで終了"));
    EXPECT_EQ(h.Caption(), U("測定開始"));
    const TMeasureRecord& r = h.window->Record();
    EXPECT_EQ(r.HasData(), c.kept);
    if (c.kept) {
        const int32_t expected = static_cast<int32_t>(std::max(c.unplugAt, c.quietAfter));
        EXPECT_LE(r.Ch0.Count, expected);
        EXPECT_GE(r.Ch0.Count, c.quietAfter > 0 ? expected : 10);
        EXPECT_EQ(r.Ch1.Count, r.Ch0.Count);
    }
    if (c.quietAfter >= 0) {
        EXPECT_GE(wall.elapsed(), 1000); // not before the board was given its time
        EXPECT_NE(h.window->Controller()->ReadFailure().find("stopped sending"), std::string::npos)
            << h.window->Controller()->ReadFailure();
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, WindowReadFailure,
                         ::testing::Values(ReadFailureCase{"Unplugged", 300, -1, true},
                                           ReadFailureCase{"UnpluggedEarly", 5, -1, false},
                                           ReadFailureCase{"Quiet", -1, 300, true},
                                           ReadFailureCase{"QuietBeforeTen", -1, 5, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(WindowFailure, WrongBoardNameIsBoardNotFound)
{
    WindowHarness h([](mirantos::SimConfig& c) { c.boardName = "OTHERBOARD"; });
    h.window->MeasureBtnClick();
    ASSERT_EQ(h.presenter.boxes.size(), 1u);
    EXPECT_EQ(h.presenter.boxes[0].text, U("MIRANTOS が見つかりませんでした"));
    EXPECT_EQ(h.presenter.boxes[0].caption, U("MIRANTOS Board"));
    EXPECT_EQ(h.Panel(0), U("MIRANTOS Board が見つかりませんでした"));
    EXPECT_EQ(h.window->Controller()->Connected(), false);
    EXPECT_EQ(h.window->Controller()->Measuring(), false);
    EXPECT_FALSE(h.sim->IsOpen());
    EXPECT_TRUE(h.window->ComboBox1->isEnabled());
    EXPECT_EQ(h.Caption(), U("測定開始"));
}

TEST(WindowFailure, AbsentAndSilentBoards)
{
    {
        WindowHarness h([](mirantos::SimConfig& c) { c.faults.absent = true; });
        h.window->MeasureBtnClick();
        ASSERT_EQ(h.presenter.boxes.size(), 1u);
        EXPECT_EQ(h.presenter.boxes[0].text,
                  U("MIRANTOS が見つかりませんでした\nno FTDI device found"));
    }
    {
        WindowHarness h([](mirantos::SimConfig& c) { c.faults.mute = true; });
        h.window->MeasureBtnClick();
        ASSERT_EQ(h.presenter.boxes.size(), 1u);
        EXPECT_EQ(h.presenter.boxes[0].text, U("MIRANTOS が応答しませんでした"));
        EXPECT_EQ(h.Panel(0), U("MIRANTOS Board 応答しませんでした"));
        EXPECT_TRUE(h.window->MeasureBtn->isEnabled());
        EXPECT_TRUE(h.window->QuitBtn->isEnabled());
        // Then the board comes back: the board panel shows it.
        h.sim->Config().faults.mute = false;
        h.window->MeasureBtnClick();
        EXPECT_EQ(h.Panel(0), U("MIRANTOS / 1.10"));
    }
    {
        WindowHarness h([](mirantos::SimConfig& c) { c.faults.refuseVersion = true; });
        h.window->MeasureBtnClick();
        ASSERT_EQ(h.presenter.boxes.size(), 1u);
        EXPECT_EQ(h.presenter.boxes[0].text, U("MIRANTOS が応答しませんでした"));
    }
}

TEST(WindowFailure, RefusedConfigurationShowsBoardErrorAndIdentifiesAgainNextTime)
{
    WindowHarness h([](mirantos::SimConfig& c) { c.faults.ngCommand = "S3"; });
    h.window->MeasureBtnClick();
    EXPECT_TRUE(h.presenter.boxes.empty());
    EXPECT_EQ(h.Panel(0), U("MIRANTOS Board がエラーです"));
    EXPECT_EQ(h.window->Controller()->Connected(), false);
    EXPECT_EQ(h.window->Controller()->Measuring(), false);
    EXPECT_TRUE(h.window->ComboBox1->isEnabled());
    h.sim->Config().faults.ngCommand.clear();
    const size_t before = Cmds(h.sim).size();
    h.window->MeasureBtnClick();
    EXPECT_EQ(Cmds(h.sim)[before], "?");
    EXPECT_EQ(h.window->Controller()->Measuring(), true);
}

TEST(WindowClose, ClosingDuringACommandWaitWaitsForTheHandler)
{
    // A real clock and a silent board: the "?" wait lasts its full 100 ms.
    auto* presenter = new RecordingPresenter;
    TFormMainDeps deps;
    deps.Presenter = presenter;
    mirantos::SimConfig config;
    config.faults.mute = true;
    deps.MakeDriver = [config] { return mirantos::MakeSimDriver(config); };
    auto* w = new TFormMain(std::move(deps));
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->show();
    QPointer<TFormMain> alive(w);
    bool closedDuringWait = false;
    QTimer::singleShot(20, [&] { closedDuringWait = w->close(); });
    w->MeasureBtnClick();
    // The handler ran to its end: the failure was reported, nothing was destroyed.
    ASSERT_TRUE(alive);
    EXPECT_FALSE(closedDuringWait);
    EXPECT_EQ(presenter->boxes.size(), 1u);
    // The deferred close happens right after.
    for (int i = 0; i < 100 && alive; ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QThread::msleep(2);
    }
    EXPECT_FALSE(alive);
    delete presenter;
}

// Passes every call on to the simulated board and remembers what outlives it.
struct WitnessDriver : IFtdiDriver {
    struct Log {
        std::string written;
        int closes = 0;
    };
    WitnessDriver(std::unique_ptr<IFtdiDriver> inner, std::shared_ptr<Log> log)
        : inner_(std::move(inner)), log_(std::move(log))
    {
    }
    FT_STATUS Open(int i, FT_HANDLE* h) override { return inner_->Open(i, h); }
    FT_STATUS SetUSBParameters(FT_HANDLE h, uint32_t in, uint32_t out) override
    {
        return inner_->SetUSBParameters(h, in, out);
    }
    FT_STATUS Purge(FT_HANDLE h, uint32_t m) override { return inner_->Purge(h, m); }
    FT_STATUS Close(FT_HANDLE h) override
    {
        ++log_->closes;
        return inner_->Close(h);
    }
    FT_STATUS GetQueueStatus(FT_HANDLE h, uint32_t* n) override
    {
        return inner_->GetQueueStatus(h, n);
    }
    FT_STATUS Read(FT_HANDLE h, void* b, uint32_t n, uint32_t* got) override
    {
        return inner_->Read(h, b, n, got);
    }
    FT_STATUS Write(FT_HANDLE h, const void* b, uint32_t n, uint32_t* put) override
    {
        log_->written.append(static_cast<const char*>(b), n);
        return inner_->Write(h, b, n, put);
    }
    std::unique_ptr<IFtdiDriver> inner_;
    std::shared_ptr<Log> log_;
};

TEST(WindowClose, ClosingDuringARunSendsNoStopAndClosesTheDevice)
{
    auto log = std::make_shared<WitnessDriver::Log>();
    auto clock = std::make_shared<mirantos::ManualClock>();
    clock->SetAutoStepUs(200);
    RecordingPresenter presenter;
    TFormMainDeps deps;
    deps.Presenter = &presenter;
    deps.MakeDriver = [log, clock]() -> std::unique_ptr<IFtdiDriver> {
        mirantos::SimConfig config;
        config.clock = clock;
        return std::make_unique<WitnessDriver>(mirantos::MakeSimDriver(config), log);
    };
    auto w = std::make_unique<TFormMain>(std::move(deps));
    w->show();
    w->ComboBox1->setCurrentIndex(10);
    w->MeasureBtnClick();
    for (int i = 0; i < 200 && w->Controller()->Received() < 100; ++i) {
        clock->AdvanceUs(2000);
        w->Controller()->Poll();
    }
    ASSERT_GE(w->Controller()->Received(), 100);
    EXPECT_TRUE(w->close());
    w.reset();
    EXPECT_EQ(log->written.find("AX\r"), std::string::npos);
    EXPECT_EQ(log->closes, 1);
}

TEST(WindowResize, ResizeRedrawsTheRecordOrTheDefaultAndLaysOutTheStatusBar)
{
    WindowHarness h;
    h.window->resize(h.window->width() + 120, h.window->height() + 60);
    h.Settle();
    EXPECT_EQ(h.window->PaintBox()->width(), 560 + 120);
    EXPECT_EQ(h.window->YLabel(0)->text(), U("2147484648"));
    EXPECT_EQ(h.window->StatusBar()->height(), 20);
    EXPECT_EQ(h.window->StatusBar()->geometry().bottom() + 1, h.window->centralWidget()->height());
    EXPECT_EQ(h.window->MeasureBtn->x(), 656 + 120);

    // During a run the counts are 0: the default graph replaces the live blocks.
    h.Select(6, 3, 0);
    h.window->MeasureBtnClick();
    ASSERT_TRUE(h.RunUntil([&] { return h.window->Controller()->Received() >= 200; }));
    EXPECT_EQ(h.window->Label16->text(), U("200"));
    h.window->resize(h.window->width() - 20, h.window->height());
    h.Settle();
    EXPECT_EQ(h.window->Label16->text(), U("1000"));
    EXPECT_EQ(h.window->YLabel(0)->text(), U("2147484648"));
    h.window->MeasureBtnClick(); // stop: 200 samples are kept

    h.Select(13, 0, 0);
    h.window->MeasureBtnClick();
    ASSERT_TRUE(h.RunToEnd());
    const QString top = h.window->YLabel(0)->text();
    h.window->resize(h.window->width() - 100, h.window->height() - 40);
    h.Settle();
    EXPECT_EQ(h.window->YLabel(0)->text(), top);
    EXPECT_EQ(h.window->Label16->text(), U("100"));
    EXPECT_EQ(h.window->Graph()->BmpWidth(), h.window->PaintBox()->width() - 2);
}

} // namespace
