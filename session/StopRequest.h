#pragma once
// A stop asked for from outside a run (Ctrl-C, a capture's failed write),
// carried out as a click on the stop button would be: once the start has
// reached the board and no sequence of the session is running. A request after
// the run has ended does nothing.

#include "MeasureSession.h"

#include <QObject>

namespace mirantos {

class TStopRequest {
public:
    explicit TStopRequest(TMeasureSession& session);
    TStopRequest(const TStopRequest&) = delete;
    TStopRequest& operator=(const TStopRequest&) = delete;

    void Request();

private:
    void Try();

    TMeasureSession& session_;
    // The retries and the run-end connection end with this object.
    QObject context_;
    bool requested_ = false;
    bool ended_ = false;
};

} // namespace mirantos
