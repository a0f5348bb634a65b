// Capability, control limits, rule breaks and yield.

#include "Spc.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>

namespace mirantos::dashboard {

namespace {

TIndex Missing(std::string reason)
{
    return TIndex{std::nullopt, std::move(reason)};
}

// (upper - lower)/(6σ), min(...)/(3σ) and the one-sided forms for one σ.
void Indices(const TSpc& s, const std::optional<double>& sigma, const char* which, TIndex& c,
             TIndex& ck, TIndex& cu, TIndex& cl)
{
    std::string reason;
    if (s.n < kMinCapabilityRuns)
        reason = "fewer than " + std::to_string(kMinCapabilityRuns) + " runs (" +
                 std::to_string(s.n) + ")";
    else if (!sigma || *sigma == 0.0)
        reason = std::string(which) + " is 0";
    else if (!s.low && !s.high)
        reason = "no limits";
    if (!reason.empty()) {
        c = ck = cu = cl = Missing(reason);
        return;
    }
    const double m = *s.mean, sd = *sigma;
    cu = s.high ? TIndex{(*s.high - m) / (3 * sd), ""} : Missing("no upper limit");
    cl = s.low ? TIndex{(m - *s.low) / (3 * sd), ""} : Missing("no lower limit");
    if (s.low && s.high) {
        c = TIndex{(*s.high - *s.low) / (6 * sd), ""};
        ck = TIndex{std::min(*cu.value, *cl.value), ""};
    } else {
        c = ck = Missing("one limit only");
    }
}

} // namespace

std::vector<std::vector<int>> WesternElectric(const std::vector<double>& x, double centre,
                                              double sigma)
{
    const size_t n = x.size();
    std::vector<std::vector<int>> rules(n);
    // How many of the `span` points ending at i lie beyond k σ on the side of sign.
    auto beyond = [&](size_t i, size_t span, double k, int sign) {
        int count = 0;
        for (size_t j = i + 1 - std::min(span, i + 1); j <= i; ++j)
            count += sign * (x[j] - centre) > k * sigma;
        return count;
    };
    for (size_t i = 0; i < n; ++i) {
        const double d = x[i] - centre;
        const int side = d > 0 ? 1 : d < 0 ? -1 : 0;
        if (std::abs(d) > 3 * sigma)
            rules[i].push_back(1);
        if (side != 0 && std::abs(d) > 2 * sigma && i >= 1 && beyond(i, 3, 2, side) >= 2)
            rules[i].push_back(2);
        if (side != 0 && std::abs(d) > sigma && i >= 3 && beyond(i, 5, 1, side) >= 4)
            rules[i].push_back(3);
        if (side != 0 && i >= 7 && beyond(i, 8, 0, side) == 8)
            rules[i].push_back(4);
    }
    return rules;
}

TSpc ComputeSpc(const std::vector<double>& x, std::optional<double> low, std::optional<double> high)
{
    TSpc s;
    s.n = static_cast<int>(x.size());
    s.low = low;
    s.high = high;
    s.movingRange.assign(x.size(), std::nullopt);
    s.rules.assign(x.size(), {});
    if (x.empty()) {
        Indices(s, std::nullopt, "σ", s.cp, s.cpk, s.cpu, s.cpl);
        Indices(s, std::nullopt, "σ", s.pp, s.ppk, s.ppu, s.ppl);
        return s;
    }
    const double n = static_cast<double>(x.size());
    const double mean = std::accumulate(x.begin(), x.end(), 0.0) / n;
    s.mean = mean;
    if (x.size() >= 2) {
        double sumMr = 0, sumSq = 0;
        for (size_t i = 1; i < x.size(); ++i) {
            s.movingRange[i] = std::abs(x[i] - x[i - 1]);
            sumMr += *s.movingRange[i];
        }
        for (double v : x)
            sumSq += (v - mean) * (v - mean);
        s.mrBar = sumMr / (n - 1);
        s.sigmaWithin = *s.mrBar / kD2;
        s.sigmaOverall = std::sqrt(sumSq / (n - 1));
        s.iCentre = mean;
        s.iUpper = mean + 3 * *s.sigmaWithin;
        s.iLower = mean - 3 * *s.sigmaWithin;
        s.mrCentre = s.mrBar;
        s.mrUpper = kD4 * *s.mrBar;
        if (*s.sigmaWithin > 0)
            s.rules = WesternElectric(x, mean, *s.sigmaWithin);
    }
    Indices(s, s.sigmaWithin, "σ within", s.cp, s.cpk, s.cpu, s.cpl);
    Indices(s, s.sigmaOverall, "σ overall", s.pp, s.ppk, s.ppu, s.ppl);
    return s;
}

TYield ComputeYield(std::vector<TYieldRun> runs)
{
    std::stable_sort(runs.begin(), runs.end(), [](const TYieldRun& a, const TYieldRun& b) {
        return a.serial != b.serial ? a.serial < b.serial : a.startedUtc < b.startedUtc;
    });
    TYield y;
    y.runs = static_cast<int>(runs.size());
    for (size_t i = 0; i < runs.size(); ++i) {
        const bool first = i == 0 || runs[i - 1].serial != runs[i].serial;
        const bool last = i + 1 == runs.size() || runs[i + 1].serial != runs[i].serial;
        if (first) {
            ++y.serials;
            y.firstPass += runs[i].pass;
        }
        if (last)
            y.finalPass += runs[i].pass;
    }
    if (y.serials > 0) {
        y.firstPassYield = static_cast<double>(y.firstPass) / y.serials;
        y.finalYield = static_cast<double>(y.finalPass) / y.serials;
    }
    return y;
}

THistogram ComputeHistogram(const std::vector<double>& x, std::optional<double> low,
                            std::optional<double> high)
{
    THistogram h;
    if (x.empty())
        return h;
    double lo = *std::min_element(x.begin(), x.end());
    double hi = *std::max_element(x.begin(), x.end());
    for (const auto& limit : {low, high})
        if (limit) {
            lo = std::min(lo, *limit);
            hi = std::max(hi, *limit);
        }
    if (hi <= lo) {
        lo -= 0.5;
        hi += 0.5;
    }
    const int bins = std::clamp(static_cast<int>(std::ceil(std::sqrt(x.size()))), 5, 40);
    const double width = (hi - lo) / bins;
    for (int i = 0; i <= bins; ++i)
        h.edges.push_back(lo + width * i);
    h.counts.assign(static_cast<size_t>(bins), 0);
    for (double v : x)
        ++h.counts[static_cast<size_t>(
            std::clamp(static_cast<int>((v - lo) / width), 0, bins - 1))];
    return h;
}

} // namespace mirantos::dashboard
