#include "AnalysisDialogs.h"

#include "AnalysisTexts.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>

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

bool TAnalysisDialogs::AskReportDetails(QWidget* parent, QString* title, QString* notes)
{
    QDialog dialog(parent);
    dialog.setWindowTitle(QString::fromUtf8(text::AnalysisReportDetails));
    auto* titleEdit = new QLineEdit(*title, &dialog);
    auto* notesEdit = new QPlainTextEdit(*notes, &dialog);
    notesEdit->setTabChangesFocus(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* form = new QFormLayout(&dialog);
    form->addRow(QString::fromUtf8(text::AnalysisReportTitleLabel), titleEdit);
    form->addRow(QString::fromUtf8(text::AnalysisReportNotesLabel), notesEdit);
    form->addRow(buttons);
    dialog.resize(520, 300);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    *title = titleEdit->text().trimmed();
    *notes = notesEdit->toPlainText().trimmed();
    return true;
}

} // namespace mirantos
