// The simulated input's tone: its text (--sim-tone, MIRANTOS_SIM's tone) and its samples.

#include "SimBoard.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numbers>

namespace mirantos {

bool ParseSimTone(std::string_view text, SimTone& tone, std::string& problem)
{
    problem = "takes F:A[:HD2[:HD3]]: Hz above 0 to 100000, uV peak from 0 to 2500000, "
              "harmonics in dBc from -200 to 0";
    SimTone t;
    double* parts[4] = {&t.hz, &t.uv, &t.hd2Dbc, &t.hd3Dbc};
    const double lo[4] = {0.0, 0.0, kSimMinHarmonicDbc, kSimMinHarmonicDbc};
    const double hi[4] = {kSimMaxToneHz, kSimMaxToneUv, 0.0, 0.0};
    int count = 0;
    while (count < 4) {
        const size_t colon = text.find(':');
        if (!ParseSimNumber(text.substr(0, colon), lo[count], hi[count], *parts[count]))
            return false;
        ++count;
        if (colon == std::string_view::npos)
            break;
        text.remove_prefix(colon + 1);
        if (count == 4)
            return false; // a fifth part
    }
    if (count < 2 || !(t.hz > 0.0))
        return false;
    tone = t;
    problem.clear();
    return true;
}

std::string SimToneText(const SimTone& tone)
{
    auto num = [](double v) {
        char buf[32];
        const auto r = std::to_chars(buf, buf + sizeof buf, v);
        return std::string(buf, r.ptr);
    };
    std::string t = num(tone.hz) + ":" + num(tone.uv);
    if (tone.hd2Dbc >= kSimMinHarmonicDbc || tone.hd3Dbc >= kSimMinHarmonicDbc)
        t += ":" + num(std::max(tone.hd2Dbc, kSimMinHarmonicDbc));
    if (tone.hd3Dbc >= kSimMinHarmonicDbc)
        t += ":" + num(tone.hd3Dbc);
    return t;
}

// The tone at sample k; its phase from the cycles' fraction, which keeps its digits over
// long runs.
double SimToneUv(const SimTone& tone, double phase, int64_t k, double sps)
{
    double uv = 0.0;
    const double dbc[3] = {0.0, tone.hd2Dbc, tone.hd3Dbc};
    for (int h = 1; h <= 3; ++h) {
        if (dbc[h - 1] < kSimMinHarmonicDbc) // not given
            continue;
        const double cycles = static_cast<double>(h) * tone.hz * static_cast<double>(k) / sps;
        const double turn = cycles - std::floor(cycles);
        uv += tone.uv * std::pow(10.0, dbc[h - 1] / 20.0) *
              std::sin(2.0 * std::numbers::pi * turn + static_cast<double>(h) * phase);
    }
    return uv;
}

} // namespace mirantos
