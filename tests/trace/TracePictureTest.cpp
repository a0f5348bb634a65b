// The viewer's record, axis ticks and picture: a record grown block by block
// equals one read whole, ticks sit where the view geometry puts their values
// at nice steps, and the picture's plot area is the renderer's frame.

#include "TracePicture.h"
#include "MeasureRecord.h"
#include "TraceData.h"
#include "TraceTicks.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace mirantos::trace;

namespace {

std::vector<uint32_t> Ramp(int64_t n, uint32_t base)
{
    std::vector<uint32_t> v(static_cast<size_t>(n));
    for (int64_t i = 0; i < n; ++i)
        v[static_cast<size_t>(i)] = base + static_cast<uint32_t>((i * 7919) % 10007);
    return v;
}

TTraceData TwoChannels(std::vector<uint32_t> a, std::vector<uint32_t> b)
{
    mirantos::TSampleSet s;
    s.chSel = 2;
    s.rateSps = 1000;
    s.ch0 = std::move(a);
    s.ch1 = std::move(b);
    return TTraceData(std::move(s), "w.csv");
}

TEST(TraceData, GrownBlockByBlockEqualsReadWhole)
{
    const std::vector<uint32_t> a = Ramp(100003, 0x90000000u), b = Ramp(100003, 0x10000000u);
    const TTraceData whole = TwoChannels(a, b);
    TTraceData grown(2, 1000, 1, "g.csv", "");
    for (int64_t at = 0, n = 0; at < 100003; at += n) {
        n = std::min<int64_t>(100003 - at, 1 + (at % 4099));
        grown.Append(a.data() + at, b.data() + at, n);
    }
    ASSERT_EQ(grown.Samples(), whole.Samples());
    for (int c = 0; c < 2; ++c) { // its pyramids: the pyramid test's append-equals-build
        EXPECT_EQ(grown.Channel(c).Codes(), whole.Channel(c).Codes());
        EXPECT_EQ(grown.Channel(c).Range(31, 99999), whole.Channel(c).Range(31, 99999));
    }
    TTraceData one(1, 1000, 1, "", "");
    one.Append(a.data(), b.data(), 10); // CH0's pointer is not its to take
    EXPECT_FALSE(one.Holds(0));
    EXPECT_EQ(one.Channel(1).Codes(), std::vector<uint32_t>(b.begin(), b.begin() + 10));
}

// Every tick: a multiple of the step (1, 2 or 5 times a power of ten), at the
// pixel of its value, inside the axis, the next one a step and at least the
// spacing further; none missing.
TEST(TraceTicks, TicksSitAtTheirValuesPixelAtNiceSpacing)
{
    struct Case {
        int64_t samples;
        double rate, from, to;
        int width;
    };
    for (const Case& c :
         {Case{1048575, 10000, 0, 104.8575, 900}, Case{20000, 1000, 12.34, 12.36, 700},
          Case{300, 5, 3, 9, 1200}, Case{1000, 1000, 0.1, 0.9, 400}}) {
        SCOPED_TRACE(c.samples);
        const TViewX v = ViewOfSeconds(c.samples, c.rate, c.width, c.from, c.to);
        const TTicks t = TimeTicks(v, c.rate, 80);
        ASSERT_GE(t.ticks.size(), 2u);
        const double colSeconds = static_cast<double>(v.step) / kOne / c.rate;
        EXPECT_GE(t.step, 80 * colSeconds * (1 - 1e-9));
        EXPECT_LT(t.step, 80 * colSeconds * 2.5 + 1e-12);
        const double mantissa = t.step / std::pow(10.0, std::floor(std::log10(t.step) + 1e-9));
        EXPECT_NEAR(mantissa, mantissa < 1.5 ? 1 : mantissa < 3 ? 2 : 5, 1e-9) << t.step;
        EXPECT_LT(t.ticks.front().value, ColumnToTime(v, c.rate, -1) + t.step);
        EXPECT_GT(t.ticks.back().value, ColumnToTime(v, c.rate, v.width - 1) - t.step);
        for (size_t k = 0; k < t.ticks.size(); ++k) {
            const TTick& tick = t.ticks[k];
            EXPECT_NEAR(ColumnToTime(v, c.rate, tick.pos), tick.value, 1e-9 * (1 + tick.value));
            EXPECT_NEAR(std::remainder(tick.value, t.step), 0, t.step * 1e-6);
            EXPECT_TRUE(tick.pos > -1 && tick.pos <= v.width - 1 + 1e-6) << tick.pos;
            // A tick on a sample's time is in the column the renderer draws it in.
            const double sample = tick.value * c.rate;
            if (std::abs(sample - std::round(sample)) < 1e-6) {
                EXPECT_EQ(static_cast<int64_t>(std::ceil(tick.pos - 1e-9)),
                          ColumnOfSample(v, std::llround(sample)));
            }
            if (k > 0) {
                EXPECT_NEAR(tick.value - t.ticks[k - 1].value, t.step, t.step * 1e-6);
            }
        }
    }

    for (const TViewY y :
         {AutoY(0x80000000u, 0x80000100u, 400), AutoY(5, 9, 300), TViewY{0, 0xFFFFFFFFu, 500}}) {
        const TTicks codes = CodeTicks(y, 40);
        ASSERT_FALSE(codes.ticks.empty());
        EXPECT_GE(codes.step, 1);
        for (const TTick& tick : codes.ticks)
            EXPECT_EQ(static_cast<int>(std::floor(tick.pos)),
                      RowOfCode(y, static_cast<uint32_t>(tick.value)));
        const TMicrovoltAxis axis = MicrovoltAxis(y, 1);
        for (const TTick& tick : MicrovoltTicks(y, 1, 40).ticks) {
            EXPECT_TRUE(tick.value >= axis.low - 1e-9 && tick.value <= axis.high + 1e-9);
            // The row of the code whose microvolts these are, within a row (or
            // half a code's band where a code spans many rows).
            const double code = y.low + (tick.value - axis.low) / (axis.high - axis.low) *
                                            (static_cast<double>(y.high) - y.low);
            EXPECT_NEAR(tick.pos, RowOfCode(y, static_cast<uint32_t>(std::llround(code))) + 0.5,
                        1.0 + 0.5 * y.height / (static_cast<double>(y.high) - y.low + 1));
        }
    }
}

TEST(TracePicture, PlotAreaHoldsTheRenderersFrame)
{
    const TTraceData data = TwoChannels(Ramp(50000, 0x90000000u), Ramp(50000, 0x90001000u));
    const TTraceLayer layers[] = {{&data.Channel(0), kTraceColors[0]},
                                  {&data.Channel(1), kTraceColors[1]}};
    for (const auto& [size, volt] : {std::pair{QSize(1000, 500), false}, {QSize(160, 100), true}}) {
        TPictureView view = WholeView(data, {true, true}, volt, size);
        view.x = ZoomAt(view.x, data.Samples(), 40, 3.0);
        const QImage img = TTracePicture().Compose(data, view, size);
        QImage frame(PlotArea(size).size(), QImage::Format_RGB32);
        TTraceRenderer().Render(frame, view.x, view.y, layers, 0xffffffffu);
        EXPECT_EQ(img.size(), size);
        EXPECT_EQ(img.copy(PlotArea(size)), frame);
    }
}

} // namespace
