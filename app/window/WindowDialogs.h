#pragma once
// The window's modal questions behind one seam: real dialogs in the program,
// scripted answers in tests.

#include "CaptureRequest.h"
#include "StationDialog.h"

#include <QString>

class IWindowDialogs {
public:
    virtual ~IWindowDialogs() = default;
    // False when the dialog was cancelled; otherwise the chosen name in *chosen.
    virtual bool SaveFileName(const QString& filter, const QString& initialName,
                              QString* chosen) = 0;
    virtual bool OpenFileName(const QString& filter, const QString& initialName,
                              QString* chosen) = 0;
    // The overwrite question of the save: true means "はい(&Y)".
    virtual bool AskOverwrite(const QString& text) = 0;
    // The close box's question while a long capture or a noise test runs:
    // true means "はい" (stop it and close).
    virtual bool AskStopRecording(const QString& text) = 0;
    // The long-capture dialog, showing *request first; false when cancelled,
    // otherwise the chosen request in *request.
    virtual bool CaptureRequest(mirantos::TCaptureRequest* request) = 0;
    // The noise test's dialog, showing *request first; false when cancelled,
    // otherwise the chosen request in *request.
    virtual bool StationRequest(mirantos::TStationRequest* request) = 0;
};

// QFileDialog and QMessageBox, modal, owned by `parent`.
class TQtWindowDialogs : public IWindowDialogs {
public:
    explicit TQtWindowDialogs(class QWidget* parent) : parent_(parent) {}
    bool SaveFileName(const QString& filter, const QString& initialName, QString* chosen) override;
    bool OpenFileName(const QString& filter, const QString& initialName, QString* chosen) override;
    bool AskOverwrite(const QString& text) override;
    // "いいえ" is the default: a stray Enter keeps the recording.
    bool AskStopRecording(const QString& text) override;
    // The last file and length come back from QSettings.
    bool CaptureRequest(mirantos::TCaptureRequest* request) override;
    // The last limits file, operator, database and folder come back from QSettings.
    bool StationRequest(mirantos::TStationRequest* request) override;

private:
    class QWidget* parent_;
};
