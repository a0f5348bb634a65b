// libFuzzer target: whole capture files through the reader (and back through
// the writer when they load).

#include "FuzzCases.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string problem = mirantos::fuzz::CaptureFileCase(data, size);
    if (!problem.empty()) {
        std::fprintf(stderr, "capture check failed: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
