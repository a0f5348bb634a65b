#pragma once
// The measurement session with a terminal's surfaces: status-bar panels that
// remember their texts, error boxes printed on the error stream, the controls
// as the command line set them, and the graph area drawn off screen. Every
// sequence (start, stop, load, save, readout) is the session's, as in the window.

#include "ConsoleUi.h"
#include "FtdiDriver.h"
#include "GraphView.h"
#include "MeasureSession.h"

#include <iosfwd>
#include <memory>
#include <string>

namespace mirantos::cli {

class TCliSession {
public:
    // Without a driver there is no board: the file commands only load, show
    // and save. An empty paint-box size makes no graph at all (numbers only).
    // `replaceFiles` answers the overwrite question.
    TCliSession(const TControlValues& controls, std::ostream& err,
                std::unique_ptr<IFtdiDriver> driver = nullptr,
                QSize paintBoxSize = QSize(kPaintBoxWidth, kPaintBoxHeight),
                bool replaceFiles = false);
    TCliSession(const TCliSession&) = delete;
    TCliSession& operator=(const TCliSession&) = delete;

    // False when the session's services could not be made (after the message).
    bool Ready() const { return session_.Created(); }
    TMeasureSession& Session() { return session_; }
    const TMeasureRecord& Record() const { return session_.Record(); }
    // The readout the detail panel shows for a channel, in the command line's unit.
    QString ChannelReadout(int channel) const;
    QString PanelText(int index) const { return panels_.PanelText(index); }

    TCliHost& Host() { return host_; }
    TStreamPresenter& Presenter() { return presenter_; }
    TGraphView& View() { return view_; }

private:
    static TSessionParts Parts(TCliSession& self, std::unique_ptr<IFtdiDriver> driver,
                               bool withGraph, bool replaceFiles);

    TCliHost host_;
    TConsolePanels panels_;
    TStreamPresenter presenter_;
    TGraphView view_;
    TMeasureSession session_;
};

} // namespace mirantos::cli
