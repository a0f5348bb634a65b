#include "ViewKeys.h"

#include <Qt>

#include <algorithm>

namespace mirantos::trace {

TViewKey ViewKeyOf(int key, bool shift)
{
    switch (key) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        return TViewKey::ZoomIn;
    case Qt::Key_Minus:
    case Qt::Key_Underscore:
        return TViewKey::ZoomOut;
    case Qt::Key_Left:
        return shift ? TViewKey::PageLeft : TViewKey::PanLeft;
    case Qt::Key_Right:
        return shift ? TViewKey::PageRight : TViewKey::PanRight;
    case Qt::Key_PageUp:
        return TViewKey::PageLeft;
    case Qt::Key_PageDown:
        return TViewKey::PageRight;
    case Qt::Key_Home:
        return TViewKey::Start;
    case Qt::Key_End:
        return TViewKey::End;
    case Qt::Key_Backspace:
        return TViewKey::Back;
    default:
        return TViewKey::None;
    }
}

std::optional<TViewX> ApplyViewKey(TViewKey key, const TViewX& v, int64_t samples)
{
    const int tenth = std::max(1, v.width / 10);
    switch (key) {
    case TViewKey::ZoomIn:
        return ZoomAt(v, samples, v.width / 2, kKeyZoom);
    case TViewKey::ZoomOut:
        return ZoomAt(v, samples, v.width / 2, 1 / kKeyZoom);
    // The view moves left: the content moves right.
    case TViewKey::PanLeft:
        return Pan(v, samples, tenth);
    case TViewKey::PanRight:
        return Pan(v, samples, -tenth);
    case TViewKey::PageLeft:
        return Pan(v, samples, v.width);
    case TViewKey::PageRight:
        return Pan(v, samples, -v.width);
    case TViewKey::Start:
        return Clamp({0, v.step, v.width}, samples);
    case TViewKey::End:
        return Clamp({samples * kOne, v.step, v.width}, samples);
    case TViewKey::Back:
    case TViewKey::None:
        break;
    }
    return std::nullopt;
}

} // namespace mirantos::trace
