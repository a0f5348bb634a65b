// The whole graph drawing into its bitmap: grid, traces, labels, blocks and
// the event processing in the middle of a full redraw.

#include "GraphLabels.h"
#include "GraphScale.h"
#include "Graph_2ch.h"
#include "LineRaster.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <vector>

using namespace mirantos;

namespace {

const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kGrey = qRgb(128, 128, 128);
const QRgb kRed = qRgb(255, 0, 0);
const QRgb kBlue = qRgb(0, 0, 255);
constexpr uint32_t kZero = 2147483648u;

class FakeBox : public IPaintBox {
public:
    int left = 72, top = 24, width = 560, height = 417;
    QImage shown;
    QRect src, dest;
    int presents = 0;

    int Left() const override { return left; }
    int Top() const override { return top; }
    int Width() const override { return width; }
    int Height() const override { return height; }
    void Present(const QImage& image, const QRect& s, const QRect& d) override
    {
        shown = image.copy(s);
        src = s;
        dest = d;
        ++presents;
    }
};

QSize FixedSize(const QString& text)
{
    return {7 * static_cast<int>(text.size()), 12};
}

int CountColour(const QImage& img, QRgb c)
{
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            n += img.pixel(x, y) == c;
    return n;
}

class GraphDraw : public ::testing::Test {
protected:
    GraphDraw()
    {
        for (auto& l : y)
            l = std::make_unique<TMeasuredLabel>(FixedSize);
        for (auto& l : x)
            l = std::make_unique<TMeasuredLabel>(FixedSize);
        ch0 = {0, store->Code0.data(), store->Volt0.data()};
        ch1 = {0, store->Code1.data(), store->Volt1.data()};
        IGraphLabel* const xs[2] = {x[0].get(), x[1].get()};
        IGraphLabel* const ys[11] = {y[0].get(), y[1].get(), y[2].get(), y[3].get(),
                                     y[4].get(), y[5].get(), y[6].get(), y[7].get(),
                                     y[8].get(), y[9].get(), y[10].get()};
        graph = std::make_unique<TGraph_2CH>(&box, &ch0, &ch1, &setting, xs, ys);
    }

    void Fill(TChannelData& ch, int n, uint32_t (*f)(int))
    {
        ch.Count = n;
        for (int i = 0; i < n; ++i) {
            ch.Code[i] = f(i);
            ch.Volt[i] = static_cast<float>(CodeToMicrovolt(ch.Code[i], 1));
        }
    }

    std::unique_ptr<TChannelStorage> store = std::make_unique<TChannelStorage>();
    TChannelData ch0, ch1;
    TAdcSetting setting;
    FakeBox box;
    std::unique_ptr<TMeasuredLabel> y[11];
    std::unique_ptr<TMeasuredLabel> x[2];
    std::unique_ptr<TGraph_2CH> graph;
};

} // namespace

TEST_F(GraphDraw, BitmapIsTheBoxLessTwoCopiedToOneOne)
{
    graph->DrawDefault(false);
    EXPECT_EQ(graph->BmpWidth(), 558);
    EXPECT_EQ(graph->BmpHeight(), 415);
    EXPECT_EQ(box.src, QRect(0, 0, 558, 415));
    EXPECT_EQ(box.dest, QRect(1, 1, 558, 415));
    EXPECT_EQ(box.dest.bottomRight(), QPoint(558, 415));
    EXPECT_EQ(box.shown.size(), QSize(558, 415));
    const int before = box.presents;
    graph->CopyToPaintBox();
    EXPECT_EQ(box.presents, before + 1);
}

TEST_F(GraphDraw, GridRowsAndColumnsReadBackFromTheImage)
{
    graph->DrawDefault(false);
    const QImage& img = graph->Bitmap();
    const std::set<int> rows = {0, 41, 82, 124, 165, 207, 248, 289, 331, 372, 414};
    const std::set<int> cols = {0, 55, 111, 167, 222, 278, 334, 389, 445, 501, 557};
    for (int yy = 0; yy < img.height(); ++yy) {
        for (int xx = 0; xx < img.width(); ++xx) {
            // Line ends are left out: rows stop at x 556, columns at y 413.
            const bool grid = (rows.count(yy) && xx <= 556) || (cols.count(xx) && yy <= 413);
            ASSERT_EQ(img.pixel(xx, yy), grid ? kGrey : kWhite) << xx << "," << yy;
        }
    }
}

TEST_F(GraphDraw, DefaultLabelsAndTheirPlacesInBothModes)
{
    graph->DrawDefault(false);
    EXPECT_EQ(y[0]->Placement().text, "2147484648");
    EXPECT_EQ(y[10]->Placement().text, "2147482648");
    EXPECT_EQ(x[0]->Placement().text, "1");
    EXPECT_EQ(x[1]->Placement().text, "1000");
    const int tops[] = {19, 60, 102, 143, 185, 226, 268, 309, 351, 392, 434};
    for (int i = 0; i < 11; ++i) {
        // Ten digits of 7 px are wider than 64 and than the 69 px before the
        // box: they start at the parent's edge.
        EXPECT_EQ(y[i]->Placement().left, 0) << i;
        EXPECT_EQ(y[i]->Placement().top, tops[i]) << i;
    }
    EXPECT_EQ(x[0]->Placement().left, 72);
    EXPECT_EQ(x[0]->Placement().top, 449);
    EXPECT_EQ(x[1]->Placement().left, 72 + 558 - 28);
    EXPECT_EQ(x[1]->Placement().top, 449);

    graph->DrawDefault(true);
    EXPECT_EQ(y[0]->Placement().text, "1.16");
    EXPECT_EQ(y[5]->Placement().text, "0.00");
    EXPECT_EQ(y[10]->Placement().text, "-1.16");
    for (int i = 0; i < 11; ++i)
        EXPECT_EQ(y[i]->Placement().left + y[i]->Width(), 69) << i;
}

TEST_F(GraphDraw, LabelsFollowTheBoxWhenItMovesAndShrinks)
{
    Fill(ch0, 200, [](int i) { return kZero + static_cast<uint32_t>(i % 7); });
    graph->DrawRecord(true);
    box.left = 90;
    box.top = 10;
    box.width = 302;
    box.height = 202;
    graph->ResizeBitmap();
    graph->DrawRecord(true);
    EXPECT_EQ(graph->Bitmap().size(), QSize(300, 200));
    for (int i = 0; i < 11; ++i) {
        EXPECT_EQ(y[i]->Placement().left + y[i]->Width(), 87) << i;
        EXPECT_EQ(y[i]->Placement().top, 10 + 1 + 200 * i / 10 - 6) << i;
    }
    EXPECT_EQ(x[1]->Placement().left + x[1]->Width(), 90 + 300);
    EXPECT_EQ(x[1]->Placement().top, 10 + 200 + 10);
}

TEST_F(GraphDraw, RecordLabelsInCodeMode)
{
    Fill(ch0, 1000, [](int) { return kZero; });
    graph->DrawRecord(false);
    EXPECT_EQ(y[0]->Placement().text, "2147483653");
    EXPECT_EQ(y[10]->Placement().text, "2147483643");
    EXPECT_EQ(x[0]->Placement().text, "1");
    EXPECT_EQ(x[1]->Placement().text, "1000");
}

TEST_F(GraphDraw, EmptyRecordKeepsTheYTextsAndRescalesFromTheEmptyScan)
{
    graph->DrawDefault(false);
    graph->DrawRecord(false);
    EXPECT_EQ(y[0]->Placement().text, "2147484648");
    EXPECT_EQ(x[1]->Placement().text, "100");
    EXPECT_EQ(graph->Scales().SpanCode, 10.0);
    EXPECT_EQ(graph->Scales().MaxCodeAll, 0u);
    EXPECT_EQ(graph->Scales().MinCodeAll, 0xFFFFFFFFu);
    EXPECT_EQ(CountColour(graph->Bitmap(), kRed) + CountColour(graph->Bitmap(), kBlue), 0);
}

TEST_F(GraphDraw, ChannelWithFewerThanTenSamplesDrawsNoTrace)
{
    Fill(ch0, 5, [](int i) { return kZero + static_cast<uint32_t>(i * 1000); });
    graph->DrawRecord(false);
    EXPECT_EQ(CountColour(graph->Bitmap(), kRed), 0);
    EXPECT_EQ(x[1]->Placement().text, "100");
    // ... but it still sets the scale.
    EXPECT_EQ(graph->Scales().MaxCodeAll, kZero + 4000);

    Fill(ch0, 10, [](int i) { return kZero + static_cast<uint32_t>(i * 1000); });
    graph->DrawRecord(false);
    EXPECT_GT(CountColour(graph->Bitmap(), kRed), 0);
}

// Drawing the record must light exactly the pixels that drawing every sample
// pair as its own line would: long records share pixel columns, and whatever
// the plot does to save work there must not change a single pixel.
TEST_F(GraphDraw, RecordTracesEqualEverySegmentDrawnOnItsOwn)
{
    uint64_t state = 12345;
    auto next = [&state] {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<uint32_t>(state >> 32);
    };
    for (const int n : {10000, 2999, 150, 10}) {
        for (const bool volt : {false, true}) {
            ch0.Count = n;
            ch1.Count = n / 2;
            for (int i = 0; i < n; ++i) {
                // CH0: full-range noise; CH1: a slow wave with bursts and flat stretches.
                ch0.Code[i] = next();
                const uint32_t burst = (i / 97) % 3 == 0 ? next() % 4000000u : 0u;
                ch1.Code[i] = kZero + static_cast<uint32_t>((i % 700) * 9000) + burst;
                ch0.Volt[i] = static_cast<float>(CodeToMicrovolt(ch0.Code[i], 1));
                ch1.Volt[i] = static_cast<float>(CodeToMicrovolt(ch1.Code[i], 1));
            }
            graph->DrawRecord(volt);
            const QImage drawn = graph->Bitmap().copy();

            graph->DrawAxesOnly(volt); // same scales, no traces
            QImage expected = graph->Bitmap().copy();
            const TGraphScales sc = graph->Scales();
            const double low = volt ? static_cast<double>(sc.LowVolt) : sc.LowCode;
            const double span = volt ? static_cast<double>(sc.SpanVolt) : sc.SpanCode;
            const float xs = XStep(graph->BmpWidth(), RecordXCount(ch0.Count, ch1.Count) - 1);
            LineRaster r(expected);
            for (const auto& [ch, colour] : {std::pair{&ch0, kRed}, std::pair{&ch1, kBlue}}) {
                if (ch->Count < 10)
                    continue;
                r.SetColor(colour);
                auto yOf = [&](int i) {
                    return YPosition(volt ? static_cast<double>(ch->Volt[i])
                                          : static_cast<double>(ch->Code[i]),
                                     low, span, graph->BmpHeight());
                };
                for (int i = 0; i + 1 < ch->Count; ++i) {
                    r.MoveTo(XPosition(i, xs), yOf(i));
                    r.LineTo(XPosition(i + 1, xs), yOf(i + 1));
                }
            }
            EXPECT_TRUE(drawn == expected) << "n " << n << (volt ? " volt" : " code");
        }
    }
}

TEST_F(GraphDraw, FlatTraceAtTheTopIsRowZeroAtTheBottomInvisible)
{
    // The scale comes from the codes, the volt traces from the Volt arrays.
    Fill(ch0, 50, [](int) { return kZero; });
    Fill(ch1, 50, [](int) { return kZero; });
    graph->DrawRecord(true);
    const TGraphScales s = graph->Scales();
    for (int i = 0; i < 50; ++i) {
        ch0.Volt[i] = s.LowVolt + s.SpanVolt;
        ch1.Volt[i] = s.LowVolt;
    }
    ASSERT_EQ(static_cast<double>(s.LowVolt + s.SpanVolt),
              static_cast<double>(s.LowVolt) + static_cast<double>(s.SpanVolt));
    graph->DrawRecord(true);
    const QImage& img = graph->Bitmap();
    const float xs = XStep(558, 99);
    for (int xx = 1; xx < XPosition(49, xs); ++xx)
        EXPECT_EQ(img.pixel(xx, 0), kRed) << xx;
    EXPECT_NE(img.pixel(XPosition(49, xs), 0), kRed);
    EXPECT_EQ(CountColour(img, kBlue), 0);
}

TEST_F(GraphDraw, TenThousandSamplesEndOneColumnLeftOfTheFrame)
{
    Fill(ch1, 10000, [](int) { return kZero; });
    setting.CHSel = 1;
    graph->DrawRecord(false);
    EXPECT_EQ(x[1]->Placement().text, "10000");
    const QImage& img = graph->Bitmap();
    // Constant code: span 10, bottom code - 5, so the trace lies on row 207.
    for (int xx = 1; xx <= 555; ++xx)
        ASSERT_EQ(img.pixel(xx, 207), kBlue) << xx;
    EXPECT_EQ(img.pixel(556, 207), kGrey);
    EXPECT_EQ(img.pixel(0, 207), kGrey);
}

TEST_F(GraphDraw, ShortRunUsesOnlyTheLeftPartOfAHundredSampleAxis)
{
    Fill(ch0, 37, [](int) { return kZero; });
    graph->DrawRecord(false);
    const QImage& img = graph->Bitmap();
    EXPECT_EQ(img.pixel(202, 207), kRed);
    EXPECT_EQ(img.pixel(203, 207), kGrey);
}

TEST_F(GraphDraw, EveryPairIsDrawnAndChannelOneLiesOverChannelZero)
{
    // Both channels identical: wherever they are drawn, blue wins.
    Fill(ch0, 10000, [](int i) { return kZero + static_cast<uint32_t>((i * 7919) % 5000); });
    Fill(ch1, 10000, [](int i) { return kZero + static_cast<uint32_t>((i * 7919) % 5000); });
    graph->DrawRecord(false);
    QImage expected(558, 415, QImage::Format_RGB32);
    expected.fill(kWhite);
    {
        LineRaster r(expected);
        r.SetColor(kGrey);
        for (int i = 0; i <= 10; ++i) {
            r.Line(0, static_cast<int>(414 * i * 0.1), 557, static_cast<int>(414 * i * 0.1));
        }
        for (int i = 0; i <= 10; ++i) {
            r.Line(static_cast<int>(557 * i * 0.1), 0, static_cast<int>(557 * i * 0.1), 414);
        }
        const TGraphScales s = graph->Scales();
        const float xs = XStep(558, 9999);
        r.SetColor(kBlue);
        for (int i = 0; i + 1 < 10000; ++i)
            r.Line(XPosition(i, xs), YPosition(ch1.Code[i], s.LowCode, s.SpanCode, 415),
                   XPosition(i + 1, xs), YPosition(ch1.Code[i + 1], s.LowCode, s.SpanCode, 415));
    }
    EXPECT_EQ(graph->Bitmap(), expected);
    EXPECT_EQ(CountColour(graph->Bitmap(), kRed), 0);
    EXPECT_EQ(box.shown, expected);
}

TEST_F(GraphDraw, BlockWithChannelOneScalesToChannelOneAlone)
{
    Fill(ch0, 1000, [](int i) { return static_cast<uint32_t>(i) * 4000000u; });
    Fill(ch1, 1000, [](int i) { return kZero + static_cast<uint32_t>(i % 30); });
    graph->DrawRecord(false); // a wide scale from CH0 first
    ch0.Count = 0;
    ch1.Count = 0;
    setting.CHSel = 1;
    graph->DrawBlock(false, 100, 199);
    const TGraphScales s = graph->Scales();
    EXPECT_EQ(s.MaxCodeAll, kZero + 29);
    EXPECT_EQ(s.MinCodeAll, kZero);
    EXPECT_EQ(s.SpanCode, 50.0);
    EXPECT_EQ(x[0]->Placement().text, "101");
    EXPECT_EQ(x[1]->Placement().text, "200");
    EXPECT_EQ(CountColour(graph->Bitmap(), kRed), 0);
    EXPECT_GT(CountColour(graph->Bitmap(), kBlue), 0);
}

TEST_F(GraphDraw, BlockWithBothChannelsAlternatesRedAndBlue)
{
    // Steep zigzags: each blue segment ends in the column where the next red
    // one starts, on the same rows, so the order of drawing shows.
    Fill(ch0, 100, [](int i) { return kZero + ((i % 2) ? 0u : 800u); });
    Fill(ch1, 100, [](int i) { return kZero + ((i % 2) ? 0u : 700u); });
    setting.CHSel = 2;
    graph->DrawBlock(false, 0, 99);
    const TGraphScales s = graph->Scales();

    auto reference = [&](bool alternate) {
        QImage img(558, 415, QImage::Format_RGB32);
        img.fill(kWhite);
        LineRaster r(img);
        r.SetColor(kGrey);
        for (int i = 0; i <= 10; ++i)
            r.Line(0, static_cast<int>(414 * i * 0.1), 557, static_cast<int>(414 * i * 0.1));
        for (int i = 0; i <= 10; ++i)
            r.Line(static_cast<int>(557 * i * 0.1), 0, static_cast<int>(557 * i * 0.1), 414);
        const float xs = XStep(558, 99);
        auto seg = [&](const TChannelData& ch, int i, QRgb c) {
            r.SetColor(c);
            r.Line(XPosition(i, xs), YPosition(ch.Code[i], s.LowCode, s.SpanCode, 415),
                   XPosition(i + 1, xs), YPosition(ch.Code[i + 1], s.LowCode, s.SpanCode, 415));
        };
        if (alternate) {
            for (int i = 0; i < 99; ++i) {
                seg(ch0, i, kRed);
                seg(ch1, i, kBlue);
            }
        } else {
            for (int i = 0; i < 99; ++i)
                seg(ch0, i, kRed);
            for (int i = 0; i < 99; ++i)
                seg(ch1, i, kBlue);
        }
        return img;
    };
    const QImage alternating = reference(true);
    ASSERT_NE(alternating, reference(false)); // the data can tell the orders apart
    EXPECT_EQ(graph->Bitmap(), alternating);
    EXPECT_EQ(x[0]->Placement().text, "1");
    EXPECT_EQ(x[1]->Placement().text, "100");
}

TEST_F(GraphDraw, InvalidBlockIsIgnored)
{
    graph->DrawDefault(false);
    const int before = box.presents;
    graph->DrawBlock(false, -1, 98);
    graph->DrawBlock(false, 50, 49);
    graph->DrawBlock(false, CHANNEL_CAPACITY - 50, CHANNEL_CAPACITY);
    EXPECT_EQ(box.presents, before);
    // A single-sample block has no segment but is otherwise fine.
    graph->DrawBlock(false, 5, 5);
    EXPECT_EQ(box.presents, before + 1);
}

TEST_F(GraphDraw, AxesOnlyInVoltModeKeepsTheVoltScale)
{
    Fill(ch0, 500, [](int i) { return kZero + static_cast<uint32_t>(i); });
    graph->DrawRecord(true);
    const TGraphScales first = graph->Scales();
    const QString top = y[0]->Placement().text;

    Fill(ch0, 500, [](int i) { return kZero + static_cast<uint32_t>(i) * 100000u; });
    graph->DrawAxesOnly(true);
    const TGraphScales volt = graph->Scales();
    EXPECT_EQ(volt.SpanVolt, first.SpanVolt);
    EXPECT_EQ(volt.LowVolt, first.LowVolt);
    EXPECT_EQ(volt.SpanCode, first.SpanCode);
    EXPECT_EQ(y[0]->Placement().text, top);

    graph->DrawAxesOnly(false);
    const TGraphScales code = graph->Scales();
    EXPECT_EQ(code.MaxCodeAll, kZero + 499u * 100000u);
    EXPECT_NE(code.SpanCode, first.SpanCode);
    EXPECT_NE(code.MaxVoltAll, first.MaxVoltAll);
    EXPECT_EQ(code.SpanVolt, first.SpanVolt); // code mode leaves the volt scale too
    EXPECT_EQ(CountColour(graph->Bitmap(), kRed), 0);
}

TEST_F(GraphDraw, ExtremesPerChannel)
{
    Fill(ch0, 4, [](int i) { return std::vector<uint32_t>{5, 0xFFFFFFFFu, 7, 3}[i]; });
    Fill(ch1, 3, [](int i) { return std::vector<uint32_t>{kZero, kZero - 10, kZero + 10}[i]; });
    EXPECT_EQ(graph->Ch0MaxCode(), 0xFFFFFFFFu);
    EXPECT_EQ(graph->Ch0MinCode(), 3u);
    EXPECT_EQ(graph->Ch1MaxCode(), kZero + 10);
    EXPECT_EQ(graph->Ch1MinCode(), kZero - 10);
    EXPECT_EQ(graph->Ch0MaxVolt(), 2500000.0f);
    EXPECT_EQ(graph->Ch1MaxVolt(), static_cast<float>(CodeToMicrovolt(kZero + 10, 1)));
    EXPECT_EQ(graph->Ch1MinVolt(), static_cast<float>(CodeToMicrovolt(kZero - 10, 1)));

    // An empty channel returns 0 and leaves the stored extreme for the volt form.
    ch1.Count = 0;
    EXPECT_EQ(graph->Ch1MaxCode(), 0u);
    EXPECT_EQ(graph->Ch1MaxVolt(), static_cast<float>(CodeToMicrovolt(kZero + 10, 1)));
}

TEST_F(GraphDraw, PaintDuringEventProcessingShowsGridWithoutTraces)
{
    Fill(ch0, 1000, [](int i) { return kZero + static_cast<uint32_t>(i); });
    int redInPaint = -1;
    graph->SetProcessEvents([&] {
        graph->CopyToPaintBox();
        redInPaint = CountColour(box.shown, kRed);
    });
    graph->DrawRecord(false);
    EXPECT_EQ(redInPaint, 0);
    EXPECT_GT(CountColour(box.shown, kRed), 0);
}

TEST_F(GraphDraw, ResizeDuringEventProcessingLeavesTheGraphConsistent)
{
    Fill(ch0, 2000, [](int i) { return kZero + static_cast<uint32_t>((i * 37) % 1000); });
    Fill(ch1, 2000, [](int i) { return kZero + static_cast<uint32_t>((i * 91) % 1000); });
    setting.CHSel = 2;
    bool resized = false;
    graph->SetProcessEvents([&] {
        if (resized)
            return;
        resized = true;
        box.width = 202; // much smaller than before: the old sizes would write past it
        box.height = 102;
        graph->ResizeBitmap();
        graph->DrawRecord(false);
    });
    graph->DrawRecord(false);
    EXPECT_TRUE(resized);
    EXPECT_EQ(graph->Bitmap().size(), QSize(200, 100));
    EXPECT_EQ(box.shown.size(), QSize(200, 100));
    EXPECT_EQ(box.dest, QRect(1, 1, 200, 100));
    EXPECT_GT(CountColour(box.shown, kBlue), 0);
    EXPECT_EQ(y[0]->Placement().top, 24 + 1 - 6);
    EXPECT_EQ(y[10]->Placement().top, 24 + 1 + 100 - 6);
}

TEST_F(GraphDraw, HookMayReplaceItselfWhileRunning)
{
    int calls = 0;
    graph->SetProcessEvents([&] {
        ++calls;
        graph->SetProcessEvents({});
    });
    graph->DrawRecord(false);
    graph->DrawRecord(false);
    EXPECT_EQ(calls, 1);
}

TEST_F(GraphDraw, TinyPaintBoxDrawsNothingAndDoesNotCrash)
{
    box.width = 1;
    box.height = 0;
    graph->ResizeBitmap();
    Fill(ch0, 100, [](int i) { return kZero + static_cast<uint32_t>(i); });
    graph->DrawRecord(false);
    graph->DrawDefault(true);
    graph->DrawBlock(false, 0, 99);
    EXPECT_EQ(graph->BmpWidth(), 0);
    EXPECT_TRUE(graph->Bitmap().isNull());
}

TEST_F(GraphDraw, CountsBeyondTheStorageAreNotRead)
{
    Fill(ch0, 100, [](int i) { return kZero + static_cast<uint32_t>(i); });
    ch0.Count = CHANNEL_CAPACITY + 1000;
    graph->DrawRecord(false); // would read past the arrays under the sanitizer
    EXPECT_EQ(x[1]->Placement().text, QString::number(CHANNEL_CAPACITY));
    ch0.Count = -5;
    graph->DrawRecord(false);
    EXPECT_EQ(x[1]->Placement().text, "100");
}
