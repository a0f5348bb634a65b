#include "Comparison.h"

#include <cmath>
#include <cstdio>

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

bool BandwidthDiffers(const TRunFigures& run, const TRunFigures& ref)
{
    if (run.noise.rateSps != ref.noise.rateSps)
        return true;
    return run.settings.filterKnown && ref.settings.filterKnown &&
           run.settings.sinc5 != ref.settings.sinc5;
}

} // namespace

std::string BandwidthText(const TRunFigures& run)
{
    char nyquist[32];
    std::snprintf(nyquist, sizeof nyquist, "%.10g", run.noise.rateSps / 2);
    std::string text = std::string("0-") + nyquist + " Hz";
    if (run.settings.filterKnown)
        text += run.settings.sinc5 ? " sinc5+sinc1" : " sinc3";
    return text;
}

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
        d.bandwidthDiffers = BandwidthDiffers(runs[i], runs.front());
        out.push_back(d);
    }
    return out;
}

} // namespace mirantos::analysis
