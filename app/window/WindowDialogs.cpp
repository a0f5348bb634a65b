#include "WindowDialogs.h"

#include "CaptureDialog.h"
#include "ResultsDb.h"
#include "Texts.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>

namespace {

bool RunFileDialog(QWidget* parent, QFileDialog::AcceptMode mode, const QString& filter,
                   const QString& initialName, QString* chosen)
{
    QFileDialog dialog(parent);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                       : QFileDialog::AnyFile);
    // The save's own overwrite question is asked by the data file, not here.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setNameFilter(filter);
    dialog.selectFile(initialName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    *chosen = dialog.selectedFiles().front();
    return true;
}

} // namespace

bool TQtWindowDialogs::SaveFileName(const QString& filter, const QString& initialName,
                                    QString* chosen)
{
    return RunFileDialog(parent_, QFileDialog::AcceptSave, filter, initialName, chosen);
}

bool TQtWindowDialogs::OpenFileName(const QString& filter, const QString& initialName,
                                    QString* chosen)
{
    return RunFileDialog(parent_, QFileDialog::AcceptOpen, filter, initialName, chosen);
}

bool TQtWindowDialogs::AskOverwrite(const QString& text)
{
    QMessageBox box(QMessageBox::Question, mirantos::U(mirantos::text::OverwriteCaption), text,
                    QMessageBox::NoButton, parent_);
    // The text holds a path; a name such as "<i>x.DTA" must read as written.
    box.setTextFormat(Qt::PlainText);
    QPushButton* yes =
        box.addButton(mirantos::U(mirantos::text::OverwriteYes), QMessageBox::YesRole);
    box.addButton(mirantos::U(mirantos::text::OverwriteNo), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.exec();
    return box.clickedButton() == yes;
}

bool TQtWindowDialogs::AskStopRecording(const QString& text)
{
    QMessageBox box(QMessageBox::Question, mirantos::U(mirantos::text::OverwriteCaption), text,
                    QMessageBox::NoButton, parent_);
    QPushButton* yes =
        box.addButton(mirantos::U(mirantos::text::OverwriteYes), QMessageBox::YesRole);
    QPushButton* no = box.addButton(mirantos::U(mirantos::text::OverwriteNo), QMessageBox::NoRole);
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

bool TQtWindowDialogs::CaptureRequest(mirantos::TCaptureRequest* request)
{
    // The file and the length come back; rate, filter and channel are the
    // main window's (or, after an overwrite question's "いいえ", as chosen).
    QSettings settings;
    settings.beginGroup(QStringLiteral("capture"));
    mirantos::TCaptureRequest initial = *request;
    if (initial.path.isEmpty()) {
        initial.path = settings.value(QStringLiteral("file"), initial.path).toString();
        initial.byDuration =
            settings.value(QStringLiteral("byDuration"), initial.byDuration).toBool();
        initial.seconds =
            settings.value(QStringLiteral("seconds"), static_cast<qlonglong>(initial.seconds))
                .toLongLong();
        initial.count = settings.value(QStringLiteral("count"), initial.count).toInt();
    }
    TCaptureDialog dialog(parent_, this, initial);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    *request = dialog.Request();
    settings.setValue(QStringLiteral("file"), request->path);
    settings.setValue(QStringLiteral("byDuration"), request->byDuration);
    settings.setValue(QStringLiteral("seconds"), static_cast<qlonglong>(request->seconds));
    settings.setValue(QStringLiteral("count"), request->count);
    return mirantos::RequestValid(*request);
}

bool TQtWindowDialogs::StationRequest(mirantos::TStationRequest* request)
{
    // The serial number and the DUT id change with every board; the rest is the bench's.
    QSettings settings;
    settings.beginGroup(QStringLiteral("station"));
    mirantos::TStationRequest initial = *request;
    initial.limitsPath = settings.value(QStringLiteral("limits"), initial.limitsPath).toString();
    initial.operatorName =
        settings.value(QStringLiteral("operator"), initial.operatorName).toString();
    initial.dbUrl = settings.value(QStringLiteral("db"), initial.dbUrl).toString();
    initial.keepDir = settings.value(QStringLiteral("keep"), initial.keepDir).toString();
    initial.partNumber = settings.value(QStringLiteral("part"), initial.partNumber).toString();
    initial.lot = settings.value(QStringLiteral("lot"), initial.lot).toString();
    TStationDialog dialog(parent_, this, initial);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    *request = dialog.Request();
    settings.setValue(QStringLiteral("limits"), request->limitsPath);
    settings.setValue(QStringLiteral("operator"), request->operatorName);
    // A password typed into the URL (refused later) never reaches the settings file.
    settings.setValue(QStringLiteral("db"), QString::fromStdString(mirantos::results::MaskedUrl(
                                                request->dbUrl.toStdString())));
    settings.setValue(QStringLiteral("keep"), request->keepDir);
    settings.setValue(QStringLiteral("part"), request->partNumber);
    settings.setValue(QStringLiteral("lot"), request->lot);
    return mirantos::StationRequestComplete(*request);
}
