// The PDF report read back with poppler-utils, as a person's viewer would:
// the page count, every font embedded, and each figure of the tables, the
// labels, the title, the host name and the Japanese headings as real text.
#include "ComparisonPdf.h"
#include "ReportTexts.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

namespace {

using mirantos::analysis::TRunFigures;

struct TRunSpec {
    const char* label;
    int rateIndex; // Sinc5: 6 is 100 sps, 1 is 10 sps
    double rateSps;
    int samples;
    double whiteCodes; // sigma of the white noise
    double walkCodes;  // step of a random walk: noise rising towards low frequencies
};

TRunFigures MakeRun(const TRunSpec& s, uint64_t seed)
{
    std::vector<uint32_t> codes(static_cast<size_t>(s.samples));
    auto uniform = [&seed] {
        seed ^= seed << 13, seed ^= seed >> 7, seed ^= seed << 17;
        return (static_cast<double>(seed >> 11) + 0.5) / 9007199254740992.0;
    };
    double walk = 0;
    for (uint32_t& c : codes) {
        const double g =
            std::sqrt(-2 * std::log(uniform())) * std::cos(6.283185307179586 * uniform());
        walk += s.walkCodes * (uniform() - 0.5);
        c = static_cast<uint32_t>(std::lround(2147483648.0 + 40000 + s.whiteCodes * g + walk));
    }
    TRunFigures r;
    r.label = s.label;
    r.settings = {s.rateIndex, true, 0, 0, s.samples, "MIRANTOS 1.10", "2026-12-08T05:00:00Z"};
    EXPECT_TRUE(mirantos::analysis::Analyze(codes, s.rateSps, 1, {}, r.noise));
    r.low = mirantos::analysis::ComputeLowFrequency(codes, s.rateSps, 1);
    return r;
}

std::string F(const char* format, double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, format, v);
    return buf;
}

// Every cell the figures and difference tables must show, formatted as analyze does.
std::vector<std::string> ExpectedCells(const std::vector<TRunFigures>& runs)
{
    std::vector<std::string> cells;
    for (const TRunFigures& r : runs) {
        const auto& n = r.noise;
        for (const std::string& c :
             {F("%.3f", n.meanCode), F("%.4f", n.meanUv), F("%.3f", n.rmsCode), F("%.5f", n.rmsUv),
              std::to_string(n.ppCode), F("%.5f", n.ppUv), std::to_string(n.maxCode),
              std::to_string(n.minCode), F("%.2f", n.effectiveBits), F("%.2f", n.noiseFreeBits),
              F("%.6g", n.nsdMedianNv), F("%.5f", n.bandRmsUv), std::to_string(n.samples), r.label})
            cells.push_back(c);
        if (r.low.slopeUvPerH)
            cells.push_back(F("%.6g", *r.low.slopeUvPerH));
        if (r.low.lf)
            for (double v : {r.low.lf->ppUvMedian, r.low.lf->ppUvMax, r.low.lf->rmsUv})
                cells.push_back(F("%.5f", v));
    }
    for (const auto& d : mirantos::analysis::DifferencesToFirst(runs))
        for (const auto& v : {d.rmsPct, d.rmsDb, d.ppPct, d.ppDb, d.nsdMedianDb})
            cells.push_back(F("%+.2f", v.value()));
    return cells;
}

QString Poppler(const QString& tool, const QStringList& args)
{
    const QString exe = QStandardPaths::findExecutable(tool);
    if (exe.isEmpty()) {
        ADD_FAILURE() << tool.toStdString()
                      << " is missing: install poppler-utils (scripts/install-deps)";
        return {};
    }
    QProcess p;
    p.start(exe, args);
    EXPECT_TRUE(p.waitForFinished(30000)) << tool.toStdString();
    EXPECT_EQ(p.exitCode(), 0) << tool.toStdString() << ": "
                               << p.readAllStandardError().toStdString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

struct TCase {
    const char* name;
    std::vector<TRunSpec> runs;
    const char* title; // "" for the default
    int pages;
};

void PrintTo(const TCase& c, std::ostream* os)
{
    *os << c.name;
}

class ComparisonPdf : public ::testing::TestWithParam<TCase> {};

TEST_P(ComparisonPdf, ReadsBackWithEveryFigure)
{
    const TCase& c = GetParam();
    std::vector<TRunFigures> runs;
    for (size_t i = 0; i < c.runs.size(); ++i)
        runs.push_back(MakeRun(c.runs[i], 0x9E3779B97F4A7C15ull + i));

    mirantos::TReportOptions options;
    options.title = QString::fromUtf8(c.title);
    QByteArray pdf;
    ASSERT_TRUE(mirantos::WriteComparisonPdf(runs, options, &pdf));
    ASSERT_TRUE(pdf.startsWith("%PDF-"));

    QTemporaryDir dir;
    const QString path = dir.filePath("report.pdf");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(pdf);
    f.close();

    const QString info = Poppler("pdfinfo", {path});
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+%1\\n").arg(c.pages))))
        << info.toStdString();

    // Every font listed, and every one embedded ("emb" column yes).
    const QStringList fonts = Poppler("pdffonts", {path}).split('\n', Qt::SkipEmptyParts).mid(2);
    EXPECT_FALSE(fonts.isEmpty());
    for (const QString& line : fonts)
        EXPECT_TRUE(
            line.contains(QRegularExpression("\\syes\\s+(yes|no)\\s+(yes|no)\\s+\\d+\\s+\\d+$")))
            << "not embedded: " << line.toStdString();

    const QString text = Poppler("pdftotext", {"-enc", "UTF-8", path, "-"});
    const QString title =
        *c.title ? QString::fromUtf8(c.title) : QString::fromUtf8(mirantos::text::ReportTitle);
    std::vector<std::string> wanted = ExpectedCells(runs);
    for (const char* t : {mirantos::text::ReportSettings, mirantos::text::ReportFigures})
        wanted.push_back(t);
    if (runs.size() > 1)
        wanted.push_back(mirantos::text::ReportDifference + runs[0].label + ")");
    wanted.push_back(title.toStdString());
    wanted.push_back(QSysInfo::machineHostName().toStdString());
    for (const std::string& w : wanted)
        EXPECT_TRUE(text.contains(QString::fromStdString(w))) << "not in the text: " << w << "\n"
                                                              << text.toStdString();
    // Every word inside the margins (15 mm = 42.5 pt) of its A4 page: a
    // plot drawn at the wrong scale runs off the page and fails here.
    const QString words = Poppler("pdftotext", {"-bbox", "-enc", "UTF-8", path, "-"});
    QRegularExpression box("<word xMin=\"([-\\d.]+)\" yMin=\"([-\\d.]+)\" xMax=\"([-\\d.]+)\" "
                           "yMax=\"([-\\d.]+)\">([^<]*)<");
    int count = 0;
    for (auto it = box.globalMatch(words); it.hasNext(); ++count) {
        const auto m = it.next();
        EXPECT_TRUE(m.captured(1).toDouble() >= 42 && m.captured(3).toDouble() <= 595.3 - 42 &&
                    m.captured(2).toDouble() >= 42 && m.captured(4).toDouble() <= 841.9 - 42)
            << "off the page: " << m.captured(5).toStdString() << " at "
            << m.captured(1).toStdString() << ", " << m.captured(2).toStdString();
    }
    EXPECT_GT(count, 100);
    // The overlaid plots' page names every run in its legend.
    const QString plots = Poppler("pdftotext", {"-f", "2", "-l", "2", "-enc", "UTF-8", path, "-"});
    for (const TRunFigures& r : runs)
        EXPECT_TRUE(plots.contains(QString::fromStdString(r.label))) << r.label;
    // The foot of every page, "n / N" (pdftotext may drop the spaces).
    for (int n = 1; n <= c.pages; ++n)
        EXPECT_TRUE(text.contains(
            QRegularExpression(QStringLiteral("\\b%1 ?/ ?%2\\b").arg(n).arg(c.pages))))
            << "no foot " << n << " / " << c.pages;
}

// A span from the trace viewer does not know its filter: the report must not name one.
TEST(ComparisonPdfFilter, AnUnknownFilterIsNotNamed)
{
    TRunFigures run = MakeRun({"span", 6, 100.0, 4000, 30, 0}, 7);
    run.settings.filterKnown = false;
    QByteArray pdf;
    ASSERT_TRUE(mirantos::WriteComparisonPdf({run}, {}, &pdf));
    QTemporaryDir dir;
    QFile f(dir.filePath("span.pdf"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(pdf) == pdf.size());
    f.close();
    const QString text = Poppler("pdftotext", {"-enc", "UTF-8", f.fileName(), "-"});
    EXPECT_TRUE(text.contains(QString::fromUtf8(mirantos::text::ReportFilter)));
    EXPECT_FALSE(text.contains("Sinc")) << text.toStdString();
}

const TRunSpec kWhite{"white-100sps", 6, 100.0, 4000, 30, 0};
const TRunSpec kFlicker{"flicker-100sps", 6, 100.0, 4000, 45, 12};
const TRunSpec kSlow{"slow-10sps", 1, 10.0, 300, 80, 0};

// Page 1 the tables, page 2 the overlaid plots, page 3 the 0.1-10 Hz traces (when any).
INSTANTIATE_TEST_SUITE_P(Runs, ComparisonPdf,
                         ::testing::Values(TCase{"two", {kWhite, kFlicker}, "Bench A/B 試験", 3},
                                           TCase{"three", {kWhite, kFlicker, kSlow}, "", 3},
                                           TCase{"one_without_lf", {kSlow}, "", 2},
                                           // The most runs: the tables' font shrinks to
                                           // fit, six traces take two pages.
                                           TCase{"eight",
                                                 {kWhite,
                                                  kFlicker,
                                                  kSlow,
                                                  {"long-label-run-4", 6, 100.0, 4000, 300, 40},
                                                  {"run-5", 6, 100.0, 4000, 3000, 0},
                                                  {"run-6", 6, 100.0, 4000, 10, 1},
                                                  {"run-7", 1, 10.0, 100, 1e5, 0},
                                                  {"run-8", 6, 100.0, 4000, 30000, 500}},
                                                 "",
                                                 4}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
