#include "StatusBarWidget.h"

#include <QFontMetrics>
#include <QLabel>
#include <QMouseEvent>

TStatusBarWidget::TStatusBarWidget(QWidget* parent) : QStatusBar(parent)
{
    setSizeGripEnabled(false);
    for (Panel& panel : panels_) {
        auto* label = new QLabel(this);
        label->setFixedWidth(InitialPanelWidth);
        label->setTextFormat(Qt::PlainText);
        // The bar, not the label, takes the click, wherever it lands.
        label->setAttribute(Qt::WA_TransparentForMouseEvents);
        addWidget(label);
        panel.label = label;
    }
    progressTimer_.setSingleShot(true);
    connect(&progressTimer_, &QTimer::timeout, this, [this] { ShowDue(); });
}

TStatusBarWidget::Panel* TStatusBarWidget::At(int index)
{
    if (index < 0 || index >= PanelCount)
        return nullptr;
    return &panels_[static_cast<size_t>(index)];
}

const TStatusBarWidget::Panel* TStatusBarWidget::At(int index) const
{
    if (index < 0 || index >= PanelCount)
        return nullptr;
    return &panels_[static_cast<size_t>(index)];
}

void TStatusBarWidget::Show(Panel& panel)
{
    panel.label->setText(panel.text);
    panel.label->setFixedWidth(panel.width);
    panel.due = false;
    panel.shown.start();
}

void TStatusBarWidget::ShowDue()
{
    for (Panel& panel : panels_) {
        if (panel.due)
            Show(panel);
    }
}

void TStatusBarWidget::SetPanelText(int index, const QString& text)
{
    // Shown at once; a progress text still waiting for its turn is overtaken.
    if (Panel* panel = At(index)) {
        panel->text = text;
        Show(*panel);
    }
}

void TStatusBarWidget::SetPanelWidth(int index, int width)
{
    if (Panel* panel = At(index)) {
        panel->width = width < 0 ? 0 : width;
        // A progress text on its way takes its width along when it is shown.
        if (!panel->due)
            panel->label->setFixedWidth(panel->width);
    }
}

void TStatusBarWidget::SetProgressText(int index, const QString& text, int width)
{
    Panel* panel = At(index);
    if (panel == nullptr)
        return;
    panel->text = text;
    panel->width = width < 0 ? 0 : width;
    panel->due = true;
    const qint64 since = panel->shown.isValid() ? panel->shown.elapsed() : ProgressPeriodMs;
    if (since >= ProgressPeriodMs) {
        Show(*panel);
        return;
    }
    if (!progressTimer_.isActive())
        progressTimer_.start(static_cast<int>(ProgressPeriodMs - since));
}

int TStatusBarWidget::TextWidth(const QString& text) const
{
    return QFontMetrics(font()).horizontalAdvance(text);
}

QString TStatusBarWidget::PanelText(int index) const
{
    const Panel* panel = At(index);
    return panel != nullptr ? panel->text : QString();
}

int TStatusBarWidget::PanelWidth(int index) const
{
    // The fixed width, which the layout applies once the bar is shown.
    const Panel* panel = At(index);
    return panel != nullptr ? panel->width : 0;
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
