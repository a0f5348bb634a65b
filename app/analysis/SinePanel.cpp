#include "SinePanel.h"

#include "NoiseAnalysisText.h"
#include "PlotAids.h"
#include "SinePlots.h"
#include "SineText.h"
#include "SineTexts.h"

#include <qcustomplot.h>

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QThread>
#include <QVBoxLayout>

namespace mirantos {

using namespace analysisview;

namespace {

// What a worker hands back.
struct TWorkerResult {
    std::shared_ptr<const analysis::TSineFigures> figures;
    std::string reason;
};

} // namespace

TSinePanel::TSinePanel(QWidget* parent) : QWidget(parent)
{
    window_ = new QComboBox(this);
    window_->setObjectName("sineWindow");
    window_->addItem(Utf8(text::SineWindowBh7), static_cast<int>(analysis::ESineWindow::Bh7));
    window_->addItem(Utf8(text::SineWindowRect), static_cast<int>(analysis::ESineWindow::Rect));
    sideBins_ = new QSpinBox(this);
    sideBins_->setObjectName("sineSideBins");
    sideBins_->setRange(-1, 50);
    sideBins_->setSpecialValueText(Utf8(text::SineSideBinsAuto));
    sideBins_->setValue(-1);
    harmonics_ = new QSpinBox(this);
    harmonics_->setObjectName("sineHarmonics");
    harmonics_->setRange(2, 10);
    harmonics_->setValue(5);
    tone_ = new QLineEdit(this);
    tone_->setObjectName("sineTone");
    tone_->setPlaceholderText(Utf8(text::SineToneAuto));
    tone_->setClearButtonEnabled(true);

    auto* choices = new QHBoxLayout;
    choices->addWidget(new QLabel(Utf8(text::SineWindow), this));
    choices->addWidget(window_);
    choices->addSpacing(16);
    choices->addWidget(new QLabel(Utf8(text::SineSideBins), this));
    choices->addWidget(sideBins_);
    choices->addSpacing(16);
    choices->addWidget(new QLabel(Utf8(text::SineHarmonics), this));
    choices->addWidget(harmonics_);
    choices->addSpacing(16);
    choices->addWidget(new QLabel(Utf8(text::SineTone), this));
    choices->addWidget(tone_);
    choices->addStretch(1);

    tablePanel_ = new QWidget;
    table_ = new QGridLayout(tablePanel_);
    table_->setColumnMinimumWidth(1, 220);
    auto* tableScroll = new QScrollArea(this);
    tableScroll->setObjectName("sineFigures");
    tableScroll->setWidget(tablePanel_);
    tableScroll->setWidgetResizable(true);
    tableScroll->setFrameShape(QFrame::NoFrame);
    tableScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    tableScroll->setMinimumWidth(
        tablePanel_->fontMetrics().horizontalAdvance(Utf8(text::SineSfdr)) + 240 +
        tableScroll->verticalScrollBar()->sizeHint().width());

    spectrum_ = NewPlot(this, "sineSpectrumPlot", &PrepareSineSpectrumPlot);
    phase_ = NewPlot(this, "residualPhasePlot", &PrepareResidualPhasePlot);
    value_ = NewPlot(this, "residualValuePlot", &PrepareResidualValuePlot);
    auto* plots = new QGridLayout;
    plots->addWidget(spectrum_, 0, 0, 1, 2);
    plots->addWidget(phase_, 1, 0);
    plots->addWidget(value_, 1, 1);

    auto* body = new QHBoxLayout;
    body->addWidget(tableScroll, 0);
    body->addLayout(plots, 1);

    message_ = new QLabel(this);
    message_->setObjectName("sineMessage");
    message_->setWordWrap(true);
    message_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(choices);
    layout->addLayout(body, 1);
    layout->addWidget(message_);

    for (QSpinBox* box : {sideBins_, harmonics_})
        connect(box, &QSpinBox::valueChanged, this, [this] { Start(); });
    connect(window_, &QComboBox::currentIndexChanged, this, [this] { Start(); });
    connect(tone_, &QLineEdit::editingFinished, this, [this] { TakeTone(); });

    Clear(Utf8(text::AnalysisNoData));
}

TSinePanel::~TSinePanel()
{
    // The worker reads only its own copies, but its result comes back to this object.
    if (worker_)
        worker_->wait();
}

void TSinePanel::SetCodes(const std::vector<uint32_t>& codes, double rateSps, int gain)
{
    codes_ = codes;
    rateSps_ = rateSps;
    gain_ = gain;
    tone_->setPlaceholderText(Utf8(text::SineToneAuto));
    if (toneHz_ && !(*toneHz_ > 0 && *toneHz_ < rateSps / 2)) {
        toneHz_.reset();
        tone_->clear();
    }
    Start();
}

void TSinePanel::Clear(const QString& reason)
{
    codes_.clear();
    libraryReason_.clear();
    ++generation_;
    stale_ = false;
    figures_.reset();
    ShowReason(reason);
    emit Changed();
}

const analysis::TSineFigures* TSinePanel::Figures() const
{
    return figures_.get();
}

std::optional<analysis::TSineResult> TSinePanel::Result() const
{
    if (figures_)
        return analysis::TSineResult{*figures_, {}};
    if (!libraryReason_.empty())
        return analysis::TSineResult{std::nullopt, libraryReason_};
    return std::nullopt;
}

analysis::TSineOptions TSinePanel::Options() const
{
    analysis::TSineOptions o;
    o.window = static_cast<analysis::ESineWindow>(window_->currentData().toInt());
    if (sideBins_->value() >= 0)
        o.sideBins = sideBins_->value();
    o.harmonics = harmonics_->value();
    o.toneHz = toneHz_;
    return o;
}

void TSinePanel::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (stale_)
        Start();
}

void TSinePanel::TakeTone()
{
    const QString typed = tone_->text().trimmed();
    std::optional<double> tone;
    if (!typed.isEmpty()) {
        bool ok = false;
        const double hz = typed.toDouble(&ok);
        if (!ok || !(hz > 0 && hz < rateSps_ / 2)) {
            message_->setText(
                Utf8(text::SineToneInvalid).arg(QString::number(rateSps_ / 2, 'g', 10)));
            tone_->setText(toneHz_ ? QString::number(*toneHz_, 'g', 10) : QString());
            return;
        }
        tone = hz;
    }
    if (tone == toneHz_)
        return;
    toneHz_ = tone;
    Start();
}

void TSinePanel::Start()
{
    ++generation_;
    // What is shown no longer belongs to the codes and options: never hand it on.
    figures_.reset();
    libraryReason_.clear();
    emit Changed();
    if (codes_.empty())
        return;
    // Hidden, the page waits: switching to it starts the work.
    if (!isVisible()) {
        stale_ = true;
        return;
    }
    stale_ = false;
    if (running_) {
        stale_ = true; // started again with the newest once the running one ends
        return;
    }
    running_ = true;
    message_->setText(Utf8(text::SineComputing));
    auto result = std::make_shared<TWorkerResult>();
    QThread* worker = QThread::create(
        [result, codes = codes_, rate = rateSps_, gain = gain_, options = Options()] {
            std::string reason;
            if (auto f = analysis::AnalyzeSine(codes, rate, gain, options, &reason))
                result->figures = std::make_shared<const analysis::TSineFigures>(std::move(*f));
            result->reason = reason;
        });
    worker_ = worker;
    const unsigned generation = generation_;
    connect(worker, &QThread::finished, this, [this, result, generation] {
        running_ = false;
        if (generation == generation_)
            libraryReason_ = result->reason;
        Take(generation, result->figures, SineReason(result->reason));
        if (stale_)
            Start();
    });
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    worker->start();
}

void TSinePanel::Take(unsigned generation, std::shared_ptr<const analysis::TSineFigures> figures,
                      const QString& reason)
{
    if (generation != generation_)
        return; // the codes or options changed meanwhile
    figures_ = std::move(figures);
    emit Changed();
    if (figures_)
        ShowFigures();
    else
        ShowReason(Utf8(text::SineUndefined) + reason);
    emit Analysed();
}

void TSinePanel::ShowFigures()
{
    reason_.clear();
    while (QLayoutItem* item = table_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    const std::vector<TSineRow> rows = SineRows(*figures_);
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
        const TSineRow& row = rows[static_cast<size_t>(i)];
        table_->addWidget(new QLabel(row.name, tablePanel_), i, 0);
        auto* value = new QLabel(row.value, tablePanel_);
        value->setObjectName("sine_" + row.key);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        table_->addWidget(value, i, 1);
    }
    table_->setRowStretch(static_cast<int>(rows.size()), 1);
    message_->setText(figures_->fitReason.empty()
                          ? QString()
                          : Utf8(text::SineFitTitle) + ": " + SineReason(figures_->fitReason));
    ShowSineSpectrum(*spectrum_, *figures_);
    ShowSineResiduals(*phase_, *value_, *figures_);
    for (QCustomPlot* p : {spectrum_, phase_, value_})
        p->replot();
}

void TSinePanel::ShowReason(const QString& reason)
{
    reason_ = reason;
    while (QLayoutItem* item = table_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    message_->setText(reason);
    for (QCustomPlot* p : {spectrum_, phase_, value_}) {
        ClearNoisePlot(*p);
        ShowPlotReason(*p, reason);
        p->replot();
    }
}

QImage TSinePanel::RenderPlots(QSize size) const
{
    if (!figures_)
        return {};
    return RenderSinePlots(*figures_, size);
}

} // namespace mirantos
