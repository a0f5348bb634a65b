// The noise analysis window's comparison: the overlaid plots, and the window's
// side of the reference files (their panel holds them) and of the PDF report.
#include "NoiseAnalysisWindow.h"

#include "NoiseAnalysisText.h"

#include "AnalysisTexts.h"
#include "ComparisonPanel.h"
#include "ComparisonPdf.h"
#include "ComparisonPlots.h"
#include "MeasureRecord.h"
#include "MeasureSession.h"
#include "NoisePlotPanel.h"
#include "NoiseReport.h"
#include "ReportTexts.h"
#include "SampleFile.h"
#include "SinePanel.h"
#include "Texts.h"
#include "UiFont.h"
#include "WholeFile.h"
#include <QBuffer>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScopeGuard>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <qcustomplot.h>

namespace mirantos {

namespace analysisview {

// Histograms of different lengths and widths compare only as probability
// densities: count / (N * bin width), per code or per microvolt.
void OverlayHistograms(QCustomPlot& plot, const std::vector<analysis::TRunFigures>& runs,
                       bool voltMode)
{
    ShowOverlaidHistograms(plot, runs, voltMode);
    plot.legend->setVisible(true);
}

void OverlaySpectra(QCustomPlot& plot, const std::vector<analysis::TRunFigures>& runs)
{
    ShowOverlaidDensities(plot, runs);
}

void OverlayAllan(QCustomPlot& plot, const std::vector<analysis::TRunFigures>& runs)
{
    ShowOverlaidAllans(plot, runs);
    plot.legend->setVisible(true);
}

} // namespace analysisview

using namespace analysisview;

int TNoiseAnalysisWindow::ReferenceCount() const
{
    return comparison_->Count();
}

bool TNoiseAnalysisWindow::AddReference(const QString& path)
{
    if (!analysed_) {
        ShowError(Utf8(text::AnalysisNoData) + "\n" + path);
        return false;
    }
    QString error;
    if (!comparison_->Add(path, channel_, Options(), &error)) {
        ShowError(error);
        return false;
    }
    ShowReferences();
    return true;
}

void TNoiseAnalysisWindow::RemoveReference(int index)
{
    if (index < 0 || index >= ReferenceCount())
        return;
    comparison_->Remove(index);
    if (analysed_) {
        // The plain plots again when the last reference goes.
        ShowFigures();
        ShowLowFrequencyFigures();
    }
    ShowReferences();
}

std::vector<analysis::TRunFigures> TNoiseAnalysisWindow::Runs() const
{
    std::vector<analysis::TRunFigures> runs;
    if (!analysed_)
        return runs;
    analysis::TRunFigures current;
    current.label = (Source().isEmpty() ? Utf8(text::AnalysisCurrentData) : Source()).toStdString();
    current.settings = current_;
    current.settings.channel = channel_;
    current.settings.chSel = held_[0] && held_[1] ? 2 : channel_;
    current.settings.samples = figures_.samples;
    current.noise = figures_;
    current.low = lowFrequency_;
    runs.push_back(std::move(current));
    comparison_->AppendRuns(runs);
    return runs;
}

void TNoiseAnalysisWindow::ShowReferences()
{
    const std::vector<analysis::TRunFigures> runs = Runs();
    const bool shown = !comparison_->isHidden();
    comparison_->setVisible(ReferenceCount() > 0);
    comparison_->Show(runs);
    if (runs.size() > 1)
        plots_->ShowRuns(runs, voltMode_);
    if (shown || comparison_->isHidden())
        return;
    // The table as high as its rows, as far as the plots keep their minimum.
    const int total = split_->height() > 0 ? split_->height() : split_->sizeHint().height();
    const int table =
        std::max(comparison_->minimumSizeHint().height(),
                 std::min(comparison_->NeededHeight(), total - plots_->minimumSizeHint().height()));
    split_->setSizes({total - table, table});
}

bool TNoiseAnalysisWindow::SaveReport(const QString& path, std::string* error) const
{
    std::vector<analysis::TRunFigures> runs = Runs();
    if (runs.empty())
        return false;
    // The sine-wave test goes in when its page has been computed: the current data's as
    // shown, the references' with the page's options.
    if (std::optional<analysis::TSineResult> sine = sine_->Result()) {
        runs.front().sine = std::move(sine);
        comparison_->AppendSine(runs, channel_, sine_->Options());
    }
    TReportOptions options;
    options.voltMode = voltMode_;
    options.title = reportTitle_;
    options.notes = reportNotes_;
    QByteArray bytes;
    if (!WriteComparisonPdf(runs, options, &bytes))
        return false;
    return WriteFileWhole(QFile::encodeName(path).toStdString(),
                          std::string_view(bytes.constData(), bytes.size()), error);
}

bool TNoiseAnalysisWindow::IsAnalysedFile(const QString& path) const
{
    const std::string name = QFile::encodeName(path).toStdString();
    return (!file_.isEmpty() && SameFile(name, QFile::encodeName(file_).toStdString())) ||
           comparison_->HoldsFile(name);
}

void TNoiseAnalysisWindow::AskAndSaveReport()
{
    QString title = reportTitle_.isEmpty() ? Utf8(text::ReportTitle) : reportTitle_;
    QString notes = reportNotes_;
    {
        ++dialogDepth_;
        const auto done = qScopeGuard([this] { --dialogDepth_; });
        if (!dialogs_->AskReportDetails(this, &title, &notes))
            return;
    }
    reportTitle_ = title;
    reportNotes_ = notes;
    AskAndSave(text::AnalysisPdfFilter, "noise_report.pdf", "pdf",
               &TNoiseAnalysisWindow::SaveReport);
}

void TNoiseAnalysisWindow::AskAndAddReferences()
{
    ++dialogDepth_;
    const auto done = qScopeGuard([this] { --dialogDepth_; });
    QStringList names;
    if (!dialogs_->OpenFileNames(this, Utf8(text::AnalysisReferenceFilter), &names))
        return;
    for (const QString& name : names) {
        // One message for the files beyond the last place, not one each.
        if (!AddReference(name) && comparison_->Full())
            break;
    }
}

} // namespace mirantos
