#pragma once
// The modal parts of the noise analysis window behind one seam, so tests
// answer them: the save-file and open-files dialogs, the overwrite question
// and the error box.

#include <QString>
#include <QStringList>

class QWidget;

namespace mirantos {

class IAnalysisDialogs {
public:
    virtual ~IAnalysisDialogs() = default;
    // False when cancelled.
    virtual bool SaveFileName(QWidget* parent, const QString& filter, const QString& suggested,
                              QString* chosen) = 0;
    // False when cancelled or nothing chosen.
    virtual bool OpenFileNames(QWidget* parent, const QString& filter, QStringList* chosen) = 0;
    virtual void ShowError(QWidget* parent, const QString& text) = 0;
    // The overwrite question for a name the save dialog did not ask about;
    // true for yes.
    virtual bool AskOverwrite(QWidget* parent, const QString& question) = 0;
    // The report's title and notes, before its file is chosen, starting from
    // those given; false when cancelled. Without a dialog of its own a seam
    // keeps them as they are.
    virtual bool AskReportDetails(QWidget* parent, QString* title, QString* notes)
    {
        (void)parent;
        (void)title;
        (void)notes;
        return true;
    }
};

// QFileDialog and QMessageBox.
class TAnalysisDialogs : public IAnalysisDialogs {
public:
    bool SaveFileName(QWidget* parent, const QString& filter, const QString& suggested,
                      QString* chosen) override;
    bool OpenFileNames(QWidget* parent, const QString& filter, QStringList* chosen) override;
    void ShowError(QWidget* parent, const QString& text) override;
    bool AskOverwrite(QWidget* parent, const QString& question) override;
    bool AskReportDetails(QWidget* parent, QString* title, QString* notes) override;
};

} // namespace mirantos
