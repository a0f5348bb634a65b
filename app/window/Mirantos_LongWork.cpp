// TFormMain's long work (a long capture, a noise test): the progress bar just
// above the status bar while it runs, and the close box's question before it
// is given up. A plain run shows no bar and closes as it always did.

#include "Mirantos_Main.h"

#include "CaptureRun.h"
#include "MeasureSession.h"
#include "RateTable.h"
#include "RunProgress.h"
#include "StationRun.h"
#include "Texts.h"
#include "WindowDialogs.h"
#include "WindowInternals.h"

#include <QProgressBar>

using namespace mirantos;

namespace {

// "50%  500 / 1000 件  残り 0:01"
QString ProgressText(int received, int target, double sps)
{
    const TRunProgress p = RunProgressOf(received, target, sps);
    return QString::number(p.percent) + QStringLiteral("%  ") + QString::number(received) +
           QStringLiteral(" / ") + QString::number(target) + U(text::ProgressCountSuffix) +
           QStringLiteral("  ") + U(text::ProgressLeft) +
           QString::fromStdString(DurationText(p.secondsLeft));
}

} // namespace

void TFormMain::BuildProgressBar()
{
    // In the free strip between the graph's sample labels and the status
    // bar, as wide as the graph and the buttons; the panels keep their place.
    ProgressBar1 = new QProgressBar(client_);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setTextVisible(true);
    ProgressBar1->setAlignment(Qt::AlignCenter);
    const QRect design(72, kClientHeight - kStatusBarHeight - 24, 697, 18);
    ProgressBar1->setGeometry(design);
    anchored_.push_back({ProgressBar1, design, true, false, true, true});
    ProgressBar1->hide();
}

bool TFormMain::LongWorkRunning() const
{
    return (capture_ && capture_->Running()) || station_ != nullptr;
}

void TFormMain::ShowProgress(int received, int target)
{
    if (!LongWorkRunning() || target <= 0)
        return;
    ProgressBar1->setRange(0, target);
    ProgressBar1->setValue(std::min(received, target));
    // The percent sign stands alone, never one of the bar's "%p" fields.
    ProgressBar1->setFormat(ProgressText(received, target, RateSps(RateIndex(), !Sinc3Checked())));
    ProgressBar1->show();
}

void TFormMain::HideProgress()
{
    ProgressBar1->hide();
    ProgressBar1->reset();
}

bool TFormMain::ConfirmCloseDuringLongWork()
{
    if (!LongWorkRunning())
        return true;
    if (!dialogs_->AskStopRecording(U(text::CloseWhileRecording)))
        return false;
    // Ended as the stop button ends it: a capture's file gets its end line; a
    // test that did not complete is stored as ABORTED, saying why.
    if (station_)
        station_->stopReason = "stopped: the window was closed";
    if (session_->Measuring())
        session_->Stop();
    return true;
}
