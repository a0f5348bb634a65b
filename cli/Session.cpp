#include "Session.h"

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
    message_ = std::make_unique<TmyMessage>(QString::fromUtf8(mirantos::text::AppTitle),
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
    TMeasureRecord& r = *record_;
    auto scratch = std::make_unique<TChannelStorage>();
    TAdcSetting loaded = r.Setting;
    TChannelData ch0{0, scratch->Code0.data(), scratch->Volt0.data()};
    TChannelData ch1{0, scratch->Code1.data(), scratch->Volt1.data()};
    if (path.empty() || !file_->LoadData(path, &loaded, &ch0, &ch1))
        return false;

    r.Setting.spsSel = loaded.spsSel;
    r.Setting.DataCountSel = loaded.DataCountSel;
    r.Setting.CHSel = loaded.CHSel;
    r.Setting.GainSel = loaded.GainSel;
    r.Setting.fSinc5 = loaded.fSinc5;
    r.Setting.fBUF_ON = loaded.fBUF_ON;
    r.Setting.Gain = adc_ ? adc_->GetGain() : kBoardGain;
    r.ResetPointers();
    std::copy_n(ch0.Code, std::clamp(ch0.Count, 0, CHANNEL_CAPACITY), r.Ch0.Code);
    std::copy_n(ch1.Code, std::clamp(ch1.Count, 0, CHANNEL_CAPACITY), r.Ch1.Code);

    r.MarkComplete(0);
    r.Ch0.Count = r.fCh0Valid ? ch0.Count : 0;
    r.Ch1.Count = r.fCh1Valid ? ch1.Count : 0;
    r.ConvertToVolt();
    view_->Graph().DrawRecord(host_.VoltMode());
    r.ComputeCodeStatistics();
    r.ComputeVoltStatistics();

    host_.SetMeasureCaption(QString::fromUtf8(mirantos::kStartCaption));
    status_->ShowFileLoaded();
    host_.UpdateCaption(QString::fromStdString(path));
    if (r.Setting.CHSel == 1) {
        controller_->fStatCh0 = 0;
        controller_->ShowChannelStatistics(1);
    } else {
        controller_->fStatCh0 = 1;
        controller_->ShowChannelStatistics(0);
    }
    return true;
}

bool TCliSession::Save(const std::string& nameWithExtension, bool overwrite, TSaveOutcome* outcome)
{
    file_->SetOverwriteQuestion([overwrite](const std::string&) { return overwrite; });
    const TAdcSetting& s = record_->Setting;
    switch (s.CHSel) {
    case 0:
        return file_->SaveData(nameWithExtension, &s, &record_->Ch0, outcome);
    case 1:
        return file_->SaveData(nameWithExtension, &s, &record_->Ch1, outcome);
    case 2:
        return file_->SaveData2ch(nameWithExtension, &s, &record_->Ch0, &record_->Ch1, outcome);
    default:
        if (outcome)
            *outcome = TSaveOutcome::Failed;
        return false;
    }
}

QString TCliSession::ChannelReadout(int channel)
{
    controller_->ShowChannelStatistics(channel);
    return panels_.PanelText(TmyStatus::DetailPanel);
}

} // namespace mirantos::cli
