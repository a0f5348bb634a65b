#include "Startup.h"

#include "Mirantos_Main.h"
#include "SingleInstance.h"
#include "Texts.h"

#include <QApplication>
#include <QMessageBox>
#include <exception>

int RunMirantos(int argc, char** argv, std::function<std::unique_ptr<IFtdiDriver>()> makeDriver)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(mirantos::text::AppTitle));

    TSingleInstance guard;
    if (!guard.TryLock()) {
        // Another copy runs. When its window answers, say so and bring it forward.
        if (guard.ConnectToRunning()) {
            QMessageBox::critical(nullptr, QString::fromUtf8(mirantos::text::AppTitle),
                                  QString::fromUtf8(mirantos::text::AlreadyRunning));
            guard.AskRunningToShow();
        }
        return 1;
    }

    try {
        TFormMainDeps deps;
        deps.MakeDriver = std::move(makeDriver);
        TFormMain window(std::move(deps));
        if (window.ConstructionFailed())
            return 0;
        window.show();
        guard.Listen([&window] {
            window.showNormal();
            window.raise();
            window.activateWindow();
        });
        app.exec();
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QString::fromUtf8(mirantos::text::AppTitle),
                              QString::fromLocal8Bit(e.what()));
    }
    return 0;
}
