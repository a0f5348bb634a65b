#include "StationDialog.h"

#include "StationTexts.h"
#include "Texts.h"
#include "WindowDialogs.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace mirantos;

bool mirantos::StationRequestComplete(const TStationRequest& request)
{
    return !request.limitsPath.trimmed().isEmpty() && !request.serial.trimmed().isEmpty();
}

TStationDialog::TStationDialog(QWidget* parent, IWindowDialogs* fileDialogs,
                               const TStationRequest& initial)
    : QDialog(parent), fileDialogs_(fileDialogs)
{
    setWindowTitle(U(text::StationTitle));
    auto* form = new QFormLayout;

    LimitsEdit = new QLineEdit(initial.limitsPath);
    LimitsEdit->setMinimumWidth(360);
    BrowseBtn = new QPushButton(U(text::StationBrowse));
    auto* limitsRow = new QHBoxLayout;
    limitsRow->addWidget(LimitsEdit, 1);
    limitsRow->addWidget(BrowseBtn);
    form->addRow(U(text::StationLimitsCaption), limitsRow);

    SerialEdit = new QLineEdit(initial.serial);
    form->addRow(U(text::StationSerialCaption), SerialEdit);
    OperatorEdit = new QLineEdit(initial.operatorName);
    form->addRow(U(text::StationOperatorCaption), OperatorEdit);
    PartEdit = new QLineEdit(initial.partNumber);
    form->addRow(U(text::StationPartCaption), PartEdit);
    LotEdit = new QLineEdit(initial.lot);
    form->addRow(U(text::StationLotCaption), LotEdit);
    DutEdit = new QLineEdit(initial.dutId);
    form->addRow(U(text::StationDutCaption), DutEdit);
    DbEdit = new QLineEdit(initial.dbUrl);
    form->addRow(U(text::StationDbCaption), DbEdit);

    KeepEdit = new QLineEdit(initial.keepDir);
    KeepEdit->setPlaceholderText(U(text::StationKeepHint));
    KeepBtn = new QPushButton(U(text::StationBrowseFolder));
    auto* keepRow = new QHBoxLayout;
    keepRow->addWidget(KeepEdit, 1);
    keepRow->addWidget(KeepBtn);
    form->addRow(U(text::StationKeepCaption), keepRow);

    auto* buttons = new QDialogButtonBox;
    StartBtn = buttons->addButton(U(text::StationStart), QDialogButtonBox::AcceptRole);
    buttons->addButton(U(text::StationCancel), QDialogButtonBox::RejectRole);
    StartBtn->setDefault(true);
    // Enter never opens a file dialog, whichever button had the focus last.
    BrowseBtn->setAutoDefault(false);
    KeepBtn->setAutoDefault(false);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);

    connect(BrowseBtn, &QPushButton::clicked, this, &TStationDialog::Browse);
    connect(KeepBtn, &QPushButton::clicked, this, &TStationDialog::BrowseFolder);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(LimitsEdit, &QLineEdit::textChanged, this, &TStationDialog::Update);
    connect(SerialEdit, &QLineEdit::textChanged, this, &TStationDialog::Update);
    // A barcode scanner types the serial and Enter: that starts the test.
    connect(SerialEdit, &QLineEdit::returnPressed, this, [this] {
        if (StartBtn->isEnabled())
            accept();
    });
    // A new board is the usual next run: the serial number is what gets typed.
    if (!initial.limitsPath.isEmpty())
        SerialEdit->setFocus();
    Update();
}

TStationRequest TStationDialog::Request() const
{
    TStationRequest r;
    r.limitsPath = LimitsEdit->text().trimmed();
    r.serial = SerialEdit->text().trimmed();
    r.operatorName = OperatorEdit->text().trimmed();
    r.partNumber = PartEdit->text().trimmed();
    r.lot = LotEdit->text().trimmed();
    r.dutId = DutEdit->text().trimmed();
    r.dbUrl = DbEdit->text().trimmed();
    r.keepDir = KeepEdit->text().trimmed();
    return r;
}

void TStationDialog::Browse()
{
    QString chosen;
    if (fileDialogs_ != nullptr &&
        fileDialogs_->OpenFileName(U(text::StationLimitsFilter), U(text::StationInitialName),
                                   &chosen) &&
        !chosen.isEmpty())
        LimitsEdit->setText(chosen);
}

void TStationDialog::BrowseFolder()
{
    const QString chosen =
        QFileDialog::getExistingDirectory(this, U(text::StationKeepCaption), KeepEdit->text());
    if (!chosen.isEmpty())
        KeepEdit->setText(chosen);
}

void TStationDialog::Update()
{
    StartBtn->setEnabled(StationRequestComplete(Request()));
}
