#include "ViewerCursors.h"

#include "AnalysisTexts.h"
#include "ReadoutText.h"
#include "Texts.h"
#include "TraceViewerWindow.h"
#include "ViewerCursorTexts.h"
#include "ViewerTexts.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>

#include <algorithm>
#include <cmath>

namespace mirantos {

using namespace trace;

namespace {

// The cursors' colours: A and B told apart, neither a channel's trace colour.
const QColor kCursorColour[2] = {QColor(200, 0, 160), QColor(0, 140, 140)};
const QColor kCrosshair(128, 128, 128);

int TimeDecimals(double rateSps)
{
    if (!(rateSps > 0))
        return 3;
    return std::clamp(static_cast<int>(std::ceil(std::log10(rateSps) - 1e-9)), 3, 6);
}

// A figure in the readout's five significant-ish decimals, as the span readout.
QString Uv(double v)
{
    return FormatMask(v, 5) + U(text::AnalysisUnitMicrovolt);
}

QString Codes(double v, int decimals)
{
    return FormatMask(v, decimals) + U(text::UnitDigit);
}

} // namespace

TViewerCursors::TViewerCursors(TTraceViewerWindow* window) : window_(window)
{
    placeA_ = new QPushButton(U(text::ViewerCursorA), window);
    placeA_->setObjectName("cursorA");
    placeB_ = new QPushButton(U(text::ViewerCursorB), window);
    placeB_->setObjectName("cursorB");
    clear_ = new QPushButton(U(text::ViewerCursorClear), window);
    clear_->setObjectName("cursorClear");
    readout_ = new QLabel(window);
    readout_->setObjectName("cursors");
    readout_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Room for the times and two channels' lines, whatever they say, so the
    // picture does not jump as the cursors move, nor a long line widen the window.
    readout_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    readout_->setFixedHeight(readout_->fontMetrics().lineSpacing() * 3 + 2);
    readout_->hide();
    connect(placeA_, &QPushButton::clicked, this, [this] { PlaceInView(0); });
    connect(placeB_, &QPushButton::clicked, this, [this] { PlaceInView(1); });
    connect(clear_, &QPushButton::clicked, this, [this] { Clear(); });
}

void TViewerCursors::Place(int cursor, int64_t sample)
{
    const int64_t n = window_->Data().Samples();
    if (n == 0 || cursor < 0 || cursor > 1)
        return;
    cursors_[static_cast<size_t>(cursor)] = std::clamp<int64_t>(sample, 0, n - 1);
    Refresh();
    window_->Canvas()->update();
}

void TViewerCursors::PlaceInView(int cursor)
{
    const TSampleSpan v = VisibleSpan(window_->View().x, window_->Data().Samples());
    Place(cursor, v.first + v.Count() * (cursor + 1) / 3);
}

void TViewerCursors::Clear()
{
    cursors_ = {};
    dragging_.reset();
    Refresh();
    window_->Canvas()->update();
}

std::optional<TSampleSpan> TViewerCursors::Span() const
{
    if (!cursors_[0] || !cursors_[1])
        return std::nullopt;
    return CursorSpan(*cursors_[0], *cursors_[1]);
}

bool TViewerCursors::Press(QPoint pos, Qt::MouseButton button, Qt::KeyboardModifiers mods)
{
    const QRect plot = window_->PlotArea();
    const int64_t n = window_->Data().Samples();
    if (n == 0 || !plot.contains(pos))
        return false;
    const int x = pos.x() - plot.left();
    if (mods & Qt::ControlModifier) {
        if (button != Qt::LeftButton && button != Qt::RightButton)
            return false;
        const int c = button == Qt::LeftButton ? 0 : 1;
        Place(c, SampleAtColumn(window_->View().x, n, x));
        dragging_ = c;
        return true;
    }
    if (button != Qt::LeftButton || (mods & Qt::ShiftModifier))
        return false;
    dragging_ = CursorNear(window_->View().x, cursors_, x, kGrab);
    return dragging_.has_value();
}

bool TViewerCursors::Move(QPoint pos)
{
    if (!dragging_)
        return false;
    const int x = pos.x() - window_->PlotArea().left();
    Place(*dragging_, SampleAtColumn(window_->View().x, window_->Data().Samples(), x));
    return true;
}

bool TViewerCursors::Release()
{
    return std::exchange(dragging_, std::nullopt).has_value();
}

int TViewerCursors::ColumnOf(int64_t sample) const
{
    return static_cast<int>(
        std::clamp<int64_t>(ColumnOfSample(window_->View().x, sample), -kRowLimit, kRowLimit));
}

void TViewerCursors::Paint(QPainter& p, const QPoint* mouse) const
{
    const QRect plot = window_->PlotArea();
    const int64_t n = window_->Data().Samples();
    if (n == 0)
        return;
    p.save();
    p.setClipRect(plot);
    if (mouse != nullptr && plot.contains(*mouse)) {
        // On the sample the readout names, where the trace draws it.
        const int64_t i = SampleAtColumn(window_->View().x, n, mouse->x() - plot.left());
        const int x = plot.left() + ColumnOf(i);
        p.setPen(QPen(kCrosshair, 1, Qt::DotLine));
        p.drawLine(x, plot.top(), x, plot.bottom());
        p.drawLine(plot.left(), mouse->y(), plot.right(), mouse->y());
    }
    for (int c = 0; c < 2; ++c) {
        if (!cursors_[static_cast<size_t>(c)])
            continue;
        const int x = plot.left() + ColumnOf(*cursors_[static_cast<size_t>(c)]);
        p.setPen(QPen(kCursorColour[c], 1, Qt::DashLine));
        p.drawLine(x, plot.top(), x, plot.bottom());
        p.setPen(kCursorColour[c]);
        p.drawText(x + 3, plot.top() + p.fontMetrics().ascent() + 2, c == 0 ? "A" : "B");
    }
    p.restore();
}

void TViewerCursors::Refresh()
{
    const TTraceData& data = window_->Data();
    const int64_t n = data.Samples();
    // A record that shrank (another file opened) keeps no cursor beyond its end.
    for (auto& c : cursors_)
        if (c && *c >= n)
            c.reset();
    clear_->setEnabled(cursors_[0] || cursors_[1]);
    placeA_->setEnabled(n > 0);
    placeB_->setEnabled(n > 0);
    if (!cursors_[0] && !cursors_[1]) {
        readout_->clear();
        readout_->hide();
        return;
    }
    const double rate = data.RateSps();
    const int decimals = TimeDecimals(rate);
    auto at = [&](int64_t i) {
        return FormatMask(SampleSeconds(i, rate), decimals) + U(text::ViewerSecondsUnit) +
               U(text::ViewerNumberOpen) + QString::number(i + 1) + U(text::ViewerNumberClose);
    };
    QString s = U(text::ViewerCursorReadA) + (cursors_[0] ? at(*cursors_[0]) : QString("-")) +
                U(text::ViewerCursorReadB) + (cursors_[1] ? at(*cursors_[1]) : QString("-"));
    if (cursors_[0] && cursors_[1]) {
        const TCursorReadout r = ReadCursors(data, *cursors_[0], *cursors_[1]);
        s += U(text::ViewerDeltaT) + FormatMask(r.dtSeconds, decimals) +
             U(text::ViewerSecondsUnit) + U(text::ViewerInverseDeltaT) +
             (r.inverseHz > 0 ? FormatMask(r.inverseHz, 5) : QString("-")) +
             U(text::ViewerHertzUnit) + U(text::ViewerSamples) + QString::number(r.span.Count());
        const bool volt = window_->VoltMode();
        for (int c = 0; c < 2; ++c) {
            const TCursorChannel& ch = r.channel[static_cast<size_t>(c)];
            if (!ch.held || !window_->View().show[static_cast<size_t>(c)])
                continue;
            s += "\n" + U(text::Channel) + QString::number(c) + U(text::ViewerDelta);
            if (volt)
                s += Uv(ch.deltaUv) + U(text::ViewerMean) + Uv(ch.meanUv) + U(text::ViewerSigma) +
                     Uv(ch.stats.sigmaUv) + U(text::ViewerPp) + Uv(ch.stats.ppUv);
            else
                s += Codes(static_cast<double>(ch.deltaCode), 0) + U(text::ViewerMean) +
                     Codes(ch.stats.mean, 2) + U(text::ViewerSigma) + Codes(ch.stats.sigma, 2) +
                     U(text::ViewerPp) + Codes(static_cast<double>(ch.stats.pp), 0);
        }
    }
    readout_->setText(s);
    readout_->show();
}

QString TViewerCursors::Text() const
{
    return readout_->text();
}

} // namespace mirantos
