#pragma once
// Where a window opens: pure geometry, no widgets.

#include <QRect>
#include <QSize>

namespace mirantos {

// Room a window manager's title bar and borders take around a window.
inline constexpr QSize kWindowFrame(16, 48);

// `wanted`, made smaller where the screen's available area (less the frame)
// is smaller, never below `minimum`.
inline QSize FitWindowSize(QSize wanted, QSize minimum, QSize available)
{
    const QSize room = (available - kWindowFrame).expandedTo(QSize(0, 0));
    return wanted.boundedTo(room).expandedTo(minimum);
}

// The top left corner that centres a window of `size` (frame included) in `available`,
// kept inside it where it fits.
inline QPoint CentredIn(QSize size, const QRect& available)
{
    const QSize whole = size + kWindowFrame;
    const int x = available.left() + std::max(0, (available.width() - whole.width()) / 2);
    const int y = available.top() + std::max(0, (available.height() - whole.height()) / 2);
    return {x, y};
}

} // namespace mirantos
