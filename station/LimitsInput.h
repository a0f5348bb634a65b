#pragma once
// Bounded work on whatever a limits file holds, before its meaning is read:
// a limits file is a few hundred bytes, so anything far bigger, deeper or
// wider is refused at once rather than parsed at length (a FIFO or a device
// is never read at all). Pure C++; no Qt.

#include <cstddef>
#include <string>
#include <string_view>

namespace mirantos::station {

// The largest limits file read: far above any real one, small enough to read at once.
inline constexpr size_t kMaxLimitsBytes = 1024 * 1024;
// Objects and arrays within one another; a limits file needs five
// (file, limits, channel, figure, band).
inline constexpr int kMaxLimitsDepth = 16;
// Keys in one object; the widest a limits file has is a channel's 14 figures.
inline constexpr size_t kMaxObjectKeys = 64;

// The bytes of a regular file of at most `maxBytes`. A FIFO, a device or a
// folder is refused by its type before anything is read (it is opened without
// waiting, so a FIFO with no writer never blocks). False with `error` (without
// the path) otherwise.
bool ReadBoundedFile(const std::string& path, size_t maxBytes, std::string& content,
                     std::string& error);

// One pass over JSON text, in time and memory linear in its size, without
// building it: empty when it may be parsed, else why not — a syntax error as
// nlohmann-json words it, too deep or too many keys ("limits.ch0: more than
// 64 keys"), or the first key given twice ("limits.ch0.rms_uV.max: given
// twice"; nlohmann would keep one of them silently).
std::string PrescanJson(std::string_view content);

} // namespace mirantos::station
