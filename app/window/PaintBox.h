#pragma once
// The graph area of the window and the adapters that let the graph fill the
// window's label controls.

#include "Graph_2ch.h"

#include <QImage>
#include <QLabel>
#include <QRect>
#include <QWidget>

// Shows the graph's last bitmap at its destination rectangle; painting only
// repeats that copy.
class TPaintBox : public QWidget, public IPaintBox {
public:
    explicit TPaintBox(QWidget* parent) : QWidget(parent) {}
    int Left() const override { return x(); }
    int Top() const override { return y(); }
    int Width() const override { return width(); }
    int Height() const override { return height(); }
    void Present(const QImage& image, const QRect& src, const QRect& dest) override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage image_;
    QRect src_;
    QRect dest_;
};

// A window label as the graph sees it: it sizes itself to its text.
class TLabelAdapter : public IGraphLabel {
public:
    explicit TLabelAdapter(QLabel* label) : label_(label) {}
    void SetText(const QString& text) override;
    int Width() const override { return label_->width(); }
    int Height() const override { return label_->height(); }
    void SetLeft(int left) override { label_->move(left, label_->y()); }
    void SetTop(int top) override { label_->move(label_->x(), top); }

private:
    QLabel* label_;
};
