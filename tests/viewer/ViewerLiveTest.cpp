// Following a growing capture: samples appended in blocks show after at most
// one frame period, auto-scroll keeps the last ten seconds in view, zooming
// leaves it and "最新を表示" returns to it; the end shows the whole record.

#include "TraceViewerWindow.h"
#include "ViewerTestSupport.h"

#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace mirantos;
using namespace mirantos::trace;
using namespace viewertest;

namespace {

TEST(ViewerLive, AppendedSamplesRollInAndTheTailStaysInView)
{
    ScriptedViewerDialogs dialogs;
    TTraceViewerWindow w{nullptr, &dialogs};
    w.resize(900, 560);
    w.show();
    QCoreApplication::processEvents();
    w.FollowCapture(Info(2), QStringLiteral("/tmp/live.csv"));
    int seconds = 0;
    // One second of both channels, as a capture run hands it over.
    const auto second = [&] {
        const std::vector<uint32_t> a = Codes(1000, 0x9ABC0001u + 1000u * seconds++, 1);
        w.AppendSamples(a.data(), Codes(1000, 0x41230003u, 2).data(), 1000);
    };
    const auto waitFrame = [] { QTest::qWait(TTraceViewerWindow::kFrameMs * 2 + 20); };
    const auto visible = [&] { return VisibleSpan(w.View().x, w.Data().Samples()); };
    // A file handed over while following is refused.
    EXPECT_FALSE(w.OpenFile(QStringLiteral("/tmp/other.csv")));
    EXPECT_EQ(dialogs.errors.size(), 1u);

    // Seconds appended so far -> the first sample auto-scroll shows (the view
    // ends at the record's end and covers at least ten seconds, so at most
    // one sample more).
    for (const auto& [total, first] :
         {std::pair<int, int64_t>{3, 0}, {10, 0}, {11, 999}, {25, 14999}}) {
        SCOPED_TRACE(total);
        while (seconds < total)
            second();
        // The picture waits for the frame timer, however many blocks came.
        const QImage before = w.Image();
        waitFrame();
        EXPECT_EQ(w.Data().Samples(), total * 1000);
        EXPECT_EQ(visible(), (TSampleSpan{first, total * 1000}));
        EXPECT_NE(w.Image(), before);
    }
    // The newest sample is drawn: it lies in the picture's last column.
    EXPECT_EQ(ColumnOfSample(w.View().x, 24999), w.View().x.width - 1);

    // Zooming leaves auto-scroll: new samples no longer move the view.
    Wheel(w.Canvas(), w.PlotArea().center(), 120);
    const TViewX zoomed = w.View().x;
    second();
    waitFrame();
    EXPECT_EQ(w.View().x, zoomed);
    w.findChild<QPushButton*>("latest")->click();
    EXPECT_EQ(visible(), (TSampleSpan{15999, 26000}));

    second();
    w.EndCapture();
    EXPECT_FALSE(w.Following());
    // The whole record at once, its last block too, however far it was zoomed.
    EXPECT_EQ(visible(), (TSampleSpan{0, 27000}));
    EXPECT_EQ(w.View().x, FitAll(27000, w.PlotArea().width()));
    second(); // after the end, appending is refused
    EXPECT_EQ(w.Data().Samples(), 27000);
}

} // namespace
