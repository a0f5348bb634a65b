#pragma once
// The trace viewer's geometry, free of any image or widget, in exact integer
// arithmetic so that every boundary is the same wherever it is computed.
//
// X: a view is the position of column 0's left edge and the samples per pixel
// column ("step"), both fixed point in units of 2^-24 sample (kOne = one
// sample), and the width in columns. Column x starts at sample
//     S(x) = floor((first + x * step) / kOne)
// and covers the samples S(x) <= i < S(x + 1), clipped to the record
// [0, samples). S never decreases, so each sample lies in exactly one column;
// with step >= kOne no column inside the record is empty. Views are kept
// clamped (Clamp): kMinStep <= step <= the whole-record step, and the view
// starts at or after sample 0 and ends at or before the record's end unless
// the whole record is narrower than the view, when it starts at 0.
//
// Y: an inclusive code range [low, high] spread over `height` rows, row 0 at
// the top. Code c sits on the row of its band's centre,
//     row(c) = floor((2 (high - c) + 1) * height / (2 (high - low + 1))),
// so every code of the range lies on exactly one row, a range wider than the
// image puts several codes on a row, a narrower one gives each code a band of
// rows. Codes outside the range give rows outside 0..height-1 (pinned to
// +-kRowLimit). The microvolt axis is the same map: its edges are the
// converter's microvolts (CodeToMicrovolt) of the range's ends.

#include <cstdint>
#include <vector>

namespace mirantos::trace {

inline constexpr int kFracBits = 24;
inline constexpr int64_t kOne = int64_t{1} << kFracBits;
// Deepest zoom: 256 columns per sample.
inline constexpr int64_t kMinStep = kOne / 256;
// Records up to 2^31 samples and images up to 2^15 columns keep every
// product of the arithmetic below 2^63.
inline constexpr int64_t kMaxSamples = int64_t{1} << 31;
inline constexpr int kMaxWidth = 1 << 15;
inline constexpr int kRowLimit = 1 << 24;

struct TViewX {
    int64_t first = 0;   // left edge of column 0, in 2^-24 samples
    int64_t step = kOne; // samples per column, in 2^-24 samples
    int width = 1;
    bool operator==(const TViewX&) const = default;
};

// Samples first <= i < last.
struct TSampleSpan {
    int64_t first = 0;
    int64_t last = 0;
    int64_t Count() const { return last - first; }
    bool operator==(const TSampleSpan&) const = default;
};

// S(x), not clipped to the record.
int64_t ColumnStart(const TViewX& v, int64_t x);
// S(0) .. S(width), each clipped to [0, samples]: column x covers
// out[x] <= i < out[x + 1].
void ColumnStarts(const TViewX& v, int64_t samples, std::vector<int64_t>& out);
// The column whose samples include sample i: the least x with S(x + 1) > i
// (may lie outside 0..width-1).
int64_t ColumnOfSample(const TViewX& v, int64_t i);
// Columns x0..x1 (either order) as samples: [S(min), S(max + 1)) clipped.
TSampleSpan ColumnsSpan(const TViewX& v, int64_t samples, int x0, int x1);
// All columns: [S(0), S(width)) clipped.
TSampleSpan VisibleSpan(const TViewX& v, int64_t samples);

// The whole record: first 0, step ceil(samples * kOne / width) (kOne for an
// empty record), at least kMinStep.
TViewX FitAll(int64_t samples, int width);
// Width to 1..kMaxWidth, step to kMinStep..FitAll's step, first to
// 0..max(0, samples * kOne - width * step).
TViewX Clamp(TViewX v, int64_t samples);
// The view whose column 0 starts at sample `first` and whose `width` columns
// cover at least `count` samples (step ceil(count * kOne / width)), clamped.
TViewX ShowSamples(int64_t samples, int width, int64_t first, int64_t count);
// Zoom by `factor` (> 1 in, < 1 out) keeping the position at column x's left
// edge there: step' = max(1, round(step / factor)), first' = first + x step
// - x step', clamped.
TViewX ZoomAt(const TViewX& v, int64_t samples, int x, double factor);
// Columns x0..x1 (either order, a dragged box) fill the width:
// first' = first + min * step, step' = floor((|x1 - x0| + 1) * step / width),
// clamped.
TViewX ZoomToColumns(const TViewX& v, int64_t samples, int x0, int x1);
// The content moves dx columns to the right: first' = first - dx * step, clamped.
TViewX Pan(const TViewX& v, int64_t samples, int64_t dx);

struct TViewY {
    uint32_t low = 0;
    uint32_t high = 0xFFFFFFFFu;
    int height = 1;
    bool operator==(const TViewY&) const = default;
};

// row(c) as above, pinned to -kRowLimit..kRowLimit.
int RowOfCode(const TViewY& v, uint32_t code);
// Auto range for visible extremes min <= max: pad = max(1, (max - min) / 16),
// [min - pad, max + pad] saturated at 0 and 2^32 - 1.
TViewY AutoY(uint32_t min, uint32_t max, int height);
// Rows y0..y1 (either order, a dragged box) become the range: the codes whose
// rows lie in the box; when none does (a range narrower than the image), the
// first code below the box, or the range's lowest when none lies below.
TViewY ZoomToRows(const TViewY& v, int y0, int y1);

// The microvolt axis: the converter's microvolts at the range's ends.
struct TMicrovoltAxis {
    double low = 0;
    double high = 0;
};
TMicrovoltAxis MicrovoltAxis(const TViewY& v, int32_t gain);

} // namespace mirantos::trace
