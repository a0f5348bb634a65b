#include "PlotGeometry.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace mirantos::plotgeometry {

namespace {

// The mantissas labelled, coarse to fine.
std::vector<double> Mantissas(int level)
{
    switch (level) {
    case 0:
        return {1.0};
    case 1:
        return {1.0, 2.0, 5.0};
    case 2:
        return {1, 2, 3, 4, 5, 6, 7, 8, 9};
    default: {
        std::vector<double> m;
        for (int i = 10; i < 100; ++i)
            m.push_back(i / 10.0);
        return m;
    }
    }
}

// m x 10^k for the mantissas inside [lo, hi], in order; a little tolerance so
// that a range ending exactly on a tick keeps it.
std::vector<double> Values(double lo, double hi, const std::vector<double>& mantissas)
{
    std::vector<double> out;
    const int first = static_cast<int>(std::floor(std::log10(lo))) - 1;
    const int last = static_cast<int>(std::ceil(std::log10(hi))) + 1;
    for (int k = first; k <= last; ++k)
        for (double m : mantissas) {
            // Dividing by an exact power of ten keeps 2e-1 the double nearest 0.2.
            const double v = k >= 0 ? m * std::pow(10.0, k) : m / std::pow(10.0, -k);
            if (v >= lo * (1 - 1e-9) && v <= hi * (1 + 1e-9))
                out.push_back(v);
        }
    return out;
}

} // namespace

QString LogTickLabel(double value)
{
    if (value >= 1e-3 && value < 1e5)
        return QString::number(value, 'g', 6);
    const int k = static_cast<int>(std::floor(std::log10(value) + 1e-9));
    const double m = value / std::pow(10.0, k);
    return QString::number(m, 'g', 2) + "e" + QString::number(k);
}

TLogTicks LogTicks(double lo, double hi, int maxLabels)
{
    TLogTicks out;
    if (!(lo > 0.0) || !(hi > lo) || !std::isfinite(hi))
        return out;
    // Finer while fewer than three labels show, as long as they fit.
    int level = 1;
    if (static_cast<int>(Values(lo, hi, Mantissas(1)).size()) > maxLabels)
        level = 0;
    while (level < 3 && Values(lo, hi, Mantissas(level)).size() < 3 &&
           static_cast<int>(Values(lo, hi, Mantissas(level + 1)).size()) <= std::max(maxLabels, 2))
        ++level;
    out.ticks = Values(lo, hi, Mantissas(level));
    for (double v : out.ticks)
        out.labels.push_back(LogTickLabel(v));
    for (double v : Values(lo, hi, Mantissas(level < 2 ? 2 : 3)))
        if (std::find(out.ticks.begin(), out.ticks.end(), v) == out.ticks.end())
            out.subTicks.push_back(v);
    return out;
}

std::pair<double, double> PadLogRange(double lo, double hi, double fraction)
{
    const double decades = std::log10(hi / lo);
    const double pad = decades > 0.0 ? decades * fraction : 0.5;
    return {lo / std::pow(10.0, pad), hi * std::pow(10.0, pad)};
}

QString GroupedNumber(double value, int decimals)
{
    const QString plain = QString::number(std::abs(value), 'f', std::max(decimals, 0));
    const qsizetype point = plain.indexOf('.');
    QString whole = point < 0 ? plain : plain.left(point);
    for (qsizetype i = whole.size() - 3; i > 0; i -= 3)
        whole.insert(i, ' ');
    // No "-0.0" for a value that rounds to zero.
    QString out =
        (value < 0.0 && plain.toDouble() != 0.0 ? QStringLiteral("-") : QString()) + whole;
    if (point >= 0)
        out += plain.mid(point);
    return out;
}

int DecimalsFor(double step)
{
    if (!(step > 0.0) || !std::isfinite(step))
        return 0;
    return std::clamp(static_cast<int>(std::ceil(-std::log10(step))) + 1, 0, 9);
}

bool SegmentCrosses(const QPointF& a, const QPointF& b, const QRectF& r)
{
    // Liang-Barsky: clip the parameter range t in [0, 1] by each side.
    double t0 = 0.0, t1 = 1.0;
    const double dx = b.x() - a.x(), dy = b.y() - a.y();
    const std::array<std::pair<double, double>, 4> sides{{
        {-dx, a.x() - r.left()},
        {dx, r.right() - a.x()},
        {-dy, a.y() - r.top()},
        {dy, r.bottom() - a.y()},
    }};
    for (const auto& [p, q] : sides) {
        if (p == 0.0) {
            if (q < 0.0)
                return false;
            continue;
        }
        const double t = q / p;
        if (p < 0.0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1)
            return false;
    }
    return true;
}

QRectF LegendRect(const QRectF& area, const QSizeF& legend, const std::vector<TPolyline>& lines,
                  double margin)
{
    const QRectF inner = area.adjusted(margin, margin, -margin, -margin);
    const double w = legend.width(), h = legend.height();
    const std::array<QRectF, 4> corners{
        QRectF(inner.right() - w, inner.top(), w, h),
        QRectF(inner.left(), inner.top(), w, h),
        QRectF(inner.right() - w, inner.bottom() - h, w, h),
        QRectF(inner.left(), inner.bottom() - h, w, h),
    };
    auto finite = [](const QPointF& p) { return std::isfinite(p.x()) && std::isfinite(p.y()); };
    int best = 0;
    int bestCrossed = std::numeric_limits<int>::max();
    for (int c = 0; c < 4 && bestCrossed > 0; ++c) {
        // A little room around the box, so that a line does not graze it either.
        const QRectF box = corners[static_cast<size_t>(c)].adjusted(-2, -2, 2, 2);
        int crossed = 0;
        for (const TPolyline& line : lines) {
            const auto& p = line.points;
            for (size_t i = 0; i < p.size(); ++i) {
                if (!finite(p[i]))
                    continue;
                const bool joined = i + 1 < p.size() && finite(p[i + 1]);
                if (joined ? SegmentCrosses(p[i], p[i + 1], box) : box.contains(p[i]))
                    ++crossed;
            }
        }
        if (crossed < bestCrossed) {
            best = c;
            bestCrossed = crossed;
        }
    }
    return corners[static_cast<size_t>(best)];
}

std::vector<std::optional<QRectF>> PlaceLabels(const std::vector<QRectF>& wanted,
                                               const QRectF& area)
{
    std::vector<std::optional<QRectF>> out;
    std::vector<QRectF> placed;
    for (const QRectF& w : wanted) {
        QRectF r = w;
        // Inside the area: moved in sideways, and down from above the top.
        r.moveLeft(
            std::clamp(r.left(), area.left(), std::max(area.left(), area.right() - r.width())));
        const double top = r.top();
        r.moveTop(
            std::clamp(r.top(), area.top(), std::max(area.top(), area.bottom() - r.height())));
        // A row up; a row down only for one pushed down from above the top
        // anyway (further down it would cover the line it labels).
        std::vector<double> moves{0.0, -r.height()};
        if (r.top() > top)
            moves.push_back(r.height());
        std::optional<QRectF> chosen;
        for (double dy : moves) {
            const QRectF c = r.translated(0.0, dy);
            const bool inside = area.contains(c);
            const bool free = std::none_of(placed.begin(), placed.end(),
                                           [&](const QRectF& p) { return p.intersects(c); });
            if (inside && free) {
                chosen = c;
                break;
            }
        }
        if (chosen)
            placed.push_back(*chosen);
        out.push_back(chosen);
    }
    return out;
}

} // namespace mirantos::plotgeometry
