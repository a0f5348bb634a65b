#pragma once
// TMeasureController: the measurement run, from the start button to the
// finished data set. The window (and the command-line tool) own one and drive
// it through MeasureBtnClick; it reaches back to its owner only through
// IControllerHost, so the very same sequences run with or without widgets.

#include "MeasureRecord.h"
#include "Tables.h"
#include "Texts.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <array>
#include <cstdint>
#include <string>

class QTimer;

namespace mirantos {
// The start/stop button's two captions; the controller tells start from stop by them.
inline constexpr const char* kStartCaption = text::StartCaption;
inline constexpr const char* kStopCaption = text::StopCaption;
// The board's own name, which its identification reply must equal.
inline constexpr const char* kBoardId = "MIRANTOS";
} // namespace mirantos

class TADC;
class TGraph_2CH;
class TmyMessage;
class TmyStatus;

// What the controller needs from its owner: the controls it reads and greys out.
class IControllerHost {
public:
    virtual ~IControllerHost() = default;
    virtual void DisableControls() = 0;
    virtual void EnableControls() = 0;
    // During a run only the start/stop button stays usable.
    virtual void EnableMeasureButtonOnly() = 0;
    virtual QString MeasureCaption() const = 0;
    virtual void SetMeasureCaption(const QString& caption) = 0;
    // Item indexes of the rate, count and channel lists and the filter choice.
    virtual int RateIndex() const = 0;
    virtual int CountIndex() const = 0;
    virtual int ChannelIndex() const = 0;
    virtual bool Sinc3Checked() const = 0;
    // The check mark of the Y-unit menu: true shows microvolts.
    virtual bool VoltMode() const = 0;
    virtual void UpdateCaption(const QString& fileName) = 0;
    // A loaded file's settings shown in the lists and the filter choice; the
    // command-line tool has no controls to show them in.
    virtual void ShowSettings(const TAdcSetting& setting) { (void)setting; }
};

// Where a long capture's samples go instead of the record: each whole block
// as it is read, CH0 and CH1 codes side by side (the channel not measured is
// null). False ends the run as a write error.
class ISampleSink {
public:
    virtual ~ISampleSink() = default;
    virtual bool Write(const uint32_t* ch0, const uint32_t* ch1, int32_t n) = 0;
};

// The statistics readout of a channel, from the record alone: the extremes
// come from the same scan the graph scales by, the sigmas from the record.
// The microvolt extremes are those codes' microvolts in double: a float holds
// only 0.125 uV steps near 1.2 V, coarser than the noise the readout shows.
struct TChannelReadout {
    uint32_t MaxCode = 0;
    uint32_t MinCode = 0;
    float SigmaCode = 0;
    double MaxUv = 0;
    double MinUv = 0;
    float SigmaUv = 0;
};
TChannelReadout ChannelReadout(const TMeasureRecord& record, int channel);
// The detail panel's text for that readout, in microvolts or codes.
QString ChannelReadoutText(const TMeasureRecord& record, int channel, bool voltMode);

// The graph may be absent (a session that only wants numbers); then nothing is drawn.
class TMeasureController : public QObject {
    Q_OBJECT
public:
    enum class RunEnd { Completed, Stopped, Discarded, ReadError, WriteError };

    TMeasureController(IControllerHost* host, TMeasureRecord* record, TADC* adc, TmyStatus* status,
                       TmyMessage* message, TGraph_2CH* graph, QObject* parent = nullptr);
    ~TMeasureController() override;

    // The start/stop button: runs the start or the stop sequence by its caption.
    void MeasureBtnClick();
    // The two sequences the button runs, for callers without a button. Start
    // does nothing during a run, Stop nothing outside one.
    void Start();
    void Stop();
    // The start sequence for a capture of `count` samples per channel
    // (kMinCaptureCount..kBoardMaxCount): the same connect, identify and
    // configure steps with that count in the start command, the same reads,
    // but every block goes to `sink` and the record stays as it was. Its end
    // keeps whatever the sink took: target, stop and read error alike.
    void StartCapture(ISampleSink* sink, int32_t count);
    bool Capturing() const { return sink_ != nullptr; }
    // One acquisition step; the poll timer calls it while a run is in progress.
    void Poll();
    // Shows channel c's statistics (0 or 1) in the current unit.
    void ShowChannelStatistics(int channel);
    // A data set has become complete (counts and flags set): microvolts, the
    // whole graph, then both statistics.
    void CompleteDataSet();
    // The readout after a run or a load: CH1 for a CH1 data set, else CH0.
    void ShowDataSetStatistics();
    // The readout again in the current unit, for the channel it showed (a
    // unit change); nothing for a channel the data set does not hold.
    void ShowCurrentStatistics();
    // A two-channel data set's readout switches to the other channel; any
    // other data set keeps its readout.
    void SwitchStatisticsChannel();

    // True while a sequence of ours is running (a command wait or a redraw may
    // let other handlers in; the owner must not destroy us then).
    bool Busy() const { return busy_ > 0; }

    bool Measuring() const { return fMeasuring != 0; }
    bool Connected() const { return fConnected != 0; }
    int32_t Received() const { return ReceivedCount; }
    int32_t Target() const { return TargetCount; }
    // Samples already drawn as live blocks during this run.
    int32_t LiveDrawn() const { return GraphPos; }
    const QString& Board() const { return BoardId; }
    const QString& Version() const { return BoardVersion; }
    // The channel the statistics readout shows (0 or 1).
    int StatisticsChannel() const { return fStatCh0 ? 0 : 1; }
    // Why the last run ended with the read error (the backend's words, or that
    // the board stopped sending); empty after any other end.
    const std::string& ReadFailure() const { return readFailure_; }

    // A run that receives no whole record for this long (and at least ten
    // record periods) has lost its board: it ends with the read error.
    static constexpr int kQuietTimeoutMs = 2000;
    // The quiet time-out of a run with these settings, in milliseconds.
    static int64_t QuietTimeoutMs(const TAdcSetting& setting);

signals:
    void RunStarted();
    void SamplesReceived(int received, int target);
    void RunEnded(TMeasureController::RunEnd how);

private:
    uint8_t fMeasuring = 0;
    uint8_t fConnected = 0;
    int32_t ReceivedCount = 0;
    int32_t TargetCount = 0;
    int32_t GraphPos = 0;
    QString BoardId;
    QString BoardVersion;
    uint8_t fStatCh0 = 0;

    void StartSequence();
    void StopSequence();
    void ReadSettings();
    bool ConnectBoard();
    bool ConfigureBoard();
    void DisconnectBoard();
    void AcquireSingle();
    void AcquireDual();
    void Acquire(bool dual);
    void LiveUpdate();
    void ReadErrorSequence();
    // The read failure's reason, decided again once the stop command went out.
    void ReasonAfterStop();
    // The one read of a run, into the record or a capture's block: the
    // records taken; `failed` when the run ends with the read error (a failed
    // read, or a board gone quiet), after the records that came before.
    int32_t ReadRecords(bool dual, uint32_t* codes0, uint32_t* codes1, int32_t n, bool* failed);
    int32_t ReadTail(bool dual, uint32_t* codes0, uint32_t* codes1, int32_t room);
    // True (and the read error recorded) once the run has gone quiet too long.
    bool WentQuiet();
    void EndSequence(bool dual);
    void SetMeasuring(bool on);
    void AcquireToSink(bool dual);
    void CaptureEnd(RunEnd how);

    IControllerHost* host_;
    TMeasureRecord* record_;
    TADC* adc_;
    TmyStatus* status_;
    TmyMessage* message_;
    TGraph_2CH* graph_;
    QTimer* pollTimer_;
    // Settings read from the controls at a start; they describe the record only
    // once the board has accepted them and the run begins.
    TAdcSetting pending_;
    int busy_ = 0;
    // A capture's sink and count (null outside a capture), and the block it
    // reads into: the most records one poll asks for.
    ISampleSink* sink_ = nullptr;
    int32_t captureCount_ = 0;
    std::array<uint32_t, mirantos::kMaxSamplesPerRead> block0_{};
    std::array<uint32_t, mirantos::kMaxSamplesPerRead> block1_{};
    // Time since the run started or last received a record, and how long
    // that may grow before the run has gone quiet (set at the start).
    QElapsedTimer sinceRecord_;
    int64_t quietLimitMs_ = kQuietTimeoutMs;
    std::string readFailure_;
};
