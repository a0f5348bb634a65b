#pragma once
// The noise test's result: the overall verdict in large letters, one row per
// limit (channel, figure, value, limit, 合格/不合格, margin), where the raw data
// was kept and what became of the result in the database. A window of its own
// beside the main one, reused by the next test.

#include "ResultsDb.h"
#include "Verdict.h"

#include <QString>
#include <QWidget>

class QLabel;
class QTableWidget;

namespace mirantos {

class TStationResultWindow : public QWidget {
    Q_OBJECT
public:
    explicit TStationResultWindow(QWidget* parent);

    // `simulatedBoard`: a line under the test's says the result is the
    // simulated board's.
    void ShowVerdict(const station::TTestLimits& limits, const station::TVerdict& verdict,
                     const QString& serial, const QString& dataPath, bool simulatedBoard);
    // The store has begun / has ended with `outcome` for the database `where`.
    void SetStoring(const QString& where);
    void SetStored(const results::TStoreOutcome& outcome, const QString& where);
    bool Storing() const { return storing_; }

    QLabel* VerdictLabel() const { return verdict_; }
    QLabel* TestLabel() const { return test_; }
    // Shown only for the simulated board's result.
    QLabel* BoardLabel() const { return board_; }
    QLabel* DataLabel() const { return data_; }
    QLabel* StorageLabel() const { return storage_; }
    QTableWidget* Table() const { return table_; }

private:
    QLabel* test_ = nullptr;
    QLabel* board_ = nullptr;
    QLabel* verdict_ = nullptr;
    QTableWidget* table_ = nullptr;
    QLabel* data_ = nullptr;
    QLabel* storage_ = nullptr;
    bool storing_ = false;
};

} // namespace mirantos
