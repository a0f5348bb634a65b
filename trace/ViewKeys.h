#pragma once
// The trace viewer's keys as changes of the X view, free of widgets:
//   + (or =)  zoom in around the middle        -  zoom out
//   Left / Right       pan a tenth of the width (with Shift, or PageUp /
//                      PageDown, a whole width)
//   Home / End         the record's start / end at the same zoom
//   Backspace          back to the previous view (the window's history)
// Keys are Qt's key codes (Qt::Key).

#include "TraceView.h"

#include <cstdint>
#include <optional>

namespace mirantos::trace {

enum class TViewKey {
    None,
    ZoomIn,
    ZoomOut,
    PanLeft,
    PanRight,
    PageLeft,
    PageRight,
    Start,
    End,
    Back
};

// Zooming by a key doubles or halves the samples per column.
inline constexpr double kKeyZoom = 2.0;

TViewKey ViewKeyOf(int key, bool shift);

// The view after `key` (not Back nor None, which change no view here).
std::optional<TViewX> ApplyViewKey(TViewKey key, const TViewX& v, int64_t samples);

} // namespace mirantos::trace
