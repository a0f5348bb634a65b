#pragma once
// Number masks and readout texts, as plain functions: the status bar, the
// graph's labels and the command-line tool all print through these.

#include <QString>
#include <cstdint>

namespace mirantos {

// Fixed point with exactly `decimals` decimals (0..5): at least one digit before
// the point, "." as the point, halves away from zero, no "-" on a value that
// rounds to zero.
QString FormatMask(double value, int decimals);

QString SampleText(int32_t n, uint32_t code);
QString SampleText2ch(int32_t n, uint32_t code0, uint32_t code1);
QString StatCodeText(uint32_t maxCode, uint32_t minCode, float sigma, int32_t channel);
QString StatVoltText(int32_t channel, float maxUv, float minUv, float sigmaUv);

} // namespace mirantos
