#pragma once
// The main window's status bar: three panels (board, run, detail), 50 px wide
// until TmyStatus writes them, no size grip, and clicked() for a click anywhere
// on the bar. Progress texts arrive up to 100 times a second; a panel shows them
// at most every ProgressPeriodMs, always ending on the newest one.

#include "Mystatus.h"

#include <QElapsedTimer>
#include <QStatusBar>
#include <QTimer>
#include <array>

class QLabel;

class TStatusBarWidget : public QStatusBar, public IStatusPanels {
    Q_OBJECT
public:
    static constexpr int PanelCount = 3;
    static constexpr int InitialPanelWidth = 50;
    // About 30 repaints a second: the eye cannot follow more.
    static constexpr int ProgressPeriodMs = 33;

    explicit TStatusBarWidget(QWidget* parent = nullptr);

    // IStatusPanels; an index outside 0..PanelCount-1 is ignored.
    void SetPanelText(int index, const QString& text) override;
    void SetPanelWidth(int index, int width) override;
    // Measured with the bar's own font.
    int TextWidth(const QString& text) const override;
    // Shown at once when the panel has not changed for ProgressPeriodMs,
    // otherwise when that period is over (unless another text replaced it).
    void SetProgressText(int index, const QString& text, int width) override;

    // The text and fixed width last set, whether already on screen or due at
    // the panel's next progress repaint; an index outside the panels gives an
    // empty text and width 0.
    QString PanelText(int index) const;
    int PanelWidth(int index) const;

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    struct Panel {
        QLabel* label = nullptr;
        QString text;
        int width = InitialPanelWidth;
        bool due = false; // text or width not yet on screen
        QElapsedTimer shown;
    };

    Panel* At(int index);
    const Panel* At(int index) const;
    void Show(Panel& panel);
    void ShowDue();

    std::array<Panel, PanelCount> panels_{};
    QTimer progressTimer_;
    bool pressed_ = false;
};
