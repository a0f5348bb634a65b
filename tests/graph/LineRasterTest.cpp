// The line rasterizer: which pixels a move-to / line-to pair lights.

#include "LineRaster.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <utility>

using mirantos::LineRaster;

namespace {

const QRgb kBack = qRgb(255, 255, 255);
const QRgb kInk = qRgb(255, 0, 0);

QImage Blank(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(kBack);
    return img;
}

std::set<std::pair<int, int>> Lit(const QImage& img)
{
    std::set<std::pair<int, int>> out;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) != kBack)
                out.insert({x, y});
    return out;
}

std::set<std::pair<int, int>> Draw(int x0, int y0, int x1, int y1, int w = 20, int h = 20)
{
    QImage img = Blank(w, h);
    LineRaster r(img);
    r.SetColor(kInk);
    r.MoveTo(x0, y0);
    r.LineTo(x1, y1);
    return Lit(img);
}

} // namespace

TEST(LineRaster, EndPointIsLeftOut)
{
    std::set<std::pair<int, int>> h;
    for (int x = 0; x < 10; ++x)
        h.insert({x, 5});
    EXPECT_EQ(Draw(0, 5, 10, 5), h);

    std::set<std::pair<int, int>> v;
    for (int y = 12; y > 2; --y)
        v.insert({4, y});
    EXPECT_EQ(Draw(4, 12, 4, 2), v);

    EXPECT_EQ(Draw(0, 0, 4, 4), (std::set<std::pair<int, int>>{{0, 0}, {1, 1}, {2, 2}, {3, 3}}));
    EXPECT_TRUE(Draw(3, 3, 3, 3).empty());
    EXPECT_EQ(Draw(3, 3, 4, 3), (std::set<std::pair<int, int>>{{3, 3}}));
}

TEST(LineRaster, ShallowLineHasOnePixelPerColumnAndHalfwayTakesTheUpperOne)
{
    // Exact y = 3k/10; at k = 5 it is 1.5, where the upper pixel (1) wins.
    const int down[] = {0, 0, 1, 1, 1, 1, 2, 2, 2, 3};
    std::set<std::pair<int, int>> expected;
    for (int k = 0; k < 10; ++k)
        expected.insert({k, down[k]});
    EXPECT_EQ(Draw(0, 0, 10, 3), expected);

    // Going up: y = 3 - 3k/10; at k = 5 again 1.5 and again the upper pixel.
    const int up[] = {3, 3, 2, 2, 2, 1, 1, 1, 1, 0};
    expected.clear();
    for (int k = 0; k < 10; ++k)
        expected.insert({k, up[k]});
    EXPECT_EQ(Draw(0, 3, 10, 0), expected);
}

TEST(LineRaster, SteepLineHasOnePixelPerRowAndHalfwayTakesTheLeftOne)
{
    const int right[] = {0, 0, 1, 1, 1, 1, 2, 2, 2, 3};
    std::set<std::pair<int, int>> expected;
    for (int k = 0; k < 10; ++k)
        expected.insert({right[k], k});
    EXPECT_EQ(Draw(0, 0, 3, 10), expected);

    const int left[] = {3, 3, 2, 2, 2, 1, 1, 1, 1, 0};
    expected.clear();
    for (int k = 0; k < 10; ++k)
        expected.insert({left[k], k});
    EXPECT_EQ(Draw(3, 0, 0, 10), expected);
}

TEST(LineRaster, ClippedLinesKeepTheirPixels)
{
    // The same random lines drawn into a large image and into a window of it
    // must light exactly the same pixels inside the window.
    constexpr int W = 37, H = 23, Off = 60;
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> coord(-Off, 2 * Off);
    for (int n = 0; n < 3000; ++n) {
        const int x0 = coord(rng), y0 = coord(rng), x1 = coord(rng), y1 = coord(rng);
        QImage big = Blank(W + 2 * Off + 100, H + 2 * Off + 100);
        QImage small = Blank(W, H);
        {
            LineRaster rb(big);
            rb.SetColor(kInk);
            rb.Line(x0 + Off, y0 + Off, x1 + Off, y1 + Off);
            LineRaster rs(small);
            rs.SetColor(kInk);
            rs.Line(x0, y0, x1, y1);
        }
        const QImage window = big.copy(Off, Off, W, H);
        ASSERT_EQ(window, small) << x0 << "," << y0 << " -> " << x1 << "," << y1;
    }
}

TEST(LineRaster, FarOffEndPointsAreClippedNotWalked)
{
    QImage img = Blank(50, 40);
    LineRaster r(img);
    r.SetColor(kInk);
    r.Line(-2000000000, 7, 2000000000, 7);
    r.Line(13, 2000000000, 13, -2000000000);
    int row = 0, col = 0;
    for (int x = 0; x < 50; ++x)
        row += img.pixel(x, 7) == kInk;
    for (int y = 0; y < 40; ++y)
        col += img.pixel(13, y) == kInk;
    EXPECT_EQ(row, 50);
    EXPECT_EQ(col, 40);
    // Completely outside: nothing.
    QImage other = Blank(50, 40);
    LineRaster ro(other);
    ro.SetColor(kInk);
    ro.Line(-10, -5, 60, -1);
    ro.Line(60, 0, 70, 39);
    EXPECT_TRUE(Lit(other).empty());
}

// Also a sanitizer check: a raster over no pixels must write nowhere.
TEST(LineRaster, SanitizerCheckEmptyImageStaysEmpty)
{
    QImage none;
    LineRaster r(none);
    r.Line(0, 0, 10, 10);
    r.MoveTo(-5, 3);
    r.LineTo(5, 3);
    EXPECT_TRUE(none.isNull());
    EXPECT_EQ(none.constBits(), nullptr);
}
