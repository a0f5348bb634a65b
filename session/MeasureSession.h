#pragma once
// TMeasureSession: one measurement session, assembled once for every user of
// it. It owns the measurement record and the services in the window's creation
// order (message, status, board, file, graph, controller) and offers the
// window's sequences as plain calls: start, stop, load, save, the readout of a
// channel, the channel shown. The window, mirantos-cli and the test rigs differ
// only in the surfaces they hand it (status panels, message presenter, paint
// box and labels, the controls behind IControllerHost).

#include "FtdiDriver.h"
#include "Graph_2ch.h"
#include "MeasureController.h"
#include "MeasureRecord.h"
#include "Myfile.h"

#include <QObject>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class IMessagePresenter;
class IStatusPanels;
class TADC;
class TmyMessage;
class TmyStatus;

namespace mirantos {

// The paint box in the window's client area; the command-line pictures place
// the graph area the same way.
inline constexpr int kPaintBoxLeft = 72;
inline constexpr int kPaintBoxTop = 24;
inline constexpr int kPaintBoxWidth = 560;
inline constexpr int kPaintBoxHeight = 417;

// The gain a file is loaded with when there is no board at hand: the board
// driver's fixed gain.
inline constexpr int32_t kBoardGain = 1;

// The owner's surfaces. All pointers are borrowed and must outlive the session.
struct TSessionParts {
    IControllerHost* Host = nullptr;
    IMessagePresenter* Presenter = nullptr;
    IStatusPanels* Panels = nullptr;
    // The last status panel written to (the window's bar and the CLI have three).
    int32_t MaxPanel = 2;
    // The board driver; left empty, the session has no board (files only).
    std::function<std::unique_ptr<IFtdiDriver>()> MakeDriver;
    // The question before an existing file is replaced; empty never replaces.
    TOverwriteQuestion AskOverwrite;
    // The graph's paint box; without one the session makes no graph and
    // draws nothing (a caller that only wants the numbers).
    IPaintBox* PaintBox = nullptr;
    std::array<IGraphLabel*, kXLabelCount> XLabels{};
    std::array<IGraphLabel*, kYLabelCount> YLabels{};
    // Lets pending events run in the middle of a full redraw (the window's).
    std::function<void()> ProcessEvents;
    // Parent of the board's one-shot command timer (the window); null: the session's own.
    QObject* TimerOwner = nullptr;
};

class TMeasureSession {
public:
    explicit TMeasureSession(TSessionParts parts);
    ~TMeasureSession();
    TMeasureSession(const TMeasureSession&) = delete;
    TMeasureSession& operator=(const TMeasureSession&) = delete;

    // Creates the services in order. On a failure the fatal-memory message
    // names the part (a missing message object shows it directly) and the
    // services made so far are destroyed again; false then.
    bool Create();
    bool Created() const { return controller_ != nullptr; }

    // ---- Runs -----------------------------------------------------------------
    // The start/stop button, decided by its caption as the window's is.
    void Click();
    void Start();
    void Stop();
    // A capture of `count` samples per channel into `sink` (see
    // TMeasureController::StartCapture); the record stays as it was.
    void StartCapture(ISampleSink* sink, int32_t count);
    bool Measuring() const;
    // A sequence is in progress (a command wait or a redraw let others in).
    bool Busy() const;

    // ---- Files ----------------------------------------------------------------
    // The load command after the file was chosen: read into scratch buffers,
    // the data set replaced only when the whole file was accepted; then the
    // lists, microvolts, graph, statistics, status text and caption. On a
    // rejected file the content error box and nothing else changes.
    bool Load(const std::string& path, const QString& shownName);
    bool Load(const std::string& path);
    // The save command after the name was chosen (with its ".DTA"): the data
    // set by its CHSel; a write error shows the save error box; a declined
    // overwrite writes and says nothing.
    TSaveOutcome Save(const std::string& nameWithExtension);
    // The clear command: no data set, the empty graph.
    void Clear();

    // ---- The held data set -------------------------------------------------------
    const TMeasureRecord& Record() const { return record_; }
    const TAdcSetting& Settings() const { return record_.Setting; }
    bool HasData() const { return record_.HasData(); }
    bool Holds(int channel) const;
    int32_t Count(int channel) const;
    // The statistics readout of a channel in the given unit, as the detail
    // panel would show it; computed from the record, nothing is drawn.
    QString ReadoutText(int channel, bool voltMode) const;
    // The channel the readout shows, and the status bar's click that switches
    // a two-channel set's readout to the other channel.
    int ShownChannel() const;
    void SwitchChannel();
    // The Y unit changed: the graph redrawn and the readout shown again.
    void UnitChanged();
    // The graph again after the paint box changed size.
    void Resized();

    // ---- The parts, for the owner's own handlers --------------------------------
    TmyMessage* Message() const { return message_.get(); }
    TmyStatus* Status() const { return status_.get(); }
    TADC* Board() const { return adc_.get(); }
    // The board is the built-in simulated one: every output that names the
    // board says so, because its answers read like a real board's.
    bool BoardSimulated() const;
    // The USB device the board was opened on (serial number, interface,
    // product string); empty for the simulated board or before an open.
    std::string BoardIdentity() const;
    TmyFile* File() const { return file_.get(); }
    // Null in a session without a paint box.
    TGraph_2CH* Graph() const { return graph_.get(); }
    TMeasureController* Controller() const { return controller_.get(); }
    // The gain a file loads with: the board's, or kBoardGain without one.
    int32_t LoadGain() const;

private:
    void Destroy();
    bool VoltMode() const;

    TSessionParts parts_;
    QObject owner_;
    TMeasureRecord record_;
    // A load's scratch area: the record changes only when the whole file was read.
    std::unique_ptr<TChannelStorage> scratch_;
    std::unique_ptr<TmyMessage> message_;
    std::unique_ptr<TmyStatus> status_;
    std::unique_ptr<TADC> adc_;
    std::unique_ptr<TmyFile> file_;
    std::unique_ptr<TGraph_2CH> graph_;
    std::unique_ptr<TMeasureController> controller_;
};

} // namespace mirantos
