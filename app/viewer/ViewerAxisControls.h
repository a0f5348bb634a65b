#pragma once
// The trace viewer's axis controls, beside its record information: the
// vertical placement (共通 / チャンネル別 / AC), "Y軸合わせ" (also the Y key)
// and the time axis (経過時間 / 時刻, the latter only for a record with a
// start time). Also the size rule of the viewer's readout labels.

#include "TraceLanes.h"

#include <functional>

class QComboBox;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QWidget;

namespace mirantos {

class TViewerAxisControls {
public:
    struct TActions {
        std::function<void(trace::TYLayout)> layout;
        std::function<void()> fitY;
        std::function<void(bool)> wallClock;
    };
    // The controls go to the end of `row`; the Y key works in all of `window`.
    TViewerAxisControls(QWidget* window, QHBoxLayout* row, TActions actions);

    // What the shown record allows (anything held, a start time for the time
    // of day) and the view's choices.
    void Update(bool held, bool hasStart, trace::TYLayout layout, bool wallClock);

private:
    TActions actions_;
    QComboBox* layout_ = nullptr;
    QPushButton* fitY_ = nullptr;
    QComboBox* time_ = nullptr;
};

// A readout label that never asks its window for room: any width (its text
// clipped at the right), always `lines` lines high, whatever its text.
void KeepReadoutSize(QLabel* label, int lines);

} // namespace mirantos
