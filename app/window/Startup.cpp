#include "Startup.h"

#include "MirantosVersion.h"
#include "Mirantos_Main.h"
#include "SingleInstance.h"
#include "Texts.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <exception>
#include <iostream>

namespace {

void BringForward(TFormMain& window)
{
    window.showNormal();
    window.raise();
    window.activateWindow();
}

void PrintUsage(std::ostream& out, const QString& program)
{
    const std::string p = program.toStdString();
    out << "Usage: " << p << " [FILE]\n"
        << "\n"
        << "Opens the MIRANTOS window. FILE, a .DTA data file, is loaded after start-up as the\n"
        << "load command loads it; when MIRANTOS already runs, FILE is handed to it instead.\n"
        << "\n"
        << "  --help      this text\n"
        << "  --version   program version\n";
}

// A second copy with a file: the running copy loads it, or says why not.
int HandOverToRunning(TSingleInstance& guard, const QString& program, const QString& file)
{
    const std::string p = program.toStdString();
    const std::string f = QFile::encodeName(file).toStdString();
    if (!guard.ConnectToRunning()) {
        std::cerr << p << ": MIRANTOS runs but does not answer yet; " << f << " was not opened\n";
        return 1;
    }
    switch (guard.HandOver(file)) {
    case THandOver::Accepted:
        return 0;
    case THandOver::Measuring:
        std::cerr << p << ": a run is in progress in MIRANTOS; " << f << " was not opened\n";
        return 1;
    case THandOver::Busy:
        std::cerr << p << ": MIRANTOS is busy with a command (a dialog or the board); " << f
                  << " was not opened\n";
        return 1;
    case THandOver::NoAnswer:
        break;
    }
    std::cerr << p << ": MIRANTOS did not answer; " << f << " was not opened\n";
    return 1;
}

} // namespace

void StartWindow(TFormMain& window, TSingleInstance& guard, const QString& file)
{
    guard.Listen([&window] { BringForward(window); },
                 [&window](const QString& path) {
                     switch (window.OfferFile(path)) {
                     case TFormMain::TOpenAnswer::Accepted:
                         BringForward(window);
                         return THandOver::Accepted;
                     case TFormMain::TOpenAnswer::Measuring:
                         return THandOver::Measuring;
                     case TFormMain::TOpenAnswer::Busy:
                         break;
                     }
                     return THandOver::Busy;
                 });
    if (!file.isEmpty())
        window.OfferFile(file);
}

int RunMirantos(int argc, char** argv, std::function<std::unique_ptr<IFtdiDriver>()> makeDriver)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(mirantos::text::AppTitle));

    // Qt has taken its own options out; what is left is ours.
    const QStringList args = QApplication::arguments();
    const QString program = QFileInfo(args.value(0)).fileName();
    QString file;
    if (args.size() > 1) {
        const QString& a = args.at(1);
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            PrintUsage(std::cout, program);
            return 0;
        }
        if (a == QLatin1String("--version")) {
            std::cout << program.toStdString() << ' ' << MIRANTOS_VERSION << '\n';
            return 0;
        }
        if (a.size() > 1 && a.startsWith(QLatin1Char('-'))) {
            std::cerr << program.toStdString() << ": unknown option " << a.toStdString() << "\n\n";
            PrintUsage(std::cerr, program);
            return 2;
        }
        // Absolute, because the running copy that may get it works in another folder.
        file = QFileInfo(a).absoluteFilePath();
    }

    TSingleInstance guard;
    if (!guard.TryLock()) {
        if (!file.isEmpty())
            return HandOverToRunning(guard, program, file);
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
        StartWindow(window, guard, file);
        app.exec();
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QString::fromUtf8(mirantos::text::AppTitle),
                              QString::fromLocal8Bit(e.what()));
    }
    return 0;
}
