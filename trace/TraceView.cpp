#include "TraceView.h"

#include "MeasureRecord.h"

#include <algorithm>
#include <cmath>

namespace mirantos::trace {

namespace {

int64_t FloorDiv(int64_t a, int64_t b)
{
    const int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

int64_t CeilDiv(int64_t a, int64_t b)
{
    return -FloorDiv(-a, b);
}

int64_t ClampSamples(int64_t samples)
{
    return std::clamp<int64_t>(samples, 0, kMaxSamples);
}

} // namespace

int64_t ColumnStart(const TViewX& v, int64_t x)
{
    return FloorDiv(v.first + x * v.step, kOne);
}

void ColumnStarts(const TViewX& v, int64_t samples, std::vector<int64_t>& out)
{
    out.resize(static_cast<size_t>(v.width) + 1);
    int64_t pos = v.first;
    for (int x = 0; x <= v.width; ++x, pos += v.step)
        out[static_cast<size_t>(x)] = std::clamp<int64_t>(FloorDiv(pos, kOne), 0, samples);
}

int64_t ColumnOfSample(const TViewX& v, int64_t i)
{
    // S(x + 1) > i  <=>  first + (x + 1) step >= (i + 1) kOne.
    return CeilDiv((i + 1) * kOne - v.first, v.step) - 1;
}

TSampleSpan ColumnsSpan(const TViewX& v, int64_t samples, int x0, int x1)
{
    const int lo = std::min(x0, x1);
    const int hi = std::max(x0, x1);
    return {std::clamp<int64_t>(ColumnStart(v, lo), 0, samples),
            std::clamp<int64_t>(ColumnStart(v, int64_t{hi} + 1), 0, samples)};
}

TSampleSpan VisibleSpan(const TViewX& v, int64_t samples)
{
    return ColumnsSpan(v, samples, 0, v.width - 1);
}

TViewX FitAll(int64_t samples, int width)
{
    width = std::clamp(width, 1, kMaxWidth);
    samples = ClampSamples(samples);
    const int64_t step = samples == 0 ? kOne : CeilDiv(samples * kOne, width);
    return {0, std::max(step, kMinStep), width};
}

TViewX Clamp(TViewX v, int64_t samples)
{
    samples = ClampSamples(samples);
    v.width = std::clamp(v.width, 1, kMaxWidth);
    v.step = std::clamp(v.step, kMinStep, FitAll(samples, v.width).step);
    const int64_t lastFirst = std::max<int64_t>(0, samples * kOne - v.width * v.step);
    v.first = std::clamp<int64_t>(v.first, 0, lastFirst);
    return v;
}

TViewX ShowSamples(int64_t samples, int width, int64_t first, int64_t count)
{
    width = std::clamp(width, 1, kMaxWidth);
    first = std::clamp<int64_t>(first, 0, ClampSamples(samples));
    count = std::clamp<int64_t>(count, 0, kMaxSamples);
    return Clamp({first * kOne, CeilDiv(count * kOne, width), width}, samples);
}

TViewX ZoomAt(const TViewX& view, int64_t samples, int x, double factor)
{
    const TViewX v = Clamp(view, samples);
    if (!(factor > 0.0) || !std::isfinite(factor))
        return v;
    x = std::clamp(x, 0, v.width);
    const double want = std::round(static_cast<double>(v.step) / factor);
    // Beyond the whole-record step the clamp takes over; keep the double in range.
    const int64_t step =
        std::max<int64_t>(1, static_cast<int64_t>(std::min(want, 0x1p62 / kMaxWidth)));
    const int64_t clampedStep = Clamp({v.first, step, v.width}, samples).step;
    return Clamp({v.first + int64_t{x} * (v.step - clampedStep), clampedStep, v.width}, samples);
}

TViewX ZoomToColumns(const TViewX& view, int64_t samples, int x0, int x1)
{
    const TViewX v = Clamp(view, samples);
    x0 = std::clamp(x0, 0, v.width - 1);
    x1 = std::clamp(x1, 0, v.width - 1);
    const int64_t lo = std::min(x0, x1);
    const int64_t n = std::abs(int64_t{x1} - x0) + 1;
    return Clamp({v.first + lo * v.step, n * v.step / v.width, v.width}, samples);
}

TViewX Pan(const TViewX& view, int64_t samples, int64_t dx)
{
    const TViewX v = Clamp(view, samples);
    // A far drag only needs to reach an end of the record.
    const int64_t limit = (int64_t{1} << 62) / v.step;
    dx = std::clamp(dx, -limit, limit);
    return Clamp({v.first - dx * v.step, v.step, v.width}, samples);
}

int RowOfCode(const TViewY& v, uint32_t code)
{
    const int64_t span = int64_t{v.high} - v.low + 1;
    const int64_t k = int64_t{v.high} - code;
    const int64_t row = FloorDiv((2 * k + 1) * v.height, 2 * span);
    return static_cast<int>(std::clamp<int64_t>(row, -kRowLimit, kRowLimit));
}

TViewY AutoY(uint32_t min, uint32_t max, int height)
{
    const uint32_t pad = std::max<uint32_t>(1, (max - min) / 16);
    const uint32_t low = min >= pad ? min - pad : 0;
    const uint32_t high = 0xFFFFFFFFu - max >= pad ? max + pad : 0xFFFFFFFFu;
    return {low, high, height};
}

TViewY ZoomToRows(const TViewY& v, int y0, int y1)
{
    const int64_t top = std::min(y0, y1);
    const int64_t bottom = std::max(y0, y1);
    const int64_t span = int64_t{v.high} - v.low + 1;
    const int64_t h = v.height;
    // k = high - c; row >= top <=> (2k + 1) h >= 2 span top; row <= bottom <=>
    // (2k + 1) h < 2 span (bottom + 1).
    const int64_t kMin = std::clamp<int64_t>(CeilDiv(2 * span * top - h, 2 * h), 0, span - 1);
    int64_t kMax =
        std::clamp<int64_t>(FloorDiv(2 * span * (bottom + 1) - h - 1, 2 * h), 0, span - 1);
    kMax = std::max(kMax, kMin);
    return {static_cast<uint32_t>(v.high - kMax), static_cast<uint32_t>(v.high - kMin), v.height};
}

TMicrovoltAxis MicrovoltAxis(const TViewY& v, int32_t gain)
{
    return {CodeToMicrovolt(v.low, gain), CodeToMicrovolt(v.high, gain)};
}

} // namespace mirantos::trace
