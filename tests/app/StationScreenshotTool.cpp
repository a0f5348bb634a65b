// Makes docs/station-result.png: the noise test's result window after a
// two-channel test on the simulated board (a manual clock, so it takes no real
// time), the result stored in a throwaway SQLite file.
// Usage: app_station_screenshot OUT.png

#include "AppTestSupport.h"
#include "StationResultWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPixmap>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUT.png\n", argv[0]);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dir;
    qputenv("XDG_DATA_HOME", dir.path().toUtf8());
    QApplication app(argc, argv);
    const QString limits = dir.filePath(QStringLiteral("afe7.json"));
    QFile file(limits);
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    file.write(R"({"name": "AFE-7 incoming inspection", "version": "3",
  "settings": {"board": "sim", "rate": "1000", "filter": "sinc5", "channels": "both",
               "samples": 10000},
  "limits": {
    "ch0": {"rms_uV": {"max": 0.8}, "noise_free_bits": {"min": 20.5},
            "band_rms_uV": {"band_Hz": [0.1, 10], "max": 0.3}},
    "ch1": {"rms_uV": {"min": 0.01, "max": 0.8}, "nsd_median_nV": {"max": 15}}}})");
    file.close();

    WindowHarness h;
    h.dialogs.stationAnswer = [&](mirantos::TStationRequest* r) {
        *r = {limits, QStringLiteral("AFE7-0012-0345"), QStringLiteral("aki"),
              dir.filePath(QStringLiteral("results.sqlite")), QString()};
        return true;
    };
    h.window->Station1Click();
    // The limits file is read on a thread; the run starts when it is in.
    QElapsedTimer reading;
    reading.start();
    while (h.window->StationStarting() && reading.elapsed() < 20000)
        h.Settle();
    if (!h.RunToEnd())
        return 1;
    QElapsedTimer wall;
    wall.start();
    while (h.window->StationStoring() && wall.elapsed() < 20000)
        h.Settle();
    mirantos::TStationResultWindow* w = h.window->StationWindow();
    if (w == nullptr)
        return 1;
    h.Settle();
    return w->grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
