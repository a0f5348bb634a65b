// Makes docs/analysis.png: the noise analysis window on a long capture from the
// window, 60 s of both channels at 1 ksps (Sinc5+Sinc1) on the simulated
// board with 1/f noise, drift and mains pickup, on a manual clock, handed over as the trace viewer
// hands a span. Usage: analysis_screenshot OUT.png [PLOTS.png] (the second
// file gets the picture the window saves).

#include "AppTestSupport.h"
#include "CaptureFile.h"
#include "NoiseAnalysisWindow.h"
#include "ViewerTexts.h"

#include <QApplication>
#include <QPixmap>
#include <QTemporaryDir>
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
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    const QString path = dir.filePath(QStringLiteral("noise60s.csv"));
    WindowHarness h([](mirantos::SimConfig& c) {
        c.pickup50HzUv = 2.0;
        c.flickerNvAt1Hz = 150.0;
        c.driftUvPerHour = 20.0;
    });
    h.dialogs.captureAnswer = [&](mirantos::TCaptureRequest* r) {
        r->path = path;
        r->rateIndex = 10;
        r->sinc3 = false;
        r->channelIndex = 2;
        r->byDuration = false;
        r->count = 60000;
        return true;
    };
    h.window->Capture1Click();
    if (!h.RunToEnd())
        return 1;
    h.Settle();

    mirantos::TCaptureData data;
    std::vector<std::string> warnings;
    std::string error;
    if (!mirantos::ReadCapture(path.toStdString(), data, warnings, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const double rate = data.info.rateSps;
    const double seconds = static_cast<double>(data.ch0.size()) / rate;
    const QString source = QString::fromUtf8(mirantos::text::ViewerSourcePrefix) +
                           "noise60s.csv CH0" + QString::fromUtf8(mirantos::text::Separator) +
                           "CH1 0.000" + QString::fromUtf8(mirantos::text::ViewerRangeTo) +
                           QString::number(seconds, 'f', 3) +
                           QString::fromUtf8(mirantos::text::ViewerSecondsUnit);
    mirantos::TNoiseAnalysisWindow analysis;
    analysis.SetCodes(std::move(data.ch0), std::move(data.ch1), rate, data.info.gain, source,
                      path, {data.info.board, data.info.startUtc, data.info.simulated});
    analysis.resize(1400, 860);
    analysis.show();
    h.Settle();
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    if (argc == 3 && !analysis.SavePicture(QString::fromLocal8Bit(argv[2])))
        return 1;
    return analysis.grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
