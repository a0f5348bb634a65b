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

} // namespace mirantos
