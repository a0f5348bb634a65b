// libFuzzer target: the board link (transport and protocol) against a device
// that answers with arbitrary bytes.

#include "FuzzCases.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

// The link's waits idle for a millisecond between polls of the device. The
// fuzzed device answers at once, so on the main thread those pauses only slow
// the fuzzer down; other threads (libFuzzer's own) still sleep for real.
extern "C" int nanosleep(const struct timespec* req, struct timespec* rem)
{
    if (::gettid() == ::getpid())
        return 0;
    return static_cast<int>(::syscall(SYS_nanosleep, req, rem));
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    mirantos::fuzz::InitBoardLink(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string problem = mirantos::fuzz::BoardLinkCase(data, size);
    if (!problem.empty()) {
        std::fprintf(stderr, "board link check failed: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
