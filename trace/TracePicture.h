#pragma once
// The whole picture of a trace view in one QImage: the plot area with the
// traces (TTraceRenderer), its frame, the time axis in seconds below it, the
// Y axis in codes or microvolts to its left, the unit captions and the channel
// legend above it. The viewer window shows exactly this image and the
// command-line tool writes it, so both come from Compose.

#include "TraceData.h"
#include "TraceRenderer.h"
#include "TraceView.h"

#include <QImage>
#include <QRect>
#include <QSize>

#include <array>

namespace mirantos::trace {

struct TPictureView {
    TViewX x;
    TViewY y;
    std::array<bool, 2> show{true, true};
    bool voltMode = false;
};

// Channel colours, as the main window's graph draws them.
inline constexpr QRgb kTraceColors[2] = {0xffff0000u, 0xff0000ffu};
inline constexpr int kMinPictureWidth = 160;
inline constexpr int kMinPictureHeight = 100;

// The plot area's place in a picture of `size`.
QRect PlotArea(QSize size);

// Auto Y range over the extremes of the shown channels in `span` (AutoY);
// the full code range when nothing is shown or the span is empty.
TViewY AutoYOf(const TTraceData& data, std::array<bool, 2> show, TSampleSpan span, int height);
// The view showing seconds from..to (clipped to the record), `width` columns.
TViewX ViewOfSeconds(int64_t samples, double rateSps, int width, double from, double to);
// A view fit for the plot of a `size` picture: the whole record, Y auto.
TPictureView WholeView(const TTraceData& data, std::array<bool, 2> show, bool voltMode, QSize size);

class TTracePicture {
public:
    // The view's widths are taken from the plot area of `size`.
    QImage Compose(const TTraceData& data, const TPictureView& view, QSize size);
    // The same into `image`, whose pixels are reused when it already has the
    // picture's size: a followed capture redraws many times a second.
    void Compose(const TTraceData& data, const TPictureView& view, QSize size, QImage& image);

private:
    TTraceRenderer renderer_;
};

} // namespace mirantos::trace
