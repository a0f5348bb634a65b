#pragma once
// Draws one frame of the trace viewer into a 32-bit QImage: the background,
// then each channel in its colour, later channels over earlier ones.
//
// At one sample per column or more (step >= kOne) every column shows the
// exact extremes of its samples joined to the sample before it
// (QueryColumns with `joined`): column x is lit from row(max) down to
// row(min), clipped to the image, nothing when the range lies wholly above or
// below it or the column holds no samples. So every sample, a lone spike
// among a million too, shows at its true height, and the trace has no gaps.
//
// Below one sample per column the samples themselves are drawn: a 1-px line
// (LineRaster) from each sample's point to the next, from the sample before
// the first visible one to the one after the last, and each sample's point
// as a square, 3 x 3 when samples lie 4 columns or more apart (step <=
// kOne / 4), else 1 x 1. Sample i's point is (ColumnOfSample(i), row(code)).

#include "MinMaxPyramid.h"
#include "TraceView.h"

#include <QImage>
#include <QRgb>

#include <span>
#include <vector>

namespace mirantos::trace {

struct TTraceLayer {
    const TMinMaxPyramid* codes = nullptr;
    QRgb color = 0xff000000;
    // A code range of this layer's own over the same rows (the AC view's
    // channels about their means); null: the frame's.
    const TViewY* y = nullptr;
};

class TTraceRenderer {
public:
    // The image must be Format_RGB32 or Format_ARGB32(_Premultiplied); its
    // size wins over the views' width and height, which should match it.
    void Render(QImage& image, const TViewX& viewX, const TViewY& viewY,
                std::span<const TTraceLayer> layers, QRgb background);

private:
    void Columns(QImage& image, const TViewX& viewX, const TViewY& viewY,
                 std::span<const TTraceLayer> layers, QRgb background);
    void Samples(QImage& image, const TViewX& viewX, const TViewY& viewY,
                 std::span<const TTraceLayer> layers, QRgb background);

    // Scratch kept between frames.
    std::vector<int64_t> starts_;
    std::vector<TCodeRange> ranges_;
    std::vector<int32_t> top_;
    std::vector<uint32_t> rows_; // lit rows - 1, compared unsigned (y - top <= rows)
};

} // namespace mirantos::trace
