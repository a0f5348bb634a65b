// analyze on crafted data files: the output is the analysis library's on the
// file's codes at the file's rate, the options reach it, files are written
// whole, and every bad input has its message and exit status.

#include "CliTestSupport.h"
#include "NoiseReport.h"

#include <QImage>
#include <QProcess>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <random>

using clitest::DtaText;
using clitest::RunCli;
using clitest::TempDir;
namespace cli = mirantos::cli;
namespace an = mirantos::analysis;

namespace {

struct Channels {
    std::vector<uint32_t> ch0, ch1;
    std::vector<std::string> lines;
};

// n samples, CH0 around 0 V with sigma 30 codes, CH1 around -1 V with 300.
Channels Noise(int n, bool both)
{
    Channels c;
    std::mt19937_64 rng(3);
    std::normal_distribution<double> g(0.0, 1.0);
    for (int i = 0; i < n; ++i) {
        c.ch0.push_back(static_cast<uint32_t>(std::llround(2147483648.0 + 30.0 * g(rng))));
        c.ch1.push_back(static_cast<uint32_t>(std::llround(1288490189.0 + 300.0 * g(rng))));
        c.lines.push_back(both ? std::to_string(c.ch0.back()) + "," + std::to_string(c.ch1.back())
                               : std::to_string(c.ch0.back()));
    }
    return c;
}

an::TNoiseFigures Expected(const std::vector<uint32_t>& codes, double rate,
                           an::TAnalysisOptions o = {})
{
    an::TNoiseFigures f;
    EXPECT_TRUE(an::Analyze(codes, rate, 1, o, f));
    return f;
}

// What analyze prints: the noise figures and the low-frequency ones.
std::string Json(const std::vector<uint32_t>& codes, double rate, int channel,
                 an::TAnalysisOptions o = {})
{
    return an::FiguresJson(Expected(codes, rate, o), channel,
                           an::ComputeLowFrequency(codes, rate, 1)) +
           "\n";
}

} // namespace

TEST(AnalyzeCommand, PrintsTheLibrarysFiguresAtTheFilesRate)
{
    TempDir dir;
    const Channels c = Noise(1000, false);
    // Rate index 8 with Sinc5+Sinc1: 397.5 sps.
    const std::string f = dir.Write("a.DTA", DtaText(0, c.lines, 8, 3));
    const auto json = RunCli({"analyze", "--json", f});
    EXPECT_EQ(json.code, cli::kExitOk) << json.err;
    EXPECT_EQ(json.out, Json(c.ch0, 397.5, 0));
    EXPECT_NE(json.out.find("\"rate_sps\":397.5,"), std::string::npos);
    EXPECT_EQ(json.err, "");

    const auto table = RunCli({"analyze", f});
    EXPECT_EQ(table.code, cli::kExitOk);
    EXPECT_EQ(table.out, an::FiguresTable(Expected(c.ch0, 397.5), 0,
                                          an::ComputeLowFrequency(c.ch0, 397.5, 1)));

    // Index 2: the table's 16.66 sps is the decimal 16.66, not its float.
    const std::string g = dir.Write("b.DTA", DtaText(0, c.lines, 2, 3));
    EXPECT_NE(RunCli({"analyze", "--json", g}).out.find("\"rate_sps\":16.66,"), std::string::npos);
}

TEST(AnalyzeCommand, OptionsAndChannelReachTheAnalysis)
{
    TempDir dir;
    const Channels c = Noise(500, true);
    const std::string f = dir.Write("two.DTA", DtaText(2, c.lines, 10, 2)); // 1 ksps
    an::TAnalysisOptions o;
    o.bins = 7;
    o.segment = 100;
    o.window = an::TWindow::Hann;
    o.bandLowHz = 10.0;
    o.bandHighHz = 250.5;
    const auto r = RunCli({"analyze", "--channel", "1", "--bins", "7", "--segment=100", "--window",
                           "hann", "--band", "10:250.5", "--json", f});
    EXPECT_EQ(r.code, cli::kExitOk) << r.err;
    EXPECT_EQ(r.out, Json(c.ch1, 1000.0, 1, o));
    // CH0 by default, as stats.
    EXPECT_EQ(RunCli({"analyze", "--json", f}).out, Json(c.ch0, 1000.0, 0));
}

TEST(AnalyzeCommand, WritesTheCsvFilesAndThePicture)
{
    TempDir dir;
    const Channels c = Noise(1000, false);
    const std::string f = dir.Write("a.DTA", DtaText(0, c.lines, 6, 3));
    const auto r = RunCli({"analyze", "--histogram-csv", dir.Path("h.csv"), "--spectrum-csv",
                           dir.Path("s.csv"), "--png", dir.Path("p.png"), f});
    EXPECT_EQ(r.code, cli::kExitOk) << r.err;
    const an::TNoiseFigures e = Expected(c.ch0, 100.0);
    EXPECT_EQ(clitest::ReadAll(dir.Path("h.csv")), an::HistogramCsv(e.histogram));
    EXPECT_EQ(clitest::ReadAll(dir.Path("s.csv")), an::SpectrumCsv(e.spectrum));
    EXPECT_EQ(QImage(QString::fromStdString(dir.Path("p.png"))).size(), QSize(900, 900));

    // A folder that does not exist: exit 1, the reason, nothing left behind.
    const auto bad = RunCli({"analyze", "--spectrum-csv", dir.Path("no/s.csv"), f});
    EXPECT_EQ(bad.code, cli::kExitFailure);
    EXPECT_NE(bad.err.find("cannot write"), std::string::npos);
    EXPECT_FALSE(clitest::FileExists(dir.Path("no/s.csv")));
}

// The low-frequency keys after the others, a figure or null with the reason,
// and their CSVs, at rates and lengths either side of what the band needs.
TEST(AnalyzeCommand, LowFrequencyFiguresAndTheirCsvs)
{
    struct Case {
        int spsSel;
        double rate;
        int samples;
        const char* reason;      // nullptr: the 0.1-10 Hz figure is there
        const char* driftReason; // nullptr: the drift is there
    };
    const char* const shortRecord = "needs at least 30 s of samples";
    const Case cases[] = {{6, 100.0, 10000, nullptr, nullptr},
                          {6, 100.0, 2999, shortRecord, shortRecord},
                          {2, 16.66, 10000, "needs at least 49.96 sps", nullptr},
                          {0, 5.0, 150, "needs at least 49.96 sps", nullptr},
                          {0, 5.0, 149, "needs at least 49.96 sps", shortRecord}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.samples);
        TempDir dir;
        const Channels c = Noise(k.samples, false);
        const std::string f = dir.Write("a.DTA", DtaText(0, c.lines, k.spsSel, 3));
        const an::TLowFrequencyFigures lf = an::ComputeLowFrequency(c.ch0, k.rate, 1);
        const auto r = RunCli({"analyze", "--json", "--allan-csv", dir.Path("a.csv"), f});
        ASSERT_EQ(r.code, cli::kExitOk) << r.err;
        const auto j = nlohmann::ordered_json::parse(r.out);
        std::vector<std::string> keys;
        for (const auto& [key, value] : j.items())
            keys.push_back(key);
        std::vector<std::string> want = {"slope_uV_per_h"};
        if (k.driftReason)
            want.push_back("slope_reason");
        want.insert(want.end(), {"allan", "lf_0p1_10Hz"});
        if (k.reason)
            want.push_back("lf_reason");
        std::vector<std::string> tail(keys.end() - static_cast<ptrdiff_t>(want.size()), keys.end());
        EXPECT_EQ(tail, want);
        EXPECT_EQ(keys[keys.size() - want.size() - 1], "band_rms_uV");
        const auto table = RunCli({"analyze", f});
        if (k.driftReason) {
            // Not a slope of noise scaled to an hour: the reason, as the band's.
            EXPECT_TRUE(j["slope_uV_per_h"].is_null());
            EXPECT_EQ(j["slope_reason"], k.driftReason);
            EXPECT_NE(table.out.find(std::string("drift             ") + k.driftReason + "\n"),
                      std::string::npos)
                << table.out;
        } else {
            ASSERT_TRUE(lf.slopeUvPerH);
            EXPECT_DOUBLE_EQ(j["slope_uV_per_h"].get<double>(), *lf.slopeUvPerH);
        }
        ASSERT_EQ(j["allan"].size(), lf.allan.size());
        EXPECT_EQ(j["allan"].back()["m"], lf.allan.back().m);
        EXPECT_EQ(j["allan"].back()["terms"], lf.allan.back().terms);
        EXPECT_DOUBLE_EQ(j["allan"][0]["tau_s"].get<double>(), 1 / k.rate);
        EXPECT_DOUBLE_EQ(j["allan"][0]["adev_uV"].get<double>(), lf.allan[0].adevUv);
        EXPECT_EQ(clitest::ReadAll(dir.Path("a.csv")), an::AllanCsv(lf.allan));
        EXPECT_EQ(clitest::ReadAll(dir.Path("a.csv")).substr(0, 20), "tau_s,adev_uV,terms\n");

        const auto lfCsv = RunCli({"analyze", "--lf-csv", dir.Path("lf.csv"), f});
        if (k.reason) {
            EXPECT_TRUE(j["lf_0p1_10Hz"].is_null());
            EXPECT_EQ(j["lf_reason"], k.reason);
            EXPECT_NE(table.out.find(std::string("0.1-10 Hz noise   ") + k.reason + "\n"),
                      std::string::npos)
                << table.out;
            // No figure, no file: exit 1 with the reason, nothing written.
            EXPECT_EQ(lfCsv.code, cli::kExitFailure);
            EXPECT_NE(lfCsv.err.find(k.reason), std::string::npos) << lfCsv.err;
            EXPECT_FALSE(clitest::FileExists(dir.Path("lf.csv")));
        } else {
            EXPECT_EQ(j["lf_0p1_10Hz"]["intervals"], 8); // (10000 - 2000) / 1000
            EXPECT_DOUBLE_EQ(j["lf_0p1_10Hz"]["pp_uV_median"].get<double>(), lf.lf->ppUvMedian);
            EXPECT_DOUBLE_EQ(j["lf_0p1_10Hz"]["pp_uV_max"].get<double>(), lf.lf->ppUvMax);
            EXPECT_DOUBLE_EQ(j["lf_0p1_10Hz"]["rms_uV"].get<double>(), lf.lf->rmsUv);
            EXPECT_NE(table.out.find("uV pp median"), std::string::npos) << table.out;
            EXPECT_EQ(lfCsv.code, cli::kExitOk) << lfCsv.err;
            const std::string csv = clitest::ReadAll(dir.Path("lf.csv"));
            EXPECT_EQ(csv, an::LowFrequencyCsv(*lf.lf, 100.0));
            EXPECT_EQ(csv.substr(0, 10), "t_s,uV\n20,"); // sample 2000 at 100 sps
            EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 8001);
        }
        EXPECT_NE(table.out.find("drift             "), std::string::npos) << table.out;
        // "-": the Allan CSV on standard output instead of the table.
        EXPECT_EQ(RunCli({"analyze", "--allan-csv", "-", f}).out, an::AllanCsv(lf.allan));
    }
}

// A density median from a handful of Welch segments reads low: the table and
// the JSON say so, and only then (the default 128 gives 14 segments).
TEST(AnalyzeCommand, AMedianFromFewSegmentsCarriesANote)
{
    TempDir dir;
    const std::string f = dir.Write("a.DTA", DtaText(0, Noise(1000, false).lines, 8, 3));
    const std::pair<const char*, std::string> cases[] = {
        {"128", ""},
        {"256", "from only 6 Welch segments (fewer than 8): reads low and uncertain"},
        {"1000", "from only 1 Welch segment (fewer than 8): reads low and uncertain"}};
    for (const auto& [segment, note] : cases) {
        SCOPED_TRACE(segment);
        const auto json = RunCli({"analyze", "--json", "--segment", segment, f});
        const auto table = RunCli({"analyze", "--segment", segment, f});
        ASSERT_EQ(json.code, cli::kExitOk) << json.err;
        EXPECT_EQ(nlohmann::json::parse(json.out).value("nsd_median_note", ""), note);
        const size_t line = table.out.find("median density");
        const std::string row = table.out.substr(line, table.out.find('\n', line) - line);
        EXPECT_TRUE(row.ends_with(note.empty() ? " nV/rtHz" : " nV/rtHz (" + note + ")")) << row;
    }
}

TEST(AnalyzeCommand, BadOptionValuesAreUsageErrors)
{
    TempDir dir;
    const std::string f = dir.Write("a.DTA", DtaText(0, Noise(100, false).lines, 8, 0));
    struct Case {
        std::vector<std::string> args;
        const char* message;
    };
    for (const Case& k : std::vector<Case>{
             {{"--bins", "0"}, "--bins takes a number from 1 to 1000"},
             {{"--bins", "1001"}, "--bins takes"},
             {{"--bins", "x"}, "--bins takes"},
             {{"--segment", "7"}, "--segment takes"},
             {{"--segment", "101"}, "--segment must lie in 8..100"},
             {{"--window", "hanning"}, "--window takes blackman-harris, hann or rect"},
             {{"--band", "10"}, "--band takes F1:F2"},
             {{"--band", "1:x"}, "--band takes F1:F2"},
             {{"--band", "0:198.76"}, "--band must lie within 0:198.75 Hz"},
             {{"--band", "50:40"}, "--band must lie within"},
             {{"--channel", "2"}, "--channel takes 0 or 1"},
             {{"--frequency", "1"}, "frequency"}}) {
        std::vector<std::string> args = {"analyze"};
        args.insert(args.end(), k.args.begin(), k.args.end());
        args.push_back(f);
        const auto r = RunCli(args);
        EXPECT_EQ(r.code, cli::kExitUsage) << k.args[0] << " " << k.args[1];
        EXPECT_NE(r.err.find(k.message), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(RunCli({"analyze"}).code, cli::kExitUsage);
    const auto help = RunCli({"analyze", "--help"});
    EXPECT_EQ(help.code, cli::kExitOk);
    EXPECT_NE(help.out.find("--histogram-csv"), std::string::npos);
}

TEST(AnalyzeCommand, FilesThatCannotBeAnalysedFailWithExitOne)
{
    TempDir dir;
    // Nine samples.
    const std::string nine = dir.Write("nine.DTA", DtaText(0, std::vector<std::string>(9, "5")));
    const auto r = RunCli({"analyze", nine});
    EXPECT_EQ(r.code, cli::kExitFailure);
    EXPECT_NE(r.err.find("at least 10"), std::string::npos);
    // No CH1 in a CH0 file.
    const std::string ch0 = dir.Write("ch0.DTA", DtaText(0, Noise(20, false).lines));
    const auto noCh1 = RunCli({"analyze", "--channel", "1", ch0});
    EXPECT_EQ(noCh1.code, cli::kExitFailure);
    EXPECT_NE(noCh1.err.find("holds no CH1 data"), std::string::npos);
    // A file the window rejects: its message, as stats shows it.
    const std::string bad = dir.Write("bad.DTA", "not a data file\r\n");
    const auto rejected = RunCli({"analyze", bad});
    EXPECT_EQ(rejected.code, cli::kExitFailure);
    EXPECT_EQ(rejected.err, RunCli({"stats", bad}).err);
    EXPECT_NE(rejected.err.find("データファイルの内容が正しくありませんでした"), std::string::npos);
}

TEST(AnalyzeCommand, TheBuiltToolDrawsThePictureWithoutADisplay)
{
    // The plots are widgets: the tool must run a QApplication, offscreen.
    TempDir dir;
    const std::string f = dir.Write("a.DTA", DtaText(0, Noise(200, false).lines, 8, 1));
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("QT_QPA_PLATFORM");
    env.remove("DISPLAY");
    p.setProcessEnvironment(env);
    p.start(
        QStringLiteral(MIRANTOS_CLI_EXE),
        {"analyze", "--png", QString::fromStdString(dir.Path("p.png")), QString::fromStdString(f)});
    ASSERT_TRUE(p.waitForFinished(120000)); // a guard against a hang, not a speed test
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), cli::kExitOk) << p.readAllStandardError().toStdString();
    EXPECT_EQ(QImage(QString::fromStdString(dir.Path("p.png"))).size(), QSize(900, 900));
}
