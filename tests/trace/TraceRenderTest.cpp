// The frame renderer pixel for pixel against a plain renderer built here from
// brute-force extremes, and a lone spike in a million samples at every zoom.

#include "LineRaster.h"
#include "TraceRenderer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace mirantos::trace;

namespace {

const QRgb kBack = qRgb(255, 255, 255);
const QRgb kInk[2] = {qRgb(255, 0, 0), qRgb(0, 0, 255)};

std::vector<uint32_t> Wave(int64_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, 300.0);
    std::vector<uint32_t> v(static_cast<size_t>(n));
    for (int64_t i = 0; i < n; ++i)
        v[static_cast<size_t>(i)] = static_cast<uint32_t>(
            2147483648.0 + 20000.0 * std::sin(18.84955592 * static_cast<double>(i) / n) +
            noise(rng));
    return v;
}

// What a frame must look like, drawn the slow way: per column the extremes of
// its samples and the one before by a plain loop; below one sample per
// column, lines between the samples' points and their squares.
QImage Reference(const TViewX& vx, const TViewY& vy, const std::vector<std::vector<uint32_t>>& chs)
{
    QImage img(vx.width, vy.height, QImage::Format_ARGB32);
    img.fill(kBack);
    for (size_t c = 0; c < chs.size(); ++c) {
        const std::vector<uint32_t>& v = chs[c];
        const int64_t n = static_cast<int64_t>(v.size());
        if (n == 0)
            continue;
        if (vx.step >= kOne) {
            for (int x = 0; x < vx.width; ++x) {
                const int64_t a = std::clamp<int64_t>(ColumnStart(vx, x), 0, n);
                const int64_t b = std::clamp<int64_t>(ColumnStart(vx, x + 1), 0, n);
                if (a >= b)
                    continue;
                uint32_t lo = v[static_cast<size_t>(a)], hi = lo;
                for (int64_t i = std::max<int64_t>(a - 1, 0); i < b; ++i) {
                    lo = std::min(lo, v[static_cast<size_t>(i)]);
                    hi = std::max(hi, v[static_cast<size_t>(i)]);
                }
                for (int y = RowOfCode(vy, hi); y <= RowOfCode(vy, lo); ++y)
                    if (y >= 0 && y < vy.height)
                        img.setPixel(x, y, kInk[c]);
            }
            continue;
        }
        mirantos::LineRaster raster(img);
        raster.SetColor(kInk[c]);
        const int64_t first = std::clamp<int64_t>(ColumnStart(vx, 0) - 1, 0, n - 1);
        const int64_t last = std::clamp<int64_t>(ColumnStart(vx, vx.width), 0, n - 1);
        for (int64_t i = first; i < last; ++i)
            raster.Line(static_cast<int>(ColumnOfSample(vx, i)),
                        RowOfCode(vy, v[static_cast<size_t>(i)]),
                        static_cast<int>(ColumnOfSample(vx, i + 1)),
                        RowOfCode(vy, v[static_cast<size_t>(i + 1)]));
        const int r = vx.step * 4 <= kOne ? 1 : 0;
        for (int64_t i = first; i <= last; ++i) {
            const int cx = static_cast<int>(ColumnOfSample(vx, i));
            const int cy = RowOfCode(vy, v[static_cast<size_t>(i)]);
            for (int y = cy - r; y <= cy + r; ++y)
                for (int x = cx - r; x <= cx + r; ++x)
                    if (x >= 0 && x < vx.width && y >= 0 && y < vy.height)
                        img.setPixel(x, y, kInk[c]);
        }
    }
    return img;
}

struct RenderCase {
    int64_t n0, n1; // samples per channel (0: channel absent)
    int width, height;
    int64_t first, count; // shown samples; count 0: fit all
    int yZoom;            // 0: auto range; else the middle 1/yZoom of the rows
};

class TraceRender : public ::testing::TestWithParam<RenderCase> {};

TEST_P(TraceRender, EqualsBruteForce)
{
    const RenderCase c = GetParam();
    const std::vector<std::vector<uint32_t>> chs = {Wave(c.n0, 1), Wave(c.n1, 2)};
    const TMinMaxPyramid p0(chs[0]), p1(chs[1]);
    const int64_t n = std::max(c.n0, c.n1);
    const TViewX vx = c.count == 0 ? FitAll(n, c.width) : ShowSamples(n, c.width, c.first, c.count);
    const TSampleSpan vis = VisibleSpan(vx, n);
    TCodeRange r = p0.Range(vis.first, vis.last);
    r.Add(p1.Range(vis.first, vis.last));
    TViewY vy = AutoY(r.min, r.max, c.height);
    if (c.yZoom != 0)
        vy = ZoomToRows(vy, c.height / 2 - c.height / (2 * c.yZoom),
                        c.height / 2 + c.height / (2 * c.yZoom));
    const TTraceLayer layers[2] = {{&p0, kInk[0]}, {&p1, kInk[1]}};
    QImage img(c.width, c.height, QImage::Format_ARGB32);
    TTraceRenderer().Render(img, vx, vy, layers, kBack);
    const QImage want = Reference(vx, vy, chs);
    int lit = 0;
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) {
            ASSERT_EQ(img.pixel(x, y), want.pixel(x, y)) << "pixel " << x << "," << y;
            lit += img.pixel(x, y) != kBack;
        }
    EXPECT_GT(lit, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, TraceRender,
    ::testing::Values(RenderCase{1048575, 1048575, 1920, 600, 0, 0, 0},          // whole record
                      RenderCase{1048575, 1048575, 1920, 600, 400000, 10486, 0}, // 1 %
                      RenderCase{1048575, 1048575, 1920, 600, 700000, 1000, 0},  // lines
                      RenderCase{100000, 60000, 1000, 300, 59000, 3000, 0},      // ch1 ends
                      RenderCase{5000, 5000, 800, 400, 0, 0, 8},                 // clipped in Y
                      RenderCase{5000, 0, 800, 400, 2500, 2000, 4},              // one channel
                      RenderCase{300, 300, 640, 200, 10, 60, 0},                 // points
                      RenderCase{50, 50, 640, 200, 0, 0, 0}, // fit, < 1 per column
                      RenderCase{77777, 77777, 333, 97, 123, 4567, 3}));

// A one-sample spike among a million stays drawn at its true height from the
// whole record down to single samples: the visible range's top is the
// spike's code, and its row is lit in the spike's column.
TEST(TraceRenderSpike, VisibleAtEveryZoom)
{
    const int64_t n = 1048575, at = 654321;
    std::vector<uint32_t> v = Wave(n, 9);
    for (auto& c : v)
        c = 2147483648u + (c & 255u); // flat noise, 256 codes wide
    const uint32_t spike = 2147483648u + 5000u;
    v[at] = spike;
    const TMinMaxPyramid p(v);
    const TTraceLayer layer{&p, kInk[0]};
    QImage img(1920, 600, QImage::Format_ARGB32);
    TTraceRenderer renderer;
    TViewX vx = FitAll(n, 1920);
    int columnFrames = 0, sampleFrames = 0;
    for (;;) {
        const TSampleSpan vis = VisibleSpan(vx, n);
        const TCodeRange r = p.Range(vis.first, vis.last);
        ASSERT_EQ(r.max, spike);
        const TViewY vy = AutoY(r.min, r.max, 600);
        renderer.Render(img, vx, vy, std::span(&layer, 1), kBack);
        const int x = static_cast<int>(ColumnOfSample(vx, at));
        const int y = RowOfCode(vy, spike);
        ASSERT_TRUE(x >= 0 && x < 1920);
        ASSERT_EQ(img.pixel(x, y), kInk[0]) << "step " << vx.step;
        // Nothing else reaches that height: only the spike's column and the
        // joins to its neighbours.
        const int xl = static_cast<int>(ColumnOfSample(vx, at - 1));
        const int xr = static_cast<int>(ColumnOfSample(vx, at + 1));
        for (int i = 0; i < 1920; ++i)
            if (i < std::min(xl, x - 1) || i > std::max(xr, x + 1)) {
                ASSERT_EQ(img.pixel(i, y), kBack) << "column " << i << " step " << vx.step;
            }
        ++(vx.step >= kOne ? columnFrames : sampleFrames);
        if (vx.step == kMinStep)
            break;
        vx = ZoomAt(vx, n, x, 4.0);
    }
    EXPECT_GE(columnFrames, 5);
    EXPECT_GE(sampleFrames, 4);
}

} // namespace
