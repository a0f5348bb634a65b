#include "CaptureDialog.h"

#include "Tables.h"
#include "Texts.h"
#include "WindowDialogs.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>

using namespace mirantos;

namespace {

int ToSpin(int64_t v)
{
    return static_cast<int>(std::min<int64_t>(v, std::numeric_limits<int>::max()));
}

} // namespace

TCaptureDialog::TCaptureDialog(QWidget* parent, IWindowDialogs* fileDialogs,
                               const TCaptureRequest& initial)
    : QDialog(parent), fileDialogs_(fileDialogs)
{
    setWindowTitle(U(text::CaptureTitle));
    auto* form = new QFormLayout;

    PathEdit = new QLineEdit(initial.path);
    BrowseBtn = new QPushButton(U(text::CaptureBrowse));
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(PathEdit, 1);
    fileRow->addWidget(BrowseBtn);
    form->addRow(U(text::CaptureFileCaption), fileRow);

    RateBox = new QComboBox;
    for (auto item : kRateItems)
        RateBox->addItem(U(item));
    RateBox->setCurrentIndex(initial.rateIndex);
    form->addRow(U(text::RateCaption), RateBox);

    Sinc3_RB = new QRadioButton(U(text::Sinc3Caption));
    Sinc5_RB = new QRadioButton(U(text::Sinc5Caption));
    (initial.sinc3 ? Sinc3_RB : Sinc5_RB)->setChecked(true);
    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(Sinc3_RB);
    filterRow->addWidget(Sinc5_RB);
    auto* filters = new QButtonGroup(this);
    filters->addButton(Sinc3_RB);
    filters->addButton(Sinc5_RB);
    form->addRow(QString(), filterRow);

    ChannelBox = new QComboBox;
    for (auto item : kChannelItems)
        ChannelBox->addItem(U(item));
    ChannelBox->setCurrentIndex(initial.channelIndex);
    form->addRow(U(text::ChannelCaption), ChannelBox);

    ByDuration_RB = new QRadioButton(U(text::CaptureByDuration));
    ByCount_RB = new QRadioButton(U(text::CaptureByCount));
    (initial.byDuration ? ByDuration_RB : ByCount_RB)->setChecked(true);
    auto* lengths = new QButtonGroup(this);
    lengths->addButton(ByDuration_RB);
    lengths->addButton(ByCount_RB);
    SecondsSpin = new QSpinBox;
    SecondsSpin->setRange(ToSpin(RequestMinSeconds(initial)), ToSpin(RequestMaxSeconds(initial)));
    SecondsSpin->setValue(ToSpin(initial.seconds));
    CountSpin = new QSpinBox;
    CountSpin->setRange(kMinCaptureCount, kBoardMaxCount);
    CountSpin->setValue(initial.count);
    form->addRow(ByDuration_RB, SecondsSpin);
    form->addRow(ByCount_RB, CountSpin);
    SamplesLabel = new QLabel;
    form->addRow(U(text::CountCaption), SamplesLabel);
    SizeLabel = new QLabel;
    form->addRow(U(text::CaptureSizeCaption), SizeLabel);

    auto* buttons = new QDialogButtonBox;
    StartBtn = buttons->addButton(U(text::CaptureStart), QDialogButtonBox::AcceptRole);
    buttons->addButton(U(text::CaptureCancel), QDialogButtonBox::RejectRole);
    StartBtn->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);

    connect(BrowseBtn, &QPushButton::clicked, this, &TCaptureDialog::Browse);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(PathEdit, &QLineEdit::textChanged, this, &TCaptureDialog::Update);
    connect(RateBox, &QComboBox::currentIndexChanged, this, &TCaptureDialog::Update);
    connect(Sinc3_RB, &QRadioButton::toggled, this, &TCaptureDialog::Update);
    connect(ByDuration_RB, &QRadioButton::toggled, this, &TCaptureDialog::Update);
    connect(SecondsSpin, &QSpinBox::valueChanged, this, &TCaptureDialog::Update);
    connect(CountSpin, &QSpinBox::valueChanged, this, &TCaptureDialog::Update);
    Update();
}

TCaptureRequest TCaptureDialog::Request() const
{
    TCaptureRequest r;
    r.path = WithCaptureSuffix(PathEdit->text());
    r.rateIndex = RateBox->currentIndex();
    r.sinc3 = Sinc3_RB->isChecked();
    r.channelIndex = ChannelBox->currentIndex();
    r.byDuration = ByDuration_RB->isChecked();
    r.seconds = SecondsSpin->value();
    r.count = CountSpin->value();
    return r;
}

void TCaptureDialog::Browse()
{
    QString chosen;
    if (fileDialogs_ != nullptr &&
        fileDialogs_->SaveFileName(U(text::CaptureFilter), U(text::CaptureInitialName), &chosen) &&
        !chosen.isEmpty())
        PathEdit->setText(WithCaptureSuffix(chosen));
}

void TCaptureDialog::Update()
{
    // A rate or filter change moves the duration's limits; the value follows
    // into the new range.
    const TCaptureRequest limits = Request();
    SecondsSpin->setRange(ToSpin(RequestMinSeconds(limits)), ToSpin(RequestMaxSeconds(limits)));
    const TCaptureRequest r = Request();
    SecondsSpin->setEnabled(r.byDuration);
    CountSpin->setEnabled(!r.byDuration);
    SamplesLabel->setText(QString::number(RequestCount(r)));
    SizeLabel->setText(U(text::CaptureSizeAbout) + FileSizeText(RequestFileBytes(r)));
    StartBtn->setEnabled(RequestValid(r));
}
