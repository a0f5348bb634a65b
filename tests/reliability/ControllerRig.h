#pragma once
// The measurement controller with everything it talks to, minus the window:
// a host that plays the controls, a status bar and a message box that only
// record, and a graph drawing into its own bitmap. Any board driver fits.

#include "Ad7177.h"
#include "Graph_2ch.h"
#include "MeasureController.h"
#include "MeasureRecord.h"
#include "MeasureSession.h"
#include "Mymessage.h"
#include "Mystatus.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <ostream>
#include <vector>

// Readable QString values in test failure messages.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace mirantos::testing {

class FakeHost : public IControllerHost {
public:
    void DisableControls() override
    {
        controlsEnabled = false;
        measureEnabled = false;
    }
    void EnableControls() override
    {
        controlsEnabled = true;
        measureEnabled = true;
    }
    void EnableMeasureButtonOnly() override { measureEnabled = true; }
    QString MeasureCaption() const override { return caption; }
    void SetMeasureCaption(const QString& c) override { caption = c; }
    int RateIndex() const override { return rate; }
    int CountIndex() const override { return count; }
    int ChannelIndex() const override { return channel; }
    bool Sinc3Checked() const override { return sinc3; }
    bool VoltMode() const override { return volt; }
    void UpdateCaption(const QString& fileName) override { windowFile = fileName; }

    bool controlsEnabled = true;
    bool measureEnabled = true;
    QString caption = QString::fromUtf8(kStartCaption);
    int rate = 1;
    int count = 3;
    int channel = 0;
    bool sinc3 = false;
    bool volt = false;
    QString windowFile;
};

class RecordingPanels : public IStatusPanels {
public:
    void SetPanelText(int index, const QString& text) override
    {
        if (index >= 0 && index < 3)
            panel[index] = text;
    }
    void SetPanelWidth(int, int) override {}
    int TextWidth(const QString& text) const override { return 7 * static_cast<int>(text.size()); }
    QString panel[3];
};

class RecordingPresenter : public IMessagePresenter {
public:
    void ShowError(const QString&, const QString& text) override { shown.push_back(text); }
    QStringList shown;
};

class FakePaintBox : public IPaintBox {
public:
    int Left() const override { return 60; }
    int Top() const override { return 10; }
    int Width() const override { return 400; }
    int Height() const override { return 240; }
    void Present(const QImage&, const QRect&, const QRect&) override { ++presents; }
    int presents = 0;
};

class FakeLabel : public IGraphLabel {
public:
    void SetText(const QString& t) override { text = t; }
    int Width() const override { return 6 * static_cast<int>(text.size()); }
    int Height() const override { return 12; }
    void SetLeft(int) override {}
    void SetTop(int) override {}
    QString text;
};

// How the last run ended, as the controller announced it.
struct RunLog {
    int started = 0;
    std::vector<TMeasureController::RunEnd> ends;
};

// The measurement session as the window assembles it, on these stand-ins.
class ControllerRig {
public:
    explicit ControllerRig(std::unique_ptr<IFtdiDriver> driver);
    ~ControllerRig();

    // Clicks the start/stop button.
    void Click() { session->Click(); }
    bool Measuring() const { return session->Measuring(); }
    // Polls until the run ends or `maxPolls` polls have passed; true if it ended.
    bool PollUntilIdle(int maxPolls);

    QObject owner;
    FakeHost host;
    RecordingPanels panels;
    RecordingPresenter presenter;
    FakePaintBox paintBox;
    FakeLabel xLabels[2];
    FakeLabel yLabels[11];
    // Answers the overwrite question; unset, an existing file is never replaced.
    std::function<bool()> answerOverwrite;
    std::unique_ptr<TMeasureSession> session;
    // The session's parts, for the checks.
    const TMeasureRecord& record;
    TmyMessage* message = nullptr;
    TmyStatus* status = nullptr;
    TADC* adc = nullptr;
    TGraph_2CH* graph = nullptr;
    TMeasureController* controller = nullptr;
    RunLog runs;
};

} // namespace mirantos::testing
