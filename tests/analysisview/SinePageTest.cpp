// The noise analysis window's "正弦波解析" page, headless: what a tone's record
// shows (figures with units, the marked spectrum, the residual plots), that a
// static nonlinearity stands out of the residual, that the work waits for the
// page and follows the channel and options, and what an unusable record says.

#include "NoiseAnalysisWindow.h"
#include "SinePanel.h"
#include "SinePlots.h"
#include "SineTexts.h"

#include <qcustomplot.h>

#include <QFile>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

using namespace mirantos;

namespace {

constexpr double kFs = 1000.0;

// `amp` uV at `hz`, its harmonics 2, 3 ... at the given dBc, white noise of sigma uV, gain 1.
std::vector<uint32_t> Tone(int n, double hz, double amp, std::vector<double> hdDbc, double sigma,
                           uint64_t seed = 3)
{
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> g(0.0, sigma);
    std::vector<uint32_t> c(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        const double ph = 2 * std::numbers::pi * hz * i / kFs + 0.4;
        double v = 500.0 + amp * std::cos(ph);
        for (size_t h = 0; h < hdDbc.size(); ++h)
            v += amp * std::pow(10.0, hdDbc[h] / 20.0) * std::cos(static_cast<double>(h + 2) * ph);
        v += g(rng);
        c[static_cast<size_t>(i)] =
            static_cast<uint32_t>(std::llround(2147483648.0 + v * 2147483647.0 / 2500000.0));
    }
    return c;
}

class SinePageTest : public ::testing::Test {
protected:
    void ShowSinePage()
    {
        window.show();
        window.findChild<QTabWidget*>("pages")->setCurrentWidget(window.SinePage());
    }
    // The page's result for what it holds now.
    bool WaitForAnalysis()
    {
        QSignalSpy spy(window.SinePage(), &TSinePanel::Analysed);
        return spy.wait(20000);
    }
    QString Value(const QString& key) const
    {
        auto* l = window.findChild<QLabel*>("sine_" + key);
        return l != nullptr ? l->text() : QString("<missing>");
    }
    QCustomPlot* Plot(const char* name) const { return window.findChild<QCustomPlot*>(name); }
    QStringList MarkLabels() const
    {
        QStringList out;
        QCustomPlot* p = Plot("sineSpectrumPlot");
        for (int i = 0; i < p->itemCount(); ++i)
            if (auto* t = qobject_cast<QCPItemText*>(p->item(i)); t != nullptr && t->visible())
                out << t->text();
        return out;
    }
    // The largest |mean residual| over the phase intervals (graph 1 of the phase plot).
    double MeanResidualSwing() const
    {
        QCustomPlot* p = Plot("residualPhasePlot");
        if (p->graphCount() < 2)
            return -1;
        double most = 0;
        for (auto it = p->graph(1)->data()->begin(); it != p->graph(1)->data()->end(); ++it)
            most = std::max(most, std::abs(it->value));
        return most;
    }

    TNoiseAnalysisWindow window;
};

} // namespace

// What a record with a tone shows, and how: a clean tone against one with a
// static nonlinearity (harmonics 2 and 3 at -60 dBc): the figures named with
// units and near their true values, the marks, and the residual plots that
// tell the two apart.
TEST_F(SinePageTest, ToneShowsFiguresMarksAndResidualThatRevealNonlinearity)
{
    struct Case {
        const char* name;
        std::vector<double> hd;
        double thdDbc; // expected; 0: not checked
        bool curved;   // the residual follows a curve beyond the noise
    } cases[] = {
        {"clean", {}, 0, false},
        {"nonlinear", {-60.0, -60.0}, -60.0 + 10 * std::log10(2.0), true},
    };
    ShowSinePage();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // 10 000 uV at 47.3 Hz, 2 uV of noise: SNR = 10 lg(A^2 / (2 sigma^2)) = 71.0 dB.
        window.SetCodes(Tone(16384, 47.3, 10000.0, c.hd, 2.0), {}, kFs, 1, "tone");
        ASSERT_TRUE(WaitForAnalysis());
        const analysis::TSineFigures* f = window.SinePage()->Figures();
        ASSERT_NE(f, nullptr) << window.SinePage()->Reason().toStdString();
        EXPECT_NEAR(f->fundamentalHz, 47.3, 0.01);
        EXPECT_NEAR(f->snrDb, 71.0, 0.5);
        if (c.thdDbc != 0) {
            EXPECT_NEAR(f->thdDbc, c.thdDbc, 0.3);
        }
        // Each figure is named and carries its unit.
        EXPECT_TRUE(Value("snr").endsWith(" dB")) << Value("snr").toStdString();
        EXPECT_TRUE(Value("thd").endsWith(" dBc"));
        EXPECT_TRUE(Value("amplitude_dbfs").endsWith(" dBFS"));
        EXPECT_TRUE(Value("enob").endsWith(" bit"));
        EXPECT_TRUE(Value("fundamental").startsWith("47.3"));
        EXPECT_TRUE(Value("fit_residual").endsWith(" µV"));
        EXPECT_TRUE(Value("h2").contains("94.6")) << Value("h2").toStdString();
        // The spectrum marks the fundamental, the five harmonics' own bins and the largest spur.
        const QStringList marks = MarkLabels();
        for (const char* name : {"基本波", "H2", "H3", "H5", "最大スプリアス"})
            EXPECT_TRUE(marks.contains(QString::fromUtf8(name))) << name;
        EXPECT_EQ(Plot("sineSpectrumPlot")->graph(1)->dataCount(), 6);
        // A static nonlinearity bends the mean residual by about the harmonics' amplitude
        // (10 uV each); noise alone leaves it near 2 uV / sqrt(samples per interval).
        if (c.curved) {
            EXPECT_GT(MeanResidualSwing(), 10.0);
        } else {
            EXPECT_LT(MeanResidualSwing(), 1.0);
        }
        EXPECT_GT(Plot("residualValuePlot")->graph(0)->dataCount(), 1000);
    }
}

// The analysis waits until the page is shown, follows the channel shown and the
// options, and a record it cannot use says why in the table and the plots.
TEST_F(SinePageTest, FollowsPageChannelOptionsAndSaysWhyNothingIsShown)
{
    window.show();
    window.SetCodes(Tone(4096, 100.0, 5000.0, {}, 1.0), Tone(4096, 210.0, 5000.0, {}, 1.0, 4), kFs,
                    1, "two");
    QCoreApplication::processEvents();
    EXPECT_EQ(window.SinePage()->Figures(), nullptr); // the noise page is in front

    ShowSinePage();
    ASSERT_TRUE(WaitForAnalysis());
    ASSERT_NE(window.SinePage()->Figures(), nullptr);
    EXPECT_NEAR(window.SinePage()->Figures()->fundamentalHz, 100.0, 0.01);

    window.SelectChannel(1);
    ASSERT_TRUE(WaitForAnalysis());
    EXPECT_NEAR(window.SinePage()->Figures()->fundamentalHz, 210.0, 0.01);

    window.findChild<QSpinBox*>("sineHarmonics")->setValue(2);
    ASSERT_TRUE(WaitForAnalysis());
    EXPECT_NE(Value("h2"), "<missing>");
    EXPECT_EQ(Value("h3"), "<missing>");

    window.SetCodes(Tone(1000, 100.0, 5000.0, {}, 1.0), {}, kFs, 1, "short");
    ASSERT_TRUE(WaitForAnalysis());
    EXPECT_EQ(window.SinePage()->Figures(), nullptr);
    const QString why = QString::fromUtf8(text::SineNeedsSamples);
    EXPECT_TRUE(window.findChild<QLabel*>("sineMessage")->text().contains(why));
    EXPECT_EQ(Value("snr"), "<missing>");
    QCustomPlot* spectrum = Plot("sineSpectrumPlot");
    bool said = false;
    for (int i = 0; i < spectrum->itemCount(); ++i)
        if (auto* t = qobject_cast<QCPItemText*>(spectrum->item(i)))
            said = said || t->text().contains(why);
    EXPECT_TRUE(said);
}

// On the sine page the saves write the page's own picture and spectrum; the
// histogram, which it does not show, cannot be saved from it.
TEST_F(SinePageTest, SavesActOnThePageShown)
{
    ShowSinePage();
    window.SetCodes(Tone(4096, 100.0, 5000.0, {}, 1.0), {}, kFs, 1, "tone");
    ASSERT_TRUE(WaitForAnalysis());
    EXPECT_FALSE(window.findChild<QPushButton*>("saveHistogram")->isEnabled());
    EXPECT_TRUE(window.findChild<QPushButton*>("saveSpectrum")->isEnabled());
    QTemporaryDir dir;
    const QString csv = dir.filePath("s.csv");
    const QString png = dir.filePath("s.png");
    ASSERT_TRUE(window.SaveSineCsv(csv));
    ASSERT_TRUE(window.SaveSinePicture(png));
    QFile f(csv);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    EXPECT_EQ(lines.front(), "f_Hz,dBFS");
    EXPECT_EQ(lines.size(), 2 + 2047); // header, K = 2047 bins, the empty piece after the last
    EXPECT_TRUE(lines[400].startsWith("97.65625,")); // bin 400 of 4096 at 1000 sps
    EXPECT_EQ(QImage(png).size(), kNoisePictureSize);

    window.findChild<QTabWidget*>("pages")->setCurrentIndex(0);
    EXPECT_TRUE(window.findChild<QPushButton*>("saveHistogram")->isEnabled());
}

// The report carries the sine-wave test once its page has been computed: the
// figures with their units as the page shows them, and its plots.
TEST_F(SinePageTest, ReportCarriesTheSineFiguresOnceComputed)
{
    const QString pdftotext = QStandardPaths::findExecutable("pdftotext");
    ASSERT_FALSE(pdftotext.isEmpty()) << "install poppler-utils (scripts/install-deps)";
    auto reportText = [&](const QString& path) {
        EXPECT_TRUE(window.SaveReport(path));
        QProcess p;
        p.start(pdftotext, {"-enc", "UTF-8", path, "-"});
        EXPECT_TRUE(p.waitForFinished(30000));
        return QString::fromUtf8(p.readAllStandardOutput());
    };
    QTemporaryDir dir;
    window.show();
    window.SetCodes(Tone(8192, 61.0, 20000.0, {-70.0}, 3.0), {}, kFs, 1, "tone");
    const QString page = QString::fromUtf8(text::SinePage);
    EXPECT_FALSE(reportText(dir.filePath("before.pdf")).contains(page));

    ShowSinePage();
    ASSERT_TRUE(WaitForAnalysis());
    const analysis::TSineFigures* f = window.SinePage()->Figures();
    ASSERT_NE(f, nullptr);
    const QString text = reportText(dir.filePath("after.pdf"));
    EXPECT_TRUE(text.contains(page));
    EXPECT_TRUE(text.contains(QString::fromUtf8(text::SineSnr) + " [dB]"));
    EXPECT_TRUE(text.contains(QString::number(f->snrDb, 'f', 2))) << text.toStdString();
    EXPECT_TRUE(text.contains(QString::number(*f->harmonics[0].dBc, 'f', 2)));
    EXPECT_TRUE(text.contains(QString::fromUtf8(text::SineResidualPhaseTitle)));
}

TEST(SinePlots, BinnedMeanAndThinningKeepWhatTheyShow)
{
    const std::vector<double> x{0.5, 1.5, 1.6, 3.9, 4.0, -1.0};
    const std::vector<double> y{1, 2, 4, 8, 16, 99};
    const TPlotPoints m = BinnedMean(x, y, 0.0, 4.0, 4);
    // Interval [1,2) averages 2 and 4; [2,3) is empty; 4.0 belongs to the last; -1 is outside.
    EXPECT_EQ(m.keys, (QVector<double>{0.5, 1.5, 3.5}));
    EXPECT_EQ(m.values, (QVector<double>{1, 3, 12}));
    std::vector<double> many(100001);
    const TPlotPoints t = Thinned(many, many, 20000);
    EXPECT_LE(t.keys.size(), 20000);
    EXPECT_GE(t.keys.size(), 16000);
}
