#include "Comparison.h"

#include <cmath>

namespace mirantos::analysis {

namespace {

// A ratio to the reference is only meaningful with a positive reference;
// a zero run against it has no level in dB either.
std::optional<double> Percent(double x, double ref)
{
    if (!(ref > 0) || !std::isfinite(x))
        return std::nullopt;
    return 100.0 * (x / ref - 1.0);
}

std::optional<double> Decibel(double x, double ref)
{
    if (!(ref > 0) || !(x > 0) || !std::isfinite(x))
        return std::nullopt;
    return 20.0 * std::log10(x / ref);
}

} // namespace

std::vector<TDifference> DifferencesToFirst(const std::vector<TRunFigures>& runs)
{
    std::vector<TDifference> out;
    if (runs.size() < 2)
        return out;
    const TNoiseFigures& ref = runs.front().noise;
    out.reserve(runs.size() - 1);
    for (size_t i = 1; i < runs.size(); ++i) {
        const TNoiseFigures& n = runs[i].noise;
        TDifference d;
        d.rmsPct = Percent(n.rmsUv, ref.rmsUv);
        d.rmsDb = Decibel(n.rmsUv, ref.rmsUv);
        d.ppPct = Percent(n.ppUv, ref.ppUv);
        d.ppDb = Decibel(n.ppUv, ref.ppUv);
        d.nsdMedianDb = Decibel(n.nsdMedianNv, ref.nsdMedianNv);
        d.effectiveBits = n.effectiveBits - ref.effectiveBits;
        d.noiseFreeBits = n.noiseFreeBits - ref.noiseFreeBits;
        out.push_back(d);
    }
    return out;
}

} // namespace mirantos::analysis
