#pragma once
// The plots' layout decisions, free of widgets so they can be checked on
// their own: which log-axis ticks carry labels, the offset axis of a
// histogram far from zero, the data-free corner for a legend, where the
// interval labels go without colliding. Pixel rectangles are in the plot's
// own coordinates (y down).

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <optional>
#include <vector>

namespace mirantos::plotgeometry {

// Ticks of a log axis over [lo, hi]: labelled ones and the unlabelled
// 1..9 x 10^k between them.
struct TLogTicks {
    std::vector<double> ticks;
    std::vector<QString> labels;
    std::vector<double> subTicks;
};
// Every decade in the range is labelled; its 2 and 5 as well while no more
// than `maxLabels` labels result; a range with fewer than three labels gets
// 1..9 (and then tenths) where they fit.
TLogTicks LogTicks(double lo, double hi, int maxLabels);
// A log tick's label: plain decimals, a power of ten written 1e5 / 2e-5 beyond them.
QString LogTickLabel(double value);

// [lo, hi] widened on a log scale by `fraction` of its decades on each side
// (a single value gets half a decade each way), so no point sits on the frame.
std::pair<double, double> PadLogRange(double lo, double hi, double fraction);

// The value with digits grouped by threes with spaces, to `decimals` places: "1 234 567.8".
QString GroupedNumber(double value, int decimals);
// Decimals that tell numbers `step` apart (0 for steps of 1 and more).
int DecimalsFor(double step);

// The legend's corner: the first of top right, top left, bottom right, bottom
// left (each `margin` inside `area`) whose box crosses no drawn segment;
// where every corner is crossed, the one crossed by the fewest.
struct TPolyline {
    std::vector<QPointF> points; // a gap (NaN) breaks the line
};
QRectF LegendRect(const QRectF& area, const QSizeF& legend, const std::vector<TPolyline>& lines,
                  double margin);
// Whether the segment a-b passes through the rectangle.
bool SegmentCrosses(const QPointF& a, const QPointF& b, const QRectF& r);

// Labels wanted at `wanted` (in order, left to right), kept inside `area`:
// each moved in horizontally and down from above the top, then up one row
// when it would overlap one already placed (down one if it was pushed down),
// and dropped when there is no free place.
std::vector<std::optional<QRectF>> PlaceLabels(const std::vector<QRectF>& wanted,
                                               const QRectF& area);

} // namespace mirantos::plotgeometry
