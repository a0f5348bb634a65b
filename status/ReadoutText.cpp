#include "ReadoutText.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace mirantos {

QString FormatMask(double value, int decimals)
{
    if (decimals < 0)
        decimals = 0;
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

} // namespace mirantos
