#include "ReadoutText.h"

#include "Texts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

using mirantos::U;

namespace mirantos {

QString FormatMask(double value, int decimals)
{
    // The masks use 0..5; anything outside 0..MaxMaskDecimals is clamped.
    decimals = std::clamp(decimals, 0, MaxMaskDecimals);
    if (!std::isfinite(value))
        return QString::number(value);

    // Print the magnitude with far more decimals than asked (glibc prints the
    // exact binary value, rounded only at the 40th place), then round that
    // decimal text half away from zero ourselves: printf alone would round
    // exact ties to even.
    char buf[512];
    std::snprintf(buf, sizeof buf, "%.40f", std::fabs(value));
    std::string digits(buf);
    const size_t point = digits.find('.');
    std::string intPart = digits.substr(0, point);
    std::string frac = digits.substr(point + 1);

    std::string kept = intPart + frac.substr(0, static_cast<size_t>(decimals));
    const bool roundUp = frac[static_cast<size_t>(decimals)] >= '5';
    if (roundUp) {
        int i = static_cast<int>(kept.size()) - 1;
        while (i >= 0) {
            if (kept[static_cast<size_t>(i)] == '9') {
                kept[static_cast<size_t>(i)] = '0';
                --i;
            } else {
                ++kept[static_cast<size_t>(i)];
                break;
            }
        }
        if (i < 0)
            kept.insert(kept.begin(), '1');
    }

    const size_t intDigits = kept.size() - static_cast<size_t>(decimals);
    std::string out = kept.substr(0, intDigits);
    if (decimals > 0)
        out += "." + kept.substr(intDigits);

    const bool allZero = kept.find_first_not_of('0') == std::string::npos;
    if (value < 0 && !allZero)
        out.insert(out.begin(), '-');
    return QString::fromLatin1(out.c_str());
}

namespace {

// Codes: one decimal from a sigma of 10 up, two below.
int CodeSigmaDecimals(float sigma)
{
    return sigma >= 10.0f ? 1 : 2;
}

// Microvolts: whole numbers from 100 up, one decimal from 10 up, two below.
int VoltDecimals(float sigma)
{
    if (sigma >= 100.0f)
        return 0;
    if (sigma >= 10.0f)
        return 1;
    return 2;
}

} // namespace

QString SampleText(int32_t n, uint32_t code)
{
    return U(text::SampleNumber) + QString::number(n) + U(text::SampleCode) + QString::number(code);
}

QString SampleText2ch(int32_t n, uint32_t code0, uint32_t code1)
{
    return SampleText(n, code0) + U(text::Separator) + QString::number(code1);
}

QString StatCodeText(uint32_t maxCode, uint32_t minCode, float sigma, int32_t channel)
{
    // Signed 64-bit: a full-range set (max 4294967295, min 0) neither wraps nor overflows.
    const int64_t pp = static_cast<int64_t>(maxCode) - static_cast<int64_t>(minCode);
    return U(text::Channel) + QString::number(channel) + U(text::Maximum) +
           QString::number(maxCode) + U(text::Minimum) + QString::number(minCode) +
           U(text::PeakToPeak) + QString::number(static_cast<qlonglong>(pp)) + U(text::UnitDigit) +
           U(text::Sigma) + FormatMask(static_cast<double>(sigma), CodeSigmaDecimals(sigma)) +
           U(text::UnitDigit);
}

QString StatVoltText(int32_t channel, double maxUv, double minUv, float sigmaUv, const char* unit)
{
    const int d = VoltDecimals(sigmaUv);
    const double maxD = maxUv;
    const double minD = minUv;
    const QString u = U(unit != nullptr ? unit : text::UnitMicrovolt);
    return U(text::Channel) + QString::number(channel) + U(text::Maximum) + FormatMask(maxD, d) +
           u + U(text::Minimum) + FormatMask(minD, d) + u + U(text::PeakToPeak) +
           FormatMask(maxD - minD, d) + u + U(text::Sigma) +
           FormatMask(static_cast<double>(sigmaUv), d) + u;
}

} // namespace mirantos
