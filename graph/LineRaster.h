#pragma once
// One-pixel solid lines straight into a 32-bit QImage, with the pixels a
// move-to / line-to pair gives on the classic desktop canvas: the start point
// is drawn, the end point is not, one pixel per column (or row for steep
// lines), and a line exactly half-way between two pixels takes the upper one
// (or the left one for steep lines). Lines are clipped to the image without
// changing which pixels the visible part has. Coordinates beyond +-2^25 are
// pinned there.

#include <QImage>
#include <QRgb>

#include <cstdint>

namespace mirantos {

class LineRaster {
public:
    // The image must be Format_RGB32 or Format_ARGB32(_Premultiplied) and
    // must not be resized or detached while the raster is in use.
    explicit LineRaster(QImage& image);

    void SetColor(QRgb color) { color_ = color; }
    void MoveTo(int x, int y)
    {
        penX_ = x;
        penY_ = y;
    }
    // Draws from the pen position to (x, y), leaving (x, y) out; the pen moves there.
    void LineTo(int x, int y);

    // A whole line from (x0, y0) to (x1, y1), end point excluded.
    void Line(int x0, int y0, int x1, int y1);

private:
    // Lights n pixels from (a, b) on the major/minor axes, with the error term
    // rem out of den growing by inc per step.
    void Walk(bool xMajor, int a, int b, int smaj, int smin, int64_t rem, int64_t den, int64_t inc,
              int64_t n);

    uchar* bits_ = nullptr;
    qsizetype stride_ = 0;
    int width_ = 0;
    int height_ = 0;
    QRgb color_ = 0xff000000;
    int penX_ = 0;
    int penY_ = 0;
};

} // namespace mirantos
