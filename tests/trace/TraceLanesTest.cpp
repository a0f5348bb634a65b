// The viewer's vertical placement and long time axes as pure geometry: lanes
// that tile the plot, the AC view's deviations on one scale about each
// channel's mean, Y fit per layout, and h:m:s and time-of-day ticks.

#include "TraceLanes.h"
#include "TracePicture.h"
#include "TraceTicks.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace mirantos::trace;

namespace {

TEST(TraceLanes, LanesTileThePlotAndRowsFindTheirLane)
{
    struct Case {
        int height, count;
        TLane lanes[2];
    };
    for (const Case& c : {Case{400, 1, {{0, 400}}}, Case{400, 2, {{0, 194}, {206, 194}}},
                          Case{401, 2, {{0, 194}, {206, 195}}}, Case{5, 2, {{0, 1}, {13, 1}}}}) {
        SCOPED_TRACE(c.height * 10 + c.count);
        for (int k = 0; k < c.count; ++k)
            EXPECT_EQ(LaneOf(c.height, c.count, k), c.lanes[k]);
        // Every row of a lane is its; a gap's rows go to the nearer lane.
        for (int y = 0; y < c.height; ++y) {
            const int k = LaneAt(c.height, c.count, y);
            const TLane l = c.lanes[k];
            const int other = c.count - 1 - k;
            const TLane o = c.lanes[other];
            if (y >= l.top && y < l.top + l.height)
                continue;
            EXPECT_FALSE(y >= o.top && y < o.top + o.height) << y;
        }
    }
}

// Channels far apart, with noise of different size: one scale of deviations,
// each channel's centre on the same row, its extremes inside the plot.
TEST(TraceLanes, AcViewPutsEachChannelsMeanOnOneRowOfACommonScale)
{
    EXPECT_EQ(MeanOf(std::vector<uint32_t>{0xFFFFFFFFu, 0xFFFFFFFEu}), 4294967294.5);
    for (const auto& [mean, centre] :
         {std::pair{10.49, 10u}, {10.5, 11u}, {-3.0, 0u}, {5e9, 0xFFFFFFFFu}})
        EXPECT_EQ(AcCentre(mean), centre) << mean;

    const TAcChannel ch[] = {{0x90000000u - 300, 0x90000000u + 500, 0x90000000u},
                             {0x10000000u - 40, 0x10000000u + 20, 0x10000000u}};
    const TViewY dev = AcAutoY(ch, 300);
    EXPECT_EQ(dev, AutoY(kAcBase - 300, kAcBase + 500, 300));
    const int zeroRow = RowOfCode(dev, kAcBase);
    for (const TAcChannel& c : ch) {
        const TViewY y = AcChannelY(dev, c.centre);
        EXPECT_EQ(y.high - y.low, dev.high - dev.low);
        EXPECT_EQ(RowOfCode(y, c.centre), zeroRow);
        EXPECT_EQ(RowOfCode(y, c.max), RowOfCode(dev, kAcBase + (c.max - c.centre)));
        EXPECT_GE(RowOfCode(y, c.min), 0);
        EXPECT_LT(RowOfCode(y, c.min), 300);
    }
    // The digit axis reads deviations: 0 on the centre's row.
    const TTicks t = CodeTicks(dev, 40, kAcBase);
    for (const TTick& tick : t.ticks) {
        EXPECT_EQ(std::remainder(tick.value, t.step), 0);
        EXPECT_EQ(static_cast<int>(std::floor(tick.pos)),
                  RowOfCode(dev, static_cast<uint32_t>(kAcBase + tick.value)));
    }
}

// "Y軸合わせ": each layout's ranges from the visible samples' extremes.
TEST(TraceLanes, FitYTakesEachLayoutsRangesFromTheVisibleSpan)
{
    mirantos::TSampleSet s;
    s.chSel = 2;
    s.rateSps = 1000;
    for (uint32_t i = 0; i < 5000; ++i) {
        s.ch0.push_back(0x90000000u + (i * 7919u) % 1001u + (i == 100 ? 100000u : 0u));
        s.ch1.push_back(0x10000000u + (i * 104729u) % 61u);
    }
    const TTraceData data(std::move(s), "f.csv");
    TPictureView view;
    view.x = ShowSamples(data.Samples(), 800, 1000, 4000); // the spike left of it
    for (const TYLayout layout : {TYLayout::Common, TYLayout::Lanes, TYLayout::Ac}) {
        view.layout = layout;
        FitY(data, view, 400);
        if (layout == TYLayout::Lanes) {
            EXPECT_EQ(view.lanes[0], AutoY(0x90000000u, 0x90000000u + 1000, 194));
            EXPECT_EQ(view.lanes[1], AutoY(0x10000000u, 0x10000000u + 60, 194));
        } else if (layout == TYLayout::Ac) {
            EXPECT_EQ(view.centres[0], 0x90000000u + 500);
            EXPECT_EQ(view.centres[1], 0x10000000u + 30);
            EXPECT_EQ(view.y, AutoY(kAcBase - 500, kAcBase + 500, 400));
        } else {
            EXPECT_EQ(view.y, AutoY(0x10000000u, 0x90000000u + 1000, 400));
        }
    }
    // A box in the lower lane zooms that lane only.
    view.layout = TYLayout::Lanes;
    FitY(data, view, 400);
    const TPictureView before = view;
    ZoomYToRows(data, view, 400, 250, 300);
    EXPECT_EQ(view.lanes[0], before.lanes[0]);
    EXPECT_EQ(view.lanes[1], ZoomToRows(before.lanes[1], 44, 94));
}

TEST(TraceTicks, LongRecordsReadInHoursMinutesSecondsOrTheTimeOfDay)
{
    for (const auto& [last, style] : {std::pair{59.9, TTimeStyle::Seconds},
                                      {60.0, TTimeStyle::MinSec},
                                      {3599.0, TTimeStyle::MinSec},
                                      {3600.0, TTimeStyle::HourMinSec}})
        EXPECT_EQ(ElapsedStyle(last), style) << last;
    struct Label {
        double seconds;
        TTimeStyle style;
        int decimals;
        const char* text;
    };
    for (const Label& l : {Label{65, TTimeStyle::MinSec, 0, "1:05"},
                           {59.96, TTimeStyle::MinSec, 1, "1:00.0"},
                           {7384.5, TTimeStyle::HourMinSec, 1, "2:03:04.5"},
                           {209000, TTimeStyle::HourMinSec, 0, "58:03:20"},
                           {49632, TTimeStyle::Clock, 0, "13:47:12"},
                           {86400 + 305, TTimeStyle::Clock, 0, "00:05:05"},
                           {12.25, TTimeStyle::Seconds, 2, "12.25"}})
        EXPECT_EQ(TimeLabel(l.seconds, l.style, l.decimals), l.text) << l.text;
    for (const auto& [raw, step] : {std::pair{0.3, 0.5},
                                    {7.0, 10.0},
                                    {11.0, 15.0},
                                    {61.0, 120.0},
                                    {1000.0, 1800.0},
                                    {4000.0, 7200.0},
                                    {90000.0, 172800.0}})
        EXPECT_EQ(ClockStep(raw), step) << raw;

    // Two hours at 5 sps from 13:47:12: ticks on round times of day.
    const TViewX v = FitAll(36000, 866);
    const TTicks t = TimeTicks(v, 5, 90, TTimeStyle::Clock, 49632);
    EXPECT_EQ(t.step, 900);
    ASSERT_FALSE(t.ticks.empty());
    EXPECT_EQ(TimeLabel(t.ticks.front().value, TTimeStyle::Clock, 0), "14:00:00");
    for (const TTick& tick : t.ticks) {
        EXPECT_EQ(std::remainder(tick.value, 900), 0);
        EXPECT_NEAR(tick.pos, TimeToColumn(v, 5, tick.value - 49632), 1e-9);
    }
}

} // namespace
