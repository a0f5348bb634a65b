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

void TAnalysisDialogs::ShowError(QWidget* parent, const QString& text)
{
    QMessageBox::critical(parent, QString::fromUtf8(text::AnalysisTitle), text);
}

} // namespace mirantos
