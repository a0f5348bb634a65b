#include "TraceRenderer.h"

#include "LineRaster.h"
#include "TraceSimd.h"

#include <algorithm>

namespace mirantos::trace {

namespace {

// One scanline of two channels: channel 1 over channel 0 over the background.
// A column's rows are top..top+rows, tested as one unsigned compare.
MIRANTOS_TRACE_CLONES
void TwoLayerRow(QRgb* line, int w, int y, const int32_t* top0, const uint32_t* rows0,
                 const int32_t* top1, const uint32_t* rows1, QRgb c0, QRgb c1, QRgb background)
{
    for (int x = 0; x < w; ++x) {
        const QRgb under = static_cast<uint32_t>(y - top0[x]) <= rows0[x] ? c0 : background;
        line[x] = static_cast<uint32_t>(y - top1[x]) <= rows1[x] ? c1 : under;
    }
}

MIRANTOS_TRACE_CLONES
void OneLayerRow(QRgb* line, int w, int y, const int32_t* top, const uint32_t* rows, QRgb c,
                 QRgb background)
{
    for (int x = 0; x < w; ++x)
        line[x] = static_cast<uint32_t>(y - top[x]) <= rows[x] ? c : background;
}

MIRANTOS_TRACE_CLONES
void LayerRow(QRgb* line, int w, int y, const int32_t* top, const uint32_t* rows, QRgb c)
{
    for (int x = 0; x < w; ++x)
        line[x] = static_cast<uint32_t>(y - top[x]) <= rows[x] ? c : line[x];
}

TViewY LayerY(const TTraceLayer& layer, const TViewY& frame)
{
    if (layer.y == nullptr)
        return frame;
    TViewY y = *layer.y;
    y.height = frame.height;
    return y;
}

} // namespace

void TTraceRenderer::Render(QImage& image, const TViewX& viewX, const TViewY& viewY,
                            std::span<const TTraceLayer> layers, QRgb background)
{
    if (image.isNull() || image.depth() != 32)
        return;
    TViewX vx = viewX;
    vx.width = image.width();
    TViewY vy = viewY;
    vy.height = image.height();
    if (vx.step >= kOne)
        Columns(image, vx, vy, layers, background);
    else
        Samples(image, vx, vy, layers, background);
}

void TTraceRenderer::Columns(QImage& image, const TViewX& vx, const TViewY& vy,
                             std::span<const TTraceLayer> layers, QRgb background)
{
    const int w = vx.width;
    const int h = vy.height;
    const size_t layerCount = layers.size();
    top_.assign(layerCount * static_cast<size_t>(w), 0);
    rows_.assign(layerCount * static_cast<size_t>(w), 0);
    std::vector<int> firstRow(layerCount, h);
    std::vector<int> lastRow(layerCount, -1);
    int64_t samples = 0;
    for (const TTraceLayer& l : layers)
        samples = std::max(samples, l.codes ? l.codes->Size() : 0);
    ColumnStarts(vx, samples, starts_);
    for (size_t l = 0; l < layerCount; ++l) {
        int32_t* top = top_.data() + l * static_cast<size_t>(w);
        uint32_t* rows = rows_.data() + l * static_cast<size_t>(w);
        if (layers[l].codes == nullptr) {
            std::fill(top, top + w, h); // y - h never fits rows 0 for y < h
            continue;
        }
        QueryColumns(*layers[l].codes, starts_, true, ranges_);
        const TViewY ly = LayerY(layers[l], vy);
        for (int x = 0; x < w; ++x) {
            const TCodeRange& r = ranges_[static_cast<size_t>(x)];
            int a = r.Empty() ? h : std::max(RowOfCode(ly, r.max), 0);
            const int b = r.Empty() ? -1 : std::min(RowOfCode(ly, r.min), h - 1);
            if (a > b)
                a = h; // nothing to draw: no row y < h satisfies y - h <= 0 unsigned
            top[x] = a;
            rows[x] = a > b ? 0u : static_cast<uint32_t>(b - a);
            if (a <= b) {
                firstRow[l] = std::min(firstRow[l], a);
                lastRow[l] = std::max(lastRow[l], b);
            }
        }
    }
    // Row by row, so each scanline is written once and in order; one or two
    // channels (the board's) in one pass, more one after the other.
    const qsizetype stride = image.bytesPerLine();
    uchar* bits = image.bits();
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(bits + y * stride);
        const auto in = [&](size_t l) { return y >= firstRow[l] && y <= lastRow[l]; };
        if (layerCount == 2 && in(0) && in(1)) {
            TwoLayerRow(line, w, y, top_.data(), rows_.data(), top_.data() + w, rows_.data() + w,
                        layers[0].color, layers[1].color, background);
            continue;
        }
        // The first channel on this row writes the background too.
        bool filled = false;
        for (size_t l = 0; l < layerCount; ++l) {
            if (!in(l))
                continue;
            const int32_t* top = top_.data() + l * static_cast<size_t>(w);
            const uint32_t* rows = rows_.data() + l * static_cast<size_t>(w);
            if (filled)
                LayerRow(line, w, y, top, rows, layers[l].color);
            else
                OneLayerRow(line, w, y, top, rows, layers[l].color, background);
            filled = true;
        }
        if (!filled)
            std::fill(line, line + w, background);
    }
}

void TTraceRenderer::Samples(QImage& image, const TViewX& vx, const TViewY& vy,
                             std::span<const TTraceLayer> layers, QRgb background)
{
    image.fill(background);
    const int w = vx.width;
    const int h = vy.height;
    const int radius = vx.step <= kOne / 4 ? 1 : 0;
    LineRaster raster(image);
    const qsizetype stride = image.bytesPerLine();
    uchar* bits = image.bits();
    for (const TTraceLayer& layer : layers) {
        if (layer.codes == nullptr || layer.codes->Size() == 0)
            continue;
        const int64_t n = layer.codes->Size();
        const uint32_t* codes = layer.codes->Codes().data();
        const int64_t first = std::clamp<int64_t>(ColumnStart(vx, 0) - 1, 0, n - 1);
        const int64_t last = std::clamp<int64_t>(ColumnStart(vx, w), 0, n - 1);
        raster.SetColor(layer.color);
        const TViewY ly = LayerY(layer, vy);
        // Columns pinned like LineRaster's coordinates: far ones only set a slope.
        const auto px = [&](int64_t i) {
            return static_cast<int>(
                std::clamp<int64_t>(ColumnOfSample(vx, i), -kRowLimit, kRowLimit));
        };
        raster.MoveTo(px(first), RowOfCode(ly, codes[first]));
        for (int64_t i = first + 1; i <= last; ++i)
            raster.LineTo(px(i), RowOfCode(ly, codes[i]));
        for (int64_t i = first; i <= last; ++i) {
            const int cx = px(i);
            const int cy = RowOfCode(ly, codes[i]);
            for (int y = std::max(cy - radius, 0); y <= std::min(cy + radius, h - 1); ++y) {
                auto* line = reinterpret_cast<QRgb*>(bits + y * stride);
                for (int x = std::max(cx - radius, 0); x <= std::min(cx + radius, w - 1); ++x)
                    line[x] = layer.color;
            }
        }
    }
}

} // namespace mirantos::trace
