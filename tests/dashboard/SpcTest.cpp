// The SPC arithmetic against values worked out by hand.

#include "Spc.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace mirantos::dashboard;

TEST(Spc, CapabilityAndChartLimitsOfAWorkedExample)
{
    // MR = .2 .3 .2 .2 .5 .2 .4 .7 .4 .1 .3: MR̄ = 3.5/11; σ_within = MR̄/1.128;
    // Σ(x-μ)² = 0.47, σ_overall = sqrt(0.47/11).
    const std::vector<double> x = {10.0, 10.2, 9.9, 10.1, 10.3, 9.8,
                                   10.0, 10.4, 9.7, 10.1, 10.2, 9.9};
    const TSpc s = ComputeSpc(x, 9.0, 11.0);
    const double mr = 3.5 / 11, sw = mr / 1.128, so = std::sqrt(0.47 / 11);
    struct Row {
        const char* name;
        std::optional<double> got;
        double want;
    };
    for (const Row& r :
         {Row{"mean", s.mean, 10.05}, Row{"MR-bar", s.mrBar, mr},
          Row{"sigma within", s.sigmaWithin, 0.2820761},
          Row{"sigma overall", s.sigmaOverall, 0.2067058}, Row{"Cp", s.cp.value, 2.0 / (6 * sw)},
          Row{"Cp", s.cp.value, 1.181714}, Row{"Cpk", s.cpk.value, 0.95 / (3 * sw)},
          Row{"Cpk", s.cpk.value, 1.122629}, Row{"Pp", s.pp.value, 1.612598},
          Row{"Ppk", s.ppk.value, 0.95 / (3 * so)}, Row{"X upper", s.iUpper, 10.05 + 3 * sw},
          Row{"X lower", s.iLower, 10.05 - 3 * sw}, Row{"MR upper", s.mrUpper, 3.267 * mr}}) {
        ASSERT_TRUE(r.got) << r.name;
        EXPECT_NEAR(*r.got, r.want, 1e-6) << r.name;
    }
    EXPECT_FALSE(s.movingRange[0]);
    EXPECT_NEAR(*s.movingRange[8], 0.7, 1e-12);
}

TEST(Spc, IndicesAreMissingWithAReason)
{
    const std::vector<double> twelve(12, 5.0);
    std::vector<double> nine = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    std::vector<double> ramp = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    const TSpc few = ComputeSpc(nine, 0.0, 20.0);
    EXPECT_FALSE(few.cpk.value);
    EXPECT_EQ(few.cpk.reason, "fewer than 10 runs (9)");
    const TSpc flat = ComputeSpc(twelve, 0.0, 20.0);
    EXPECT_FALSE(flat.cp.value);
    EXPECT_EQ(flat.cp.reason, "σ within is 0");
    EXPECT_EQ(flat.ppk.reason, "σ overall is 0");
    // One limit: Cpu/Ppu only. μ = 5.5, MR̄ = 1, σ_within = 1/1.128.
    const TSpc upper = ComputeSpc(ramp, std::nullopt, 10.0);
    EXPECT_FALSE(upper.cpk.value);
    EXPECT_EQ(upper.cpk.reason, "one limit only");
    EXPECT_FALSE(upper.cpl.value);
    ASSERT_TRUE(upper.cpu.value);
    EXPECT_NEAR(*upper.cpu.value, 4.5 / (3 / 1.128), 1e-9);
    const TSpc lower = ComputeSpc(ramp, 1.0, std::nullopt);
    ASSERT_TRUE(lower.ppl.value);
    EXPECT_NEAR(*lower.ppl.value, 4.5 / (3 * std::sqrt(82.5 / 9)), 1e-9);
}

TEST(Spc, WesternElectricRulesMarkThePointThatCompletesThePattern)
{
    using Flags = std::vector<std::vector<int>>;
    struct Case {
        const char* what;
        std::vector<double> x; // centre 0, σ 1
        Flags want;
    };
    const Case cases[] = {
        {"beyond 3σ either side", {0, 3.5, 0, -3.2}, {{}, {1}, {}, {1}}},
        {"2 of 3 beyond 2σ", {2.5, 0, 2.1}, {{}, {}, {2}}},
        {"2σ on opposite sides", {2.5, -2.5, 0}, {{}, {}, {}}},
        {"4 of 5 beyond 1σ", {1.5, 1.2, 0, 1.1, 1.3}, {{}, {}, {}, {}, {3}}},
        {"3 of 4 is not yet", {1.5, 1.2, 0, 1.1}, {{}, {}, {}, {}}},
        {"8 on one side",
         {.5, .5, .5, .5, .5, .5, .5, .5, .5},
         {{}, {}, {}, {}, {}, {}, {}, {4}, {4}}},
        {"7 then a cross", {-.5, -.5, -.5, -.5, -.5, -.5, -.5, .5}, Flags(8)},
        {"a point on the centre breaks the row", {.5, .5, .5, 0, .5, .5, .5, .5}, Flags(8)},
        {"exactly 2σ is not beyond", {2, 0, 2.5}, Flags(3)},
        {"all rules at once",
         {1.5, 1.5, 1.5, 1.5, 1.5, 1.5, 2.5, 3.5},
         {{}, {}, {}, {3}, {3}, {3}, {3}, {1, 2, 3, 4}}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WesternElectric(c.x, 0.0, 1.0), c.want) << c.what;
}

TEST(Spc, FirstPassAndFinalYieldGoBySerialInTimeOrder)
{
    // Given out of order: A fails then passes, B passes, C fails twice, D passes then
    // fails, E fails then passes. First pass: B, D (2/5); final: A, B, E (3/5).
    const TYield y = ComputeYield({{"A", "2026-12-08T10:00:00.000Z", true},
                                   {"D", "2026-12-08T09:00:00.000Z", true},
                                   {"A", "2026-12-08T08:00:00.000Z", false},
                                   {"C", "2026-12-08T08:30:00.000Z", false},
                                   {"B", "2026-12-08T08:00:00.000Z", true},
                                   {"E", "2026-12-08T11:00:00.000Z", true},
                                   {"C", "2026-12-08T09:30:00.000Z", false},
                                   {"D", "2026-12-08T12:00:00.000Z", false},
                                   {"E", "2026-12-08T07:00:00.000Z", false}});
    EXPECT_EQ(y.serials, 5);
    EXPECT_EQ(y.runs, 9);
    EXPECT_DOUBLE_EQ(*y.firstPassYield, 0.4);
    EXPECT_DOUBLE_EQ(*y.finalYield, 0.6);
    EXPECT_FALSE(ComputeYield({}).finalYield);
}
