// The trace viewer window, headless, on records written to a real folder:
// opening either kind of file, the mouse against the pure view geometry, the
// readouts against the samples, the span handed to the noise analysis, and
// the window's picture against the command-line tool's.

#include "TraceViewerWindow.h"
#include "ViewerTestSupport.h"

#include "Commands.h"
#include "NoiseAnalysis.h"
#include "NoiseAnalysisWindow.h"
#include "ReadoutText.h"
#include "ViewerTexts.h"

#include <QImage>
#include <QPushButton>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <sstream>

using namespace mirantos;
using namespace mirantos::trace;
using namespace viewertest;

namespace {

constexpr int64_t kSamples = OpenViewer::kSamples;

// With a lone spike in CH0.
struct Viewer : OpenViewer {
    Viewer() : OpenViewer(12345) { EXPECT_TRUE(opened); }
};

// The open command reads the file whole (a .DTA goes through the same reader,
// compared against the command-line tool in its own test).
TEST(TraceViewer, OpensRecordsWholeAndKeepsTheRecordOnARefusedOne)
{
    Viewer v;
    const std::vector<uint32_t> part(v.c1.begin(), v.c1.begin() + 5000);
    const std::string ch1Only = WriteCapture(v.dir, "ch1.csv", 1, {}, part);
    for (const auto& [path, codes1] : {std::pair{ch1Only, &part}, {v.capture, &v.c1}}) {
        v.dialogs.openNames.push_back(QString::fromStdString(path));
        v.window.findChild<QPushButton*>("open")->click();
        const TTraceData& d = v.window.Data();
        EXPECT_EQ(d.Holds(0), path == v.capture);
        EXPECT_EQ(d.Channel(1).Codes(), *codes1);
        EXPECT_EQ(v.window.View().x, FitAll(d.Samples(), v.window.PlotArea().width()));
    }
    // Refused files leave the record shown, with the reason in the error box.
    for (const auto& [name, bytes] :
         {std::pair{"broken.csv", "# MIRANTOS capture\n# rate_index: 99\n"},
          {"notes.DTA", "measured by hand\r\n"}}) {
        QFile f(v.dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) > 0);
        f.close();
        const size_t errors = v.dialogs.errors.size();
        EXPECT_FALSE(v.window.OpenFile(f.fileName()));
        EXPECT_EQ(v.dialogs.errors.size(), errors + 1) << name;
        EXPECT_EQ(v.window.Data().Samples(), kSamples);
    }
}

// Each gesture must leave the view the pure geometry computes from the view
// before it.
TEST(TraceViewer, WheelBoxPanAndFitMoveTheViewAsTheGeometrySays)
{
    Viewer v;
    const int64_t n = kSamples;
    const std::pair<std::function<void(Viewer&)>, std::function<TViewX(const TViewX&)>> cases[] = {
        {[](Viewer& v) { Wheel(v.Canvas(), v.At(17, 50), -240); },
         [n](const TViewX& x) { return ZoomAt(x, n, 17, std::pow(1.25, -2)); }},
        {[](Viewer& v) { Drag(v.Canvas(), v.At(500, 20), v.At(200, 200), Qt::RightButton); },
         [n](const TViewX& x) { return ZoomToColumns(x, n, 200, 500); }},
        {[](Viewer& v) {
             Drag(v.Canvas(), v.At(100, 20), v.At(140, 200), Qt::LeftButton, Qt::ShiftModifier);
         },
         [n](const TViewX& x) { return ZoomToColumns(x, n, 100, 140); }},
        {[](Viewer& v) { Drag(v.Canvas(), v.At(400, 50), v.At(250, 90), Qt::LeftButton); },
         [n](const TViewX& x) { return Pan(x, n, -150); }},
        {[](Viewer& v) { v.window.findChild<QPushButton*>("fitAll")->click(); },
         [n](const TViewX& x) { return FitAll(n, x.width); }},
        {[](Viewer& v) { Drag(v.Canvas(), v.At(100, 50), v.At(101, 80), Qt::RightButton); },
         [](const TViewX& x) { return x; }}, // a click is no box
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        v.window.ShowSeconds(4.0, 9.0); // room to move every way
        const TViewX before = v.window.View().x;
        cases[i].first(v);
        EXPECT_EQ(v.window.View().x, cases[i].second(before)) << "case " << i;
        EXPECT_TRUE(i + 1 == std::size(cases) || cases[i].second(before) != before) << i;
    }
    // A box with height takes its rows as the Y range.
    v.window.ShowSeconds(4.0, 9.0);
    const TViewY y = v.window.View().y;
    Drag(v.Canvas(), v.At(100, 30), v.At(300, 120), Qt::RightButton);
    EXPECT_EQ(v.window.View().y, ZoomToRows(y, 30, 120));
    // "Y軸合わせ" fits it to the visible samples again.
    v.window.findChild<QPushButton*>("fitY")->click();
    EXPECT_EQ(v.window.View().y,
              AutoYOf(v.window.Data(), {true, true}, v.Visible(), v.window.PlotArea().height()));
}

TEST(TraceViewer, CursorReadoutShowsTheExactCodeUnderTheMouse)
{
    Viewer v;
    v.window.ShowSeconds(12.340, 12.350); // about 80 columns per sample
    const TViewX x = v.window.View().x;
    for (const size_t i : {12340u, 12345u, 12349u}) {
        // A few columns into the sample's band (ColumnOfSample is its last column).
        const int column = static_cast<int>(ColumnOfSample(x, static_cast<int64_t>(i))) - 3;
        ASSERT_EQ(ColumnStart(x, column), static_cast<int64_t>(i));
        Mouse(v.Canvas(), QEvent::MouseMove, v.At(column, 40), Qt::NoButton);
        const QString text = v.window.CursorText();
        // Through a float the neighbouring codes would print alike.
        ASSERT_NE(static_cast<uint32_t>(static_cast<float>(v.c0[i])), v.c0[i]);
        // Counted from 1, as the file's index column counts.
        EXPECT_TRUE(
            text.startsWith(QString::fromUtf8("データ番号：") + QString::number(i + 1) + " "))
            << text.toStdString();
        EXPECT_TRUE(text.contains(QString::number(v.c0[i]) + " digit") &&
                    text.contains(QString::number(v.c1[i])) &&
                    text.contains(FormatMask(CodeToMicrovolt(v.c0[i], 1), 5) + "[µV]") &&
                    !text.contains("uV"))
            << i << ": " << text.toStdString();
    }
}

// The readout's figures are the noise analysis's for exactly the visible samples.
TEST(TraceViewer, SpanReadoutGivesTheVisibleSamplesFiguresInEitherUnit)
{
    Viewer v;
    for (const auto& [from, to, volt] :
         {std::tuple{0.0, 20.0, false}, {12.3, 12.4, true}, {3.0, 7.77, false}}) {
        v.window.SetVoltMode(volt);
        v.window.ShowSeconds(from, to);
        const TSampleSpan s = v.Visible();
        QString want = QString::number(s.Count());
        for (int c = 0; c < 2; ++c) {
            analysis::TNoiseFigures f;
            analysis::ComputeLevelFigures(
                std::span(c == 0 ? v.c0 : v.c1).subspan(s.first, s.Count()), 1, f);
            want += "\n" +
                    (volt ? StatVoltText(c, CodeToMicrovolt(f.maxCode, 1),
                                         CodeToMicrovolt(f.minCode, 1), static_cast<float>(f.rmsUv),
                                         text::ViewerAxisMicrovolt)
                          : StatCodeText(f.maxCode, f.minCode, static_cast<float>(f.rmsCode), c));
        }
        EXPECT_TRUE(v.window.SpanText().endsWith(want)) << v.window.SpanText().toStdString() << "\n"
                                                        << want.toStdString();
        // Our windows write the unit µV; only the main window's status bar keeps "uV".
        EXPECT_EQ(v.window.SpanText().contains("[µV]"), volt);
        EXPECT_FALSE(v.window.SpanText().contains("uV"));
    }
}

TEST(TraceViewer, AnalyseHandsExactlyTheVisibleSpanToTheNoiseAnalysis)
{
    Viewer v;
    TNoiseAnalysisWindow analysis;
    v.window.SetAnalysisTarget([&] { return &analysis; });
    v.window.ShowSeconds(12.0, 15.5);
    ASSERT_EQ(v.Visible(), (TSampleSpan{12000, 15500}));
    v.window.findChild<QPushButton*>("analyse")->click();

    EXPECT_EQ(analysis.Source(), QString::fromUtf8("記録: run.csv CH0 / CH1 12.000〜15.500 s"));
    analysis::TNoiseFigures want;
    ASSERT_TRUE(analysis::Analyze({v.c0.begin() + 12000, v.c0.begin() + 15500}, 1000, 1, {}, want));
    ASSERT_NE(analysis.Figures(), nullptr);
    EXPECT_EQ(analysis.Figures()->samples, 3500);
    EXPECT_EQ(analysis.Figures()->maxCode, v.c0[12345]); // the spike is in it
    EXPECT_EQ(analysis.Figures()->rmsCode, want.rmsCode);
    analysis.SelectChannel(1);
    EXPECT_EQ(analysis.Figures()->minCode,
              *std::min_element(v.c1.begin() + 12000, v.c1.begin() + 15500));
}

// The window shows what `mirantos-cli view` writes for the same view.
TEST(TraceViewer, PictureEqualsTheCommandLineToolsPixelForPixel)
{
    Viewer v;
    const QSize size = v.Canvas()->size();
    const std::string wh = std::to_string(size.width()) + "x" + std::to_string(size.height());
    struct Case {
        std::vector<std::string> args;
        bool volt;
        int channels;
        double from, to; // from < 0: fit all
    };
    int k = 0;
    for (const Case& c :
         {Case{{}, false, 2, -1, 0},
          Case{{"--from", "12.34", "--to", "12.36"}, false, 2, 12.34, 12.36},
          Case{{"--from", "2", "--to", "19.5", "--channel", "1", "--unit", "uv"}, true, 1, 2, 19.5},
          Case{{"--unit", "uv", "--channel", "0"}, true, 0, -1, 0}}) {
        SCOPED_TRACE(k);
        v.window.SetVoltMode(c.volt);
        v.window.SelectChannels(c.channels);
        c.from < 0 ? v.window.FitAllClick() : v.window.ShowSeconds(c.from, c.to);
        const std::string out = v.dir.filePath(QString("cli%1.png").arg(k++)).toStdString();
        std::vector<std::string> args = {"view", v.capture, "--size", wh, "-o", out};
        args.insert(args.end(), c.args.begin(), c.args.end());
        std::ostringstream o, e;
        ASSERT_EQ(cli::Run(args, {o, e}), 0) << e.str();
        EXPECT_EQ(QImage(QString::fromStdString(out)).convertToFormat(QImage::Format_RGB32),
                  v.window.Image());
    }
}

} // namespace

namespace {

// Two channels at offsets far apart: on their own scales each fills its lane
// (on the common scale both would be flat lines at the plot's top and bottom).
TEST(TraceViewer, OwnScaleLanesShowEachChannelsNoiseAcrossItsLane)
{
    Viewer v;
    v.window.SetLayout(TYLayout::Lanes);
    v.window.ShowSeconds(5.0, 6.0); // noise, no ramp to speak of, no spike
    const QRect plot = v.window.PlotArea();
    const QImage& img = v.window.Image();
    for (int c = 0; c < 2; ++c) {
        const TLane lane = LaneOf(plot.height(), 2, c);
        int top = plot.height(), bottom = -1;
        for (int y = 0; y < plot.height(); ++y)
            for (int x = 0; x < plot.width(); ++x)
                if (img.pixel(plot.left() + x, plot.top() + y) == kTraceColors[c]) {
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                    break;
                }
        SCOPED_TRACE(c);
        EXPECT_GE(top, lane.top);
        EXPECT_LT(bottom, lane.top + lane.height);
        EXPECT_GT(bottom - top + 1, lane.height * 3 / 4);
    }
}

// The readouts change with the mouse, the unit and the record; the window
// stays as the user sized it.
TEST(TraceViewer, ReadoutsNeverResizeTheWindow)
{
    Viewer v;
    v.window.resize(560, 420);
    QCoreApplication::processEvents();
    const QSize size = v.window.size();
    v.window.SetVoltMode(true);
    v.window.ShowSeconds(12.340, 12.350);
    for (const int column : {10, 200, 400}) {
        Mouse(v.Canvas(), QEvent::MouseMove, v.At(column, 40), Qt::NoButton);
        QCoreApplication::processEvents();
        ASSERT_GT(v.window.CursorText().size(), 60);
        EXPECT_EQ(v.window.size(), size) << v.window.CursorText().toStdString();
    }
    v.window.SelectChannels(0); // one line of figures fewer
    QCoreApplication::processEvents();
    EXPECT_EQ(v.window.size(), size);
}

} // namespace
