// Makes docs/screenshot.png: the window after a two-channel run on the
// simulated board (a manual clock, so it takes no real time); with a second
// name also the long-capture dialog as it opens over that window
// (docs/capture-dialog.png).
// Usage: app_screenshot OUT.png [DIALOG.png]

#include "AppTestSupport.h"
#include "CaptureDialog.h"

#include <QApplication>
#include <QPixmap>
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: %s OUT.png [DIALOG.png]\n", argv[0]);
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
    if (!h.window->grab().save(QString::fromLocal8Bit(argv[1])))
        return 1;
    if (argc == 3) {
        mirantos::TCaptureRequest request =
            mirantos::DefaultCaptureRequest(h.window->ComboBox1->currentIndex(), false, 2);
        request.path = QStringLiteral("/home/user/noise/frontend-rev-b.csv");
        TCaptureDialog dialog(h.window.get(), &h.dialogs, request);
        dialog.show();
        h.Settle();
        if (!dialog.grab().save(QString::fromLocal8Bit(argv[2])))
            return 1;
    }
    return 0;
}
