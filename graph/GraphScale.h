#pragma once
// The graph's arithmetic, free of any image or widget: automatic Y scaling in
// codes and microvolts, axis label texts, the sample-to-pixel mapping and where
// the labels go beside the plot. The widths are deliberate: the volt scale is
// float32, the code scale float64, the X step float32, and every real-to-int
// conversion truncates toward zero.

#include <QSize>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>

namespace mirantos {

inline constexpr int kYLabelCount = 11;
inline constexpr int kXLabelCount = 2;

// ---- Scaling ----------------------------------------------------------------

// Code span: first of 10, 20, 50, 100, ... 5e9 whose 80 % is not below
// max - min (unsigned, wrapping); a difference above 4e9 gives 6e9.
double CodeSpan(uint32_t maxCode, uint32_t minCode);
// Code bottom: centre minus half the span, snapped down (toward zero) to a
// twentieth of the span; a span of 10 only drops the fraction.
double CodeLow(uint32_t maxCode, uint32_t minCode, double spanCode);

// Volt span: first of 0.2, 0.5, 1, ... 5e6 uV whose 80 % is not below
// max - min; above 4e6 gives 6e6, a negative difference gives 0.2.
float VoltSpan(float maxVolt, float minVolt);
// Volt bottom: centre minus half the span, rounded to the nearest tenth of the
// span, halves away from zero.
float VoltLow(float maxVolt, float minVolt, float spanVolt);

// ---- Label texts ------------------------------------------------------------

using YLabelTexts = std::array<QString, kYLabelCount>;
using XLabelTexts = std::array<QString, kXLabelCount>;

struct VoltUnit {
    const char* text; // "V", "mV" or "uV"
    double factor;    // microvolts to that unit
};

// Unit from the larger of |trunc(span)| and |trunc(low)|: above 200000 uV
// volts, above 200 uV millivolts, else microvolts.
VoltUnit ChooseVoltUnit(float spanVolt, float lowVolt);
// Decimals of the volt labels for a span already in the chosen unit.
int VoltDecimals(float spanInUnit);

// Label i (0 top .. 10 bottom) in codes: low + span - i * span / 10, no unit.
YLabelTexts CodeYLabelTexts(double lowCode, double spanCode);
// Label i in the chosen volt unit; top and bottom carry the unit text.
YLabelTexts VoltYLabelTexts(float lowVolt, float spanVolt);
// The empty graph's axis: 2^31 +- 1000 codes, or that range in volts ("0.00").
YLabelTexts DefaultYLabelTexts(bool voltMode, int32_t gain);
XLabelTexts DefaultXLabelTexts();
XLabelTexts RecordXLabelTexts(int32_t xCount);
XLabelTexts BlockXLabelTexts(int32_t start, int32_t end);

// ---- Pixel mapping ----------------------------------------------------------

// Samples on the record's X axis: CH1's count if it has one, else CH0's,
// never less than 100.
int32_t RecordXCount(int32_t ch0Count, int32_t ch1Count);
// Horizontal step for `intervals` sample intervals across the bitmap.
float XStep(int bmpWidth, int32_t intervals);
// x of the sample `index` positions from the left end of the axis.
int XPosition(int32_t index, float xs);
// y of a value against a scale: the top of the range at 0, the bottom at
// bmpHeight. Far-off values are pinned to +-kYLimit so they stay integers.
inline constexpr int kYLimit = 1 << 24;
int YPosition(double value, double low, double span, int bmpHeight);

// ---- Label placement --------------------------------------------------------

// Where the plot sits among the labels: the paint box's position in the labels'
// parent and the bitmap size inside it.
struct PlotGeometry {
    int boxLeft = 0;
    int boxTop = 0;
    int bmpWidth = 0;
    int bmpHeight = 0;
};

struct LabelPlacement {
    QString text;
    int left = 0;
    int top = 0;
};

// Y label i (0 top .. 10 bottom) of the given size: middle on the grid row,
// code labels at box left - 67 while at most kCodeLabelRoom wide, volt labels
// and wider code labels right-aligned 3 px left of the box; a code label that
// would then start left of the parent's edge (x 0) starts at that edge.
inline constexpr int kCodeLabelRoom = 64;
int YLabelLeft(const PlotGeometry& g, bool voltMode, int labelWidth);
int YLabelTop(const PlotGeometry& g, int index, int labelHeight);
// X label 0 (first sample, left-aligned) or 1 (last sample, right-aligned).
int XLabelLeft(const PlotGeometry& g, int index, int labelWidth);
int XLabelTop(const PlotGeometry& g);

// Size of a label showing a text (labels size themselves to their text).
using MeasureText = std::function<QSize(const QString&)>;

} // namespace mirantos
