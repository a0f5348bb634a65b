#include "Session.h"

#include "RecordFile.h"

#include "Ad7177.h"
#include "Texts.h"

#include <algorithm>

namespace mirantos::cli {

namespace {

// The board driver's fixed gain; a load sets it without a board at hand.
constexpr int32_t kBoardGain = 1;

} // namespace

TCliSession::TCliSession(const TControlValues& controls, std::ostream& err,
                         std::unique_ptr<IFtdiDriver> driver, QSize paintBoxSize)
    : host_(controls), presenter_(err), record_(std::make_unique<TMeasureRecord>())
{
    message_ = std::make_unique<TmyMessage>(QString::fromUtf8(mirantos::text::BoardShortName),
                                            mirantos::text::BoxCaption, &presenter_);
    status_ = std::make_unique<TmyStatus>(&panels_, QString::fromUtf8(mirantos::text::BoardName),
                                          TmyStatus::DetailPanel);
    if (driver)
        adc_ = std::make_unique<TADC>(&owner_, std::move(driver));
    file_ = std::make_unique<TmyFile>();
    view_ = std::make_unique<TGraphView>(*record_, paintBoxSize);

    TAdcSetting& s = record_->Setting;
    s.spsSel = controls.rateIndex;
    s.DataCountSel = controls.countIndex;
    s.CHSel = controls.channelIndex;
    record_->ResetPointers();

    controller_ = std::make_unique<TMeasureController>(
        &host_, record_.get(), adc_.get(), status_.get(), message_.get(), &view_->Graph());
}

TCliSession::~TCliSession()
{
    // The window's order: the board driver (closing the device) before the graph.
    controller_.reset();
    message_.reset();
    status_.reset();
    adc_.reset();
    file_.reset();
    view_.reset();
}

bool TCliSession::Load(const std::string& path)
{
    auto scratch = std::make_unique<TChannelStorage>();
    if (!mirantos::LoadRecord(*file_, path, *scratch, *record_,
                              adc_ ? adc_->GetGain() : kBoardGain))
        return false;
    controller_->CompleteDataSet();
    host_.SetMeasureCaption(QString::fromUtf8(mirantos::kStartCaption));
    status_->ShowFileLoaded();
    host_.UpdateCaption(QString::fromStdString(path));
    controller_->ShowDataSetStatistics();
    return true;
}

bool TCliSession::Save(const std::string& nameWithExtension, bool overwrite, TSaveOutcome* outcome)
{
    file_->SetOverwriteQuestion([overwrite](const std::string&) { return overwrite; });
    return mirantos::SaveRecord(*file_, nameWithExtension, *record_, outcome);
}

QString TCliSession::ChannelReadout(int channel)
{
    controller_->ShowChannelStatistics(channel);
    return panels_.PanelText(TmyStatus::DetailPanel);
}

} // namespace mirantos::cli
