#pragma once
// The trace viewer's two time cursors as plain arithmetic: where a cursor
// sits on the picture, which one a click grabs, and what the readout between
// them says (time apart, its inverse, each channel's step and the span's
// statistics, the same figures as the visible span's readout).

#include "TraceData.h"
#include "TraceView.h"

#include <array>
#include <cstdint>
#include <optional>

namespace mirantos::trace {

// Cursor A and B: a sample index each, or none.
using TCursorPair = std::array<std::optional<int64_t>, 2>;

// The samples between two cursors, both included: [min, max + 1).
TSampleSpan CursorSpan(int64_t a, int64_t b);

// The sample under column x of the plot (the column's first), within the record.
int64_t SampleAtColumn(const TViewX& v, int64_t samples, int x);

// The cursor (0 A, 1 B) whose column lies within `tolerance` columns of x,
// the nearer one when both do (A on a tie); none when neither does.
std::optional<int> CursorNear(const TViewX& v, const TCursorPair& cursors, int x, int tolerance);

struct TCursorChannel {
    bool held = false;
    int64_t deltaCode = 0; // code at B minus code at A
    double deltaUv = 0;    // the same in microvolts
    TSpanStats stats;      // of the samples between them
    double meanUv = 0;
};

struct TCursorReadout {
    int64_t a = 0;
    int64_t b = 0;
    double dtSeconds = 0; // B's time minus A's
    double inverseHz = 0; // 1 / |dt|; 0 when the cursors coincide
    TSampleSpan span;     // samples between them, both included
    std::array<TCursorChannel, 2> channel;
};

// The readout of cursors at samples a and b (within the record).
TCursorReadout ReadCursors(const TTraceData& data, int64_t a, int64_t b);

} // namespace mirantos::trace
