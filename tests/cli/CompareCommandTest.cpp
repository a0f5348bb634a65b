// compare on crafted files: runs scaled copies of one another (2x and 3x the
// deviation of the first from mid-scale), whose differences are known by
// hand, the JSON's shape against analyze's own objects, the overlaid
// picture's colours in the files' order, and the refusals.

#include "CaptureFile.h"
#include "CliTestSupport.h"
#include "ComparisonPlots.h"

#include <QColor>
#include <QImage>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <random>

using clitest::DtaText;
using clitest::RunCli;
using clitest::TempDir;
namespace cli = mirantos::cli;

namespace {

constexpr int64_t kMid = 2147483648;

// 1000 samples at 397.5 sps: mid-scale plus `scale` times one fixed noise
// sequence (both channels when `both`, CH1 the same).
std::string ScaledFile(const TempDir& dir, const std::string& name, int scale, bool both = false)
{
    std::mt19937_64 rng(7);
    std::normal_distribution<double> g(0.0, 25.0);
    std::vector<std::string> lines;
    for (int i = 0; i < 1000; ++i) {
        const std::string code = std::to_string(kMid + scale * std::llround(g(rng)));
        lines.push_back(both ? code + "," + code : code);
    }
    return dir.Write(name, DtaText(both ? 2 : 0, lines, 8, 3));
}

// 20 log10(2), 20 log10(3), log2(3).
constexpr double kDb2 = 6.020599913279624;
constexpr double kDb3 = 9.542425094393248;
constexpr double kLog2Of3 = 1.584962500721156;

} // namespace

TEST(CompareCommand, DifferencesToTheFirstAreTheHandComputedOnes)
{
    TempDir dir;
    const std::string a = ScaledFile(dir, "a.DTA", 1);
    const std::string b = ScaledFile(dir, "b.DTA", 2);
    const std::string c = ScaledFile(dir, "c.DTA", 3);
    const auto r = RunCli({"compare", "--json", a, b, c});
    ASSERT_EQ(r.code, cli::kExitOk) << r.err;
    const auto j = nlohmann::json::parse(r.out);
    const auto& d = j.at("differences");
    ASSERT_EQ(d.size(), 2u);
    const struct {
        double pct, db, bits;
    } want[] = {{100.0, kDb2, -1.0}, {200.0, kDb3, -kLog2Of3}};
    for (size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(d[i].at("file"), i + 1);
        for (const char* key : {"rms_pct", "pp_pct"})
            EXPECT_NEAR(d[i].at(key).get<double>(), want[i].pct, 1e-6) << key;
        for (const char* key : {"rms_dB", "pp_dB", "nsd_median_dB"})
            EXPECT_NEAR(d[i].at(key).get<double>(), want[i].db, 1e-6) << key;
        for (const char* key : {"effective_bits", "noise_free_bits"})
            EXPECT_NEAR(d[i].at(key).get<double>(), want[i].bits, 1e-6) << key;
    }

    // The table: labels in order (the base name where none is given), and the
    // same differences rounded.
    const auto t = RunCli({"compare", "--label", "ref", "--label", "twice", a, b, c});
    ASSERT_EQ(t.code, cli::kExitOk) << t.err;
    const auto lines = clitest::Lines(t.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines[0].find("ref"), std::string::npos);
    EXPECT_LT(lines[0].find("ref"), lines[0].find("twice"));
    EXPECT_LT(lines[0].find("twice"), lines[0].find("c.DTA"));
    EXPECT_NE(t.out.find("difference to ref:"), std::string::npos);
    bool rmsRow = false;
    for (const std::string& l : lines) {
        if (l.rfind("rms [dB]", 0) == 0) {
            rmsRow = true;
            EXPECT_NE(l.find("+6.02"), std::string::npos) << l;
            EXPECT_NE(l.find("+9.54"), std::string::npos) << l;
        }
    }
    EXPECT_TRUE(rmsRow) << t.out;
}

TEST(CompareCommand, JsonHoldsAnalyzesObjectOfEachFile)
{
    TempDir dir;
    const std::string a = ScaledFile(dir, "a.DTA", 1, true);
    const std::string b = ScaledFile(dir, "b.DTA", 2, true);
    const auto r = RunCli({"compare", "--json", "--channel", "1", "--segment", "64", a, b});
    ASSERT_EQ(r.code, cli::kExitOk) << r.err;
    ASSERT_EQ(r.out.back(), '\n');
    const auto j = nlohmann::json::parse(r.out);
    ASSERT_EQ(j.size(), 3u);
    EXPECT_EQ(j.at("reference"), 0);
    ASSERT_EQ(j.at("files").size(), 2u);
    size_t i = 0;
    for (const std::string& f : {a, b}) {
        const auto one = RunCli({"analyze", "--json", "--channel", "1", "--segment", "64", f});
        ASSERT_EQ(one.code, cli::kExitOk);
        EXPECT_EQ(j["files"][i++], nlohmann::json::parse(one.out));
    }
    ASSERT_EQ(j.at("differences").size(), 1u);
    EXPECT_EQ(j["differences"][0].size(), 9u);
}

// Noise taken over another bandwidth differs for that alone: the differences
// say so, in the table and the JSON, whether the rate or the filter differs.
TEST(CompareCommand, RunsOfAnotherBandwidthAreMarked)
{
    TempDir dir;
    const std::string a = ScaledFile(dir, "a.DTA", 1); // 397.5 sps, Sinc5+Sinc1
    auto variant = [&](const std::string& name, const std::string& from, const std::string& to) {
        std::string text = clitest::ReadAll(a);
        text.replace(text.find(from), from.size(), to);
        return dir.Write(name, text);
    };
    const std::pair<std::string, bool> cases[] = {
        {ScaledFile(dir, "same.DTA", 2), false},
        {variant("sinc3.DTA", "fSinc5:1", "fSinc5:0"), true}, // 400 sps, Sinc3
        {variant("fast.DTA", "spsSel:8", "spsSel:10"), true}, // 1000 sps
    };
    for (const auto& [file, differs] : cases) {
        SCOPED_TRACE(file);
        const auto t = RunCli({"compare", a, file});
        ASSERT_EQ(t.code, cli::kExitOk) << t.err;
        const size_t row = t.out.find("\nbandwidth", t.out.find("difference to a.DTA:"));
        ASSERT_NE(row, std::string::npos) << t.out;
        const std::string cell = differs ? " differs\n" : " same\n";
        EXPECT_EQ(t.out.find(cell, row), t.out.find('\n', row + 1) + 1 - cell.size()) << t.out;
        EXPECT_EQ(
            t.out.ends_with("note: the bandwidths differ; rms and pp differ for that alone\n"),
            differs);
        const auto j = nlohmann::json::parse(RunCli({"compare", "--json", a, file}).out);
        EXPECT_EQ(j["differences"][0].at("bandwidth_differs"), differs);
    }
}

// The density plot (the left third): a run with twice the noise lies above,
// drawn in its own colour, whichever order the files come in.
TEST(CompareCommand, PictureColoursFollowTheFilesOrder)
{
    TempDir dir;
    const std::string files[] = {ScaledFile(dir, "a.DTA", 1), ScaledFile(dir, "b.DTA", 2),
                                 ScaledFile(dir, "c.DTA", 4)};
    // Eight runs, eight colours far enough apart to tell.
    for (int i = 0; i < 8; ++i)
        for (int k = 0; k < i; ++k) {
            const QColor a(mirantos::ComparisonColor(i));
            const QColor b(mirantos::ComparisonColor(k));
            EXPECT_GE(std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
                          std::abs(a.blue() - b.blue()),
                      90)
                << i << " and " << k;
        }
    const int orders[][3] = {{0, 1, 2}, {2, 0, 1}};
    for (const auto& order : orders) {
        const std::string png = dir.Path("p" + std::to_string(order[0]) + ".png");
        const auto r =
            RunCli({"compare", "--png", png, files[order[0]], files[order[1]], files[order[2]]});
        ASSERT_EQ(r.code, cli::kExitOk) << r.err;
        const QImage image(QString::fromStdString(png));
        ASSERT_FALSE(image.isNull());
        // Mean row of each run's colour left of the legend (top right).
        double rowSum[3] = {0, 0, 0};
        int count[3] = {0, 0, 0};
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width() / 6; ++x) {
                const QColor p = image.pixelColor(x, y);
                for (int run = 0; run < 3; ++run) {
                    const QColor c(mirantos::ComparisonColor(run));
                    if (std::abs(p.red() - c.red()) + std::abs(p.green() - c.green()) +
                            std::abs(p.blue() - c.blue()) <
                        30) {
                        rowSum[run] += y;
                        ++count[run];
                    }
                }
            }
        }
        double meanRow[3];
        for (int run = 0; run < 3; ++run) {
            ASSERT_GT(count[run], 20) << "run " << run;
            meanRow[run] = rowSum[run] / count[run];
        }
        // Run k shows file order[k], whose scale is 1, 2 or 4: a larger one is higher up.
        for (int k = 0; k < 3; ++k)
            for (int l = 0; l < 3; ++l)
                if (order[k] > order[l]) {
                    EXPECT_LT(meanRow[k], meanRow[l]) << "run " << k << " over run " << l;
                }
    }
}

struct Refusal {
    const char* name;
    int files; // a.DTA (both channels), then CH0-only files b, c, ...
    std::vector<std::string> options;
    int code;
    std::string message; // "{last}" stands for the last file's path
};

class CompareRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(CompareRefusal, NamesTheProblemAndWritesNothing)
{
    const Refusal& p = GetParam();
    TempDir dir;
    std::vector<std::string> args{"compare"};
    args.insert(args.end(), p.options.begin(), p.options.end());
    std::vector<std::string> paths;
    for (int i = 0; i < p.files; ++i)
        paths.push_back(
            ScaledFile(dir, std::string(1, static_cast<char>('a' + i)) + ".DTA", i + 1, i == 0));
    for (std::string& a : args)
        if (a == "{first}")
            a = paths.front();
    args.insert(args.end(), paths.begin(), paths.end());
    const std::string out = dir.Path("out.png");
    const std::string before = paths.empty() ? "" : clitest::ReadAll(paths.front());
    const auto r = RunCli(args);
    std::string message = p.message;
    if (const size_t at = message.find("{last}"); at != std::string::npos)
        message.replace(at, 6, paths.back());
    EXPECT_EQ(r.code, p.code) << r.err;
    EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(clitest::FileExists(out));
    if (!paths.empty()) {
        EXPECT_EQ(clitest::ReadAll(paths.front()), before);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Compare, CompareRefusal,
    ::testing::Values(
        Refusal{"OneFile", 1, {}, cli::kExitUsage, "compare takes 2 to 8 data files, not 1"},
        Refusal{"NineFiles", 9, {}, cli::kExitUsage, "compare takes 2 to 8 data files, not 9"},
        Refusal{"ChannelMissingInOne",
                2,
                {"--channel", "1"},
                cli::kExitFailure,
                "{last} holds no CH1 data"},
        Refusal{"MoreLabelsThanFiles",
                2,
                {"--label", "x", "--label", "y", "--label", "z"},
                cli::kExitUsage,
                "3 labels for 2 data files"},
        Refusal{"PictureOverAnInput", 2, {"--png", "{first}"}, cli::kExitUsage, "--png"},
        Refusal{"BadWindow", 2, {"--window", "flat"}, cli::kExitUsage, "--window takes"},
        Refusal{"PdfToStandardOutput", 2, {"--pdf", "-"}, cli::kExitUsage, "--pdf -"}),
    [](const auto& info) { return std::string(info.param.name); });

// report: one file is enough; the PDF is written whole, and not again without --force.
TEST(ReportCommand, WritesThePdfOnceAndNeedsAnOutput)
{
    TempDir dir;
    const std::string a = ScaledFile(dir, "a.DTA", 1);
    const std::string pdf = dir.Path("r.pdf");
    const auto none = RunCli({"report", a});
    EXPECT_EQ(none.code, cli::kExitUsage);
    EXPECT_NE(none.err.find("report needs -o FILE.pdf"), std::string::npos);
    const auto r = RunCli({"report", "--title", "Board A", "-o", pdf, a});
    ASSERT_EQ(r.code, cli::kExitOk) << r.err;
    EXPECT_EQ(r.out, "");
    const std::string bytes = clitest::ReadAll(pdf);
    EXPECT_EQ(bytes.rfind("%PDF-", 0), 0u);
    EXPECT_NE(bytes.find("%%EOF"), std::string::npos);
    const auto again = RunCli({"report", "-o", pdf, a});
    EXPECT_EQ(again.code, cli::kExitFailure);
    EXPECT_EQ(clitest::ReadAll(pdf), bytes);
    EXPECT_EQ(RunCli({"report", "--force", "-o", pdf, a}).code, cli::kExitOk);
}

TEST(CompareCommand, ACapturesBoardAndStartTimeAreInItsColumn)
{
    TempDir dir;
    const std::string capture = dir.Path("run.csv");
    mirantos::TCaptureWriter writer;
    mirantos::TCaptureInfo info;
    info.rateIndex = 10;
    info.rateSps = 1000.0;
    info.board = "MIRANTOS 1.10";
    info.startUtc = "2026-12-08T06:00:00Z";
    std::vector<uint32_t> codes(1000);
    for (size_t i = 0; i < codes.size(); ++i)
        codes[i] = static_cast<uint32_t>(kMid + static_cast<int64_t>(i % 7) * 3);
    ASSERT_TRUE(writer.Open(capture, false) && writer.Begin(info));
    ASSERT_TRUE(writer.Write(codes.data(), nullptr, static_cast<int32_t>(codes.size())));
    ASSERT_TRUE(writer.Finish(mirantos::TCaptureEnd::Complete));
    const auto r = RunCli({"compare", ScaledFile(dir, "a.DTA", 1), capture});
    ASSERT_EQ(r.code, cli::kExitOk) << r.err;
    for (const char* row : {"board", "start"}) {
        const size_t at = r.out.find(std::string("\n") + row);
        ASSERT_NE(at, std::string::npos) << r.out;
        const std::string line = r.out.substr(at + 1, r.out.find('\n', at + 1) - at - 1);
        EXPECT_NE(line.find(row[0] == 'b' ? info.board : info.startUtc), std::string::npos) << line;
    }
}
