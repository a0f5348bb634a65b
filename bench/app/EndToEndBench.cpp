// End-to-end figures of the window on the simulated board in real time:
// a 10 ksps two-channel run of 10 000 samples, and ten idle seconds.
//   - every record arrives intact (compared with the same board replayed on a manual clock)
//   - the process's CPU time as a share of the run's wall time
//   - how long after the last record's arrival the statistics stand
//   - CPU share while the window waits for the user
// Prints one line per figure; the exit code is 0 when the run itself was complete.

#include "Ad7177.h"
#include "BoardFactory.h"
#include "MeasureController.h"
#include "Mirantos_Main.h"
#include "Mymessage.h"
#include "SimReplay.h"
#include "StatusBarWidget.h"
#include "WindowBenchSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QObject>
#include <QRadioButton>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <vector>

namespace {

constexpr uint64_t kSeed = 42;
constexpr int kRate = 13;    // 10 ksps
constexpr int kCount = 6;    // 10000
constexpr int kChannels = 2; // both
constexpr int kSamples = 10000;

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    SilentPresenter presenter;
    TFormMainDeps deps;
    deps.Presenter = &presenter;
    deps.MakeDriver = [] { return mirantos::MakeSimDriver(kSeed); };
    TFormMain window(std::move(deps));
    window.show();
    for (int i = 0; i < 10; ++i)
        QApplication::processEvents();

    window.ComboBox1->setCurrentIndex(kRate);
    window.ComboBox2->setCurrentIndex(kCount);
    window.ComboBox3->setCurrentIndex(kChannels);
    window.Sinc3_RB->setChecked(true);

    QElapsedTimer wall;
    double endMs = -1;
    TMeasureController* controller = window.Controller();
    QObject::connect(controller, &TMeasureController::RunEnded, &app, [&](auto how) {
        if (how == TMeasureController::RunEnd::Completed)
            endMs = static_cast<double>(wall.nsecsElapsed()) * 1e-6;
        QTimer::singleShot(0, &app, &QCoreApplication::quit);
    });
    QTimer::singleShot(30000, &app, &QCoreApplication::quit);

    // Identification and configuration happen inside the click; the board's
    // records start right after "A" was written, at the end of the click.
    window.MeasureBtnClick();
    const double cpu0 = CpuSeconds();
    wall.start();
    if (!controller->Measuring()) {
        std::printf("run did not start\n");
        return 1;
    }
    app.exec();
    const double runWallMs = static_cast<double>(wall.nsecsElapsed()) * 1e-6;
    const double runCpuMs = (CpuSeconds() - cpu0) * 1e3;

    const TMeasureRecord& r = window.Record();
    std::vector<uint32_t> ref0, ref1;
    const bool replayed = ReplaySimRun(kSeed, kSamples, ref0, ref1);
    int mismatches = 0;
    if (replayed && r.Ch0.Count == kSamples && r.Ch1.Count == kSamples) {
        for (int i = 0; i < kSamples; ++i)
            mismatches += (r.Ch0.Code[i] != ref0[static_cast<size_t>(i)]) +
                          (r.Ch1.Code[i] != ref1[static_cast<size_t>(i)]);
    }
    const bool complete = endMs >= 0 && r.Ch0.Count == kSamples && r.Ch1.Count == kSamples &&
                          replayed && mismatches == 0;
    // The last record is produced 10000 / 10000 s after the start; a partly
    // filled USB packet leaves the board one latency period later.
    const double lastRecordMs = 1000.0 * kSamples / 10000.0;

    std::printf("run complete and intact: %s (samples %d + %d, mismatches vs replay %d)\n",
                complete ? "yes" : "NO", r.Ch0.Count, r.Ch1.Count, mismatches);
    std::printf("run wall time: %.1f ms, process CPU during the run: %.1f ms = %.1f %%\n",
                runWallMs, runCpuMs, 100.0 * runCpuMs / runWallMs);
    std::printf("statistics shown %.1f ms after the last record was produced\n",
                endMs - lastRecordMs);
    std::printf("readout: %s\n", window.StatusBar()->PanelText(2).toUtf8().constData());

    // Ten seconds of waiting for the user.
    const double idleCpu0 = CpuSeconds();
    QElapsedTimer idle;
    idle.start();
    QTimer::singleShot(10000, &app, &QCoreApplication::quit);
    app.exec();
    const double idleWallMs = static_cast<double>(idle.nsecsElapsed()) * 1e-6;
    const double idleCpuMs = (CpuSeconds() - idleCpu0) * 1e3;
    std::printf("idle: %.0f ms wall, %.1f ms CPU = %.2f %%\n", idleWallMs, idleCpuMs,
                100.0 * idleCpuMs / idleWallMs);
    return complete ? 0 : 1;
}
