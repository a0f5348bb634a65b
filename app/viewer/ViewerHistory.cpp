// The trace viewer's way back and its keys: every zoom, pan and fit leaves
// the view it came from on the history, "戻る" and Backspace return to it;
// the other keys are trace/ViewKeys.h's view changes.

#include "TraceViewerWindow.h"

#include "ViewKeys.h"

#include <QKeyEvent>

namespace mirantos {

using namespace trace;

void TTraceViewerWindow::Remember()
{
    history_.Push({view_.x, view_.y, yAuto_});
}

void TTraceViewerWindow::BackClick()
{
    const auto back = history_.Pop();
    if (!back)
        return;
    yAuto_ = back->yAuto;
    view_.y = back->y;
    Show(back->x);
}

void TTraceViewerWindow::keyPressEvent(QKeyEvent* event)
{
    const TViewKey key = ViewKeyOf(event->key(), event->modifiers() & Qt::ShiftModifier);
    if (key == TViewKey::None) {
        QWidget::keyPressEvent(event);
        return;
    }
    if (key == TViewKey::Back) {
        BackClick();
    } else if (const auto x = ApplyViewKey(key, view_.x, data_.Samples()); x && !data_.Empty()) {
        Remember();
        Show(*x);
    }
    event->accept();
}

} // namespace mirantos
