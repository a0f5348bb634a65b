#include "Startup.h"

#include "MirantosVersion.h"
#include "Mirantos_Main.h"
#include "SingleInstance.h"
#include "Texts.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QTranslator>
#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>

namespace {

void BringForward(TFormMain& window)
{
    window.showNormal();
    window.raise();
    window.activateWindow();
}

void PrintUsage(std::ostream& out, const std::string& program, bool simulatedBoard)
{
    out << "Usage: " << program << " [FILE]\n"
        << "\n";
    if (simulatedBoard)
        out << "Opens the MIRANTOS window on the built-in simulated board "
               "(シミュレーションボード):\n"
            << "no board is needed; its captures, reports and test results name that board.\n";
    else
        out << "Opens the MIRANTOS window.\n";
    out << "FILE, a .DTA data file, is loaded after start-up as the load command loads it;\n"
        << "when MIRANTOS already runs, FILE is handed to it instead.\n"
        << "\n"
        << "  --help      this text\n"
        << "  --version   program version\n";
}

// --help and --version: printed, and the exit code; nullopt for anything else.
std::optional<int> AnswerInfoOption(const std::string& arg, const std::string& program,
                                    bool simulatedBoard)
{
    if (arg == "--help" || arg == "-h") {
        PrintUsage(std::cout, program, simulatedBoard);
        return 0;
    }
    if (arg == "--version") {
        std::cout << program << ' ' << MIRANTOS_VERSION
                  << (simulatedBoard ? " (simulated board)" : "") << '\n';
        return 0;
    }
    return std::nullopt;
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

QTranslator* InstallQtTranslations(QCoreApplication& app)
{
    // The window speaks Japanese whatever the desktop's language is.
    auto* translator = new QTranslator(&app);
    if (!translator->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                          QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return nullptr;
    }
    QCoreApplication::installTranslator(translator);
    return translator;
}

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

int RunMirantos(int argc, char** argv, std::function<std::unique_ptr<IFtdiDriver>()> makeDriver,
                bool simulatedBoard)
{
    // Answered before the QApplication exists: it needs a display and aborts
    // without one, and help or a version number needs none.
    if (argc > 1) {
        const std::string program = std::filesystem::path(argv[0]).filename().string();
        if (const std::optional<int> code = AnswerInfoOption(argv[1], program, simulatedBoard))
            return *code;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(mirantos::text::AppTitle));
    InstallQtTranslations(app);

    // Qt has taken its own options out; what is left is ours.
    const QStringList args = QApplication::arguments();
    const QString program = QFileInfo(args.value(0)).fileName();
    QString file;
    if (args.size() > 1) {
        const QString& a = args.at(1);
        // Also after Qt's own options ("-platform offscreen --help").
        if (const std::optional<int> code =
                AnswerInfoOption(a.toStdString(), program.toStdString(), simulatedBoard))
            return *code;
        if (a.size() > 1 && a.startsWith(QLatin1Char('-'))) {
            std::cerr << program.toStdString() << ": unknown option " << a.toStdString() << "\n\n";
            PrintUsage(std::cerr, program.toStdString(), simulatedBoard);
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
