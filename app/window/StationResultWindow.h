#pragma once
// The noise test's result: the test, serial, operator and date above the
// overall verdict in large letters, one row per limit (channel, figure by its
// Japanese name and unit, value, limit, 合格/不合格, margin), where the raw data
// was kept and what became of the result in the database. A window of its own
// beside the main one, reused by the next test: the moment that test starts,
// the last board's result gives way to "試験中" and the new board's header.
// "証明書保存" saves the result as a one-page PDF (StationCertificate.h).

#include "ResultsDb.h"
#include "StationCertificate.h"
#include "Verdict.h"

#include <QString>
#include <QWidget>

class IMessagePresenter;
class IWindowDialogs;
class QLabel;
class QPushButton;
class QTableWidget;

namespace mirantos {

// Who and what a result is of.
struct TStationResultFacts {
    QString serial;
    QString operatorName;
    std::string startedUtc; // as the records write it
    // Where the raw data was kept; empty when nowhere.
    QString dataPath;
    // A line under the test's says the result is the simulated board's.
    bool simulatedBoard = false;
    // What the product is (each shown when given; the part number the limits file's else).
    QString partNumber = {}, lot = {}, dutId = {};
};

class TStationResultWindow : public QWidget {
    Q_OBJECT
public:
    // The certificate's save dialog, overwrite question and error box go
    // through `dialogs` and `presenter`.
    TStationResultWindow(QWidget* parent, IWindowDialogs* dialogs, IMessagePresenter* presenter);

    // A test of `facts.serial` has started: no verdict, no rows, no certificate.
    void ShowStarted(const station::TTestLimits& limits, const TStationResultFacts& facts);
    void ShowVerdict(const station::TTestLimits& limits, const station::TVerdict& verdict,
                     const TStationResultFacts& facts);
    // The store has begun / has ended with `outcome` for the database `where`.
    void SetStoring(const QString& where);
    void SetStored(const results::TStoreOutcome& outcome, const QString& where);
    bool Storing() const { return storing_; }

    QLabel* VerdictLabel() const { return verdict_; }
    QLabel* TestLabel() const { return test_; }
    // The operator and the date and time of the start.
    QLabel* RunLabel() const { return run_; }
    // Part number, lot and DUT id, those given; hidden when none is.
    QLabel* ProductLabel() const { return product_; }
    // Shown only for the simulated board's result.
    QLabel* BoardLabel() const { return board_; }
    // Why the run did not complete (stopped, a read error); hidden otherwise.
    QLabel* ReasonLabel() const { return reason_; }
    QLabel* DataLabel() const { return data_; }
    QLabel* StorageLabel() const { return storage_; }
    QTableWidget* Table() const { return table_; }
    QPushButton* CertificateButton() const { return certificateBtn_; }

private:
    // The save dialog, then the overwrite question for an existing file.
    void SaveCertificate();
    void ShowHeader(const station::TTestLimits& limits, const TStationResultFacts& facts);

    IWindowDialogs* dialogs_;
    IMessagePresenter* presenter_;
    QLabel* test_ = nullptr;
    QLabel* run_ = nullptr;
    QLabel* product_ = nullptr;
    QLabel* board_ = nullptr;
    QLabel* verdict_ = nullptr;
    QLabel* reason_ = nullptr;
    QTableWidget* table_ = nullptr;
    QLabel* data_ = nullptr;
    QLabel* storage_ = nullptr;
    QPushButton* certificateBtn_ = nullptr;
    bool storing_ = false;
    TStationCertificate certificate_;
    QString certificateName_;
};

} // namespace mirantos
