// The trace viewer from the main window: its data-menu item, the Y unit passed
// on, and a span analysed in the main window's noise analysis, named by its
// channel, kept through a capture until the next data set replaces it.

#include "AppTestSupport.h"

#include "CaptureFile.h"
#include "CaptureRequest.h"
#include "NoiseAnalysisWindow.h"
#include "TraceViewerWindow.h"

#include "CaptureRequest.h"
#include "TraceView.h"

#include <QAction>
#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(TraceViewerMenu, OpensTheViewerWhoseSpanGoesToTheMainNoiseAnalysis)
{
    WindowHarness h;
    QTemporaryDir dir;
    const std::string path = dir.filePath("run.csv").toStdString();
    mirantos::TCaptureInfo info;
    info.rateIndex = 10;
    info.rateSps = 1000;
    std::vector<uint32_t> codes(2000);
    for (uint32_t i = 0; i < 2000; ++i)
        codes[i] = 0x80000000u + (i * 7919u) % 5000u;
    mirantos::TCaptureWriter w;
    ASSERT_TRUE(w.Open(path, false) && w.Begin(info) && w.Write(codes.data(), nullptr, 2000) &&
                w.Finish(mirantos::TCaptureEnd::Complete));

    h.window->TraceViewer1->trigger(); // no data set needed
    mirantos::TTraceViewerWindow* viewer = h.window->ViewerWindow();
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(viewer->isVisible());
    // While its open dialog is up, the viewer is a command of ours: nothing
    // handed over gets in (nor would the window close under it).
    TFormMain::TOpenAnswer answer = TFormMain::TOpenAnswer::Accepted;
    h.viewerDialogs.whileOpenDialog = [&] {
        answer = h.window->OfferFile(QString::fromStdString(path));
    };
    h.viewerDialogs.openNames.push_back(QString::fromStdString(path));
    viewer->findChild<QPushButton*>("open")->click();
    EXPECT_EQ(answer, TFormMain::TOpenAnswer::Busy);
    ASSERT_EQ(viewer->Data().Samples(), 2000);

    h.window->MenuY_VoltClick();
    EXPECT_TRUE(viewer->VoltMode());

    viewer->ShowSeconds(0.5, 1.0);
    viewer->findChild<QPushButton*>("analyse")->click();
    mirantos::TNoiseAnalysisWindow* noise = h.window->NoiseWindow();
    ASSERT_NE(noise, nullptr);
    ASSERT_NE(noise->Figures(), nullptr);
    EXPECT_EQ(noise->Figures()->samples, 500);
    const QString span = noise->Source();
    EXPECT_TRUE(span.contains("CH0")) << span.toStdString();

    // A capture, from its start to its end, leaves the span being analysed.
    const QString capture = dir.filePath("long.csv");
    h.dialogs.captureAnswer = [&](mirantos::TCaptureRequest* r) {
        *r = {capture, 13, true, 0, false, r->seconds, 300};
        return true;
    };
    h.window->Capture1Click();
    ASSERT_TRUE(h.window->Controller()->Measuring());
    ASSERT_TRUE(h.RunUntil([&] { return !h.window->Controller()->Measuring(); }));
    EXPECT_EQ(noise->Source(), span);
    ASSERT_NE(noise->Figures(), nullptr);
    EXPECT_EQ(noise->Figures()->samples, 500);

    // The next data set of the main window replaces the span.
    h.Select(13, 0, 0); // 100 samples of CH0
    h.window->MeasureBtnClick();
    ASSERT_TRUE(h.RunToEnd());
    EXPECT_EQ(noise->Source(), QString());
    ASSERT_NE(noise->Figures(), nullptr);
    EXPECT_EQ(noise->Figures()->samples, 100);
}

// A capture may run for days: the viewer closed meanwhile comes back from the
// data menu, alone there, on everything recorded so far and rolling with it.
TEST(TraceViewerMenu, ReopensDuringACaptureOnTheSamplesSoFar)
{
    WindowHarness h;
    h.clock->SetAutoStepUs(2500); // every command's answer is there at the first look
    QTemporaryDir dir;
    const QString path = dir.filePath("long.csv");
    h.dialogs.captureAnswer = [&](mirantos::TCaptureRequest* r) {
        *r = {path, 10, true, 2, false, r->seconds, 1000000}; // 1 ksps, both channels
        return true;
    };
    h.window->Capture1Click();
    ASSERT_TRUE(h.window->Controller()->Measuring());
    mirantos::TTraceViewerWindow* viewer = h.window->ViewerWindow();
    ASSERT_TRUE(h.RunUntil([&] { return viewer->Data().Samples() >= 3000; }));
    QKeyEvent zoomIn(QEvent::KeyPress, Qt::Key_Plus, Qt::NoModifier);
    QCoreApplication::sendEvent(viewer->Canvas(), &zoomIn); // zoomed: no longer rolling
    ASSERT_FALSE(viewer->AutoScroll());
    viewer->close();
    ASSERT_TRUE(h.RunUntil([&] { return viewer->Data().Samples() >= 8000; }));

    QAction* data = h.window->Data1->menuAction();
    EXPECT_TRUE(data->isEnabled() && h.window->TraceViewer1->isEnabled());
    for (QAction* item : {h.window->Save1, h.window->Load1, h.window->Capture1, h.window->Station1})
        EXPECT_FALSE(item->isEnabled()) << item->text().toStdString();
    h.window->TraceViewer1->trigger();
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_TRUE(viewer->Following() && viewer->AutoScroll());
    const int64_t n = viewer->Data().Samples();
    EXPECT_EQ(n, h.window->Controller()->Received());
    EXPECT_EQ(mirantos::trace::VisibleSpan(viewer->View().x, n).last, n);
    // A span analysed from here names the board that recorded it, simulated as it was.
    EXPECT_EQ(viewer->Data().Board(), "MIRANTOS 1.10");
    EXPECT_TRUE(viewer->Data().Simulated());

    h.window->MeasureBtnClick(); // stop
    h.RunToEnd();
    EXPECT_TRUE(h.window->Save1->isEnabled() && h.window->Capture1->isEnabled());
    // A plain run keeps the whole data menu off.
    h.Select(13, 3, 0);
    h.window->MeasureBtnClick();
    EXPECT_FALSE(data->isEnabled());
    ASSERT_TRUE(h.RunToEnd());
    EXPECT_TRUE(data->isEnabled() && h.window->NoiseAnalysis1->isEnabled());
}

} // namespace
