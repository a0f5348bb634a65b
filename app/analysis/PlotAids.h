#pragma once
// What makes the noise plots readable at any size, decided when the plot is
// laid out (the window's replot, a picture's or a page's toPainter): log axes
// labelled in every decade of the data, a legend in the corner free of data,
// the 0.1-10 Hz interval labels kept apart and inside, and the reason a
// figure is missing written where it would be. The decisions themselves are
// in PlotGeometry.h.

#include <QString>

class QCPAxis;
class QCPItemText;
class QCustomPlot;

namespace mirantos {

// The axis on a log scale with labels at each decade and, where they fit, its 2 and 5.
void SetLogAxis(QCPAxis& axis);

// Replaces the plot's legend (once) by one that, at each layout, moves to the
// emptiest corner of the axis rect and arranges the interval labels.
void UseArrangedLegend(QCustomPlot& plot);

// A label the layout keeps inside the plot and clear of the others (dropped
// when there is no room): wanted centred above (key, value).
void ArrangeLabel(QCustomPlot& plot, QCPItemText* label, double key, double value);

// The reason in the middle of the axis rect, instead of empty axes.
void ShowPlotReason(QCustomPlot& plot, const QString& reason);

// Forgets the arranged labels (their items are gone with clearItems).
void ForgetArrangedLabels(QCustomPlot& plot);

} // namespace mirantos
