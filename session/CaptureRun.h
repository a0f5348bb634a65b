#pragma once
// TCaptureRun: one long capture streamed to a capture file, the same for
// mirantos-cli and the window. It opens the file before the board is touched,
// hands the session's controller a sink that writes each block, writes the
// buffer out at least every half second also while the board sends nothing,
// gives the file its header when the run starts and its end line when the run
// ends, and leaves no new file (and a replaced one as it was) when not a
// sample came. The owner shows progress and the outcome in its own way.

#include "CaptureFile.h"
#include "MeasureController.h"

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace mirantos {

class TMeasureSession;
class TStopRequest;

// What a capture records: the board's settings and the samples per channel.
struct TCaptureSettings {
    int32_t rateIndex = 0;
    bool sinc5 = false;
    int32_t chSel = 0; // 0 CH0, 1 CH1, 2 both
    int32_t count = 0; // kMinCaptureCount..kBoardMaxCount
};

// Samples a capture of `seconds` at a rate takes (not bounded to the board's
// range; 0 for a rate outside the table).
int64_t CaptureCountForSeconds(int64_t seconds, int32_t rateIndex, bool sinc5);
// The longest and shortest whole-second captures the board takes at a rate.
int64_t CaptureMaxSeconds(int32_t rateIndex, bool sinc5);
int64_t CaptureMinSeconds(int32_t rateIndex, bool sinc5);

struct TCaptureResult {
    // The start reached the board (else nothing was written).
    bool started = false;
    TMeasureController::RunEnd how = TMeasureController::RunEnd::Completed;
    // At least one sample came, so the file holds the capture.
    bool kept = false;
    // The end line and the last write-out went to disk.
    bool written = false;
    int64_t samples = 0;
    int64_t bytes = 0;
    // errno of the first failed write (0: none).
    int error = 0;
    // Why the run ended with the read error (the controller's words).
    std::string readFailure;
};

class TCaptureRun : public QObject {
    Q_OBJECT
public:
    // Called with every block as it went into the file.
    using BlockObserver = std::function<void(const uint32_t* ch0, const uint32_t* ch1, int32_t n)>;

    TCaptureRun();
    ~TCaptureRun() override;

    // Opens the file: an existing one is refused (EEXIST) unless `replace`.
    // False with OpenError() set; nothing else happens then.
    bool Open(const std::string& path, bool replace);
    int OpenError() const { return writer_.Error(); }
    const std::string& Path() const { return path_; }

    void SetBlockObserver(BlockObserver observer) { observer_ = std::move(observer); }

    // Starts the capture on the session's board with the owner's controls
    // showing `settings`. False when the start failed (the session showed why);
    // the file is then abandoned and Ended() is not emitted.
    bool Start(TMeasureSession& session, const TCaptureSettings& settings);
    // Stops the capture as the stop button does, as soon as the session lets it.
    void RequestStop();
    // Gives up an opened file of a capture that will not start.
    void Abandon();

    bool Running() const { return running_; }
    // Samples and bytes taken so far.
    int64_t Samples() const { return writer_.Samples(); }
    int64_t Bytes() const { return writer_.Bytes(); }
    // Valid once Ended() was emitted (or Start failed).
    const TCaptureResult& Result() const { return result_; }

    // The buffer goes to disk half a second after its oldest line at the latest.
    static constexpr int kFlushCheckMs = 250;

signals:
    // The board took the start: the capture's settings as its file states them.
    void Started(const mirantos::TCaptureInfo& info);
    // The file is finished (or abandoned) and Result() tells how.
    void Ended();

private:
    class Sink;
    void RunStarted();
    void RunEnded(TMeasureController::RunEnd how);
    void RestoreFileSizeSignal();

    TCaptureWriter writer_;
    std::string path_;
    std::unique_ptr<Sink> sink_;
    std::unique_ptr<TStopRequest> stop_;
    TMeasureSession* session_ = nullptr;
    TCaptureSettings settings_;
    QTimer flushTimer_;
    // The session's signals reach us only through this, for one run.
    std::unique_ptr<QObject> context_;
    BlockObserver observer_;
    bool running_ = false;
    bool opened_ = false;
    TCaptureResult result_;
    void (*oldFileSizeHandler_)(int) = nullptr;
    bool fileSizeHandlerSet_ = false;
};

} // namespace mirantos
