// Makes docs/screenshot.png: the window after a two-channel run on the
// simulated board (a manual clock, so it takes no real time).
// Usage: app_screenshot OUT.png

#include "AppTestSupport.h"

#include <QApplication>
#include <QPixmap>
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUT.png\n", argv[0]);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    WindowHarness h;
    h.Select(10, 3, 2, false);
    h.window->MeasureBtnClick();
    if (!h.RunToEnd())
        return 1;
    h.Settle();
    return h.window->grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
