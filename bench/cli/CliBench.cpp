// The file commands on the largest data set: a two-channel file of 10000 samples;
// compare on eight such files, with and without the PDF report.

#include "Commands.h"

#include <QApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <fstream>
#include <sstream>

namespace {

std::string g_file;
std::string g_dir;

void WriteLargeFile(const std::string& path, uint32_t seed = 0)
{
    std::ofstream f(path, std::ios::binary);
    f << "AD7177_DataFile:\r\nM:\r\nspsSel:13\r\nDataCountSel:6\r\nCHSel:2\r\nGainSel:0\r\n"
         "fSinc5:1\r\nfBUF_ON:0\r\nMEND:\r\nD:\r\n";
    uint32_t a = 2147483648u + seed;
    uint32_t b = 1900000000u;
    for (int i = 0; i < 10000; ++i) {
        a = a * 1664525u + 1013904223u;
        b = b * 22695477u + 1u;
        f << (2147483648u + (a >> 20)) << ',' << (1900000000u + (b >> 22)) << "\r\n";
    }
    f << "DEND:\r\n";
}

int RunQuiet(const std::vector<std::string>& args)
{
    std::ostringstream out;
    std::ostringstream err;
    return mirantos::cli::Run(args, mirantos::cli::CliIo{out, err, false});
}

void BM_Stats(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(RunQuiet({"stats", g_file}));
}
BENCHMARK(BM_Stats)->Unit(benchmark::kMillisecond);

void BM_PlotPng(benchmark::State& state)
{
    const std::string png = g_dir + "/bench.png";
    for (auto _ : state)
        benchmark::DoNotOptimize(RunQuiet({"plot", g_file, "-o", png}));
}
BENCHMARK(BM_PlotPng)->Unit(benchmark::kMillisecond);

void BM_ExportCsv(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(RunQuiet({"export", g_file}));
}
BENCHMARK(BM_ExportCsv)->Unit(benchmark::kMillisecond);

std::vector<std::string> g_eight;

// 0: the table alone, 1: with the PDF, 2: with the PDF and the PNG.
void BM_CompareEight(benchmark::State& state)
{
    std::vector<std::string> args{"compare", "--force"};
    if (state.range(0) >= 1) {
        args.push_back("--pdf");
        args.push_back(g_dir + "/cmp.pdf");
    }
    if (state.range(0) >= 2) {
        args.push_back("--png");
        args.push_back(g_dir + "/cmp.png");
    }
    args.insert(args.end(), g_eight.begin(), g_eight.end());
    for (auto _ : state)
        benchmark::DoNotOptimize(RunQuiet(args));
}
BENCHMARK(BM_CompareEight)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    // QApplication: compare's plots are QCustomPlot widgets.
    QApplication app(qtArgc, argv);
    QTemporaryDir dir;
    g_dir = dir.path().toStdString();
    g_file = g_dir + "/large.DTA";
    WriteLargeFile(g_file);
    for (uint32_t i = 0; i < 8; ++i) {
        g_eight.push_back(g_dir + "/run" + std::to_string(i) + ".DTA");
        WriteLargeFile(g_eight.back(), i * 7919u);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
