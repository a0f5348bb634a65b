#pragma once
// One channel's codes and their min/max pyramid: level k holds the smallest
// and largest code of every whole block of 32 << k samples (level 0: 32
// samples, each level above pairs two blocks of the one below). Only whole
// blocks are kept, so appending samples adds blocks at the tail of each level
// and touches nothing before. The pyramid takes 8 bytes per 32 samples at
// level 0 and half as much at each level above: under 2 * 8 / 32 = 0.5 bytes
// a sample, 12.5 % on top of the 4-byte codes (reserved along with the codes'
// capacity).
//
// A range query is exact: the samples before the first and after the last
// whole block are read raw, the blocks between are taken from the highest
// level that fits (at most two blocks per level), so any range costs at most
// two partial blocks of raw samples and two blocks per level.

#include <cstdint>
#include <span>
#include <vector>

namespace mirantos::trace {

// min > max: no samples.
struct TCodeRange {
    uint32_t min = 0xFFFFFFFFu;
    uint32_t max = 0;
    bool Empty() const { return min > max; }
    void Add(const TCodeRange& o)
    {
        min = o.min < min ? o.min : min;
        max = o.max > max ? o.max : max;
    }
    bool operator==(const TCodeRange&) const = default;
};

// Smallest and largest of codes[0..n), compared unsigned.
TCodeRange ScanRange(const uint32_t* codes, int64_t n);

class TMinMaxPyramid {
public:
    static constexpr int kBaseShift = 5; // level-0 block: 32 samples

    TMinMaxPyramid() = default;
    // Built once over a whole record (a file just read); the codes are kept.
    explicit TMinMaxPyramid(std::vector<uint32_t> codes);

    // More samples at the end (a capture growing): only the tail is updated.
    void Append(std::span<const uint32_t> codes);

    const std::vector<uint32_t>& Codes() const { return codes_; }
    int64_t Size() const { return static_cast<int64_t>(codes_.size()); }

    // Exact extremes of samples first <= i < last, clipped to the record.
    TCodeRange Range(int64_t first, int64_t last) const;

    int LevelCount() const { return static_cast<int>(levels_.size()); }
    const std::vector<TCodeRange>& Level(int k) const { return levels_[static_cast<size_t>(k)]; }
    // Bytes the levels hold (their capacity); the codes are not counted.
    int64_t Bytes() const;

private:
    friend void QueryColumns(const TMinMaxPyramid&, std::span<const int64_t>, bool,
                             std::vector<TCodeRange>&);
    void Extend();

    std::vector<uint32_t> codes_;
    std::vector<std::vector<TCodeRange>> levels_;
};

// Column x's extremes for columns of samples starts[x] <= i < starts[x + 1]
// (starts as ColumnStarts gives them, out gets starts.size() - 1 entries).
// `joined` adds the sample before a non-empty column's first one (when there
// is one): the step from the previous column's last sample into this one, so
// neighbouring columns overlap and the drawn trace has no gaps.
void QueryColumns(const TMinMaxPyramid& p, std::span<const int64_t> starts, bool joined,
                  std::vector<TCodeRange>& out);

// Figures of the samples first <= i < last (clipped). sigma is the population
// standard deviation, sqrt(sum (c - mean)^2 / n), from CodeSpread as the
// noise analysis's rms (TNoiseFigures::rmsCode), so over the same samples both
// give the same number. The microvolt figures go through the converter
// (CodeToMicrovolt): ppUv is the microvolts of max less those of min, sigmaUv
// sigma times the converter's slope ppUv / pp (0 when pp is 0).
struct TSpanStats {
    int64_t samples = 0;
    uint32_t min = 0;
    uint32_t max = 0;
    uint32_t pp = 0;
    double mean = 0;
    double sigma = 0;
    double ppUv = 0;
    double sigmaUv = 0;
};
TSpanStats SpanStatistics(const TMinMaxPyramid& p, int64_t first, int64_t last, int32_t gain);

} // namespace mirantos::trace
