#include "PaintBox.h"

#include <QPainter>

void TPaintBox::Present(const QImage& image, const QRect& src, const QRect& dest)
{
    image_ = image;
    src_ = src;
    dest_ = dest;
    update();
}

void TPaintBox::paintEvent(QPaintEvent*)
{
    if (image_.isNull())
        return;
    QPainter painter(this);
    painter.drawImage(dest_.topLeft(), image_, src_);
}

void TLabelAdapter::SetText(const QString& text)
{
    label_->setText(text);
    label_->adjustSize();
}
