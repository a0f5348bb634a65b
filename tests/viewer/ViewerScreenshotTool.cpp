// Makes the README's pictures of the trace viewer: a minute of both channels
// at 1 ksps (converter noise, a slow drift and 2 µV of 50 Hz pickup on CH0, one
// spike), written as a capture by the capture writer and opened as a user
// would; the whole record (viewer-whole.png) and zoomed to single samples
// (viewer-zoom.png) with the two cursors around the spike.
// Usage: viewer_screenshot OUT_DIR

#include "CaptureFile.h"
#include "TraceViewerWindow.h"
#include "ViewerCursors.h"

#include <QApplication>
#include <QDir>
#include <QMouseEvent>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <random>

namespace {

bool WriteCapture(const std::string& path)
{
    constexpr int kSamples = 60000;
    std::mt19937 rng(19);
    std::normal_distribution<double> noise(0.0, 86.0); // about 0.1 µV
    std::vector<uint32_t> c0(kSamples), c1(kSamples);
    for (int i = 0; i < kSamples; ++i) {
        const double t = i / 1000.0;
        const double drift = 6000.0 * std::sin(6.2831853 * t / 240.0);
        const double hum = 1718.0 * std::sin(6.2831853 * 50.0 * t); // 2 µV
        c0[static_cast<size_t>(i)] = static_cast<uint32_t>(2147490000.0 + drift + hum + noise(rng));
        c1[static_cast<size_t>(i)] = static_cast<uint32_t>(2147480000.0 - drift / 2 + noise(rng));
    }
    c0[37251] += 9000; // one spike among 60000 samples, which the whole view still shows
    mirantos::TCaptureInfo info;
    info.rateIndex = 10;
    info.rateSps = 1000;
    info.sinc5 = false;
    info.chSel = 2;
    info.board = "MIRANTOS 1.10 (simulated)";
    info.startUtc = "2026-12-08T09:30:00Z";
    mirantos::TCaptureWriter w;
    return w.Open(path, true) && w.Begin(info) && w.Write(c0.data(), c1.data(), kSamples) &&
           w.Finish(mirantos::TCaptureEnd::Complete);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUT_DIR\n", argv[0]);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString file = dir.filePath("drift.csv");
    if (!WriteCapture(file.toStdString()))
        return 1;
    mirantos::TTraceViewerWindow window;
    window.resize(1000, 600);
    window.show();
    QApplication::processEvents();
    if (!window.OpenFile(file))
        return 1;
    const QDir out(QString::fromLocal8Bit(argv[1]));
    // The pointer over the record, so the cursor readout shows.
    auto hover = [&window](double part) {
        const QRect p = window.PlotArea();
        const QPoint at(p.left() + static_cast<int>(p.width() * part), p.center().y());
        QMouseEvent e(QEvent::MouseMove, QPointF(at), QPointF(window.Canvas()->mapToGlobal(at)),
                      Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(window.Canvas(), &e);
        QApplication::processEvents();
    };
    hover(0.62);
    if (!window.grab().save(out.filePath("viewer-whole.png")))
        return 1;
    window.ShowSeconds(37.24, 37.27);
    // Two cursors around the spike, with their readout.
    window.Cursors().Place(0, 37247);
    window.Cursors().Place(1, 37259);
    hover(0.37);
    return window.grab().save(out.filePath("viewer-zoom.png")) ? 0 : 1;
}
