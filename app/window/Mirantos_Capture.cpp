// TFormMain's long capture: the data menu's dialog, the capture run on the
// session's board, and its end on the status bar. The session's controller
// greys out every control but the start/stop button, shows the progress and
// stops the capture at the button, as in a run; the held data set, its graph
// and readout are the capture's business nowhere.

#include "Mirantos_Main.h"

#include "CaptureRun.h"
#include "MeasureSession.h"
#include "Myfile.h"
#include "Mymessage.h"
#include "Mystatus.h"
#include "Texts.h"
#include "TraceViewerWindow.h"
#include "WholeFile.h"
#include "WindowDialogs.h"
#include "WindowInternals.h"

#include <QFileInfo>
#include <QPointer>
#include <cstring>

using namespace mirantos;

void TFormMain::Capture1Click()
{
    HandlerScope scope(this);
    if (!session_->Created() || session_->Measuring() || (capture_ && capture_->Running()))
        return;
    TCaptureRequest request = DefaultCaptureRequest(RateIndex(), Sinc3Checked(), ChannelIndex());
    // "いいえ" to the overwrite question brings the dialog back with what was chosen.
    do {
        if (!dialogs_->CaptureRequest(&request) || !RequestValid(request))
            return;
        setFocus();
    } while (StartCapture(request) == TCaptureStart::Declined);
}

TFormMain::TCaptureStart TFormMain::StartCapture(const TCaptureRequest& request)
{
    const std::string path = ToPath(request.path);
    // Before the question and the open: a FIFO nobody reads would block the
    // window in the open, and what cannot be written is said at once.
    if (const std::string problem = WriteProblem(path); !problem.empty()) {
        presenter_->ShowError(U(text::BoxCaption), U(text::BoxCaptureWriteError) +
                                                       QStringLiteral("\n") +
                                                       QString::fromLocal8Bit(problem.c_str()));
        return TCaptureStart::Failed;
    }
    // An existing file is replaced only when the user says so, and only once
    // the first sample has come.
    const QFileInfo existing(request.path);
    const bool replace = existing.exists() || existing.isSymLink();
    if (replace &&
        !dialogs_->AskOverwrite(QString::fromUtf8(OverwriteQuestionText(path).c_str()))) {
        ReleaseHeldOutput(path);
        return TCaptureStart::Declined;
    }

    capture_ = std::make_unique<TCaptureRun>();
    const bool opened = capture_->Open(path, replace);
    // The capture holds its own descriptor now (a FIFO's reader keeps its writer).
    ReleaseHeldOutput(path);
    if (!opened) {
        presenter_->ShowError(U(text::BoxCaption),
                              U(text::BoxCaptureWriteError) + QStringLiteral("\n") + request.path +
                                  QStringLiteral(": ") +
                                  QString::fromLocal8Bit(std::strerror(capture_->OpenError())));
        capture_.reset();
        return TCaptureStart::Failed;
    }
    connect(capture_.get(), &TCaptureRun::Ended, this, &TFormMain::CaptureEnded);
    FollowInViewer(*capture_, request.path);
    captureRequest_ = request;
    titleBeforeCapture_ = windowTitle();
    if (!capture_->Start(*session_, RequestSettings(request))) {
        // The session has said why (the board's panel, its error box); the
        // file was given up.
        captureRequest_.reset();
        capture_.reset();
        return TCaptureStart::Failed;
    }
    // The run panel names the file while the detail panel counts the samples.
    session_->Status()->SetPanelText(U(text::CaptureRecording) + request.path, TmyStatus::RunPanel);
    return TCaptureStart::Started;
}

void TFormMain::FollowInViewer(TCaptureRun& run, const QString& path)
{
    // The trace viewer comes forward and shows the capture as it grows, the
    // last seconds rolling in, until the user zooms or pans.
    const QPointer<TTraceViewerWindow> viewer = OpenViewer();
    connect(&run, &TCaptureRun::Started, viewer,
            [viewer, path](const TCaptureInfo& info) { viewer->FollowCapture(info, path); });
    run.SetBlockObserver([viewer](const uint32_t* c0, const uint32_t* c1, int32_t n) {
        if (viewer)
            viewer->AppendSamples(c0, c1, n);
    });
    connect(&run, &TCaptureRun::Ended, viewer, &TTraceViewerWindow::EndCapture);
}

void TFormMain::CaptureEnded()
{
    captureRequest_.reset();
    // The caption named the held data set's file before the capture began.
    setWindowTitle(titleBeforeCapture_);
    const TCaptureResult& r = capture_->Result();
    const QString path = QFile::decodeName(QByteArray::fromStdString(capture_->Path()));
    const QString written = r.kept ? path + U(text::CaptureWrittenInfix) +
                                         QString::number(r.samples) + U(text::CaptureWrittenSuffix)
                                   : U(text::CaptureNothing);
    TmyStatus* status = session_->Status();
    const bool writeError = r.error != 0 || r.how == TMeasureController::RunEnd::WriteError;
    const bool readError = r.how == TMeasureController::RunEnd::ReadError;
    if (!writeError && !readError) {
        // The run panel says complete or stopped; the detail panel where it went.
        status->SetPanelText(written, TmyStatus::DetailPanel);
        return;
    }
    // An error keeps its text in the detail panel, the file goes into the run
    // panel, and the box says why.
    QString why;
    if (writeError) {
        status->SetPanelText(U(text::BoxCaptureWriteError), TmyStatus::DetailPanel);
        why = U(text::BoxCaptureWriteError) + QStringLiteral("\n") + path + QStringLiteral(": ") +
              QString::fromLocal8Bit(std::strerror(r.error != 0 ? r.error : EIO));
    } else {
        why = U(text::MeasureError) + QStringLiteral("\n") + QString::fromStdString(r.readFailure);
    }
    status->SetPanelText(written, TmyStatus::RunPanel);
    presenter_->ShowError(U(text::BoxCaption), why + QStringLiteral("\n") + written);
}
