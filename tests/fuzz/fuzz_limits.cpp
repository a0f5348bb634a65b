// libFuzzer target: noise test limits files through the reader; what it
// accepts must hold the promised invariants.

#include "FuzzCases.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string problem = mirantos::fuzz::LimitsCase(data, size);
    if (!problem.empty()) {
        std::fprintf(stderr, "limits check failed: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
