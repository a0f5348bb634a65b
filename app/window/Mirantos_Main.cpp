// TFormMain: creation and destruction, the session's surfaces, the idle
// handler, closing, and the controls as the controller sees them.

#include "Mirantos_Main.h"

#include "Ad7177.h"
#include "CaptureFile.h"
#include "CaptureRun.h"
#include "MessageBoxPresenter.h"
#include "MirantosVersion.h"
#include "NoiseAnalysisWindow.h"
#include "PaintBox.h"
#include "StationRun.h"
#include "StatusBarWidget.h"
#include "Tables.h"
#include "Texts.h"
#include "TraceViewerWindow.h"
#include "UiFont.h"
#include "WindowDialogs.h"
#include "WindowInternals.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>
#include <QTimer>
#include <utility>

using namespace mirantos;

TFormMain::TFormMain(TFormMainDeps deps, QWidget* parent)
    : QMainWindow(parent), deps_(std::move(deps))
{
    // A close box and the system menu, no minimise or maximise box; the frame
    // still resizes within the limits below.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowIcon(QIcon(QStringLiteral(":/mirantos/mirantos.xpm")));
    setFont(UiFont(12));
    BuildControls();
    BuildMenus();
    // Client area 792 x 506 below the menu bar; resizable within the limits so
    // that the graph can be widened.
    move(359, 187);
    resize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
    setMinimumSize(740, 512);
    setMaximumSize(960, 768);

    if (!CreateServices()) {
        constructionFailed_ = true;
        close();
        return;
    }

    // Defaults of the controls; the record's settings start as they read.
    SetMeasureCaption(U(text::StartCaption));
    ComboBox1->setCurrentIndex(kDefaultRateIndex);
    ComboBox2->setCurrentIndex(kDefaultCountIndex);
    ComboBox3->setCurrentIndex(kDefaultChannelIndex);
    Sinc3_RB->setChecked(true);
    Sinc5_RB->setChecked(false);

    fStatusBarLayout = 0;
    fFirstIdle = 1;
    FormCreate();
}

TFormMain::~TFormMain()
{
    FormDestroy();
}

QWidget* TFormMain::PaintBox() const
{
    return PaintBox1;
}

bool TFormMain::CreateServices()
{
    if (deps_.Presenter) {
        presenter_ = deps_.Presenter;
    } else {
        ownPresenter_ = std::make_unique<TMessageBoxPresenter>();
        presenter_ = ownPresenter_.get();
    }
    if (deps_.Dialogs) {
        dialogs_ = deps_.Dialogs;
    } else {
        ownDialogs_ = std::make_unique<TQtWindowDialogs>(this);
        dialogs_ = ownDialogs_.get();
    }

    for (int i = 0; i < kYLabelCount; ++i) {
        labelAdapters_.push_back(
            std::make_unique<TLabelAdapter>(yLabelWidgets_[static_cast<size_t>(i)]));
        YLabels[i] = labelAdapters_.back().get();
    }
    labelAdapters_.push_back(std::make_unique<TLabelAdapter>(Label15));
    XLabels[0] = labelAdapters_.back().get();
    labelAdapters_.push_back(std::make_unique<TLabelAdapter>(Label16));
    XLabels[1] = labelAdapters_.back().get();

    TSessionParts parts;
    parts.Host = this;
    parts.Presenter = presenter_;
    parts.Panels = StatusBar1;
    parts.MaxPanel = 2;
    parts.MakeDriver = deps_.MakeDriver;
    parts.AskOverwrite = [this](const std::string& text) {
        return dialogs_->AskOverwrite(QString::fromUtf8(text.c_str()));
    };
    parts.PaintBox = PaintBox1;
    for (int i = 0; i < kXLabelCount; ++i)
        parts.XLabels[static_cast<size_t>(i)] = XLabels[i];
    for (int i = 0; i < kYLabelCount; ++i)
        parts.YLabels[static_cast<size_t>(i)] = YLabels[i];
    parts.ProcessEvents = [] { QCoreApplication::processEvents(); };
    parts.TimerOwner = this;
    session_ = std::make_unique<TMeasureSession>(std::move(parts));
    if (!session_->Create())
        return false;
    // A run clears the held data set when it starts and leaves one (or none)
    // when it ends.
    connect(session_->Controller(), &TMeasureController::RunStarted, this,
            &TFormMain::DataSetChanged);
    connect(session_->Controller(), &TMeasureController::RunEnded, this,
            &TFormMain::DataSetChanged);
    connect(session_->Controller(), &TMeasureController::RunEnded, this,
            &TFormMain::StationRunEnded);
    connect(session_->Controller(), &TMeasureController::SamplesReceived, this,
            &TFormMain::ShowProgress);
    connect(session_->Controller(), &TMeasureController::RunEnded, this, &TFormMain::HideProgress);
    return true;
}

void TFormMain::FormCreate()
{
    ScheduleIdle();
    UpdateCaption(QString());
}

void TFormMain::FormDestroy()
{
    // A capture closed with the window keeps its samples and its end line.
    if (capture_ && capture_->Running())
        session_->Stop();
    WaitForStore();
    session_.reset();
}

void TFormMain::UpdateCaption(const QString& name)
{
    heldFile_ = name;
    // A save stores the shown data set under a new name; codes from the viewer stay theirs.
    if (noiseWindow_ && noiseWindow_->HasDataSet() && noiseWindow_->Source().isEmpty())
        noiseWindow_->SetFile(name);
    // The simulated board's window says so in its caption; the real
    // program's caption stays exactly "MIRANTOS / v...".
    QString caption = U(text::AppTitle);
    if (session_ && session_->BoardSimulated())
        caption += U(text::AppTitleSimulated);
    caption += QStringLiteral(" / ") + QStringLiteral("v" MIRANTOS_VERSION);
    if (!name.isEmpty())
        caption += QStringLiteral(" : ") + name;
    setWindowTitle(caption);
}

// An idle pass outside a run: only scheduled when one of its jobs is due, so
// nothing polls while the program waits for the user.
void TFormMain::ScheduleIdle()
{
    if (idleScheduled_)
        return;
    idleScheduled_ = true;
    QTimer::singleShot(0, this, &TFormMain::IdleHandler);
}

void TFormMain::IdleHandler()
{
    idleScheduled_ = false;
    if (fFirstIdle) {
        fFirstIdle = 0;
        MeasureBtn->setFocus();
        if (session_->Graph())
            session_->Graph()->DrawDefault(VoltMode());
    }
    if (fStatusBarLayout) {
        fStatusBarLayout = 0;
        LayoutStatusBar();
    }
    if (!pendingFile_.isEmpty()) {
        const QString path = std::exchange(pendingFile_, QString());
        // Offered when nothing ran; a start clicked in between wins.
        if (!InHandler() && !session_->Measuring()) {
            HandlerScope scope(this);
            // A capture is a long record for the viewer; a .DTA file is a data set.
            if (IsCaptureFile(QFile::encodeName(path).toStdString()))
                OpenViewer()->OpenFile(path);
            else
                LoadChosenFile(path);
        }
    }
}

bool TFormMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == client_ && event->type() == QEvent::Resize)
        FormResize();
    return QMainWindow::eventFilter(watched, event);
}

bool TFormMain::InHandler() const
{
    // The noise analysis window's dialogs are commands of ours too: a file
    // loaded under its save dialog would be saved in place of the data set
    // the user chose to save. So are the trace viewer's.
    return handlerDepth_ > 0 || (session_ && session_->Busy()) ||
           (noiseWindow_ && noiseWindow_->InDialog()) ||
           (viewerWindow_ && viewerWindow_->InDialog());
}

void TFormMain::closeEvent(QCloseEvent* event)
{
    // A handler that waits for the board or redraws lets the close event in;
    // the window goes only after that handler has returned.
    if (InHandler()) {
        event->ignore();
        if (!closePending_) {
            closePending_ = true;
            auto* retry = new QTimer(this);
            retry->setInterval(10);
            connect(retry, &QTimer::timeout, this, [this, retry] {
                if (InHandler())
                    return;
                retry->stop();
                retry->deleteLater();
                closePending_ = false;
                close();
            });
            retry->start();
        }
        return;
    }
    // A long capture or a noise test is given up only when the user says so.
    if (!ConfirmCloseDuringLongWork()) {
        event->ignore();
        return;
    }
    event->accept();
}

// --- IControllerHost -------------------------------------------------------

void TFormMain::SetControlsEnabled(bool on)
{
    File1->menuAction()->setEnabled(on);
    // A long capture may run for days: the trace viewer that shows it stays in
    // reach, the one item of the data menu that works meanwhile. A plain run
    // keeps the whole menu off. (Save1 is off only while a capture keeps the
    // other items off.)
    const bool viewerOnly = !on && captureRequest_.has_value();
    Data1->menuAction()->setEnabled(on || viewerOnly);
    if (viewerOnly || !Save1->isEnabled())
        for (QAction* item : Data1->actions())
            if (item != TraceViewer1)
                item->setEnabled(!viewerOnly && (item != NoiseAnalysis1 ||
                                                 (session_->Created() && session_->HasData())));
    MenuY->menuAction()->setEnabled(on);
    ComboBox1->setEnabled(on);
    ComboBox2->setEnabled(on);
    ComboBox3->setEnabled(on);
    Sinc3_RB->setEnabled(on);
    Sinc5_RB->setEnabled(on);
    QuitBtn->setEnabled(on);
    MeasureBtn->setEnabled(on);
}

void TFormMain::DisableControls()
{
    SetControlsEnabled(false);
}
void TFormMain::EnableControls()
{
    SetControlsEnabled(true);
}
void TFormMain::EnableMeasureButtonOnly()
{
    MeasureBtn->setEnabled(true);
}
QString TFormMain::MeasureCaption() const
{
    return MeasureBtn->text();
}
void TFormMain::SetMeasureCaption(const QString& caption)
{
    MeasureBtn->setText(caption);
}
int TFormMain::RateIndex() const
{
    return captureRequest_ ? captureRequest_->rateIndex : ComboBox1->currentIndex();
}
int TFormMain::CountIndex() const
{
    return ComboBox2->currentIndex();
}
int TFormMain::ChannelIndex() const
{
    return captureRequest_ ? captureRequest_->channelIndex : ComboBox3->currentIndex();
}
bool TFormMain::Sinc3Checked() const
{
    return captureRequest_ ? captureRequest_->sinc3 : Sinc3_RB->isChecked();
}
bool TFormMain::VoltMode() const
{
    return MenuY_Volt->isChecked();
}
void TFormMain::ShowSettings(const TAdcSetting& s)
{
    ComboBox1->setCurrentIndex(s.spsSel);
    ComboBox2->setCurrentIndex(s.DataCountSel);
    ComboBox3->setCurrentIndex(s.CHSel);
    Sinc5_RB->setChecked(s.fSinc5 == 1);
    Sinc3_RB->setChecked(s.fSinc5 != 1);
}
