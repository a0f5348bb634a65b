// The viewer's geometry: which samples each column holds, zoom, pan, fit and
// the code-to-row map, checked against what they promise rather than formulas.

#include "TraceView.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace mirantos::trace;

namespace {

struct XCase {
    int64_t samples;
    int width;
    int64_t first, count; // samples shown
};

class TraceViewX : public ::testing::TestWithParam<XCase> {};

// Every sample of the view lies in exactly one column, the one ColumnOfSample
// names; wheel, box and pan keep what they promise wherever the clamp to the
// record leaves them alone, and every result is clamped.
TEST_P(TraceViewX, ColumnsZoomAndPan)
{
    const XCase c = GetParam();
    const TViewX v = ShowSamples(c.samples, c.width, c.first, c.count);
    std::vector<int64_t> s;
    ColumnStarts(v, c.samples, s);
    ASSERT_EQ(s.size(), static_cast<size_t>(c.width) + 1);
    EXPECT_EQ(VisibleSpan(v, c.samples), (TSampleSpan{s.front(), s.back()}));
    for (int x = 0; x < c.width; ++x) {
        ASSERT_LE(s[x], s[x + 1]);
        EXPECT_TRUE(v.step < kOne || s[x + 1] == c.samples || s[x + 1] > s[x]) << x;
        for (int64_t i = s[x]; i < s[x + 1]; ++i)
            ASSERT_EQ(ColumnOfSample(v, i), x) << "sample " << i;
    }
    const int64_t fit = FitAll(c.samples, c.width).step;
    const auto clamped = [&](const TViewX& z) {
        EXPECT_TRUE(z.first >= 0 && z.step >= kMinStep && z.step <= fit);
        EXPECT_TRUE(z.first == 0 || z.first + z.width * z.step <= c.samples * kOne);
    };
    // Where the clamp must leave a view's start alone.
    const auto inside = [&](int64_t first, int64_t step) {
        return first >= 0 && first + c.width * step <= c.samples * kOne;
    };
    clamped(v);
    // Wheel: the position at column x's left edge stays put.
    for (const double f : {2.0, 1.25, 0.5, 10.0, 0.1}) {
        const int x = static_cast<int>(c.width * f) % c.width;
        const TViewX z = ZoomAt(v, c.samples, x, f);
        clamped(z);
        const int64_t keep = v.first + x * (v.step - z.step);
        EXPECT_TRUE(!inside(keep, z.step) || z.first == keep) << f;
        EXPECT_TRUE(z.step == kMinStep || z.step == fit ||
                    std::abs(static_cast<double>(z.step) - static_cast<double>(v.step) / f) <= 0.5);
    }
    // Box: the dragged columns' samples fill the view, give or take a column.
    const int x0 = c.width / 3, x1 = c.width * 2 / 3;
    const TViewX box = ZoomToColumns(v, c.samples, x1, x0);
    clamped(box);
    const TSampleSpan want = ColumnsSpan(v, c.samples, x0, x1), got = VisibleSpan(box, c.samples);
    if (inside(v.first + x0 * v.step, box.step) && box.step > kMinStep) {
        EXPECT_EQ(got.first, want.first);
        EXPECT_LE(std::abs(got.last - want.last), box.step / kOne + 1);
    }
    // Pan: the content moves by dx columns.
    for (const int dx : {1, -1, 7, -300}) {
        const TViewX p = Pan(v, c.samples, dx);
        clamped(p);
        EXPECT_EQ(p.step, v.step);
        const int64_t moved = v.first - dx * v.step;
        EXPECT_TRUE(!inside(moved, v.step) || p.first == moved) << dx;
    }
    const TViewX all = FitAll(c.samples, c.width);
    clamped(all);
    EXPECT_EQ(VisibleSpan(all, c.samples), (TSampleSpan{0, c.samples}));
}

INSTANTIATE_TEST_SUITE_P(
    Views, TraceViewX,
    ::testing::Values(XCase{1048575, 1920, 0, 1048575}, XCase{1048575, 1920, 500000, 10485},
                      XCase{1048575, 1920, 1048000, 1000}, XCase{1048575, 1920, 1000, 100},
                      XCase{100, 1920, 0, 100}, XCase{1, 7, 0, 1}, XCase{12345, 640, 77, 3000},
                      XCase{2000, 1999, 1, 1999}, XCase{5000, 300, 4000, 3}));

struct YCase {
    uint32_t low, high;
    int height;
};

class TraceViewY : public ::testing::TestWithParam<YCase> {};

// Rows never rise as codes fall and hold the range's ends at the image's
// edges, codes beyond the range fall outside, and a dragged box of rows
// becomes exactly the codes drawn in it.
TEST_P(TraceViewY, RowsAndBox)
{
    const YCase c = GetParam();
    const TViewY v{c.low, c.high, c.height};
    const uint64_t span = uint64_t{c.high} - c.low + 1;
    EXPECT_TRUE(span < static_cast<uint64_t>(c.height) ||
                RowOfCode(v, c.low) - RowOfCode(v, c.high) == c.height - 1);
    EXPECT_TRUE(c.high == 0xFFFFFFFFu || RowOfCode(v, c.high + 1) < 0);
    EXPECT_TRUE(c.low == 0 || RowOfCode(v, c.low - 1) >= c.height);
    int last = -1;
    for (uint64_t k = 0; k < span; k += std::max<uint64_t>(1, span / 5000)) {
        const int row = RowOfCode(v, static_cast<uint32_t>(c.high - k));
        ASSERT_TRUE(row >= last && row < c.height) << k;
        last = row;
    }
    for (const auto& [y0, y1] : {std::pair{0, c.height - 1}, std::pair{c.height / 4, c.height / 2},
                                 std::pair{3, 3}, std::pair{c.height - 1, c.height - 2}}) {
        const TViewY z = ZoomToRows(v, y0, y1);
        const auto inBox = [&](uint32_t code) {
            const int r = RowOfCode(v, code);
            return r >= std::min(y0, y1) && r <= std::max(y0, y1);
        };
        ASSERT_LE(z.low, z.high);
        if (inBox(z.high)) {
            EXPECT_TRUE(inBox(z.low));
            EXPECT_TRUE(z.high == c.high || !inBox(z.high + 1));
            EXPECT_TRUE(z.low == c.low || !inBox(z.low - 1));
        } else { // between two codes' bands: the next code down
            EXPECT_EQ(z.low, z.high);
            EXPECT_TRUE(RowOfCode(v, z.high) > std::max(y0, y1) || z.high == c.low);
            EXPECT_LT(RowOfCode(v, z.high + 1), std::min(y0, y1));
        }
    }
    const TViewY a = AutoY(c.low, c.high, c.height);
    EXPECT_TRUE(RowOfCode(a, c.high) >= 0 && RowOfCode(a, c.low) < c.height);
}

INSTANTIATE_TEST_SUITE_P(Ranges, TraceViewY,
                         ::testing::Values(YCase{0, 0xFFFFFFFFu, 600},
                                           YCase{2147483000u, 2147484000u, 600},
                                           YCase{100, 102, 600}, YCase{7, 7, 10},
                                           YCase{0xFFFFFF00u, 0xFFFFFFFFu, 1080},
                                           YCase{5, 6004, 600}));

} // namespace
