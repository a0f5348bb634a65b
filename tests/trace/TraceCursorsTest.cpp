// The viewer's cursor arithmetic, keys and view history without widgets:
// what the readout between two cursors says for a known record, which cursor
// a click grabs, where each key takes the view, and what "戻る" returns to.

#include "TraceCursors.h"
#include "MeasureRecord.h"
#include "ViewKeys.h"
#include "ZoomHistory.h"

#include <Qt>

#include <cmath>

#include <gtest/gtest.h>

using namespace mirantos;
using namespace mirantos::trace;

namespace {

// 100 samples at 250 sps: CH0 a ramp of 3 codes a sample from 2^31, CH1
// alternating 2^31 and 2^31 + 10.
TTraceData Record()
{
    TSampleSet s;
    s.chSel = 2;
    s.rateSps = 250;
    s.gain = 1;
    for (uint32_t i = 0; i < 100; ++i) {
        s.ch0.push_back(0x80000000u + 3 * i);
        s.ch1.push_back(0x80000000u + (i % 2) * 10);
    }
    return TTraceData(std::move(s), "r.csv");
}

struct CursorCase {
    int64_t a, b;
    double dt, inverse;
    int64_t count, delta0, pp1;
    double mean0, sigma1;
};

class TraceCursorReadout : public ::testing::TestWithParam<CursorCase> {};

TEST_P(TraceCursorReadout, SaysTimeApartStepAndTheSpanBetween)
{
    const CursorCase c = GetParam();
    const TTraceData data = Record();
    const TCursorReadout r = ReadCursors(data, c.a, c.b);
    EXPECT_DOUBLE_EQ(r.dtSeconds, c.dt);
    EXPECT_NEAR(r.inverseHz, c.inverse, 1e-9);
    EXPECT_EQ(r.span.Count(), c.count);
    EXPECT_EQ(r.channel[0].deltaCode, c.delta0);
    EXPECT_NEAR(r.channel[0].deltaUv,
                CodeToMicrovolt(data.Channel(0).Codes()[c.b], 1) -
                    CodeToMicrovolt(data.Channel(0).Codes()[c.a], 1),
                1e-9);
    EXPECT_DOUBLE_EQ(r.channel[0].stats.mean, c.mean0);
    EXPECT_NEAR(r.channel[0].meanUv,
                CodeToMicrovolt(0x80000000u, 1) +
                    (c.mean0 - 0x80000000u) *
                        (CodeToMicrovolt(0x80000003u, 1) - CodeToMicrovolt(0x80000000u, 1)) / 3,
                1e-6);
    EXPECT_EQ(r.channel[1].stats.pp, static_cast<uint32_t>(c.pp1));
    EXPECT_NEAR(r.channel[1].stats.sigma, c.sigma1, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(
    Spans, TraceCursorReadout,
    ::testing::Values(
        // Both ends count: samples 10..20 are 11.
        CursorCase{10, 20, 0.04, 25, 11, 30, 10, 0x80000000u + 45.0, std::sqrt(3000.0 / 121)},
        // B before A: a negative time and step, the same span.
        CursorCase{20, 10, -0.04, 25, 11, -30, 10, 0x80000000u + 45.0, std::sqrt(3000.0 / 121)},
        // One sample: no frequency, no spread.
        CursorCase{7, 7, 0, 0, 1, 0, 0, 0x80000000u + 21.0, 0},
        // The whole record: its very figures.
        CursorCase{0, 99, 0.396, 1 / 0.396, 100, 297, 10, 0x80000000u + 148.5, 5}));

TEST(TraceCursors, AClickGrabsTheNearerCursorWithinReach)
{
    // 4 columns per sample; a sample is drawn in the last of its 4: 10 at 43, 12 at 51.
    const TViewX v = ShowSamples(100, 400, 0, 100);
    const TCursorPair both{int64_t{10}, int64_t{12}};
    struct {
        TCursorPair cursors;
        int x;
        std::optional<int> grabbed;
    } cases[] = {
        {both, 43, 0},
        {both, 51, 1},
        {both, 47, 0}, // a tie goes to A
        {both, 39, 0},
        {both, 38, {}},
        {both, 55, 1},
        {both, 56, {}},
        {{std::nullopt, int64_t{10}}, 43, 1},
        {{}, 43, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CursorNear(v, c.cursors, c.x, 4), c.grabbed) << c.x;
    EXPECT_EQ(SampleAtColumn(v, 100, 43), 10);
    EXPECT_EQ(SampleAtColumn(v, 100, 5000), 99);
}

TEST(TraceViewKeys, EachKeyMovesTheViewAsItsHelpSays)
{
    constexpr int64_t n = 100000;
    const TViewX v = ShowSamples(n, 1000, 40000, 10000); // 10 samples a column
    const TSampleSpan shown = VisibleSpan(v, n);
    struct {
        int key;
        bool shift;
        TViewKey meant;
        TSampleSpan after;
    } cases[] = {
        {Qt::Key_Plus, false, TViewKey::ZoomIn, {42500, 47500}},
        {Qt::Key_Equal, false, TViewKey::ZoomIn, {42500, 47500}},
        {Qt::Key_Minus, false, TViewKey::ZoomOut, {35000, 55000}},
        {Qt::Key_Left, false, TViewKey::PanLeft, {39000, 49000}},
        {Qt::Key_Right, false, TViewKey::PanRight, {41000, 51000}},
        {Qt::Key_Left, true, TViewKey::PageLeft, {30000, 40000}},
        {Qt::Key_PageDown, false, TViewKey::PageRight, {50000, 60000}},
        {Qt::Key_Home, false, TViewKey::Start, {0, 10000}},
        {Qt::Key_End, false, TViewKey::End, {90000, 100000}},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(ViewKeyOf(c.key, c.shift), c.meant) << c.key;
        const auto after = ApplyViewKey(c.meant, v, n);
        ASSERT_TRUE(after) << c.key;
        EXPECT_EQ(VisibleSpan(*after, n), c.after) << c.key;
    }
    EXPECT_EQ(shown, (TSampleSpan{40000, 50000}));
    EXPECT_EQ(ViewKeyOf(Qt::Key_Backspace, false), TViewKey::Back);
    EXPECT_FALSE(ApplyViewKey(TViewKey::Back, v, n));
    EXPECT_EQ(ViewKeyOf(Qt::Key_A, false), TViewKey::None);
}

TEST(TraceZoomHistory, ReturnsTheViewsLeftNewestFirstOnceEach)
{
    TZoomHistory<int> h;
    for (int v : {1, 2, 2, 3})
        h.Push(v);
    EXPECT_EQ(h.Pop(), 3);
    EXPECT_EQ(h.Pop(), 2);
    EXPECT_EQ(h.Pop(), 1);
    EXPECT_FALSE(h.Pop());
    for (int v = 0; v < static_cast<int>(TZoomHistory<int>::kMaxViews) + 5; ++v)
        h.Push(v);
    EXPECT_EQ(h.Size(), TZoomHistory<int>::kMaxViews);
}

} // namespace
