#include "TracePicture.h"

#include "MeasureRecord.h"
#include "ReadoutText.h"
#include "Texts.h"
#include "TraceTicks.h"
#include "UiFont.h"
#include "ViewerTexts.h"

#include <QDateTime>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace mirantos::trace {

namespace {

constexpr int kLeft = 96;
constexpr int kRight = 16;
constexpr int kTop = 24;
constexpr int kBottom = 40;
constexpr int kTickLength = 4;
constexpr int kMinTickSpacingX = 90;
constexpr int kMinTickSpacingY = 40;
constexpr QRgb kBackground = 0xffffffffu;
constexpr QRgb kFrame = 0xff808080u;
constexpr QRgb kInk = 0xff000000u;

} // namespace

QRect PlotArea(QSize size)
{
    const int w = std::max(size.width(), kMinPictureWidth);
    const int h = std::max(size.height(), kMinPictureHeight);
    return QRect(kLeft, kTop, w - kLeft - kRight, h - kTop - kBottom);
}

TViewY AutoYOf(const TTraceData& data, std::array<bool, 2> show, TSampleSpan span, int height)
{
    TCodeRange r;
    for (int c = 0; c < 2; ++c)
        if (show[static_cast<size_t>(c)] && data.Holds(c))
            r.Add(data.Channel(c).Range(span.first, span.last));
    if (r.Empty())
        return TViewY{0, 0xFFFFFFFFu, std::max(height, 1)};
    return AutoY(r.min, r.max, height);
}

TViewX ViewOfSeconds(int64_t samples, double rateSps, int width, double from, double to)
{
    if (!(rateSps > 0) || !(to > from))
        return FitAll(samples, width);
    const double limit = static_cast<double>(samples);
    // 12.34 s at 1 ksps is 12339.999...: a hair's tolerance keeps whole samples whole.
    const double a = std::clamp(std::floor(from * rateSps + 1e-6), 0.0, limit);
    const double b = std::clamp(std::ceil(to * rateSps - 1e-6), 0.0, limit);
    const auto first = static_cast<int64_t>(a);
    const auto count = std::max<int64_t>(1, static_cast<int64_t>(b) - first);
    return ShowSamples(samples, width, first, count);
}

TPictureView WholeView(const TTraceData& data, std::array<bool, 2> show, bool voltMode, QSize size)
{
    const QRect plot = PlotArea(size);
    TPictureView v;
    v.show = show;
    v.voltMode = voltMode;
    v.x = FitAll(data.Samples(), plot.width());
    v.y = AutoYOf(data, show, VisibleSpan(v.x, data.Samples()), plot.height());
    return v;
}

int ShownChannels(const TTraceData& data, std::array<bool, 2> show, std::array<int, 2>& out)
{
    int n = 0;
    for (int c = 0; c < 2; ++c)
        if (show[static_cast<size_t>(c)] && data.Holds(c))
            out[static_cast<size_t>(n++)] = c;
    return n;
}

void UpdateCentres(const TTraceData& data, TPictureView& view)
{
    const TSampleSpan span = VisibleSpan(view.x, data.Samples());
    for (int c = 0; c < 2; ++c)
        if (data.Holds(c) && span.Count() > 0)
            view.centres[static_cast<size_t>(c)] = AcCentre(MeanOf(
                std::span(data.Channel(c).Codes())
                    .subspan(static_cast<size_t>(span.first), static_cast<size_t>(span.Count()))));
}

void FitY(const TTraceData& data, TPictureView& view, int height)
{
    const TSampleSpan span = VisibleSpan(view.x, data.Samples());
    view.y = AutoYOf(data, view.show, span, height);
    std::array<int, 2> ch{};
    const int n = ShownChannels(data, view.show, ch);
    if (view.layout == TYLayout::Lanes) {
        for (int k = 0; k < n; ++k) {
            const bool one[2] = {ch[static_cast<size_t>(k)] == 0, ch[static_cast<size_t>(k)] == 1};
            view.lanes[static_cast<size_t>(ch[static_cast<size_t>(k)])] =
                AutoYOf(data, {one[0], one[1]}, span, LaneOf(height, n, k).height);
        }
    } else if (view.layout == TYLayout::Ac) {
        UpdateCentres(data, view);
        std::array<TAcChannel, 2> ac{};
        int m = 0;
        for (int k = 0; k < n && span.Count() > 0; ++k) {
            const int c = ch[static_cast<size_t>(k)];
            const TCodeRange r = data.Channel(c).Range(span.first, span.last);
            ac[static_cast<size_t>(m++)] = {r.min, r.max, view.centres[static_cast<size_t>(c)]};
        }
        view.y = AcAutoY(std::span(ac.data(), static_cast<size_t>(m)), height);
    }
}

void ZoomYToRows(const TTraceData& data, TPictureView& view, int height, int y0, int y1)
{
    std::array<int, 2> ch{};
    const int n = ShownChannels(data, view.show, ch);
    if (view.layout != TYLayout::Lanes || n == 0) {
        view.y.height = height;
        view.y = ZoomToRows(view.y, y0, y1);
        return;
    }
    const int k = LaneAt(height, n, y0);
    const TLane lane = LaneOf(height, n, k);
    TViewY& y = view.lanes[static_cast<size_t>(ch[static_cast<size_t>(k)])];
    y.height = lane.height;
    y = ZoomToRows(y, std::clamp(y0 - lane.top, 0, lane.height - 1),
                   std::clamp(y1 - lane.top, 0, lane.height - 1));
}

bool ClockOrigin(const std::string& startUtc, double& seconds, QString& date)
{
    if (startUtc.empty())
        return false;
    const QDateTime start =
        QDateTime::fromString(QString::fromStdString(startUtc), Qt::ISODate).toLocalTime();
    if (!start.isValid())
        return false;
    seconds = start.time().msecsSinceStartOfDay() / 1000.0;
    date = start.date().toString(Qt::ISODate);
    return true;
}

QImage TTracePicture::Compose(const TTraceData& data, const TPictureView& view, QSize size)
{
    QImage image;
    Compose(data, view, size, image);
    return image;
}

void TTracePicture::Compose(const TTraceData& data, const TPictureView& view, QSize size,
                            QImage& image)
{
    size = size.expandedTo(QSize(kMinPictureWidth, kMinPictureHeight));
    if (image.size() != size || image.format() != QImage::Format_RGB32)
        image = QImage(size, QImage::Format_RGB32);
    image.fill(kBackground);
    const QRect plot = PlotArea(size);
    TViewX vx = view.x;
    vx.width = plot.width();
    TViewY vy = view.y;
    vy.height = plot.height();

    // The traces go straight into the plot area's pixels: no second image to
    // fill and copy on every frame of a followed capture.
    const qsizetype stride = image.bytesPerLine();
    const auto rows = [&](int top, int height) {
        return QImage(image.bits() + (plot.top() + top) * stride + plot.left() * qsizetype{4},
                      plot.width(), height, stride, QImage::Format_RGB32);
    };
    std::array<int, 2> ch{};
    const int count = ShownChannels(data, view.show, ch);
    const bool lanes = view.layout == TYLayout::Lanes && count > 0;
    std::array<TLane, 2> laneOf{};
    std::array<TViewY, 2> channelY{};
    for (int k = 0; k < count; ++k) {
        const int c = ch[static_cast<size_t>(k)];
        laneOf[static_cast<size_t>(k)] =
            lanes ? LaneOf(plot.height(), count, k) : TLane{0, vy.height};
        channelY[static_cast<size_t>(k)] =
            lanes                         ? view.lanes[static_cast<size_t>(c)]
            : view.layout == TYLayout::Ac ? AcChannelY(vy, view.centres[static_cast<size_t>(c)])
                                          : vy;
        channelY[static_cast<size_t>(k)].height = laneOf[static_cast<size_t>(k)].height;
    }
    if (lanes) {
        for (int k = 0; k < count; ++k) {
            const TLane lane = laneOf[static_cast<size_t>(k)];
            QImage traces = rows(lane.top, lane.height);
            const int c = ch[static_cast<size_t>(k)];
            const TTraceLayer layer{&data.Channel(c), kTraceColors[c]};
            renderer_.Render(traces, vx, channelY[static_cast<size_t>(k)],
                             std::span<const TTraceLayer>(&layer, 1), kBackground);
        }
    } else {
        QImage traces = rows(0, plot.height());
        TTraceLayer layers[2];
        for (int k = 0; k < count; ++k) {
            const int c = ch[static_cast<size_t>(k)];
            layers[k] = {&data.Channel(c), kTraceColors[c],
                         view.layout == TYLayout::Ac ? &channelY[static_cast<size_t>(k)] : nullptr};
        }
        renderer_.Render(traces, vx, vy, std::span<const TTraceLayer>(layers, count), kBackground);
    }

    QPainter p(&image);
    const QFont font = UiFont(WindowFontPixels);
    p.setFont(font);
    const QFontMetrics fm(font);
    p.setPen(QColor::fromRgb(kFrame));
    if (lanes)
        for (int k = 0; k < count; ++k) {
            const TLane lane = laneOf[static_cast<size_t>(k)];
            p.drawRect(QRect(plot.left(), plot.top() + lane.top, plot.width(), lane.height)
                           .adjusted(-1, -1, 0, 0));
        }
    else
        p.drawRect(plot.adjusted(-1, -1, 0, 0));

    // Time axis: seconds, m:s or h:m:s as the view's end needs, or the time of day.
    double origin = 0;
    QString date;
    const bool clock = view.wallClock && ClockOrigin(data.StartUtc(), origin, date);
    if (!clock)
        origin = 0;
    const TTimeStyle style =
        clock ? TTimeStyle::Clock : ElapsedStyle(ColumnToTime(vx, data.RateSps(), vx.width - 1));
    const TTicks xt = TimeTicks(vx, data.RateSps(), kMinTickSpacingX, style, origin);
    for (const TTick& t : xt.ticks) {
        const int x = plot.left() + static_cast<int>(std::ceil(t.pos - 1e-9));
        if (x < plot.left() || x > plot.right())
            continue;
        p.setPen(QColor::fromRgb(kFrame));
        p.drawLine(x, plot.bottom() + 1, x, plot.bottom() + kTickLength);
        const QString label = style == TTimeStyle::Seconds
                                  ? FormatMask(t.value, xt.decimals)
                                  : QString::fromStdString(TimeLabel(t.value, style, xt.decimals));
        const int w = fm.horizontalAdvance(label);
        const int left = std::clamp(x - w / 2, 0, size.width() - w);
        p.setPen(QColor::fromRgb(kInk));
        p.drawText(left, plot.bottom() + kTickLength + 2 + fm.ascent(), label);
    }
    const char* const units[] = {text::ViewerAxisSeconds, text::ViewerAxisMinSec,
                                 text::ViewerAxisHourMinSec};
    const QString xUnit = clock ? "[" + U(text::ViewerAxisClock) + " " + date + "]"
                                : U(units[static_cast<int>(style)]);
    p.drawText(plot.right() - fm.horizontalAdvance(xUnit),
               plot.bottom() + kTickLength + 4 + fm.height() + fm.ascent(), xUnit);

    // Y axis, in the main window's unit: one per lane, in its channel's colour.
    const auto yAxis = [&](const TTicks& yt, const TLane& lane, QRgb ink) {
        for (const TTick& t : yt.ticks) {
            const int y = plot.top() + lane.top + static_cast<int>(std::floor(t.pos));
            if (y < plot.top() + lane.top || y >= plot.top() + lane.top + lane.height)
                continue;
            p.setPen(QColor::fromRgb(kFrame));
            p.drawLine(plot.left() - kTickLength - 1, y, plot.left() - 2, y);
            const QString label = FormatMask(t.value, yt.decimals);
            p.setPen(QColor::fromRgb(ink));
            p.drawText(plot.left() - kTickLength - 4 - fm.horizontalAdvance(label),
                       y - fm.height() / 2 + fm.ascent(), label);
        }
    };
    const auto ticksOf = [&](const TViewY& y) {
        return view.voltMode
                   ? MicrovoltTicks(y, data.Gain(), kMinTickSpacingY)
                   : CodeTicks(y, kMinTickSpacingY, view.layout == TYLayout::Ac ? kAcBase : 0);
    };
    if (lanes)
        for (int k = 0; k < count; ++k)
            yAxis(ticksOf(channelY[static_cast<size_t>(k)]), laneOf[static_cast<size_t>(k)],
                  kTraceColors[ch[static_cast<size_t>(k)]]);
    else
        yAxis(ticksOf(vy), TLane{0, plot.height()}, kInk);
    p.setPen(QColor::fromRgb(kInk));
    QString yUnit = U(view.voltMode ? text::ViewerAxisMicrovolt : text::ViewerAxisDigit);
    if (view.layout == TYLayout::Ac)
        yUnit += " " + U(text::ViewerAxisAc);
    p.drawText(4, fm.ascent() + 4, yUnit);
    int x = std::max(plot.left(), 4 + fm.horizontalAdvance(yUnit) + 16);

    // Legend: the shown channels in their colours (in the AC view with the
    // mean taken off).
    for (int c = 0; c < 2; ++c) {
        if (!view.show[static_cast<size_t>(c)] || !data.Holds(c))
            continue;
        QString name = U(text::Channel) + QString::number(c);
        if (view.layout == TYLayout::Ac) {
            const uint32_t centre = view.centres[static_cast<size_t>(c)];
            name += U(text::ViewerAcMean) +
                    (view.voltMode ? FormatMask(CodeToMicrovolt(centre, data.Gain()), 3) +
                                         U(text::ViewerUnitMicrovolt)
                                   : QString::number(centre) + U(text::UnitDigit));
        }
        p.fillRect(x, 8, 16, 3, QColor::fromRgb(kTraceColors[c]));
        p.setPen(QColor::fromRgb(kTraceColors[c]));
        p.drawText(x + 20, fm.ascent() + 4, name);
        x += 20 + fm.horizontalAdvance(name) + 16;
    }
    p.end();
}

} // namespace mirantos::trace
