// The real USB path on the emulated FT232R (umockdev), measured the way the
// window uses it: the controller polled about every millisecond.
//
//  1. CPU time of the USB event thread and of the GUI thread during a 10 ksps
//     two-channel run of 10 000 samples (median of several runs, both from
//     the same runs, as a share of the run's wall time).
//  2. Purge time during a stream, with and without a bulk-IN transfer that
//     never comes back (side by side).
//  3. GUI stalls of growing length in the middle of 10 000-sample two-channel
//     runs at 1 and 10 ksps: whether every sample arrived equal to the
//     firmware's with nothing dropped by the chip's FIFO.
//
// Needs umockdev-wrapper (restarts itself under it). MIRANTOS_BENCH_QUICK=1
// runs fewer repetitions and shorter stalls.

#include "Ad7177.h"
#include "ControllerRig.h"
#include "FtdiUsbDriver.h"
#include "UsbEmulator.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

using namespace mirantos;
using namespace mirantos::testing;

namespace {

using Clock = std::chrono::steady_clock;

double ThreadCpuSeconds(clockid_t id)
{
    timespec ts{};
    if (clock_gettime(id, &ts) != 0)
        return 0.0;
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// The CPU clock of another thread of this process, found by its name.
bool FindThreadClock(const std::string& name, clockid_t* id)
{
    DIR* dir = opendir("/proc/self/task");
    if (dir == nullptr)
        return false;
    bool found = false;
    while (dirent* e = readdir(dir)) {
        if (e->d_name[0] == '.')
            continue;
        std::ifstream comm(std::string("/proc/self/task/") + e->d_name + "/comm");
        std::string text;
        std::getline(comm, text);
        if (text == name) {
            const long tid = std::strtol(e->d_name, nullptr, 10);
            // Linux per-thread CPU clock of a thread id (what pthread_getcpuclockid builds).
            *id = static_cast<clockid_t>((~static_cast<clockid_t>(tid) << 3) | 6);
            found = true;
            break;
        }
    }
    closedir(dir);
    return found;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

void PollOnce(ControllerRig& rig)
{
    rig.controller->Poll();
    QCoreApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

bool RunToEnd(ControllerRig& rig, double limitSeconds)
{
    const auto end = Clock::now() + std::chrono::duration<double>(limitSeconds);
    while (rig.Measuring() && Clock::now() < end)
        PollOnce(rig);
    return !rig.Measuring();
}

// Records the firmware wrote after `start`, compared with what the record holds.
bool ExactlyTheFirmwares(const EmulatedFtdi& emu, const ControllerRig& rig, const char* start,
                         int target)
{
    size_t pos = std::string::npos;
    for (const auto& c : emu.Commands())
        if (c.text == start)
            pos = c.firmwarePos;
    if (pos == std::string::npos || rig.record.Ch0.Count != target)
        return false;
    const auto log = emu.FirmwareLog();
    for (int k = 0; k < target; ++k, pos += 17) {
        if (pos + 17 > log.size() || log[pos + 16] != '\r')
            return false;
        const std::string rec(log.begin() + static_cast<long>(pos),
                              log.begin() + static_cast<long>(pos + 16));
        if (std::stoul(rec.substr(0, 8), nullptr, 16) != rig.record.Ch0.Code[k] ||
            std::stoul(rec.substr(8, 8), nullptr, 16) != rig.record.Ch1.Code[k])
            return false;
    }
    return true;
}

struct CpuShare {
    double eventThread = 0;
    double guiThread = 0;
    double rest = 0; // the emulator's handler thread and everything else
    double wall = 0;
    double reapsPerSecond = 0;
    double urbsPerSecond = 0;
};

bool MeasureCpu(CpuShare* out)
{
    EmulatedFtdi emu;
    if (!emu.Ready()) {
        std::fprintf(stderr, "emulator: %s\n", emu.SetupError().c_str());
        return false;
    }
    ControllerRig rig(std::make_unique<FtdiUsbDriver>());
    rig.host.rate = 13;
    rig.host.count = 6; // 10 000
    rig.host.channel = 2;
    rig.Click();
    clockid_t eventClock{};
    if (!rig.Measuring() || !FindThreadClock("mirantos-usb", &eventClock))
        return false;
    const double e0 = ThreadCpuSeconds(eventClock);
    const double g0 = ThreadCpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    const double p0 = ThreadCpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    const int64_t urbs0 = emu.InUrbsCompleted();
    const int64_t reaps0 = emu.ReapRequests();
    const auto t0 = Clock::now();
    const bool ended = RunToEnd(rig, 30.0);
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    const double e = ThreadCpuSeconds(eventClock) - e0;
    const double g = ThreadCpuSeconds(CLOCK_THREAD_CPUTIME_ID) - g0;
    const double p = ThreadCpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - p0;
    if (!ended || !ExactlyTheFirmwares(emu, rig, "A202710", 10000))
        return false;
    *out = {e / wall, g / wall, (p - e - g) / wall, wall};
    out->reapsPerSecond = static_cast<double>(emu.ReapRequests() - reaps0) / wall;
    out->urbsPerSecond = static_cast<double>(emu.InUrbsCompleted() - urbs0) / wall;
    return true;
}

struct StallResult {
    bool completed = false;
    bool exact = false;
    int64_t dropped = 0;
};

StallResult RunWithStall(int rate, const char* start, double stallSeconds)
{
    StallResult r;
    EmulatorOptions options;
    options.initialLatencyMs = 2; // the most transfers per second
    EmulatedFtdi emu(options);
    if (!emu.Ready())
        return r;
    ControllerRig rig(std::make_unique<FtdiUsbDriver>());
    rig.host.rate = rate;
    rig.host.count = 6;
    rig.host.channel = 2;
    rig.Click();
    while (rig.Measuring() && rig.controller->Received() < 1000)
        PollOnce(rig);
    std::this_thread::sleep_for(std::chrono::duration<double>(stallSeconds));
    r.completed = RunToEnd(rig, 60.0) && !rig.runs.ends.empty() &&
                  rig.runs.ends.back() == TMeasureController::RunEnd::Completed;
    r.exact = r.completed && ExactlyTheFirmwares(emu, rig, start, 10000);
    r.dropped = emu.DroppedBytes();
    return r;
}

// Purges (each command's) during a 10 ksps stream, with or without one
// bulk-IN transfer that never comes back: they must not wait for it.
std::vector<double> PurgeTimes(int count, bool wedge)
{
    std::vector<double> ms;
    EmulatedFtdi emu;
    if (!emu.Ready())
        return ms;
    QObject owner;
    TADC adc(&owner, std::make_unique<FtdiUsbDriver>());
    if (!adc.Connect() || !adc.SetRate(13) || !adc.StartConversion(2, 10000))
        return ms;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (wedge)
        emu.WedgeNextInUrb();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    for (int i = 0; i < count; ++i) {
        const auto t0 = Clock::now();
        if (!adc.Purge())
            return {};
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    return ms;
}

} // namespace

int main(int argc, char** argv)
{
    ReexecUnderUmockdevIfNeeded(argc, argv);
    QCoreApplication app(argc, argv);
    const bool quick = std::getenv("MIRANTOS_BENCH_QUICK") != nullptr;

    const int reps = quick ? 3 : 7;
    std::vector<double> ev, gui, rest, reaps, urbs;
    for (int i = 0; i < reps; ++i) {
        CpuShare s;
        if (!MeasureCpu(&s)) {
            std::fprintf(stderr, "CPU run %d failed\n", i);
            return 1;
        }
        ev.push_back(s.eventThread * 100);
        gui.push_back(s.guiThread * 100);
        rest.push_back(s.rest * 100);
        reaps.push_back(s.reapsPerSecond);
        urbs.push_back(s.urbsPerSecond);
    }
    std::printf("10 ksps two-channel run of 10000 samples, emulated FT232R, %d runs (median):\n",
                reps);
    std::printf("  USB event thread   %6.2f %% of one core\n", Median(ev));
    std::printf("  GUI thread         %6.2f %% of one core (polling every ~1 ms)\n", Median(gui));
    std::printf("  emulator and rest  %6.2f %% of one core\n", Median(rest));
    std::printf("  event/GUI ratio    %6.2f\n", Median(ev) / Median(gui));
    std::printf("  bulk-IN URBs completed %.0f/s, reap ioctls %.0f/s\n", Median(urbs),
                Median(reaps));

    // Side by side: alternate rounds, so a busy machine slows both alike.
    std::vector<double> plain, wedged;
    for (int round = 0; round < 3; ++round) {
        const auto a = PurgeTimes(5, false);
        const auto b = PurgeTimes(5, true);
        if (a.empty() || b.empty()) {
            std::fprintf(stderr, "purge run failed\n");
            return 1;
        }
        plain.insert(plain.end(), a.begin(), a.end());
        wedged.insert(wedged.end(), b.begin(), b.end());
    }
    std::printf("Purge during a 10 ksps stream (emulated ioctls), median of %zu: %.2f ms; with a "
                "transfer that never comes back: %.2f ms (ratio %.2f)\n",
                plain.size(), Median(plain), Median(wedged), Median(wedged) / Median(plain));

    struct Rate {
        int index;
        const char* name;
        const char* start;
    };
    const std::vector<double> stalls =
        quick ? std::vector<double>{0.5, 2.0} : std::vector<double>{0.5, 2.0, 8.0};
    for (const Rate rate : {Rate{10, "1 ksps", "A202710"}, Rate{13, "10 ksps", "A202710"}}) {
        double longest = 0.0;
        for (double stall : stalls) {
            const StallResult r = RunWithStall(rate.index, rate.start, stall);
            std::printf("%s two-channel, GUI blocked %.1f s after 1000 samples: %s, %lld bytes "
                        "dropped by the chip FIFO\n",
                        rate.name, stall,
                        r.exact       ? "all 10000 samples exact"
                        : r.completed ? "completed but samples differ"
                                      : "run failed",
                        static_cast<long long>(r.dropped));
            if (r.exact && r.dropped == 0)
                longest = std::max(longest, stall);
        }
        std::printf("%s: longest GUI stall survived without loss: %.1f s (of those tried)\n",
                    rate.name, longest);
    }
    std::printf("Receive queue bound %zu bytes: %.0f s of a 10 ksps two-channel stream\n",
                FtdiUsbDriver::kQueueLimit, FtdiUsbDriver::kQueueLimit / (10000.0 * 17));
    return 0;
}
