#pragma once
// Number masks and readout texts, as plain functions: the status bar, the
// graph's labels and the command-line tool all print through these.

#include <QString>
#include <cstdint>

namespace mirantos {

// Up to 10 decimals the 40-place text FormatMask rounds from decides every tie
// exactly: no double lies closer than 1e-40 to a half-way point it is not on.
inline constexpr int MaxMaskDecimals = 10;

// Fixed point with exactly `decimals` decimals (0..5 in use; clamped to
// 0..MaxMaskDecimals): at least one digit before the point, "." as the point,
// halves away from zero on the exact binary value, no "-" on a value that
// rounds to zero. NaN and infinities print as Qt prints them.
QString FormatMask(double value, int decimals);

// Progress readout: "データ番号：n / AD変換値：code" (and " / code1" for two channels).
QString SampleText(int32_t n, uint32_t code);
QString SampleText2ch(int32_t n, uint32_t code0, uint32_t code1);

// Statistics in codes. pp is the signed 64-bit difference max - min; sigma is
// shown with "0.0" from 10 up, else "0.00", decided on the value as passed.
QString StatCodeText(uint32_t maxCode, uint32_t minCode, float sigma, int32_t channel);

// Statistics in microvolts. The extremes come in double (a float near volts
// of offset is coarser than the noise) and pp is their difference; all four
// numbers share the mask chosen from sigma: "0" from 100 up, "0.0" from 10
// up, else "0.00". `unit` follows each number; null: the status bar's "[uV]".
QString StatVoltText(int32_t channel, double maxUv, double minUv, float sigmaUv,
                     const char* unit = nullptr);

} // namespace mirantos
