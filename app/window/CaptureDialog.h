#pragma once
// The long-capture dialog: the file (typed, or chosen with the save dialog
// behind IWindowDialogs), rate, filter, channels and the length as a duration
// or a sample count, with the samples and the file size it comes to shown
// beside it; a name without a suffix gets ".csv". The start
// button is usable only for a request the board takes (CaptureRequest.h).

#include "CaptureRequest.h"

#include <QDialog>

class IWindowDialogs;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

class TCaptureDialog : public QDialog {
    Q_OBJECT
public:
    TCaptureDialog(QWidget* parent, IWindowDialogs* fileDialogs,
                   const mirantos::TCaptureRequest& initial);

    // The request as the controls read now.
    mirantos::TCaptureRequest Request() const;

    QLineEdit* PathEdit = nullptr;
    QPushButton* BrowseBtn = nullptr;
    QComboBox* RateBox = nullptr;
    QRadioButton* Sinc3_RB = nullptr;
    QRadioButton* Sinc5_RB = nullptr;
    QComboBox* ChannelBox = nullptr;
    QRadioButton* ByDuration_RB = nullptr;
    QRadioButton* ByCount_RB = nullptr;
    QSpinBox* SecondsSpin = nullptr;
    QSpinBox* CountSpin = nullptr;
    // The samples per channel the request comes to.
    QLabel* SamplesLabel = nullptr;
    // About the size the capture's file will take.
    QLabel* SizeLabel = nullptr;
    QPushButton* StartBtn = nullptr;

private:
    void Browse();
    // Limits of the duration at the chosen rate, the samples, the start button.
    void Update();

    IWindowDialogs* fileDialogs_;
};
