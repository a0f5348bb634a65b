#pragma once
// The modal parts of the trace viewer behind one seam, so tests answer them:
// the open-file dialog and the error box.

#include <QString>

class QWidget;

namespace mirantos {

class IViewerDialogs {
public:
    virtual ~IViewerDialogs() = default;
    // False when cancelled.
    virtual bool OpenFileName(QWidget* parent, const QString& filter, QString* chosen) = 0;
    virtual void ShowError(QWidget* parent, const QString& text) = 0;
};

// QFileDialog and QMessageBox.
class TViewerDialogs : public IViewerDialogs {
public:
    bool OpenFileName(QWidget* parent, const QString& filter, QString* chosen) override;
    void ShowError(QWidget* parent, const QString& text) override;
};

} // namespace mirantos
