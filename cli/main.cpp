// mirantos-cli: measure, stats, plot, export and analyze without the window.

#include "Commands.h"

#include <QApplication>
#include <QtGlobal>

#include <iostream>
#include <unistd.h>

namespace {

// The tool's error stream carries its own texts; Qt's notes about the session
// (no runtime directory, no display) would only get in the way of scripts.
void QuietMessages(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::cerr << message.toStdString() << std::endl;
}

} // namespace

int main(int argc, char** argv)
{
    qInstallMessageHandler(QuietMessages);
    // The tool never opens a window; it works the same with or without a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt gets only the program name, so no argument of ours is taken as a Qt option.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    // A QApplication (offscreen) because analyze --png draws QCustomPlot plots, which are widgets.
    QApplication app(qtArgc, qtArgv);

    const std::vector<std::string> args(argv + 1, argv + argc);
    const mirantos::cli::CliIo io{std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1};
    return mirantos::cli::Run(args, io);
}
