#pragma once
// The whole picture of a trace view in one QImage: the plot area with the
// traces (TTraceRenderer), its frame, the time axis in seconds below it, the
// Y axis in codes or microvolts to its left, the unit captions and the channel
// legend above it. The viewer window shows exactly this image and the
// command-line tool writes it, so both come from Compose.

#include "TraceData.h"
#include "TraceLanes.h"
#include "TraceRenderer.h"
#include "TraceView.h"

#include <QImage>
#include <QRect>
#include <QSize>

#include <array>

namespace mirantos::trace {

struct TPictureView {
    TViewX x;
    TViewY y; // Common: the codes; Ac: the deviations about kAcBase
    std::array<bool, 2> show{true, true};
    bool voltMode = false;
    TYLayout layout = TYLayout::Common;
    std::array<TViewY, 2> lanes;                       // Lanes: each channel's own range
    std::array<uint32_t, 2> centres{kAcBase, kAcBase}; // Ac: the code nearest each mean
    bool wallClock = false; // the time of day when the record has a start time
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
// The channels the view draws, in lane order; returns their count.
int ShownChannels(const TTraceData& data, std::array<bool, 2> show, std::array<int, 2>& out);
// Ac: each shown channel's centre from its mean over the visible span.
void UpdateCentres(const TTraceData& data, TPictureView& view);
// Y of the view's layout fit to the visible span's extremes (lanes each to
// their own channel, Ac after UpdateCentres); the plot `height` rows tall.
void FitY(const TTraceData& data, TPictureView& view, int height);
// Rows y0..y1 of the plot (a dragged box) become the Y range: of the lane the
// box starts in for Lanes, clipped to that lane.
void ZoomYToRows(const TTraceData& data, TPictureView& view, int height, int y0, int y1);
// The time of day at the record's start (local time, seconds since
// midnight) and its date, from a capture's start time; false without one.
bool ClockOrigin(const std::string& startUtc, double& seconds, QString& date);
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
