#include "Graph_2ch.h"

#include "LineRaster.h"

#include <algorithm>

using namespace mirantos;

namespace {

const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kGrey = qRgb(128, 128, 128);
const QRgb kRed = qRgb(255, 0, 0);
const QRgb kBlue = qRgb(0, 0, 255);

void ScanCodes(const uint32_t* code, int32_t first, int32_t last, uint32_t& max, uint32_t& min)
{
    const TCodeExtremes e = ScanCodeExtremes(code, first, last);
    max = e.Max;
    min = e.Min;
}

// One extreme of a whole channel, kept in `stored`; an empty channel gives 0
// and leaves `stored` as it was.
uint32_t ScanExtreme(const TChannelData* ch, uint32_t& stored, bool wantMax)
{
    if (ch == nullptr || UsableCount(*ch) == 0)
        return 0;
    const TCodeExtremes e = ChannelExtremes(*ch);
    stored = wantMax ? e.Max : e.Min;
    return stored;
}

} // namespace

TGraph_2CH::TGraph_2CH(IPaintBox* paintBox, TChannelData* ch0, TChannelData* ch1,
                       TAdcSetting* setting, IGraphLabel* const (&xLabels)[2],
                       IGraphLabel* const (&yLabels)[11])
    : Ch0(ch0), Ch1(ch1), Setting(setting), PaintBox(paintBox)
{
    std::copy(std::begin(xLabels), std::end(xLabels), std::begin(XLabels));
    std::copy(std::begin(yLabels), std::end(yLabels), std::begin(YLabels));
    ResizeBitmap();
}

// ---- Geometry and output ----------------------------------------------------

void TGraph_2CH::ResizeBitmap()
{
    if (PaintBox == nullptr)
        return;
    BoxWidth = PaintBox->Width();
    BoxHeight = PaintBox->Height();
    // A box under 2 px leaves an empty bitmap rather than a negative size.
    FBmpWidth = std::max(0, BoxWidth - 2);
    FBmpHeight = std::max(0, BoxHeight - 2);
    DestRect = QRect(1, 1, FBmpWidth, FBmpHeight);
    SrcRect = QRect(0, 0, FBmpWidth, FBmpHeight);
    if (FBitmap.width() != FBmpWidth || FBitmap.height() != FBmpHeight)
        FBitmap = QImage(FBmpWidth, FBmpHeight, QImage::Format_RGB32);
}

void TGraph_2CH::CopyToPaintBox()
{
    if (PaintBox != nullptr)
        PaintBox->Present(FBitmap, SrcRect, DestRect);
}

void TGraph_2CH::SetProcessEvents(std::function<void()> fn)
{
    ProcessEvents = std::move(fn);
}

const QImage& TGraph_2CH::Bitmap() const
{
    return FBitmap;
}

int TGraph_2CH::BmpWidth() const
{
    return FBmpWidth;
}

int TGraph_2CH::BmpHeight() const
{
    return FBmpHeight;
}

TGraphScales TGraph_2CH::Scales() const
{
    return {MaxCodeAll, MinCodeAll, MaxVoltAll, MinVoltAll, SpanCode, LowCode, SpanVolt, LowVolt};
}

PlotGeometry TGraph_2CH::Geometry() const
{
    PlotGeometry g;
    if (PaintBox != nullptr) {
        g.boxLeft = PaintBox->Left();
        g.boxTop = PaintBox->Top();
    }
    g.bmpWidth = FBmpWidth;
    g.bmpHeight = FBmpHeight;
    return g;
}

// ---- Conversion and extremes --------------------------------------------------

double TGraph_2CH::CodeToMicrovolt(uint32_t code) const
{
    return ::CodeToMicrovolt(code, Setting != nullptr ? Setting->Gain : 1);
}

int32_t TGraph_2CH::Count0() const
{
    return Ch0 != nullptr ? UsableCount(*Ch0) : 0;
}

int32_t TGraph_2CH::Count1() const
{
    return Ch1 != nullptr ? UsableCount(*Ch1) : 0;
}

uint32_t TGraph_2CH::Ch0MaxCode()
{
    return ScanExtreme(Ch0, Ch0Max, true);
}
uint32_t TGraph_2CH::Ch0MinCode()
{
    return ScanExtreme(Ch0, Ch0Min, false);
}
uint32_t TGraph_2CH::Ch1MaxCode()
{
    return ScanExtreme(Ch1, Ch1Max, true);
}
uint32_t TGraph_2CH::Ch1MinCode()
{
    return ScanExtreme(Ch1, Ch1Min, false);
}

float TGraph_2CH::Ch0MaxVolt()
{
    Ch0MaxCode();
    Ch0MaxV = static_cast<float>(CodeToMicrovolt(Ch0Max));
    return Ch0MaxV;
}

float TGraph_2CH::Ch0MinVolt()
{
    Ch0MinCode();
    Ch0MinV = static_cast<float>(CodeToMicrovolt(Ch0Min));
    return Ch0MinV;
}

float TGraph_2CH::Ch1MaxVolt()
{
    Ch1MaxCode();
    Ch1MaxV = static_cast<float>(CodeToMicrovolt(Ch1Max));
    return Ch1MaxV;
}

float TGraph_2CH::Ch1MinVolt()
{
    Ch1MinCode();
    Ch1MinV = static_cast<float>(CodeToMicrovolt(Ch1Min));
    return Ch1MinV;
}

// ---- Scales -----------------------------------------------------------------

void TGraph_2CH::ScanRecord()
{
    const int32_t n0 = Count0();
    if (n0 != 0) {
        ScanCodes(Ch0->Code, 0, n0 - 1, Ch0Max, Ch0Min);
        MaxCodeAll = Ch0Max;
        MinCodeAll = Ch0Min;
    } else {
        MaxCodeAll = 0;
        MinCodeAll = 0xFFFFFFFFu;
    }
    const int32_t n1 = Count1();
    if (n1 != 0) {
        ScanCodes(Ch1->Code, 0, n1 - 1, Ch1Max, Ch1Min);
        MaxCodeAll = std::max(MaxCodeAll, Ch1Max);
        MinCodeAll = std::min(MinCodeAll, Ch1Min);
    }
}

void TGraph_2CH::ScalesFromRange(bool withVoltScale)
{
    MaxVoltAll = static_cast<float>(CodeToMicrovolt(MaxCodeAll));
    MinVoltAll = static_cast<float>(CodeToMicrovolt(MinCodeAll));
    SpanCode = CodeSpan(MaxCodeAll, MinCodeAll);
    LowCode = CodeLow(MaxCodeAll, MinCodeAll, SpanCode);
    if (withVoltScale) {
        SpanVolt = VoltSpan(MaxVoltAll, MinVoltAll);
        LowVolt = VoltLow(MaxVoltAll, MinVoltAll, SpanVolt);
    }
}

void TGraph_2CH::ComputeScales()
{
    ScanRecord();
    ScalesFromRange(true);
}

void TGraph_2CH::ComputeBlockScales(int32_t Start, int32_t End)
{
    // Chosen by the channel setting: during a run the counts are still 0.
    const int32_t sel = Setting != nullptr ? Setting->CHSel : 0;
    MaxCodeAll = 0;
    MinCodeAll = 0xFFFFFFFFu;
    if ((sel == 0 || sel == 2) && Ch0 != nullptr && Ch0->Code != nullptr) {
        ScanCodes(Ch0->Code, Start, End, Ch0Max, Ch0Min);
        MaxCodeAll = Ch0Max;
        MinCodeAll = Ch0Min;
    }
    if ((sel == 1 || sel == 2) && Ch1 != nullptr && Ch1->Code != nullptr) {
        ScanCodes(Ch1->Code, Start, End, Ch1Max, Ch1Min);
        MaxCodeAll = std::max(MaxCodeAll, Ch1Max);
        MinCodeAll = std::min(MinCodeAll, Ch1Min);
    }
    ScalesFromRange(true);
}

// ---- Labels -------------------------------------------------------------------

void TGraph_2CH::SetYLabels(const YLabelTexts& texts, bool VoltMode)
{
    const PlotGeometry g = Geometry();
    for (int i = 0; i < kYLabelCount; ++i) {
        IGraphLabel* label = YLabels[i];
        if (label == nullptr)
            continue;
        // Text first: the label sizes itself to it, and the position depends on that size.
        label->SetText(texts[static_cast<size_t>(i)]);
        label->SetLeft(YLabelLeft(g, VoltMode, label->Width()));
        label->SetTop(YLabelTop(g, i, label->Height()));
    }
}

void TGraph_2CH::PlaceYLabels(bool VoltMode)
{
    const PlotGeometry g = Geometry();
    for (int i = 0; i < kYLabelCount; ++i) {
        IGraphLabel* label = YLabels[i];
        if (label == nullptr)
            continue;
        label->SetLeft(YLabelLeft(g, VoltMode, label->Width()));
        label->SetTop(YLabelTop(g, i, label->Height()));
    }
}

void TGraph_2CH::SetXLabels(const XLabelTexts& texts)
{
    const PlotGeometry g = Geometry();
    for (int i = 0; i < kXLabelCount; ++i) {
        IGraphLabel* label = XLabels[i];
        if (label == nullptr)
            continue;
        label->SetText(texts[static_cast<size_t>(i)]);
        label->SetLeft(XLabelLeft(g, i, label->Width()));
        label->SetTop(XLabelTop(g));
    }
}

void TGraph_2CH::RecordYLabels(bool VoltMode)
{
    // Nothing to label from: the texts stay, only the positions follow the box.
    if (Count0() == 0 && Count1() == 0) {
        PlaceYLabels(VoltMode);
        return;
    }
    SetYLabels(VoltMode ? VoltYLabelTexts(LowVolt, SpanVolt) : CodeYLabelTexts(LowCode, SpanCode),
               VoltMode);
}

// ---- Drawing steps ----------------------------------------------------------

void TGraph_2CH::ClearBitmap()
{
    FBitmap.fill(kWhite);
}

void TGraph_2CH::DrawHGrid()
{
    LineRaster r(FBitmap);
    r.SetColor(kGrey);
    for (int i = 0; i <= 10; ++i) {
        const int y = static_cast<int>((FBmpHeight - 1) * i * 0.1);
        r.MoveTo(0, y);
        r.LineTo(FBmpWidth - 1, y);
    }
}

void TGraph_2CH::DrawVGrid()
{
    LineRaster r(FBitmap);
    r.SetColor(kGrey);
    for (int i = 0; i <= 10; ++i) {
        const int x = static_cast<int>((FBmpWidth - 1) * i * 0.1);
        r.MoveTo(x, 0);
        r.LineTo(x, FBmpHeight - 1);
    }
}

void TGraph_2CH::PlotRecord(bool VoltMode)
{
    // Everything is read afresh here: a resize or redraw may have run while
    // events were processed just before.
    const int32_t n0 = Count0();
    const int32_t n1 = Count1();
    if (n0 == 0 && n1 == 0)
        return;
    const float xs = XStep(FBmpWidth, RecordXCount(n0, n1) - 1);
    const int h = FBmpHeight;
    LineRaster r(FBitmap);

    auto plot = [&](const TChannelData* ch, int32_t n, QRgb color) {
        if (n < 10)
            return;
        if (VoltMode && ch->Volt == nullptr)
            return;
        const double low = VoltMode ? static_cast<double>(LowVolt) : LowCode;
        const double span = VoltMode ? static_cast<double>(SpanVolt) : SpanCode;
        auto y = [&](int32_t i) {
            const double v =
                VoltMode ? static_cast<double>(ch->Volt[i]) : static_cast<double>(ch->Code[i]);
            return YPosition(v, low, span, h);
        };
        r.SetColor(color);
        // Segments that stay in one pixel column (many samples share a column
        // on a long record) chain into one unbroken vertical run of pixels:
        // lighting that run once gives exactly the pixels of every segment in
        // it, without writing them over and over. Every other segment is drawn
        // as it is.
        int runX = 0;
        int runLo = 1;
        int runHi = 0;
        auto flush = [&] {
            if (runLo <= runHi)
                r.Line(runX, runLo, runX, runHi + 1);
            runLo = 1;
            runHi = 0;
        };
        int x0 = XPosition(0, xs);
        int y0 = y(0);
        for (int32_t i = 0; i + 1 < n; ++i) {
            const int x1 = XPosition(i + 1, xs);
            const int y1 = y(i + 1);
            if (x1 == x0) {
                if (y1 != y0) {
                    // The end point is left out, as with any segment.
                    const int lo = y0 < y1 ? y0 : y1 + 1;
                    const int hi = y0 < y1 ? y1 - 1 : y0;
                    if (runLo > runHi || runX != x0) {
                        flush();
                        runX = x0;
                        runLo = lo;
                        runHi = hi;
                    } else {
                        runLo = std::min(runLo, lo);
                        runHi = std::max(runHi, hi);
                    }
                }
            } else {
                r.MoveTo(x0, y0);
                r.LineTo(x1, y1);
            }
            x0 = x1;
            y0 = y1;
        }
        flush();
    };
    plot(Ch0, n0, kRed);
    plot(Ch1, n1, kBlue); // over CH0 where they cross
}

void TGraph_2CH::PlotBlock(bool VoltMode, int32_t Start, int32_t End)
{
    if (End <= Start)
        return;
    const int32_t sel = Setting != nullptr ? Setting->CHSel : 0;
    auto usable = [&](const TChannelData* ch) {
        return ch != nullptr && (VoltMode ? ch->Volt != nullptr : ch->Code != nullptr);
    };
    const bool with0 = (sel == 0 || sel == 2) && usable(Ch0);
    const bool with1 = (sel == 1 || sel == 2) && usable(Ch1);
    const float xs = XStep(FBmpWidth, End - Start);
    const int h = FBmpHeight;
    const double low = VoltMode ? static_cast<double>(LowVolt) : LowCode;
    const double span = VoltMode ? static_cast<double>(SpanVolt) : SpanCode;
    auto y = [&](const TChannelData* ch, int32_t i) {
        const double v =
            VoltMode ? static_cast<double>(ch->Volt[i]) : static_cast<double>(ch->Code[i]);
        return YPosition(v, low, span, h);
    };
    LineRaster r(FBitmap);
    for (int32_t i = Start; i < End; ++i) {
        const int x0 = XPosition(i - Start, xs);
        const int x1 = XPosition(i - Start + 1, xs);
        if (with0) {
            r.SetColor(kRed);
            r.MoveTo(x0, y(Ch0, i));
            r.LineTo(x1, y(Ch0, i + 1));
        }
        if (with1) {
            r.SetColor(kBlue);
            r.MoveTo(x0, y(Ch1, i));
            r.LineTo(x1, y(Ch1, i + 1));
        }
    }
}

// ---- Drawing operations -----------------------------------------------------

void TGraph_2CH::DrawDefault(bool VoltMode)
{
    ClearBitmap();
    SetYLabels(DefaultYLabelTexts(VoltMode, Setting != nullptr ? Setting->Gain : 1), VoltMode);
    DrawHGrid();
    SetXLabels(DefaultXLabelTexts());
    DrawVGrid();
    CopyToPaintBox();
}

void TGraph_2CH::DrawRecord(bool VoltMode)
{
    ComputeScales();
    RecordYLabels(VoltMode);
    ClearBitmap();
    DrawHGrid();
    SetXLabels(RecordXLabelTexts(RecordXCount(Count0(), Count1())));
    DrawVGrid();
    if (ProcessEvents) {
        // A copy: a handler run from here may replace the hook.
        const std::function<void()> fn = ProcessEvents;
        fn();
    }
    PlotRecord(VoltMode);
    CopyToPaintBox();
}

void TGraph_2CH::DrawAxesOnly(bool VoltMode)
{
    ClearBitmap();
    if (!VoltMode) {
        // The volt scale is left as it is: volt labels keep using the last one.
        ScanRecord();
        ScalesFromRange(false);
    }
    RecordYLabels(VoltMode);
    DrawHGrid();
    SetXLabels(RecordXLabelTexts(RecordXCount(Count0(), Count1())));
    DrawVGrid();
    CopyToPaintBox();
}

void TGraph_2CH::DrawBlock(bool VoltMode, int32_t Start, int32_t End)
{
    // A block outside the sample storage, or reversed, is not drawn at all.
    if (Start < 0 || End < Start || End >= CHANNEL_CAPACITY)
        return;
    ClearBitmap();
    ComputeBlockScales(Start, End);
    SetYLabels(VoltMode ? VoltYLabelTexts(LowVolt, SpanVolt) : CodeYLabelTexts(LowCode, SpanCode),
               VoltMode);
    DrawHGrid();
    SetXLabels(BlockXLabelTexts(Start, End));
    DrawVGrid();
    PlotBlock(VoltMode, Start, End);
    CopyToPaintBox();
}
