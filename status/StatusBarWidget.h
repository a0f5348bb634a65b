#pragma once
// The main window's status bar: three panels (board, run, detail), 50 px wide
// until TmyStatus writes them, no size grip, and clicked() for a click anywhere
// on the bar.

#include "Mystatus.h"

#include <QStatusBar>
#include <array>

class QLabel;

class TStatusBarWidget : public QStatusBar, public IStatusPanels {
    Q_OBJECT
public:
    static constexpr int PanelCount = 3;
    static constexpr int InitialPanelWidth = 50;

    explicit TStatusBarWidget(QWidget* parent = nullptr);

    // IStatusPanels; an index outside 0..PanelCount-1 is ignored.
    void SetPanelText(int index, const QString& text) override;
    void SetPanelWidth(int index, int width) override;
    // Measured with the bar's own font.
    int TextWidth(const QString& text) const override;

    // The panel's text and fixed width; an index outside the panels gives an
    // empty text and width 0.
    QString PanelText(int index) const;
    int PanelWidth(int index) const;

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QLabel* Panel(int index) const;

    std::array<QLabel*, PanelCount> panels_{};
    bool pressed_ = false;
};
