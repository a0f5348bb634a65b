#include "MeasureController.h"

#include "Ad7177.h"
#include "Graph_2ch.h"
#include "Mymessage.h"
#include "Mystatus.h"
#include "RateTable.h"
#include "ReadoutText.h"
#include "Tables.h"

#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Counts the sequences in progress, so that a handler let in by a command wait
// or a redraw can tell that it came in between.
class BusyScope {
public:
    explicit BusyScope(int& counter) : counter_(counter) { ++counter_; }
    ~BusyScope() { --counter_; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    int& counter_;
};

} // namespace

TChannelReadout ChannelReadout(const TMeasureRecord& record, int channel)
{
    const bool ch0 = channel == 0;
    const TCodeExtremes e = ChannelExtremes(ch0 ? record.Ch0 : record.Ch1);
    TChannelReadout r;
    r.MaxCode = e.Max;
    r.MinCode = e.Min;
    r.SigmaCode = ch0 ? record.Ch0SigmaCode : record.Ch1SigmaCode;
    // Kept in double, not rounded to the record's float microvolts: near 1.2 V a
    // float moves in 0.125 uV steps, and the pp of low-noise data came out
    // several percent off the noise analysis's figure for the same samples.
    r.MaxUv = CodeToMicrovolt(e.Max, record.Setting.Gain);
    r.MinUv = CodeToMicrovolt(e.Min, record.Setting.Gain);
    r.SigmaUv = ch0 ? record.Ch0SigmaVolt : record.Ch1SigmaVolt;
    return r;
}

QString ChannelReadoutText(const TMeasureRecord& record, int channel, bool voltMode)
{
    const TChannelReadout r = ChannelReadout(record, channel);
    return voltMode ? mirantos::StatVoltText(channel, r.MaxUv, r.MinUv, r.SigmaUv)
                    : mirantos::StatCodeText(r.MaxCode, r.MinCode, r.SigmaCode, channel);
}

TMeasureController::TMeasureController(IControllerHost* host, TMeasureRecord* record, TADC* adc,
                                       TmyStatus* status, TmyMessage* message, TGraph_2CH* graph,
                                       QObject* parent)
    : QObject(parent), host_(host), record_(record), adc_(adc), status_(status), message_(message),
      graph_(graph), pollTimer_(new QTimer(this))
{
    // A run is polled from the event loop (PollIntervalMs); nothing polls
    // outside a run.
    pollTimer_->setTimerType(Qt::PreciseTimer);
    connect(pollTimer_, &QTimer::timeout, this, &TMeasureController::Poll);
}

TMeasureController::~TMeasureController() = default;

namespace {

// Milliseconds between the polls of a run with these settings.
int PollIntervalMs(const TAdcSetting& s)
{
    // One read takes one block of records, about 10 ms of samples at every
    // rate from 100 sps up. Polling twice per block keeps up with twice the
    // board's pace after a stall and puts the last block on screen within a
    // few milliseconds, at a fraction of the wake-ups a 1 ms poll costs.
    const double sps = mirantos::SettingRateSps(s);
    if (sps <= 0)
        return 1;
    const double blockMs = 1000.0 * mirantos::SamplesPerRead(s.spsSel) / sps;
    return std::clamp(static_cast<int>(blockMs / 2), 1, 5);
}

} // namespace

int64_t TMeasureController::QuietTimeoutMs(const TAdcSetting& setting)
{
    const double sps = mirantos::SettingRateSps(setting);
    if (!(sps > 0))
        return kQuietTimeoutMs;
    return std::max<int64_t>(kQuietTimeoutMs, static_cast<int64_t>(std::ceil(10000.0 / sps)));
}

bool TMeasureController::WentQuiet()
{
    // A board that stops streaming leaves the link healthy (the chip keeps
    // answering with status-only packets), so no read ever fails by itself.
    const int64_t quiet = sinceRecord_.elapsed();
    if (quiet < quietLimitMs_)
        return false;
    readFailure_ = "the board stopped sending: no record for " + std::to_string(quiet / 1000) +
                   "." + std::to_string(quiet / 100 % 10) + " s";
    return true;
}

void TMeasureController::SetMeasuring(bool on)
{
    fMeasuring = on ? 1 : 0;
    if (!on) {
        pollTimer_->stop();
        return;
    }
    readFailure_.clear();
    sinceRecord_.start();
    // A capture's settings never reach the record. The run's settings stay
    // as they are until it ends, so its poll interval and quiet limit do too.
    const TAdcSetting& run = sink_ != nullptr ? pending_ : record_->Setting;
    quietLimitMs_ = QuietTimeoutMs(run);
    pollTimer_->start(PollIntervalMs(run));
}

void TMeasureController::MeasureBtnClick()
{
    // A second click that arrives while a sequence waits for the board or
    // redraws is dropped rather than run inside the first one.
    if (busy_ > 0)
        return;
    const QString caption = host_->MeasureCaption();
    if (caption == QString::fromUtf8(mirantos::kStartCaption))
        StartSequence();
    else if (caption == QString::fromUtf8(mirantos::kStopCaption))
        StopSequence();
}

void TMeasureController::Start()
{
    if (busy_ > 0 || fMeasuring != 0)
        return;
    StartSequence();
}

void TMeasureController::Stop()
{
    if (busy_ > 0 || fMeasuring == 0)
        return;
    StopSequence();
}

void TMeasureController::StartCapture(ISampleSink* sink, int32_t count)
{
    if (busy_ > 0 || fMeasuring != 0 || sink == nullptr || count < mirantos::kMinCaptureCount ||
        count > mirantos::kBoardMaxCount)
        return;
    sink_ = sink;
    captureCount_ = count;
    StartSequence();
    if (fMeasuring == 0)
        sink_ = nullptr;
}

void TMeasureController::ReadSettings()
{
    pending_ = record_->Setting;
    pending_.spsSel = host_->RateIndex();
    pending_.DataCountSel = host_->CountIndex();
    pending_.CHSel = host_->ChannelIndex();
    pending_.fSinc5 = host_->Sinc3Checked() ? 0 : 1;
}

void TMeasureController::StartSequence()
{
    BusyScope busy(busy_);
    host_->DisableControls();
    ReadSettings();

    if (fConnected == 0) {
        if (!ConnectBoard()) {
            fConnected = 0;
            host_->EnableControls();
            return;
        }
        fConnected = 1;
    }

    if (!ConfigureBoard()) {
        fConnected = 0;
        host_->EnableControls();
        status_->ShowBoardError();
        return;
    }

    // A capture leaves the data set on screen and in the record alone.
    if (sink_ == nullptr) {
        if (graph_ && record_->HasData())
            graph_->DrawAxesOnly(host_->VoltMode());

        // The board took the new settings: from here on they describe the record.
        record_->Setting = pending_;
        record_->Clear();
        record_->ResetPointers();
    }
    ReceivedCount = 0;
    SetMeasuring(true);

    host_->SetMeasureCaption(QString::fromUtf8(mirantos::kStopCaption));
    status_->ShowMeasuring();
    status_->ShowStarting();
    host_->EnableMeasureButtonOnly();
    host_->UpdateCaption(QString());
    GraphPos = 0;
    emit RunStarted();
}

bool TMeasureController::ConnectBoard()
{
    auto fail = [this](bool notFound) {
        // Why the link would not open (two boards, no permission, no such
        // interface), in the backend's words; nothing for a wrong name.
        const std::string why = adc_->IsOpen() ? std::string() : adc_->LinkError();
        adc_->Disconnect();
        if (notFound) {
            message_->NotFoundError(QString::fromStdString(why));
            status_->ShowBoardNotFound();
        } else {
            message_->NoResponseError();
            status_->ShowBoardNoResponse();
        }
        return false;
    };

    if (!adc_->Connect())
        return fail(true);
    if (!adc_->CheckBoard())
        return fail(false);

    char name[11] = {};
    if (!adc_->GetBoardName(name))
        return fail(false);
    if (std::strcmp(name, mirantos::kBoardId) != 0)
        return fail(true);
    BoardId = QString::fromLatin1(name);

    char version[11] = {};
    if (!adc_->GetVersion(version))
        return fail(false);
    BoardVersion = QString::fromLatin1(version);
    status_->ShowBoardVersion(BoardId, BoardVersion);
    return true;
}

bool TMeasureController::ConfigureBoard()
{
    if (!(host_->Sinc3Checked() ? adc_->SetSinc3() : adc_->SetSinc5()))
        return false;

    const int channel = host_->ChannelIndex();
    if (mirantos::ValidChannelIndex(channel))
        pending_.CHSel = channel;

    if (!adc_->SetRate(host_->RateIndex()))
        return false;

    // The lists cannot hold a text outside their items, but a start must never
    // index the tables with a stray value all the same.
    if (!mirantos::ValidRateIndex(pending_.spsSel) || !mirantos::ValidChannelIndex(pending_.CHSel))
        return false;
    if (sink_ != nullptr) {
        TargetCount = captureCount_;
    } else {
        const int countIndex = host_->CountIndex();
        if (!mirantos::ValidCountIndex(countIndex))
            return false;
        TargetCount = mirantos::kCountValues[static_cast<size_t>(countIndex)];
    }

    return adc_->StartConversion(pending_.CHSel, TargetCount);
}

void TMeasureController::DisconnectBoard()
{
    adc_->StopConversion();
    adc_->Disconnect();
    fConnected = 0;
}

void TMeasureController::Poll()
{
    if (fMeasuring == 0 || busy_ > 0)
        return;
    BusyScope busy(busy_);
    if (sink_ != nullptr)
        AcquireToSink(pending_.CHSel == 2);
    else if (record_->Setting.CHSel == 2)
        AcquireDual();
    else
        AcquireSingle();
}

void TMeasureController::AcquireSingle()
{
    Acquire(false);
}

void TMeasureController::AcquireDual()
{
    Acquire(true);
}

int32_t TMeasureController::ReadRecords(bool dual, uint32_t* codes0, uint32_t* codes1, int32_t n,
                                        bool* failed)
{
    int32_t converted = 0;
    const bool ok = dual ? adc_->ReadData2CH(codes0, codes1, n, &converted)
                         : adc_->ReadData1CH(codes0, &converted, n);
    *failed = !ok;
    if (!ok) {
        // Records converted before a malformed one are genuine: they are kept.
        // After a link failure the backend still hands out what arrived
        // before it, whole records short of a block included.
        const std::string link = adc_->LinkError();
        readFailure_ = link.empty() ? std::string("the board sent a malformed record") : link;
        if (converted == 0 && !link.empty())
            converted = ReadTail(dual, codes0, codes1, n - 1);
        return converted;
    }
    if (converted > 0) {
        sinceRecord_.restart();
        return converted;
    }
    if (!WentQuiet())
        return 0;
    *failed = true;
    return ReadTail(dual, codes0, codes1, n - 1);
}

void TMeasureController::Acquire(bool dual)
{
    const int32_t n = mirantos::SamplesPerRead(record_->Setting.spsSel);
    if (ReceivedCount >= TargetCount)
        return;

    // Both arrays take the same index; a one-channel run reads into its own one.
    TChannelData& measured = record_->Setting.CHSel == 1 ? record_->Ch1 : record_->Ch0;
    bool failed = false;
    const int32_t got = ReadRecords(dual, (dual ? record_->Ch0 : measured).Code + ReceivedCount,
                                    record_->Ch1.Code + ReceivedCount,
                                    std::min(n, TargetCount - ReceivedCount), &failed);
    ReceivedCount += got;
    if (failed) {
        ReadErrorSequence();
        return;
    }
    if (got == 0)
        return;
    emit SamplesReceived(ReceivedCount, TargetCount);

    if (ReceivedCount >= TargetCount) {
        EndSequence(dual);
        return;
    }
    const int32_t last = ReceivedCount - 1;
    if (dual)
        status_->ShowSample2ch(ReceivedCount, record_->Ch0.Code[last], record_->Ch1.Code[last]);
    else
        status_->ShowSample(ReceivedCount, measured.Code[last]);
    LiveUpdate();
}

void TMeasureController::AcquireToSink(bool dual)
{
    // The same reads as a run into the record, into one block instead. A
    // poll reads every whole block already there (up to a bound), so a
    // capture that fell behind during a slow disk write catches up at once;
    // the last block of a count that is no multiple of the block is shorter.
    constexpr int kMaxBlocksPerPoll = 64;
    const int32_t perRead = mirantos::SamplesPerRead(pending_.spsSel);
    const bool ch1 = pending_.CHSel == 1;
    const uint32_t* c0 = dual || !ch1 ? block0_.data() : nullptr;
    const uint32_t* c1 = dual || ch1 ? block1_.data() : nullptr;
    for (int b = 0; b < kMaxBlocksPerPoll && ReceivedCount < TargetCount; ++b) {
        bool failed = false;
        const int32_t got =
            ReadRecords(dual, ch1 && !dual ? block1_.data() : block0_.data(), block1_.data(),
                        std::min(perRead, TargetCount - ReceivedCount), &failed);
        if (got > 0) {
            if (!sink_->Write(c0, c1, got)) {
                CaptureEnd(RunEnd::WriteError);
                return;
            }
            ReceivedCount += got;
        }
        if (failed) {
            CaptureEnd(RunEnd::ReadError);
            return;
        }
        if (got == 0)
            return;
        emit SamplesReceived(ReceivedCount, TargetCount);
        const auto last = static_cast<size_t>(got - 1);
        if (dual)
            status_->ShowSample2ch(ReceivedCount, block0_[last], block1_[last]);
        else
            status_->ShowSample(ReceivedCount, ch1 ? block1_[last] : block0_[last]);
    }
    if (ReceivedCount >= TargetCount)
        CaptureEnd(RunEnd::Completed);
}

void TMeasureController::CaptureEnd(RunEnd how)
{
    // The board is told to stop when it may still be sending; a completed
    // run sends nothing, as in the window.
    if (how == RunEnd::ReadError || how == RunEnd::WriteError)
        adc_->StopConversion();
    if (how == RunEnd::ReadError) {
        ReasonAfterStop();
        status_->ShowMeasureError();
    }
    else if (how == RunEnd::Completed)
        status_->ShowMeasureEnd();
    SetMeasuring(false);
    sink_ = nullptr;
    host_->SetMeasureCaption(QString::fromUtf8(mirantos::kStartCaption));
    host_->EnableControls();
    emit RunEnded(how);
}

void TMeasureController::LiveUpdate()
{
    // Slow, long runs show each further block of samples as it completes; at
    // most one block per poll.
    const TAdcSetting& s = record_->Setting;
    if (s.spsSel > mirantos::kLiveMaxRateIndex || s.DataCountSel < mirantos::kLiveMinCountIndex)
        return;
    if (ReceivedCount < GraphPos + mirantos::kLiveBlock)
        return;
    const int32_t last = GraphPos + mirantos::kLiveBlock - 1;
    record_->ConvertRangeToVolt(GraphPos, last);
    if (graph_)
        graph_->DrawBlock(host_->VoltMode(), GraphPos, last);
    GraphPos += mirantos::kLiveBlock;
}

int32_t TMeasureController::ReadTail(bool dual, uint32_t* codes0, uint32_t* codes1, int32_t room)
{
    // Reads ask for whole blocks; once the board has gone quiet, the records
    // short of a block that did arrive are taken one by one.
    int32_t taken = 0;
    while (taken < room) {
        int32_t converted = 0;
        const bool ok = dual ? adc_->ReadData2CH(codes0 + taken, codes1 + taken, 1, &converted)
                             : adc_->ReadData1CH(codes0 + taken, &converted, 1);
        if (!ok || converted == 0)
            break;
        ++taken;
    }
    return taken;
}

void TMeasureController::ReasonAfterStop()
{
    // An unplug fails the transfers in flight before the system reports the
    // device gone; the stop command finds out, and then that is the reason.
    if (const std::string link = adc_->LinkError(); !link.empty())
        readFailure_ = link;
}

void TMeasureController::ReadErrorSequence()
{
    adc_->StopConversion();
    ReasonAfterStop();
    SetMeasuring(false);
    // The samples that arrived before the failure are as good as those of a
    // stopped run, and are kept by the same rule; the detail panel still
    // ends on why the run ended.
    if (ReceivedCount < mirantos::kMinKeptSamples) {
        record_->Clear();
    } else {
        record_->MarkComplete(ReceivedCount);
        CompleteDataSet();
        ShowDataSetStatistics();
    }
    status_->ShowMeasureError();
    host_->SetMeasureCaption(QString::fromUtf8(mirantos::kStartCaption));
    host_->EnableControls();
    emit RunEnded(RunEnd::ReadError);
}

void TMeasureController::EndSequence(bool dual)
{
    if (dual)
        status_->ShowMeasureEnd();
    SetMeasuring(false);
    record_->MarkComplete(TargetCount);
    CompleteDataSet();
    host_->SetMeasureCaption(QString::fromUtf8(mirantos::kStartCaption));
    host_->EnableControls();
    status_->ShowMeasureEnd();
    ShowDataSetStatistics();
    emit RunEnded(RunEnd::Completed);
}

void TMeasureController::StopSequence()
{
    BusyScope busy(busy_);
    DisconnectBoard();
    status_->ShowMeasureAbort();
    SetMeasuring(false);
    if (sink_ != nullptr) {
        // A stopped capture keeps every sample its sink took.
        sink_ = nullptr;
        host_->SetMeasureCaption(QString::fromUtf8(mirantos::kStartCaption));
        host_->EnableControls();
        emit RunEnded(RunEnd::Stopped);
        return;
    }

    RunEnd how = RunEnd::Discarded;
    if (ReceivedCount < mirantos::kMinKeptSamples) {
        record_->Clear();
        status_->ClearReadout();
    } else {
        record_->MarkComplete(ReceivedCount);
        CompleteDataSet();
        ShowDataSetStatistics();
        how = RunEnd::Stopped;
    }
    host_->SetMeasureCaption(QString::fromUtf8(mirantos::kStartCaption));
    host_->EnableControls();
    emit RunEnded(how);
}

void TMeasureController::CompleteDataSet()
{
    record_->ConvertToVolt();
    if (graph_)
        graph_->DrawRecord(host_->VoltMode());
    record_->ComputeCodeStatistics();
    record_->ComputeVoltStatistics();
}

void TMeasureController::ShowDataSetStatistics()
{
    if (mirantos::ReadoutChannel(record_->Setting.CHSel) == 1) {
        fStatCh0 = 0;
        ShowChannelStatistics(1);
    } else {
        fStatCh0 = 1;
        ShowChannelStatistics(0);
    }
}

void TMeasureController::ShowChannelStatistics(int channel)
{
    const TChannelReadout r = ChannelReadout(*record_, channel);
    if (host_->VoltMode())
        status_->ShowStatVolt(channel, r.MaxUv, r.MinUv, r.SigmaUv);
    else
        status_->ShowStatCode(r.MaxCode, r.MinCode, r.SigmaCode, channel);
}

void TMeasureController::ShowCurrentStatistics()
{
    const int chsel = record_->Setting.CHSel;
    if (chsel == 0 && record_->fCh0Valid)
        ShowChannelStatistics(0);
    else if (chsel == 1 && record_->fCh1Valid)
        ShowChannelStatistics(1);
    else if (chsel == 2 && record_->fCh0Valid && record_->fCh1Valid)
        ShowChannelStatistics(fStatCh0 ? 0 : 1);
}

void TMeasureController::SwitchStatisticsChannel()
{
    if (!(record_->fCh0Valid && record_->fCh1Valid))
        return;
    fStatCh0 = fStatCh0 ? 0 : 1;
    ShowChannelStatistics(fStatCh0 ? 0 : 1);
}
