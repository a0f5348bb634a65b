// Not a test: renders the README's pictures of the trace viewer on a capture
// of the simulated board's kind of noise with a slow drift and 50 Hz pickup:
// the whole record (docs/viewer-whole.png) and zoomed to single samples
// (docs/viewer-zoom.png).
//     viewer_screenshot CAPTURE.csv OUT_DIR

#include "TraceViewerWindow.h"

#include <QApplication>
#include <QDir>
#include <QMouseEvent>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: viewer_screenshot CAPTURE.csv OUT_DIR\n");
        return 2;
    }
    mirantos::TTraceViewerWindow window;
    window.resize(1000, 600);
    window.show();
    QApplication::processEvents();
    if (!window.OpenFile(QString::fromLocal8Bit(argv[1])))
        return 1;
    const QDir out(QString::fromLocal8Bit(argv[2]));
    // The pointer over the record, so the cursor readout shows.
    auto hover = [&window](double part) {
        const QRect p = window.PlotArea();
        const QPoint at(p.left() + static_cast<int>(p.width() * part), p.center().y());
        QMouseEvent e(QEvent::MouseMove, QPointF(at), QPointF(window.Canvas()->mapToGlobal(at)),
                      Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(window.Canvas(), &e);
        QApplication::processEvents();
    };
    hover(0.4);
    if (!window.grab().save(out.filePath("viewer-whole.png")))
        return 1;
    const double mid = window.Data().Samples() / window.Data().RateSps() / 2;
    window.ShowSeconds(mid, mid + 0.02);
    hover(0.52);
    return window.grab().save(out.filePath("viewer-zoom.png")) ? 0 : 1;
}
