#include "MeasureSession.h"

#include "Ad7177.h"
#include "Mymessage.h"
#include "Mystatus.h"
#include "RecordFile.h"
#include "Texts.h"

#include <QFile>
#include <new>

namespace mirantos {

TMeasureSession::TMeasureSession(TSessionParts parts)
    : parts_(std::move(parts)), scratch_(std::make_unique<TChannelStorage>())
{
    record_.Clear();
    record_.ResetPointers();
}

TMeasureSession::~TMeasureSession()
{
    Destroy();
}

void TMeasureSession::Destroy()
{
    // The controller refers to every service: it goes first; then the
    // services in their creation order (the board's goes closing the device).
    controller_.reset();
    message_.reset();
    status_.reset();
    adc_.reset();
    file_.reset();
    graph_.reset();
}

bool TMeasureSession::Create()
{
    try {
        message_ = std::make_unique<TmyMessage>(QString::fromUtf8(text::BoardShortName),
                                                text::BoxCaption, parts_.Presenter);
    } catch (const std::bad_alloc&) {
        // Without the message object the box is shown directly.
        if (parts_.Presenter != nullptr)
            parts_.Presenter->ShowError(QString::fromUtf8(text::BoxCaption),
                                        QString::fromUtf8(text::BoxMemoryError) +
                                            QString::fromUtf8(text::PartMessage));
        return false;
    }

    auto attempt = [this](const char* part, auto&& create) {
        try {
            create();
            return true;
        } catch (const std::bad_alloc&) {
            message_->MemoryError(QString::fromLatin1(part));
            Destroy();
            return false;
        }
    };
    const bool made =
        attempt(text::PartStatus,
                [&] {
                    status_ = std::make_unique<TmyStatus>(
                        parts_.Panels, QString::fromUtf8(text::BoardName), parts_.MaxPanel);
                }) &&
        attempt(text::PartBoard,
                [&] {
                    if (parts_.MakeDriver)
                        adc_ = std::make_unique<TADC>(
                            parts_.TimerOwner ? parts_.TimerOwner : &owner_, parts_.MakeDriver());
                }) &&
        attempt(text::PartFile, [&] { file_ = std::make_unique<TmyFile>(parts_.AskOverwrite); }) &&
        attempt(text::PartGraph, [&] {
            if (parts_.PaintBox == nullptr)
                return;
            IGraphLabel* const xs[kXLabelCount] = {parts_.XLabels[0], parts_.XLabels[1]};
            IGraphLabel* ys[kYLabelCount] = {};
            for (int i = 0; i < kYLabelCount; ++i)
                ys[i] = parts_.YLabels[static_cast<size_t>(i)];
            graph_ = std::make_unique<TGraph_2CH>(parts_.PaintBox, &record_.Ch0, &record_.Ch1,
                                                  &record_.Setting, xs, ys);
        });
    if (!made)
        return false;
    if (graph_ && parts_.ProcessEvents)
        graph_->SetProcessEvents(parts_.ProcessEvents);
    controller_ = std::make_unique<TMeasureController>(parts_.Host, &record_, adc_.get(),
                                                       status_.get(), message_.get(), graph_.get());
    return true;
}

bool TMeasureSession::VoltMode() const
{
    return parts_.Host != nullptr && parts_.Host->VoltMode();
}

// ---- Runs ---------------------------------------------------------------------

void TMeasureSession::Click()
{
    // Without a board there is nothing to start (a files-only session).
    if (controller_ && adc_)
        controller_->MeasureBtnClick();
}

void TMeasureSession::Start()
{
    if (controller_ && adc_)
        controller_->Start();
}

void TMeasureSession::Stop()
{
    if (controller_ && adc_)
        controller_->Stop();
}

void TMeasureSession::StartCapture(ISampleSink* sink, int32_t count)
{
    if (controller_ && adc_)
        controller_->StartCapture(sink, count);
}

bool TMeasureSession::Measuring() const
{
    return controller_ && controller_->Measuring();
}

bool TMeasureSession::Busy() const
{
    return controller_ && controller_->Busy();
}

bool TMeasureSession::BoardSimulated() const
{
    return adc_ && adc_->Simulated();
}

std::string TMeasureSession::BoardIdentity() const
{
    return adc_ ? adc_->Identity() : std::string();
}

// ---- Files --------------------------------------------------------------------

int32_t TMeasureSession::LoadGain() const
{
    return adc_ ? adc_->GetGain() : kBoardGain;
}

bool TMeasureSession::Load(const std::string& path)
{
    return Load(path, QFile::decodeName(QByteArray::fromStdString(path)));
}

bool TMeasureSession::Load(const std::string& path, const QString& shownName)
{
    if (!controller_)
        return false;
    IControllerHost* host = parts_.Host;
    host->DisableControls();
    if (!LoadRecord(*file_, path, *scratch_, record_, LoadGain())) {
        message_->DataFileError();
        host->EnableControls();
        return false;
    }
    host->ShowSettings(record_.Setting);
    controller_->CompleteDataSet();
    host->SetMeasureCaption(QString::fromUtf8(kStartCaption));
    status_->ShowFileLoaded();
    host->UpdateCaption(shownName);
    controller_->ShowDataSetStatistics();
    host->EnableControls();
    return true;
}

TSaveOutcome TMeasureSession::Save(const std::string& nameWithExtension)
{
    if (!controller_)
        return TSaveOutcome::Failed;
    TSaveOutcome outcome = TSaveOutcome::Failed;
    const bool ok = SaveRecord(*file_, nameWithExtension, record_, &outcome);
    if (!ok || outcome == TSaveOutcome::Failed) {
        message_->SaveError();
        return TSaveOutcome::Failed;
    }
    // A declined overwrite wrote nothing, so it claims nothing either.
    if (outcome == TSaveOutcome::Declined)
        return outcome;
    status_->ShowFileSaved();
    parts_.Host->UpdateCaption(QFile::decodeName(QByteArray::fromStdString(nameWithExtension)));
    return outcome;
}

void TMeasureSession::Clear()
{
    record_.Clear();
    if (graph_)
        graph_->DrawDefault(VoltMode());
}

// ---- The held data set -----------------------------------------------------------

bool TMeasureSession::Holds(int channel) const
{
    return channel == 0 ? record_.fCh0Valid != 0 : channel == 1 && record_.fCh1Valid != 0;
}

int32_t TMeasureSession::Count(int channel) const
{
    if (!Holds(channel))
        return 0;
    return UsableCount(channel == 0 ? record_.Ch0 : record_.Ch1);
}

QString TMeasureSession::ReadoutText(int channel, bool voltMode) const
{
    return ChannelReadoutText(record_, channel, voltMode);
}

int TMeasureSession::ShownChannel() const
{
    return controller_ ? controller_->StatisticsChannel() : 0;
}

void TMeasureSession::SwitchChannel()
{
    if (controller_)
        controller_->SwitchStatisticsChannel();
}

void TMeasureSession::UnitChanged()
{
    if (!controller_)
        return;
    if (graph_ && record_.HasData())
        graph_->DrawRecord(VoltMode());
    else if (graph_)
        graph_->DrawDefault(VoltMode());
    controller_->ShowCurrentStatistics();
}

void TMeasureSession::Resized()
{
    if (!graph_)
        return;
    graph_->ResizeBitmap();
    if (record_.Ch0.Count != 0 || record_.Ch1.Count != 0)
        graph_->DrawRecord(VoltMode());
    else
        graph_->DrawDefault(VoltMode());
}

} // namespace mirantos
