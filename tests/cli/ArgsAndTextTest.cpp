// The command line, help and version, the progress texts and the number texts.

#include "CliArgs.h"
#include "CliTestSupport.h"
#include "MeasureRecord.h"
#include "Output.h"
#include "Progress.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>

using clitest::RunCli;
namespace cli = mirantos::cli;

TEST(ArgsParser, ValuesFlagsAliasesAndPositionals)
{
    cli::ParsedArgs p;
    std::string error;
    ASSERT_TRUE(cli::ParseArgs(
        {"--rate", "1ksps", "FILE", "-o", "out", "--unit=uv", "--force", "--", "--not-an-option"},
        {{"--rate", "", true},
         {"--output", "-o", true},
         {"--unit", "", true},
         {"--force", "", false}},
        p, error))
        << error;
    EXPECT_EQ(p.Value("--rate"), "1ksps");
    EXPECT_EQ(p.Value("--output"), "out");
    EXPECT_EQ(p.Value("--unit"), "uv");
    EXPECT_TRUE(p.Flag("--force"));
    EXPECT_EQ(p.positional, (std::vector<std::string>{"FILE", "--not-an-option"}));
    EXPECT_FALSE(p.help);
}

TEST(ArgsParser, RejectsUnknownOptionsMissingValuesAndValuedFlags)
{
    const std::vector<cli::OptionSpec> specs = {{"--rate", "", true}, {"--force", "", false}};
    std::string error;
    cli::ParsedArgs p1;
    EXPECT_FALSE(cli::ParseArgs({"--speed", "1"}, specs, p1, error));
    EXPECT_NE(error.find("--speed"), std::string::npos);
    cli::ParsedArgs p2;
    EXPECT_FALSE(cli::ParseArgs({"--rate"}, specs, p2, error));
    cli::ParsedArgs p3;
    EXPECT_FALSE(cli::ParseArgs({"--force=yes"}, specs, p3, error));
}

TEST(ArgsParser, SingleDashIsAPositionalAndTheLastValueWins)
{
    cli::ParsedArgs p;
    std::string error;
    ASSERT_TRUE(
        cli::ParseArgs({"-", "--rate", "a", "--rate", "b"}, {{"--rate", "", true}}, p, error));
    EXPECT_EQ(p.positional, std::vector<std::string>{"-"});
    EXPECT_EQ(p.Value("--rate"), "b");
}

TEST(ArgsParser, WholeNumbersOnly)
{
    long long v = 0;
    EXPECT_TRUE(cli::ParseInt("42", 0, 100, v));
    EXPECT_EQ(v, 42);
    EXPECT_FALSE(cli::ParseInt("42x", 0, 100, v));
    EXPECT_FALSE(cli::ParseInt(" 42", 0, 100, v));
    EXPECT_FALSE(cli::ParseInt("+42", 0, 100, v));
    EXPECT_FALSE(cli::ParseInt("101", 0, 100, v));
    EXPECT_FALSE(cli::ParseInt("", 0, 100, v));
    uint64_t u = 0;
    EXPECT_TRUE(cli::ParseUint64("18446744073709551615", u));
    EXPECT_EQ(u, 18446744073709551615ull);
    EXPECT_FALSE(cli::ParseUint64("18446744073709551616", u));
    EXPECT_FALSE(cli::ParseUint64("-1", u));
}

TEST(RateAndCountOptions, RateByListTextWithOrWithoutBlanksOrByIndex)
{
    int i = -1;
    EXPECT_TRUE(cli::ParseRateText("1ksps", i));
    EXPECT_EQ(i, 10);
    EXPECT_TRUE(cli::ParseRateText("16.66 / 16.67sps", i));
    EXPECT_EQ(i, 2);
    EXPECT_TRUE(cli::ParseRateText("16.66/16.67sps", i));
    EXPECT_EQ(i, 2);
    EXPECT_TRUE(cli::ParseRateText("397.5 /400sps", i));
    EXPECT_EQ(i, 8);
    EXPECT_TRUE(cli::ParseRateText("0", i));
    EXPECT_EQ(i, 0);
    EXPECT_TRUE(cli::ParseRateText("13", i));
    EXPECT_EQ(i, 13);
    EXPECT_FALSE(cli::ParseRateText("14", i));
    EXPECT_FALSE(cli::ParseRateText("1KSPS", i));
    EXPECT_FALSE(cli::ParseRateText("", i));
    EXPECT_FALSE(cli::ParseRateText(" ", i));
}

TEST(RateAndCountOptions, CountMustBeAListValue)
{
    int i = -1;
    EXPECT_TRUE(cli::ParseCountText("100", i));
    EXPECT_EQ(i, 0);
    EXPECT_TRUE(cli::ParseCountText("10000", i));
    EXPECT_EQ(i, 6);
    EXPECT_FALSE(cli::ParseCountText("300", i));
    EXPECT_FALSE(cli::ParseCountText("3", i));
    EXPECT_FALSE(cli::ParseCountText("20000", i));
}

TEST(ProgressText, LineBarAndTimeLeft)
{
    EXPECT_EQ(cli::TProgress::Line(500, 1000, "1ksps", 1000.0),
              " 50%    500/1000 samples  1ksps  0:01 left");
    EXPECT_EQ(cli::TProgress::Line(0, 10000, "5sps", 5.0),
              "  0%      0/10000 samples  5sps  33:20 left");
    EXPECT_EQ(cli::TProgress::Line(1000, 1000, "1ksps", 1000.0),
              "100%   1000/1000 samples  1ksps  0:00 left");
    EXPECT_EQ(cli::TProgress::Bar(5, 10, 10), "[#####-----]");
    EXPECT_EQ(cli::TProgress::Bar(10, 10, 4), "[####]");
    EXPECT_EQ(cli::TProgress::Bar(0, 0, 4), "[----]");
    EXPECT_EQ(cli::TProgress::Duration(3600 + 61), "1:01:01");
    EXPECT_EQ(cli::TProgress::Duration(-5), "0:00");
}

TEST(FloatTextTest, ShortestFixedTextReadsBackBitForBit)
{
    EXPECT_EQ(cli::FloatText(0.0f), "0");
    EXPECT_EQ(cli::FloatText(2500000.0f), "2500000");
    EXPECT_EQ(cli::FloatText(-2500000.0f), "-2500000");
    for (uint32_t code : {0u, 1u, 2147483647u, 2147483649u, 2147483650u, 3000000000u}) {
        const float v = static_cast<float>(CodeToMicrovolt(code, 1));
        const std::string t = cli::FloatText(v);
        EXPECT_EQ(t.find('e'), std::string::npos) << t;
        const float back = std::strtof(t.c_str(), nullptr);
        EXPECT_EQ(std::memcmp(&v, &back, sizeof v), 0) << t;
    }
}

TEST(HelpAndVersion, VersionAndHelpGoToStandardOutput)
{
    const auto v = RunCli({"--version"});
    EXPECT_EQ(v.code, cli::kExitOk);
    EXPECT_EQ(v.out, "mirantos-cli 1.10\n");

    const auto h = RunCli({"--help"});
    EXPECT_EQ(h.code, cli::kExitOk);
    EXPECT_EQ(h.out.rfind("Usage: mirantos-cli <command>", 0), 0u);

    for (const char* command : {"measure", "stats", "plot", "export"}) {
        const auto r = RunCli({command, "--help"});
        EXPECT_EQ(r.code, cli::kExitOk) << command;
        EXPECT_EQ(r.out.rfind(std::string("Usage: mirantos-cli ") + command, 0), 0u) << command;
        EXPECT_EQ(r.err, "") << command;
    }
}

TEST(HelpAndVersion, UsageErrorsPrintTheUsageAndExitTwo)
{
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"frobnicate"},
        {"stats"},
        {"stats", "a.DTA", "b.DTA"},
        {"stats", "--channel", "2", "a.DTA"},
        {"stats", "--unit", "mv", "a.DTA"},
        {"export"},
        {"export", "--unit", "uv", "a.DTA"},
    };
    for (const auto& args : bad) {
        const auto r = RunCli(args);
        EXPECT_EQ(r.code, cli::kExitUsage) << (args.empty() ? "" : args[0]);
        EXPECT_NE(r.err.find("Usage: mirantos-cli"), std::string::npos);
        EXPECT_EQ(r.out, "");
    }
}
