// The noise analysis window's comparison: reference files beside the current data,
// their table, overlaid plots and the PDF report.
#include "NoiseAnalysisWindow.h"

#include "NoiseAnalysisText.h"

#include "AnalysisTexts.h"
#include "ComparisonPdf.h"
#include "ComparisonPlots.h"
#include "MeasureRecord.h"
#include "MeasureSession.h"
#include "NoiseReport.h"
#include "SampleFile.h"
#include "Texts.h"
#include "UiFont.h"
#include "WholeFile.h"
#include <QBuffer>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScopeGuard>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <qcustomplot.h>

namespace mirantos {

namespace analysisview {

namespace {

QString Signed(double v, int decimals)
{
    return (v >= 0 ? QString("+") : QString()) + Fixed(v, decimals);
}

QString PercentAndDb(const std::optional<double>& pct, const std::optional<double>& db)
{
    const QString none = QString::fromUtf8("—");
    return (pct ? Signed(*pct, 2) + " %" : none) + Utf8(text::Separator) +
           (db ? Signed(*db, 2) + " dB" : none);
}

constexpr size_t kComparisonRowCount = std::size(kComparisonRows);

std::array<QString, kComparisonRowCount> ComparisonTexts(const analysis::TRunFigures& run,
                                                         const analysis::TDifference* d)
{
    const analysis::TNoiseFigures& f = run.noise;
    std::array<QString, kComparisonRowCount> t = {
        QString::number(f.samples),
        QString::number(f.rateSps, 'g', 10) + Utf8(text::AnalysisUnitSps),
        Microvolts(f.rmsUv, 5),
        Microvolts(f.ppUv, 5),
        Fixed(f.effectiveBits, 2) + Utf8(text::AnalysisUnitBits),
        Fixed(f.noiseFreeBits, 2) + Utf8(text::AnalysisUnitBits),
        QString::number(f.nsdMedianNv, 'g', 4) + Utf8(text::AnalysisUnitDensity),
    };
    if (d != nullptr) {
        t[7] = PercentAndDb(d->rmsPct, d->rmsDb);
        t[8] = PercentAndDb(d->ppPct, d->ppDb);
        t[9] = d->nsdMedianDb ? Signed(*d->nsdMedianDb, 2) + " dB" : QString::fromUtf8("—");
        t[10] = Signed(d->effectiveBits, 2) + Utf8(text::AnalysisUnitBits);
        t[11] = Signed(d->noiseFreeBits, 2) + Utf8(text::AnalysisUnitBits);
        t[12] = Utf8(d->bandwidthDiffers ? text::AnalysisBandwidthDiffers
                                         : text::AnalysisBandwidthSame);
    }
    return t;
}

} // namespace

// Histograms of different lengths and widths compare only as probability
// densities: count / (N * bin width), per code or per microvolt.
void OverlayHistograms(QCustomPlot& plot, const std::vector<analysis::TRunFigures>& runs,
                       bool voltMode)
{
    ClearNoisePlot(plot);
    plot.xAxis->setLabel(Utf8(voltMode ? text::AnalysisAxisMicrovolt : text::AnalysisAxisCode));
    plot.yAxis->setLabel(Utf8(text::AnalysisProbabilityDensity));
    for (size_t r = 0; r < runs.size(); ++r) {
        const auto [keys, values] = HistogramDensityPoints(runs[r].noise, voltMode);
        QCPGraph* g = AddRunGraph(plot, runs[r], static_cast<int>(r), 1.5);
        g->setLineStyle(QCPGraph::lsStepCenter);
        g->setData(keys, values, true);
    }
    plot.rescaleAxes();
    plot.legend->setVisible(true);
}

void OverlaySpectra(QCustomPlot& plot, const std::vector<analysis::TRunFigures>& runs)
{
    ClearNoisePlot(plot);
    for (size_t r = 0; r < runs.size(); ++r) {
        const auto [keys, values] = DensityPoints(runs[r].noise.spectrum);
        AddRunGraph(plot, runs[r], static_cast<int>(r), 1.5)->setData(keys, values, true);
    }
    plot.rescaleAxes();
    plot.legend->setVisible(true);
}

void OverlayAllan(QCustomPlot& plot, const std::vector<analysis::TRunFigures>& runs)
{
    ClearNoisePlot(plot);
    for (size_t r = 0; r < runs.size(); ++r) {
        const auto [keys, values] = AllanPoints(runs[r].low);
        QCPGraph* g = AddRunGraph(plot, runs[r], static_cast<int>(r), 1.5);
        g->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCircle, 5));
        g->setData(keys, values, true);
    }
    plot.rescaleAxes();
    plot.legend->setVisible(true);
}

} // namespace analysisview

using namespace analysisview;

bool TNoiseAnalysisWindow::AddReference(const QString& path)
{
    if (!analysed_) {
        ShowError(Utf8(text::AnalysisNoData) + "\n" + path);
        return false;
    }
    if (references_.size() + 1 >= static_cast<size_t>(analysis::kMaxComparedRuns)) {
        ShowError(Utf8(text::AnalysisTooManyReferences) + "\n" + path);
        return false;
    }
    TSampleSet samples;
    std::vector<std::string> warnings;
    std::string error;
    if (ReadSampleFile(QFile::encodeName(path).toStdString(), kBoardGain, samples, warnings,
                       error) != TSampleLoad::Ok) {
        ShowError(Utf8(text::AnalysisReferenceReadError) + "\n" + path +
                  (error.empty() ? QString() : "\n" + QString::fromStdString(error)));
        return false;
    }
    TReference ref;
    ref.path = path;
    ref.codes = {std::move(samples.ch0), std::move(samples.ch1)};
    ref.rateSps = samples.rateSps;
    ref.gain = samples.gain;
    ref.settings.rateIndex = samples.rateIndex;
    ref.settings.sinc5 = samples.sinc5;
    ref.settings.chSel = samples.chSel;
    ref.settings.startUtc = samples.startUtc;
    ref.settings.board = samples.board;
    ref.settings.simulated = samples.simulated;
    if (ref.codes[static_cast<size_t>(channel_)].empty()) {
        ShowError(Utf8(text::AnalysisReferenceNoChannel) + "\n" + path);
        return false;
    }
    references_.push_back(std::move(ref));
    if (!AnalyseReference(references_.size() - 1)) {
        references_.pop_back();
        ShowError(Utf8(text::AnalysisReferenceTooFew) + "\n" + path);
        return false;
    }
    ShowReferences();
    return true;
}

void TNoiseAnalysisWindow::RemoveReference(int index)
{
    if (index < 0 || index >= ReferenceCount())
        return;
    references_.erase(references_.begin() + index);
    if (analysed_) {
        // The plain plots again when the last reference goes.
        ShowFigures();
        ShowLowFrequencyFigures();
    }
    ShowReferences();
}

bool TNoiseAnalysisWindow::AnalyseReference(size_t i)
{
    TReference& ref = references_[i];
    ref.analysed = false;
    if (channel_ < 0)
        return false;
    const std::vector<uint32_t>& codes = ref.codes[static_cast<size_t>(channel_)];
    if (codes.size() < static_cast<size_t>(analysis::kMinSamples))
        return false;
    analysis::TAnalysisOptions options;
    options.window = static_cast<analysis::TWindow>(windowBox_->currentData().toInt());
    options.segment = segmentBox_->currentData().toInt();
    // The segment chosen for the current data may be longer than a reference.
    if (options.segment > static_cast<int>(codes.size()))
        options.segment = analysis::DefaultSegment(static_cast<int>(codes.size()));
    if (!analysis::Analyze(codes, ref.rateSps, ref.gain, options, ref.noise))
        return false;
    if (ref.settings.channel != channel_ || ref.low.allan.empty()) {
        ref.low = analysis::ComputeLowFrequency(codes, ref.rateSps, ref.gain);
        ref.settings.channel = channel_;
    }
    ref.settings.samples = static_cast<int64_t>(codes.size());
    ref.analysed = true;
    return true;
}

std::vector<analysis::TRunFigures> TNoiseAnalysisWindow::Runs() const
{
    std::vector<analysis::TRunFigures> runs;
    if (!analysed_)
        return runs;
    analysis::TRunFigures current;
    current.label = (Source().isEmpty() ? Utf8(text::AnalysisCurrentData) : Source()).toStdString();
    current.settings = current_;
    current.settings.channel = channel_;
    current.settings.chSel = held_[0] && held_[1] ? 2 : channel_;
    current.settings.samples = figures_.samples;
    current.noise = figures_;
    current.low = lowFrequency_;
    runs.push_back(std::move(current));
    for (const TReference& ref : references_) {
        if (!ref.analysed)
            continue;
        analysis::TRunFigures run;
        run.label = QFileInfo(ref.path).completeBaseName().toStdString();
        run.path = QFile::encodeName(ref.path).toStdString();
        run.settings = ref.settings;
        run.noise = ref.noise;
        run.low = ref.low;
        runs.push_back(std::move(run));
    }
    return runs;
}

void TNoiseAnalysisWindow::ShowReferences()
{
    const int row = referenceList_->currentRow();
    referenceList_->clear();
    for (const TReference& ref : references_)
        referenceList_->addItem(QFileInfo(ref.path).fileName());
    referenceList_->setCurrentRow(std::min(row, ReferenceCount() - 1));
    removeReference_->setEnabled(referenceList_->currentRow() >= 0);

    const std::vector<analysis::TRunFigures> runs = Runs();
    comparison_->setVisible(runs.size() > 1);
    if (runs.size() <= 1) {
        histogram_->yAxis->setLabel(Utf8(text::AnalysisAxisCount));
        return;
    }
    const std::vector<analysis::TDifference> differences = analysis::DifferencesToFirst(runs);
    comparison_->setColumnCount(static_cast<int>(runs.size()));
    QStringList labels;
    for (size_t r = 0; r < runs.size(); ++r) {
        labels << QString::fromStdString(runs[r].label);
        const auto texts = ComparisonTexts(
            runs[r], r == 0 || r - 1 >= differences.size() ? nullptr : &differences[r - 1]);
        for (size_t i = 0; i < texts.size(); ++i)
            comparison_->setItem(static_cast<int>(i), static_cast<int>(r),
                                 new QTableWidgetItem(texts[i]));
    }
    comparison_->setHorizontalHeaderLabels(labels);
    comparison_->resizeColumnsToContents();
    OverlayHistograms(*histogram_, runs, voltMode_);
    OverlaySpectra(*spectrum_, runs);
    OverlayAllan(*allan_, runs);
    for (QCustomPlot* p : {histogram_, spectrum_, allan_})
        p->replot();
}

bool TNoiseAnalysisWindow::SaveReport(const QString& path, std::string* error) const
{
    const std::vector<analysis::TRunFigures> runs = Runs();
    if (runs.empty())
        return false;
    TReportOptions options;
    options.voltMode = voltMode_;
    QByteArray bytes;
    if (!WriteComparisonPdf(runs, options, &bytes))
        return false;
    return WriteFileWhole(QFile::encodeName(path).toStdString(),
                          std::string_view(bytes.constData(), bytes.size()), error);
}

bool TNoiseAnalysisWindow::IsAnalysedFile(const QString& path) const
{
    const std::string name = QFile::encodeName(path).toStdString();
    auto same = [&name](const QString& held) {
        return !held.isEmpty() && SameFile(name, QFile::encodeName(held).toStdString());
    };
    return same(file_) || std::any_of(references_.begin(), references_.end(),
                                      [&same](const TReference& r) { return same(r.path); });
}

void TNoiseAnalysisWindow::AskAndAddReferences()
{
    ++dialogDepth_;
    const auto done = qScopeGuard([this] { --dialogDepth_; });
    QStringList names;
    if (!dialogs_->OpenFileNames(this, Utf8(text::AnalysisReferenceFilter), &names))
        return;
    for (const QString& name : names) {
        // One message for the files beyond the last place, not one each.
        if (!AddReference(name) &&
            references_.size() + 1 >= static_cast<size_t>(analysis::kMaxComparedRuns))
            break;
    }
}

} // namespace mirantos
