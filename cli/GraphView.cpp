#include "GraphView.h"

#include "UiFont.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <algorithm>

namespace mirantos::cli {

namespace {

// Alignment of the window's labels: left, vertically centred, tabs expanded.
constexpr int kLabelFlags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextExpandTabs;
constexpr int kLabelPixels = 12;

} // namespace

void TOffscreenPaintBox::Present(const QImage& image, const QRect& src, const QRect& dest)
{
    shown_ = image.copy(src);
    dest_ = dest;
}

QFont LabelFont()
{
    QFont font = mirantos::UiFont(kLabelPixels);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

QSize LabelSize(const QFont& font, const QString& text)
{
    const QFontMetrics fm(font);
    return fm.boundingRect(QRect(0, 0, 2000, 2000), kLabelFlags, text).size();
}

TGraphView::TGraphView(QSize paintBoxSize) : font_(LabelFont()), paintBox_(paintBoxSize)
{
    const QFont font = font_;
    const MeasureText measure = [font](const QString& text) { return LabelSize(font, text); };
    for (auto& l : yLabels_)
        l = std::make_unique<TMeasuredLabel>(measure);
    for (auto& l : xLabels_)
        l = std::make_unique<TMeasuredLabel>(measure);
}

void TGraphView::Attach(mirantos::TSessionParts& parts)
{
    parts.PaintBox = &paintBox_;
    for (size_t i = 0; i < yLabels_.size(); ++i)
        parts.YLabels[i] = yLabels_[i].get();
    for (size_t i = 0; i < xLabels_.size(); ++i)
        parts.XLabels[i] = xLabels_[i].get();
}

QImage TGraphView::Bitmap() const
{
    return paintBox_.Shown();
}

QStringList TGraphView::AxisTexts() const
{
    QStringList texts;
    for (const auto& l : yLabels_)
        texts << l->Placement().text;
    for (const auto& l : xLabels_)
        texts << l->Placement().text;
    return texts;
}

QImage TGraphView::Picture() const
{
    struct Item {
        QRect rect;
        QString text;
    };
    std::vector<Item> labels;
    auto add = [&labels](const TMeasuredLabel& l) {
        labels.push_back(
            {QRect(QPoint(l.Placement().left, l.Placement().top), QSize(l.Width(), l.Height())),
             l.Placement().text});
    };
    for (const auto& l : yLabels_)
        add(*l);
    for (const auto& l : xLabels_)
        add(*l);

    const QRect box(paintBox_.Left(), paintBox_.Top(), paintBox_.Width(), paintBox_.Height());
    // The picture starts at the parent's origin; a label pushed further left or
    // up (a very long text) widens it on that side instead of being cut.
    QRect area = box;
    for (const Item& it : labels) {
        if (!it.text.isEmpty())
            area = area.united(it.rect);
    }
    const int left = std::min(0, area.left());
    const int top = std::min(0, area.top());
    const int right = area.right() + kPictureMargin;
    const int bottom = area.bottom() + kPictureMargin;

    QImage picture(right - left + 1, bottom - top + 1, QImage::Format_RGB32);
    const QPalette palette = QGuiApplication::palette();
    picture.fill(palette.color(QPalette::Window));

    QPainter painter(&picture);
    painter.translate(-left, -top);
    const QImage& shown = paintBox_.Shown();
    if (!shown.isNull())
        painter.drawImage(box.topLeft() + paintBox_.ShownAt(), shown);
    painter.setFont(font_);
    painter.setPen(palette.color(QPalette::WindowText));
    for (const Item& it : labels)
        painter.drawText(it.rect, kLabelFlags, it.text);
    painter.end();
    return picture;
}

} // namespace mirantos::cli
