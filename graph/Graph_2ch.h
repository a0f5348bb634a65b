#pragma once
// TGraph_2CH: the two-channel line graph. Scaling and label rules live in
// GraphScale.h as pure functions; this class holds the scale state, draws
// into its own QImage and hands the picture and the label texts/placements
// to the window through two small interfaces.

#include "GraphScale.h"
#include "MeasureRecord.h"

#include <QImage>
#include <QRect>
#include <QString>
#include <cstdint>
#include <functional>

// One axis label of the window (a QLabel there, a drawn text in the CLI).
class IGraphLabel {
public:
    virtual ~IGraphLabel() = default;
    virtual void SetText(const QString& text) = 0;
    // Size after the last SetText (labels size themselves to their text).
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual void SetLeft(int left) = 0;
    virtual void SetTop(int top) = 0;
};

// The window's paint box: where it sits in the labels' parent, its size, and
// how the finished bitmap reaches it.
class IPaintBox {
public:
    virtual ~IPaintBox() = default;
    virtual int Left() const = 0;
    virtual int Top() const = 0;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    // Copy src of the image to dest of the paint box, 1:1.
    virtual void Present(const QImage& image, const QRect& src, const QRect& dest) = 0;
};

// Snapshot of the scale state, for the window's readouts and for checks.
struct TGraphScales {
    uint32_t MaxCodeAll = 0;
    uint32_t MinCodeAll = 0;
    float MaxVoltAll = 0;
    float MinVoltAll = 0;
    double SpanCode = 0;
    double LowCode = 0;
    float SpanVolt = 0;
    float LowVolt = 0;
};

class TGraph_2CH {
public:
    TGraph_2CH(IPaintBox* paintBox, TChannelData* ch0, TChannelData* ch1, TAdcSetting* setting,
               IGraphLabel* const (&xLabels)[2], IGraphLabel* const (&yLabels)[11]);
    TGraph_2CH(const TGraph_2CH&) = delete;
    TGraph_2CH& operator=(const TGraph_2CH&) = delete;

    void ResizeBitmap();
    void DrawDefault(bool VoltMode);
    void DrawRecord(bool VoltMode);
    void DrawAxesOnly(bool VoltMode);
    void DrawBlock(bool VoltMode, int32_t Start, int32_t End);
    void CopyToPaintBox();

    double CodeToMicrovolt(uint32_t code) const;

    uint32_t Ch0MaxCode();
    uint32_t Ch0MinCode();
    uint32_t Ch1MaxCode();
    uint32_t Ch1MinCode();
    float Ch0MaxVolt();
    float Ch0MinVolt();
    float Ch1MaxVolt();
    float Ch1MinVolt();

    // Called by DrawRecord between the axes and the traces; the window lets the
    // application process its pending events there. Empty by default.
    void SetProcessEvents(std::function<void()> fn);

    const QImage& Bitmap() const;
    int BmpWidth() const;
    int BmpHeight() const;

    TGraphScales Scales() const;
    // Where the plot sits among the labels (paint box position, bitmap size).
    mirantos::PlotGeometry Geometry() const;

private:
    void ComputeScales();
    void ComputeBlockScales(int32_t Start, int32_t End);
    void ScanRecord();
    void ScalesFromRange(bool withVoltScale);
    void ClearBitmap();
    void DrawHGrid();
    void DrawVGrid();
    void PlotRecord(bool VoltMode);
    void PlotBlock(bool VoltMode, int32_t Start, int32_t End);
    void SetYLabels(const mirantos::YLabelTexts& texts, bool VoltMode);
    void PlaceYLabels(bool VoltMode);
    void SetXLabels(const mirantos::XLabelTexts& texts);
    void RecordYLabels(bool VoltMode);
    int32_t Count0() const;
    int32_t Count1() const;

    TChannelData* Ch0;
    TChannelData* Ch1;
    TAdcSetting* Setting;
    IPaintBox* PaintBox;
    QImage FBitmap;
    QRect DestRect;
    QRect SrcRect;
    int32_t BoxWidth = 0;
    int32_t BoxHeight = 0;
    int32_t FBmpWidth = 0;
    int32_t FBmpHeight = 0;
    IGraphLabel* YLabels[11];
    IGraphLabel* XLabels[2];

    float MaxVoltAll = 0;
    float MinVoltAll = 0;
    float Ch0MaxV = 0;
    float Ch0MinV = 0;
    float Ch1MaxV = 0;
    float Ch1MinV = 0;
    float SpanVolt = 0;
    float LowVolt = 0;
    uint32_t MaxCodeAll = 0;
    uint32_t MinCodeAll = 0;
    uint32_t Ch0Max = 0;
    uint32_t Ch0Min = 0;
    uint32_t Ch1Max = 0;
    uint32_t Ch1Min = 0;
    double SpanCode = 0;
    double LowCode = 0;

    std::function<void()> ProcessEvents;
};
