#include "TraceViewerWindow.h"

#include "AnalysisTexts.h"
#include "MeasureRecord.h"
#include "MeasureSession.h"
#include "NoiseAnalysisWindow.h"
#include "ReadoutText.h"
#include "SampleFile.h"
#include "Texts.h"
#include "UiFont.h"
#include "ViewerAxisControls.h"
#include "ViewerCursorTexts.h"
#include "ViewerCursors.h"
#include "ViewerTexts.h"

#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScopeGuard>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace mirantos {

using namespace trace;

namespace {

// Decimals that tell neighbouring samples' times apart at the record's rate.
int TimeDecimals(double rateSps)
{
    if (!(rateSps > 0))
        return 3;
    return std::clamp(static_cast<int>(std::ceil(std::log10(rateSps) - 1e-9)), 3, 6);
}

QString Seconds(double s, double rateSps)
{
    return FormatMask(s, TimeDecimals(rateSps));
}

} // namespace

// ---- The canvas ------------------------------------------------------------------

TTraceCanvas::TTraceCanvas(TTraceViewerWindow* owner) : QWidget(owner), owner_(owner)
{
    setObjectName("canvas");
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setToolTip(U(text::ViewerHelp));
    setMinimumSize(kMinPictureWidth * 2, kMinPictureHeight * 2);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TTraceCanvas::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.drawImage(0, 0, owner_->Image());
    owner_->PaintOverlay(p);
}

void TTraceCanvas::resizeEvent(QResizeEvent*)
{
    owner_->CanvasResized();
}

void TTraceCanvas::wheelEvent(QWheelEvent* event)
{
    owner_->Wheel(event->position().toPoint(), event->angleDelta().y());
    event->accept();
}

void TTraceCanvas::mousePressEvent(QMouseEvent* event)
{
    owner_->Press(event->position().toPoint(), event->button(), event->modifiers());
}

void TTraceCanvas::mouseMoveEvent(QMouseEvent* event)
{
    owner_->Move(event->position().toPoint());
}

void TTraceCanvas::mouseReleaseEvent(QMouseEvent* event)
{
    owner_->Release(event->position().toPoint());
}

void TTraceCanvas::leaveEvent(QEvent*)
{
    owner_->Leave();
}

// ---- The window ------------------------------------------------------------------

TTraceViewerWindow::TTraceViewerWindow(QWidget* parent, IViewerDialogs* dialogs)
    : QWidget(parent, Qt::Window)
{
    if (dialogs == nullptr) {
        ownDialogs_ = std::make_unique<TViewerDialogs>();
        dialogs = ownDialogs_.get();
    }
    dialogs_ = dialogs;

    setWindowTitle(U(text::ViewerTitle));
    setWindowModality(Qt::NonModal);
    setFont(UiFont(WindowFontPixels));
    resize(1000, 640);

    open_ = new QPushButton(U(text::ViewerOpen), this);
    open_->setObjectName("open");
    channelLabel_ = new QLabel(U(text::ViewerChannel), this);
    channelBox_ = new QComboBox(this);
    channelBox_->setObjectName("channel");
    channelBox_->addItem(U(text::Channel) + "0", 0);
    channelBox_->addItem(U(text::Channel) + "1", 1);
    channelBox_->addItem(U(text::ViewerBoth), 2);
    fitAll_ = new QPushButton(U(text::ViewerFitAll), this);
    fitAll_->setObjectName("fitAll");
    latest_ = new QPushButton(U(text::ViewerFollow), this);
    latest_->setObjectName("latest");
    analyse_ = new QPushButton(U(text::ViewerAnalyse), this);
    analyse_->setObjectName("analyse");
    back_ = new QPushButton(U(text::ViewerBack), this);
    back_->setObjectName("back");
    back_->setToolTip(U(text::ViewerHelp));
    export_ = new QPushButton(U(text::ViewerExport), this);
    export_->setObjectName("export");
    cursors_ = std::make_unique<TViewerCursors>(this);
    auto* commands = new QHBoxLayout;
    commands->addWidget(open_);
    commands->addSpacing(16);
    commands->addWidget(channelLabel_);
    commands->addWidget(channelBox_);
    commands->addSpacing(16);
    commands->addWidget(fitAll_);
    commands->addWidget(latest_);
    commands->addWidget(analyse_);
    commands->addWidget(export_);
    commands->addSpacing(16);
    commands->addWidget(back_);
    commands->addWidget(cursors_->ButtonA());
    commands->addWidget(cursors_->ButtonB());
    commands->addWidget(cursors_->ClearButton());
    commands->addStretch(1);

    info_ = new QLabel(this);
    info_->setObjectName("info");
    canvas_ = new TTraceCanvas(this);
    cursor_ = new QLabel(this);
    cursor_->setObjectName("cursor");
    cursor_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    span_ = new QLabel(this);
    span_->setObjectName("span");
    span_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* infoRow = new QHBoxLayout;
    infoRow->addWidget(info_, 1);
    axes_ = std::make_unique<TViewerAxisControls>(
        this, infoRow,
        TViewerAxisControls::TActions{[this](TYLayout l) { SetLayout(l); }, [this] { FitYClick(); },
                                      [this](bool on) { SetWallClock(on); }});
    // Readouts change with every mouse move: they must never resize the window.
    KeepReadoutSize(info_, 1);
    KeepReadoutSize(cursor_, 1);
    KeepReadoutSize(span_, 3);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(commands);
    layout->addLayout(infoRow);
    layout->addWidget(canvas_, 1);
    layout->addWidget(cursor_);
    layout->addWidget(span_);
    layout->addWidget(cursors_->Readout());

    frameTimer_.setSingleShot(true);
    frameTimer_.setInterval(kFrameMs);
    connect(&frameTimer_, &QTimer::timeout, this, [this] { Frame(); });
    connect(open_, &QPushButton::clicked, this, [this] { OpenClick(); });
    connect(fitAll_, &QPushButton::clicked, this, [this] { FitAllClick(); });
    connect(latest_, &QPushButton::clicked, this, [this] { ShowLatestClick(); });
    connect(analyse_, &QPushButton::clicked, this, [this] { AnalyseClick(); });
    connect(back_, &QPushButton::clicked, this, [this] { BackClick(); });
    connect(export_, &QPushButton::clicked, this, [this] { ExportClick(); });
    connect(channelBox_, &QComboBox::activated, this,
            [this](int index) { SelectChannels(channelBox_->itemData(index).toInt()); });

    // The keys zoom and pan whatever was clicked: the buttons and choices take no focus.
    for (QPushButton* button : findChildren<QPushButton*>())
        button->setFocusPolicy(Qt::NoFocus);
    for (QComboBox* box : findChildren<QComboBox*>())
        box->setFocusPolicy(Qt::NoFocus);
    canvas_->setFocus();
    TakeData(TTraceData());
}

TTraceViewerWindow::~TTraceViewerWindow() = default;

QWidget* TTraceViewerWindow::Canvas() const
{
    return canvas_;
}

QRect TTraceViewerWindow::PlotArea() const
{
    return trace::PlotArea(canvas_->size());
}

void TTraceViewerWindow::OpenClick()
{
    if (following_)
        return;
    QString chosen;
    {
        ++dialogDepth_;
        const auto done = qScopeGuard([this] { --dialogDepth_; });
        if (!dialogs_->OpenFileName(this, U(text::ViewerOpenFilter), &chosen) || chosen.isEmpty())
            return;
    }
    OpenFile(chosen);
}

void TTraceViewerWindow::ShowError(const QString& text)
{
    ++dialogDepth_;
    const auto done = qScopeGuard([this] { --dialogDepth_; });
    dialogs_->ShowError(this, text);
}

bool TTraceViewerWindow::OpenFile(const QString& path)
{
    // A capture run feeds this record; another file would cut it off.
    if (following_) {
        ShowError(U(text::ViewerBusy) + "\n" + path);
        return false;
    }
    TSampleSet samples;
    std::vector<std::string> warnings;
    std::string error;
    const std::string file = QFile::encodeName(path).toStdString();
    switch (ReadSampleFile(file, kBoardGain, samples, warnings, error)) {
    case TSampleLoad::Ok:
        break;
    case TSampleLoad::CaptureError:
        ShowError(U(text::ViewerReadError) + "\n" + path + "\n" + QString::fromStdString(error));
        return false;
    case TSampleLoad::DataFileError:
        ShowError(U(text::BoxDataFileError) + "\n" + path + "\n" + QString::fromStdString(error));
        return false;
    }
    source_ = {samples.rateIndex, samples.rateSps, samples.sinc5,    samples.chSel,
               samples.gain,      samples.board,   samples.startUtc, samples.simulated};
    TakeData(TTraceData(std::move(samples), QFileInfo(path).fileName().toStdString()));
    filePath_ = path;
    return true;
}

void TTraceViewerWindow::TakeData(TTraceData&& data)
{
    data_ = std::move(data);
    view_.show = {true, true};
    const bool both = data_.Holds(0) && data_.Holds(1);
    channelLabel_->setVisible(both);
    channelBox_->setVisible(both);
    channelBox_->setCurrentIndex(2);
    cursors_->Clear();
    setWindowTitle(data_.Empty()
                       ? U(text::ViewerTitle)
                       : U(text::ViewerTitle) + " : " + QString::fromStdString(data_.FileName()));
    FitAllClick();
    // Another record's views are nothing to go back to.
    history_.Clear();
    UpdateControls();
}

void TTraceViewerWindow::SetVoltMode(bool voltMode)
{
    if (voltMode == view_.voltMode)
        return;
    view_.voltMode = voltMode;
    Compose();
}

void TTraceViewerWindow::SelectChannels(int choice)
{
    if (choice < 0 || choice > 2 || (choice < 2 && !data_.Holds(choice)))
        return;
    view_.show = {choice != 1, choice != 0};
    channelBox_->setCurrentIndex(choice);
    Show(view_.x, autoScroll_);
}

void TTraceViewerWindow::SetLayout(TYLayout layout)
{
    view_.layout = layout;
    yAuto_ = true;
    Show(view_.x, autoScroll_);
}

void TTraceViewerWindow::FitYClick()
{
    yAuto_ = true;
    Show(view_.x, autoScroll_);
}

void TTraceViewerWindow::SetWallClock(bool wallClock)
{
    view_.wallClock = wallClock;
    Compose();
}

void TTraceViewerWindow::SetAnalysisTarget(std::function<TNoiseAnalysisWindow*()> target)
{
    analysisTarget_ = std::move(target);
}

// ---- Views ----------------------------------------------------------------------

void TTraceViewerWindow::Show(TViewX x, bool keepFollowing)
{
    autoScroll_ = keepFollowing && following_;
    const QRect plot = PlotArea();
    x.width = plot.width();
    view_.x = Clamp(x, data_.Samples());
    if (yAuto_)
        FitY(data_, view_, plot.height());
    else if (view_.layout == TYLayout::Ac)
        UpdateCentres(data_, view_);
    view_.y.height = plot.height();
    Compose();
}

void TTraceViewerWindow::FitAllClick()
{
    Remember();
    yAuto_ = true;
    Show(FitAll(data_.Samples(), PlotArea().width()));
}

void TTraceViewerWindow::ShowLatestClick()
{
    if (!following_)
        return;
    Remember();
    yAuto_ = true;
    FollowTail();
}

void TTraceViewerWindow::FollowTail()
{
    const int64_t n = data_.Samples();
    const auto count = std::max<int64_t>(1, std::llround(kFollowSeconds * data_.RateSps()));
    Show(ShowSamples(n, PlotArea().width(), std::max<int64_t>(0, n - count), count), true);
}

void TTraceViewerWindow::ShowSeconds(double from, double to)
{
    Remember();
    yAuto_ = true;
    Show(ViewOfSeconds(data_.Samples(), data_.RateSps(), PlotArea().width(), from, to));
}

void TTraceViewerWindow::CanvasResized()
{
    if (autoScroll_)
        FollowTail();
    else if (view_.x == FitAll(data_.Samples(), view_.x.width))
        Show(FitAll(data_.Samples(), PlotArea().width()));
    else
        Show(view_.x);
}

// ---- Live following -------------------------------------------------------------

void TTraceViewerWindow::FollowCapture(const TCaptureInfo& info, const QString& fileName)
{
    following_ = false;
    source_ = info;
    TTraceData data(info.chSel, info.rateSps, info.gain,
                    QFileInfo(fileName).fileName().toStdString(), info.startUtc);
    // A span analysed while or after following carries the capture's board, as one from the file
    // would.
    data.SetBoard(info.board, info.simulated);
    TakeData(std::move(data));
    filePath_ = fileName;
    following_ = true;
    yAuto_ = true;
    FollowTail();
}

void TTraceViewerWindow::AppendSamples(const uint32_t* c0, const uint32_t* c1, int n)
{
    if (!following_ || n <= 0)
        return;
    data_.Append(c0, c1, n);
    dirty_ = true;
    if (!frameTimer_.isActive())
        frameTimer_.start();
}

void TTraceViewerWindow::EndCapture()
{
    if (!following_)
        return;
    frameTimer_.stop();
    dirty_ = false;
    following_ = false;
    autoScroll_ = false;
    FitAllClick();
}

void TTraceViewerWindow::Frame()
{
    // A closed viewer keeps taking samples but draws nothing; opened again, it
    // draws the newest (TFormMain::OpenViewer).
    if (!dirty_ || !isVisible())
        return;
    dirty_ = false;
    if (autoScroll_)
        FollowTail();
    else
        Show(view_.x);
}

// ---- Mouse ----------------------------------------------------------------------

void TTraceViewerWindow::Wheel(QPoint pos, int angleDelta)
{
    if (data_.Empty() || angleDelta == 0)
        return;
    const int x = pos.x() - PlotArea().left();
    Remember();
    Show(ZoomAt(view_.x, data_.Samples(), x, std::pow(1.25, angleDelta / 120.0)));
}

void TTraceViewerWindow::Press(QPoint pos, Qt::MouseButton button, Qt::KeyboardModifiers mods)
{
    if (data_.Empty() || cursors_->Press(pos, button, mods))
        return;
    dragStart_ = dragNow_ = pos;
    dragView_ = view_.x;
    if (button == Qt::RightButton || (button == Qt::LeftButton && (mods & Qt::ShiftModifier)))
        drag_ = TDrag::Box;
    else if (button == Qt::LeftButton)
        drag_ = TDrag::Pan;
}

void TTraceViewerWindow::Move(QPoint pos)
{
    mouseInside_ = true;
    mouse_ = pos;
    dragNow_ = pos;
    if (!cursors_->Move(pos) && drag_ == TDrag::Pan && pos.x() != dragStart_.x())
        Show(Pan(dragView_, data_.Samples(), pos.x() - dragStart_.x()));
    // The crosshair follows the mouse.
    canvas_->update();
    ShowCursor(pos);
}

void TTraceViewerWindow::Release(QPoint pos)
{
    if (cursors_->Release())
        return;
    const TDrag drag = std::exchange(drag_, TDrag::None);
    // A pan is left as one view, however long the drag.
    if (drag == TDrag::Pan && !(view_.x == dragView_))
        history_.Push({dragView_, view_.y, yAuto_});
    if (drag != TDrag::Box) {
        canvas_->update();
        return;
    }
    const QRect plot = PlotArea();
    const int x0 = dragStart_.x() - plot.left();
    const int x1 = pos.x() - plot.left();
    const int y0 = dragStart_.y() - plot.top();
    const int y1 = pos.y() - plot.top();
    if (std::abs(x1 - x0) < kMinBox) {
        canvas_->update();
        return;
    }
    Remember();
    const int w = plot.width() - 1;
    const TViewX x =
        ZoomToColumns(view_.x, data_.Samples(), std::clamp(x0, 0, w), std::clamp(x1, 0, w));
    if (std::abs(y1 - y0) >= kMinBox) {
        const int h = plot.height() - 1;
        ZoomYToRows(data_, view_, plot.height(), std::clamp(y0, 0, h), std::clamp(y1, 0, h));
        yAuto_ = false;
    }
    Show(x);
}

void TTraceViewerWindow::Leave()
{
    mouseInside_ = false;
    cursor_->clear();
    canvas_->update();
}

void TTraceViewerWindow::PaintOverlay(QPainter& p) const
{
    cursors_->Paint(p, mouseInside_ && drag_ != TDrag::Box ? &mouse_ : nullptr);
    if (drag_ != TDrag::Box)
        return;
    p.setPen(QPen(Qt::darkGray, 1, Qt::DashLine));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRect(dragStart_, dragNow_).normalized());
}

// ---- Picture and readouts ---------------------------------------------------------

void TTraceViewerWindow::Compose()
{
    picture_.Compose(data_, view_, canvas_->size(), image_);
    canvas_->update();
    // The span's sigma takes every visible sample; while the record rolls in,
    // a few readouts a second are as many as anyone can read.
    if (!following_ || !spanShown_.isValid() || spanShown_.elapsed() >= kFollowReadoutMs) {
        spanShown_.start();
        ShowSpan();
        cursors_->Refresh();
    }
    if (mouseInside_)
        ShowCursor(mouse_);
    UpdateControls();
}

void TTraceViewerWindow::UpdateControls()
{
    const bool held = !data_.Empty();
    open_->setEnabled(!following_);
    fitAll_->setEnabled(held);
    latest_->setEnabled(following_ && !autoScroll_);
    latest_->setVisible(following_);
    analyse_->setEnabled(held && data_.Samples() > 0 && !following_);
    export_->setEnabled(held && data_.Samples() > 0);
    back_->setEnabled(!history_.Empty());
    QString info;
    if (held) {
        info = QString::fromStdString(data_.FileName()) + U(text::Separator) +
               QString::number(data_.RateSps(), 'g', 10) + U(text::AnalysisUnitSps) +
               U(text::ViewerSamples) + QString::number(data_.Samples());
        if (!data_.StartUtc().empty())
            info += U(text::Separator) + QString::fromStdString(data_.StartUtc());
        if (following_)
            info += U(text::Separator) + U(text::ViewerCapturing);
    } else {
        info = U(text::ViewerNoData);
    }
    info_->setText(info);
    double origin = 0;
    QString date;
    axes_->Update(held, ClockOrigin(data_.StartUtc(), origin, date), view_.layout, view_.wallClock);
}

void TTraceViewerWindow::ShowCursor(QPoint pos)
{
    const QRect plot = PlotArea();
    const int64_t n = data_.Samples();
    if (n == 0 || !plot.contains(pos)) {
        cursor_->clear();
        return;
    }
    const int64_t i = std::clamp<int64_t>(ColumnStart(view_.x, pos.x() - plot.left()), 0, n - 1);
    QString s = U(text::ViewerIndex) + QString::number(SampleNumber(i)) + U(text::ViewerTime) +
                Seconds(SampleSeconds(i, data_.RateSps()), data_.RateSps()) +
                U(text::ViewerSecondsUnit);
    for (int c = 0; c < 2; ++c) {
        if (!view_.show[static_cast<size_t>(c)] || !data_.Holds(c))
            continue;
        const uint32_t code = data_.Channel(c).Codes()[static_cast<size_t>(i)];
        s += U(text::Separator) + U(text::Channel) + QString::number(c) + U(text::ViewerCode) +
             QString::number(code) + U(text::UnitDigit) + U(text::Separator) +
             FormatMask(CodeToMicrovolt(code, data_.Gain()), 5) + U(text::ViewerAxisMicrovolt);
    }
    cursor_->setText(s);
}

void TTraceViewerWindow::ShowSpan()
{
    const int64_t n = data_.Samples();
    if (n == 0) {
        span_->clear();
        return;
    }
    const TSampleSpan v = VisibleSpan(view_.x, n);
    const double rate = data_.RateSps();
    QString s = U(text::ViewerSpan) + Seconds(SampleSeconds(v.first, rate), rate) +
                U(text::ViewerRangeTo) + Seconds(SampleSeconds(v.last, rate), rate) +
                U(text::ViewerSecondsUnit) + U(text::ViewerSamples) + QString::number(v.Count());
    for (int c = 0; c < 2; ++c) {
        if (!view_.show[static_cast<size_t>(c)] || !data_.Holds(c))
            continue;
        const TSpanStats st = SpanStatistics(data_.Channel(c), v.first, v.last, data_.Gain());
        s += "\n" + (view_.voltMode
                         ? StatVoltText(c, CodeToMicrovolt(st.max, data_.Gain()),
                                        CodeToMicrovolt(st.min, data_.Gain()),
                                        static_cast<float>(st.sigmaUv), text::ViewerAxisMicrovolt)
                         : StatCodeText(st.max, st.min, static_cast<float>(st.sigma), c));
    }
    span_->setText(s);
}

QString TTraceViewerWindow::CursorText() const
{
    return cursor_->text();
}

QString TTraceViewerWindow::SpanText() const
{
    return span_->text();
}

// ---- Analysis -------------------------------------------------------------------

void TTraceViewerWindow::AnalyseClick()
{
    const int64_t n = data_.Samples();
    if (n == 0 || following_)
        return;
    const TSampleSpan v = VisibleSpan(view_.x, n);
    std::vector<uint32_t> codes[2];
    for (int c = 0; c < 2; ++c)
        if (view_.show[static_cast<size_t>(c)] && data_.Holds(c)) {
            const auto& all = data_.Channel(c).Codes();
            codes[c].assign(all.begin() + v.first, all.begin() + v.last);
        }
    TNoiseAnalysisWindow* target = analysisTarget_ ? analysisTarget_() : nullptr;
    if (target == nullptr) {
        if (ownAnalysis_ == nullptr) {
            ownAnalysis_ = new TNoiseAnalysisWindow(this);
            ownAnalysis_->setWindowFlag(Qt::Window);
        }
        target = ownAnalysis_;
    }
    const double rate = data_.RateSps();
    // The channels handed over, by name: "CH0", "CH1" or "CH0 / CH1".
    QStringList channels;
    for (int c = 0; c < 2; ++c)
        if (!codes[c].empty())
            channels << U(text::Channel) + QString::number(c);
    const QString source = U(text::ViewerSourcePrefix) + QString::fromStdString(data_.FileName()) +
                           " " + channels.join(U(text::Separator)) + " " +
                           Seconds(SampleSeconds(v.first, rate), rate) + U(text::ViewerRangeTo) +
                           Seconds(SampleSeconds(v.last, rate), rate) + U(text::ViewerSecondsUnit);
    target->SetVoltMode(view_.voltMode);
    target->SetCodes(std::move(codes[0]), std::move(codes[1]), rate, data_.Gain(), source,
                     filePath_, {data_.Board(), data_.StartUtc(), data_.Simulated()});
    target->show();
    target->raise();
    target->activateWindow();
}

} // namespace mirantos
