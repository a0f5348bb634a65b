#include "ComparisonPanel.h"

#include "NoiseAnalysisText.h"

#include "AnalysisTexts.h"
#include "ComparisonPlots.h"
#include "MeasureSession.h"
#include "SampleFile.h"
#include "WholeFile.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace mirantos {

using namespace analysisview;

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

// A square of the run's overlay colour, framed so a light colour still shows.
QIcon Swatch(int run)
{
    QPixmap pixmap(14, 14);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setPen(QColor(90, 90, 90));
    p.setBrush(QColor(ComparisonColor(run)));
    p.drawRect(0, 0, 13, 13);
    return QIcon(pixmap);
}

} // namespace

TComparisonPanel::TComparisonPanel(QWidget* parent) : QWidget(parent)
{
    list_ = new QListWidget(this);
    list_->setObjectName("references");
    list_->setMinimumHeight(60);
    // File names beyond this scroll: the table needs the width more.
    list_->setMaximumWidth(280);
    remove_ = new QPushButton(Utf8(text::AnalysisRemoveReference), this);
    remove_->setObjectName("removeReference");
    table_ = new QTableWidget(this);
    table_->setObjectName("comparison");
    table_->setRowCount(static_cast<int>(kComparisonRowCount));
    QStringList rows;
    for (int i = 0; i < static_cast<int>(kComparisonRowCount); ++i)
        rows << (i < kComparisonFigureRows ? Utf8(kComparisonRows[i])
                                           : Utf8(kComparisonRows[i]) + Utf8(text::Separator) +
                                                 Utf8(text::AnalysisDifference));
    table_->setVerticalHeaderLabels(rows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);

    auto* head = new QHBoxLayout;
    head->addWidget(new QLabel(Utf8(text::AnalysisReferences), this));
    head->addStretch(1);
    head->addWidget(remove_);
    auto* references = new QVBoxLayout;
    references->addLayout(head);
    references->addWidget(list_, 1);
    // The list beside the table: the table gets the panel's whole height.
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(references, 0);
    layout->addWidget(table_, 1);

    connect(remove_, &QPushButton::clicked, this,
            [this] { emit RemoveClicked(list_->currentRow()); });
    connect(list_, &QListWidget::currentRowChanged, this,
            [this](int row) { remove_->setEnabled(row >= 0); });
}

bool TComparisonPanel::Full() const
{
    return references_.size() + 1 >= static_cast<size_t>(analysis::kMaxComparedRuns);
}

bool TComparisonPanel::Add(const QString& path, int channel,
                           const analysis::TAnalysisOptions& options, QString* error)
{
    auto fail = [&](const char* why, const QString& detail = {}) {
        *error = Utf8(why) + "\n" + path + (detail.isEmpty() ? QString() : "\n" + detail);
        return false;
    };
    if (Full())
        return fail(text::AnalysisTooManyReferences);
    TSampleSet samples;
    std::vector<std::string> warnings;
    std::string readError;
    if (ReadSampleFile(QFile::encodeName(path).toStdString(), kBoardGain, samples, warnings,
                       readError) != TSampleLoad::Ok)
        return fail(text::AnalysisReferenceReadError, QString::fromStdString(readError));
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
    if (ref.codes[static_cast<size_t>(channel)].empty())
        return fail(text::AnalysisReferenceNoChannel);
    if (!Analyse(ref, channel, options))
        return fail(text::AnalysisReferenceTooFew);
    references_.push_back(std::move(ref));
    return true;
}

void TComparisonPanel::Remove(int index)
{
    if (index >= 0 && index < Count())
        references_.erase(references_.begin() + index);
}

void TComparisonPanel::AnalyseAll(int channel, const analysis::TAnalysisOptions& options)
{
    for (TReference& ref : references_)
        Analyse(ref, channel, options);
}

bool TComparisonPanel::Analyse(TReference& ref, int channel,
                               analysis::TAnalysisOptions options) const
{
    ref.analysed = false;
    if (channel < 0)
        return false;
    const std::vector<uint32_t>& codes = ref.codes[static_cast<size_t>(channel)];
    if (codes.size() < static_cast<size_t>(analysis::kMinSamples))
        return false;
    // The segment chosen for the current data may be longer than a reference,
    // and its band may reach above a slower reference's half rate.
    if (options.segment > static_cast<int>(codes.size()))
        options.segment = analysis::DefaultSegment(static_cast<int>(codes.size()));
    if (options.bandHighHz && *options.bandHighHz > ref.rateSps / 2.0)
        options.bandHighHz = ref.rateSps / 2.0;
    if (options.bandLowHz && options.bandHighHz && *options.bandLowHz > *options.bandHighHz)
        options.bandLowHz = options.bandHighHz;
    if (!analysis::Analyze(codes, ref.rateSps, ref.gain, options, ref.noise))
        return false;
    if (ref.settings.channel != channel || ref.low.allan.empty()) {
        ref.low = analysis::ComputeLowFrequency(codes, ref.rateSps, ref.gain);
        ref.settings.channel = channel;
    }
    ref.settings.samples = static_cast<int64_t>(codes.size());
    ref.analysed = true;
    return true;
}

void TComparisonPanel::AppendRuns(std::vector<analysis::TRunFigures>& runs) const
{
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
}

void TComparisonPanel::AppendSine(std::vector<analysis::TRunFigures>& runs, int channel,
                                  const analysis::TSineOptions& options) const
{
    size_t next = 1;
    for (const TReference& ref : references_) {
        if (!ref.analysed || next >= runs.size())
            continue;
        const std::vector<uint32_t>& codes = ref.codes[static_cast<size_t>(channel)];
        analysis::TSineResult result;
        result.figures =
            analysis::AnalyzeSine(codes, ref.rateSps, ref.gain, options, &result.reason);
        runs[next++].sine = std::move(result);
    }
}

bool TComparisonPanel::HoldsFile(const std::string& name) const
{
    return std::any_of(references_.begin(), references_.end(), [&name](const TReference& r) {
        return SameFile(name, QFile::encodeName(r.path).toStdString());
    });
}

void TComparisonPanel::Show(const std::vector<analysis::TRunFigures>& runs)
{
    const int row = list_->currentRow();
    list_->clear();
    // Each reference by the colour of its curves: runs are numbered from the
    // current data's 0 over the analysed references only.
    int run = 1;
    for (const TReference& ref : references_) {
        auto* item = new QListWidgetItem(QFileInfo(ref.path).fileName(), list_);
        if (ref.analysed && !runs.empty())
            item->setIcon(Swatch(run++));
    }
    list_->setCurrentRow(std::min(row, Count() - 1));
    remove_->setEnabled(list_->currentRow() >= 0);

    table_->setVisible(runs.size() > 1);
    if (runs.size() <= 1)
        return;
    const std::vector<analysis::TDifference> differences = analysis::DifferencesToFirst(runs);
    table_->setColumnCount(static_cast<int>(runs.size()));
    for (size_t r = 0; r < runs.size(); ++r) {
        auto* header = new QTableWidgetItem(QString::fromStdString(runs[r].label));
        header->setIcon(Swatch(static_cast<int>(r)));
        table_->setHorizontalHeaderItem(static_cast<int>(r), header);
        const auto texts = ComparisonTexts(
            runs[r], r == 0 || r - 1 >= differences.size() ? nullptr : &differences[r - 1]);
        for (size_t i = 0; i < texts.size(); ++i)
            table_->setItem(static_cast<int>(i), static_cast<int>(r),
                            new QTableWidgetItem(texts[i]));
    }
    table_->resizeColumnsToContents();
}

} // namespace mirantos

namespace mirantos {

int TComparisonPanel::NeededHeight() const
{
    return table_->horizontalHeader()->sizeHint().height() + table_->verticalHeader()->length() +
           2 * table_->frameWidth() + table_->horizontalScrollBar()->sizeHint().height();
}

} // namespace mirantos
