#pragma once
// The window's modal questions behind one seam: real dialogs in the program,
// scripted answers in tests.

#include <QString>
#include <optional>

class IWindowDialogs {
public:
    virtual ~IWindowDialogs() = default;
    // Returns the chosen name, or nothing when the dialog was cancelled.
    virtual std::optional<QString> SaveFileName(const QString& filter, const QString& initialName) = 0;
    virtual std::optional<QString> OpenFileName(const QString& filter, const QString& initialName) = 0;
    // The overwrite question of the save: true means "はい(&Y)".
    virtual bool AskOverwrite(const QString& text) = 0;
};

// QFileDialog and QMessageBox, modal, owned by `parent`.
class TQtWindowDialogs : public IWindowDialogs {
public:
    explicit TQtWindowDialogs(class QWidget* parent) : parent_(parent) {}
    std::optional<QString> SaveFileName(const QString& filter, const QString& initialName) override;
    std::optional<QString> OpenFileName(const QString& filter, const QString& initialName) override;
    bool AskOverwrite(const QString& text) override;

private:
    class QWidget* parent_;
};
