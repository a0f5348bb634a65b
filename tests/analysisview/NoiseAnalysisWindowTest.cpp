// The noise analysis window, headless: what it shows for one- and two-channel
// data sets, the options that recompute it, the Y unit, clearing, the picture
// and the saved files (the save dialog and the error box answered by a script).

#include "NoiseAnalysisWindow.h"
#include "AnalysisTexts.h"
#include "MeasureRecord.h"
#include "NoiseReport.h"
#include "UiFont.h"
#include "WindowFit.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <random>

using namespace mirantos;

namespace {

struct ScriptedDialogs : IAnalysisDialogs {
    std::deque<QString> names; // a null QString: cancelled
    QStringList filters, errors;
    bool SaveFileName(QWidget*, const QString& filter, const QString&, QString* chosen) override
    {
        filters << filter;
        if (names.empty() || names.front().isNull()) {
            if (!names.empty())
                names.pop_front();
            return false;
        }
        *chosen = names.front();
        names.pop_front();
        return true;
    }
    bool OpenFileNames(QWidget*, const QString&, QStringList*) override { return false; }
    void ShowError(QWidget*, const QString& text) override { errors << text; }
    QStringList questions;
    bool overwrite = false;
    bool AskOverwrite(QWidget*, const QString& question) override
    {
        questions << question;
        return overwrite;
    }
};

void Fill(TChannelData& ch, int n, double sigma, uint64_t seed, double centre)
{
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> g(0.0, sigma);
    for (int i = 0; i < n; ++i)
        ch.Code[i] = static_cast<uint32_t>(std::llround(centre + g(rng)));
    ch.Count = n;
}

// A record as a completed run leaves it (codes and flags; the window reads nothing else).
void Complete(TMeasureRecord& r, int chSel, int n)
{
    r.Setting.CHSel = chSel;
    if (chSel != 1)
        Fill(r.Ch0, n, 40.0, 1, 3178275430.0);
    if (chSel != 0)
        Fill(r.Ch1, n, 400.0, 2, 1848000000.0);
    r.MarkComplete(n);
}

class AnalysisWindowTest : public ::testing::Test {
protected:
    QString Value(const char* key) const
    {
        auto* l = window.findChild<QLabel*>(QString("value_") + key);
        return l != nullptr ? l->text() : QString("<missing>");
    }
    QComboBox* Box(const char* name) const { return window.findChild<QComboBox*>(name); }
    QPushButton* Button(const char* name) const { return window.findChild<QPushButton*>(name); }
    QCustomPlot* Plot(const char* name) const { return window.findChild<QCustomPlot*>(name); }
    QString Message() const { return window.findChild<QLabel*>("message")->text(); }

    ScriptedDialogs dialogs;
    TMeasureRecord record;
    TNoiseAnalysisWindow window{nullptr, &dialogs};
};

} // namespace

TEST_F(AnalysisWindowTest, IsANonModalWindowTitledNoiseAnalysis)
{
    EXPECT_TRUE(window.isWindow());
    EXPECT_EQ(window.windowModality(), Qt::NonModal);
    EXPECT_EQ(window.windowTitle(), QString::fromUtf8("ノイズ解析"));
    EXPECT_FALSE(window.HasDataSet());
    EXPECT_EQ(window.Figures(), nullptr);
    EXPECT_EQ(Message(), QString::fromUtf8(text::AnalysisNoData));
    EXPECT_FALSE(Button("savePicture")->isEnabled());
}

TEST_F(AnalysisWindowTest, OneChannelSetShowsItsFiguresWithUnitsAndNoChannelChoice)
{
    Complete(record, 1, 1000);
    window.SetDataSet(record, 397.5, 1);
    window.show();
    ASSERT_NE(window.Figures(), nullptr);
    EXPECT_EQ(window.Channel(), 1);
    EXPECT_FALSE(Box("channel")->isVisible());

    // The very figures of the library, on CH1's codes.
    analysis::TNoiseFigures f;
    ASSERT_TRUE(analysis::Analyze({record.Ch1.Code, 1000}, 397.5, 1, {}, f));
    EXPECT_EQ(window.Figures()->rmsCode, f.rmsCode);
    EXPECT_EQ(window.Figures()->nsdMedianNv, f.nsdMedianNv);

    EXPECT_EQ(Value("samples"), "1000");
    EXPECT_EQ(Value("rate"), "397.5 sps");
    EXPECT_EQ(Value("rms"), QString::number(f.rmsCode, 'f', 3) + " digit / " +
                                QString::number(f.rmsUv, 'f', 5) + QString::fromUtf8(" µV"));
    EXPECT_TRUE(Value("effective_bits").endsWith(" bit"));
    EXPECT_TRUE(Value("median_density").endsWith(QString::fromUtf8(" nV/√Hz")));
    EXPECT_TRUE(Value("band_rms").contains("198.75 Hz"));
    EXPECT_EQ(Value("segments"), QString::number(f.spectrum.segments));
    // 2.5 s: no drift figure, for the reason the 0.1-10 Hz rows give.
    EXPECT_EQ(Value("drift"), QString::fromUtf8("算出できません：30秒以上のデータが必要です"));
    EXPECT_TRUE(Message().isEmpty());
    EXPECT_TRUE(Button("saveSpectrum")->isEnabled());

    // Histogram bars plus the normal curve; the density on log-log axes from df.
    QCustomPlot* h = Plot("histogramPlot");
    ASSERT_EQ(h->plottableCount(), 2);
    auto* bars = qobject_cast<QCPBars*>(h->plottable(0));
    ASSERT_NE(bars, nullptr);
    EXPECT_EQ(bars->data()->size(), static_cast<int>(f.histogram.counts.size()));
    QCustomPlot* s = Plot("spectrumPlot");
    EXPECT_EQ(s->xAxis->scaleType(), QCPAxis::stLogarithmic);
    EXPECT_EQ(s->yAxis->scaleType(), QCPAxis::stLogarithmic);
    ASSERT_GE(s->graphCount(), 1);
    EXPECT_EQ(s->graph(0)->data()->size(), static_cast<int>(f.spectrum.nsdNv.size()) - 1);
    EXPECT_DOUBLE_EQ(s->graph(0)->data()->begin()->key, f.spectrum.dfHz);
}

TEST_F(AnalysisWindowTest, TwoChannelSetOffersTheChannelChoice)
{
    Complete(record, 2, 2000);
    window.SetDataSet(record, 1000.0, 1);
    window.show();
    EXPECT_TRUE(Box("channel")->isVisible());
    EXPECT_EQ(window.Channel(), 0);
    const double rms0 = window.Figures()->rmsCode;
    Box("channel")->setCurrentIndex(1);
    emit Box("channel")->activated(1);
    EXPECT_EQ(window.Channel(), 1);
    // CH1 was made ten times noisier.
    EXPECT_NEAR(window.Figures()->rmsCode / rms0, 10.0, 1.0);
    EXPECT_EQ(window.Figures()->minCode,
              *std::min_element(record.Ch1.Code, record.Ch1.Code + 2000));

    // A new data set starts again on CH0.
    window.SetDataSet(record, 1000.0, 1);
    EXPECT_EQ(window.Channel(), 0);
}

TEST_F(AnalysisWindowTest, WindowAndSegmentChoicesRecomputeTheDensity)
{
    Complete(record, 0, 1000);
    window.SetDataSet(record, 100.0, 1);
    QComboBox* segment = Box("segment");
    // Powers of two from 8 to the record, the default (largest <= N/4) chosen.
    QStringList items;
    for (int i = 0; i < segment->count(); ++i)
        items << segment->itemText(i);
    EXPECT_EQ(items, QStringList({"8", "16", "32", "64", "128", "256", "512"}));
    EXPECT_EQ(segment->currentText(), "128");
    EXPECT_EQ(window.Figures()->spectrum.segment, 128);
    EXPECT_EQ(window.Figures()->spectrum.window, analysis::TWindow::BlackmanHarris);
    // From fewer than 8 segments the median reads low, and says so.
    const QString few = QString(" (") + QString::fromUtf8(text::AnalysisFewSegments) + ")";

    Box("window")->setCurrentIndex(2);
    EXPECT_EQ(window.Figures()->spectrum.window, analysis::TWindow::Rect);
    segment->setCurrentIndex(6);
    emit segment->activated(6);
    EXPECT_EQ(window.Figures()->spectrum.segment, 512);
    EXPECT_EQ(Value("segments"), "2"); // step 256: 1 + (1000 - 512) / 256
    EXPECT_TRUE(Value("median_density").endsWith(QString::fromUtf8(" nV/√Hz") + few))
        << Value("median_density").toStdString();

    // The choice stays for the next data set while it fits.
    window.SetDataSet(record, 100.0, 1);
    EXPECT_EQ(window.Figures()->spectrum.segment, 512);
    EXPECT_EQ(window.Figures()->spectrum.window, analysis::TWindow::Rect);
}

TEST_F(AnalysisWindowTest, HistogramAxisFollowsTheYUnit)
{
    Complete(record, 0, 1000);
    window.SetDataSet(record, 10.0, 1);
    QCustomPlot* h = Plot("histogramPlot");
    const auto* f = window.Figures();
    auto firstKey = [&] { return qobject_cast<QCPBars*>(h->plottable(0))->data()->begin()->key; };
    const double half = (static_cast<double>(f->histogram.binWidth) - 1.0) / 2.0;
    EXPECT_EQ(h->xAxis->label(), QString::fromUtf8(text::AnalysisAxisCode));
    EXPECT_DOUBLE_EQ(firstKey(), f->histogram.firstCode + half);

    // Microvolts from the mean, the mean in the axis' title.
    window.SetVoltMode(true);
    EXPECT_TRUE(h->xAxis->label().startsWith(QString::fromUtf8("平均 ")));
    EXPECT_TRUE(h->xAxis->label().endsWith(QString::fromUtf8(" µV からの偏差 [µV]")));
    EXPECT_NEAR(firstKey(),
                CodeToMicrovolt(f->histogram.firstCode, 1) + half * 2500000.0 / 2147483647.0 -
                    f->meanUv,
                1e-6);
    // The normal curve peaks at the mean: 0 on the axis.
    QCPGraph* g = h->graph(0);
    double peakKey = 0, peak = -1;
    for (auto it = g->data()->begin(); it != g->data()->end(); ++it) {
        if (it->value > peak) {
            peak = it->value;
            peakKey = it->key;
        }
    }
    EXPECT_NEAR(peakKey, 0.0, 8.0 * f->rmsUv / 240.0);

    window.SetVoltMode(false);
    EXPECT_DOUBLE_EQ(firstKey(), f->histogram.firstCode + half);
}

TEST_F(AnalysisWindowTest, ClearingAndTooFewSamples)
{
    Complete(record, 0, 1000);
    window.SetDataSet(record, 10.0, 1);
    window.ClearDataSet();
    EXPECT_FALSE(window.HasDataSet());
    EXPECT_EQ(window.Figures(), nullptr);
    EXPECT_TRUE(Value("rms").isEmpty());
    EXPECT_EQ(Plot("histogramPlot")->plottableCount(), 0);
    EXPECT_EQ(Plot("spectrumPlot")->plottableCount(), 0);
    EXPECT_FALSE(Button("saveHistogram")->isEnabled());
    EXPECT_TRUE(window.RenderPlots().isNull());

    // A record without valid channels is no data set either.
    record.Clear();
    window.SetDataSet(record, 10.0, 1);
    EXPECT_FALSE(window.HasDataSet());

    // Fewer than 10 samples cannot be analysed (a file may hold so few).
    Complete(record, 0, 9);
    window.SetDataSet(record, 10.0, 1);
    EXPECT_TRUE(window.HasDataSet());
    EXPECT_EQ(window.Figures(), nullptr);
    EXPECT_EQ(Message(), QString::fromUtf8(text::AnalysisTooFew));
}

TEST_F(AnalysisWindowTest, PictureIsTheFourPlotsOfTheFiguresShown)
{
    Complete(record, 0, 2000);
    window.SetDataSet(record, 400.0, 1);
    window.SetVoltMode(true);
    const QImage image = window.RenderPlots(QSize(600, 500));
    ASSERT_EQ(image.size(), QSize(600, 500));
    EXPECT_EQ(image,
              RenderNoisePlots(*window.Figures(), *window.LowFrequency(), true, QSize(600, 500)));
}

TEST_F(AnalysisWindowTest, LowFrequencyFiguresOfTheChannelShownComputedOncePerDataSet)
{
    // 40 s at 100 sps: the 0.1-10 Hz figures are defined.
    Complete(record, 2, 4000);
    window.SetDataSet(record, 100.0, 1);
    auto expectOf = [&](std::span<const uint32_t> codes, double rate) {
        const analysis::TLowFrequencyFigures lf = analysis::ComputeLowFrequency(codes, rate, 1);
        ASSERT_NE(window.LowFrequency(), nullptr);
        EXPECT_EQ(window.LowFrequency()->slopeUvPerH, lf.slopeUvPerH);
        EXPECT_EQ((std::array{Value("drift"), Value("lf_pp_median"), Value("lf_pp_max"),
                              Value("lf_rms")}),
                  LowFrequencyValueTexts(lf));
        EXPECT_EQ(Plot("allanPlot")->graph(0)->data()->size(), static_cast<int>(lf.allan.size()));
        EXPECT_EQ(Plot("lowFrequencyPlot")->graphCount(), lf.lf ? 3 : 0);
    };
    expectOf({record.Ch0.Code, 4000}, 100.0);

    // Window and segment change the density only: the low-frequency plots stay as drawn.
    const QPointer<QCPGraph> allan = Plot("allanPlot")->graph(0);
    Box("window")->setCurrentIndex(1);
    Box("segment")->setCurrentIndex(0);
    emit Box("segment")->activated(0);
    EXPECT_EQ(window.Figures()->spectrum.segment, 8);
    EXPECT_FALSE(allan.isNull());

    // Another channel is computed anew.
    Box("channel")->setCurrentIndex(1);
    emit Box("channel")->activated(1);
    EXPECT_TRUE(allan.isNull());
    expectOf({record.Ch1.Code, 4000}, 100.0);

    // Codes handed over by the viewer go the same way, at their own rate.
    std::vector<uint32_t> span(record.Ch0.Code, record.Ch0.Code + 1000);
    window.SetCodes(span, {}, 20.0, 1, "x");
    expectOf(span, 20.0);
    EXPECT_TRUE(Value("lf_rms").endsWith(QString::fromUtf8(text::AnalysisLfNeedsRate)));

    window.ClearDataSet();
    EXPECT_EQ(window.LowFrequency(), nullptr);
    EXPECT_TRUE(Value("drift").isEmpty());
    EXPECT_EQ(Plot("allanPlot")->plottableCount(), 0);
    EXPECT_EQ(Plot("lowFrequencyPlot")->plottableCount(), 0);
}

TEST_F(AnalysisWindowTest, SavesThePictureAndBothCsvThroughTheDialog)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    Complete(record, 0, 1000);
    window.SetDataSet(record, 400.0, 1);
    dialogs.names = {dir.filePath("plots"), dir.filePath("h.csv"), dir.filePath("s.csv")};
    Button("savePicture")->click();
    Button("saveHistogram")->click();
    Button("saveSpectrum")->click();
    EXPECT_TRUE(dialogs.errors.isEmpty());
    EXPECT_EQ(dialogs.filters, QStringList({QString::fromUtf8(text::AnalysisPngFilter),
                                            QString::fromUtf8(text::AnalysisCsvFilter),
                                            QString::fromUtf8(text::AnalysisCsvFilter)}));
    // A name without a suffix gets one.
    QImage png(dir.filePath("plots.png"));
    EXPECT_EQ(png.size(), kNoisePictureSize);
    auto read = [&](const char* name) {
        QFile f(dir.filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
    };
    EXPECT_EQ(read("h.csv"), analysis::HistogramCsv(window.Figures()->histogram));
    EXPECT_EQ(read("s.csv"), analysis::SpectrumCsv(window.Figures()->spectrum));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 3);

    // Cancelled: nothing written, nothing shown.
    dialogs.names = {QString()};
    Button("saveHistogram")->click();
    EXPECT_TRUE(dialogs.errors.isEmpty());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 3);

    // A folder that does not exist: the error box, and no file.
    dialogs.names = {dir.filePath("missing/s.csv")};
    Button("saveSpectrum")->click();
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].startsWith(QString::fromUtf8(text::AnalysisSaveError)));
}

// The name the save dialog returns, after the suffix is added: the file
// being analysed is never written over, and a name that became an existing
// file is asked about again.
struct SaveName {
    const char* typed; // in the folder holding run.csv (analysed) and other.csv
    bool asked;        // (and declined)
    bool refused;
    const char* written; // the file that gets the histogram; empty: none
};

class AnalysisSaveName : public ::testing::TestWithParam<SaveName> {};

TEST_P(AnalysisSaveName, AsksAgainOrRefusesAsTheFinalNameNeeds)
{
    const SaveName& p = GetParam();
    QTemporaryDir dir;
    for (const char* name : {"run.csv", "other.csv"}) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old");
    }
    ASSERT_TRUE(QFile::link(dir.filePath("run.csv"), dir.filePath("alias.csv")));
    ScriptedDialogs dialogs;
    dialogs.overwrite = p.refused; // yes to everything but the file to keep
    TNoiseAnalysisWindow window(nullptr, &dialogs);
    TMeasureRecord record;
    Complete(record, 0, 1000);
    window.SetCodes({record.Ch0.Code, record.Ch0.Code + 1000}, {}, 400.0, 1, "run.csv",
                    dir.filePath("run.csv"));
    const QString saved =
        dir.filePath(QString(p.typed).contains('.') ? p.typed : p.typed + QString(".csv"));
    dialogs.names = {dir.filePath(p.typed)};
    window.findChild<QPushButton*>("saveHistogram")->click();

    EXPECT_EQ(dialogs.questions.size(), p.asked ? 1 : 0);
    EXPECT_TRUE(!p.asked || dialogs.questions[0] ==
                                QString::fromUtf8(text::AnalysisOverwriteQuestion).arg(saved));
    EXPECT_EQ(dialogs.errors,
              p.refused
                  ? QStringList{QString::fromUtf8(text::AnalysisSaveOverSource) + "\n" + saved}
                  : QStringList{});
    const std::string histogram = analysis::HistogramCsv(window.Figures()->histogram);
    for (const char* name : {"run.csv", "other.csv", p.written}) {
        if (!*name)
            continue;
        QFile f(dir.filePath(name));
        EXPECT_EQ(f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : "",
                  name == std::string(p.written) ? histogram : "old")
            << name;
    }
}

INSTANTIATE_TEST_SUITE_P(Names, AnalysisSaveName,
                         ::testing::Values(SaveName{"run", false, true, ""},
                                           SaveName{"alias.csv", false, true, ""},
                                           SaveName{"other", true, false, ""},
                                           SaveName{"fresh", false, false, "fresh.csv"}));

TEST_F(AnalysisWindowTest, SavedPictureCarriesTheCaptionOfWhatItShows)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    Complete(record, 1, 1000);
    const QString span = QString::fromUtf8("記録: run.csv CH1 12.000〜14.500 s");
    window.SetCodes({}, {record.Ch1.Code, record.Ch1.Code + 1000}, 400.0, 1, span, {},
                    {"MIRANTOS 1.10", "2026-12-07T23:50:29Z", false});
    dialogs.names = {dir.filePath("span.png")};
    Button("savePicture")->click();
    window.SetDataSet(record, 400.0, 1); // the main window's, not saved yet
    dialogs.names = {dir.filePath("unsaved.png")};
    Button("savePicture")->click();

    const QRegularExpression made(QString::fromUtf8("作成 \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d$"));
    const struct {
        const char* file;
        QString says;
    } cases[] = {
        {"span.png", span + QString::fromUtf8("   CH1   400 sps   1000 サンプル (2.5 s)   "
                                              "記録開始 2026-12-07T23:50:29Z   ")},
        {"unsaved.png",
         QString::fromUtf8("未保存のデータ   CH1   400 sps   1000 サンプル (2.5 s)   ")},
    };
    for (const auto& c : cases) {
        const QImage png(dir.filePath(c.file));
        ASSERT_EQ(png.size(), kNoisePictureSize) << c.file;
        const QString caption = png.text("Description");
        EXPECT_TRUE(caption.startsWith(c.says)) << caption.toStdString();
        EXPECT_TRUE(made.match(caption).hasMatch()) << caption.toStdString();
        // Written in the strip under the plots, too.
        int dark = 0;
        for (int y = png.height() - 30; y < png.height(); ++y)
            for (int x = 0; x < 200; ++x)
                dark += qGray(png.pixel(x, y)) < 128;
        EXPECT_GT(dark, 50) << c.file;
    }
}

TEST_F(AnalysisWindowTest, BandTypedInTheWindowSetsTheBandRms)
{
    Complete(record, 0, 4000);
    window.SetDataSet(record, 1000.0, 1);
    auto* band = window.findChild<QLineEdit*>("band");
    ASSERT_NE(band, nullptr);
    auto bandRms = [&](std::optional<double> lo, std::optional<double> hi) {
        analysis::TAnalysisOptions o;
        o.bandLowHz = lo;
        o.bandHighHz = hi;
        analysis::TNoiseFigures f;
        EXPECT_TRUE(analysis::Analyze({record.Ch0.Code, 4000}, 1000.0, 1, o, f));
        return QString::number(f.bandRmsUv, 'f', 5) + QString::fromUtf8(" µV (帯域 ");
    };
    const QString whole = bandRms({}, {}) + QString::fromUtf8("0 ～ 500 Hz)");
    const QString low = bandRms(10.0, 50.0) + QString::fromUtf8("10 ～ 50 Hz)");
    const QString invalid = QString::fromUtf8(text::AnalysisBandInvalid).arg("500");
    const struct {
        const char* typed;
        QString shown, message;
    } cases[] = {
        {"10:50", low, {}},      {"50:10", low, invalid}, {"0:900", low, invalid},
        {"10-50", low, invalid}, {"", whole, {}},         {"0:500", whole, {}},
    };
    for (const auto& c : cases) {
        band->setText(c.typed);
        emit band->editingFinished();
        EXPECT_EQ(Value("band_rms"), c.shown) << c.typed;
        EXPECT_EQ(Message(), c.message) << c.typed;
    }
    // A data set at a lower rate drops a band it cannot hold.
    band->setText("100:400");
    emit band->editingFinished();
    window.SetDataSet(record, 500.0, 1);
    EXPECT_TRUE(Value("band_rms").endsWith(QString::fromUtf8("0 ～ 250 Hz)")));
}

// On a 1366x768 laptop (less a task bar) the window opens within the screen,
// and everything in it keeps its room at the smallest size it can be given.
TEST_F(AnalysisWindowTest, FitsALaptopScreenAndKeepsItsPartsApartAtItsMinimum)
{
    const struct {
        QSize available, opens;
    } screens[] = {
        {{1366, 728}, {1350, 680}},
        {{1920, 1040}, {1400, 900}},
        {{800, 500}, window.minimumSize()},
    };
    for (const auto& s : screens)
        EXPECT_EQ(FitWindowSize({1400, 900}, window.minimumSize(), s.available), s.opens);
    EXPECT_TRUE(QRect(0, 0, 1350, 680).contains(QRect(QPoint(), window.minimumSize())))
        << window.minimumSize().width() << "x" << window.minimumSize().height();
    const QRect available = window.screen()->availableGeometry();
    if (available.width() >= 1366 && available.height() >= 720) { // the screen this runs on
        EXPECT_TRUE(available.contains(QRect(window.pos(), window.size() + kWindowFrame)));
    }

    Complete(record, 2, 2000);
    window.SetDataSet(record, 1000.0, 1);
    window.resize(window.minimumSize());
    window.show();
    QApplication::processEvents();
    std::vector<QRect> parts;
    for (const char* name : {"histogramPlot", "spectrumPlot", "allanPlot", "lowFrequencyPlot"}) {
        QCustomPlot* p = Plot(name);
        EXPECT_GE(p->height(), 200) << name;
        EXPECT_GE(p->width(), 280) << name;
        parts.push_back(QRect(p->mapTo(&window, QPoint()), p->size()));
    }
    for (QWidget* w : window.findChildren<QPushButton*>()) {
        if (!w->isVisible())
            continue;
        EXPECT_GE(w->width(), w->sizeHint().width()) << w->objectName().toStdString();
        parts.push_back(QRect(w->mapTo(&window, QPoint()), w->size()));
    }
    for (size_t i = 0; i < parts.size(); ++i) {
        EXPECT_TRUE(window.rect().contains(parts[i])) << i;
        for (size_t j = i + 1; j < parts.size(); ++j)
            EXPECT_FALSE(parts[i].intersects(parts[j])) << i << " " << j;
    }
}
