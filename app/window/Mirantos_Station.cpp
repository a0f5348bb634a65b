// TFormMain's noise test: the dialog, the limits' settings in the window's
// controls, the window's own run (a data set, or a long capture for a count
// beyond the list), then the verdict in the result window and the result in
// the database; a run stopped or ended by a read error is stored too, as
// ABORTED or FAIL with what it measured. The limits file is read, and the database written, on
// threads of their own: a file may be anything a path names and a server may take its connect
// time-out to answer, and the window must not freeze meanwhile.

#include "Mirantos_Main.h"

#include "CaptureRun.h"
#include "MeasureSession.h"
#include "MirantosVersion.h"
#include "Myfile.h"
#include "Mymessage.h"
#include "RateTable.h"
#include "RecordFile.h"
#include "RunFields.h"
#include "SampleFile.h"
#include "StationResultWindow.h"
#include "StationRun.h"
#include "StationTexts.h"
#include "Tables.h"
#include "Texts.h"
#include "UnsavedData.h"
#include "Verdict.h"
#include "WindowDialogs.h"
#include "WindowInternals.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QRadioButton>
#include <QSysInfo>
#include <QThread>
#include <algorithm>
#include <span>

using namespace mirantos;

namespace {

// Why `run`'s request cannot be tested on this window's board, or empty when
// it can (then its database is read into `run`). Its limits are read already.
QString StationRefusal(TStationRun& run, bool simulatedBoard)
{
    const TStationRequest& request = run.request;
    // What goes into file names, the database and JUnit, before the board is touched.
    if (const std::string problem = station::RunFieldsProblem(
            request.serial.toStdString(), request.operatorName.toStdString(),
            QSysInfo::machineHostName().toStdString(), "",
            {text::StationSerialCaption, text::StationOperatorCaption, "station name", ""});
        !problem.empty())
        return U(text::BoxStationEntry) + QStringLiteral("\n") + U(problem);
    if (const std::string problem =
            station::DutFieldsProblem(request.partNumber.toStdString(), request.lot.toStdString(),
                                      request.dutId.toStdString(),
                                      {"", "", "", "", text::StationPartCaption,
                                       text::StationLotCaption, text::StationDutCaption});
        !problem.empty())
        return U(text::BoxStationEntry) + QStringLiteral("\n") + U(problem);
    std::string error;
    if (const std::string problem =
            station::FieldProblem("the test's name", run.limits.name, station::kMaxTestNameBytes);
        !problem.empty())
        return U(text::BoxStationLimits) + QStringLiteral("\n") + U(problem);
    // The file names the board it is for. A simulated pass stored for a
    // serial would read as the real board's, so a "usb" test never runs on
    // the simulated board; and a "sim" test (a rehearsal, with the simulated
    // board's settings) is no test of a real board either.
    if (run.limits.settings.sim != simulatedBoard)
        return U(text::BoxStationLimits) + QStringLiteral("\n") +
               U(simulatedBoard ? text::StationUsbOnSim : text::StationSimOnUsb);
    const std::optional<results::TDbTarget> target =
        results::ParseDbUrl(request.dbUrl.toStdString(), error);
    if (!target)
        return U(text::BoxStationDb) + QStringLiteral("\n") + U(error);
    run.target = *target;
    if (!request.keepDir.isEmpty() && !QFileInfo(request.keepDir).isDir())
        return U(text::BoxStationKeep) + QStringLiteral("\n") + request.keepDir;
    return QString();
}

TStationResultFacts ResultFacts(const TStationRun& run, const QString& dataPath, bool simulated)
{
    return {run.request.serial, run.request.operatorName, run.startedUtc,  dataPath,
            simulated,          run.request.partNumber,   run.request.lot, run.request.dutId};
}

// The last board's result gives way to this one's the moment its run has
// started (a start that failed has said why and leaves the last result).
void ShowStarted(TStationResultWindow* window, const TStationRun* run, bool simulated)
{
    if (window && run)
        window->ShowStarted(run->limits, ResultFacts(*run, QString(), simulated));
}

} // namespace

void TFormMain::Station1Click()
{
    HandlerScope scope(this);
    // One test at a time, and the last result's store finished first, so the
    // result window tells of one board only.
    if (!session_->Created() || session_->Measuring() || (capture_ && capture_->Running()) ||
        station_ || StationStoring() || stationStarting_)
        return;
    TStationRequest request;
    request.dbUrl = QFile::decodeName(QByteArray::fromStdString(results::DefaultSqlitePath()));
    AskStation(request);
}

void TFormMain::AskStation(const TStationRequest& asked)
{
    TStationRequest request = asked;
    if (!dialogs_->StationRequest(&request) || !StationRequestComplete(request))
        return;
    // A limits file may be anything a path names: read where a slow or
    // hostile one cannot freeze the window.
    auto run = std::make_shared<TStationRun>();
    run->request = request;
    auto error = std::make_shared<std::string>();
    auto read = std::make_shared<bool>(false);
    QThread* thread = QThread::create([run, error, read, path = ToPath(request.limitsPath)] {
        *read = station::ReadLimitsFile(path, run->limits, *error);
    });
    connect(
        thread, &QThread::finished, this,
        [this, run, error, read] {
            StationLimitsRead(std::make_unique<TStationRun>(std::move(*run)), *read, *error);
        },
        Qt::QueuedConnection);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    stationStarting_ = true;
    thread->start();
}

void TFormMain::StationLimitsRead(std::unique_ptr<TStationRun> run, bool read,
                                  const std::string& error)
{
    HandlerScope scope(this);
    stationStarting_ = false;
    // What the user started meanwhile keeps the board.
    if (!session_->Created() || session_->Measuring() || (capture_ && capture_->Running()) ||
        station_ || StationStoring())
        return;
    const QString refusal = read ? StationRefusal(*run, session_->BoardSimulated())
                                 : U(text::BoxStationLimits) + QStringLiteral("\n") + U(error);
    if (!refusal.isEmpty()) {
        // A refused request goes back to the dialog as it was typed: the box
        // says why, and the serial and operator need not be typed again.
        presenter_->ShowError(U(text::BoxCaption), refusal);
        AskStation(run->request);
        return;
    }
    StartStation(std::move(run));
}

void TFormMain::StartStation(std::unique_ptr<TStationRun> run)
{
    const TStationRequest& request = run->request;
    // The window's controls show the test's settings, as if the user had chosen them.
    setFocus();
    const station::TTestSettings& s = run->limits.settings;
    ComboBox1->setCurrentIndex(s.rateIndex);
    (s.sinc5 ? Sinc5_RB : Sinc3_RB)->setChecked(true);
    ComboBox3->setCurrentIndex(s.chSel);
    run->startedUtc = station::UtcNow();
    station_ = std::move(run);

    if (!station_->Capture()) {
        const auto* it = std::find(kCountValues.begin(), kCountValues.end(), s.samples);
        ComboBox2->setCurrentIndex(static_cast<int>(it - kCountValues.begin()));
        session_->Start();
        // A start that never reached the board has said why; no run, no test.
        if (station_ && !session_->Measuring())
            station_.reset();
        ShowStarted(stationWindow_, station_.get(), session_->BoardSimulated());
        return;
    }

    QString folder = request.keepDir;
    if (folder.isEmpty()) {
        station_->scratch = std::make_unique<QTemporaryDir>();
        folder = station_->scratch->path();
    }
    TCaptureRequest capture;
    capture.path = QFile::decodeName(QByteArray::fromStdString(
        station::FreeKeptPath(ToPath(QDir(folder).absolutePath()), request.serial.toStdString(),
                              station_->startedUtc, ".csv")));
    capture.rateIndex = s.rateIndex;
    capture.sinc3 = !s.sinc5;
    capture.channelIndex = s.chSel;
    capture.byDuration = false;
    capture.count = s.samples;
    StartCapture(capture);
    if (!capture_ || !capture_->Running()) {
        station_.reset();
        return;
    }
    ShowStarted(stationWindow_, station_.get(), session_->BoardSimulated());
    station_->dataPath = capture.path;
    connect(capture_.get(), &TCaptureRun::Ended, this, &TFormMain::StationCaptureEnded);
}

void TFormMain::StationRunEnded(TMeasureController::RunEnd how)
{
    // A capture's end is read once its file is finished (StationCaptureEnded).
    if (!station_ || station_->Capture())
        return;
    const std::unique_ptr<TStationRun> run = std::move(station_);
    using RunEnd = TMeasureController::RunEnd;
    // Stopped or failed part way: stored as ABORTED or FAIL with what was measured.
    std::string runError, stopped;
    if (how == RunEnd::ReadError)
        runError = "read error: " + session_->Controller()->ReadFailure();
    else if (how == RunEnd::Stopped || how == RunEnd::Discarded)
        stopped = run->stopReason;
    else if (how != RunEnd::Completed)
        return;
    const bool measured = how != RunEnd::Discarded && session_->HasData();
    const TMeasureRecord& record = session_->Record();
    const TAdcSetting& setting = session_->Settings();
    if (measured && !run->request.keepDir.isEmpty()) {
        const QString path = QFile::decodeName(QByteArray::fromStdString(
            station::FreeKeptPath(ToPath(QDir(run->request.keepDir).absolutePath()),
                                  run->request.serial.toStdString(), run->startedUtc, ".DTA")));
        // A failed save has shown its box; the verdict does not depend on it.
        if (session_->Save(ToPath(path)) == TSaveOutcome::Written)
            run->dataPath = path;
    } else if (measured) {
        // No folder to keep it in: a copy that goes with the run, unless the
        // result cannot be stored (then it is kept as unsaved data). Written
        // beside the held data set, which keeps its name and caption.
        run->scratch = std::make_unique<QTemporaryDir>();
        const std::string path =
            station::FreeKeptPath(ToPath(run->scratch->path()), run->request.serial.toStdString(),
                                  run->startedUtc, ".DTA");
        TSaveOutcome saved = TSaveOutcome::Failed;
        if (run->scratch->isValid() && SaveRecord(*session_->File(), path, record, &saved) &&
            saved == TSaveOutcome::Written)
            run->dataPath = QFile::decodeName(QByteArray::fromStdString(path));
        else
            run->scratch.reset();
    }
    const auto codes = [&record, measured](const TChannelData& ch) {
        return measured ? std::span<const uint32_t>(ch.Code, static_cast<size_t>(UsableCount(ch)))
                        : std::span<const uint32_t>();
    };
    FinishStation(*run, {codes(record.Ch0), codes(record.Ch1)}, SettingRateSps(setting),
                  setting.Gain, runError, stopped);
}

void TFormMain::StationCaptureEnded()
{
    if (!station_ || !station_->Capture() || !capture_)
        return;
    const std::unique_ptr<TStationRun> run = std::move(station_);
    const TCaptureResult& r = capture_->Result();
    using RunEnd = TMeasureController::RunEnd;
    // A file that could not be written has said so in its box: no run to judge.
    if (!r.started || (r.kept && !r.written) || r.error != 0 || r.how == RunEnd::WriteError)
        return;
    std::string runError, stopped;
    if (r.how == RunEnd::ReadError)
        runError = "read error: " + r.readFailure;
    else if (r.how != RunEnd::Completed)
        stopped = run->stopReason;
    TSampleSet set;
    if (r.kept) {
        std::vector<std::string> warnings;
        std::string error;
        if (ReadSampleFile(ToPath(run->dataPath), session_->LoadGain(), set, warnings, error) !=
            TSampleLoad::Ok) {
            presenter_->ShowError(U(text::BoxCaption), U(text::BoxStationRead) +
                                                           QStringLiteral("\n") + run->dataPath +
                                                           QStringLiteral(": ") + U(error));
            return;
        }
    } else {
        run->dataPath.clear(); // not a sample came: no file
        set.rateSps = run->limits.settings.RateSps();
        set.gain = session_->LoadGain();
    }
    FinishStation(*run, {set.ch0, set.ch1}, set.rateSps, set.gain, runError, stopped);
}

void TFormMain::FinishStation(TStationRun& run,
                              const std::array<std::span<const uint32_t>, 2>& codes, double rateSps,
                              int32_t gain, const std::string& runError, const std::string& stopped)
{
    const station::TTestLimits& limits = run.limits;
    station::TVerdict verdict =
        station::CheckMeasuredChannels(limits, limits.settings.chSel, codes, rateSps, gain);
    if (!runError.empty())
        verdict = station::WithRunError(std::move(verdict), runError);
    if (!stopped.empty())
        verdict = station::WithStop(std::move(verdict), stopped);

    station::TRunFacts facts;
    facts.serial = run.request.serial.toStdString();
    facts.operatorName = run.request.operatorName.toStdString();
    facts.station = QSysInfo::machineHostName().toStdString();
    facts.startedUtc = run.startedUtc;
    facts.endedUtc = station::UtcNow();
    facts.programVersion = MIRANTOS_VERSION;
    facts.partNumber = run.request.partNumber.toStdString();
    facts.lot = run.request.lot.toStdString();
    facts.dutHardwareId = run.request.dutId.toStdString();
    facts.boardKind = session_->BoardSimulated() ? "sim" : "usb";
    facts.boardIdentity = session_->BoardSimulated() ? std::string() : session_->BoardIdentity();
    // A data set or capture in a temporary folder is no kept data; it is kept only when
    // the result cannot be stored, so the board's data is not lost with it.
    std::shared_ptr<QTemporaryDir> scratch = std::move(run.scratch);
    const std::string scratchFile = scratch ? ToPath(run.dataPath) : std::string();
    if (!run.dataPath.isEmpty() && !scratch) {
        std::string error;
        facts.dataPath = ToPath(run.dataPath);
        facts.dataSha256 = station::Sha256OfFile(facts.dataPath, error);
    }
    const results::TRunRecord record = station::MakeRunRecord(limits, verdict, facts);

    if (!stationWindow_) {
        stationWindow_ = new TStationResultWindow(this, dialogs_, presenter_);
        stationWindow_->setWindowFlag(Qt::Window);
    }
    stationWindow_->ShowVerdict(
        limits, verdict,
        ResultFacts(run, scratch ? QString() : run.dataPath, session_->BoardSimulated()));
    stationWindow_->show();
    stationWindow_->raise();
    stationWindow_->activateWindow();

    const QString where = U(run.target.Display());
    stationWindow_->SetStoring(where);
    auto outcome = std::make_shared<results::TStoreOutcome>();
    station::TUnsavedRun unsaved{facts,          record.uuid,      ToPath(run.request.limitsPath),
                                 limits.content, verdict.runError, verdict.stopped};
    QThread* thread =
        QThread::create([outcome, record, target = run.target, spool = results::DefaultSqlitePath(),
                         scratch, scratchFile, unsaved] {
            *outcome = results::StoreRun(record, target, spool);
            if (outcome->kind != results::TStoreOutcome::Kind::Failed || scratchFile.empty())
                return;
            const station::TKeptData kept = station::KeepUnsavedRun(scratchFile, unsaved);
            if (!kept.path.empty()) {
                outcome->message += "\n" + std::string(text::StationUnsavedKept) + kept.path;
                return;
            }
            // No verified copy: the capture stays where it is, named, and the folder outlives us.
            scratch->setAutoRemove(false);
            outcome->message += "\n" + kept.error + "\n" + std::string(text::StationUnsavedHeld) +
                                station::HoldUnsavedRun(scratchFile, unsaved);
        });
    connect(thread, &QThread::finished, stationWindow_, [this, outcome, where] {
        stationWindow_->SetStored(*outcome, where);
        // A result the database refused is not left to a line of the result
        // window: the box says why, and where the raw data is.
        if (outcome->kind == results::TStoreOutcome::Kind::Failed)
            presenter_->ShowError(U(text::BoxCaption),
                                  U(text::BoxStationStore) + QStringLiteral("\n") + where +
                                      QStringLiteral("\n") + U(outcome->message));
    });
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    storeThread_ = thread;
    thread->start();
}

bool TFormMain::StationStoring() const
{
    return stationWindow_ && stationWindow_->Storing();
}

void TFormMain::WaitForStore()
{
    // The result is not given up at the close: the store ends within its
    // connect time-out.
    if (storeThread_ && storeThread_->isRunning())
        storeThread_->wait();
}
