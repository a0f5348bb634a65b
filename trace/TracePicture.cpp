#include "TracePicture.h"

#include "ReadoutText.h"
#include "Texts.h"
#include "TraceTicks.h"
#include "UiFont.h"
#include "ViewerTexts.h"

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
    QImage traces(image.bits() + plot.top() * stride + plot.left() * qsizetype{4}, plot.width(),
                  plot.height(), stride, QImage::Format_RGB32);
    TTraceLayer layers[2];
    int count = 0;
    for (int c = 0; c < 2; ++c)
        if (view.show[static_cast<size_t>(c)] && data.Holds(c))
            layers[count++] = {&data.Channel(c), kTraceColors[c]};
    renderer_.Render(traces, vx, vy, std::span<const TTraceLayer>(layers, count), kBackground);

    QPainter p(&image);
    const QFont font = UiFont(WindowFontPixels);
    p.setFont(font);
    const QFontMetrics fm(font);
    p.setPen(QColor::fromRgb(kFrame));
    p.drawRect(plot.adjusted(-1, -1, 0, 0));

    // Time axis.
    const TTicks xt = TimeTicks(vx, data.RateSps(), kMinTickSpacingX);
    for (const TTick& t : xt.ticks) {
        const int x = plot.left() + static_cast<int>(std::ceil(t.pos - 1e-9));
        if (x < plot.left() || x > plot.right())
            continue;
        p.setPen(QColor::fromRgb(kFrame));
        p.drawLine(x, plot.bottom() + 1, x, plot.bottom() + kTickLength);
        const QString label = FormatMask(t.value, xt.decimals);
        const int w = fm.horizontalAdvance(label);
        const int left = std::clamp(x - w / 2, 0, size.width() - w);
        p.setPen(QColor::fromRgb(kInk));
        p.drawText(left, plot.bottom() + kTickLength + 2 + fm.ascent(), label);
    }
    const QString xUnit = U(text::ViewerAxisSeconds);
    p.drawText(plot.right() - fm.horizontalAdvance(xUnit),
               plot.bottom() + kTickLength + 4 + fm.height() + fm.ascent(), xUnit);

    // Y axis, in the main window's unit.
    const TTicks yt = view.voltMode ? MicrovoltTicks(vy, data.Gain(), kMinTickSpacingY)
                                    : CodeTicks(vy, kMinTickSpacingY);
    for (const TTick& t : yt.ticks) {
        const int y = plot.top() + static_cast<int>(std::floor(t.pos));
        if (y < plot.top() || y > plot.bottom())
            continue;
        p.setPen(QColor::fromRgb(kFrame));
        p.drawLine(plot.left() - kTickLength - 1, y, plot.left() - 2, y);
        const QString label = FormatMask(t.value, yt.decimals);
        p.setPen(QColor::fromRgb(kInk));
        p.drawText(plot.left() - kTickLength - 4 - fm.horizontalAdvance(label),
                   y - fm.height() / 2 + fm.ascent(), label);
    }
    p.drawText(4, fm.ascent() + 4,
               U(view.voltMode ? text::ViewerAxisMicrovolt : text::ViewerAxisDigit));

    // Legend: the shown channels in their colours.
    int x = plot.left();
    for (int c = 0; c < 2; ++c) {
        if (!view.show[static_cast<size_t>(c)] || !data.Holds(c))
            continue;
        const QString name = U(text::Channel) + QString::number(c);
        p.fillRect(x, 8, 16, 3, QColor::fromRgb(kTraceColors[c]));
        p.setPen(QColor::fromRgb(kTraceColors[c]));
        p.drawText(x + 20, fm.ascent() + 4, name);
        x += 20 + fm.horizontalAdvance(name) + 16;
    }
    p.end();
}

} // namespace mirantos::trace
