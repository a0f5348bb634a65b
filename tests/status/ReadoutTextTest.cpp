#include "ReadoutText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using mirantos::FormatMask;
using mirantos::SampleText;
using mirantos::SampleText2ch;
using mirantos::StatCodeText;
using mirantos::StatVoltText;

namespace {

QString Q(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

} // namespace

// --- Number masks -----------------------------------------------------------

TEST(FormatMask, FixedDecimalsWithLeadingDigit)
{
    EXPECT_EQ(FormatMask(0.5, 0), "1");
    EXPECT_EQ(FormatMask(0.25, 1), "0.3");
    EXPECT_EQ(FormatMask(0.5, 5), "0.50000");
    EXPECT_EQ(FormatMask(0.0, 2), "0.00");
    EXPECT_EQ(FormatMask(4294967295.0, 0), "4294967295");
    EXPECT_EQ(FormatMask(1234567.0, 3), "1234567.000");
}

TEST(FormatMask, HalvesRoundAwayFromZero)
{
    EXPECT_EQ(FormatMask(2.5, 0), "3");
    EXPECT_EQ(FormatMask(-2.5, 0), "-3");
    EXPECT_EQ(FormatMask(0.125, 2), "0.13");
    EXPECT_EQ(FormatMask(-0.125, 2), "-0.13");
    EXPECT_EQ(FormatMask(1.0 / 64, 5), "0.01563"); // 0.015625 exactly
    EXPECT_EQ(FormatMask(-1.0 / 64, 5), "-0.01563");
}

TEST(FormatMask, RoundsTheExactBinaryValue)
{
    // 2.675 and 1.005 are stored a hair below the half-way point.
    EXPECT_EQ(FormatMask(2.675, 2), "2.67");
    EXPECT_EQ(FormatMask(1.005, 2), "1.00");
    EXPECT_EQ(FormatMask(0.1, 5), "0.10000");
}

TEST(FormatMask, CarryReachesTheIntegerPart)
{
    EXPECT_EQ(FormatMask(9.9990234375, 2), "10.00");
    EXPECT_EQ(FormatMask(-99.9990234375, 2), "-100.00");
    EXPECT_EQ(FormatMask(999.5, 0), "1000");
}

TEST(FormatMask, NegativeThatRoundsToZeroHasNoMinus)
{
    EXPECT_EQ(FormatMask(-0.004, 2), "0.00");
    EXPECT_EQ(FormatMask(-0.005, 2), "-0.01");
    EXPECT_EQ(FormatMask(-0.0, 2), "0.00");
    EXPECT_EQ(FormatMask(-0.4, 0), "0");
    EXPECT_EQ(FormatMask(-0.000004, 5), "0.00000");
    EXPECT_EQ(FormatMask(-0.5, 0), "-1");
}

TEST(FormatMask, OutOfRangeDecimalsAreClamped)
{
    EXPECT_EQ(FormatMask(1.5, -3), "2");
    const QString many = FormatMask(0.5, 1000);
    EXPECT_EQ(many, "0." + QString(mirantos::MaxMaskDecimals, '0').replace(0, 1, "5"));
}

TEST(FormatMask, LargestMagnitudesDoNotOverflow)
{
    const double big = std::numeric_limits<double>::max();
    const QString text = FormatMask(-big, 5);
    EXPECT_TRUE(text.startsWith("-1797693134862315"));
    EXPECT_TRUE(text.endsWith(".00000"));
    EXPECT_EQ(FormatMask(std::numeric_limits<double>::denorm_min(), 5), "0.00000");
}

// --- Progress readout -------------------------------------------------------

TEST(SampleText, OneChannelExample)
{
    EXPECT_EQ(SampleText(250, 2147483650u), Q("データ番号：250 / AD変換値：2147483650"));
}

TEST(SampleText, TwoChannelExample)
{
    EXPECT_EQ(SampleText2ch(250, 2147483650u, 2147483600u),
              Q("データ番号：250 / AD変換値：2147483650 / 2147483600"));
}

TEST(SampleText, CodesPrintUnsigned)
{
    EXPECT_EQ(SampleText(1, 4294967295u), Q("データ番号：1 / AD変換値：4294967295"));
    EXPECT_EQ(SampleText2ch(10000, 0u, 4294967295u),
              Q("データ番号：10000 / AD変換値：0 / 4294967295"));
}

// --- Statistics in codes ----------------------------------------------------

TEST(StatCodeText, Examples)
{
    EXPECT_EQ(StatCodeText(2147483700u, 2147483600u, 12.34f, 0),
              Q("CH0 : 最大値：2147483700 / 最小値：2147483600 / pp値：100 digit / "
                "標準偏差：12.3 digit"));
    EXPECT_EQ(StatCodeText(2147483700u, 2147483600u, 1.234f, 1),
              Q("CH1 : 最大値：2147483700 / 最小値：2147483600 / pp値：100 digit / "
                "標準偏差：1.23 digit"));
}

TEST(StatCodeText, SigmaFormatFollowsValueBeforeRounding)
{
    auto sigmaOf = [](float s) {
        const QString t = StatCodeText(5u, 5u, s, 0);
        return t.mid(t.indexOf(Q("標準偏差：")) + 5);
    };
    EXPECT_EQ(sigmaOf(10.0f), "10.0 digit");
    EXPECT_EQ(sigmaOf(9.99f), "9.99 digit");
    EXPECT_EQ(sigmaOf(9.996f), "10.00 digit");
    EXPECT_EQ(sigmaOf(std::nextafter(10.0f, 0.0f)), "10.00 digit");
    EXPECT_EQ(sigmaOf(99.96f), "100.0 digit");
    EXPECT_EQ(sigmaOf(12345.67f), "12345.7 digit");
}

TEST(StatCodeText, FullRangePeakToPeakDoesNotOverflow)
{
    EXPECT_EQ(StatCodeText(4294967295u, 0u, 1.0f, 0),
              Q("CH0 : 最大値：4294967295 / 最小値：0 / pp値：4294967295 digit / "
                "標準偏差：1.00 digit"));
}

TEST(StatCodeText, PeakToPeakIsSignedDifference)
{
    // Swapped extremes give a negative figure instead of wrapping round.
    EXPECT_TRUE(StatCodeText(0u, 4294967295u, 1.0f, 0).contains(Q("pp値：-4294967295 digit")));
}

TEST(StatCodeText, IdenticalSamples)
{
    EXPECT_EQ(StatCodeText(2147483648u, 2147483648u, 0.0f, 1),
              Q("CH1 : 最大値：2147483648 / 最小値：2147483648 / pp値：0 digit / "
                "標準偏差：0.00 digit"));
}

// --- Statistics in microvolts -----------------------------------------------

TEST(StatVoltText, Example)
{
    EXPECT_EQ(
        StatVoltText(0, 1.2345f, -0.5f, 0.4f),
        Q("CH0 : 最大値：1.23[uV] / 最小値：-0.50[uV] / pp値：1.73[uV] / 標準偏差：0.40[uV]"));
}

TEST(StatVoltText, HundredMicrovoltsMakesWholeNumbers)
{
    EXPECT_EQ(StatVoltText(1, 2.5f, -2.5f, 100.0f),
              Q("CH1 : 最大値：3[uV] / 最小値：-3[uV] / pp値：5[uV] / 標準偏差：100[uV]"));
}

TEST(StatVoltText, BelowHundredGivesOneDecimalOnAllFour)
{
    EXPECT_EQ(StatVoltText(0, 250.25f, -250.25f, 99.9f),
              Q("CH0 : 最大値：250.3[uV] / 最小値：-250.3[uV] / pp値：500.5[uV] / "
                "標準偏差：99.9[uV]"));
    EXPECT_EQ(StatVoltText(0, 1.0f, 0.0f, 99.97f),
              Q("CH0 : 最大値：1.0[uV] / 最小値：0.0[uV] / pp値：1.0[uV] / 標準偏差：100.0[uV]"));
}

TEST(StatVoltText, TenMicrovoltsThreshold)
{
    EXPECT_EQ(StatVoltText(0, 1.0f, 0.0f, 10.0f),
              Q("CH0 : 最大値：1.0[uV] / 最小値：0.0[uV] / pp値：1.0[uV] / 標準偏差：10.0[uV]"));
    EXPECT_EQ(StatVoltText(0, 1.0f, 0.0f, 9.996f),
              Q("CH0 : 最大値：1.00[uV] / 最小値：0.00[uV] / pp値：1.00[uV] / "
                "標準偏差：10.00[uV]"));
}

TEST(StatVoltText, NegativeMicrovolts)
{
    EXPECT_EQ(StatVoltText(1, -3.25f, -10.5f, 0.5f),
              Q("CH1 : 最大値：-3.25[uV] / 最小値：-10.50[uV] / pp値：7.25[uV] / "
                "標準偏差：0.50[uV]"));
    // A tiny negative extreme that rounds to zero prints without its minus.
    EXPECT_TRUE(StatVoltText(0, 1.0f, -0.004f, 0.5f).contains(Q("最小値：0.00[uV]")));
}

TEST(StatVoltText, PeakToPeakFormedInDouble)
{
    // In float, 2000000 - (-0.0625) would lose the fraction.
    EXPECT_TRUE(StatVoltText(0, 2000000.0f, -0.0625f, 1.0f).contains(Q("pp値：2000000.06[uV]")));
    EXPECT_TRUE(StatVoltText(0, 2500000.0f, -2500000.0f, 1.0f).contains(Q("pp値：5000000.00[uV]")));
}

TEST(StatVoltText, IdenticalSamples)
{
    EXPECT_EQ(StatVoltText(0, 1.5f, 1.5f, 0.0f),
              Q("CH0 : 最大値：1.50[uV] / 最小値：1.50[uV] / pp値：0.00[uV] / 標準偏差：0.00[uV]"));
}
