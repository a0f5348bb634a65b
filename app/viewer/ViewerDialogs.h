#pragma once
// The modal parts of the trace viewer behind one seam, so tests answer them:
// the open-file dialog, the error box, and the export's save dialog and
// overwrite question.

#include <QString>

class QWidget;

namespace mirantos {

class IViewerDialogs {
public:
    virtual ~IViewerDialogs() = default;
    // False when cancelled.
    virtual bool OpenFileName(QWidget* parent, const QString& filter, QString* chosen) = 0;
    virtual void ShowError(QWidget* parent, const QString& text) = 0;
    // False when cancelled. The dialog asks about replacing the name it returns.
    virtual bool SaveFileName(QWidget* parent, const QString& filter, const QString& suggested,
                              QString* chosen) = 0;
    // The overwrite question for a name the save dialog did not ask about;
    // true for yes.
    virtual bool AskOverwrite(QWidget* parent, const QString& question) = 0;
};

// QFileDialog and QMessageBox.
class TViewerDialogs : public IViewerDialogs {
public:
    bool OpenFileName(QWidget* parent, const QString& filter, QString* chosen) override;
    void ShowError(QWidget* parent, const QString& text) override;
    bool SaveFileName(QWidget* parent, const QString& filter, const QString& suggested,
                      QString* chosen) override;
    bool AskOverwrite(QWidget* parent, const QString& question) override;
};

} // namespace mirantos
