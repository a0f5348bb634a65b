#include "CaptureRun.h"

#include "Ad7177.h"
#include "MeasureSession.h"
#include "RateTable.h"
#include "StopRequest.h"
#include "Tables.h"

#include <QDateTime>
#include <cmath>
#include <csignal>

namespace mirantos {

int64_t CaptureCountForSeconds(int64_t seconds, int32_t rateIndex, bool sinc5)
{
    return static_cast<int64_t>(static_cast<double>(seconds) * RateSps(rateIndex, sinc5));
}

int64_t CaptureMaxSeconds(int32_t rateIndex, bool sinc5)
{
    const double sps = RateSps(rateIndex, sinc5);
    return sps > 0 ? static_cast<int64_t>(kBoardMaxCount / sps) : 0;
}

int64_t CaptureMinSeconds(int32_t rateIndex, bool sinc5)
{
    const double sps = RateSps(rateIndex, sinc5);
    return sps > 0 ? static_cast<int64_t>(std::ceil(kMinCaptureCount / sps)) : 0;
}

// The controller's blocks go straight to the file. The file is emptied and
// gets its header with the first block, so a run stopped before its first
// sample leaves a replaced file as it was. A header that cannot be written
// fails that block, which ends the run as a write error.
class TCaptureRun::Sink : public ISampleSink {
public:
    Sink(TCaptureWriter& writer, const BlockObserver& observer)
        : writer_(writer), observer_(observer)
    {
    }
    bool Write(const uint32_t* ch0, const uint32_t* ch1, int32_t n) override
    {
        if (!begun_) {
            begun_ = true;
            if (!writer_.Begin(info))
                return false;
        }
        if (!writer_.Write(ch0, ch1, n))
            return false;
        if (observer_)
            observer_(ch0, ch1, n);
        return true;
    }
    bool Begun() const { return begun_; }

    TCaptureInfo info; // set when the run starts

private:
    TCaptureWriter& writer_;
    const BlockObserver& observer_;
    bool begun_ = false;
};

TCaptureRun::TCaptureRun()
{
    connect(&flushTimer_, &QTimer::timeout, this, [this] {
        // A failed write while the board sends nothing still ends the run.
        if (!writer_.FlushIfDue() && writer_.Failed())
            RequestStop();
    });
}

TCaptureRun::~TCaptureRun()
{
    context_.reset();
    if (opened_ && !running_)
        writer_.Abandon();
    RestoreFileSizeSignal();
}

void TCaptureRun::RestoreFileSizeSignal()
{
    if (!fileSizeHandlerSet_)
        return;
    fileSizeHandlerSet_ = false;
    std::signal(SIGXFSZ, oldFileSizeHandler_);
}

bool TCaptureRun::Open(const std::string& path, bool replace)
{
    path_ = path;
    if (!writer_.Open(path, replace))
        return false;
    opened_ = true;
    // A write beyond the file-size limit fails with EFBIG instead of killing
    // the process, so the run ends as any other write error does.
    if (!fileSizeHandlerSet_) {
        oldFileSizeHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        fileSizeHandlerSet_ = true;
    }
    return true;
}

void TCaptureRun::Abandon()
{
    if (!opened_)
        return;
    opened_ = false;
    writer_.Abandon();
    RestoreFileSizeSignal();
}

bool TCaptureRun::Start(TMeasureSession& session, const TCaptureSettings& settings)
{
    result_ = TCaptureResult();
    if (!opened_ || running_ || session.Controller() == nullptr)
        return false;
    session_ = &session;
    settings_ = settings;
    sink_ = std::make_unique<Sink>(writer_, observer_);
    stop_ = std::make_unique<TStopRequest>(session);
    context_ = std::make_unique<QObject>();
    TMeasureController* controller = session.Controller();
    connect(controller, &TMeasureController::RunStarted, context_.get(), [this] { RunStarted(); });
    connect(controller, &TMeasureController::RunEnded, context_.get(),
            [this](TMeasureController::RunEnd how) { RunEnded(how); });

    running_ = true;
    session.StartCapture(sink_.get(), settings.count);
    if (!result_.started) {
        running_ = false;
        QObject::disconnect(controller, nullptr, context_.get(), nullptr);
        Abandon();
        return false;
    }
    return true;
}

void TCaptureRun::RequestStop()
{
    if (running_ && stop_)
        stop_->Request();
}

void TCaptureRun::RunStarted()
{
    result_.started = true;
    TCaptureInfo& info = sink_->info;
    info.rateIndex = settings_.rateIndex;
    info.rateSps = RateSps(settings_.rateIndex, settings_.sinc5);
    info.sinc5 = settings_.sinc5;
    info.chSel = settings_.chSel;
    info.gain = session_->Board()->GetGain();
    const TMeasureController* controller = session_->Controller();
    info.board = (controller->Board() + QLatin1Char(' ') + controller->Version()).toStdString();
    info.simulated = session_->BoardSimulated();
    info.startUtc = QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toStdString();
    flushTimer_.start(kFlushCheckMs);
    emit Started(info);
}

void TCaptureRun::RunEnded(TMeasureController::RunEnd how)
{
    flushTimer_.stop();
    // This slot runs through the context: it is cut off, not deleted.
    QObject::disconnect(session_->Controller(), nullptr, context_.get(), nullptr);
    running_ = false;
    result_.how = how;
    result_.readFailure = session_->Controller()->ReadFailure();
    result_.kept = sink_->Begun();
    if (!result_.kept) {
        // Not a sample came: a new file goes again, a replaced one keeps its content.
        Abandon();
    } else {
        TCaptureEnd end = TCaptureEnd::Complete;
        if (how == TMeasureController::RunEnd::Stopped)
            end = TCaptureEnd::Stopped;
        else if (how == TMeasureController::RunEnd::ReadError)
            end = TCaptureEnd::ReadError;
        else if (how == TMeasureController::RunEnd::WriteError)
            end = TCaptureEnd::WriteError;
        // The writer's end line says a write error itself once a write failed.
        result_.written = writer_.Finish(end);
        opened_ = false;
    }
    result_.samples = writer_.Samples();
    result_.bytes = writer_.Bytes();
    result_.error = writer_.Error();
    RestoreFileSizeSignal();
    emit Ended();
}

} // namespace mirantos
