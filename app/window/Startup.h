#pragma once
// The program's whole start-up: the command line, the single-instance check
// (with the hand-over of a file to the running copy), the window, the loop.

#include "FtdiDriver.h"

#include <functional>
#include <memory>

class QCoreApplication;
class QString;
class QTranslator;
class TFormMain;
class TSingleInstance;

// `makeDriver` picks the board (USB or simulated); `simulatedBoard` says which,
// for --help and --version, which answer before there is a driver or a display.
int RunMirantos(int argc, char** argv, std::function<std::unique_ptr<IFtdiDriver>()> makeDriver,
                bool simulatedBoard);

// Qt's own dialogs and standard buttons in Japanese, like the rest of the
// window: Qt's translations, from where this Qt keeps them, installed on `app`
// for the program's life. Null (and English buttons) when they are missing.
QTranslator* InstallQtTranslations(QCoreApplication& app);

// The running copy once its window exists: answers second copies (bring the
// window forward; load a file they hand over unless busy) and loads `file`
// (absolute, or empty for none) as the load command does.
void StartWindow(TFormMain& window, TSingleInstance& guard, const QString& file);
