#include "NoiseAnalysisWindow.h"

#include "NoiseAnalysisText.h"

#include "AnalysisTexts.h"
#include "ComparisonPanel.h"
#include "ComparisonPdf.h"
#include "ComparisonPlots.h"
#include "MeasureRecord.h"
#include "MeasureSession.h"
#include "NoisePicture.h"
#include "NoisePlotPanel.h"
#include "NoiseReport.h"
#include "SampleFile.h"
#include "SinePanel.h"
#include "SineTexts.h"
#include "Texts.h"
#include "UiFont.h"
#include "WholeFile.h"
#include "WindowFit.h"

#include <qcustomplot.h>

#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace mirantos {

using namespace analysisview;

namespace {

// The rows of figures, in the order shown; the object name of each value
// label is "value_" followed by the key.
struct TRow {
    const char* key;
    const char* label;
};
constexpr TRow kRows[] = {
    {"samples", text::AnalysisSamples},
    {"rate", text::AnalysisRate},
    {"mean", text::AnalysisMean},
    {"rms", text::AnalysisRms},
    {"pp", text::AnalysisPeakToPeak},
    {"max", text::AnalysisMaximum},
    {"min", text::AnalysisMinimum},
    {"effective_bits", text::AnalysisEffectiveBits},
    {"noise_free_bits", text::AnalysisNoiseFreeBits},
    {"bin_width", text::AnalysisBinWidth},
    {"segments", text::AnalysisSegments},
    {"median_density", text::AnalysisMedianDensity},
    {"band_rms", text::AnalysisBandRms},
};
constexpr int kRowCount = static_cast<int>(std::size(kRows));
// Then the low-frequency rows, in the order of LowFrequencyValueTexts.
constexpr TRow kLowFrequencyRows[] = {
    {"drift", text::AnalysisDrift},
    {"lf_pp_median", text::AnalysisLfPpMedian},
    {"lf_pp_max", text::AnalysisLfPpMax},
    {"lf_rms", text::AnalysisLfRms},
};

QString Both(const QString& codes, const QString& microvolts)
{
    return codes + Utf8(text::Separator) + microvolts;
}

QString Hz(double v)
{
    return QString::number(v, 'g', 10) + Utf8(text::AnalysisUnitHz);
}

// The library's reasons in the window's language; another one as it comes.
QString Reason(const std::string& reason)
{
    if (reason == analysis::kLfReasonRate)
        return Utf8(text::AnalysisLfNeedsRate);
    if (reason == analysis::kLfReasonLength)
        return Utf8(text::AnalysisLfNeedsLength);
    return QString::fromStdString(reason);
}

// The size the window opens at where the screen has room.
constexpr QSize kWantedSize(1400, 900);

} // namespace

std::array<QString, 4> LowFrequencyValueTexts(const analysis::TLowFrequencyFigures& lf)
{
    const QString drift = lf.slopeUvPerH ? Fixed(*lf.slopeUvPerH, 3) + Utf8(text::AnalysisUnitDrift)
                                         : Utf8(text::AnalysisLfUndefined) + Reason(lf.slopeReason);
    if (!lf.lf) {
        const QString why = Utf8(text::AnalysisLfUndefined) + Reason(lf.lfReason);
        return {drift, why, why, why};
    }
    const analysis::TLowFrequencyNoise& n = *lf.lf;
    return {drift,
            Microvolts(n.ppUvMedian, 3) + " (" + QString::number(n.intervals) +
                Utf8(text::AnalysisLfIntervals) + ")",
            Microvolts(n.ppUvMax, 3), Microvolts(n.rmsUv, 4)};
}

TNoiseAnalysisWindow::TNoiseAnalysisWindow(QWidget* parent, IAnalysisDialogs* dialogs)
    : QWidget(parent, Qt::Window)
{
    if (dialogs == nullptr) {
        ownDialogs_ = std::make_unique<TAnalysisDialogs>();
        dialogs = ownDialogs_.get();
    }
    dialogs_ = dialogs;

    setWindowTitle(Utf8(text::AnalysisTitle));
    setWindowModality(Qt::NonModal);
    setFont(UiFont(WindowFontPixels));

    auto* choices = new QHBoxLayout;
    channelLabel_ = new QLabel(Utf8(text::AnalysisChannel), this);
    channelBox_ = new QComboBox(this);
    channelBox_->setObjectName("channel");
    channelBox_->addItem(Utf8(text::Channel) + "0", 0);
    channelBox_->addItem(Utf8(text::Channel) + "1", 1);
    windowBox_ = new QComboBox(this);
    windowBox_->setObjectName("window");
    windowBox_->addItem(Utf8(text::AnalysisWindowBlackmanHarris),
                        static_cast<int>(analysis::TWindow::BlackmanHarris));
    windowBox_->addItem(Utf8(text::AnalysisWindowHann), static_cast<int>(analysis::TWindow::Hann));
    windowBox_->addItem(Utf8(text::AnalysisWindowRect), static_cast<int>(analysis::TWindow::Rect));
    segmentBox_ = new QComboBox(this);
    segmentBox_->setObjectName("segment");
    // The channel is both pages'; window, segment and band are the noise page's.
    auto* channel = new QHBoxLayout;
    channel->addWidget(channelLabel_);
    channel->addWidget(channelBox_);
    channel->addStretch(1);
    choices->addWidget(new QLabel(Utf8(text::AnalysisWindow), this));
    choices->addWidget(windowBox_);
    choices->addSpacing(16);
    choices->addWidget(new QLabel(Utf8(text::AnalysisSegment), this));
    choices->addWidget(segmentBox_);
    choices->addSpacing(16);
    choices->addWidget(new QLabel(Utf8(text::AnalysisBand), this));
    band_ = new QLineEdit(this);
    band_->setObjectName("band");
    band_->setClearButtonEnabled(true);
    band_->setMinimumWidth(band_->fontMetrics().horizontalAdvance("0000.000:0000.000"));
    choices->addWidget(band_);
    choices->addStretch(1);

    // The figures scroll on a short screen rather than push the plots off it.
    auto* figuresPanel = new QWidget;
    auto* figures = new QGridLayout(figuresPanel);
    for (int i = 0; i < kRowCount; ++i) {
        figures->addWidget(new QLabel(Utf8(kRows[i].label), figuresPanel), i, 0);
        auto* value = new QLabel(figuresPanel);
        value->setObjectName(QString("value_") + kRows[i].key);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        figures->addWidget(value, i, 1);
        values_.push_back(value);
    }
    for (int i = 0; i < static_cast<int>(std::size(kLowFrequencyRows)); ++i) {
        const TRow& row = kLowFrequencyRows[i];
        figures->addWidget(new QLabel(Utf8(row.label), figuresPanel), kRowCount + i, 0);
        auto* value = new QLabel(figuresPanel);
        value->setObjectName(QString("value_") + row.key);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        value->setWordWrap(true);
        figures->addWidget(value, kRowCount + i, 1);
        values_.push_back(value);
    }
    figures->setRowStretch(kRowCount + static_cast<int>(std::size(kLowFrequencyRows)), 1);
    figures->setColumnMinimumWidth(1, 260);
    auto* figuresScroll = new QScrollArea(this);
    figuresScroll->setObjectName("figures");
    figuresScroll->setWidget(figuresPanel);
    figuresScroll->setWidgetResizable(true);
    figuresScroll->setFrameShape(QFrame::NoFrame);
    figuresScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    figuresScroll->setMinimumWidth(figuresPanel->minimumSizeHint().width() +
                                   figuresScroll->verticalScrollBar()->sizeHint().width());

    // The plots and the comparison share the height; the table gets the
    // room its rows need when references come.
    plots_ = new TNoisePlotPanel(this);
    comparison_ = new TComparisonPanel(this);
    comparison_->setVisible(false);
    split_ = new QSplitter(Qt::Vertical, this);
    split_->setObjectName("comparisonSplitter");
    split_->setChildrenCollapsible(false);
    split_->addWidget(plots_);
    split_->addWidget(comparison_);
    split_->setStretchFactor(0, 1);
    split_->setStretchFactor(1, 0);

    auto* noisePage = new QWidget(this);
    auto* noiseLayout = new QVBoxLayout(noisePage);
    noiseLayout->addLayout(choices);
    auto* body = new QHBoxLayout;
    body->addWidget(figuresScroll, 0);
    body->addWidget(split_, 1);
    noiseLayout->addLayout(body, 1);
    // The sine-wave test of the same channel on a page of its own.
    sine_ = new TSinePanel(this);
    sine_->setObjectName("sinePage");
    pages_ = new QTabWidget(this);
    pages_->setObjectName("pages");
    pages_->addTab(noisePage, Utf8(text::NoisePage));
    pages_->addTab(sine_, Utf8(text::SinePage));

    message_ = new QLabel(this);
    message_->setObjectName("message");
    // A long message wraps instead of widening the window.
    message_->setWordWrap(true);
    message_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    savePicture_ = new QPushButton(Utf8(text::AnalysisSavePicture), this);
    savePicture_->setObjectName("savePicture");
    saveHistogram_ = new QPushButton(Utf8(text::AnalysisSaveHistogram), this);
    saveHistogram_->setObjectName("saveHistogram");
    saveSpectrum_ = new QPushButton(Utf8(text::AnalysisSaveSpectrum), this);
    saveSpectrum_->setObjectName("saveSpectrum");
    addReference_ = new QPushButton(Utf8(text::AnalysisAddReference), this);
    addReference_->setObjectName("addReference");
    saveReport_ = new QPushButton(Utf8(text::AnalysisSaveReport), this);
    saveReport_->setObjectName("saveReport");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(message_, 1);
    buttons->addWidget(savePicture_);
    buttons->addWidget(saveHistogram_);
    buttons->addWidget(saveSpectrum_);
    buttons->addWidget(addReference_);
    buttons->addWidget(saveReport_);

    source_ = new QLabel(this);
    source_->setObjectName("source");
    source_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    source_->setVisible(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(source_);
    layout->addLayout(channel);
    layout->addWidget(pages_, 1);
    layout->addLayout(buttons);

    connect(channelBox_, &QComboBox::activated, this,
            [this](int index) { SelectChannel(channelBox_->itemData(index).toInt()); });
    connect(windowBox_, &QComboBox::currentIndexChanged, this, [this] { Analyse(); });
    connect(segmentBox_, &QComboBox::activated, this, [this] { Analyse(); });
    connect(savePicture_, &QPushButton::clicked, this, [this] {
        if (SinePageShown())
            AskAndSave(text::AnalysisPngFilter, "sine.png", "png",
                       &TNoiseAnalysisWindow::SaveSinePicture);
        else
            AskAndSave(text::AnalysisPngFilter, "noise.png", "png",
                       &TNoiseAnalysisWindow::SavePicture);
    });
    connect(saveHistogram_, &QPushButton::clicked, this, [this] {
        AskAndSave(text::AnalysisCsvFilter, "histogram.csv", "csv",
                   &TNoiseAnalysisWindow::SaveHistogramCsv);
    });
    connect(saveSpectrum_, &QPushButton::clicked, this, [this] {
        if (SinePageShown())
            AskAndSave(text::AnalysisCsvFilter, "sine-spectrum.csv", "csv",
                       &TNoiseAnalysisWindow::SaveSineCsv);
        else
            AskAndSave(text::AnalysisCsvFilter, "spectrum.csv", "csv",
                       &TNoiseAnalysisWindow::SaveSpectrumCsv);
    });
    connect(pages_, &QTabWidget::currentChanged, this, [this] { UpdateSaveButtons(); });
    connect(sine_, &TSinePanel::Changed, this, [this] { UpdateSaveButtons(); });

    connect(addReference_, &QPushButton::clicked, this, [this] { AskAndAddReferences(); });
    connect(saveReport_, &QPushButton::clicked, this, [this] { AskAndSaveReport(); });
    connect(comparison_, &TComparisonPanel::RemoveClicked, this,
            [this](int index) { RemoveReference(index); });

    connect(band_, &QLineEdit::editingFinished, this, [this] { TakeBand(); });

    ClearDataSet();

    // Open at a size that fits the screen, frame included.
    setMinimumSize(minimumSizeHint());
    const QRect available = screen() != nullptr ? screen()->availableGeometry() : QRect();
    const QSize size = available.isEmpty()
                           ? kWantedSize
                           : FitWindowSize(kWantedSize, minimumSize(), available.size());
    resize(size);
    if (!available.isEmpty())
        move(CentredIn(size, available));
}

TNoiseAnalysisWindow::~TNoiseAnalysisWindow() = default;

void TNoiseAnalysisWindow::SetDataSet(const TMeasureRecord& record, double rateSps, int gain,
                                      const QString& file)
{
    const TChannelData* channels[2] = {&record.Ch0, &record.Ch1};
    const uint8_t flags[2] = {record.fCh0Valid, record.fCh1Valid};
    for (int c = 0; c < 2; ++c) {
        const int n = flags[c] != 0 ? UsableCount(*channels[c]) : 0;
        codes_[static_cast<size_t>(c)].assign(channels[c]->Code, channels[c]->Code + n);
    }
    source_->clear();
    source_->setVisible(false);
    file_ = file;
    current_ = {};
    current_.rateIndex = record.Setting.spsSel;
    current_.sinc5 = record.Setting.fSinc5 != 0;
    TakeCodes(rateSps, gain);
}

void TNoiseAnalysisWindow::SetCodes(std::vector<uint32_t> ch0, std::vector<uint32_t> ch1,
                                    double rateSps, int gain, const QString& source,
                                    const QString& file, const TCodesOrigin& origin)
{
    codes_[0] = std::move(ch0);
    codes_[1] = std::move(ch1);
    source_->setText(source);
    source_->setVisible(!source.isEmpty());
    file_ = file;
    // Codes from elsewhere come with their rate, not their filter.
    current_ = {};
    current_.filterKnown = false;
    current_.board = origin.board;
    current_.startUtc = origin.startUtc;
    current_.simulated = origin.simulated;
    TakeCodes(rateSps, gain);
}

QString TNoiseAnalysisWindow::Source() const
{
    return source_->text();
}

void TNoiseAnalysisWindow::TakeCodes(double rateSps, int gain)
{
    for (size_t c = 0; c < 2; ++c)
        held_[c] = !codes_[c].empty();
    lowFrequencyStale_ = true;
    rateSps_ = rateSps;
    gain_ = gain;
    // A band above the new data's half rate is not theirs: the whole band again.
    if (bandHigh_ && *bandHigh_ > rateSps / 2) {
        bandLow_.reset();
        bandHigh_.reset();
        band_->clear();
    }
    band_->setPlaceholderText("0:" + QString::number(rateSps / 2, 'g', 10));
    channel_ = held_[0] ? 0 : held_[1] ? 1 : -1;
    const bool both = held_[0] && held_[1];
    channelLabel_->setVisible(both);
    channelBox_->setVisible(both);
    if (channel_ < 0) {
        ClearDataSet();
        return;
    }
    channelBox_->setCurrentIndex(channel_);
    FillSegmentChoices(static_cast<int>(codes_[static_cast<size_t>(channel_)].size()));
    sine_->SetCodes(codes_[static_cast<size_t>(channel_)], rateSps_, gain_);
    Analyse();
}

void TNoiseAnalysisWindow::ClearDataSet()
{
    for (auto& c : codes_)
        c.clear();
    held_ = {false, false};
    channel_ = -1;
    lowFrequencyStale_ = true;
    file_.clear();
    source_->clear();
    source_->setVisible(false);
    channelLabel_->setVisible(false);
    channelBox_->setVisible(false);
    segmentBox_->clear();
    sine_->Clear(Utf8(text::AnalysisNoData));
    ShowEmpty(text::AnalysisNoData);
}

void TNoiseAnalysisWindow::SetVoltMode(bool voltMode)
{
    if (voltMode == voltMode_)
        return;
    voltMode_ = voltMode;
    if (!analysed_)
        return;
    // Only the histogram's axis changes: the table and the other plots stay.
    plots_->ShowHistogramUnit(figures_, Runs(), voltMode_);
}

bool TNoiseAnalysisWindow::HasDataSet() const
{
    return channel_ >= 0;
}

const analysis::TNoiseFigures* TNoiseAnalysisWindow::Figures() const
{
    return analysed_ ? &figures_ : nullptr;
}

const analysis::TLowFrequencyFigures* TNoiseAnalysisWindow::LowFrequency() const
{
    return analysed_ ? &lowFrequency_ : nullptr;
}

int TNoiseAnalysisWindow::Channel() const
{
    return channel_;
}

void TNoiseAnalysisWindow::SelectChannel(int channel)
{
    if (channel < 0 || channel > 1 || !held_[static_cast<size_t>(channel)] || channel == channel_)
        return;
    channel_ = channel;
    lowFrequencyStale_ = true;
    channelBox_->setCurrentIndex(channel);
    FillSegmentChoices(static_cast<int>(codes_[static_cast<size_t>(channel)].size()));
    sine_->SetCodes(codes_[static_cast<size_t>(channel)], rateSps_, gain_);
    Analyse();
}

void TNoiseAnalysisWindow::FillSegmentChoices(int samples)
{
    // Powers of two from 8 up to the record; the choice stays where it still fits.
    const int kept = segmentBox_->currentData().toInt();
    const QSignalBlocker block(segmentBox_);
    segmentBox_->clear();
    for (int l = analysis::kMinSegment; l <= samples && l > 0; l *= 2)
        segmentBox_->addItem(QString::number(l), l);
    int index = kept > 0 ? segmentBox_->findData(kept) : -1;
    if (index < 0)
        index = segmentBox_->findData(analysis::DefaultSegment(samples));
    segmentBox_->setCurrentIndex(index);
}

void TNoiseAnalysisWindow::Analyse()
{
    if (channel_ < 0)
        return;
    const std::vector<uint32_t>& codes = codes_[static_cast<size_t>(channel_)];
    if (codes.size() < static_cast<size_t>(analysis::kMinSamples)) {
        ShowEmpty(text::AnalysisTooFew);
        return;
    }
    analysed_ = analysis::Analyze(codes, rateSps_, gain_, Options(), figures_);
    if (!analysed_) {
        ShowEmpty(text::AnalysisTooFew);
        return;
    }
    if (lowFrequencyStale_) {
        lowFrequency_ = analysis::ComputeLowFrequency(codes, rateSps_, gain_);
        lowFrequencyStale_ = false;
        ShowLowFrequencyFigures();
    }
    ShowFigures();
    comparison_->AnalyseAll(channel_, Options());
    ShowReferences();
}

analysis::TAnalysisOptions TNoiseAnalysisWindow::Options() const
{
    analysis::TAnalysisOptions options;
    options.window = static_cast<analysis::TWindow>(windowBox_->currentData().toInt());
    options.segment = segmentBox_->currentData().toInt();
    options.bandLowHz = bandLow_;
    options.bandHighHz = bandHigh_;
    return options;
}

QString TNoiseAnalysisWindow::BandText() const
{
    if (!bandLow_ || !bandHigh_)
        return {};
    return QString::number(*bandLow_, 'g', 10) + ":" + QString::number(*bandHigh_, 'g', 10);
}

void TNoiseAnalysisWindow::TakeBand()
{
    const QString typed = band_->text().trimmed();
    std::optional<double> low;
    std::optional<double> high;
    if (!typed.isEmpty()) {
        double lo = 0;
        double hi = 0;
        bool fits = analysis::ParseBand(typed.toStdString(), lo, hi);
        if (fits && channel_ >= 0) {
            analysis::TAnalysisOptions options = Options();
            options.bandLowHz = lo;
            options.bandHighHz = hi;
            // The command line's limits: 0 to half the rate, low to high.
            fits = analysis::CheckInput(
                       static_cast<int64_t>(codes_[static_cast<size_t>(channel_)].size()), rateSps_,
                       gain_, options)
                       .empty();
        }
        if (!fits) {
            message_->setText(
                Utf8(text::AnalysisBandInvalid)
                    .arg(rateSps_ > 0 ? QString::number(rateSps_ / 2, 'g', 10) : QString("fs/2")));
            band_->setText(BandText());
            return;
        }
        low = lo;
        high = hi;
    }
    if (low == bandLow_ && high == bandHigh_)
        return;
    bandLow_ = low;
    bandHigh_ = high;
    band_->setText(BandText());
    Analyse();
}

void TNoiseAnalysisWindow::ShowLowFrequencyFigures()
{
    const std::array<QString, 4> texts = LowFrequencyValueTexts(lowFrequency_);
    for (size_t i = 0; i < texts.size(); ++i)
        values_[static_cast<size_t>(kRowCount) + i]->setText(texts[i]);
    plots_->ShowLowFrequency(lowFrequency_, rateSps_);
}

void TNoiseAnalysisWindow::ShowFigures()
{
    const analysis::TNoiseFigures& f = figures_;
    const QString texts[kRowCount] = {
        QString::number(f.samples),
        QString::number(f.rateSps, 'g', 10) + Utf8(text::AnalysisUnitSps),
        Both(Codes(f.meanCode, 3), Microvolts(f.meanUv, 5)),
        Both(Codes(f.rmsCode, 3), Microvolts(f.rmsUv, 5)),
        Both(Codes(f.ppCode, 0), Microvolts(f.ppUv, 5)),
        Both(Codes(f.maxCode, 0), Microvolts(CodeToMicrovolt(f.maxCode, f.gain), 5)),
        Both(Codes(f.minCode, 0), Microvolts(CodeToMicrovolt(f.minCode, f.gain), 5)),
        Fixed(f.effectiveBits, 2) + Utf8(text::AnalysisUnitBits),
        Fixed(f.noiseFreeBits, 2) + Utf8(text::AnalysisUnitBits),
        Codes(static_cast<double>(f.histogram.binWidth), 0),
        QString::number(f.spectrum.segments),
        QString::number(f.nsdMedianNv, 'g', 4) + Utf8(text::AnalysisUnitDensity) +
            (f.spectrum.segments < analysis::kMinMedianSegments
                 ? " (" + Utf8(text::AnalysisFewSegments) + ")"
                 : QString()),
        Microvolts(f.bandRmsUv, 5) + " (" + Utf8(text::AnalysisBandFrom) +
            QString::number(f.bandLowHz, 'g', 10) + Utf8(text::AnalysisBandTo) + Hz(f.bandHighHz) +
            ")",
    };
    for (int i = 0; i < kRowCount; ++i)
        values_[static_cast<size_t>(i)]->setText(texts[i]);
    message_->clear();
    plots_->ShowNoise(f, voltMode_);
    UpdateSaveButtons();
}

bool TNoiseAnalysisWindow::SinePageShown() const
{
    return pages_->currentWidget() == sine_;
}

void TNoiseAnalysisWindow::UpdateSaveButtons()
{
    const bool sine = SinePageShown();
    const bool sineShown = sine_->Figures() != nullptr;
    savePicture_->setEnabled(sine ? sineShown : analysed_);
    saveSpectrum_->setEnabled(sine ? sineShown : analysed_);
    saveHistogram_->setEnabled(!sine && analysed_);
    addReference_->setEnabled(analysed_);
    saveReport_->setEnabled(analysed_);
}

void TNoiseAnalysisWindow::ShowEmpty(const char* message)
{
    analysed_ = false;
    // The low-frequency figures go with the figures: shown again only after a new computation.
    lowFrequencyStale_ = true;
    for (QLabel* v : values_)
        v->clear();
    message_->setText(Utf8(message));
    plots_->Clear(Utf8(message));
    UpdateSaveButtons();
    ShowReferences();
}

} // namespace mirantos
