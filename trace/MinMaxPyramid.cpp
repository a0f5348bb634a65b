#include "MinMaxPyramid.h"

#include "MeasureRecord.h"

#include <algorithm>
#include <cmath>

namespace mirantos::trace {

TCodeRange ScanRange(const uint32_t* codes, int64_t n)
{
    uint32_t lo = 0xFFFFFFFFu;
    uint32_t hi = 0;
    for (int64_t i = 0; i < n; ++i) {
        lo = std::min(lo, codes[i]);
        hi = std::max(hi, codes[i]);
    }
    return {lo, hi};
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
            constexpr size_t block = size_t{1} << kBaseShift;
            for (size_t b = from; b < whole; ++b)
                level[b] = ScanRange(codes_.data() + b * block, block);
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
    if (last - first < (int64_t{2} << kBaseShift))
        return first < last ? ScanRange(codes_.data() + first, last - first) : TCodeRange{};
    constexpr int64_t block = int64_t{1} << kBaseShift;
    const int64_t a = (first + block - 1) >> kBaseShift;
    const int64_t b = last >> kBaseShift;
    TCodeRange r = ScanRange(codes_.data() + first, (a << kBaseShift) - first);
    r.Add(ScanRange(codes_.data() + (b << kBaseShift), last - (b << kBaseShift)));
    // Blocks a <= j < b of level 0, then up the levels like a bottom-up
    // segment tree: an odd left end or right end is taken here, the rest
    // pairs up into the level above.
    size_t i = static_cast<size_t>(a);
    size_t j = static_cast<size_t>(b);
    for (size_t k = 0; k < levels_.size() && i < j; ++k) {
        const std::vector<TCodeRange>& level = levels_[k];
        if (k + 1 == levels_.size()) {
            for (; i < j; ++i)
                r.Add(level[i]);
            break;
        }
        if (i & 1)
            r.Add(level[i++]);
        if (j & 1)
            r.Add(level[--j]);
        i >>= 1;
        j >>= 1;
    }
    return r;
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
    const int64_t n = p.Size();
    for (size_t x = 0; x < columns; ++x) {
        int64_t first = std::min(starts[x], n);
        const int64_t last = std::min(starts[x + 1], n);
        if (joined && first > 0 && first < last)
            --first;
        out[x] = p.Range(first, last);
    }
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
    const uint32_t* c = p.Codes().data();
    uint64_t sum = 0;
    for (int64_t i = first; i < last; ++i)
        sum += c[i] - r.min;
    const double n = static_cast<double>(s.samples);
    const double meanOffset = static_cast<double>(sum) / n;
    double squares = 0.0;
    for (int64_t i = first; i < last; ++i) {
        const double d = static_cast<double>(c[i] - r.min) - meanOffset;
        squares += d * d;
    }
    s.mean = static_cast<double>(r.min) + meanOffset;
    s.sigma = std::sqrt(squares / n);
    s.ppUv = CodeToMicrovolt(r.max, gain) - CodeToMicrovolt(r.min, gain);
    s.sigmaUv = s.pp == 0 ? 0.0 : s.sigma * (s.ppUv / static_cast<double>(s.pp));
    return s;
}

} // namespace mirantos::trace
