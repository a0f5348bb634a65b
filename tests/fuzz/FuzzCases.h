#pragma once
// What each fuzz target does with one input, shared by the libFuzzer entry
// points and by the regression test that replays the corpus. Each returns an
// empty text when every check held, otherwise what went wrong.

#include <cstddef>
#include <cstdint>
#include <string>

namespace mirantos::fuzz {

// Creates what the board link needs around it (an application object for its
// timer and event loop). Call once, before the first BoardLinkCase.
void InitBoardLink(int* argc, char*** argv);

// The bytes as a whole ".DTA" file, loaded; a file that loads is written back
// and must load again to the same content.
std::string DtaFileCase(const uint8_t* data, size_t size);

// The bytes as a capture file, read; a capture that reads must be whole (the
// channels it names, a rate of the rate table) and, written again by the
// capture writer, read to the same settings and codes.
std::string CaptureFileCase(const uint8_t* data, size_t size);

// The board link against a device whose every answer comes from the input:
// four control bytes (channel, records per read, delivery chunk, a call that
// fails), then the byte stream the device sends.
std::string BoardLinkCase(const uint8_t* data, size_t size);

// The bytes as a noise test's limits file: a refusal must say why; limits that
// are accepted must hold what the reader promises (known figures, finite
// bounds in their range and in order, bands within half the rate, measured
// channels only, low-frequency figures only where defined) and settings the
// noise analysis takes as they are.
std::string LimitsCase(const uint8_t* data, size_t size);

} // namespace mirantos::fuzz
