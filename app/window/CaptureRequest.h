#pragma once
// What the long-capture dialog asks for, and the dialog's arithmetic without
// any widget: the defaults from the main window's controls, the samples a
// duration takes at the chosen rate, the limits, and the settings the
// capture run gets.

#include "CaptureRun.h"

#include <QString>
#include <cstdint>

namespace mirantos {

struct TCaptureRequest {
    QString path;
    int32_t rateIndex = 0;
    bool sinc3 = true;
    int32_t channelIndex = 0;
    // The length as a duration (whole seconds) or as a sample count.
    bool byDuration = true;
    int64_t seconds = 0;
    int32_t count = 0;
};

// A duration a new dialog offers, cut to what the board takes at the rate.
inline constexpr int64_t kDefaultCaptureSeconds = 600;
inline constexpr int32_t kDefaultCaptureCount = 100000;

// The dialog's first values: the main window's rate, filter and channel, ten
// minutes (or the longest the rate allows), no file yet.
TCaptureRequest DefaultCaptureRequest(int32_t rateIndex, bool sinc3, int32_t channelIndex);
// The whole-second range a duration may take at the request's rate and filter.
int64_t RequestMinSeconds(const TCaptureRequest& request);
int64_t RequestMaxSeconds(const TCaptureRequest& request);
// Samples per channel the request asks for (a duration at the rate, or the count).
int64_t RequestCount(const TCaptureRequest& request);
// A file named, a known rate and channel, and a count the board takes.
bool RequestValid(const TCaptureRequest& request);
TCaptureSettings RequestSettings(const TCaptureRequest& request);

} // namespace mirantos
