// Makes docs/analysis.png: the noise analysis window after a two-channel run
// of 10000 samples at 1 ksps (Sinc5+Sinc1) on the simulated board, with mains
// pickup, on a manual clock. Usage: analysis_screenshot OUT.png [PLOTS.png]
// (the second file gets the picture the window saves).

#include "AppTestSupport.h"
#include "NoiseAnalysisWindow.h"
#include "RateTable.h"

#include <QApplication>
#include <QPixmap>
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: %s OUT.png [PLOTS.png]\n", argv[0]);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    WindowHarness h([](mirantos::SimConfig& c) { c.pickup50HzUv = 2.0; });
    h.Select(10, 6, 2, false);
    h.window->MeasureBtnClick();
    if (!h.RunToEnd())
        return 1;
    h.Settle();
    const TMeasureRecord& r = h.window->Record();
    mirantos::TNoiseAnalysisWindow analysis;
    analysis.SetDataSet(r, mirantos::SettingRateSps(r.Setting), r.Setting.Gain);
    analysis.resize(1100, 760);
    analysis.show();
    h.Settle();
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    if (argc == 3 && !analysis.SavePicture(QString::fromLocal8Bit(argv[2])))
        return 1;
    return analysis.grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
