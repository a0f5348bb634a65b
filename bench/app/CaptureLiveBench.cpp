// A long capture from the window with the trace viewer following it live, on
// the simulated board in real time: two channels at 10 ksps for 10 s.
//   - every sample in the file (compared with the same board replayed on a
//     manual clock) and in the viewer's record;
//   - the process's CPU time as a share of the capture's wall time (target:
//     at most 10 % of one core), the viewer's frames included.
// Usage: app_capture_live_bench [rounds]   (default 3; the median is printed)

#include "Ad7177.h"
#include "BoardFactory.h"
#include "CaptureFile.h"
#include "MeasureController.h"
#include "Mirantos_Main.h"
#include "Mymessage.h"
#include "SimReplay.h"
#include "TraceData.h"
#include "TraceViewerWindow.h"
#include "WindowBenchSupport.h"
#include "WindowDialogs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr uint64_t kSeed = 42;
constexpr int kRate = 13; // 10 ksps
constexpr int32_t kSamples = 100000;

// Answers the capture dialog with the figure's request; nothing else is asked.
struct CaptureDialogs : IWindowDialogs {
    QString path;
    bool SaveFileName(const QString&, const QString&, QString*) override { return false; }
    bool OpenFileName(const QString&, const QString&, QString*) override { return false; }
    bool AskOverwrite(const QString&) override { return true; }
    bool AskStopRecording(const QString&) override { return false; }
    bool CaptureRequest(mirantos::TCaptureRequest* r) override
    {
        r->path = path;
        r->rateIndex = kRate;
        r->sinc3 = true;
        r->channelIndex = 2;
        r->byDuration = false;
        r->count = kSamples;
        return true;
    }
    bool StationRequest(mirantos::TStationRequest*) override { return false; }
};

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    std::vector<uint32_t> ref0;
    std::vector<uint32_t> ref1;
    if (!ReplaySimRun(kSeed, kSamples, ref0, ref1)) {
        std::printf("replay failed\n");
        return 1;
    }
    QTemporaryDir dir;
    std::vector<double> shares;
    int lostTotal = 0;
    for (int round = 0; round < rounds; ++round) {
        SilentPresenter presenter;
        CaptureDialogs dialogs;
        dialogs.path = dir.filePath(QStringLiteral("live%1.csv").arg(round));
        TFormMainDeps deps;
        deps.Presenter = &presenter;
        deps.Dialogs = &dialogs;
        deps.MakeDriver = [] { return mirantos::MakeSimDriver(kSeed); };
        TFormMain window(std::move(deps));
        window.show();
        for (int i = 0; i < 10; ++i)
            QApplication::processEvents();

        TMeasureController* controller = window.Controller();
        QObject::connect(controller, &TMeasureController::RunEnded, &app,
                         [&] { QTimer::singleShot(100, &app, &QCoreApplication::quit); });
        QTimer::singleShot(60000, &app, &QCoreApplication::quit);
        // Connect, identify and configure happen inside the click.
        window.Capture1Click();
        const double cpu0 = CpuSeconds();
        QElapsedTimer wall;
        wall.start();
        if (!controller->Measuring()) {
            std::printf("capture did not start\n");
            return 1;
        }
        app.exec();
        const double wallS = static_cast<double>(wall.nsecsElapsed()) * 1e-9;
        const double cpuS = CpuSeconds() - cpu0;

        mirantos::TCaptureData data;
        std::vector<std::string> warnings;
        std::string error;
        int lost = kSamples;
        if (mirantos::ReadCapture(dialogs.path.toStdString(), data, warnings, error) &&
            data.ch0 == ref0 && data.ch1 == ref1)
            lost = 0;
        const mirantos::trace::TTraceData& live = window.ViewerWindow()->Data();
        const bool viewerIntact = live.Samples() == kSamples && live.Channel(0).Codes() == ref0 &&
                                  live.Channel(1).Codes() == ref1;
        lostTotal += lost + (viewerIntact ? 0 : 1);
        shares.push_back(100.0 * cpuS / wallS);
        std::printf("round %d: wall %.2f s, CPU %.3f s = %.2f %% of one core; file %s, viewer %s\n",
                    round + 1, wallS, cpuS, 100.0 * cpuS / wallS,
                    lost == 0 ? "intact" : "NOT intact", viewerIntact ? "intact" : "NOT intact");
    }
    std::sort(shares.begin(), shares.end());
    const double median = shares[shares.size() / 2];
    std::printf(
        "median CPU share over %d rounds: %.2f %% (target <= 10 %%): %s; samples lost: %d\n",
        rounds, median, median <= 10.0 ? "met" : "NOT MET", lostTotal);
    return lostTotal == 0 ? 0 : 1;
}
