// The noise analysis window with reference files: read from real files (a
// capture and a .DTA file), overlaid in order with one colour each, a table
// column each with the difference to the current data, removable, refused
// with a message naming the file, and the report written through the dialog.

#include "AnalysisTexts.h"
#include "CaptureFile.h"
#include "ComparisonPlots.h"
#include "MeasureRecord.h"
#include "Myfile.h"
#include "NoiseAnalysisWindow.h"
#include "NoiseReport.h"
#include "ReportTexts.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <random>
#include <tuple>

using namespace mirantos;

namespace {

struct Dialogs : IAnalysisDialogs {
    std::deque<QStringList> opens;
    std::deque<QString> saves;
    QStringList errors;
    std::function<void()> whileOpen;
    bool SaveFileName(QWidget*, const QString&, const QString&, QString* chosen) override
    {
        if (saves.empty())
            return false;
        *chosen = saves.front();
        saves.pop_front();
        return true;
    }
    bool OpenFileNames(QWidget*, const QString&, QStringList* chosen) override
    {
        if (whileOpen)
            whileOpen();
        if (opens.empty())
            return false;
        *chosen = opens.front();
        opens.pop_front();
        return true;
    }
    void ShowError(QWidget*, const QString& text) override { errors << text; }
    QStringList questions;
    bool AskOverwrite(QWidget*, const QString& question) override
    {
        questions << question;
        return false;
    }
    // Answers of the report's title and notes question; none left: cancelled.
    std::deque<std::pair<QString, QString>> details;
    QStringList titlesOffered;
    bool AskReportDetails(QWidget*, QString* title, QString* notes) override
    {
        titlesOffered << *title;
        if (details.empty())
            return false;
        std::tie(*title, *notes) = details.front();
        details.pop_front();
        return true;
    }
};

std::vector<uint32_t> Noise(int n, double sigma, uint64_t seed)
{
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> g(0.0, sigma);
    std::vector<uint32_t> v(static_cast<size_t>(n));
    for (auto& c : v)
        c = static_cast<uint32_t>(std::llround(2147483648.0 + g(rng)));
    return v;
}

class ReferenceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        window.SetCodes(Noise(2000, 40.0, 1), {}, 1000.0, 1, QString());
    }
    QString Capture(const char* name, int chSel, double sigma, uint64_t seed)
    {
        const QString path = dir.filePath(name);
        TCaptureInfo info;
        info.rateIndex = 10;
        info.rateSps = 1000;
        info.sinc5 = false;
        info.chSel = chSel;
        const std::vector<uint32_t> codes = Noise(1500, sigma, seed);
        TCaptureWriter w;
        const bool ok = w.Open(QFile::encodeName(path).toStdString(), true) && w.Begin(info) &&
                        w.Write(chSel == 0 ? codes.data() : nullptr,
                                chSel == 1 ? codes.data() : nullptr, 1500) &&
                        w.Finish(TCaptureEnd::Complete);
        return ok ? path : QString();
    }
    QString Dta(const char* name, double sigma, uint64_t seed)
    {
        TMeasureRecord r;
        r.Setting.CHSel = 0;
        const std::vector<uint32_t> codes = Noise(1200, sigma, seed);
        std::copy(codes.begin(), codes.end(), r.Ch0.Code);
        r.Ch0.Count = 1200;
        std::string bytes;
        QFile f(dir.filePath(name));
        if (!FormatDataFile(r.Setting, r.Ch0, bytes) || !f.open(QIODevice::WriteOnly) ||
            f.write(bytes.data(), static_cast<qint64>(bytes.size())) !=
                static_cast<qint64>(bytes.size()))
            return {};
        return f.fileName();
    }
    QCustomPlot* Plot(const char* name) const { return window.findChild<QCustomPlot*>(name); }
    QTableWidget* Table() const { return window.findChild<QTableWidget*>("comparison"); }
    QPushButton* Button(const char* name) const { return window.findChild<QPushButton*>(name); }

    QTemporaryDir dir;
    Dialogs dialogs;
    TNoiseAnalysisWindow window{nullptr, &dialogs};
};

// The legend labels and colours of a plot's graphs, in order.
QStringList Labels(QCustomPlot* p)
{
    QStringList l;
    for (int i = 0; i < p->graphCount(); ++i)
        l << p->graph(i)->name();
    return l;
}

} // namespace

TEST_F(ReferenceTest, ReferencesOverlaidInOrderWithTheirColoursColumnsAndDifferences)
{
    const QString quiet = Capture("quiet.csv", 0, 20.0, 2);
    const QString loud = Dta("loud.DTA", 90.0, 3);
    ASSERT_FALSE(quiet.isEmpty());
    ASSERT_FALSE(loud.isEmpty());
    // The open dialog is a pending command like the save dialog.
    bool inDialog = false;
    dialogs.whileOpen = [&] { inDialog = window.InDialog(); };
    dialogs.opens = {{quiet, loud}};
    Button("addReference")->click();
    EXPECT_TRUE(inDialog);
    EXPECT_FALSE(window.InDialog());
    ASSERT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join("|").toStdString();
    ASSERT_EQ(window.ReferenceCount(), 2);

    const QStringList labels = {QString::fromUtf8(text::AnalysisCurrentData), "quiet", "loud"};
    for (const char* name : {"histogramPlot", "spectrumPlot", "allanPlot"}) {
        QCustomPlot* p = Plot(name);
        EXPECT_EQ(Labels(p), labels) << name;
        for (int i = 0; i < p->graphCount(); ++i)
            EXPECT_EQ(p->graph(i)->pen().color().rgb(), ComparisonColor(i)) << name << i;
        EXPECT_TRUE(p->legend->visible());
    }
    // The histogram as a probability density: it integrates to one.
    const auto* h = Plot("histogramPlot")->graph(2)->data().data();
    const double width = static_cast<double>(window.Runs()[2].noise.histogram.binWidth);
    double area = 0;
    for (auto it = h->constBegin(); it != h->constEnd(); ++it)
        area += it->value * width;
    EXPECT_NEAR(area, 1.0, 1e-9);

    // The runs are the files' own figures: the larger noise reads larger.
    std::vector<analysis::TRunFigures> runs = window.Runs();
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[1].noise.samples, 1500);
    EXPECT_EQ(runs[2].noise.samples, 1200);
    EXPECT_LT(runs[1].noise.rmsCode, runs[0].noise.rmsCode);
    EXPECT_GT(runs[2].noise.rmsCode, runs[0].noise.rmsCode);
    EXPECT_FALSE(runs[1].low.allan.empty());

    QTableWidget* t = Table();
    ASSERT_EQ(t->columnCount(), 3);
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(t->horizontalHeaderItem(c)->text(), labels[c]);
    const std::vector<analysis::TDifference> d = analysis::DifferencesToFirst(runs);
    for (int r = 1; r < 3; ++r) {
        const analysis::TDifference& x = d[static_cast<size_t>(r - 1)];
        EXPECT_TRUE(t->item(7, r)->text().contains(QString::number(*x.rmsPct, 'f', 2) + " %"));
        EXPECT_TRUE(t->item(7, r)->text().contains(QString::number(*x.rmsDb, 'f', 2) + " dB"));
        EXPECT_TRUE(t->item(8, r)->text().contains(QString::number(*x.ppDb, 'f', 2) + " dB"));
        EXPECT_TRUE(t->item(9, r)->text().contains(QString::number(*x.nsdMedianDb, 'f', 2)));
        EXPECT_TRUE(t->item(10, r)->text().contains(QString::number(x.effectiveBits, 'f', 2)));
    }
    EXPECT_TRUE(t->item(7, 0) == nullptr || t->item(7, 0)->text().isEmpty());
    // Another rate, or another filter where both are told, is another bandwidth: the
    // current codes at 1000 sps come without their filter, quiet is at 1000 sps, loud at 10.
    const QString same = QString::fromUtf8(text::AnalysisBandwidthSame);
    const QString differs = QString::fromUtf8(text::AnalysisBandwidthDiffers);
    EXPECT_EQ(t->item(12, 1)->text(), same);
    EXPECT_EQ(t->item(12, 2)->text(), differs);

    // A window change re-analyses the references; new current data keeps them.
    auto* box = window.findChild<QComboBox*>("window");
    box->setCurrentIndex(box->findData(static_cast<int>(analysis::TWindow::Hann)));
    EXPECT_EQ(window.Runs()[2].noise.spectrum.window, analysis::TWindow::Hann);
    window.SetCodes(Noise(3000, 30.0, 9), {}, 1000.0, 1, QString::fromUtf8("記録: x.csv"));
    ASSERT_EQ(window.ReferenceCount(), 2);
    EXPECT_EQ(Labels(Plot("spectrumPlot")),
              QStringList({QString::fromUtf8("記録: x.csv"), "quiet", "loud"}));

    // A Sinc5+Sinc1 data set at 1000 sps against quiet's Sinc3.
    TMeasureRecord record;
    record.Setting.spsSel = 10;
    record.Setting.fSinc5 = 1;
    const std::vector<uint32_t> codes = Noise(2000, 40.0, 5);
    std::copy(codes.begin(), codes.end(), record.Ch0.Code);
    record.MarkComplete(2000);
    window.SetDataSet(record, 1000.0, 1);
    EXPECT_EQ(t->item(12, 1)->text(), differs);

    // Removing the first takes its column and curves; the other keeps its colour.
    window.RemoveReference(0);
    EXPECT_EQ(t->columnCount(), 2);
    EXPECT_EQ(t->horizontalHeaderItem(1)->text(), "loud");
    for (const char* name : {"histogramPlot", "spectrumPlot", "allanPlot"}) {
        EXPECT_EQ(Labels(Plot(name)).size(), 2) << name;
        EXPECT_EQ(Labels(Plot(name)).back(), "loud") << name;
    }
    // The last one gone: the plain plots again.
    window.RemoveReference(0);
    EXPECT_FALSE(Table()->isVisibleTo(&window));
    EXPECT_EQ(Plot("histogramPlot")->plottableCount(), 2); // the bars and the normal curve
}

TEST_F(ReferenceTest, RefusedFilesNameTheFileAndTheReason)
{
    QFile junk(dir.filePath("junk.csv"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly) && junk.write("not a capture\n") > 0);
    junk.close();
    struct Case {
        QString path;
        const char* reason;
    };
    const Case cases[] = {
        {Capture("ch1only.csv", 1, 20.0, 4), text::AnalysisReferenceNoChannel},
        {junk.fileName(), text::AnalysisReferenceReadError},
        {dir.filePath("absent.csv"), text::AnalysisReferenceReadError},
    };
    for (const Case& c : cases) {
        dialogs.errors.clear();
        EXPECT_FALSE(window.AddReference(c.path)) << c.path.toStdString();
        ASSERT_EQ(dialogs.errors.size(), 1) << c.path.toStdString();
        EXPECT_TRUE(dialogs.errors[0].startsWith(QString::fromUtf8(c.reason)));
        EXPECT_TRUE(dialogs.errors[0].contains(c.path));
        EXPECT_EQ(window.ReferenceCount(), 0);
    }

    // Seven references at most: of nine chosen at once the eighth is refused,
    // once, and the ninth not even tried.
    QStringList nine;
    for (int i = 0; i < 9; ++i)
        nine << Capture(qPrintable(QString("r%1.csv").arg(i)), 0, 20.0 + i, 10 + i);
    dialogs.errors.clear();
    dialogs.opens = {nine};
    Button("addReference")->click();
    EXPECT_EQ(window.ReferenceCount(), 7);
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].startsWith(QString::fromUtf8(text::AnalysisTooManyReferences)));
    EXPECT_TRUE(dialogs.errors[0].contains(nine[7]));
    EXPECT_EQ(Plot("spectrumPlot")->graphCount(), 8);
}

TEST_F(ReferenceTest, AReferenceFileIsNeverSavedOver)
{
    const QString ref = Capture("quiet.csv", 0, 20.0, 2);
    ASSERT_TRUE(window.AddReference(ref));
    QFile f(ref);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray before = f.readAll();
    f.close();
    dialogs.saves = {dir.filePath("quiet")}; // the CSV button adds ".csv"
    Button("saveSpectrum")->click();
    EXPECT_EQ(dialogs.errors,
              QStringList{QString::fromUtf8(text::AnalysisSaveOverSource) + "\n" + ref});
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before);
}

TEST_F(ReferenceTest, ReportButtonWritesThePdfOfAllRuns)
{
    // A span from the viewer: its capture's board and start go into the settings.
    window.SetCodes(Noise(2000, 40.0, 1), {}, 1000.0, 1, QString::fromUtf8("記録: x.csv CH0"), {},
                    {"MIRANTOS 1.10", "2026-12-07T23:50:29Z", false});
    ASSERT_TRUE(window.AddReference(Capture("quiet.csv", 0, 20.0, 2)));
    window.findChild<QComboBox*>("window")->setCurrentIndex(1); // Hann
    // Cancelling the title question writes nothing and asks for no file.
    dialogs.saves = {dir.filePath("report")};
    Button("saveReport")->click();
    EXPECT_FALSE(QFile::exists(dir.filePath("report.pdf")));
    ASSERT_EQ(dialogs.saves.size(), 1u);
    dialogs.details = {
        {QString::fromUtf8("受入試験 S/N 0042"), QString::fromUtf8("シールド箱内、室温 23 °C")}};
    Button("saveReport")->click();
    EXPECT_EQ(dialogs.titlesOffered,
              QStringList(2, QString::fromUtf8(text::ReportTitle))); // the default offered
    EXPECT_TRUE(dialogs.errors.isEmpty());
    QFile pdf(dir.filePath("report.pdf"));
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(pdf.readAll().startsWith("%PDF-"));
    // Both runs are in it, by their labels (pdftotext from poppler-utils).
    const QString pdftotext = QStandardPaths::findExecutable("pdftotext");
    ASSERT_FALSE(pdftotext.isEmpty()) << "install poppler-utils (scripts/install-deps)";
    QProcess p;
    p.start(pdftotext, {"-enc", "UTF-8", pdf.fileName(), "-"});
    ASSERT_TRUE(p.waitForFinished(30000));
    const QString text = QString::fromUtf8(p.readAllStandardOutput());
    EXPECT_TRUE(text.contains(QString::fromUtf8("記録: x.csv CH0"))) << text.toStdString();
    EXPECT_TRUE(text.contains("quiet")) << text.toStdString();
    // The title and notes typed, the board and start of the span's capture,
    // and how the figures were taken: window, segment, RBW = ENBW fs / L, band.
    const analysis::TSpectrum& sp = window.Figures()->spectrum;
    const double enbw = analysis::EnbwBins(sp.window, sp.segment);
    EXPECT_NEAR(enbw, 1.5, 0.001); // Hann
    const QString rbw = QString::fromStdString(analysis::GeneralText(enbw * sp.dfHz, 4)) + " Hz";
    for (const QString& want :
         {QString::fromUtf8("受入試験 S/N 0042"), QString::fromUtf8("シールド箱内、室温 23 °C"),
          QString("MIRANTOS 1.10"), QString("2026-12-07T23:50:29Z"), QString::fromUtf8("ハン"),
          QString::fromUtf8("セグメント長"), QString::number(sp.segment),
          QString::fromUtf8("分解能帯域幅 (RBW)"), rbw, QString::fromUtf8("1.500 ビン"),
          QString("500 Hz")})
        EXPECT_TRUE(text.contains(want)) << want.toStdString() << "\n" << text.toStdString();
    // A folder that does not exist: the error box.
    dialogs.saves = {dir.filePath("missing/report.pdf")};
    dialogs.details = {{QString(), QString()}};
    Button("saveReport")->click();
    EXPECT_EQ(dialogs.errors.size(), 1);
}

// On a full HD screen the table shows two references' columns without a
// sideways scroll, and the list shows each file by its curves' colour.
TEST_F(ReferenceTest, TableFitsAcrossAtFullHdAndTheListShowsEachRunsColour)
{
    window.resize(1920, 1040);
    window.show();
    dialogs.opens = {{Capture("quiet.csv", 0, 20.0, 2), Dta("loud.DTA", 90.0, 3)}};
    Button("addReference")->click();
    ASSERT_EQ(window.ReferenceCount(), 2);
    QApplication::processEvents();
    QTableWidget* t = Table();
    ASSERT_TRUE(t->isVisible());
    EXPECT_EQ(t->horizontalScrollBar()->maximum(), 0);
    auto* list = window.findChild<QListWidget*>("references");
    ASSERT_EQ(list->count(), 2);
    for (int i = 0; i < 2; ++i) {
        const QImage swatch = list->item(i)->icon().pixmap(14, 14).toImage();
        EXPECT_EQ(swatch.pixel(7, 7), ComparisonColor(i + 1)) << i;
    }
}
