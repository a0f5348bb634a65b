#include "AnalysisDialogs.h"

#include "AnalysisTexts.h"

#include <QFileDialog>
#include <QMessageBox>

namespace mirantos {

bool TAnalysisDialogs::SaveFileName(QWidget* parent, const QString& filter,
                                    const QString& suggested, QString* chosen)
{
    const QString name = QFileDialog::getSaveFileName(
        parent, QString::fromUtf8(text::AnalysisTitle), suggested, filter);
    if (name.isEmpty())
        return false;
    *chosen = name;
    return true;
}

bool TAnalysisDialogs::OpenFileNames(QWidget* parent, const QString& filter, QStringList* chosen)
{
    const QStringList names =
        QFileDialog::getOpenFileNames(parent, QString::fromUtf8(text::AnalysisTitle), {}, filter);
    if (names.isEmpty())
        return false;
    *chosen = names;
    return true;
}

void TAnalysisDialogs::ShowError(QWidget* parent, const QString& text)
{
    QMessageBox::critical(parent, QString::fromUtf8(text::AnalysisTitle), text);
}

bool TAnalysisDialogs::AskOverwrite(QWidget* parent, const QString& question)
{
    return QMessageBox::question(parent, QString::fromUtf8(text::AnalysisTitle), question,
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

} // namespace mirantos
