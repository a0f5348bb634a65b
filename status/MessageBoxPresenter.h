#pragma once
// The window's IMessagePresenter: a modal QMessageBox with no owner.

#include "Mymessage.h"

#include <memory>

class QMessageBox;

class TMessageBoxPresenter : public IMessagePresenter {
public:
    // Shows the box and returns when the user closes it; the event loop keeps
    // running meanwhile.
    void ShowError(const QString& caption, const QString& text) override;

    // The box ShowError shows: no parent, application modal, the caption as
    // title, the error icon and one OK button.
    static std::unique_ptr<QMessageBox> MakeErrorBox(const QString& caption, const QString& text);
};
