// The viewer's geometry: which samples each column holds, zoom, pan, fit and
// the code-to-row map, checked against what they promise rather than formulas.

#include "TraceView.h"

#include <gtest/gtest.h>

#include <random>

using namespace mirantos::trace;

namespace {

struct XCase {
    int64_t samples;
    int width;
    int64_t first; // sample
    int64_t count; // samples shown
};

class TraceViewX : public ::testing::TestWithParam<XCase> {};

// Every sample of the visible span lies in exactly one column, and that
// column is the one ColumnOfSample names; the zooms and the pan keep what
// they promise and the result is always clamped to the record.
TEST_P(TraceViewX, ColumnsZoomAndPan)
{
    const XCase c = GetParam();
    const TViewX v = ShowSamples(c.samples, c.width, c.first, c.count);
    std::vector<int64_t> s;
    ColumnStarts(v, c.samples, s);
    ASSERT_EQ(s.size(), static_cast<size_t>(c.width) + 1);
    const TSampleSpan vis = VisibleSpan(v, c.samples);
    EXPECT_EQ(vis.first, s.front());
    EXPECT_EQ(vis.last, s.back());
    for (int x = 0; x < c.width; ++x) {
        ASSERT_LE(s[x], s[x + 1]);
        if (v.step >= kOne && s[x + 1] < c.samples) {
            EXPECT_GE(s[x + 1] - s[x], 1) << "column " << x << " empty";
        }
        for (int64_t i = s[x]; i < s[x + 1]; ++i)
            ASSERT_EQ(ColumnOfSample(v, i), x) << "sample " << i;
        EXPECT_EQ(ColumnsSpan(v, c.samples, x, x), (TSampleSpan{s[x], s[x + 1]}));
    }

    const auto clamped = [&](const TViewX& z) {
        EXPECT_GE(z.first, 0);
        EXPECT_GE(z.step, kMinStep);
        EXPECT_LE(z.step, FitAll(c.samples, z.width).step);
        EXPECT_TRUE(z.first == 0 || z.first + z.width * z.step <= c.samples * kOne);
    };
    clamped(v);

    // Wheel: the position at the column's left edge stays there unless the
    // clamp moved the view.
    std::mt19937 rng(static_cast<unsigned>(c.samples + c.width));
    for (const double f : {2.0, 1.25, 0.5, 10.0, 0.1}) {
        const int x = static_cast<int>(rng() % static_cast<unsigned>(c.width));
        const TViewX z = ZoomAt(v, c.samples, x, f);
        clamped(z);
        const TViewX unclamped{v.first + x * (v.step - z.step), z.step, z.width};
        if (z == unclamped) {
            EXPECT_EQ(z.first + x * z.step, v.first + x * v.step);
        }
        if (z.step > kMinStep && z.step < FitAll(c.samples, c.width).step) {
            EXPECT_NEAR(static_cast<double>(z.step), static_cast<double>(v.step) / f, 0.5);
        }
    }
    // Box: the dragged columns' first sample becomes column 0's, and the new
    // view shows the box's samples and at most one column's worth more.
    const int x0 = c.width / 3, x1 = c.width * 2 / 3;
    const TViewX box = ZoomToColumns(v, c.samples, x1, x0);
    clamped(box);
    if (box.step * c.width == (x1 - x0 + 1) * v.step && box.first == v.first + x0 * v.step) {
        const TSampleSpan want = ColumnsSpan(v, c.samples, x0, x1);
        EXPECT_EQ(VisibleSpan(box, c.samples), want);
    }
    // Pan: columns move by dx exactly where the clamp allows.
    for (const int dx : {1, -1, 7, -300}) {
        const TViewX p = Pan(v, c.samples, dx);
        clamped(p);
        if (p.first == v.first - dx * v.step) {
            for (int x = 0; x + dx < c.width && x < c.width; ++x)
                if (x + dx >= 0) {
                    ASSERT_EQ(ColumnStart(p, x + dx), ColumnStart(v, x));
                }
        }
        EXPECT_EQ(p.step, v.step);
    }
    // Fit all shows the record, all of it.
    const TViewX all = FitAll(c.samples, c.width);
    clamped(all);
    EXPECT_EQ(VisibleSpan(all, c.samples), (TSampleSpan{0, c.samples}));
    EXPECT_LT(ColumnOfSample(all, c.samples - 1), c.width);
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

// Rows never rise as codes fall, the range's ends land on the image's first
// and last rows when it is wider than the image, and a dragged box of rows
// becomes exactly the codes drawn in it.
TEST_P(TraceViewY, RowsAndBox)
{
    const YCase c = GetParam();
    const TViewY v{c.low, c.high, c.height};
    const uint64_t span = uint64_t{c.high} - c.low + 1;
    if (span >= static_cast<uint64_t>(c.height)) {
        EXPECT_EQ(RowOfCode(v, c.high), 0);
        EXPECT_EQ(RowOfCode(v, c.low), c.height - 1);
    }
    if (c.high < 0xFFFFFFFFu) {
        EXPECT_LT(RowOfCode(v, c.high + 1), 0);
    }
    if (c.low > 0) {
        EXPECT_GE(RowOfCode(v, c.low - 1), c.height);
    }
    const uint64_t stride = std::max<uint64_t>(1, span / 5000);
    int last = -1;
    for (uint64_t k = 0; k < span; k += stride) {
        const int row = RowOfCode(v, static_cast<uint32_t>(c.high - k));
        ASSERT_GE(row, last);
        ASSERT_LT(row, c.height);
        last = row;
    }
    for (const auto& [y0, y1] : {std::pair{0, c.height - 1}, std::pair{c.height / 4, c.height / 2},
                                 std::pair{3, 3}, std::pair{c.height - 1, c.height - 2}}) {
        const TViewY z = ZoomToRows(v, y0, y1);
        const int top = std::min(y0, y1), bottom = std::max(y0, y1);
        const auto inBox = [&](uint32_t code) {
            const int r = RowOfCode(v, code);
            return r >= top && r <= bottom;
        };
        ASSERT_LE(z.low, z.high);
        if (inBox(z.high)) {
            EXPECT_TRUE(inBox(z.low));
            EXPECT_TRUE(z.high == c.high || !inBox(z.high + 1));
            EXPECT_TRUE(z.low == c.low || !inBox(z.low - 1));
        } else {
            EXPECT_EQ(z.low, z.high); // between two codes' bands: the next code down
            EXPECT_TRUE(RowOfCode(v, z.high) > bottom || z.high == c.low);
            EXPECT_LT(RowOfCode(v, z.high + 1), top);
        }
    }
    const TViewY a = AutoY(c.low, c.high, c.height);
    EXPECT_LE(a.low, c.low);
    EXPECT_GE(a.high, c.high);
    EXPECT_GE(RowOfCode(a, c.high), 0);
    EXPECT_LT(RowOfCode(a, c.low), c.height);
}

INSTANTIATE_TEST_SUITE_P(Ranges, TraceViewY,
                         ::testing::Values(YCase{0, 0xFFFFFFFFu, 600},
                                           YCase{2147483000u, 2147484000u, 600},
                                           YCase{100, 102, 600}, YCase{7, 7, 10},
                                           YCase{0xFFFFFF00u, 0xFFFFFFFFu, 1080},
                                           YCase{5, 6004, 600}));

} // namespace

// The microvolt axis is the converter's own numbers at the range's ends.
TEST(TraceViewMicrovolts, EdgesAreTheConverters)
{
    const TMicrovoltAxis a = MicrovoltAxis({2147483648u, 4294967295u, 600}, 1);
    EXPECT_DOUBLE_EQ(a.low, 0.0);
    EXPECT_DOUBLE_EQ(a.high, 2500000.0);
    const TMicrovoltAxis b = MicrovoltAxis({0, 2147483648u, 600}, 2);
    EXPECT_NEAR(b.low, -1250000.0, 1e-3);
}
