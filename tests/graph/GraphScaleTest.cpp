// The graph's scaling, label and placement rules, without any image.

#include "GraphScale.h"
#include "UiFont.h"

#include <QFontMetrics>

#include <algorithm>

#include <gtest/gtest.h>

using namespace mirantos;

namespace {

constexpr uint32_t kZero = 2147483648u; // 0 V

QSize FixedSize(const QString& text)
{
    return {7 * static_cast<int>(text.size()), 12};
}

} // namespace

// ---- Code span and bottom ---------------------------------------------------

TEST(CodeSpan, PicksTheFirstSpanWhoseEightyPercentHoldsTheRange)
{
    EXPECT_EQ(CodeSpan(kZero + 8, kZero), 10.0);
    EXPECT_EQ(CodeSpan(kZero + 9, kZero), 20.0);
    EXPECT_EQ(CodeSpan(kZero + 16, kZero), 20.0);
    EXPECT_EQ(CodeSpan(kZero + 17, kZero), 50.0);
    EXPECT_EQ(CodeSpan(kZero + 40, kZero), 50.0);
    EXPECT_EQ(CodeSpan(kZero + 41, kZero), 100.0);
    EXPECT_EQ(CodeSpan(400000, 0), 500000.0);
    EXPECT_EQ(CodeSpan(400001, 0), 1000000.0);
}

TEST(CodeSpan, AboveFourBillionJumpsToSixBillion)
{
    EXPECT_EQ(CodeSpan(4000000000u, 0), 5000000000.0);
    EXPECT_EQ(CodeSpan(4000000001u, 0), 6000000000.0);
    EXPECT_EQ(CodeSpan(0xFFFFFFFFu, 0), 6000000000.0);
}

TEST(CodeSpan, ConstantSignalAndEmptyScanGiveTen)
{
    EXPECT_EQ(CodeSpan(kZero, kZero), 10.0);
    // Empty scan: max 0, min 0xFFFFFFFF; the difference wraps to 1.
    EXPECT_EQ(CodeSpan(0, 0xFFFFFFFFu), 10.0);
    EXPECT_EQ(CodeLow(0, 0xFFFFFFFFu, 10.0), 2147483642.0);
}

TEST(CodeLow, ConstantSignalSitsInTheMiddle)
{
    EXPECT_EQ(CodeLow(kZero, kZero, 10), 2147483643.0);
    const YLabelTexts t = CodeYLabelTexts(2147483643.0, 10);
    for (int i = 0; i < kYLabelCount; ++i)
        EXPECT_EQ(t[static_cast<size_t>(i)], QString::number(2147483653LL - i)) << i;
}

TEST(CodeLow, SpanFiftySnapsToStepsOfTwo)
{
    const double span = CodeSpan(2147483668u, 2147483648u);
    ASSERT_EQ(span, 50.0);
    // raw = 2147483633, snapped to a multiple of 2.
    EXPECT_EQ(CodeLow(2147483668u, 2147483648u, span), 2147483632.0);
}

TEST(CodeLow, SnapsTowardZeroBelowZero)
{
    // raw = 5.5 - 10 = -4.5: truncation gives -4, a floor would give -5.
    EXPECT_EQ(CodeLow(11, 0, CodeSpan(11, 0)), -4.0);
    EXPECT_EQ(CodeYLabelTexts(-4.0, 20.0)[10], "-4");
}

TEST(CodeLow, RangeAlwaysInsideTheAxis)
{
    const uint32_t cases[][2] = {{kZero + 999, kZero},       {kZero + 12345, kZero - 777},
                                 {0xFFFFFFFFu, 0xFFFFFF00u}, {123456789u, 100000000u},
                                 {kZero + 1, kZero},         {3000000000u, 1000}};
    for (const auto& c : cases) {
        const double span = CodeSpan(c[0], c[1]);
        const double low = CodeLow(c[0], c[1], span);
        EXPECT_LE(low, static_cast<double>(c[1])) << c[0] << " " << c[1];
        EXPECT_GE(low + span, static_cast<double>(c[0])) << c[0] << " " << c[1];
    }
}

// ---- Volt span and bottom ---------------------------------------------------

TEST(VoltSpan, ComparesTheFloatDifferenceWithDoubleThresholds)
{
    EXPECT_EQ(VoltSpan(0.16f, 0), 0.2f); // 0.16f lies just below 0.16
    EXPECT_EQ(VoltSpan(0.17f, 0), 0.5f);
    EXPECT_EQ(VoltSpan(4.0f, 0), 5.0f);
    EXPECT_EQ(VoltSpan(0.8f, 0), 2.0f); // 0.8f lies just above 0.8
    EXPECT_EQ(VoltSpan(4000000.0f, 0), 5000000.0f);
    EXPECT_EQ(VoltSpan(4000001.0f, 0), 6000000.0f);
    EXPECT_EQ(VoltSpan(2500000.0f, -2500000.0f), 6000000.0f);
}

TEST(VoltSpan, NegativeDifferenceGivesTheSmallestSpan)
{
    // What an empty scan produces: max -2.5 V, min +2.5 V.
    EXPECT_EQ(VoltSpan(-2500000.0f, 2500000.0f), 0.2f);
}

TEST(VoltLow, RoundsToTheNearestTenthHalvesAwayFromZero)
{
    // Span 500 (difference 250), step 50.
    EXPECT_EQ(VoltLow(400, 150, 500), 50.0f);     // a = 25: half a step rounds up
    EXPECT_EQ(VoltLow(-150, -400, 500), -550.0f); // a = -525: half rounds down
    EXPECT_EQ(VoltLow(1234, 1000, 500), 850.0f);  // a = 867
    EXPECT_EQ(VoltLow(0, 0, 0.2f), static_cast<float>(-5 * static_cast<double>(0.02f)));
}

// ---- Volt units and formats -------------------------------------------------

TEST(VoltUnit, ThresholdsAreTwoHundredAndTwoHundredThousandMicrovolts)
{
    EXPECT_STREQ(ChooseVoltUnit(200, 0).text, "uV");
    EXPECT_STREQ(ChooseVoltUnit(200.9f, 0).text, "uV"); // whole microvolts only
    EXPECT_STREQ(ChooseVoltUnit(201, 0).text, "mV");
    EXPECT_STREQ(ChooseVoltUnit(200000, 0).text, "mV");
    EXPECT_STREQ(ChooseVoltUnit(200001, 0).text, "V");
    EXPECT_EQ(ChooseVoltUnit(1, 0).factor, 1.0);
    EXPECT_EQ(ChooseVoltUnit(1000, 0).factor, 0.001);
    EXPECT_EQ(ChooseVoltUnit(1e6f, 0).factor, 0.000001);
}

TEST(VoltUnit, LargerOfSpanAndBottomDecides)
{
    EXPECT_STREQ(ChooseVoltUnit(500, -250).text, "mV");
    EXPECT_STREQ(ChooseVoltUnit(100, -50).text, "uV");
    EXPECT_STREQ(ChooseVoltUnit(2000, -1000000).text, "V");
    EXPECT_STREQ(ChooseVoltUnit(0.5f, 300000).text, "V");
}

TEST(VoltFormat, DecimalsFollowTheSpanInItsUnit)
{
    EXPECT_EQ(VoltDecimals(0.0009f), 5);
    EXPECT_EQ(VoltDecimals(0.001f), 4); // the float lies just above 0.001
    EXPECT_EQ(VoltDecimals(0.002f), 4);
    EXPECT_EQ(VoltDecimals(0.05f), 3);
    EXPECT_EQ(VoltDecimals(0.1f), 2); // just above 0.1
    EXPECT_EQ(VoltDecimals(1.0f), 2);
    EXPECT_EQ(VoltDecimals(2.0f), 1);
    EXPECT_EQ(VoltDecimals(10.0f), 1);
    EXPECT_EQ(VoltDecimals(20.0f), 0);
}

TEST(VoltLabels, BottomNearMinusOneVoltWithTwoMillivoltSpan)
{
    const YLabelTexts t = VoltYLabelTexts(-1000000.0f, 2000.0f);
    EXPECT_EQ(t[0], "-0.9980V");
    EXPECT_EQ(t[1], "-0.9982");
    EXPECT_EQ(t[5], "-0.9990");
    EXPECT_EQ(t[9], "-0.9998");
    EXPECT_EQ(t[10], "-1.0000V");
}

TEST(VoltLabels, OneMillivoltSpanInVoltsTakesFourDecimals)
{
    const YLabelTexts t = VoltYLabelTexts(-1000000.0f, 1000.0f);
    EXPECT_EQ(t[0], "-0.9990V");
    EXPECT_EQ(t[10], "-1.0000V");
}

TEST(VoltLabels, MillivoltAndMicrovoltExamples)
{
    // 500 uV around 0 V: millivolts, span' 0.5 -> two decimals.
    const YLabelTexts mv = VoltYLabelTexts(-250.0f, 500.0f);
    EXPECT_EQ(mv[0], "0.25mV");
    EXPECT_EQ(mv[5], "0.00");
    EXPECT_EQ(mv[10], "-0.25mV");
    // 100 uV around 0 V: microvolts, span 100 -> no decimals.
    const YLabelTexts uv = VoltYLabelTexts(-50.0f, 100.0f);
    EXPECT_EQ(uv[0], "50uV");
    EXPECT_EQ(uv[1], "40");
    EXPECT_EQ(uv[10], "-50uV");
    // Span 10 uV: one decimal; span 1 uV: two.
    EXPECT_EQ(VoltYLabelTexts(0.0f, 10.0f)[0], "10.0uV");
    EXPECT_EQ(VoltYLabelTexts(0.0f, 1.0f)[9], "0.10");
    // Unit text only on the first and last label.
    for (int i = 1; i < 10; ++i)
        EXPECT_FALSE(uv[static_cast<size_t>(i)].endsWith("uV")) << i;
}

// ---- Default axes -----------------------------------------------------------

TEST(DefaultLabels, CodeModeShowsTwoToTheThirtyOnePlusMinusThousand)
{
    const YLabelTexts t = DefaultYLabelTexts(false, 1);
    EXPECT_EQ(t[0], "2147484648");
    EXPECT_EQ(t[1], "2147484448");
    EXPECT_EQ(t[5], "2147483648");
    EXPECT_EQ(t[10], "2147482648");
}

TEST(DefaultLabels, VoltModeShowsTheSameRangeInVoltsWithoutUnit)
{
    const YLabelTexts t = DefaultYLabelTexts(true, 1);
    const char* expected[] = {"1.16",  "0.93",  "0.70",  "0.47",  "0.23", "0.00",
                              "-0.23", "-0.47", "-0.70", "-0.93", "-1.16"};
    for (int i = 0; i < kYLabelCount; ++i)
        EXPECT_EQ(t[static_cast<size_t>(i)], expected[i]) << i;
    EXPECT_EQ(DefaultYLabelTexts(true, 2)[0], "0.58");
    // A gain of 0 is never set; it must not produce "inf".
    EXPECT_EQ(DefaultYLabelTexts(true, 0)[0], "1.16");
}

TEST(DefaultLabels, XAxisReadsOneToThousand)
{
    const XLabelTexts x = DefaultXLabelTexts();
    EXPECT_EQ(x[0], "1");
    EXPECT_EQ(x[1], "1000");
    EXPECT_EQ(BlockXLabelTexts(100, 199)[0], "101");
    EXPECT_EQ(BlockXLabelTexts(100, 199)[1], "200");
}

// ---- X and Y mapping --------------------------------------------------------

TEST(XMapping, CountComesFromChannelOneFirstAndIsAtLeastHundred)
{
    EXPECT_EQ(RecordXCount(0, 0), 100);
    EXPECT_EQ(RecordXCount(37, 0), 100);
    EXPECT_EQ(RecordXCount(100, 0), 100);
    EXPECT_EQ(RecordXCount(101, 0), 101);
    EXPECT_EQ(RecordXCount(0, 10000), 10000);
    EXPECT_EQ(RecordXCount(5000, 200), 200);
}

TEST(XMapping, HundredSamplesAcross558)
{
    const float xs = XStep(558, 99);
    EXPECT_EQ(xs, static_cast<float>(556.0 / 99.0));
    EXPECT_NEAR(xs, 5.6161618f, 1e-6);
    EXPECT_EQ(XPosition(0, xs), 1);
    EXPECT_EQ(XPosition(1, xs), 6);
    EXPECT_EQ(XPosition(2, xs), 12);
    EXPECT_EQ(XPosition(98, xs), 551);
    EXPECT_EQ(XPosition(99, xs), 557);
    // A run stopped after 37 samples fills 36/99 of the width.
    EXPECT_EQ(XPosition(36, xs), 203);
}

TEST(XMapping, TenThousandSamplesEndOneColumnShort)
{
    const float xs = XStep(558, 9999);
    EXPECT_LT(static_cast<double>(xs), 556.0 / 9999.0);
    EXPECT_EQ(XPosition(0, xs), 1);
    EXPECT_EQ(XPosition(9999, xs), 556);
}

TEST(YMapping, TopOfRangeIsRowZeroBottomIsOneBelowTheImage)
{
    EXPECT_EQ(YPosition(2147483653.0, 2147483643.0, 10.0, 415), 0);
    EXPECT_EQ(YPosition(2147483643.0, 2147483643.0, 10.0, 415), 415);
    EXPECT_EQ(YPosition(2147483648.0, 2147483643.0, 10.0, 415), 207);
    // Just above the top truncates toward zero, further out goes negative.
    EXPECT_EQ(YPosition(10.01, 0.0, 10.0, 415), 0);
    EXPECT_LT(YPosition(11.0, 0.0, 10.0, 415), 0);
}

TEST(YMapping, FarOffValuesStayIntegers)
{
    EXPECT_EQ(YPosition(1e30, 0.0, 10.0, 415), -kYLimit);
    EXPECT_EQ(YPosition(-1e30, 0.0, 10.0, 415), kYLimit);
    EXPECT_EQ(YPosition(std::nan(""), 0.0, 10.0, 415), -kYLimit);
}

// ---- Label placement --------------------------------------------------------

TEST(LabelPlacement, PaintBoxAt72And24)
{
    const PlotGeometry g{72, 24, 558, 415};
    const int tops[] = {19, 60, 102, 143, 185, 226, 268, 309, 351, 392, 434};
    for (int i = 0; i < kYLabelCount; ++i) {
        EXPECT_EQ(YLabelTop(g, i, 12), tops[i]) << i;
    }
    // Code labels start at one place while they fit 64 px; wider ones end 3 px
    // left of the box.
    EXPECT_EQ(YLabelLeft(g, false, 7), 5);
    EXPECT_EQ(YLabelLeft(g, false, 64), 5);
    EXPECT_EQ(YLabelLeft(g, false, 65), 4);
    EXPECT_EQ(YLabelLeft(g, false, 69), 0);
    // Never left of the parent's edge, where the leading digits would be cut off.
    EXPECT_EQ(YLabelLeft(g, false, 70), 0);
    EXPECT_EQ(YLabelLeft(g, false, 75), 0);
    EXPECT_EQ(YLabelLeft(PlotGeometry{100, 24, 558, 415}, false, 75), 22);
    // Volt labels keep their rule whatever their width.
    EXPECT_EQ(YLabelLeft(g, true, 75), -6);
    EXPECT_EQ(XLabelLeft(g, 0, 7), 72);
    EXPECT_EQ(XLabelTop(g), 449);
    EXPECT_EQ(XLabelLeft(g, 1, 35), 72 + 558 - 35); // right edge on the bitmap's
}

TEST(LabelPlacement, VoltLabelsEndThreePixelsLeftOfTheBox)
{
    const PlotGeometry g{72, 24, 558, 415};
    for (const QString& text : VoltYLabelTexts(-250.0f, 500.0f)) {
        const int width = FixedSize(text).width();
        EXPECT_EQ(YLabelLeft(g, true, width) + width, 69) << text.toStdString();
    }
}

TEST(LabelPlacement, TenDigitCodeLabelsInTheWindowFontKeepEveryDigitAndStayClearOfTheBox)
{
    const PlotGeometry g{72, 24, 558, 415};
    const QFontMetrics metrics(UiFont(WindowFontPixels));
    const PlotGeometry wide{100, 24, 558, 415}; // room for any ten digits
    for (const QString& text : CodeYLabelTexts(4294967295.0 - 5e8, 5e8)) {
        const int width = metrics.horizontalAdvance(text);
        const int left = YLabelLeft(g, false, width);
        EXPECT_GE(left, 0) << text.toStdString(); // every digit inside the window
        EXPECT_LE(left + width, std::max(69, width)) << text.toStdString() << " " << width;
        if (width <= 64) {
            EXPECT_EQ(left, 5) << text.toStdString();
        }
        EXPECT_LE(YLabelLeft(wide, false, width) + width, 97) << text.toStdString();
    }
}

TEST(LabelPlacement, OddLabelHeightUsesFloorOfHalf)
{
    const PlotGeometry g{0, 0, 100, 100};
    EXPECT_EQ(YLabelTop(g, 0, 13), 1 - 6);
    EXPECT_EQ(YLabelTop(g, 10, 13), 101 - 6);
}
