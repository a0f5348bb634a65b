// The viewer's cursor arithmetic and keys without widgets: what the readout
// between two cursors says for a known record and where each key takes the
// view. (Which cursor a press grabs is the viewer test's drag.)

#include "TraceCursors.h"
#include "ViewKeys.h"

#include <Qt>

#include <gtest/gtest.h>

#include <cmath>

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
    for (uint32_t i = 0; i < 100; ++i) {
        s.ch0.push_back(0x80000000u + 3 * i);
        s.ch1.push_back(0x80000000u + (i % 2) * 10);
    }
    return TTraceData(std::move(s), "r.csv");
}

TEST(TraceCursors, ReadoutSaysTimeApartStepAndTheSpanBetweenBothEnds)
{
    const TTraceData data = Record();
    struct {
        int64_t a, b;
        double dt, inverse;
        int64_t count, delta0;
        double mean0, sigma1;
    } cases[] = {
        {10, 20, 0.04, 25, 11, 30, 0x80000000u + 45.0, std::sqrt(3000.0 / 121)},
        {20, 10, -0.04, 25, 11, -30, 0x80000000u + 45.0, std::sqrt(3000.0 / 121)}, // B first
        {7, 7, 0, 0, 1, 0, 0x80000000u + 21.0, 0},                   // no frequency, no spread
        {0, 99, 0.396, 1 / 0.396, 100, 297, 0x80000000u + 148.5, 5}, // the whole record
    };
    for (const auto& c : cases) {
        const TCursorReadout r = ReadCursors(data, c.a, c.b);
        EXPECT_DOUBLE_EQ(r.dtSeconds, c.dt) << c.a << " " << c.b;
        EXPECT_NEAR(r.inverseHz, c.inverse, 1e-9) << c.a << " " << c.b;
        EXPECT_EQ(r.span.Count(), c.count) << c.a << " " << c.b;
        EXPECT_EQ(r.channel[0].deltaCode, c.delta0) << c.a << " " << c.b;
        EXPECT_DOUBLE_EQ(r.channel[0].stats.mean, c.mean0) << c.a << " " << c.b;
        EXPECT_NEAR(r.channel[1].stats.sigma, c.sigma1, 1e-9) << c.a << " " << c.b;
    }
}

TEST(TraceViewKeys, EachKeyMovesTheViewAsItsHelpSays)
{
    constexpr int64_t n = 100000;
    const TViewX v = ShowSamples(n, 1000, 40000, 10000); // samples 40000..50000
    struct {
        int key;
        bool shift;
        TSampleSpan after;
    } cases[] = {
        {Qt::Key_Plus, false, {42500, 47500}}, {Qt::Key_Minus, false, {35000, 55000}},
        {Qt::Key_Left, false, {39000, 49000}}, {Qt::Key_Right, false, {41000, 51000}},
        {Qt::Key_Left, true, {30000, 40000}},  {Qt::Key_PageDown, false, {50000, 60000}},
        {Qt::Key_Home, false, {0, 10000}},     {Qt::Key_End, false, {90000, 100000}},
    };
    for (const auto& c : cases) {
        const auto after = ApplyViewKey(ViewKeyOf(c.key, c.shift), v, n);
        ASSERT_TRUE(after) << c.key;
        EXPECT_EQ(VisibleSpan(*after, n), c.after) << c.key;
    }
    EXPECT_EQ(ViewKeyOf(Qt::Key_Backspace, false), TViewKey::Back);
    EXPECT_EQ(ViewKeyOf(Qt::Key_A, false), TViewKey::None);
}

} // namespace
