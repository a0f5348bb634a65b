#pragma once
// The window's graph area without a window: a paint box placed where the
// window has it (kPaintBoxLeft, kPaintBoxTop in its parent), eleven Y labels and two X
// labels that measure their texts with the window's label font, and the
// pictures made from them.

#include "GraphLabels.h"
#include "Graph_2ch.h"
#include "MeasureSession.h"

#include <QFont>
#include <QImage>
#include <QSize>
#include <QStringList>
#include <array>
#include <memory>

namespace mirantos::cli {

using mirantos::kPaintBoxHeight;
using mirantos::kPaintBoxLeft;
using mirantos::kPaintBoxTop;
using mirantos::kPaintBoxWidth;
// Room left around the graph area in a rendered picture.
inline constexpr int kPictureMargin = 8;

// The paint box keeps the last picture presented to it.
class TOffscreenPaintBox : public IPaintBox {
public:
    explicit TOffscreenPaintBox(QSize size) : size_(size) {}
    int Left() const override { return kPaintBoxLeft; }
    int Top() const override { return kPaintBoxTop; }
    int Width() const override { return size_.width(); }
    int Height() const override { return size_.height(); }
    void Present(const QImage& image, const QRect& src, const QRect& dest) override;

    // What the paint box shows inside its frame: the copied part of the bitmap.
    const QImage& Shown() const { return shown_; }
    // Where that part sits in the paint box.
    QPoint ShownAt() const { return dest_.topLeft(); }

private:
    QSize size_;
    QImage shown_;
    QRect dest_;
};

// The window's label font: 12-pixel Japanese proportional Gothic.
QFont LabelFont();
// A label's size for a text, as a self-sizing label of that font takes it.
QSize LabelSize(const QFont& font, const QString& text);

// The surfaces the session's graph draws on; the pictures are made from what
// it left there.
class TGraphView {
public:
    explicit TGraphView(QSize paintBoxSize);
    TGraphView(const TGraphView&) = delete;
    TGraphView& operator=(const TGraphView&) = delete;

    // Hands the paint box and the labels to a session.
    void Attach(mirantos::TSessionParts& parts);

    // The graph area as the window shows it: the paint box's parent from its
    // origin to just past the plot and its labels, in the window's colour, the
    // bitmap at (1, 1) of the paint box, the label texts at their placements.
    QImage Picture() const;
    // Just the bitmap.
    QImage Bitmap() const;
    // The eleven Y-label texts top to bottom, then the two X-label texts.
    QStringList AxisTexts() const;

private:
    QFont font_;
    TOffscreenPaintBox paintBox_;
    std::array<std::unique_ptr<TMeasuredLabel>, kYLabelCount> yLabels_;
    std::array<std::unique_ptr<TMeasuredLabel>, kXLabelCount> xLabels_;
};

} // namespace mirantos::cli
