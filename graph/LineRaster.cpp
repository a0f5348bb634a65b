#include "LineRaster.h"

#include <algorithm>
#include <cstdint>

namespace mirantos {

namespace {

constexpr int kCoordLimit = 1 << 25;

// Floor and ceiling of a / b for b > 0.
int64_t FloorDiv(int64_t a, int64_t b)
{
    const int64_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}
int64_t CeilDiv(int64_t a, int64_t b)
{
    const int64_t q = a / b;
    return (a % b != 0 && a > 0) ? q + 1 : q;
}

// The steps k of a line whose minor offset floor((2 k minor + bias) / (2 major))
// stays inside [lo, hi]; the offset never decreases with k.
void MinorRange(int64_t minor, int64_t major, int64_t bias, int64_t lo, int64_t hi, int64_t& kMin,
                int64_t& kMax)
{
    if (minor == 0) {
        // Offset is always floor(bias / 2 major) == 0.
        if (lo > 0 || hi < 0) {
            kMin = 1;
            kMax = 0;
        }
        return;
    }
    if (lo > 0)
        kMin = std::max(kMin, CeilDiv(2 * major * lo - bias, 2 * minor));
    kMax = std::min(kMax, FloorDiv(2 * major * (hi + 1) - bias - 1, 2 * minor));
}

} // namespace

LineRaster::LineRaster(QImage& image)
    : bits_(image.bits()), stride_(image.bytesPerLine()), width_(image.width()),
      height_(image.height())
{
}

void LineRaster::LineTo(int x, int y)
{
    Line(penX_, penY_, x, y);
    penX_ = x;
    penY_ = y;
}

void LineRaster::Line(int x0, int y0, int x1, int y1)
{
    if (bits_ == nullptr || width_ <= 0 || height_ <= 0)
        return;
    // Keeps the 64-bit step arithmetic exact; the graph never comes near this.
    x0 = std::clamp(x0, -kCoordLimit, kCoordLimit);
    y0 = std::clamp(y0, -kCoordLimit, kCoordLimit);
    x1 = std::clamp(x1, -kCoordLimit, kCoordLimit);
    y1 = std::clamp(y1, -kCoordLimit, kCoordLimit);
    const int64_t dx = x1 > x0 ? int64_t{x1} - x0 : int64_t{x0} - x1;
    const int64_t dy = y1 > y0 ? int64_t{y1} - y0 : int64_t{y0} - y1;
    const int sx = x1 >= x0 ? 1 : -1;
    const int sy = y1 >= y0 ? 1 : -1;
    if (dx == 0 && dy == 0)
        return;

    const bool xMajor = dx >= dy;
    const int64_t major = xMajor ? dx : dy;
    const int64_t minor = xMajor ? dy : dx;
    const int smaj = xMajor ? sx : sy;
    const int smin = xMajor ? sy : sx;
    const int64_t a0 = xMajor ? x0 : y0; // major-axis start
    const int64_t b0 = xMajor ? y0 : x0; // minor-axis start
    const int64_t aLim = xMajor ? width_ : height_;
    const int64_t bLim = xMajor ? height_ : width_;
    // Exactly half-way: take the smaller coordinate (up, or left). Going in the
    // positive minor direction that means rounding the offset down.
    const int64_t bias = smin > 0 ? major - 1 : major;

    // Steps 0 .. major-1 (the end point is left out), cut to the image along the major axis ...
    int64_t kMin = 0;
    int64_t kMax = major - 1;
    const bool inside = x0 >= 0 && x0 < width_ && y0 >= 0 && y0 < height_ && x1 >= 0 &&
                        x1 < width_ && y1 >= 0 && y1 < height_;
    if (inside) {
        // The usual case in a plot: no cutting, so no divisions either.
        Walk(xMajor, static_cast<int>(a0), static_cast<int>(b0), smaj, smin, bias, 2 * major,
             2 * minor, major);
        return;
    }
    if (smaj > 0) {
        kMin = std::max(kMin, -a0);
        kMax = std::min(kMax, aLim - 1 - a0);
    } else {
        kMin = std::max(kMin, a0 - (aLim - 1));
        kMax = std::min(kMax, a0);
    }
    // ... and along the minor axis, where the offset grows monotonically.
    const int64_t lo = smin > 0 ? -b0 : b0 - (bLim - 1);
    const int64_t hi = smin > 0 ? bLim - 1 - b0 : b0;
    MinorRange(minor, major, bias, lo, hi, kMin, kMax);
    if (kMin > kMax)
        return;

    // Bresenham from step kMin: the offset's quotient and remainder.
    const int64_t den = 2 * major;
    const int64_t num = 2 * kMin * minor + bias;
    Walk(xMajor, static_cast<int>(a0 + smaj * kMin), static_cast<int>(b0 + smin * (num / den)),
         smaj, smin, num % den, den, 2 * minor, kMax - kMin + 1);
}

void LineRaster::Walk(bool xMajor, int a, int b, int smaj, int smin, int64_t rem, int64_t den,
                      int64_t inc, int64_t n)
{
    const QRgb color = color_;
    if (xMajor) {
        while (n-- > 0) {
            reinterpret_cast<QRgb*>(bits_ + stride_ * b)[a] = color;
            a += smaj;
            rem += inc;
            if (rem >= den) {
                rem -= den;
                b += smin;
            }
        }
    } else {
        while (n-- > 0) {
            reinterpret_cast<QRgb*>(bits_ + stride_ * a)[b] = color;
            a += smaj;
            rem += inc;
            if (rem >= den) {
                rem -= den;
                b += smin;
            }
        }
    }
}

} // namespace mirantos
