#include "Myfile.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace {

// A scratch folder next to the other temporary files, removed at the end.
class ScratchDir {
public:
    ScratchDir()
    {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "dta-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        }
    }
    ~ScratchDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string File(const char* name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// A full two-channel data set of 10000 samples with codes of every length.
struct DataSet {
    std::unique_ptr<TChannelStorage> storage = std::make_unique<TChannelStorage>();
    TChannelData ch0{10000, storage->Code0.data(), storage->Volt0.data()};
    TChannelData ch1{10000, storage->Code1.data(), storage->Volt1.data()};
    TAdcSetting setting;
    DataSet()
    {
        setting.CHSel = 2;
        setting.spsSel = 13;
        setting.DataCountSel = 6;
        uint32_t x = 3;
        for (int i = 0; i < 10000; ++i) {
            x = x * 2654435761u + 1u;
            ch0.Code[i] = 0x80000000u + (x >> 8);
            ch1.Code[i] = x;
        }
    }
};

void BM_LoadData2ch(benchmark::State& state)
{
    ScratchDir dir;
    DataSet data;
    const std::string path = dir.File("load.DTA");
    TmyFile file;
    if (!file.SaveData2ch(path, &data.setting, &data.ch0, &data.ch1)) {
        state.SkipWithError("could not write the input file");
        return;
    }
    auto scratch = std::make_unique<TChannelStorage>();
    TChannelData ch0{0, scratch->Code0.data(), scratch->Volt0.data()};
    TChannelData ch1{0, scratch->Code1.data(), scratch->Volt1.data()};
    for (auto _ : state) {
        TAdcSetting s;
        const bool ok = file.LoadData(path, &s, &ch0, &ch1);
        benchmark::DoNotOptimize(ok);
        benchmark::DoNotOptimize(ch1.Code[9999]);
    }
}
BENCHMARK(BM_LoadData2ch)->Unit(benchmark::kMicrosecond);

// The product's save: temporary file, every write checked, fsync, rename.
void BM_SaveData2ch(benchmark::State& state)
{
    ScratchDir dir;
    DataSet data;
    const std::string path = dir.File("save.DTA");
    TmyFile file([](const std::string&) { return true; });
    for (auto _ : state) {
        const bool ok = file.SaveData2ch(path, &data.setting, &data.ch0, &data.ch1);
        benchmark::DoNotOptimize(ok);
    }
}
BENCHMARK(BM_SaveData2ch)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The save's own steps (format, new file beside the target, checked write, rename)
// without the fsync: the cost of the save apart from making it durable.
void BM_SaveData2chNoSync(benchmark::State& state)
{
    ScratchDir dir;
    DataSet data;
    const std::string path = dir.File("nosync.DTA");
    const std::string temp = dir.File(".nosync.tmp");
    std::string bytes;
    for (auto _ : state) {
        FormatDataFile2ch(data.setting, data.ch0, data.ch1, bytes);
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        ::close(fd);
        ::rename(temp.c_str(), path.c_str());
        benchmark::DoNotOptimize(n);
    }
}
BENCHMARK(BM_SaveData2chNoSync)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_FormatDataFile2ch(benchmark::State& state)
{
    DataSet data;
    std::string bytes;
    for (auto _ : state) {
        FormatDataFile2ch(data.setting, data.ch0, data.ch1, bytes);
        benchmark::DoNotOptimize(bytes.data());
    }
}
BENCHMARK(BM_FormatDataFile2ch)->Unit(benchmark::kMicrosecond);

} // namespace
