#include "ViewerDialogs.h"

#include "ViewerTexts.h"

#include <QFileDialog>
#include <QMessageBox>

namespace mirantos {

bool TViewerDialogs::OpenFileName(QWidget* parent, const QString& filter, QString* chosen)
{
    const QString name =
        QFileDialog::getOpenFileName(parent, QString::fromUtf8(text::ViewerTitle), {}, filter);
    if (name.isEmpty())
        return false;
    *chosen = name;
    return true;
}

void TViewerDialogs::ShowError(QWidget* parent, const QString& text)
{
    QMessageBox::critical(parent, QString::fromUtf8(text::ViewerTitle), text);
}

bool TViewerDialogs::SaveFileName(QWidget* parent, const QString& filter, const QString& suggested,
                                  QString* chosen)
{
    const QString name = QFileDialog::getSaveFileName(parent, QString::fromUtf8(text::ViewerTitle),
                                                      suggested, filter);
    if (name.isEmpty())
        return false;
    *chosen = name;
    return true;
}

bool TViewerDialogs::AskOverwrite(QWidget* parent, const QString& question)
{
    return QMessageBox::question(parent, QString::fromUtf8(text::ViewerTitle), question,
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

} // namespace mirantos
