#pragma once
// The trace viewer's crosshair and its two time cursors: the buttons that
// place them, the mouse that places (Ctrl+click) and drags them, the lines on
// the picture and the readout between them (trace/'s ReadCursors).

#include "TraceCursors.h"

#include <QObject>
#include <QPoint>
#include <QString>

#include <optional>

class QLabel;
class QPainter;
class QPushButton;
class QWidget;

namespace mirantos {

class TTraceViewerWindow;

class TViewerCursors : public QObject {
public:
    // A press this many columns from a cursor's line grabs it.
    static constexpr int kGrab = 4;

    explicit TViewerCursors(TTraceViewerWindow* window);

    QPushButton* ButtonA() const { return placeA_; }
    QPushButton* ButtonB() const { return placeB_; }
    QPushButton* ClearButton() const { return clear_; }
    QLabel* Readout() const { return readout_; }

    // Cursor 0 (A) or 1 (B) at sample i of the record.
    void Place(int cursor, int64_t sample);
    // The buttons: A at a third of the visible span, B at two thirds.
    void PlaceInView(int cursor);
    void Clear();
    const trace::TCursorPair& Cursors() const { return cursors_; }
    // The samples between the cursors when both are set.
    std::optional<trace::TSampleSpan> Span() const;

    // The mouse on the canvas; true when the cursors took it (a Ctrl+click,
    // or a press on a cursor's line and the drag after it).
    bool Press(QPoint pos, Qt::MouseButton button, Qt::KeyboardModifiers mods);
    bool Move(QPoint pos);
    bool Release();

    // The crosshair at the sample under the mouse (when inside) and the lines.
    void Paint(QPainter& p, const QPoint* mouse) const;
    // The readout for the record and view as they are now.
    void Refresh();
    QString Text() const;

private:
    int ColumnOf(int64_t sample) const;

    TTraceViewerWindow* window_;
    trace::TCursorPair cursors_;
    std::optional<int> dragging_;
    QPushButton* placeA_ = nullptr;
    QPushButton* placeB_ = nullptr;
    QPushButton* clear_ = nullptr;
    QLabel* readout_ = nullptr;
};

} // namespace mirantos
