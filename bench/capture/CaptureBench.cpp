// mirantos-cli capture, two channels at 10 ksps:
//   - CPU time against wall time for 100 000 samples on the simulated board in
//     real time (target: at most 5 %), and every sample there (the file
//     compared with the same board replayed);
//   - resident memory after a 10 000- and a 1 000 000-sample capture on a
//     manual clock, one after the other in this process (target: growth
//     under 2 MB: the buffers do not grow with the count).
// Usage: capture_bench [rounds]   (default 3 real-time rounds; medians printed)

#include "Ad7177.h"
#include "BoardFactory.h"
#include "CaptureFile.h"
#include "Commands.h"

#include <QGuiApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace mirantos;

double CpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// VmRSS or VmHWM of this process in kB.
long StatusKb(const char* key)
{
    std::ifstream f("/proc/self/status");
    std::string line;
    while (std::getline(f, line)) {
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(std::string(key).size()));
    }
    return -1;
}

int RunCapture(const std::vector<std::string>& args, const cli::MeasureEnv& env)
{
    std::ostringstream out;
    std::ostringstream err;
    const int code = cli::Run(args, cli::CliIo{out, err, false}, env);
    if (code != 0)
        std::fprintf(stderr, "capture failed (%d): %s\n", code, err.str().c_str());
    return code;
}

// The records of the simulated board's first run of "A2" + count after
// "S3" and "FD", read straight from it.
bool Replay(uint64_t seed, int32_t count, std::vector<uint32_t>& ch0, std::vector<uint32_t>& ch1)
{
    auto clock = std::make_shared<ManualClock>();
    SimConfig config;
    config.seed = seed;
    config.clock = clock;
    auto board = MakeSimDriver(config);
    FT_HANDLE h = nullptr;
    if (board->Open(0, &h) != FT_OK)
        return false;
    uint32_t done = 0;
    for (const char* cmd : {"S3\r", "FD\r"}) {
        board->Write(h, cmd, 3, &done);
        clock->AdvanceUs(10000);
        board->Purge(h, FT_PURGE_RX | FT_PURGE_TX);
    }
    char start[16];
    char hex[6];
    CountToHex5(count, hex);
    std::snprintf(start, sizeof start, "A2%s\r", hex);
    board->Write(h, start, 8, &done);
    clock->AdvanceSeconds(1e6);
    std::vector<uint8_t> bytes(static_cast<size_t>(count) * 17);
    uint32_t got = 0;
    if (board->Read(h, bytes.data(), static_cast<uint32_t>(bytes.size()), &got) != FT_OK ||
        got != bytes.size())
        return false;
    for (int32_t i = 0; i < count; ++i) {
        ch0.push_back(HexToCode(bytes.data() + 17 * i));
        ch1.push_back(HexToCode(bytes.data() + 17 * i + 8));
    }
    return true;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("bench.csv")).toStdString();
    constexpr uint64_t kSeed = 3;
    constexpr int32_t kRealTimeSamples = 100000;

    // ---- Resident memory: 10 000 then 1 000 000 samples on a manual clock.
    auto manualEnv = [] {
        cli::MeasureEnv env;
        env.makeDriver = [](cli::BoardKind, uint64_t) -> std::unique_ptr<IFtdiDriver> {
            auto clock = std::make_shared<ManualClock>();
            clock->SetAutoStepUs(20000);
            SimConfig config;
            config.seed = kSeed;
            config.clock = clock;
            return MakeSimDriver(config);
        };
        return env;
    }();
    long hwm[2] = {0, 0};
    double fastWall[2] = {0, 0};
    const int32_t counts[2] = {10000, 1000000};
    for (int i = 0; i < 2; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        if (RunCapture({"capture", "--board", "sim", "--rate", "10ksps", "--channels", "both",
                        "--samples", std::to_string(counts[i]), "--force", "-o", path},
                       manualEnv) != 0)
            return 1;
        fastWall[i] = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        hwm[i] = StatusKb("VmHWM:");
    }
    std::printf("peak resident memory after 10 000 samples: %ld kB (%.2f s on the manual clock)\n",
                hwm[0], fastWall[0]);
    std::printf("peak resident memory after 1 000 000 samples: %ld kB (%.2f s)\n", hwm[1],
                fastWall[1]);
    std::printf("growth: %ld kB (target < 2048 kB): %s\n", hwm[1] - hwm[0],
                hwm[1] - hwm[0] < 2048 ? "met" : "NOT MET");

    // ---- CPU share at 10 ksps in real time.
    std::vector<uint32_t> ref0;
    std::vector<uint32_t> ref1;
    if (!Replay(kSeed, kRealTimeSamples, ref0, ref1))
        return 1;
    std::vector<double> shares;
    std::vector<double> walls;
    int lostTotal = 0;
    for (int r = 0; r < rounds; ++r) {
        const double cpu0 = CpuSeconds();
        const auto t0 = std::chrono::steady_clock::now();
        if (RunCapture({"capture", "--board", "sim", "--seed", std::to_string(kSeed), "--rate",
                        "10ksps", "--channels", "both", "--samples",
                        std::to_string(kRealTimeSamples), "--force", "-o", path},
                       {}) != 0)
            return 1;
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        const double cpu = CpuSeconds() - cpu0;
        TCaptureData data;
        std::vector<std::string> warnings;
        std::string error;
        int lost = kRealTimeSamples;
        if (ReadCapture(path, data, warnings, error) && data.ch0.size() == ref0.size()) {
            lost = 0;
            for (size_t i = 0; i < ref0.size(); ++i)
                lost += (data.ch0[i] != ref0[i] || data.ch1[i] != ref1[i]) ? 1 : 0;
        }
        lostTotal += lost;
        shares.push_back(100.0 * cpu / wall);
        walls.push_back(wall);
        std::printf("round %d: wall %.2f s, CPU %.3f s = %.2f %% of wall, lost or wrong %d\n",
                    r + 1, wall, cpu, 100.0 * cpu / wall, lost);
    }
    const double share = Median(shares);
    std::printf("median CPU share over %d rounds: %.2f %% of %.2f s (target <= 5 %%): %s; "
                "samples lost or wrong in all rounds: %d\n",
                rounds, share, Median(walls), share <= 5.0 ? "met" : "NOT MET", lostTotal);
    return 0;
}
