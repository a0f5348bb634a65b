#pragma once
// What the benchmarks that run the window in real time share: the process's
// CPU clock, and a presenter that prints error boxes instead of showing them.

#include "Mymessage.h"

#include <QString>
#include <cstdio>
#include <ctime>

inline double CpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

struct SilentPresenter : IMessagePresenter {
    void ShowError(const QString&, const QString& text) override
    {
        std::fprintf(stderr, "box: %s\n", text.toUtf8().constData());
    }
};
