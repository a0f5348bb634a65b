#pragma once
// A window on a simulated board with a manual clock, and scripted answers for
// every modal question, so the program's whole job can be driven headless.

#include "AnalysisDialogs.h"
#include "BoardFactory.h"
#include "Mirantos_Main.h"
#include "Mymessage.h"
#include "StatusBarWidget.h"
#include "ViewerDialogs.h"
#include "WindowDialogs.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

struct RecordingPresenter : IMessagePresenter {
    struct Box {
        QString caption, text;
    };
    std::vector<Box> boxes;
    void ShowError(const QString& caption, const QString& text) override
    {
        boxes.push_back({caption, text});
    }
};

struct ScriptedDialogs : IWindowDialogs {
    // Each entry answers one dialog; a null QString stands for "cancelled".
    std::deque<QString> saveNames, openNames;
    std::deque<bool> overwriteAnswers;
    std::vector<QString> questions;
    QString lastSaveFilter, lastOpenFilter;
    // Runs while the open dialog is up, as other events would.
    std::function<void()> whileOpenDialog;
    static bool Answer(std::deque<QString>& names, QString* chosen)
    {
        if (names.empty())
            return false;
        const QString n = names.front();
        names.pop_front();
        if (n.isNull())
            return false;
        *chosen = n;
        return true;
    }
    bool SaveFileName(const QString& filter, const QString&, QString* chosen) override
    {
        lastSaveFilter = filter;
        return Answer(saveNames, chosen);
    }
    bool OpenFileName(const QString& filter, const QString&, QString* chosen) override
    {
        lastOpenFilter = filter;
        if (whileOpenDialog)
            whileOpenDialog();
        return Answer(openNames, chosen);
    }
    // Answers the long-capture dialog (none: cancelled); the requests it was
    // shown are kept.
    std::function<bool(mirantos::TCaptureRequest*)> captureAnswer;
    std::vector<mirantos::TCaptureRequest> captureShown;
    bool CaptureRequest(mirantos::TCaptureRequest* request) override
    {
        captureShown.push_back(*request);
        return captureAnswer && captureAnswer(request);
    }
    // Answers the noise test's dialog (none: cancelled).
    std::function<bool(mirantos::TStationRequest*)> stationAnswer;
    bool StationRequest(mirantos::TStationRequest* request) override
    {
        return stationAnswer && stationAnswer(request);
    }
    // The close box's question during long work: its texts, and the answers
    // ("はい" true; none left: "いいえ").
    std::vector<QString> stopQuestions;
    std::deque<bool> stopAnswers;
    bool AskStopRecording(const QString& text) override
    {
        stopQuestions.push_back(text);
        const bool yes = !stopAnswers.empty() && stopAnswers.front();
        if (!stopAnswers.empty())
            stopAnswers.pop_front();
        return yes;
    }
    bool AskOverwrite(const QString& text) override
    {
        questions.push_back(text);
        if (overwriteAnswers.empty())
            return false;
        const bool a = overwriteAnswers.front();
        overwriteAnswers.pop_front();
        return a;
    }
};

// The noise analysis window's save dialog and error box.
struct ScriptedAnalysisDialogs : mirantos::IAnalysisDialogs {
    std::deque<QString> saveNames;
    std::vector<QString> errors;
    // Runs while the save dialog is up, as other events would.
    std::function<void()> whileSaveDialog;
    bool SaveFileName(QWidget*, const QString&, const QString&, QString* chosen) override
    {
        if (whileSaveDialog)
            whileSaveDialog();
        if (saveNames.empty())
            return false;
        *chosen = saveNames.front();
        saveNames.pop_front();
        return !chosen->isNull();
    }
    bool OpenFileNames(QWidget*, const QString&, QStringList*) override { return false; }
    void ShowError(QWidget*, const QString& text) override { errors.push_back(text); }
    std::vector<QString> questions;
    bool overwrite = false;
    bool AskOverwrite(QWidget*, const QString& question) override
    {
        questions.push_back(question);
        return overwrite;
    }
};

// The trace viewer's open dialog and error box.
struct ScriptedViewerDialogs : mirantos::IViewerDialogs {
    std::deque<QString> openNames;
    std::vector<QString> errors;
    // Runs while the open dialog is up, as other events would.
    std::function<void()> whileOpenDialog;
    bool OpenFileName(QWidget*, const QString&, QString* chosen) override
    {
        if (whileOpenDialog)
            whileOpenDialog();
        return ScriptedDialogs::Answer(openNames, chosen);
    }
    void ShowError(QWidget*, const QString& text) override { errors.push_back(text); }
    // The export's save dialog (none left: cancelled) and overwrite question.
    std::deque<QString> saveNames;
    std::vector<QString> questions;
    bool overwrite = false;
    bool SaveFileName(QWidget*, const QString&, const QString&, QString* chosen) override
    {
        return ScriptedDialogs::Answer(saveNames, chosen);
    }
    bool AskOverwrite(QWidget*, const QString& question) override
    {
        questions.push_back(question);
        return overwrite;
    }
};

class WindowHarness {
public:
    // `settle` false leaves the window's first idle pass still queued.
    explicit WindowHarness(std::function<void(mirantos::SimConfig&)> tune = {}, bool settle = true)
    {
        clock = std::make_shared<mirantos::ManualClock>();
        clock->SetAutoStepUs(kLookStepUs);
        mirantos::SimConfig config;
        config.seed = 11;
        config.clock = clock;
        if (tune)
            tune(config);
        TFormMainDeps deps;
        deps.Presenter = &presenter;
        deps.Dialogs = &dialogs;
        deps.AnalysisDialogs = &analysisDialogs;
        deps.ViewerDialogs = &viewerDialogs;
        deps.MakeDriver = [this, config]() -> std::unique_ptr<IFtdiDriver> {
            auto d = mirantos::MakeSimDriver(config);
            sim = d.get();
            return d;
        };
        window = std::make_unique<TFormMain>(std::move(deps));
        window->show();
        if (settle)
            Settle();
    }

    // Lets queued events (the first idle pass, paints) run.
    void Settle()
    {
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
    }

    // Moves simulated time on in steps and lets the window poll, until done()
    // or the step budget runs out.
    bool RunUntil(const std::function<bool()>& done, int64_t stepUs = 2000, int maxSteps = 200000)
    {
        // The polls' pace is the steps; their looks at the clock move it only a little.
        clock->SetAutoStepUs(kPollLookStepUs);
        bool finished = false;
        for (int i = 0; i < maxSteps && !finished; ++i) {
            finished = done();
            if (!finished) {
                clock->AdvanceUs(stepUs);
                window->Controller()->Poll();
            }
        }
        finished = finished || done();
        clock->SetAutoStepUs(kLookStepUs);
        return finished;
    }

    bool RunToEnd(int64_t stepUs = 2000)
    {
        return RunUntil([this] { return !window->Controller()->Measuring(); }, stepUs);
    }

    void Select(int rate, int count, int channel, bool sinc3 = true)
    {
        window->ComboBox1->setCurrentIndex(rate);
        window->ComboBox2->setCurrentIndex(count);
        window->ComboBox3->setCurrentIndex(channel);
        (sinc3 ? window->Sinc3_RB : window->Sinc5_RB)->setChecked(true);
    }

    QString Panel(int i) const { return window->StatusBar()->PanelText(i); }
    QString Caption() const { return window->MeasureBtn->text(); }

    // Outside RunUntil each look at the board's clock moves it past the
    // firmware's answer time and the USB latency: every command's answer is
    // there at the first look, so no command wait hangs on this machine's
    // speed against the real 100 ms wait (with 200 us a dozen polls, each a
    // real millisecond's sleep, outlasted it on a busy machine).
    static inline const int64_t kLookStepUs =
        mirantos::SimFaults{}.answerDelayUs + mirantos::SimConfig{}.latencyUs;
    static constexpr int64_t kPollLookStepUs = 200;
    std::shared_ptr<mirantos::ManualClock> clock;
    RecordingPresenter presenter;
    ScriptedDialogs dialogs;
    ScriptedAnalysisDialogs analysisDialogs;
    ScriptedViewerDialogs viewerDialogs;
    mirantos::SimBoardDriver* sim = nullptr;
    std::unique_ptr<TFormMain> window;
};
