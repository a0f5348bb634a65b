#include "MinMaxPyramid.h"

#include "MeasureRecord.h"
#include "TraceSimd.h"

#include <algorithm>

namespace mirantos::trace {

namespace {

[[gnu::always_inline]] inline TCodeRange Scan(const uint32_t* codes, int64_t n)
{
    uint32_t lo = 0xFFFFFFFFu;
    uint32_t hi = 0;
    for (int64_t i = 0; i < n; ++i) {
        lo = std::min(lo, codes[i]);
        hi = std::max(hi, codes[i]);
    }
    return {lo, hi};
}

constexpr int64_t kBlock = int64_t{1} << TMinMaxPyramid::kBaseShift;

// Extremes of block[lo, hi) within a whole block: a fixed trip count and a
// mask instead of a loop of 1..31, so it runs as a few vector steps.
[[gnu::always_inline]] inline TCodeRange ScanPart(const uint32_t* block, int64_t lo, int64_t hi)
{
    uint32_t mn = 0xFFFFFFFFu;
    uint32_t mx = 0;
    const auto from = static_cast<uint32_t>(lo);
    const auto count = static_cast<uint32_t>(hi - lo);
    for (uint32_t i = 0; i < kBlock; ++i) {
        const uint32_t in = 0u - static_cast<uint32_t>(i - from < count); // all ones inside
        mn = std::min(mn, block[i] | ~in);
        mx = std::max(mx, block[i] & in);
    }
    return {mn, mx};
}

// Samples [first, last) of `codes`, 0 <= first <= last <= n; see Range.
// Inlined into each build of its callers.
[[gnu::always_inline]] inline TCodeRange RangeOf(const uint32_t* codes, int64_t n,
                                                 const std::vector<std::vector<TCodeRange>>& levels,
                                                 int64_t first, int64_t last)
{
    const int64_t a = (first + kBlock - 1) >> TMinMaxPyramid::kBaseShift;
    const int64_t b = last >> TMinMaxPyramid::kBaseShift;
    if (a >= b)
        return Scan(codes + first, last - first);
    TCodeRange r;
    if (first < a * kBlock)
        r = ScanPart(codes + (a - 1) * kBlock, first - (a - 1) * kBlock, kBlock);
    if (last > b * kBlock)
        r.Add((b + 1) * kBlock <= n ? ScanPart(codes + b * kBlock, 0, last - b * kBlock)
                                    : Scan(codes + b * kBlock, last - b * kBlock));
    // Blocks a <= j < b of level 0, then up the levels like a bottom-up
    // segment tree: an odd left end or right end is taken here, the rest
    // pairs up into the level above.
    auto i = static_cast<size_t>(a);
    auto j = static_cast<size_t>(b);
    for (size_t k = 0; k < levels.size() && i < j; ++k) {
        const std::vector<TCodeRange>& level = levels[k];
        if (k + 1 == levels.size()) {
            for (; i < j; ++i)
                r.Add(level[i]);
            break;
        }
        // Without branches: which ends are odd is as good as random.
        const size_t ti = i & 1;
        const size_t tj = j & 1;
        const TCodeRange& left = level[i];
        const TCodeRange& right = level[j - 1];
        r.min = std::min(r.min, ti ? left.min : 0xFFFFFFFFu);
        r.max = std::max(r.max, ti ? left.max : 0u);
        r.min = std::min(r.min, tj ? right.min : 0xFFFFFFFFu);
        r.max = std::max(r.max, tj ? right.max : 0u);
        i += ti;
        j -= tj;
        i >>= 1;
        j >>= 1;
    }
    return r;
}

MIRANTOS_TRACE_CLONES
void BuildBlocks(const uint32_t* codes, size_t from, size_t to, TCodeRange* out)
{
    for (size_t b = from; b < to; ++b)
        out[b] = Scan(codes + b * kBlock, kBlock);
}

MIRANTOS_TRACE_CLONES
void Columns(const uint32_t* codes, int64_t n, const std::vector<std::vector<TCodeRange>>& levels,
             const int64_t* starts, size_t columns, bool joined, TCodeRange* out)
{
    for (size_t x = 0; x < columns; ++x) {
        int64_t first = std::min(starts[x], n);
        const int64_t last = std::min(starts[x + 1], n);
        if (joined && first > 0 && first < last)
            --first;
        out[x] = first < last ? RangeOf(codes, n, levels, first, last) : TCodeRange{};
    }
}

} // namespace

MIRANTOS_TRACE_CLONES
TCodeRange ScanRange(const uint32_t* codes, int64_t n)
{
    return Scan(codes, n);
}

TMinMaxPyramid::TMinMaxPyramid(std::vector<uint32_t> codes) : codes_(std::move(codes))
{
    Extend();
}

void TMinMaxPyramid::Append(std::span<const uint32_t> codes)
{
    codes_.insert(codes_.end(), codes.begin(), codes.end());
    Extend();
}

void TMinMaxPyramid::Extend()
{
    const size_t capacity = codes_.capacity();
    for (size_t k = 0;; ++k) {
        const size_t below = k == 0 ? codes_.size() : levels_[k - 1].size();
        const size_t whole = k == 0 ? below >> kBaseShift : below >> 1;
        if (k == levels_.size()) {
            // Levels start with their first whole block; the top one holds one.
            if (whole == 0)
                break;
            levels_.emplace_back();
        }
        std::vector<TCodeRange>& level = levels_[k];
        // Reserved in step with the codes, so a growing capture does not
        // double the levels' slack on top of the codes' own.
        const size_t reserve = capacity >> (kBaseShift + k);
        if (level.capacity() < reserve)
            level.reserve(reserve);
        const size_t from = level.size();
        if (from >= whole)
            break;
        level.resize(whole);
        if (k == 0) {
            BuildBlocks(codes_.data(), from, whole, level.data());
        } else {
            const std::vector<TCodeRange>& lower = levels_[k - 1];
            for (size_t b = from; b < whole; ++b) {
                TCodeRange r = lower[2 * b];
                r.Add(lower[2 * b + 1]);
                level[b] = r;
            }
        }
    }
}

TCodeRange TMinMaxPyramid::Range(int64_t first, int64_t last) const
{
    first = std::max<int64_t>(first, 0);
    last = std::min(last, Size());
    return first < last ? RangeOf(codes_.data(), Size(), levels_, first, last) : TCodeRange{};
}

int64_t TMinMaxPyramid::Bytes() const
{
    int64_t bytes = 0;
    for (const std::vector<TCodeRange>& level : levels_)
        bytes += static_cast<int64_t>(level.capacity() * sizeof(TCodeRange));
    return bytes;
}

void QueryColumns(const TMinMaxPyramid& p, std::span<const int64_t> starts, bool joined,
                  std::vector<TCodeRange>& out)
{
    const size_t columns = starts.empty() ? 0 : starts.size() - 1;
    out.resize(columns);
    Columns(p.Codes().data(), p.Size(), p.levels_, starts.data(), columns, joined, out.data());
}

TSpanStats SpanStatistics(const TMinMaxPyramid& p, int64_t first, int64_t last, int32_t gain)
{
    TSpanStats s;
    first = std::max<int64_t>(first, 0);
    last = std::min(last, p.Size());
    if (first >= last)
        return s;
    const TCodeRange r = p.Range(first, last);
    s.samples = last - first;
    s.min = r.min;
    s.max = r.max;
    s.pp = r.max - r.min;
    const TCodeSpread spread = CodeSpread(p.Codes().data() + first, s.samples, r.min);
    s.mean = spread.mean;
    s.sigma = spread.sigma;
    s.ppUv = CodeToMicrovolt(r.max, gain) - CodeToMicrovolt(r.min, gain);
    s.sigmaUv = s.pp == 0 ? 0.0 : s.sigma * (s.ppUv / static_cast<double>(s.pp));
    return s;
}

} // namespace mirantos::trace
