#include "NoisePlotPanel.h"

#include "AnalysisTexts.h"
#include "NoiseAnalysisText.h"
#include "NoisePlots.h"
#include "PlotAids.h"

#include <qcustomplot.h>

#include <QGridLayout>

namespace mirantos {

using namespace analysisview;

TNoisePlotPanel::TNoisePlotPanel(QWidget* parent) : QWidget(parent)
{
    histogram_ = NewPlot(this, "histogramPlot", &PrepareHistogramPlot);
    spectrum_ = NewPlot(this, "spectrumPlot", &PrepareSpectrumPlot);
    allan_ = NewPlot(this, "allanPlot", &PrepareAllanPlot);
    trace_ = NewPlot(this, "lowFrequencyPlot", &PrepareLowFrequencyPlot);
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(histogram_, 0, 0);
    grid->addWidget(spectrum_, 0, 1);
    grid->addWidget(allan_, 1, 0);
    grid->addWidget(trace_, 1, 1);
}

void TNoisePlotPanel::ShowNoise(const analysis::TNoiseFigures& f, bool voltMode)
{
    // The overlay's axis title goes with the overlay.
    histogram_->yAxis->setLabel(Utf8(text::AnalysisAxisCount));
    ShowHistogram(*histogram_, f, voltMode);
    ShowSpectrum(*spectrum_, f);
    histogram_->replot();
    spectrum_->replot();
}

void TNoisePlotPanel::ShowLowFrequency(const analysis::TLowFrequencyFigures& lf, double rateSps)
{
    ShowAllan(*allan_, lf);
    mirantos::ShowLowFrequency(*trace_, lf, rateSps);
    allan_->replot();
    trace_->replot();
}

void TNoisePlotPanel::ShowRuns(const std::vector<analysis::TRunFigures>& runs, bool voltMode)
{
    OverlayHistograms(*histogram_, runs, voltMode);
    OverlaySpectra(*spectrum_, runs);
    OverlayAllan(*allan_, runs);
    for (QCustomPlot* p : {histogram_, spectrum_, allan_})
        p->replot();
}

void TNoisePlotPanel::ShowHistogramUnit(const analysis::TNoiseFigures& f,
                                        const std::vector<analysis::TRunFigures>& runs,
                                        bool voltMode)
{
    if (runs.size() > 1)
        OverlayHistograms(*histogram_, runs, voltMode);
    else
        ShowHistogram(*histogram_, f, voltMode);
    histogram_->replot();
}

void TNoisePlotPanel::Clear(const QString& reason)
{
    for (QCustomPlot* p : {histogram_, spectrum_, allan_, trace_}) {
        ClearNoisePlot(*p);
        // Empty axes would read as a broken window; say why nothing is drawn.
        ShowPlotReason(*p, reason);
        p->replot();
    }
}

} // namespace mirantos
