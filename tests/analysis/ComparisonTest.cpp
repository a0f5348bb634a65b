// Differences to the first run against values worked out by hand:
// 20 log10(2) = 6.020599913, 20 log10(0.5) = -6.020599913, 20 log10(10) = 20.
#include "Comparison.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

using namespace mirantos::analysis;

namespace {

struct Level {
    double rmsUv, ppUv, nsdNv, effBits, nfBits;
};

struct DiffCase {
    const char* name;
    Level ref, run;
    std::optional<double> rmsPct, rmsDb, ppPct, ppDb, nsdDb;
    double effBits, nfBits;
};

TRunFigures MakeRun(const Level& l)
{
    TRunFigures r;
    r.noise.rmsUv = l.rmsUv;
    r.noise.ppUv = l.ppUv;
    r.noise.nsdMedianNv = l.nsdNv;
    r.noise.effectiveBits = l.effBits;
    r.noise.noiseFreeBits = l.nfBits;
    return r;
}

void ExpectNear(const char* what, std::optional<double> got, std::optional<double> want)
{
    ASSERT_EQ(got.has_value(), want.has_value()) << what;
    if (want) {
        EXPECT_NEAR(*got, *want, 1e-9) << what;
    }
}

class DifferenceTable : public ::testing::TestWithParam<DiffCase> {};

TEST_P(DifferenceTable, MatchesHandValues)
{
    const DiffCase& c = GetParam();
    const auto d = DifferencesToFirst({MakeRun(c.ref), MakeRun(c.run)});
    ASSERT_EQ(d.size(), 1u);
    ExpectNear("rms %", d[0].rmsPct, c.rmsPct);
    ExpectNear("rms dB", d[0].rmsDb, c.rmsDb);
    ExpectNear("pp %", d[0].ppPct, c.ppPct);
    ExpectNear("pp dB", d[0].ppDb, c.ppDb);
    ExpectNear("nsd dB", d[0].nsdMedianDb, c.nsdDb);
    EXPECT_NEAR(d[0].effectiveBits, c.effBits, 1e-12);
    EXPECT_NEAR(d[0].noiseFreeBits, c.nfBits, 1e-12);
}

INSTANTIATE_TEST_SUITE_P(
    Comparison, DifferenceTable,
    ::testing::Values(DiffCase{"Double",
                               {1, 4, 10, 20, 18},
                               {2, 8, 20, 19, 17},
                               100.0,
                               6.020599913279624,
                               100.0,
                               6.020599913279624,
                               6.020599913279624,
                               -1,
                               -1},
                      DiffCase{"Half",
                               {2, 10, 40, 20, 18},
                               {1, 5, 20, 21, 19.5},
                               -50.0,
                               -6.020599913279624,
                               -50.0,
                               -6.020599913279624,
                               -6.020599913279624,
                               1,
                               1.5},
                      DiffCase{"TenTimesAndEqual",
                               {0.5, 3, 7, 22, 20},
                               {5, 3, 70, 22, 20},
                               900.0,
                               20.0,
                               0.0,
                               0.0,
                               20.0,
                               0,
                               0},
                      // A zero reference has no ratio; a zero run is -100 % but has no level in dB.
                      DiffCase{"ZeroReference",
                               {0, 0, 0, 32, 32},
                               {1, 2, 3, 30, 29},
                               std::nullopt,
                               std::nullopt,
                               std::nullopt,
                               std::nullopt,
                               std::nullopt,
                               -2,
                               -3},
                      DiffCase{"ZeroRun",
                               {1, 2, 3, 30, 29},
                               {0, 0, 0, 32, 32},
                               -100.0,
                               std::nullopt,
                               -100.0,
                               std::nullopt,
                               std::nullopt,
                               2,
                               3}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Comparison, OneEntryPerRunAfterTheFirstInOrder)
{
    EXPECT_TRUE(DifferencesToFirst({}).empty());
    EXPECT_TRUE(DifferencesToFirst({MakeRun({1, 1, 1, 20, 20})}).empty());
    const auto d = DifferencesToFirst(
        {MakeRun({1, 1, 1, 20, 20}), MakeRun({2, 1, 1, 20, 20}), MakeRun({4, 1, 1, 20, 20})});
    ASSERT_EQ(d.size(), 2u);
    EXPECT_NEAR(*d[0].rmsPct, 100.0, 1e-12);
    EXPECT_NEAR(*d[1].rmsPct, 300.0, 1e-12); // against the first, not the previous
}

} // namespace
