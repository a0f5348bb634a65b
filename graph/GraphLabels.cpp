#include "GraphLabels.h"

#include <utility>

namespace mirantos {

TMeasuredLabel::TMeasuredLabel(MeasureText measure) : measure_(std::move(measure)) {}

void TMeasuredLabel::SetText(const QString& text)
{
    placement_.text = text;
    size_ = measure_ ? measure_(text) : QSize();
}

} // namespace mirantos
