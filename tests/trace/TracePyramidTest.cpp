// The min/max pyramid against brute force: ranges, columns of views,
// appending against building at once, its memory, and the span statistics
// against the noise analysis.

#include "MinMaxPyramid.h"
#include "NoiseAnalysis.h"
#include "TraceView.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace mirantos::trace;
namespace analysis = mirantos::analysis;

namespace {

// Noise around mid-scale with now and then a lone spike up or down, and a
// few codes at the very ends of the range.
std::vector<uint32_t> Codes(int64_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, 40.0);
    std::vector<uint32_t> v(static_cast<size_t>(n));
    for (auto& c : v) {
        c = static_cast<uint32_t>(2147483648.0 + noise(rng));
        const unsigned r = rng() % 1000;
        if (r == 0)
            c += 1u << 20;
        else if (r == 1)
            c -= 1u << 20;
        else if (r == 2)
            c = (rng() & 1) ? 0xFFFFFFFFu : 0u;
    }
    return v;
}

TCodeRange Brute(const std::vector<uint32_t>& v, int64_t first, int64_t last)
{
    TCodeRange r;
    for (int64_t i = std::max<int64_t>(first, 0); i < std::min<int64_t>(last, v.size()); ++i)
        r.Add({v[static_cast<size_t>(i)], v[static_cast<size_t>(i)]});
    return r;
}

class TracePyramid : public ::testing::TestWithParam<int64_t> {};

// Random ranges and the columns of random views, joined and not, equal the
// brute-force extremes; a pyramid grown by random appends equals one built
// at once, level for level; the levels stay within 15 % of the codes.
TEST_P(TracePyramid, MatchesBruteForce)
{
    const int64_t n = GetParam();
    const std::vector<uint32_t> codes = Codes(n, static_cast<unsigned>(n));
    const TMinMaxPyramid p(codes);
    std::mt19937 rng(static_cast<unsigned>(n) * 7u + 1u);
    const auto pick = [&](int64_t hi) {
        return static_cast<int64_t>(rng() % static_cast<uint64_t>(hi + 1));
    };
    for (int t = 0; t < 400; ++t) {
        int64_t a = pick(n), b = pick(n);
        if (t % 3 == 0)
            b = std::min(n, a + pick(200)); // short ranges near block edges
        if (a > b)
            std::swap(a, b);
        ASSERT_EQ(p.Range(a, b), Brute(codes, a, b)) << a << ".." << b;
        // The span's statistics are the noise analysis's figures for it.
        if (t % 40 == 0 && a < b) {
            analysis::TNoiseFigures f;
            analysis::ComputeLevelFigures(std::span(codes).subspan(a, b - a), 1 + t % 8, f);
            const TSpanStats s = SpanStatistics(p, a, b, 1 + t % 8);
            EXPECT_TRUE(s.samples == f.samples && s.min == f.minCode && s.max == f.maxCode &&
                        s.pp == f.ppCode && s.mean == f.meanCode && s.sigma == f.rmsCode &&
                        s.ppUv == f.ppUv)
                << a << ".." << b;
            EXPECT_NEAR(s.sigmaUv, f.rmsUv, 1e-9 * f.rmsUv);
        }
    }
    EXPECT_EQ(p.Range(-5, n + 5), Brute(codes, 0, n));
    EXPECT_EQ(SpanStatistics(p, n / 2, n / 2, 1).samples, 0);

    std::vector<int64_t> starts;
    std::vector<TCodeRange> cols;
    for (int t = 0; t < 12; ++t) {
        const int width = 1 + static_cast<int>(pick(2500));
        const TViewX v = t == 0 ? FitAll(n, width)
                                : ShowSamples(n, width, pick(n), 1 + pick(std::max<int64_t>(n, 1)));
        ColumnStarts(v, n, starts);
        for (const bool joined : {false, true}) {
            QueryColumns(p, starts, joined, cols);
            ASSERT_EQ(cols.size(), static_cast<size_t>(width));
            for (int x = 0; x < width; ++x) {
                int64_t a = starts[x];
                if (joined && a > 0 && a < starts[x + 1])
                    --a;
                ASSERT_EQ(cols[x], Brute(codes, a, starts[x + 1])) << "column " << x;
            }
        }
    }

    TMinMaxPyramid grown;
    for (int64_t at = 0; at < n;) {
        const int64_t k = std::min(n - at, 1 + pick(rng() % 2 ? 100 : std::max<int64_t>(n / 5, 1)));
        grown.Append(std::span(codes).subspan(static_cast<size_t>(at), static_cast<size_t>(k)));
        at += k;
        ASSERT_EQ(grown.Range(0, at), Brute(codes, 0, at));
    }
    ASSERT_EQ(grown.LevelCount(), p.LevelCount());
    for (int k = 0; k < p.LevelCount(); ++k)
        ASSERT_EQ(grown.Level(k), p.Level(k)) << "level " << k;

    const double codeBytes = 4.0 * static_cast<double>(n);
    EXPECT_LE(static_cast<double>(p.Bytes()), 0.15 * codeBytes);
    EXPECT_LE(static_cast<double>(grown.Bytes()), 0.15 * 4.0 * grown.Codes().capacity());
}

INSTANTIATE_TEST_SUITE_P(Sizes, TracePyramid,
                         ::testing::Values(0, 1, 31, 32, 33, 63, 64, 65, 127, 1000, 4097, 65536,
                                           100003, 1048575));

} // namespace
