#pragma once
// A label that is only data: it measures its text with a given function and
// remembers text, left and top. The command-line renderer hands these to the
// graph and then draws the texts beside the image; tests use them with a fixed
// size. The window uses real label widgets instead.

#include "GraphScale.h"
#include "Graph_2ch.h"

namespace mirantos {

class TMeasuredLabel : public IGraphLabel {
public:
    explicit TMeasuredLabel(MeasureText measure);

    void SetText(const QString& text) override;
    int Width() const override { return size_.width(); }
    int Height() const override { return size_.height(); }
    void SetLeft(int left) override { placement_.left = left; }
    void SetTop(int top) override { placement_.top = top; }

    const LabelPlacement& Placement() const { return placement_; }

private:
    MeasureText measure_;
    QSize size_;
    LabelPlacement placement_;
};

} // namespace mirantos
