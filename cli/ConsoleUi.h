#pragma once
// The window's parts as a terminal has them: status-bar panels that only
// remember their texts, error boxes that print their text, and the controls
// the controller reads, filled from the command line.

#include "MeasureController.h"
#include "Mymessage.h"
#include "Mystatus.h"

#include <array>
#include <functional>
#include <iosfwd>

namespace mirantos::cli {

class TConsolePanels : public IStatusPanels {
public:
    static constexpr int PanelCount = 3;

    void SetPanelText(int index, const QString& text) override;
    void SetPanelWidth(int index, int width) override;
    // A terminal has no pixels; the character count stands in for the width.
    int TextWidth(const QString& text) const override;

    // Empty for an index outside the panels.
    QString PanelText(int index) const;

    // Called after every text change with the panel index.
    std::function<void(int)> onChange;

private:
    std::array<QString, PanelCount> texts_{};
    std::array<int, PanelCount> widths_{};
};

// An error box is one line on the error stream.
class TStreamPresenter : public IMessagePresenter {
public:
    explicit TStreamPresenter(std::ostream& err) : err_(err) {}
    void ShowError(const QString& caption, const QString& text) override;
    int Shown() const { return shown_; }

private:
    std::ostream& err_;
    int shown_ = 0;
};

// The controls of the window, as the command line sets them.
struct TControlValues {
    int rateIndex = 1;
    int countIndex = 3;
    int channelIndex = 0;
    bool sinc3 = true;
    bool voltMode = false;
};

class TCliHost : public IControllerHost {
public:
    explicit TCliHost(const TControlValues& controls);

    void DisableControls() override { controlsEnabled_ = false; }
    void EnableControls() override { controlsEnabled_ = true; }
    void EnableMeasureButtonOnly() override { controlsEnabled_ = false; }
    QString MeasureCaption() const override { return caption_; }
    void SetMeasureCaption(const QString& caption) override { caption_ = caption; }
    int RateIndex() const override { return controls_.rateIndex; }
    int CountIndex() const override { return controls_.countIndex; }
    int ChannelIndex() const override { return controls_.channelIndex; }
    bool Sinc3Checked() const override { return controls_.sinc3; }
    bool VoltMode() const override { return controls_.voltMode; }
    void UpdateCaption(const QString& fileName) override { fileName_ = fileName; }

    bool ControlsEnabled() const { return controlsEnabled_; }

private:
    TControlValues controls_;
    QString caption_;
    QString fileName_;
    bool controlsEnabled_ = true;
};

// UTF-8 bytes of a text.
std::string Utf8(const QString& text);

} // namespace mirantos::cli
