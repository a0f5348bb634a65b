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
#include "Texts.h"
#include "ViewerTexts.h"

#include <QComboBox>
#include <QImage>
#include <QPushButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <sstream>

using namespace mirantos;
using namespace mirantos::trace;
using namespace viewertest;

namespace {

constexpr int64_t kSamples = 20000; // 20 s at 1 ksps

struct Viewer {
    Viewer()
    {
        c0 = Codes(kSamples, 0x9ABC0001u, 7);
        c1 = Codes(kSamples, 0x41230003u, 99);
        c0[12345] += 3000000; // a lone spike
        capture = WriteCapture(dir, "run.csv", 2, c0, c1);
        window = std::make_unique<TTraceViewerWindow>(nullptr, &dialogs);
        window->resize(1000, 640);
        window->show();
        QCoreApplication::processEvents();
    }
    QWidget* Canvas() const { return window->Canvas(); }
    QPoint At(int column, int row) const
    {
        const QRect p = window->PlotArea();
        return {p.left() + column, p.top() + row};
    }
    QTemporaryDir dir;
    std::vector<uint32_t> c0, c1;
    std::string capture;
    ScriptedViewerDialogs dialogs;
    std::unique_ptr<TTraceViewerWindow> window;
};

TEST(TraceViewer, OpensCapturesAndDataFilesWholeThroughItsOpenCommand)
{
    Viewer v;
    const std::vector<uint32_t> d0 = Codes(100, 0x81000005u, 3), d1 = Codes(100, 0x7F000007u, 5);
    const std::string dta = WriteDta(v.dir, "set.DTA", d0, d1);
    const std::string ch1Only = WriteCapture(v.dir, "ch1.csv", 1, {}, v.c1);
    ASSERT_FALSE(dta.empty());
    ASSERT_FALSE(ch1Only.empty());

    struct Case {
        std::string path;
        int64_t samples;
        bool ch0, ch1;
        const std::vector<uint32_t>* codes1;
    };
    const Case cases[] = {
        {v.capture, kSamples, true, true, &v.c1},
        {dta, 100, true, true, &d1},
        {ch1Only, kSamples, false, true, &v.c1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        v.dialogs.openNames.push_back(QString::fromStdString(c.path));
        v.window->findChild<QPushButton*>("open")->click();
        const TTraceData& d = v.window->Data();
        EXPECT_EQ(d.Samples(), c.samples);
        EXPECT_EQ(d.Holds(0), c.ch0);
        EXPECT_EQ(d.Holds(1), c.ch1);
        EXPECT_EQ(d.Channel(1).Codes(), *c.codes1);
        EXPECT_EQ(d.RateSps(), 1000);
        EXPECT_TRUE(v.window->windowTitle().endsWith(
            QString::fromStdString(c.path.substr(c.path.rfind('/') + 1))));
        EXPECT_EQ(v.window->findChild<QComboBox*>("channel")->isVisibleTo(v.window.get()),
                  c.ch0 && c.ch1);
        EXPECT_EQ(v.window->View().x, FitAll(c.samples, v.window->PlotArea().width()));
    }
    EXPECT_TRUE(v.dialogs.errors.empty());

    // Refused files leave the record shown, with the reason in the error box.
    const std::string broken = v.dir.filePath("broken.csv").toStdString();
    {
        QFile f(QString::fromStdString(broken));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("# MIRANTOS capture\n# rate_index: 99\n");
    }
    const std::string notes = v.dir.filePath("notes.DTA").toStdString();
    {
        QFile f(QString::fromStdString(notes));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("measured by hand\r\n");
    }
    const std::pair<std::string, const char*> refused[] = {{broken, text::ViewerReadError},
                                                           {notes, text::BoxDataFileError}};
    for (const auto& [path, why] : refused) {
        EXPECT_FALSE(v.window->OpenFile(QString::fromStdString(path)));
        ASSERT_FALSE(v.dialogs.errors.empty());
        EXPECT_TRUE(v.dialogs.errors.back().startsWith(QString::fromUtf8(why)))
            << v.dialogs.errors.back().toStdString();
        EXPECT_EQ(v.window->Data().Samples(), kSamples);
    }
}

// Each gesture must leave the view the pure geometry computes from the view
// before it.
TEST(TraceViewer, WheelBoxPanAndFitMoveTheViewAsTheGeometrySays)
{
    Viewer v;
    ASSERT_TRUE(v.window->OpenFile(QString::fromStdString(v.capture)));
    using Expect = std::function<TViewX(const TViewX&)>;
    struct Case {
        const char* name;
        std::function<void(Viewer&)> act;
        Expect expect;
    };
    const int64_t n = kSamples;
    const Case cases[] = {
        {"wheel in", [](Viewer& v) { Wheel(v.Canvas(), v.At(300, 50), 120); },
         [n](const TViewX& x) { return ZoomAt(x, n, 300, 1.25); }},
        {"wheel out twice", [](Viewer& v) { Wheel(v.Canvas(), v.At(17, 50), -240); },
         [n](const TViewX& x) { return ZoomAt(x, n, 17, std::pow(1.25, -2)); }},
        {"right-button box",
         [](Viewer& v) { Drag(v.Canvas(), v.At(500, 20), v.At(200, 200), Qt::RightButton); },
         [n](const TViewX& x) { return ZoomToColumns(x, n, 200, 500); }},
        {"shift drag box",
         [](Viewer& v) {
             Drag(v.Canvas(), v.At(100, 20), v.At(140, 200), Qt::LeftButton, Qt::ShiftModifier);
         },
         [n](const TViewX& x) { return ZoomToColumns(x, n, 100, 140); }},
        {"pan left",
         [](Viewer& v) { Drag(v.Canvas(), v.At(400, 50), v.At(250, 90), Qt::LeftButton); },
         [n](const TViewX& x) { return Pan(x, n, -150); }},
        {"pan right",
         [](Viewer& v) { Drag(v.Canvas(), v.At(100, 50), v.At(160, 50), Qt::LeftButton); },
         [n](const TViewX& x) { return Pan(x, n, 60); }},
        {"a click is no box",
         [](Viewer& v) { Drag(v.Canvas(), v.At(100, 50), v.At(101, 80), Qt::RightButton); },
         [](const TViewX& x) { return x; }},
        {"fit all", [](Viewer& v) { v.window->findChild<QPushButton*>("fitAll")->click(); },
         [n](const TViewX& x) { return FitAll(n, x.width); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        v.window->ShowSeconds(4.0, 9.0); // room to move every way
        const TViewX before = v.window->View().x;
        c.act(v);
        const TViewX want = c.expect(before);
        EXPECT_EQ(v.window->View().x, want);
        if (std::string(c.name) != "a click is no box") {
            EXPECT_NE(want, before) << "the case moves nothing";
        }
    }

    // A box with height takes its rows as the Y range.
    v.window->ShowSeconds(4.0, 9.0);
    const TViewY y = v.window->View().y;
    Drag(v.Canvas(), v.At(100, 30), v.At(300, 120), Qt::RightButton);
    EXPECT_EQ(v.window->View().y, ZoomToRows(y, 30, 120));
}

TEST(TraceViewer, CursorReadoutShowsTheExactCodeUnderTheMouse)
{
    Viewer v;
    ASSERT_TRUE(v.window->OpenFile(QString::fromStdString(v.capture)));
    v.window->ShowSeconds(12.340, 12.350); // about 80 columns per sample
    const TViewX x = v.window->View().x;
    ASSERT_LT(x.step, kOne / 8);
    for (int64_t i : {12340, 12345, 12349}) {
        SCOPED_TRACE(i);
        // A few columns into the sample's band (ColumnOfSample is its last column).
        const int column = static_cast<int>(ColumnOfSample(x, i)) - 3;
        ASSERT_EQ(ColumnStart(x, column), i);
        Mouse(v.Canvas(), QEvent::MouseMove, v.At(column, 40), Qt::NoButton);
        const QString text = v.window->CursorText();
        const QString code0 = QString::number(v.c0[static_cast<size_t>(i)]);
        EXPECT_TRUE(text.startsWith(QString::fromUtf8(text::ViewerIndex) + QString::number(i) +
                                    QString::fromUtf8(text::ViewerTime) +
                                    QString::number(i / 1000.0, 'f', 3)))
            << text.toStdString();
        EXPECT_TRUE(text.contains(QString::fromUtf8(text::ViewerCode) + code0 + " digit"))
            << text.toStdString();
        EXPECT_TRUE(text.contains(QString::fromUtf8(text::ViewerCode) +
                                  QString::number(v.c1[static_cast<size_t>(i)])));
        EXPECT_TRUE(text.contains(FormatMask(CodeToMicrovolt(v.c0[static_cast<size_t>(i)], 1), 5)));
        // Through a float the neighbouring codes would print alike.
        EXPECT_NE(static_cast<uint32_t>(static_cast<float>(v.c0[static_cast<size_t>(i)])),
                  v.c0[static_cast<size_t>(i)]);
    }
}

TEST(TraceViewer, SpanReadoutGivesTheVisibleSamplesFiguresInEitherUnit)
{
    Viewer v;
    ASSERT_TRUE(v.window->OpenFile(QString::fromStdString(v.capture)));
    for (const bool volt : {false, true}) {
        for (const auto& [from, to] : {std::pair{0.0, 20.0}, {12.3, 12.4}, {3.0, 7.77}}) {
            SCOPED_TRACE(from);
            v.window->SetVoltMode(volt);
            v.window->ShowSeconds(from, to);
            const TSampleSpan s = VisibleSpan(v.window->View().x, kSamples);
            QString want = QString::number(s.Count());
            for (int c = 0; c < 2; ++c) {
                const std::vector<uint32_t>& all = c == 0 ? v.c0 : v.c1;
                const auto [lo, hi] =
                    std::minmax_element(all.begin() + s.first, all.begin() + s.last);
                double mean = 0, sq = 0;
                for (int64_t i = s.first; i < s.last; ++i)
                    mean += all[static_cast<size_t>(i)];
                mean /= static_cast<double>(s.Count());
                for (int64_t i = s.first; i < s.last; ++i)
                    sq += std::pow(all[static_cast<size_t>(i)] - mean, 2);
                const double sigma = std::sqrt(sq / static_cast<double>(s.Count()));
                const double slope =
                    (CodeToMicrovolt(*hi, 1) - CodeToMicrovolt(*lo, 1)) / (*hi - *lo);
                want += "\n" + (volt ? StatVoltText(c, static_cast<float>(CodeToMicrovolt(*hi, 1)),
                                                    static_cast<float>(CodeToMicrovolt(*lo, 1)),
                                                    static_cast<float>(sigma * slope))
                                     : StatCodeText(*hi, *lo, static_cast<float>(sigma), c));
            }
            const QString text = v.window->SpanText();
            EXPECT_TRUE(text.endsWith(want)) << text.toStdString() << "\n" << want.toStdString();
        }
    }
}

TEST(TraceViewer, AnalyseHandsExactlyTheVisibleSpanToTheNoiseAnalysis)
{
    Viewer v;
    ASSERT_TRUE(v.window->OpenFile(QString::fromStdString(v.capture)));
    TNoiseAnalysisWindow analysis;
    v.window->SetAnalysisTarget([&] { return &analysis; });
    v.window->ShowSeconds(12.0, 15.5);
    const TSampleSpan s = VisibleSpan(v.window->View().x, kSamples);
    ASSERT_EQ(s, (TSampleSpan{12000, 15500}));
    v.window->findChild<QPushButton*>("analyse")->click();

    EXPECT_EQ(analysis.Source(), QString::fromUtf8("記録: run.csv 12.000〜15.500 s"));
    const std::vector<uint32_t> span(v.c0.begin() + s.first, v.c0.begin() + s.last);
    analysis::TNoiseFigures want;
    ASSERT_TRUE(analysis::Analyze(span, 1000, 1, {}, want));
    ASSERT_NE(analysis.Figures(), nullptr);
    EXPECT_EQ(analysis.Figures()->samples, 3500);
    EXPECT_EQ(analysis.Figures()->maxCode, want.maxCode); // the spike is in it
    EXPECT_EQ(analysis.Figures()->maxCode, v.c0[12345]);
    EXPECT_EQ(analysis.Figures()->rmsCode, want.rmsCode);
    analysis.SelectChannel(1);
    EXPECT_EQ(analysis.Figures()->minCode,
              *std::min_element(v.c1.begin() + s.first, v.c1.begin() + s.last));
}

// The window shows what `mirantos-cli view` writes for the same view.
TEST(TraceViewer, PictureEqualsTheCommandLineToolsPixelForPixel)
{
    Viewer v;
    ASSERT_TRUE(v.window->OpenFile(QString::fromStdString(v.capture)));
    const QSize size = v.Canvas()->size();
    const std::string wh = std::to_string(size.width()) + "x" + std::to_string(size.height());
    struct Case {
        std::vector<std::string> args;
        std::function<void(TTraceViewerWindow&)> set;
    };
    const Case cases[] = {
        {{}, [](TTraceViewerWindow& w) { w.FitAllClick(); }},
        {{"--unit", "uv", "--channel", "0"},
         [](TTraceViewerWindow& w) {
             w.SetVoltMode(true);
             w.SelectChannels(0);
             w.FitAllClick();
         }},
        {{"--from", "12.34", "--to", "12.36", "--channel", "both"},
         [](TTraceViewerWindow& w) {
             w.SetVoltMode(false);
             w.SelectChannels(2);
             w.ShowSeconds(12.34, 12.36);
         }},
        {{"--from", "2", "--to", "19.5", "--channel", "1", "--unit", "uv"},
         [](TTraceViewerWindow& w) {
             w.SetVoltMode(true);
             w.SelectChannels(1);
             w.ShowSeconds(2, 19.5);
         }},
    };
    int k = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(k);
        c.set(*v.window);
        const std::string out = v.dir.filePath(QString("cli%1.png").arg(k++)).toStdString();
        std::vector<std::string> args = {"view", v.capture, "--size", wh, "-o", out};
        args.insert(args.end(), c.args.begin(), c.args.end());
        std::ostringstream o, e;
        ASSERT_EQ(cli::Run(args, {o, e}), 0) << e.str();
        const QImage written(QString::fromStdString(out));
        ASSERT_EQ(written.size(), v.window->Image().size());
        EXPECT_EQ(written.convertToFormat(QImage::Format_RGB32), v.window->Image());
    }
}

} // namespace
