#include "MessageBoxPresenter.h"

#include <QMessageBox>

std::unique_ptr<QMessageBox> TMessageBoxPresenter::MakeErrorBox(const QString& caption,
                                                                const QString& text)
{
    auto box = std::make_unique<QMessageBox>(QMessageBox::Critical, caption, text, QMessageBox::Ok,
                                             nullptr);
    box->setTextFormat(Qt::PlainText);
    box->setWindowModality(Qt::ApplicationModal);
    box->setDefaultButton(QMessageBox::Ok);
    return box;
}

void TMessageBoxPresenter::ShowError(const QString& caption, const QString& text)
{
    MakeErrorBox(caption, text)->exec();
}
