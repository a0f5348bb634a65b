// The JSON object, the two CSVs, the table and the all-or-nothing write.

#include "NoiseReport.h"
#include "WholeFile.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace mirantos::analysis;
using mirantos::WriteFileWhole;
namespace fs = std::filesystem;

namespace {

TNoiseFigures Sample()
{
    std::vector<uint32_t> codes;
    std::mt19937 rng(2);
    for (int i = 0; i < 200; ++i)
        codes.push_back(2147483648u + rng() % 37u);
    TNoiseFigures f;
    TAnalysisOptions o;
    o.bins = 10;
    o.bandLowHz = 1.0;
    o.bandHighHz = 150.5;
    EXPECT_TRUE(Analyze(codes, 397.5, 1, o, f));
    return f;
}

std::string ReadAll(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

double Read(const std::string& text)
{
    return std::strtod(text.c_str(), nullptr);
}

class TempDir : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() /
              ("mirantos-report-" +
               std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    size_t Entries() const
    {
        return static_cast<size_t>(std::distance(fs::directory_iterator(dir), {}));
    }
    fs::path dir;
};

} // namespace

TEST(NoiseReport, DoubleTextIsTheShortestRoundTrip)
{
    EXPECT_EQ(DoubleText(0.1), "0.1");
    EXPECT_EQ(DoubleText(397.5), "397.5");
    EXPECT_EQ(DoubleText(400.0), "400.0");
    EXPECT_EQ(DoubleText(0.0), "0.0");
    EXPECT_EQ(DoubleText(-2500000.001164153), "-2500000.001164153");
    EXPECT_EQ(DoubleText(1e-300), "1e-300");
    // A value where a Grisu2 writer gives one digit too many.
    EXPECT_EQ(DoubleText(6700567.7697674055), "6700567.769767405");
    std::mt19937_64 rng(1);
    std::uniform_real_distribution<double> u(-1e7, 1e7);
    for (int i = 0; i < 10000; ++i) {
        const double v = u(rng);
        const std::string t = DoubleText(v);
        EXPECT_EQ(Read(t), v) << t;
        // One digit fewer no longer reads back.
        char shorter[400];
        std::snprintf(shorter, sizeof shorter, "%.*g",
                      static_cast<int>(std::count_if(t.begin(), t.end(), ::isdigit)) - 1, v);
        EXPECT_NE(Read(shorter), v) << t;
    }
}

TEST(NoiseReport, JsonHasExactlyTheDocumentedKeysAndExactNumbers)
{
    const TNoiseFigures f = Sample();
    const std::string text = FiguresJson(f, 1);
    EXPECT_EQ(text.find('\n'), std::string::npos);
    const auto j = nlohmann::ordered_json::parse(text);
    std::vector<std::string> keys;
    for (const auto& [k, v] : j.items())
        keys.push_back(k);
    const std::vector<std::string> expected = {
        "channel",        "samples",         "rate_sps",  "gain",     "mean_code",     "rms_code",
        "min_code",       "max_code",        "pp_code",   "mean_uV",  "rms_uV",        "pp_uV",
        "effective_bits", "noise_free_bits", "histogram", "spectrum", "nsd_median_nV", "band_Hz",
        "band_rms_uV"};
    EXPECT_EQ(keys, expected);
    std::vector<std::string> hk, sk;
    for (const auto& [k, v] : j["histogram"].items())
        hk.push_back(k);
    for (const auto& [k, v] : j["spectrum"].items())
        sk.push_back(k);
    EXPECT_EQ(hk, (std::vector<std::string>{"first_code", "bin_width", "counts"}));
    EXPECT_EQ(sk, (std::vector<std::string>{"window", "segment", "segments", "df_Hz", "nsd_nV"}));

    // Integers stay integers, floating numbers read back bit for bit.
    for (const char* k : {"channel", "samples", "gain", "min_code", "max_code", "pp_code"})
        EXPECT_TRUE(j[k].is_number_integer()) << k;
    EXPECT_TRUE(j["histogram"]["first_code"].is_number_integer());
    EXPECT_TRUE(j["histogram"]["bin_width"].is_number_integer());
    EXPECT_TRUE(j["spectrum"]["segment"].is_number_integer());
    EXPECT_TRUE(j["spectrum"]["segments"].is_number_integer());
    EXPECT_EQ(j["channel"], 1);
    EXPECT_EQ(j["samples"], 200);
    EXPECT_EQ(j["min_code"], f.minCode);
    EXPECT_EQ(j["histogram"]["counts"].get<std::vector<uint64_t>>(), f.histogram.counts);
    EXPECT_EQ(j["spectrum"]["window"], "blackman-harris");
    EXPECT_TRUE(j["rate_sps"].is_number_float());
    EXPECT_EQ(j["rate_sps"].get<double>(), 397.5);
    EXPECT_EQ(j["mean_code"].get<double>(), f.meanCode);
    EXPECT_EQ(j["rms_uV"].get<double>(), f.rmsUv);
    EXPECT_EQ(j["mean_uV"].get<double>(), f.meanUv);
    EXPECT_EQ(j["effective_bits"].get<double>(), f.effectiveBits);
    EXPECT_EQ(j["spectrum"]["df_Hz"].get<double>(), f.spectrum.dfHz);
    EXPECT_EQ(j["spectrum"]["nsd_nV"].get<std::vector<double>>(), f.spectrum.nsdNv);
    EXPECT_EQ(j["spectrum"]["nsd_nV"].size(), static_cast<size_t>(f.spectrum.segment / 2 + 1));
    EXPECT_EQ(j["band_Hz"].get<std::vector<double>>(), (std::vector<double>{1.0, 150.5}));
    EXPECT_EQ(j["band_rms_uV"].get<double>(), f.bandRmsUv);
    // A whole-valued floating figure is still written as one.
    EXPECT_NE(text.find("\"band_Hz\":[1.0,150.5]"), std::string::npos);
}

TEST(NoiseReport, CsvFilesHoldEveryBinAndReadBack)
{
    const TNoiseFigures f = Sample();
    const std::string h = HistogramCsv(f.histogram);
    std::istringstream hs(h);
    std::string line;
    std::getline(hs, line);
    EXPECT_EQ(line, "first_code,last_code,count");
    uint64_t total = 0;
    size_t k = 0;
    while (std::getline(hs, line)) {
        unsigned long long a = 0, b = 0, c = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "%llu,%llu,%llu", &a, &b, &c), 3) << line;
        EXPECT_EQ(a, f.histogram.BinFirst(k));
        EXPECT_EQ(b, a + f.histogram.binWidth - 1);
        total += c;
        ++k;
    }
    EXPECT_EQ(k, f.histogram.counts.size());
    EXPECT_EQ(total, 200u);

    const std::string s = SpectrumCsv(f.spectrum);
    std::istringstream ss(s);
    std::getline(ss, line);
    EXPECT_EQ(line, "f_Hz,nsd_nV_per_rtHz");
    k = 0;
    while (std::getline(ss, line)) {
        const size_t comma = line.find(',');
        ASSERT_NE(comma, std::string::npos);
        EXPECT_EQ(Read(line.substr(0, comma)), f.spectrum.FrequencyHz(k));
        EXPECT_EQ(Read(line.substr(comma + 1)), f.spectrum.nsdNv[k]);
        ++k;
    }
    EXPECT_EQ(k, f.spectrum.nsdNv.size());
    EXPECT_EQ(s.find('\r'), std::string::npos);
}

TEST(NoiseReport, TableNamesTheFiguresWithUnits)
{
    const TNoiseFigures f = Sample();
    const std::string t = FiguresTable(f, 0);
    for (const char* piece : {"CH0", "200", "397.5 sps", " codes", " uV", "effective bits",
                              "noise-free bits", "bins of 4 codes", "blackman-harris window",
                              "segment 32", "segments", "nV/rtHz", "1 to 150.5 Hz"})
        EXPECT_NE(t.find(piece), std::string::npos) << piece << "\n" << t;
}

TEST(NoiseReport, ABandWithoutAFrequencyBinSaysSoInsteadOfAFigure)
{
    // 397.5 sps over 32-sample segments: a bin every 12.42 Hz, none from 1 to 2 Hz.
    TNoiseFigures f = Sample();
    f.bandLowHz = 1.0;
    f.bandHighHz = 2.0;
    f.bandRmsUv = 0.0;
    const std::string text = "no frequency bin between 1 and 2 Hz";
    EXPECT_NE(FiguresTable(f, 0).find("band rms          " + text + "\n"), std::string::npos)
        << FiguresTable(f, 0);
    const auto j = nlohmann::ordered_json::parse(FiguresJson(f, 0));
    EXPECT_TRUE(j.at("band_rms_uV").is_null());
    EXPECT_EQ(j.at("band_rms_reason"), text);
    EXPECT_EQ(j.at("band_Hz"), nlohmann::json::array({1.0, 2.0}));
}

TEST_F(TempDir, WholeWriteReplacesTheFileAndLeavesNothingElse)
{
    const fs::path p = dir / "spectrum.csv";
    std::string error;
    ASSERT_TRUE(WriteFileWhole(p.string(), "first\n", &error)) << error;
    EXPECT_EQ(ReadAll(p), "first\n");
    ASSERT_TRUE(WriteFileWhole(p.string(), "second\n", &error)) << error;
    EXPECT_EQ(ReadAll(p), "second\n");
    EXPECT_EQ(Entries(), 1u);
}

TEST_F(TempDir, FailedWriteLeavesTheTargetAsItWasAndNoTemporaryFile)
{
    // A directory under the name: the rename fails after all data was written.
    const fs::path d = dir / "taken";
    fs::create_directory(d);
    std::ofstream(d / "inside") << "keep";
    std::string error;
    EXPECT_FALSE(WriteFileWhole(d.string(), "data", &error));
    EXPECT_NE(error.find("cannot write"), std::string::npos);
    EXPECT_TRUE(fs::is_directory(d));
    EXPECT_EQ(ReadAll(d / "inside"), "keep");
    EXPECT_EQ(Entries(), 1u);

    // A folder that does not exist: nothing can be created.
    EXPECT_FALSE(WriteFileWhole((dir / "missing" / "x.csv").string(), "data", &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(WriteFileWhole("", "data", &error));
    EXPECT_EQ(Entries(), 1u);
}

TEST_F(TempDir, WholeWriteWritesToWhatTheNameStandsForWithoutReplacingIt)
{
    fs::create_directory(dir / "real");
    std::ofstream(dir / "real" / "t.csv") << "old";
    fs::create_symlink("real/t.csv", dir / "link.csv");
    std::ofstream(dir / "private.csv") << "old";
    const fs::perms owner = fs::perms::owner_read | fs::perms::owner_write;
    fs::permissions(dir / "private.csv", owner);
    std::ofstream(dir / "a.csv") << "older and longer";
    fs::create_hard_link(dir / "a.csv", dir / "b.csv");
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    // The read end is open before the write, so the writer never waits.
    const int fifo = ::open((dir / "pipe").c_str(), O_RDONLY | O_NONBLOCK);
    for (const char* name : {"link.csv", "private.csv", "a.csv", "pipe"}) {
        std::string error;
        EXPECT_TRUE(WriteFileWhole((dir / name).string(), "new\n", &error)) << name << error;
    }
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir / "link.csv")));
    EXPECT_EQ(ReadAll(dir / "real" / "t.csv"), "new\n");
    EXPECT_EQ(fs::status(dir / "private.csv").permissions(), owner);
    EXPECT_EQ(ReadAll(dir / "private.csv"), "new\n");
    EXPECT_EQ(fs::hard_link_count(dir / "a.csv"), 2u);
    EXPECT_EQ(ReadAll(dir / "b.csv"), "new\n");
    char got[16] = {};
    EXPECT_EQ(::read(fifo, got, sizeof got), 4);
    EXPECT_STREQ(got, "new\n");
    ::close(fifo);
    EXPECT_TRUE(fs::is_fifo(dir / "pipe"));
    EXPECT_EQ(Entries(), 6u); // no temporary file left beside any of them

    // Without the rights to replace it, a device can only be written into.
    std::string error;
    if (::geteuid() != 0) {
        EXPECT_TRUE(WriteFileWhole("/dev/null", "new\n", &error)) << error;
        EXPECT_TRUE(fs::is_character_file("/dev/null"));
    }
    // A link to nothing: the link kept, its target created.
    fs::create_symlink("gone.csv", dir / "dangling.csv");
    EXPECT_TRUE(WriteFileWhole((dir / "dangling.csv").string(), "new\n", &error)) << error;
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir / "dangling.csv")));
    EXPECT_EQ(ReadAll(dir / "gone.csv"), "new\n");
}
