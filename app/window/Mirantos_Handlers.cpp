// TFormMain's handlers: the start/stop button, quit, and the data and view
// commands. Each is the window's half (dialogs, focus) of a sequence the
// session runs.

#include "Mirantos_Main.h"

#include "CaptureFile.h"
#include "CaptureRun.h"
#include "MeasureSession.h"
#include "Myfile.h"
#include "Mymessage.h"
#include "NoiseAnalysisWindow.h"
#include "RateTable.h"
#include "Texts.h"
#include "TraceViewerWindow.h"
#include "WindowDialogs.h"
#include "WindowInternals.h"

#include <QAction>

using namespace mirantos;

void TFormMain::MeasureBtnClick()
{
    HandlerScope scope(this);
    if (session_->Created())
        session_->Click();
}

void TFormMain::QuitBtnClick()
{
    close();
}

void TFormMain::Exit1Click()
{
    close();
}

void TFormMain::Save1Click()
{
    HandlerScope scope(this);
    if (!session_->Created())
        return;
    if (!session_->HasData()) {
        session_->Message()->NoDataError();
        return;
    }
    QString chosen;
    if (!dialogs_->SaveFileName(U(text::SaveFilter), U(text::InitialFileName), &chosen) ||
        chosen.isEmpty())
        return;
    session_->Save(WithDtaExtension(ToPath(chosen)));
}

void TFormMain::Load1Click()
{
    HandlerScope scope(this);
    if (!session_->Created())
        return;
    QString chosen;
    if (!dialogs_->OpenFileName(U(text::OpenFilter), U(text::InitialFileName), &chosen) ||
        chosen.isEmpty())
        return;
    // A capture (told by its first line) is a long record for the trace
    // viewer, not a .DTA file with wrong content.
    if (IsCaptureFile(ToPath(chosen))) {
        OpenViewer()->OpenFile(chosen);
        return;
    }
    LoadChosenFile(chosen);
}

void TFormMain::LoadChosenFile(const QString& chosen)
{
    setFocus();
    if (session_->Load(ToPath(chosen), chosen))
        DataSetChanged();
}

TFormMain::TOpenAnswer TFormMain::OfferFile(const QString& path)
{
    if (session_ && session_->Measuring())
        return TOpenAnswer::Measuring;
    if (InHandler() || !session_ || !session_->Created())
        return TOpenAnswer::Busy;
    pendingFile_ = path;
    ScheduleIdle();
    return TOpenAnswer::Accepted;
}

void TFormMain::DataClearClick()
{
    HandlerScope scope(this);
    session_->Clear();
    DataSetChanged();
}

void TFormMain::MenuY_VoltClick()
{
    HandlerScope scope(this);
    MenuY_Volt->setChecked(!MenuY_Volt->isChecked());
    session_->UnitChanged();
    if (noiseWindow_)
        noiseWindow_->SetVoltMode(VoltMode());
    if (viewerWindow_)
        viewerWindow_->SetVoltMode(VoltMode());
}

void TFormMain::NoiseAnalysis1Click()
{
    HandlerScope scope(this);
    if (!session_->Created() || !session_->HasData())
        return;
    if (!noiseWindow_) {
        noiseWindow_ = new TNoiseAnalysisWindow(this, deps_.AnalysisDialogs);
        // A window of its own beside the main one, not a child widget or a dialog.
        noiseWindow_->setWindowFlag(Qt::Window);
        DataSetChanged();
    }
    noiseWindow_->show();
    noiseWindow_->raise();
    noiseWindow_->activateWindow();
}

void TFormMain::TraceViewer1Click()
{
    HandlerScope scope(this);
    OpenViewer();
}

TTraceViewerWindow* TFormMain::OpenViewer()
{
    if (!viewerWindow_) {
        viewerWindow_ = new TTraceViewerWindow(this, deps_.ViewerDialogs);
        viewerWindow_->setWindowFlag(Qt::Window);
        // A span to analyse goes to the one analysis window, until the next data set.
        viewerWindow_->SetAnalysisTarget([this] {
            if (!noiseWindow_) {
                noiseWindow_ = new TNoiseAnalysisWindow(this, deps_.AnalysisDialogs);
                noiseWindow_->setWindowFlag(Qt::Window);
            }
            return noiseWindow_;
        });
    }
    viewerWindow_->SetVoltMode(VoltMode());
    // Opened again during a capture, it rolls with the newest samples again.
    if (viewerWindow_->Following() && !viewerWindow_->isVisible())
        viewerWindow_->ShowLatestClick();
    viewerWindow_->show();
    viewerWindow_->raise();
    viewerWindow_->activateWindow();
    return viewerWindow_;
}

void TFormMain::DataSetChanged()
{
    const bool held = session_->Created() && session_->HasData();
    NoiseAnalysis1->setEnabled(held);
    // A capture's start and end leave the held data set as it was: the
    // analysis keeps what it shows (a span from the viewer, most likely).
    if (!noiseWindow_ || (capture_ && capture_->Running()))
        return;
    noiseWindow_->SetVoltMode(VoltMode());
    if (!held) {
        noiseWindow_->ClearDataSet();
        return;
    }
    const TAdcSetting& s = session_->Settings();
    noiseWindow_->SetDataSet(session_->Record(), SettingRateSps(s), s.Gain, heldFile_);
}

void TFormMain::StatusBar1Click()
{
    HandlerScope scope(this);
    session_->SwitchChannel();
}
