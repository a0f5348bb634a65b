// Following a growing capture: samples appended in blocks show after at most
// one frame period, auto-scroll keeps the last ten seconds in view, zooming
// leaves it and "最新を表示" returns to it.

#include "TraceViewerWindow.h"
#include "ViewerTestSupport.h"

#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace mirantos;
using namespace mirantos::trace;
using namespace viewertest;

namespace {

struct Live {
    Live()
    {
        window.resize(900, 560);
        window.show();
        QCoreApplication::processEvents();
        window.FollowCapture(Info(2), QStringLiteral("/tmp/live.csv"));
    }
    // One second of both channels, as a capture run hands it over.
    void Second()
    {
        const std::vector<uint32_t> a = Codes(1000, 0x9ABC0001u + 1000u * seconds, 1);
        const std::vector<uint32_t> b = Codes(1000, 0x41230003u, 2);
        window.AppendSamples(a.data(), b.data(), 1000);
        ++seconds;
    }
    void WaitFrame() { QTest::qWait(TTraceViewerWindow::kFrameMs * 2 + 20); }
    TSampleSpan Visible() const { return VisibleSpan(window.View().x, window.Data().Samples()); }

    ScriptedViewerDialogs dialogs;
    TTraceViewerWindow window{nullptr, &dialogs};
    uint32_t seconds = 0;
};

TEST(ViewerLive, AppendedSamplesRollInAndTheTailStaysInView)
{
    Live l;
    EXPECT_TRUE(l.window.Following());
    EXPECT_TRUE(l.window.AutoScroll());
    EXPECT_FALSE(l.window.findChild<QPushButton*>("open")->isEnabled());
    EXPECT_FALSE(l.window.OpenFile(QStringLiteral("/tmp/other.csv")));
    ASSERT_EQ(l.dialogs.errors.size(), 1u);
    EXPECT_TRUE(l.window.Following());

    // Table: seconds appended so far -> the first sample auto-scroll shows (the
    // view ends at the record's end and covers at least ten seconds, so at
    // most one sample more).
    const std::pair<int, int64_t> steps[] = {{3, 0}, {10, 0}, {11, 999}, {25, 14999}};
    for (const auto& [total, first] : steps) {
        SCOPED_TRACE(total);
        while (static_cast<int>(l.seconds) < total)
            l.Second();
        const QImage before = l.window.Image();
        // The picture waits for the frame timer, however many blocks came.
        EXPECT_EQ(l.window.Image(), before);
        l.WaitFrame();
        EXPECT_EQ(l.window.Data().Samples(), total * 1000);
        EXPECT_EQ(l.Visible(), (TSampleSpan{first, total * 1000}));
        EXPECT_NE(l.window.Image(), before);
    }
    // The newest sample is drawn: it lies in the picture's last column.
    EXPECT_EQ(ColumnOfSample(l.window.View().x, 24999), l.window.View().x.width - 1);

    // Zooming leaves auto-scroll: new samples no longer move the view.
    Wheel(l.window.Canvas(), l.window.PlotArea().center(), 120);
    EXPECT_FALSE(l.window.AutoScroll());
    EXPECT_TRUE(l.window.findChild<QPushButton*>("latest")->isEnabled());
    const TViewX zoomed = l.window.View().x;
    l.Second();
    l.WaitFrame();
    EXPECT_EQ(l.window.View().x, zoomed);

    l.window.findChild<QPushButton*>("latest")->click();
    EXPECT_TRUE(l.window.AutoScroll());
    EXPECT_EQ(l.Visible(), (TSampleSpan{15999, 26000}));

    l.Second();
    l.window.EndCapture();
    EXPECT_FALSE(l.window.Following());
    EXPECT_EQ(l.window.Data().Samples(), 27000);
    EXPECT_EQ(l.Visible(), (TSampleSpan{16999, 27000})); // the last block drawn at once
    EXPECT_TRUE(l.window.findChild<QPushButton*>("open")->isEnabled());
    // After the end, appending is refused.
    l.Second();
    EXPECT_EQ(l.window.Data().Samples(), 27000);
}

} // namespace
