#include "TraceTicks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace mirantos::trace {

namespace {

// Multiples of step in [lo, hi], at most a screenful.
std::vector<double> Multiples(double lo, double hi, double step)
{
    std::vector<double> out;
    if (!(step > 0) || !(hi >= lo))
        return out;
    const double k0 = std::ceil(lo / step - 1e-9);
    for (double k = k0; k * step <= hi + step * 1e-9 && out.size() < 4096; k += 1)
        out.push_back(k * step);
    return out;
}

// The row map of TraceView.h continued between codes: the centre of code c's band.
double RowOf(const TViewY& v, double code)
{
    const double span = static_cast<double>(v.high) - static_cast<double>(v.low) + 1.0;
    return (2.0 * (static_cast<double>(v.high) - code) + 1.0) * v.height / (2.0 * span);
}

} // namespace

double NiceStep(double raw, double floor)
{
    if (!(raw > 0) || !std::isfinite(raw))
        return std::max(floor, 1.0);
    const double p = std::pow(10.0, std::floor(std::log10(raw)));
    double step = 10 * p;
    for (double m : {1.0, 2.0, 5.0})
        if (m * p >= raw * (1 - 1e-12)) {
            step = m * p;
            break;
        }
    return std::max(step, floor);
}

int StepDecimals(double step)
{
    if (!(step > 0) || step >= 1)
        return 0;
    return std::clamp(static_cast<int>(std::ceil(-std::log10(step) - 1e-9)), 0, 10);
}

double TimeToColumn(const TViewX& v, double rateSps, double seconds)
{
    // ColumnOfSample continued between samples: ceil of this is the column the
    // renderer puts the sample's point in.
    const double sample = seconds * rateSps;
    return ((sample + 1) * static_cast<double>(kOne) - static_cast<double>(v.first)) /
               static_cast<double>(v.step) -
           1;
}

double ColumnToTime(const TViewX& v, double rateSps, double x)
{
    if (!(rateSps > 0))
        return 0;
    const double sample = (static_cast<double>(v.first) + (x + 1) * static_cast<double>(v.step)) /
                              static_cast<double>(kOne) -
                          1;
    return sample / rateSps;
}

TTimeStyle ElapsedStyle(double lastSeconds)
{
    return lastSeconds < 60     ? TTimeStyle::Seconds
           : lastSeconds < 3600 ? TTimeStyle::MinSec
                                : TTimeStyle::HourMinSec;
}

double ClockStep(double raw)
{
    if (!(raw > 1))
        return NiceStep(raw);
    for (const double s : {1.0, 2.0, 5.0, 10.0, 15.0, 30.0, 60.0, 120.0, 300.0, 600.0, 900.0,
                           1800.0, 3600.0, 7200.0, 10800.0, 21600.0, 43200.0, 86400.0})
        if (s >= raw * (1 - 1e-12))
            return s;
    return 86400.0 * std::ceil(raw / 86400.0 - 1e-12);
}

std::string TimeLabel(double seconds, TTimeStyle style, int decimals)
{
    decimals = std::clamp(decimals, 0, 9);
    char buf[64];
    if (style == TTimeStyle::Seconds || !std::isfinite(seconds)) {
        std::snprintf(buf, sizeof buf, "%.*f", decimals, seconds);
        return buf;
    }
    // Whole units of the last decimal, so 59.99 at one decimal reads 1:00.0.
    const double scale = std::pow(10.0, decimals);
    const bool negative = seconds < 0;
    auto units = static_cast<int64_t>(std::llround(std::fabs(seconds) * scale));
    const auto perSecond = static_cast<int64_t>(scale);
    if (style == TTimeStyle::Clock)
        units %= 86400 * perSecond;
    const int64_t frac = units % perSecond;
    const int64_t whole = units / perSecond;
    const auto h = static_cast<long long>(whole / 3600);
    const auto m = static_cast<long long>(whole / 60 % 60);
    const auto s = static_cast<long long>(whole % 60);
    int n = 0;
    if (style == TTimeStyle::MinSec)
        n = std::snprintf(buf, sizeof buf, "%s%lld:%02lld", negative ? "-" : "",
                          static_cast<long long>(whole / 60), s);
    else if (style == TTimeStyle::HourMinSec)
        n = std::snprintf(buf, sizeof buf, "%s%lld:%02lld:%02lld", negative ? "-" : "", h, m, s);
    else
        n = std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", h, m, s);
    if (decimals > 0)
        std::snprintf(buf + n, sizeof buf - static_cast<size_t>(n), ".%0*lld", decimals,
                      static_cast<long long>(frac));
    return buf;
}

TTicks TimeTicks(const TViewX& v, double rateSps, int minSpacing, TTimeStyle style, double origin)
{
    TTicks t;
    if (!(rateSps > 0) || v.width <= 0)
        return t;
    const double perColumn = static_cast<double>(v.step) / static_cast<double>(kOne) / rateSps;
    const double raw = perColumn * std::max(minSpacing, 1);
    t.step = style == TTimeStyle::Seconds ? NiceStep(raw) : ClockStep(raw);
    t.decimals = StepDecimals(t.step);
    // Ticks whose column (ceil of the position) lies in 0..width-1.
    const double t0 = ColumnToTime(v, rateSps, -1 + 1e-6);
    const double t1 = ColumnToTime(v, rateSps, v.width - 1);
    for (double s : Multiples(origin + t0, origin + t1, t.step))
        t.ticks.push_back({TimeToColumn(v, rateSps, s - origin), s});
    return t;
}

TTicks CodeTicks(const TViewY& v, int minSpacing, double origin)
{
    TTicks t;
    const double span = static_cast<double>(v.high) - static_cast<double>(v.low) + 1.0;
    t.step = NiceStep(span / std::max(v.height, 1) * std::max(minSpacing, 1), 1.0);
    t.decimals = 0;
    for (double c : Multiples(v.low - origin, v.high - origin, t.step))
        t.ticks.push_back({RowOf(v, c + origin), c});
    return t;
}

TTicks MicrovoltTicks(const TViewY& v, int32_t gain, int minSpacing)
{
    TTicks t;
    const TMicrovoltAxis axis = MicrovoltAxis(v, gain);
    const double uvSpan = axis.high - axis.low;
    const double codeSpan = static_cast<double>(v.high) - static_cast<double>(v.low);
    if (!(uvSpan > 0) || !(codeSpan > 0))
        return t;
    const double uvPerCode = uvSpan / codeSpan;
    t.step =
        NiceStep((codeSpan + 1.0) / std::max(v.height, 1) * std::max(minSpacing, 1) * uvPerCode);
    t.decimals = StepDecimals(t.step);
    for (double u : Multiples(axis.low, axis.high, t.step))
        t.ticks.push_back({RowOf(v, v.low + (u - axis.low) / uvPerCode), u});
    return t;
}

} // namespace mirantos::trace
