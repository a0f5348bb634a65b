#include "TraceCursors.h"

#include "MeasureRecord.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace mirantos::trace {

TSampleSpan CursorSpan(int64_t a, int64_t b)
{
    return {std::min(a, b), std::max(a, b) + 1};
}

int64_t SampleAtColumn(const TViewX& v, int64_t samples, int x)
{
    if (samples <= 0)
        return 0;
    return std::clamp<int64_t>(ColumnStart(v, x), 0, samples - 1);
}

std::optional<int> CursorNear(const TViewX& v, const TCursorPair& cursors, int x, int tolerance)
{
    std::optional<int> best;
    int64_t bestDistance = 0;
    for (int c = 0; c < 2; ++c) {
        if (!cursors[static_cast<size_t>(c)])
            continue;
        const int64_t d = std::abs(ColumnOfSample(v, *cursors[static_cast<size_t>(c)]) - x);
        if (d <= tolerance && (!best || d < bestDistance)) {
            best = c;
            bestDistance = d;
        }
    }
    return best;
}

TCursorReadout ReadCursors(const TTraceData& data, int64_t a, int64_t b)
{
    TCursorReadout r;
    r.a = a;
    r.b = b;
    const double rate = data.RateSps();
    r.dtSeconds = SampleSeconds(b, rate) - SampleSeconds(a, rate);
    r.inverseHz = r.dtSeconds != 0 ? 1 / std::abs(r.dtSeconds) : 0;
    r.span = CursorSpan(a, b);
    for (int c = 0; c < 2; ++c) {
        TCursorChannel& ch = r.channel[static_cast<size_t>(c)];
        ch.held = data.Holds(c);
        if (!ch.held)
            continue;
        const auto& codes = data.Channel(c).Codes();
        const uint32_t ca = codes[static_cast<size_t>(a)];
        const uint32_t cb = codes[static_cast<size_t>(b)];
        ch.deltaCode = static_cast<int64_t>(cb) - static_cast<int64_t>(ca);
        ch.deltaUv = CodeToMicrovolt(cb, data.Gain()) - CodeToMicrovolt(ca, data.Gain());
        ch.stats = SpanStatistics(data.Channel(c), r.span.first, r.span.last, data.Gain());
        // The mean lies between the span's extremes; microvolts are linear in the code.
        const double lowUv = CodeToMicrovolt(ch.stats.min, data.Gain());
        const double perCode =
            ch.stats.pp != 0 ? (CodeToMicrovolt(ch.stats.max, data.Gain()) - lowUv) / ch.stats.pp
                             : 0;
        ch.meanUv = lowUv + (ch.stats.mean - ch.stats.min) * perCode;
    }
    return r;
}

} // namespace mirantos::trace
