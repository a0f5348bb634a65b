#pragma once
// What the window owns, put together the way the window does it: the record,
// the message boxes, the status bar, the board driver (for a measurement), the
// data file, the graph and the controller. The commands drive this exactly as
// the window's handlers drive their own objects.

#include "ConsoleUi.h"
#include "FtdiDriver.h"
#include "GraphView.h"
#include "MeasureController.h"
#include "MeasureRecord.h"
#include "Myfile.h"

#include <QObject>
#include <iosfwd>
#include <memory>
#include <string>

class TADC;

namespace mirantos::cli {

class TCliSession {
public:
    // Without a driver there is no board: the file commands only ask the
    // controller for the statistics readout, which never reaches the board.
    TCliSession(const TControlValues& controls, std::ostream& err,
                std::unique_ptr<IFtdiDriver> driver = nullptr,
                QSize paintBoxSize = QSize(kPaintBoxWidth, kPaintBoxHeight));
    ~TCliSession();
    TCliSession(const TCliSession&) = delete;
    TCliSession& operator=(const TCliSession&) = delete;

    // The window's load: the file goes into scratch buffers and replaces the
    // data set only when it was read completely; then volts, graph and
    // statistics. False when the window would show the content error.
    bool Load(const std::string& path);
    // The window's save of the held data set, by CHSel; a file that exists is
    // replaced only when `overwrite` is set.
    bool Save(const std::string& nameWithExtension, bool overwrite, TSaveOutcome* outcome);

    // The statistics line of a channel as the detail panel would show it.
    QString ChannelReadout(int channel);
    QString PanelText(int index) const { return panels_.PanelText(index); }

    TMeasureRecord& Record() { return *record_; }
    TCliHost& Host() { return host_; }
    TConsolePanels& Panels() { return panels_; }
    TStreamPresenter& Presenter() { return presenter_; }
    TmyMessage& Message() { return *message_; }
    TmyStatus& Status() { return *status_; }
    TGraphView& View() { return *view_; }
    TMeasureController& Controller() { return *controller_; }
    TADC* Adc() { return adc_.get(); }

private:
    QObject owner_;
    TCliHost host_;
    TConsolePanels panels_;
    TStreamPresenter presenter_;
    std::unique_ptr<TMeasureRecord> record_;
    std::unique_ptr<TmyMessage> message_;
    std::unique_ptr<TmyStatus> status_;
    std::unique_ptr<TADC> adc_;
    std::unique_ptr<TmyFile> file_;
    std::unique_ptr<TGraphView> view_;
    std::unique_ptr<TMeasureController> controller_;
};

} // namespace mirantos::cli
