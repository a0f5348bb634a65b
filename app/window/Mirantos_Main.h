#pragma once
// TFormMain: the program's only window, a view over the measurement session.
// The session owns the record, the services and the controller; the window
// lays out the controls, hands the session its surfaces and runs the handlers.
// Layout and menus are in Mirantos_Layout.cpp, the handlers in
// Mirantos_Handlers.cpp, the program's start-up in Startup.cpp.

#include "CaptureRequest.h"
#include "FtdiDriver.h"
#include "MeasureController.h"
#include "MeasureRecord.h"
#include "MeasureSession.h"

#include <QMainWindow>
#include <QPointer>
#include <QRect>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QThread;
class QWidget;

namespace mirantos {
class IAnalysisDialogs;
class TCaptureRun;
class IViewerDialogs;
class TNoiseAnalysisWindow;
class TStationResultWindow;
struct TStationRequest;
struct TStationRun;
class TTraceViewerWindow;
} // namespace mirantos

class IGraphLabel;
class IMessagePresenter;
class IWindowDialogs;
class TADC;
class TGraph_2CH;
class TPaintBox;
class TLabelAdapter;
class TStatusBarWidget;
class TmyFile;
class TmyMessage;
class TmyStatus;

// What the window is built with: which board it talks to and who answers its
// modal questions. Tests pass scripted ones; the program passes none.
struct TFormMainDeps {
    std::function<std::unique_ptr<IFtdiDriver>()> MakeDriver;
    IMessagePresenter* Presenter = nullptr; // null: real message boxes
    IWindowDialogs* Dialogs = nullptr;      // null: real file dialogs and questions
    // The noise analysis window's save dialogs; null: real ones.
    mirantos::IAnalysisDialogs* AnalysisDialogs = nullptr;
    // The trace viewer's open dialog and error box; null: real ones.
    mirantos::IViewerDialogs* ViewerDialogs = nullptr;
};

class TFormMain : public QMainWindow, private IControllerHost {
    Q_OBJECT
public:
    explicit TFormMain(TFormMainDeps deps, QWidget* parent = nullptr);
    ~TFormMain() override;

    // True when a service object could not be created; the window is closed then.
    bool ConstructionFailed() const { return constructionFailed_; }

    void UpdateCaption(const QString& name) override;
    void LayoutStatusBar();

    // Event handlers, named after their control and event.
    void MeasureBtnClick();
    void QuitBtnClick();
    void Exit1Click();
    void Save1Click();
    void Load1Click();
    void DataClearClick();
    void MenuY_VoltClick();
    void StatusBar1Click();
    void NoiseAnalysis1Click();
    // The data menu's long capture: the dialog, then a capture run into its
    // file on the session's board; the held data set stays as it is.
    void Capture1Click();
    void TraceViewer1Click();
    // The data menu's noise test: the dialog, the limits file's settings in
    // the controls, the window's run (or long capture), then the verdict in
    // the result window and the result stored in the database.
    void Station1Click();
    void IdleHandler();

    // A data file named from outside (the command line, a second copy): loaded
    // as the load command loads a chosen file, on the next idle pass, so after
    // the start-up's empty graph. Refused while a run or a command of ours is
    // in progress; what was refused is never loaded later.
    enum class TOpenAnswer { Accepted, Measuring, Busy };
    TOpenAnswer OfferFile(const QString& path);

    // The session behind the window, for whoever drives it from outside
    // (the program's start-up, tests, screenshots).
    mirantos::TMeasureSession& Session() { return *session_; }
    const TMeasureRecord& Record() const { return session_->Record(); }
    TMeasureController* Controller() const { return session_->Controller(); }
    TADC* Board() const { return session_->Board(); }
    TGraph_2CH* Graph() const { return session_->Graph(); }
    TStatusBarWidget* StatusBar() const { return StatusBar1; }
    QWidget* PaintBox() const;

    QComboBox* ComboBox1 = nullptr;
    QComboBox* ComboBox2 = nullptr;
    QComboBox* ComboBox3 = nullptr;
    QRadioButton* Sinc3_RB = nullptr;
    QRadioButton* Sinc5_RB = nullptr;
    QPushButton* MeasureBtn = nullptr;
    QPushButton* QuitBtn = nullptr;
    QLabel* YLabel(int i) const { return yLabelWidgets_[static_cast<size_t>(i)]; }
    QLabel* Label15 = nullptr;
    QLabel* Label16 = nullptr;
    // A long capture's or a noise test's progress; hidden otherwise.
    QProgressBar* ProgressBar1 = nullptr;
    QAction* MenuY_Volt = nullptr;
    QAction* Save1 = nullptr;
    QAction* Load1 = nullptr;
    QAction* DataClear = nullptr;
    QAction* NoiseAnalysis1 = nullptr;
    QAction* Capture1 = nullptr;
    // The window's last capture run (running or ended); null before the first.
    mirantos::TCaptureRun* CaptureRun() const { return capture_.get(); }
    // The noise analysis window once it was opened; null before.
    mirantos::TNoiseAnalysisWindow* NoiseWindow() const { return noiseWindow_; }
    QAction* TraceViewer1 = nullptr;
    // The trace viewer once it was opened; null before.
    mirantos::TTraceViewerWindow* ViewerWindow() const { return viewerWindow_; }
    QAction* Station1 = nullptr;
    // The noise test's result window once a test ended; null before.
    mirantos::TStationResultWindow* StationWindow() const { return stationWindow_; }
    // A test's result is still on its way into the database.
    bool StationStoring() const;
    // Between the noise test dialog's OK and the run's start: its limits file
    // is read off the GUI thread, and the window stays usable meanwhile.
    bool StationStarting() const { return stationStarting_; }
    QAction* Exit1 = nullptr;
    QMenu* File1 = nullptr;
    QMenu* Data1 = nullptr;
    QMenu* MenuY = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // IControllerHost
    void DisableControls() override;
    void EnableControls() override;
    void EnableMeasureButtonOnly() override;
    QString MeasureCaption() const override;
    void SetMeasureCaption(const QString& caption) override;
    int RateIndex() const override;
    int CountIndex() const override;
    int ChannelIndex() const override;
    bool Sinc3Checked() const override;
    bool VoltMode() const override;
    void ShowSettings(const TAdcSetting& setting) override;

    void BuildControls();
    void BuildProgressBar();
    // A long capture or a noise test runs: it has a progress bar, and the
    // close box asks before it is stopped.
    bool LongWorkRunning() const;
    void ShowProgress(int received, int target);
    void HideProgress();
    // False when the user keeps the work running.
    bool ConfirmCloseDuringLongWork();
    void BuildMenus();
    bool CreateServices();
    void FormCreate();
    void FormResize();
    void FormDestroy();
    void ApplyAnchors();
    void ScheduleIdle();
    void SetControlsEnabled(bool on);
    // The held data set became complete, was replaced or went away: the noise
    // analysis follows it, and its menu item is usable only while one is held.
    void DataSetChanged();
    bool InHandler() const;
    void LoadChosenFile(const QString& chosen);
    enum class TCaptureStart { Started, Declined, Failed };
    // Declined: the user kept the existing file ("いいえ").
    TCaptureStart StartCapture(const mirantos::TCaptureRequest& request);
    // The capture's file is finished: the end message, and the reason of an error.
    void CaptureEnded();
    // The trace viewer follows the capture's blocks as they reach the file.
    void FollowInViewer(mirantos::TCaptureRun& run, const QString& path);
    // The trace viewer, made on first use, shown and brought forward.
    mirantos::TTraceViewerWindow* OpenViewer();
    // The noise test's run has ended: a data set's, or a capture's file finished.
    // The noise test's dialog, then its limits file read on a thread of its
    // own; the result comes back queued to StationLimitsRead.
    void AskStation(const mirantos::TStationRequest& request);
    void StationLimitsRead(std::unique_ptr<mirantos::TStationRun> run, bool read,
                           const std::string& error);
    void StartStation(std::unique_ptr<mirantos::TStationRun> run);
    void StationRunEnded(TMeasureController::RunEnd how);
    void StationCaptureEnded();
    // The verdict on the measured channels' codes, shown, then stored off the
    // GUI thread; a run that ended in a read error or was stopped says so.
    void FinishStation(mirantos::TStationRun& run,
                       const std::array<std::span<const uint32_t>, 2>& codes, double rateSps,
                       int32_t gain, const std::string& runError, const std::string& stopped);
    void WaitForStore();

    struct Anchored {
        QWidget* widget;
        QRect design;
        bool left, top, right, bottom;
    };

    TFormMainDeps deps_;
    uint8_t fFirstIdle = 0;
    QString pendingFile_; // offered from outside, loaded by the next idle pass
    uint8_t fStatusBarLayout = 0;

    QWidget* client_ = nullptr;
    QFrame* Panel2 = nullptr;
    TPaintBox* PaintBox1 = nullptr;
    TStatusBarWidget* StatusBar1 = nullptr;
    std::vector<QLabel*> yLabelWidgets_;
    std::vector<std::unique_ptr<TLabelAdapter>> labelAdapters_;
    // The label tables handed to the graph (it keeps references to them).
    IGraphLabel* XLabels[2] = {};
    IGraphLabel* YLabels[11] = {};
    std::vector<Anchored> anchored_;

    std::unique_ptr<IMessagePresenter> ownPresenter_;
    std::unique_ptr<IWindowDialogs> ownDialogs_;
    IMessagePresenter* presenter_ = nullptr;
    IWindowDialogs* dialogs_ = nullptr;

    std::unique_ptr<mirantos::TMeasureSession> session_;
    mirantos::TNoiseAnalysisWindow* noiseWindow_ = nullptr;
    std::unique_ptr<mirantos::TCaptureRun> capture_;
    // While a capture starts and runs, the controls the controller reads
    // answer with its settings, not the main window's lists.
    std::optional<mirantos::TCaptureRequest> captureRequest_;
    QString titleBeforeCapture_;
    // The held data set's file as the caption names it (loaded or saved);
    // the noise analysis never saves over it.
    QString heldFile_;
    mirantos::TTraceViewerWindow* viewerWindow_ = nullptr;
    std::unique_ptr<mirantos::TStationRun> station_;
    mirantos::TStationResultWindow* stationWindow_ = nullptr;
    QPointer<QThread> storeThread_;
    bool stationStarting_ = false;

    bool constructionFailed_ = false;
    bool idleScheduled_ = false;
    bool closePending_ = false;
    int handlerDepth_ = 0;
    class HandlerScope;
};
