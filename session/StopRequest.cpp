#include "StopRequest.h"

#include <QTimer>

namespace mirantos {

namespace {
// Retry interval of a stop that came while a sequence of the controller ran.
constexpr int kStopRetryMs = 5;
} // namespace

TStopRequest::TStopRequest(TMeasureSession& session) : session_(session)
{
    QObject::connect(session_.Controller(), &TMeasureController::RunEnded, &context_,
                     [this] { ended_ = true; });
}

void TStopRequest::Request()
{
    requested_ = true;
    Try();
}

void TStopRequest::Try()
{
    if (!requested_ || ended_)
        return;
    if (session_.Busy() || !session_.Measuring()) {
        // A start still talking to the board, or a poll in progress: the
        // click waits for it, as a click on the window's button would.
        QTimer::singleShot(kStopRetryMs, &context_, [this] { Try(); });
        return;
    }
    session_.Stop();
}

} // namespace mirantos
