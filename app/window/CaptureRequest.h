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

// The name with ".csv" added when it has no suffix of its own (an empty
// name, and an existing FIFO or device, stay as they are).
QString WithCaptureSuffix(const QString& path);
// The bytes the request's file comes to: every sample line at its longest
// (full-length microvolts on each channel captured) and the header, so the
// disk needs no more than this.
int64_t RequestFileBytes(const TCaptureRequest& request);
// A size as people read it: "950 B", "12.3 KB", "1.05 GB" (powers of 1000).
QString FileSizeText(int64_t bytes);

} // namespace mirantos
