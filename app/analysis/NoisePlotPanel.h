#pragma once
// The four plots of the noise analysis window in one widget, laid out as in
// the saved picture (histogram and density above, Allan deviation and the
// 0.1-10 Hz trace below): made and prepared once, then filled with one run's
// figures or with several runs overlaid. Each plot keeps a size at which its
// title, axis texts and ticks stay readable.

#include "Comparison.h"
#include "LowFrequency.h"
#include "NoiseAnalysis.h"

#include <QWidget>

#include <vector>

class QCustomPlot;

namespace mirantos {

class TNoisePlotPanel : public QWidget {
    Q_OBJECT
public:
    explicit TNoisePlotPanel(QWidget* parent = nullptr);

    // Histogram and density of one run.
    void ShowNoise(const analysis::TNoiseFigures& f, bool voltMode);
    // Allan deviation and 0.1-10 Hz trace of one run.
    void ShowLowFrequency(const analysis::TLowFrequencyFigures& lf, double rateSps);
    // Every run (the first the current data) drawn over the others; the trace
    // stays the current data's.
    void ShowRuns(const std::vector<analysis::TRunFigures>& runs, bool voltMode);
    // Only the histogram again, for another unit on its axis.
    void ShowHistogramUnit(const analysis::TNoiseFigures& f,
                           const std::vector<analysis::TRunFigures>& runs, bool voltMode);
    // Empties the four plots, each saying `reason` where its data would be.
    void Clear(const QString& reason);

private:
    QCustomPlot* histogram_ = nullptr;
    QCustomPlot* spectrum_ = nullptr;
    QCustomPlot* allan_ = nullptr;
    QCustomPlot* trace_ = nullptr;
};

} // namespace mirantos
