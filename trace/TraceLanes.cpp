#include "TraceLanes.h"

#include <algorithm>
#include <cmath>

namespace mirantos::trace {

namespace {

uint32_t Saturate(int64_t code)
{
    return static_cast<uint32_t>(std::clamp<int64_t>(code, 0, int64_t{0xFFFFFFFF}));
}

} // namespace

TLane LaneOf(int height, int count, int k)
{
    count = std::max(count, 1);
    k = std::clamp(k, 0, count - 1);
    const int usable = std::max(height - (count - 1) * kLaneGap, count);
    const int each = usable / count;
    const int top = k * (each + kLaneGap);
    const int rows = k == count - 1 ? usable - each * (count - 1) : each;
    return TLane{top, std::max(rows, 1)};
}

int LaneAt(int height, int count, int y)
{
    for (int k = 0; k + 1 < std::max(count, 1); ++k) {
        const TLane lane = LaneOf(height, count, k);
        // Down to the middle of the gap below it.
        if (y < lane.top + lane.height + kLaneGap / 2)
            return k;
    }
    return std::max(count, 1) - 1;
}

double MeanOf(std::span<const uint32_t> codes)
{
    if (codes.empty())
        return 0;
    // 2^31 samples of 2^32 - 1 still fit 63 bits.
    uint64_t sum = 0;
    for (const uint32_t c : codes)
        sum += c;
    return static_cast<double>(sum) / static_cast<double>(codes.size());
}

uint32_t AcCentre(double mean)
{
    if (!std::isfinite(mean))
        return kAcBase;
    return Saturate(static_cast<int64_t>(std::floor(std::clamp(mean, 0.0, 4294967295.0) + 0.5)));
}

TViewY AcAutoY(std::span<const TAcChannel> channels, int height)
{
    if (channels.empty())
        return AutoY(kAcBase, kAcBase, height);
    int64_t low = INT64_MAX;
    int64_t high = INT64_MIN;
    for (const TAcChannel& c : channels) {
        low = std::min(low, int64_t{c.min} - int64_t{c.centre});
        high = std::max(high, int64_t{c.max} - int64_t{c.centre});
    }
    return AutoY(Saturate(int64_t{kAcBase} + low), Saturate(int64_t{kAcBase} + high), height);
}

TViewY AcChannelY(const TViewY& deviations, uint32_t centre)
{
    const int64_t shift = int64_t{centre} - int64_t{kAcBase};
    return TViewY{Saturate(deviations.low + shift), Saturate(deviations.high + shift),
                  deviations.height};
}

} // namespace mirantos::trace
