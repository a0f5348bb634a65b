#pragma once
// The comparison part of the noise analysis window: the reference files
// (read, analysed on the channel shown with the window's options, kept when
// the current data changes), their list with each run's colour, and the table
// of every run's figures with the difference to the current data.

#include "Comparison.h"
#include "NoiseAnalysis.h"

#include <QString>
#include <QWidget>

#include <array>
#include <string>
#include <vector>

class QListWidget;
class QPushButton;
class QTableWidget;

namespace mirantos {

class TComparisonPanel : public QWidget {
    Q_OBJECT
public:
    explicit TComparisonPanel(QWidget* parent = nullptr);

    // Reads and analyses `path` on `channel`; false with the text of the box
    // (naming the file) in `error` when it cannot be compared.
    bool Add(const QString& path, int channel, const analysis::TAnalysisOptions& options,
             QString* error);
    void Remove(int index);
    int Count() const { return static_cast<int>(references_.size()); }
    // Whether another reference may be added.
    bool Full() const;
    // Every reference again, for another channel or other options.
    void AnalyseAll(int channel, const analysis::TAnalysisOptions& options);
    // The analysed references as runs, in order, after the current data's.
    void AppendRuns(std::vector<analysis::TRunFigures>& runs) const;
    // The sine-wave test of each reference run of `runs` (those after the first, as
    // AppendRuns gave them) on `channel` with `options`; for the report, so computed here
    // and now rather than kept.
    void AppendSine(std::vector<analysis::TRunFigures>& runs, int channel,
                    const analysis::TSineOptions& options) const;
    bool HoldsFile(const std::string& name) const;
    // The list, and the table of `runs` (the current data first; hidden with one run).
    void Show(const std::vector<analysis::TRunFigures>& runs);

    // The height at which the table shows all its rows without scrolling.
    int NeededHeight() const;

signals:
    // The remove button, with the selected row.
    void RemoveClicked(int index);

private:
    struct TReference {
        QString path;
        std::array<std::vector<uint32_t>, 2> codes;
        double rateSps = 0;
        int gain = 1;
        analysis::TRunSettings settings;
        bool analysed = false;
        analysis::TNoiseFigures noise;
        analysis::TLowFrequencyFigures low;
    };
    bool Analyse(TReference& ref, int channel, analysis::TAnalysisOptions options) const;

    std::vector<TReference> references_;
    QPushButton* remove_ = nullptr;
    QListWidget* list_ = nullptr;
    QTableWidget* table_ = nullptr;
};

} // namespace mirantos
