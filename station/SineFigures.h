#pragma once
// The sine-wave test's figures as limits name them (snr_dB, thd_dBc, sinad_dB, sfdr_dBc,
// enob_bits, enob_fs_bits): which limits need the test, and a figure's value.

#include "Limits.h"
#include "SineAnalysis.h"

#include <optional>
#include <string>

namespace mirantos::station {

// A limit on one of the sine-wave test's figures.
bool NeedsSine(const TLimit& limit);
// The figure's value, or nothing with the test's reason (no tone, too few samples).
std::optional<double> SineFigureValue(const std::optional<analysis::TSineResult>& sine,
                                      const std::string& name, std::string* reason);

} // namespace mirantos::station
