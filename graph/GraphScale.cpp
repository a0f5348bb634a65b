#include "GraphScale.h"

#include "ReadoutText.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace mirantos {

namespace {

// Floor division for the label rows (a negative height never reaches here, but
// a plain "/" would round the wrong way if it did).
int FloorDiv(int a, int b)
{
    int q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

// Real to signed 32-bit, truncating toward zero, pinned inside the type so an
// absurd input cannot make the conversion undefined.
int32_t TruncToInt32(double v)
{
    if (!(v > -2147483648.0))
        return INT32_MIN;
    if (v >= 2147483647.0)
        return INT32_MAX;
    return static_cast<int32_t>(v);
}

} // namespace

// ---- Scaling ----------------------------------------------------------------

double CodeSpan(uint32_t maxCode, uint32_t minCode)
{
    // Unsigned and wrapping on purpose: an empty scan (0 - 0xFFFFFFFF) gives 1.
    const uint64_t d = static_cast<uint32_t>(maxCode - minCode);
    for (uint64_t decade = 10; decade <= 1000000000ULL; decade *= 10) {
        for (const uint64_t m : {1ULL, 2ULL, 5ULL}) {
            const uint64_t value = m * decade;
            if (d * 5 <= value * 4) // d <= 0.8 * value, in integers
                return static_cast<double>(value);
        }
    }
    return 6000000000.0;
}

double CodeLow(uint32_t maxCode, uint32_t minCode, double spanCode)
{
    const double raw =
        (static_cast<double>(maxCode) + static_cast<double>(minCode)) * 0.5 - spanCode * 0.5;
    if (spanCode > 10) {
        const auto step = static_cast<int64_t>(spanCode * 0.05);
        return static_cast<double>(static_cast<int64_t>(raw / static_cast<double>(step)) * step);
    }
    return std::trunc(raw);
}

float VoltSpan(float maxVolt, float minVolt)
{
    static constexpr double kSpans[] = {0.2,   0.5, 1,   2,    5,    10,   20,    50,
                                        100,   200, 500, 1000, 2000, 5000, 10000, 20000,
                                        50000, 1e5, 2e5, 5e5,  1e6,  2e6,  5e6};
    static constexpr double kThresholds[] = {
        0.16, 0.4,  0.8,  1.6,   4,     8,     16,     40,     80,     160,   400, 800,
        1600, 4000, 8000, 16000, 40000, 80000, 160000, 400000, 800000, 1.6e6, 4e6};
    static_assert(std::size(kSpans) == std::size(kThresholds));
    const float diff = maxVolt - minVolt;
    for (size_t i = 0; i < std::size(kSpans); ++i) {
        if (static_cast<double>(diff) <= kThresholds[i])
            return static_cast<float>(kSpans[i]);
    }
    return 6000000.0f;
}

float VoltLow(float maxVolt, float minVolt, float spanVolt)
{
    const auto step = static_cast<float>(static_cast<double>(spanVolt) * 0.1);
    const auto a =
        static_cast<float>((static_cast<double>(maxVolt) + static_cast<double>(minVolt)) * 0.5 -
                           static_cast<double>(spanVolt) * 0.5);
    const double s = step;
    if (a >= 0)
        return static_cast<float>(TruncToInt32(a / s + 0.5) * s);
    return static_cast<float>(-TruncToInt32(-a / s + 0.5) * s);
}

// ---- Label texts ------------------------------------------------------------

VoltUnit ChooseVoltUnit(float spanVolt, float lowVolt)
{
    const int64_t m = std::max(std::llabs(static_cast<long long>(TruncToInt32(spanVolt))),
                               std::llabs(static_cast<long long>(TruncToInt32(lowVolt))));
    if (m > 200000)
        return {"V", 0.000001};
    if (m > 200)
        return {"mV", 0.001};
    return {"uV", 1.0};
}

int VoltDecimals(float spanInUnit)
{
    const double s = spanInUnit;
    if (s <= 0.001)
        return 5;
    if (s <= 0.01)
        return 4;
    if (s <= 0.1)
        return 3;
    if (s <= 1)
        return 2;
    if (s <= 10)
        return 1;
    return 0;
}

YLabelTexts CodeYLabelTexts(double lowCode, double spanCode)
{
    YLabelTexts t;
    for (int i = 0; i < kYLabelCount; ++i)
        t[static_cast<size_t>(i)] = FormatMask(lowCode + spanCode - i * spanCode * 0.1, 0);
    return t;
}

YLabelTexts VoltYLabelTexts(float lowVolt, float spanVolt)
{
    const VoltUnit unit = ChooseVoltUnit(spanVolt, lowVolt);
    const auto span = static_cast<float>(static_cast<double>(spanVolt) * unit.factor);
    const auto low = static_cast<float>(static_cast<double>(lowVolt) * unit.factor);
    const int decimals = VoltDecimals(span);
    YLabelTexts t;
    for (int i = 0; i < kYLabelCount; ++i) {
        const auto v = static_cast<float>(static_cast<double>(low) + static_cast<double>(span) -
                                          i * static_cast<double>(span) * 0.1);
        QString s = FormatMask(v, decimals);
        if (i == 0 || i == kYLabelCount - 1)
            s += QLatin1String(unit.text);
        t[static_cast<size_t>(i)] = s;
    }
    return t;
}

YLabelTexts DefaultYLabelTexts(bool voltMode, int32_t gain)
{
    YLabelTexts t;
    for (int i = 0; i < kYLabelCount; ++i) {
        const int64_t code = 2147484648LL - 200LL * i;
        if (!voltMode) {
            t[static_cast<size_t>(i)] = QString::number(code);
            continue;
        }
        // Same guard as the code conversion: a gain of 0 is treated as 1.
        const double g = gain == 0 ? 1.0 : static_cast<double>(gain);
        const auto v = static_cast<float>(static_cast<double>(code - 2147483648LL) * 2500000.0 *
                                          std::ldexp(1.0, -31) / g);
        t[static_cast<size_t>(i)] = FormatMask(v, 2);
    }
    return t;
}

XLabelTexts DefaultXLabelTexts()
{
    return {QStringLiteral("1"), QStringLiteral("1000")};
}

XLabelTexts RecordXLabelTexts(int32_t xCount)
{
    return {QStringLiteral("1"), QString::number(xCount)};
}

XLabelTexts BlockXLabelTexts(int32_t start, int32_t end)
{
    return {QString::number(static_cast<int64_t>(start) + 1),
            QString::number(static_cast<int64_t>(end) + 1)};
}

// ---- Pixel mapping ----------------------------------------------------------

int32_t RecordXCount(int32_t ch0Count, int32_t ch1Count)
{
    const int32_t n = ch1Count != 0 ? ch1Count : ch0Count;
    return n <= 100 ? 100 : n;
}

float XStep(int bmpWidth, int32_t intervals)
{
    return static_cast<float>(static_cast<double>(bmpWidth - 2) / static_cast<double>(intervals));
}

int XPosition(int32_t index, float xs)
{
    // The product in double is exact, so a step that lies just below the true
    // quotient keeps the last sample one column short, as it should.
    return TruncToInt32(static_cast<double>(index) * static_cast<double>(xs)) + 1;
}

int YPosition(double value, double low, double span, int bmpHeight)
{
    double y = static_cast<double>(bmpHeight) * (1.0 - (value - low) / span);
    if (!(y > -kYLimit)) // also catches NaN
        y = -kYLimit;
    if (y > kYLimit)
        y = kYLimit;
    return static_cast<int>(y);
}

// ---- Label placement --------------------------------------------------------

int YLabelLeft(const PlotGeometry& g, bool voltMode, int labelWidth)
{
    if (voltMode)
        return g.boxLeft - 3 - labelWidth;
    // Code labels start at one place while they fit the 64 px before the box;
    // a wider one (a font with wide digits) ends 3 px left of the box instead
    // of running into it, as the volt labels do, but never starts left of the
    // parent's edge, where the window would cut off its leading digits.
    if (labelWidth <= kCodeLabelRoom)
        return g.boxLeft - 67;
    return std::max(0, g.boxLeft - 3 - labelWidth);
}

int YLabelTop(const PlotGeometry& g, int index, int labelHeight)
{
    return g.boxTop + 1 + FloorDiv(g.bmpHeight * index, 10) - FloorDiv(labelHeight, 2);
}

int XLabelLeft(const PlotGeometry& g, int index, int labelWidth)
{
    return index == 0 ? g.boxLeft : g.boxLeft + g.bmpWidth - labelWidth;
}

int XLabelTop(const PlotGeometry& g)
{
    return g.boxTop + g.bmpHeight + 10;
}

} // namespace mirantos
