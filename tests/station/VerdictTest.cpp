// The verdict on records whose figures are known: codes alternating +-d about
// mid-scale have an rms of exactly d codes and a peak-to-peak of 2d, all their
// power at half the rate; a ramp of one code per sample drifts by fs codes a
// second. Then the table, the JUnit XML read back, and the run's record.

#include "Verdict.h"

#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <numbers>
#include <regex>

using namespace mirantos::station;

namespace {

constexpr double kQ = 2500000.0 / 2147483647.0; // uV per code at gain 1
constexpr uint32_t kMid = 2147483648u;
constexpr double kRmsUv = 100 * kQ; // of Alternating(_, 100)

std::vector<uint32_t> Alternating(size_t n, uint32_t d)
{
    std::vector<uint32_t> c(n);
    for (size_t i = 0; i < n; ++i)
        c[i] = i % 2 ? kMid + d : kMid - d;
    return c;
}

TTestLimits Limits(const std::string& settings, const std::string& ch0, const std::string& ch1)
{
    const std::string text = R"({"name": "t", "version": 1, "part_number": "AFE-7", "lot": "L7",
                             "settings": {"channels": "both", )" +
                             settings + R"(}, "limits": {"ch0": {)" + ch0 + R"(}, "ch1": {)" + ch1 +
                             "}}}";
    TTestLimits l;
    std::string error;
    EXPECT_TRUE(ParseLimits(text, l, error)) << error;
    return l;
}

const std::string kFast = R"("rate": "1000", "samples": 1000)";

TRunFacts Facts(const std::string& serial)
{
    TRunFacts f;
    f.serial = serial;
    f.startedUtc = "2026-12-08T07:30:00.123Z";
    return f;
}

struct Expect {
    const char* limit;
    bool pass;
    std::optional<double> margin;
};

TEST(Verdict, LimitsOnKnownFiguresPassFailAndMargin)
{
    const Expect rows[] = {
        {R"("rms_uV": {"max": 0.2})", true, 100 * (0.2 - kRmsUv) / 0.2},
        {R"("rms_uV": {"min": 0.15})", false, 100 * (kRmsUv - 0.15) / 0.15},
        {R"("rms_uV": {"min": 0.1, "max": 0.2})", true, 100 * (kRmsUv - 0.1) / 0.1},
        {R"("pp_code": {"max": 150})", false, 100 * (150.0 - 200) / 150},
        {R"("rms_code": {"min": -0.0, "max": 100})", true, 0.0},
        {R"("mean_code": {"min": 0})", true, std::nullopt},
        {R"("effective_bits": {"min": 25.3})", true, 100 * (32 - std::log2(100) - 25.3) / 25.3},
    };
    for (const Expect& e : rows) {
        const TTestLimits l = Limits(kFast, e.limit, R"("rms_uV": {"max": 1})");
        const auto checks = CheckChannel(l, 0, Alternating(1000, 100), 1000.0, 1);
        ASSERT_EQ(checks.size(), 1u) << e.limit;
        EXPECT_EQ(checks[0].pass, e.pass) << e.limit;
        ASSERT_EQ(checks[0].marginPct.has_value(), e.margin.has_value()) << e.limit;
        if (e.margin) {
            EXPECT_NEAR(*checks[0].marginPct, *e.margin, 1e-9) << e.limit;
        }
    }
}

TEST(Verdict, BandRmsTakesEachLimitsOwnBand)
{
    const TTestLimits top = Limits(kFast, R"("band_rms_uV": {"band_Hz": [250, 500], "max": 1})",
                                   R"("band_rms_uV": {"band_Hz": [1, 100], "max": 1})");
    // A band that holds a bin of 1000 samples' spectrum (7.8 Hz apart) but
    // none of a shorter run's (62.5 Hz apart).
    const TTestLimits none =
        Limits(kFast, R"("band_rms_uV": {"band_Hz": [7, 8], "max": 1})", R"("rms_uV": {"max": 1})");
    const auto codes = Alternating(1000, 100);
    const auto high = CheckChannel(top, 0, codes, 1000.0, 1);
    const auto low = CheckChannel(top, 1, codes, 1000.0, 1);
    const auto empty = CheckChannel(none, 0, Alternating(100, 100), 1000.0, 1);
    ASSERT_TRUE(high[0].value && low[0].value);
    EXPECT_NEAR(*high[0].value, kRmsUv, 0.1 * kRmsUv);
    EXPECT_LT(*low[0].value, 0.01 * kRmsUv);
    EXPECT_FALSE(empty[0].value);
    EXPECT_FALSE(empty[0].pass);
    EXPECT_EQ(empty[0].reason, "no frequency bin between 7 and 8 Hz");
}

TEST(Verdict, DriftAndLowFrequencyFiguresOnlyWhenDefined)
{
    const TTestLimits l =
        Limits(R"("rate": "100sps", "samples": 3000)",
               R"("slope_uV_per_h": {"max": 400}, "lf_0p1_10Hz.pp_uV_max": {"max": 1000})",
               R"("rms_uV": {"max": 1})");
    std::vector<uint32_t> ramp(3000);
    for (size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = kMid + static_cast<uint32_t>(i);
    const double slope = kQ * 100 * 3600; // one code per sample at 100 sps
    const auto whole = CheckChannel(l, 0, ramp, 100.0, 1);
    ASSERT_TRUE(whole[0].value);
    EXPECT_NEAR(*whole[0].value, slope, 1e-6 * slope);
    EXPECT_FALSE(whole[0].pass);
    EXPECT_NEAR(*whole[0].marginPct, 100 * (400 - slope) / 400, 1e-4);
    EXPECT_TRUE(whole[1].value && whole[1].pass);

    // A run that ended early: the band and the drift both need 30 s, and
    // each limit fails with that reason rather than pass on a number.
    ramp.resize(2999);
    const auto shorter = CheckChannel(l, 0, ramp, 100.0, 1);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_FALSE(shorter[i].value) << i;
        EXPECT_FALSE(shorter[i].pass) << i;
        EXPECT_EQ(shorter[i].reason, "needs at least 30 s of samples") << i;
    }
}

// The sine-wave test's figures with the limits file's sine options.
TEST(Verdict, SineFiguresWithTheTestsSineOptions)
{
    const TTestLimits l = Limits(R"("rate": "1000", "samples": 4096,
                                    "analysis": {"sine": {"harmonics": 2}})",
                                 R"("thd_dBc": {"max": -75}, "sfdr_dBc": {"min": 85},
                                    "enob_bits": {"min": 10})",
                                 R"("rms_uV": {"max": 1})");
    // 1e6 uV at 100.3 cycles, its 2nd harmonic at -80 dBc and its 3rd at -70 dBc: with
    // H = 2 only the 2nd counts as distortion, the 3rd is the largest spur.
    std::vector<uint32_t> tone(4096);
    uint64_t lcg = 1;
    for (size_t i = 0; i < tone.size(); ++i) {
        const double ph = 2 * std::numbers::pi * 100.3 * static_cast<double>(i) / 4096;
        lcg = lcg * 6364136223846793005ull + 1442695040888963407ull;
        const double uv =
            1e6 * (std::cos(ph) + 1e-4 * std::cos(2 * ph) + std::pow(10, -3.5) * std::cos(3 * ph)) +
            static_cast<double>(lcg >> 44) / 1e4;
        tone[i] = static_cast<uint32_t>(kMid + std::llround(uv / kQ));
    }
    const auto checks = CheckChannel(l, 0, tone, 1000.0, 1);
    ASSERT_EQ(checks.size(), 3u);
    ASSERT_TRUE(checks[0].value && checks[1].value && checks[2].value) << checks[0].reason;
    EXPECT_NEAR(*checks[0].value, -80, 0.5);
    EXPECT_TRUE(checks[0].pass);
    EXPECT_NEAR(*checks[1].value, 70, 0.5);
    EXPECT_FALSE(checks[1].pass);
    EXPECT_TRUE(checks[2].pass);
}

TVerdict KnownVerdict(const TTestLimits& l)
{
    auto ch1 = CheckChannel(l, 1, Alternating(5, 100), 1000.0, 1); // too few to analyse
    auto ch0 = CheckChannel(l, 0, Alternating(1000, 100), 1000.0, 1);
    ch1.insert(ch1.end(), ch0.begin(), ch0.end());
    return MakeVerdict(std::move(ch1));
}

const char* const kCh0 = R"("rms_uV": {"max": 0.2}, "pp_code": {"max": 150},
                            "noise_free_bits": {"min": 20.5})";

// A figure the run could not give (ch1's five samples) is an ERROR of the
// test, counted apart from the limits the board failed.
TEST(Verdict, TableAlignsItsColumnsAndCountsTheFailures)
{
    const TTestLimits l = Limits(kFast, kCh0, R"("rms_uV": {"min": 0.01, "max": 0.8})");
    const std::string table = VerdictTable(KnownVerdict(l));
    std::vector<std::string> lines;
    for (size_t at = 0, next; (next = table.find('\n', at)) != std::string::npos; at = next + 1)
        lines.push_back(table.substr(at, next - at));
    ASSERT_EQ(lines.size(), 6u) << table;
    EXPECT_EQ(lines.back(),
              "verdict: ERROR (test definition: 1 of 4 figures could not be computed; 1 of 4 "
              "limits failed)");
    const size_t result = lines[0].find("result");
    EXPECT_EQ(lines[1].find("<= 0.2       PASS"), result - 13) << table;
    EXPECT_EQ(lines[2].find("FAIL    -33.3 %"), result) << table;
    EXPECT_NE(lines[3].find(">= 20.5"), std::string::npos) << table;
    EXPECT_EQ(lines[4].find("ch1      rms_uV                  -  0.01 .. 0.8  ERROR         -  "
                            "(the noise analysis needs at least 10 samples"),
              0u)
        << table;

    const TTestLimits ok = Limits(kFast, R"("rms_uV": {"max": 0.2})", R"("rms_uV": {"max": 1})");
    const TVerdict pass = MakeVerdict(CheckChannel(ok, 0, Alternating(1000, 100), 1000.0, 1));
    EXPECT_TRUE(pass.pass);
    EXPECT_TRUE(VerdictTable(pass).ends_with("\nverdict: PASS\n"));
    EXPECT_FALSE(MakeVerdict({}).pass);
    TCheck mean{0, {"mean_code", 0.0, {}, {}, {}}, 2147483648.5, "", true, {}};
    EXPECT_NE(VerdictTable(MakeVerdict({mean})).find(" 2147483648.5  >= 0"), std::string::npos);
}

TEST(Verdict, JUnitXmlReadsBackWithOneCasePerLimit)
{
    const TTestLimits l = Limits(kFast, kCh0, R"("rms_uV": {"min": 0.01, "max": 0.8})");
    const std::string serial = "SN<7>&\"q\"";
    QXmlStreamReader xml(
        QByteArray::fromStdString(JUnitXml(KnownVerdict(l), l, Facts(serial), 1.5)));
    std::map<QString, QStringList> seen; // per element, what each one says
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const auto a = xml.attributes();
        QString& text = (seen[xml.name().toString()] << QString()).last();
        for (const char* key :
             {"tests", "failures", "errors", "classname", "name", "value", "message"})
            if (a.hasAttribute(QLatin1String(key)))
                text += a.value(QLatin1String(key)).toString() + QLatin1Char('|');
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_EQ(seen["testsuite"], QStringList({"4|1|1|t|"}));
    const QString cls = QString::fromStdString("mirantos." + serial + "|");
    EXPECT_EQ(seen["testcase"], QStringList({cls + "ch0 rms_uV|", cls + "ch0 pp_code|",
                                             cls + "ch0 noise_free_bits|", cls + "ch1 rms_uV|"}));
    EXPECT_EQ(seen["property"].value(0), QString::fromStdString("serial|" + serial + "|"));
    EXPECT_EQ(seen["failure"], QStringList({"pp_code 200, limit <= 150|"}));
    ASSERT_EQ(seen["error"].size(), 1);
    EXPECT_TRUE(seen["error"][0].startsWith("rms_uV not computed (the noise analysis needs"));
}

TEST(Verdict, RunRecordAndKeptDataName)
{
    const TTestLimits l = Limits(kFast, kCh0, R"("rms_uV": {"min": 0.01, "max": 0.8})");
    const auto a = MakeRunRecord(l, KnownVerdict(l), {});
    const auto b = MakeRunRecord(l, KnownVerdict(l), {});
    EXPECT_TRUE(std::regex_match(a.uuid, std::regex("[0-9a-f]{8}(-[0-9a-f]{4}){3}-[0-9a-f]{12}")));
    EXPECT_NE(a.uuid, b.uuid);
    EXPECT_NE(a.outcome, mirantos::results::ERunOutcome::Pass);
    // The figure's row without a value; the run an ERROR (the table below says why).
    ASSERT_EQ(a.measurements.size(), 4u);
    const auto& m = a.measurements[3];
    EXPECT_TRUE(m.channel == 1 && m.low == 0.01 && m.high == 0.8 && !m.value && !m.pass);
    EXPECT_EQ(a.measurements[1].value, 200.0);
    EXPECT_TRUE(std::regex_match(UtcNow(), std::regex(R"(\d{4}-\d\d-\d\dT[\d:]{8}\.\d{3}Z)")));
    EXPECT_EQ(KeptDataName("SN 1/ä", "2026-12-08T07:30:00.123Z", ".DTA"),
              "SN_1____20261208T073000Z.DTA");
}

// How a run ended, as the operator reads it (the verdict line, the JUnit
// file's "run" case) and as the record stores it (outcome, reason, no
// stand-in rows, each row's unit, band and why a value is absent; the run's
// fields, the part number from the limits file).
struct OutcomeCase {
    const char* name;
    size_t samples; // ch0's; ch1 always has 1000
    const char *runError, *stopped, *outcome, *reason, *verdict, *junitRun, *rowReason;
};

class RunOutcome : public ::testing::TestWithParam<OutcomeCase> {};

TEST_P(RunOutcome, TableJUnitAndRecordTellHowTheRunEnded)
{
    const OutcomeCase c = GetParam();
    const TTestLimits l = Limits(kFast, R"("rms_uV": {"max": 1}, "band_rms_uV": {"band_Hz": [10,
                                 100], "max": 1})",
                                 R"("band_rms_uV": {"max": 1})");
    TVerdict v = CheckMeasuredChannels(l, 2, {Alternating(c.samples, 100), Alternating(1000, 100)},
                                       1000.0, 1);
    v = *c.stopped ? WithStop(v, c.stopped) : *c.runError ? WithRunError(v, c.runError) : v;
    EXPECT_NE(VerdictTable(v).find("\nverdict: " + std::string(c.verdict)), std::string::npos);
    TRunFacts facts = Facts("SN1");
    facts.lot = "L9";
    facts.boardKind = "usb";
    facts.boardIdentity = "MRT00001:A";
    // A stopped run is skipped on a dashboard, a read error an error; neither a failure.
    const std::string xml = JUnitXml(v, l, facts, 1.0);
    const size_t run = xml.find(R"(name="run">)");
    EXPECT_EQ(run == std::string::npos ? "" : xml.substr(xml.find('<', run) + 1, 5), c.junitRun);
    const auto r = MakeRunRecord(l, v, facts);
    EXPECT_STREQ(mirantos::results::OutcomeText(r.outcome), c.outcome);
    EXPECT_TRUE(r.outcomeReason.starts_with(c.reason)) << r.outcomeReason;
    EXPECT_TRUE(r.partNumber == "AFE-7" && r.lot == "L9" && r.boardIdentity == "MRT00001:A");
    ASSERT_EQ(r.measurements.size(), 3u);
    const auto& m = r.measurements;
    EXPECT_TRUE(m[0].unit == "uV" && m[0].reason.starts_with(c.rowReason) &&
                m[0].value.has_value() == !*c.rowReason)
        << m[0].reason;
    EXPECT_TRUE(m[1].bandLowHz == 10.0 && m[1].bandHighHz == 100.0);
    EXPECT_TRUE(m[2].bandLowHz == 0.0 && m[2].bandHighHz == 500.0);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RunOutcome,
    ::testing::Values(
        OutcomeCase{"Pass", 1000, "", "", "PASS", "", "PASS", "", ""},
        OutcomeCase{"ReadErrorBeforeTenSamples", 5, "read error: stall", "", "FAIL",
                    "read error: stall", "FAIL (read error: stall", "error", "the noise analysis"},
        OutcomeCase{"StoppedPartWay", 600, "", "stopped by Ctrl-C", "ABORTED", "stopped by Ctrl-C",
                    "ABORTED (stopped by Ctrl-C", "skipp", ""},
        OutcomeCase{"FigureNotComputable", 5, "", "", "ERROR",
                    "test definition: 2 of 3 figures could not be computed (ch0 rms_uV: the noise",
                    "ERROR (test definition", "", "the noise analysis"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
