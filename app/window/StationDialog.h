#pragma once
// The noise test's dialog: the limits file (typed, or chosen with the open
// dialog behind IWindowDialogs), the board's serial number, the operator, the
// part number, lot and DUT id (optional), the results database and an
// optional folder that keeps the raw data. The start
// button is usable once a limits file and a serial number are given; Enter in
// the serial field (a barcode scanner's end of line) starts as it does.

#include <QDialog>
#include <QString>

class IWindowDialogs;
class QLineEdit;
class QPushButton;

namespace mirantos {

struct TStationRequest {
    QString limitsPath;
    QString serial;
    QString operatorName;
    // A results database as --db takes it; the default SQLite file when empty.
    QString dbUrl;
    // Where the raw data file is kept; empty keeps none.
    QString keepDir;
    // Optional: the product's part number and lot (empty: the limits file's)
    // and the hardware id of the device under test.
    QString partNumber = {};
    QString lot = {};
    QString dutId = {};
};

// A limits file and a serial number named.
bool StationRequestComplete(const TStationRequest& request);

} // namespace mirantos

class TStationDialog : public QDialog {
    Q_OBJECT
public:
    TStationDialog(QWidget* parent, IWindowDialogs* fileDialogs,
                   const mirantos::TStationRequest& initial);

    mirantos::TStationRequest Request() const;

    QLineEdit* LimitsEdit = nullptr;
    QPushButton* BrowseBtn = nullptr;
    QLineEdit* SerialEdit = nullptr;
    QLineEdit* OperatorEdit = nullptr;
    QLineEdit* PartEdit = nullptr;
    QLineEdit* LotEdit = nullptr;
    QLineEdit* DutEdit = nullptr;
    QLineEdit* DbEdit = nullptr;
    QLineEdit* KeepEdit = nullptr;
    QPushButton* KeepBtn = nullptr;
    QPushButton* StartBtn = nullptr;

private:
    void Browse();
    void BrowseFolder();
    void Update();

    IWindowDialogs* fileDialogs_;
};
