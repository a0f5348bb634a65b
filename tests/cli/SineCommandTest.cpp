// analyze --sine (and compare --sine) on crafted data files: the sine object's keys in
// their documented order with the library's values, its CSV, null with the reason on a
// short record, and one table of the options and files the tool refuses.

#include "CliTestSupport.h"
#include "NoiseReport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <numbers>

using clitest::DtaText;
using clitest::RunCli;
using clitest::TempDir;
namespace cli = mirantos::cli;
namespace an = mirantos::analysis;

namespace {

// n samples of a 123.4 Hz tone of 1e6 uV with a -80 dBc 3rd harmonic and a little noise.
std::vector<uint32_t> ToneCodes(int n)
{
    std::vector<uint32_t> c;
    uint64_t lcg = 5;
    for (int i = 0; i < n; ++i) {
        const double ph = 2 * std::numbers::pi * 123.4 * i / 1000.0;
        lcg = lcg * 6364136223846793005ull + 1442695040888963407ull;
        const double uv =
            1e6 * (std::sin(ph) + 1e-4 * std::sin(3 * ph)) + static_cast<double>(lcg >> 40) / 1e5;
        c.push_back(static_cast<uint32_t>(std::llround(2147483648.0 + uv * 858.993459)));
    }
    return c;
}

std::string ToneFile(TempDir& dir, const char* name, const std::vector<uint32_t>& codes,
                     int countSel)
{
    std::vector<std::string> lines;
    for (const uint32_t c : codes)
        lines.push_back(std::to_string(c));
    return dir.Write(name, DtaText(0, lines, 10, countSel)); // 1 ksps
}

} // namespace

TEST(SineCommand, JsonSineObjectInItsOrderTheCsvAndNullWithTheReason)
{
    TempDir dir;
    const auto codes = ToneCodes(5000);
    const std::string f = ToneFile(dir, "tone.DTA", codes, 5);
    const auto r = RunCli(
        {"analyze", "--sine", "--harmonics", "4", "--json", "--sine-csv", dir.Path("s.csv"), f});
    ASSERT_EQ(r.code, cli::kExitOk) << r.err;
    const auto j = nlohmann::ordered_json::parse(r.out);
    const auto& sine = j.at("sine");
    std::vector<std::string> keys;
    for (const auto& [key, value] : sine.items())
        keys.push_back(key);
    EXPECT_EQ(keys,
              (std::vector<std::string>{"fundamental_Hz", "amplitude_uV", "amplitude_dBFS",
                                        "snr_dB", "thd_dBc", "sinad_dB", "sfdr_dBc", "spur_Hz",
                                        "enob_bits", "enob_fs_bits", "harmonics", "fit"}));
    EXPECT_EQ(sine.at("harmonics").size(), 3u);
    // Golden bytes: the 3rd harmonic at -80 dBc, as the tool prints it.
    EXPECT_NE(r.out.find(R"({"h":3,"f_Hz":370.19999829984215,"dBc":-79.95351963848178})"),
              std::string::npos);
    EXPECT_EQ(sine.at("fit").dump().substr(0, 9), R"({"f_Hz":1)");
    EXPECT_EQ(sine.at("fit").at("iterations"), 2);
    // The rest of the object is the library's on the file's codes, and so is the CSV.
    an::TSineOptions o;
    o.harmonics = 4;
    an::TSineResult e;
    e.figures = an::AnalyzeSine(codes, 1000.0, 1, o, &e.reason);
    ASSERT_TRUE(e.figures);
    EXPECT_NEAR(sine.at("snr_dB").get<double>(), e.figures->snrDb, 0.0);
    EXPECT_EQ(clitest::ReadAll(dir.Path("s.csv")), an::SineCsv(*e.figures));
    EXPECT_EQ(clitest::ReadAll(dir.Path("s.csv")).substr(0, 10), "f_Hz,dBFS\n");

    // 1000 samples: null and the reason, in the JSON and in the table.
    const std::string shortFile = ToneFile(dir, "short.DTA", ToneCodes(1000), 3);
    const auto s = RunCli({"analyze", "--sine", "--json", shortFile});
    EXPECT_EQ(s.code, cli::kExitOk);
    EXPECT_TRUE(s.out.ends_with(R"(,"sine":null,"sine_reason":"needs at least 1024 samples"})"
                                "\n"))
        << s.out.substr(s.out.size() - 80);
    EXPECT_NE(RunCli({"analyze", "--sine", shortFile})
                  .out.find("sine-wave test    needs at least 1024 samples\n"),
              std::string::npos);
    // compare: each file's object carries its sine, the table the figures' rows.
    const auto c = RunCli({"compare", "--sine", "--json", f, shortFile});
    ASSERT_EQ(c.code, cli::kExitOk) << c.err;
    const auto cj = nlohmann::json::parse(c.out);
    EXPECT_TRUE(cj["files"][0]["sine"].is_object());
    EXPECT_EQ(cj["files"][1]["sine_reason"], "needs at least 1024 samples");
    EXPECT_NE(RunCli({"compare", "--sine", f, f}).out.find("\nSNR [dB]  "), std::string::npos);
}

TEST(SineCommand, RefusedOptionsAndFilesWithTheirExitCodeAndMessage)
{
    TempDir dir;
    const std::string f = ToneFile(dir, "tone.DTA", ToneCodes(5000), 5);
    const std::string shortFile = ToneFile(dir, "short.DTA", ToneCodes(1000), 3);
    const std::string taken = dir.Write("taken.csv", "x");
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string message;
    };
    const Case cases[] = {
        {{"analyze", "--sine", "--side-bins", "51", f},
         2,
         "--side-bins takes a number from 0 to 50"},
        {{"analyze", "--sine", "--harmonics", "1", f},
         2,
         "--harmonics takes a number from 2 to 10"},
        {{"analyze", "--sine", "--sine-window", "bh4", f}, 2, "--sine-window takes bh7 or rect"},
        {{"analyze", "--sine", "--tone", "-5", f}, 2, "--tone takes a frequency in Hz above 0"},
        {{"analyze", "--sine", "--tone", "600", f},
         2,
         "--tone takes a frequency from 1.5 to 499.9 Hz for this record, not 600"},
        {{"analyze", "--tone", "100", f}, 2, "--tone needs --sine"},
        {{"analyze", "--sine-csv", dir.Path("o.csv"), f}, 2, "--sine-csv needs --sine"},
        {{"analyze", "--sine", "--sine-csv", taken, f}, 1, "taken.csv exists; --force replaces it"},
        {{"analyze", "--sine", "--sine-csv", dir.Path("o.csv"), shortFile},
         1,
         "--sine-csv: no sine-wave test of " + shortFile + ": needs at least 1024 samples"},
        {{"compare", "--sine", "--harmonics", "11", f, f}, 2, "--harmonics takes"},
        {{"report", "--side-bins", "3", "-o", dir.Path("r.pdf"), f}, 2, "--side-bins needs --sine"},
        {{"measure", "--board", "usb", "--sim-tone", "1:1"},
         2,
         "--sim-tone applies to the simulated board (--board sim) only"},
        {{"measure", "--board", "sim", "--sim-tone", "1000"},
         2,
         "--sim-tone takes F:A[:HD2[:HD3]]"},
    };
    for (const Case& k : cases) {
        const auto r = RunCli(k.args);
        EXPECT_EQ(r.code, k.code) << k.args[1] << " " << k.args[2];
        EXPECT_NE(r.err.find(k.message), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    EXPECT_FALSE(clitest::FileExists(dir.Path("o.csv")));
    EXPECT_EQ(clitest::ReadAll(taken), "x");
}
