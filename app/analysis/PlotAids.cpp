#include "PlotAids.h"

#include "PlotGeometry.h"
#include "UiFont.h"

#include <qcustomplot.h>

#include <QFontMetricsF>
#include <QPointer>

#include <cmath>
#include <limits>
#include <vector>

namespace mirantos {

namespace {

using plotgeometry::TPolyline;

// The axis's length in pixels: its rect once laid out at the plot's present
// size, else a guess from the plot's size (a picture's first layout).
double AxisPixels(const QCPAxis& axis)
{
    const QRect rect = axis.axisRect()->rect();
    const QRect view = axis.parentPlot()->viewport();
    const bool horizontal = axis.orientation() == Qt::Horizontal;
    const int laidOut = horizontal ? rect.width() : rect.height();
    const int whole = horizontal ? view.width() : view.height();
    return laidOut > 40 && laidOut < whole ? laidOut : std::max(whole - 100, 40);
}

class TLogTicker : public QCPAxisTicker {
public:
    explicit TLogTicker(QCPAxis* axis) : axis_(axis) {}

    void generate(const QCPRange& range, const QLocale&, QChar, int, QVector<double>& ticks,
                  QVector<double>* subTicks, QVector<QString>* tickLabels) override
    {
        // Room for a label: its width plus a gap across, a line and a half up.
        int maxLabels = 8;
        if (axis_) {
            const QFontMetricsF fm(axis_->tickLabelFont());
            const double each = axis_->orientation() == Qt::Horizontal
                                    ? fm.horizontalAdvance(QStringLiteral("0.005")) + 12.0
                                    : fm.height() * 1.5;
            maxLabels = std::max(2, static_cast<int>(AxisPixels(*axis_) / each));
        }
        const plotgeometry::TLogTicks t =
            plotgeometry::LogTicks(range.lower, range.upper, maxLabels);
        ticks = QVector<double>(t.ticks.begin(), t.ticks.end());
        if (subTicks)
            *subTicks = QVector<double>(t.subTicks.begin(), t.subTicks.end());
        if (tickLabels)
            *tickLabels = QVector<QString>(t.labels.begin(), t.labels.end());
    }

private:
    QPointer<QCPAxis> axis_;
};

// What the plottables draw, in pixels: graphs as their lines (points alone
// when drawn without one), bars as their top edge and centre line.
std::vector<TPolyline> DrawnLines(QCustomPlot& plot)
{
    const double gap = std::numeric_limits<double>::quiet_NaN();
    std::vector<TPolyline> lines;
    for (int i = 0; i < plot.plottableCount(); ++i) {
        QCPAbstractPlottable* p = plot.plottable(i);
        if (!p->realVisibility() || !p->keyAxis() || !p->valueAxis())
            continue;
        const QCPAxis& k = *p->keyAxis();
        const QCPAxis& v = *p->valueAxis();
        auto at = [&](double key, double value) {
            return QPointF(k.coordToPixel(key), v.coordToPixel(value));
        };
        TPolyline line;
        if (auto* g = qobject_cast<QCPGraph*>(p)) {
            const bool joined = g->lineStyle() != QCPGraph::lsNone;
            for (auto it = g->data()->constBegin(); it != g->data()->constEnd(); ++it) {
                line.points.push_back(at(it->key, it->value));
                if (!joined)
                    line.points.emplace_back(gap, gap);
            }
        } else if (auto* b = qobject_cast<QCPBars*>(p)) {
            const double half = b->width() / 2.0;
            for (auto it = b->data()->constBegin(); it != b->data()->constEnd(); ++it)
                for (const QPointF& q :
                     {at(it->key - half, it->value), at(it->key + half, it->value),
                      QPointF(gap, gap), at(it->key, 0.0), at(it->key, it->value),
                      QPointF(gap, gap)})
                    line.points.push_back(q);
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

class TArrangedLegend : public QCPLegend {
public:
    struct TLabel {
        QPointer<QCPItemText> item;
        double key, value;
    };
    std::vector<TLabel> labels;

    void update(UpdatePhase phase) override
    {
        if (phase == upLayout && mParentPlot && mParentPlot->axisRect()) {
            QCPAxisRect& rect = *mParentPlot->axisRect();
            PlaceLabels(rect);
            if (visible() && itemCount() > 0)
                setOuterRect(plotgeometry::LegendRect(rect.rect(), outerRect().size(),
                                                      DrawnLines(*mParentPlot), 6.0)
                                 .toAlignedRect());
        }
        QCPLegend::update(phase);
    }

private:
    void PlaceLabels(QCPAxisRect& rect)
    {
        std::vector<QRectF> wanted;
        std::vector<QCPItemText*> items;
        for (const TLabel& l : labels) {
            if (!l.item)
                continue;
            const QFontMetricsF fm(l.item->font());
            const double w = fm.horizontalAdvance(l.item->text()) + 4.0;
            const double h = fm.height();
            const double x = rect.axis(QCPAxis::atBottom)->coordToPixel(l.key);
            const double bottom = rect.axis(QCPAxis::atLeft)->coordToPixel(l.value) - 1.0;
            wanted.emplace_back(x - w / 2.0, bottom - h, w, h);
            items.push_back(l.item);
        }
        const auto placed = plotgeometry::PlaceLabels(wanted, QRectF(rect.rect()));
        for (size_t i = 0; i < items.size(); ++i) {
            items[i]->setVisible(placed[i].has_value());
            if (placed[i])
                items[i]->position->setPixelPosition(
                    QPointF(placed[i]->center().x(), placed[i]->bottom()));
        }
    }
};

TArrangedLegend* Arranged(QCustomPlot& plot)
{
    return dynamic_cast<TArrangedLegend*>(plot.legend);
}

} // namespace

void SetLogAxis(QCPAxis& axis)
{
    axis.setScaleType(QCPAxis::stLogarithmic);
    axis.setTicker(QSharedPointer<QCPAxisTicker>(new TLogTicker(&axis)));
}

void UseArrangedLegend(QCustomPlot& plot)
{
    if (Arranged(plot))
        return;
    QCPLayoutInset* inset = plot.axisRect()->insetLayout();
    const QFont font = plot.legend->font();
    inset->remove(plot.legend);
    auto* legend = new TArrangedLegend;
    inset->addElement(legend, Qt::AlignTop | Qt::AlignRight);
    legend->setLayer(QStringLiteral("legend"));
    legend->setFont(font);
    legend->setVisible(false);
    plot.legend = legend;
}

void ArrangeLabel(QCustomPlot& plot, QCPItemText* label, double key, double value)
{
    label->setPositionAlignment(Qt::AlignHCenter | Qt::AlignBottom);
    label->position->setCoords(key, value);
    if (TArrangedLegend* legend = Arranged(plot))
        legend->labels.push_back({label, key, value});
}

void ForgetArrangedLabels(QCustomPlot& plot)
{
    if (TArrangedLegend* legend = Arranged(plot))
        legend->labels.clear();
}

void ShowPlotReason(QCustomPlot& plot, const QString& reason)
{
    auto* text = new QCPItemText(&plot);
    text->position->setType(QCPItemPosition::ptAxisRectRatio);
    text->position->setAxisRect(plot.axisRect());
    text->position->setCoords(0.5, 0.5);
    text->setPositionAlignment(Qt::AlignCenter);
    text->setTextAlignment(Qt::AlignCenter);
    text->setFont(UiFont(WindowFontPixels));
    text->setColor(QColor(90, 90, 90));
    // Readable over the grid lines.
    text->setBrush(Qt::white);
    text->setPadding(QMargins(6, 3, 6, 3));
    text->setText(reason);
}

} // namespace mirantos
