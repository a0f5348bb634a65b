// The plots' layout decisions without any widget: which log ticks are
// labelled, the legend's corner, where the interval labels go.

#include "PlotGeometry.h"

#include <QStringList>

#include <gtest/gtest.h>

using namespace mirantos::plotgeometry;

TEST(PlotGeometry, LogAxisLabelsEveryDecadeAndItsTwoAndFiveWhereTheyFit)
{
    const struct {
        double lo, hi;
        int maxLabels;
        QStringList labels;
    } cases[] = {
        // A 20-40 nV floor under 1/f noise up to 400.
        {10.0, 800.0, 12, {"10", "20", "50", "100", "200", "500"}},
        // Under a factor of three: every mantissa.
        {15.0, 45.0, 12, {"20", "30", "40"}},
        // No room for 2 and 5: the decades still are all labelled.
        {0.1, 1000.0, 6, {"0.1", "1", "10", "100", "1000"}},
        // Beyond plain decimals, powers of ten.
        {2e-6, 3e-4, 12, {"2e-6", "5e-6", "1e-5", "2e-5", "5e-5", "1e-4", "2e-4"}},
        {0.5e5, 3e5, 12, {"50000", "1e5", "2e5"}},
        {1.15, 1.25, 12, {"1.2"}},
    };
    for (const auto& c : cases) {
        const TLogTicks t = LogTicks(c.lo, c.hi, c.maxLabels);
        EXPECT_EQ(QStringList(t.labels.begin(), t.labels.end()), c.labels) << c.lo << " " << c.hi;
        ASSERT_EQ(t.ticks.size(), t.labels.size());
        for (double v : t.subTicks)
            EXPECT_TRUE(v >= c.lo && v <= c.hi);
    }
}

TEST(PlotGeometry, LegendTakesTheFirstCornerNoLineCrosses)
{
    const QRectF area(0, 0, 200, 100);
    const QSizeF legend(60, 20);
    const QRectF topRight(134, 6, 60, 20), topLeft(6, 6, 60, 20), bottomRight(134, 74, 60, 20),
        bottomLeft(6, 74, 60, 20);
    const double nan = std::nan("");
    const struct {
        std::vector<TPolyline> lines;
        QRectF expected;
    } cases[] = {
        {{}, topRight},
        // A falling line through the top right only by its segment, not its points.
        {{{{{100, 0}, {200, 30}}}}, topLeft},
        // High in the middle, then a gap (no segment across it), then low.
        {{{{{0, 10}, {200, 10}, {nan, nan}, {150, 90}}}}, bottomLeft},
        // Every corner crossed: the one crossed by the fewest segments.
        {{{{{0, 10}, {200, 10}}},
          {{{0, 15}, {200, 15}}},
          {{{0, 90}, {50, 90}}},
          {{{0, 85}, {50, 85}}},
          {{{150, 90}, {200, 90}}}},
         bottomRight},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LegendRect(area, legend, c.lines, 6.0), c.expected);
}

TEST(PlotGeometry, IntervalLabelsStayInsideAndApart)
{
    const QRectF area(0, 0, 100, 100);
    // Two overlapping labels: the second goes up a row; a third finds no room
    // and is left out; one beyond the right edge and above the top comes in.
    const std::vector<QRectF> wanted{
        {10, 40, 30, 10}, {20, 40, 30, 10}, {15, 40, 30, 10}, {90, -5, 30, 10}};
    const auto placed = PlaceLabels(wanted, area);
    ASSERT_EQ(placed.size(), 4u);
    EXPECT_EQ(placed[0], QRectF(10, 40, 30, 10));
    EXPECT_EQ(placed[1], QRectF(20, 30, 30, 10));
    EXPECT_FALSE(placed[2].has_value());
    EXPECT_EQ(placed[3], QRectF(70, 0, 30, 10));
}
