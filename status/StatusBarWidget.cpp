#include "StatusBarWidget.h"

#include <QFontMetrics>
#include <QLabel>
#include <QMouseEvent>

TStatusBarWidget::TStatusBarWidget(QWidget* parent) : QStatusBar(parent)
{
    setSizeGripEnabled(false);
    for (int i = 0; i < PanelCount; ++i) {
        auto* label = new QLabel(this);
        label->setFixedWidth(InitialPanelWidth);
        label->setTextFormat(Qt::PlainText);
        // The bar, not the label, takes the click, wherever it lands.
        label->setAttribute(Qt::WA_TransparentForMouseEvents);
        addWidget(label);
        panels_[static_cast<size_t>(i)] = label;
    }
}

QLabel* TStatusBarWidget::Panel(int index) const
{
    if (index < 0 || index >= PanelCount)
        return nullptr;
    return panels_[static_cast<size_t>(index)];
}

void TStatusBarWidget::SetPanelText(int index, const QString& text)
{
    if (QLabel* label = Panel(index))
        label->setText(text);
}

void TStatusBarWidget::SetPanelWidth(int index, int width)
{
    if (QLabel* label = Panel(index))
        label->setFixedWidth(width < 0 ? 0 : width);
}

int TStatusBarWidget::TextWidth(const QString& text) const
{
    return QFontMetrics(font()).horizontalAdvance(text);
}

QString TStatusBarWidget::PanelText(int index) const
{
    const QLabel* label = Panel(index);
    return label != nullptr ? label->text() : QString();
}

int TStatusBarWidget::PanelWidth(int index) const
{
    const QLabel* label = Panel(index);
    // The fixed width, which the layout applies once the bar is shown.
    return label != nullptr ? label->minimumWidth() : 0;
}

void TStatusBarWidget::mousePressEvent(QMouseEvent* event)
{
    pressed_ = event->button() == Qt::LeftButton;
    QStatusBar::mousePressEvent(event);
}

void TStatusBarWidget::mouseReleaseEvent(QMouseEvent* event)
{
    // A click is a left press and release on the bar, as with a push button.
    const bool click = pressed_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    pressed_ = false;
    QStatusBar::mouseReleaseEvent(event);
    if (click)
        emit clicked();
}
