// What the user of the trace viewer sees of its cursors, view history and
// export: the readout between two cursors against the samples, the crosshair
// on the picture, Backspace and "戻る" undoing zooms and pans, and the CSV a
// span is exported to, read back by the capture reader.

#include "ViewerCursors.h"
#include "TraceViewerWindow.h"
#include "ViewerTestSupport.h"

#include "ReadoutText.h"

#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

using namespace mirantos;
using namespace mirantos::trace;
using namespace viewertest;

namespace {

constexpr int64_t kSamples = OpenViewer::kSamples;

struct Viewer : OpenViewer {
    Viewer() { EXPECT_TRUE(opened); }
    QString Readout() { return window.findChild<QLabel*>("cursors")->text(); }
};

// Gray crosshair pixels in column x and in row y of the plot.
std::pair<int, int> Crosshair(const QImage& img, const QRect& plot, int x, int y)
{
    const QRgb gray = qRgb(128, 128, 128);
    int down = 0, across = 0;
    for (int r = plot.top(); r <= plot.bottom(); ++r)
        down += img.pixel(x, r) == gray;
    for (int c = plot.left(); c <= plot.right(); ++c)
        across += img.pixel(c, y) == gray;
    return {down, across};
}

TEST(ViewerCursors, CtrlClicksPlaceTheCursorsAndTheReadoutSaysWhatLiesBetween)
{
    Viewer v;
    v.window.ShowSeconds(1.0, 1.5);
    const TViewX x = v.window.View().x;
    // Ctrl+click and Ctrl+right-click, then B dragged by its line.
    Drag(v.window.Canvas(), v.At(100, 50), v.At(100, 50), Qt::LeftButton, Qt::ControlModifier);
    Drag(v.window.Canvas(), v.At(300, 50), v.At(300, 50), Qt::RightButton, Qt::ControlModifier);
    const int lineB = static_cast<int>(ColumnOfSample(x, SampleAtColumn(x, kSamples, 300)));
    Drag(v.window.Canvas(), v.At(lineB + 2, 80), v.At(400, 80), Qt::LeftButton);
    EXPECT_EQ(v.window.View().x, x); // the drag moved the cursor, not the view
    const int64_t a = SampleAtColumn(x, kSamples, 100), b = SampleAtColumn(x, kSamples, 400);

    const auto time = [](int64_t i) { return FormatMask(i / 1000.0, 3) + " s"; };
    const QString text = v.Readout();
    EXPECT_TRUE(text.startsWith(
        "カーソルA：" + time(a) + " (No." + QString::number(a + 1) + ") / B：" + time(b) + " (No." +
        QString::number(b + 1) + ") / Δt：" + FormatMask((b - a) / 1000.0, 3) + " s / 1/Δt：" +
        FormatMask(1000.0 / (b - a), 5) + " Hz / データ数：" + QString::number(b - a + 1)))
        << text.toStdString();
    for (int c = 0; c < 2; ++c) {
        const auto& codes = c == 0 ? v.c0 : v.c1;
        const auto [lo, hi] = std::minmax_element(codes.begin() + a, codes.begin() + b + 1);
        const double mean = std::accumulate(codes.begin() + a, codes.begin() + b + 1, 0.0) /
                            static_cast<double>(b - a + 1);
        const QString line = "CH" + QString::number(c) + " Δ：" +
                             QString::number(static_cast<int64_t>(codes[b]) - codes[a]) +
                             " digit / 平均：" + FormatMask(mean, 2) + " digit";
        EXPECT_TRUE(text.contains(line)) << line.toStdString() << "\n" << text.toStdString();
        EXPECT_TRUE(text.contains("pp：" + QString::number(*hi - *lo) + " digit"));
    }
    // In microvolts as the rest of the window.
    v.window.SetVoltMode(true);
    EXPECT_TRUE(v.Readout().contains(
        "CH0 Δ：" + FormatMask(CodeToMicrovolt(v.c0[b], 1) - CodeToMicrovolt(v.c0[a], 1), 5) +
        " µV"));
    v.window.findChild<QPushButton*>("cursorClear")->click();
    EXPECT_TRUE(v.Readout().isEmpty());
    EXPECT_EQ(v.window.ExportSpan(), VisibleSpan(x, kSamples));

    // The crosshair stands on the sample the readout names while the mouse is there.
    const QRect plot = v.window.PlotArea();
    Mouse(v.window.Canvas(), QEvent::MouseMove, v.At(250, 120), Qt::NoButton);
    const int cx =
        plot.left() + static_cast<int>(ColumnOfSample(x, SampleAtColumn(x, kSamples, 250)));
    const auto [down, across] =
        Crosshair(v.window.Canvas()->grab().toImage(), plot, cx, plot.top() + 120);
    EXPECT_GT(down, plot.height() / 4); // dotted: every other pixel, traces aside
    EXPECT_GT(across, plot.width() / 4);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(v.window.Canvas(), &leave);
    EXPECT_EQ(Crosshair(v.window.Canvas()->grab().toImage(), plot, cx, plot.top() + 120),
              std::make_pair(0, 0));
}

TEST(ViewerCursors, BackspaceAndBackUndoEveryZoomPanAndFitInTurn)
{
    Viewer v;
    QPushButton* back = v.window.findChild<QPushButton*>("back");
    EXPECT_FALSE(back->isEnabled());
    std::vector<TViewX> seen{v.window.View().x};
    const auto then = [&] { seen.push_back(v.window.View().x); };
    Wheel(v.window.Canvas(), v.At(300, 60), 240);
    then();
    Drag(v.window.Canvas(), v.At(100, 60), v.At(300, 60), Qt::RightButton); // box
    then();
    Drag(v.window.Canvas(), v.At(300, 60), v.At(200, 60), Qt::LeftButton); // pan
    then();
    v.Key(Qt::Key_Plus);
    then();
    v.Key(Qt::Key_Right, Qt::ShiftModifier);
    then();
    v.window.findChild<QPushButton*>("fitAll")->click();
    // Back through every view, the last by the button.
    for (size_t i = seen.size(); i-- > 1;) {
        v.Key(Qt::Key_Backspace);
        EXPECT_EQ(v.window.View().x, seen[i]) << i;
    }
    EXPECT_TRUE(back->isEnabled());
    back->click();
    EXPECT_EQ(v.window.View().x, seen[0]);
    EXPECT_FALSE(back->isEnabled());
}

TEST(ViewerCursors, ExportWritesTheCursorSpanOrTheVisibleOneAsACapture)
{
    Viewer v;
    TCaptureData data;
    const auto exportAs = [&](const QString& name, const QString& written) {
        v.dialogs.saveNames.push_back(v.dir.filePath(name));
        v.window.findChild<QPushButton*>("export")->click();
        std::vector<std::string> warnings;
        std::string error;
        EXPECT_TRUE(ReadCapture(v.dir.filePath(written).toStdString(), data, warnings, error))
            << error;
    };
    const auto part = [](const std::vector<uint32_t>& codes, int64_t first, int64_t last) {
        return std::vector<uint32_t>(codes.begin() + first, codes.begin() + last);
    };
    // Both cursors set (B before A): the samples between them, both included.
    v.window.Cursors().Place(0, 5000);
    v.window.Cursors().Place(1, 4000);
    exportAs("span.csv", "span.csv");
    EXPECT_TRUE(data.ch0 == part(v.c0, 4000, 5001) && data.ch1 == part(v.c1, 4000, 5001));
    EXPECT_EQ(data.end, "complete, samples=1001");
    // Never over the record shown.
    exportAs("run.csv", "run.csv");
    ASSERT_EQ(v.dialogs.errors.size(), 1u);
    EXPECT_TRUE(v.dialogs.errors[0].startsWith("表示中の記録ファイルには保存できません"));
    EXPECT_EQ(data.ch0.size(), static_cast<size_t>(kSamples));

    // Without cursors: the visible span of the shown channel; the suffix is
    // added, and the question for the name it makes is asked ("いいえ" keeps it).
    v.window.Cursors().Clear();
    v.window.SelectChannels(1);
    v.window.ShowSeconds(2, 3);
    const TSampleSpan shown = VisibleSpan(v.window.View().x, kSamples);
    exportAs("part", "part.csv");
    EXPECT_TRUE(data.ch0.empty() && data.ch1 == part(v.c1, shown.first, shown.last));
    EXPECT_TRUE(v.dialogs.questions.empty());
    v.window.ShowSeconds(5, 6);
    exportAs("part", "part.csv");
    ASSERT_EQ(v.dialogs.questions.size(), 1u);
    EXPECT_TRUE(v.dialogs.questions[0].contains("part.csv"));
    EXPECT_EQ(data.ch1.front(), v.c1[static_cast<size_t>(shown.first)]);

    // The span's start time is the capture's start moved on to its first sample.
    TCaptureInfo info = Info(0);
    info.startUtc = "2026-12-31T23:59:59Z";
    TCaptureWriter w;
    const std::string dated = v.dir.filePath("dated.csv").toStdString();
    ASSERT_TRUE(w.Open(dated, false) && w.Begin(info) && w.Write(v.c0.data(), nullptr, 3000) &&
                w.Finish(TCaptureEnd::Complete));
    ASSERT_TRUE(v.window.OpenFile(QString::fromStdString(dated)));
    v.window.Cursors().Place(0, 1500);
    v.window.Cursors().Place(1, 1501);
    exportAs("late.csv", "late.csv");
    EXPECT_EQ(data.info.startUtc, "2027-01-01T00:00:00.500Z");
}

} // namespace
