#include "ComparisonPdf.h"
#include "Texts.h"

#include "AnalysisTexts.h"
#include "ComparisonPlots.h"
#include "MirantosVersion.h"
#include "NoisePlots.h"
#include "NoiseReport.h"
#include "PdfPage.h"
#include "ReportTexts.h"
#include "SinePdf.h"
#include "Tables.h"

#include <QDateTime>
#include <QSysInfo>
#include <qcustomplot.h>

#include <algorithm>
#include <cstdio>

namespace mirantos {

namespace {

// The pages, their tables and fonts are the documents' common ones (PdfPage.h).
using pdf::Heading;
using pdf::kGapPt;
using pdf::kTextPt;
using pdf::PointFont;
using pdf::TableBlock;
using pdf::TBlock;
using pdf::TTable;

// Layout in points (1/72 in) on the page's printable area.
constexpr double kLfPlotHeightPt = 190.0;
// The off-screen plot's size in its own pixels: fonts and lines keep their
// screen proportions, and the painter scales it into the area.
constexpr int kPlotPixelWidth = 900;

const QString kNone = QStringLiteral("—");

// The formats of analyze's table (NoiseReport.cpp): fixed decimals, or %g digits.
QString Fixed(double v, int decimals)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return QString::fromLatin1(buf);
}
QString General(double v, int digits)
{
    return QString::fromStdString(analysis::GeneralText(v, digits));
}
// A difference, signed so a better and a worse run read apart at a glance.
QString Signed(std::optional<double> v)
{
    if (!v)
        return kNone;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%+.2f", *v);
    return QString::fromLatin1(buf);
}

QString WindowText(analysis::TWindow w)
{
    switch (w) {
    case analysis::TWindow::BlackmanHarris:
        return U(text::AnalysisWindowBlackmanHarris);
    case analysis::TWindow::Hann:
        return U(text::AnalysisWindowHann);
    case analysis::TWindow::Rect:
        return U(text::AnalysisWindowRect);
    }
    return kNone;
}

TTable SettingsTable(const std::vector<analysis::TRunFigures>& runs)
{
    TTable t;
    t.header << U(text::ReportLabel);
    for (const auto& r : runs)
        t.header << QString::fromStdString(r.label);
    auto row = [&](const char* name, auto cell) {
        QStringList cells{U(name)};
        for (const auto& r : runs)
            cells << cell(r);
        t.rows.push_back(cells);
    };
    using R = analysis::TRunFigures;
    row(text::AnalysisRate, [](const R& r) { return General(r.noise.rateSps, 10) + " sps"; });
    // Codes handed over by the viewer do not tell their filter: say nothing rather than guess.
    row(text::ReportFilter, [](const R& r) {
        return r.settings.filterKnown
                   ? QString::fromLatin1(r.settings.sinc5 ? "Sinc5+Sinc1" : "Sinc3")
                   : kNone;
    });
    row(text::ReportChannels, [](const R& r) {
        return ValidChannelIndex(r.settings.chSel)
                   ? QString::fromUtf8(
                         kChannelItems[static_cast<size_t>(r.settings.chSel)].data(),
                         static_cast<qsizetype>(
                             kChannelItems[static_cast<size_t>(r.settings.chSel)].size()))
                   : kNone;
    });
    row(text::ReportChannelAnalysed,
        [](const R& r) { return QStringLiteral("CH%1").arg(r.settings.channel); });
    row(text::AnalysisSamples, [](const R& r) { return QString::number(r.noise.samples); });
    row(text::ReportBoard, [](const R& r) {
        const QString board = r.settings.board.empty() && !r.settings.simulated
                                  ? kNone
                                  : QString::fromStdString(r.settings.board);
        return r.settings.simulated ? board + U(text::ReportSimulatedBoard) : board;
    });
    row(text::ReportStart, [](const R& r) {
        return r.settings.startUtc.empty() ? kNone : QString::fromStdString(r.settings.startUtc);
    });
    // How the density and the band rms were taken: a reader compares them only alike.
    row(text::ReportWindow, [](const R& r) { return WindowText(r.noise.spectrum.window); });
    row(text::ReportSegment, [](const R& r) { return QString::number(r.noise.spectrum.segment); });
    row(text::ReportRbw, [](const R& r) {
        const analysis::TSpectrum& s = r.noise.spectrum;
        return General(analysis::EnbwBins(s.window, s.segment) * s.dfHz, 4) + " Hz";
    });
    row(text::ReportEnbw, [](const R& r) {
        const analysis::TSpectrum& s = r.noise.spectrum;
        return Fixed(analysis::EnbwBins(s.window, s.segment), 3) + U(text::ReportBins);
    });
    row(text::ReportBand, [](const R& r) {
        return General(r.noise.bandLowHz, 10) + U(text::AnalysisBandTo) +
               General(r.noise.bandHighHz, 10) + " Hz";
    });
    return t;
}

TTable FiguresTable(const std::vector<analysis::TRunFigures>& runs)
{
    TTable t;
    t.header << QString();
    for (const auto& r : runs)
        t.header << QString::fromStdString(r.label);
    using R = analysis::TRunFigures;
    auto row = [&](const char* name, const char* unit, auto cell) {
        QStringList cells{U(name) + U(unit)};
        for (const auto& r : runs)
            cells << cell(r);
        t.rows.push_back(cells);
    };
    auto lf = [](const R& r, double analysis::TLowFrequencyNoise::*m) {
        return r.low.lf ? Fixed((*r.low.lf).*m, 5) : kNone;
    };
    const char* digit = " [digit]";
    const char* uv = " [µV]";
    const char* bit = " [bit]";
    row(text::AnalysisMean, digit, [](const R& r) { return Fixed(r.noise.meanCode, 3); });
    row(text::AnalysisMean, uv, [](const R& r) { return Fixed(r.noise.meanUv, 4); });
    row(text::AnalysisRms, digit, [](const R& r) { return Fixed(r.noise.rmsCode, 3); });
    row(text::AnalysisRms, uv, [](const R& r) { return Fixed(r.noise.rmsUv, 5); });
    row(text::AnalysisPeakToPeak, digit,
        [](const R& r) { return QString::number(r.noise.ppCode); });
    row(text::AnalysisPeakToPeak, uv, [](const R& r) { return Fixed(r.noise.ppUv, 5); });
    row(text::AnalysisMaximum, digit, [](const R& r) { return QString::number(r.noise.maxCode); });
    row(text::AnalysisMinimum, digit, [](const R& r) { return QString::number(r.noise.minCode); });
    row(text::AnalysisEffectiveBits, bit,
        [](const R& r) { return Fixed(r.noise.effectiveBits, 2); });
    row(text::AnalysisNoiseFreeBits, bit,
        [](const R& r) { return Fixed(r.noise.noiseFreeBits, 2); });
    row(text::AnalysisMedianDensity, " [nV/√Hz]",
        [](const R& r) { return General(r.noise.nsdMedianNv, 6); });
    row(text::ReportBand, " [Hz]", [](const R& r) {
        return General(r.noise.bandLowHz, 10) + U(text::AnalysisBandTo) +
               General(r.noise.bandHighHz, 10);
    });
    row(text::AnalysisBandRms, uv, [](const R& r) {
        const analysis::TNoiseFigures& f = r.noise;
        // No figure where analyze's table gives the reason instead.
        return analysis::EmptyBandText(f.spectrum, f.bandLowHz, f.bandHighHz).empty()
                   ? Fixed(f.bandRmsUv, 5)
                   : kNone;
    });
    row(text::AnalysisDrift, " [µV/h]",
        [](const R& r) { return r.low.slopeUvPerH ? General(*r.low.slopeUvPerH, 6) : kNone; });
    row(text::AnalysisLfPpMedian, uv,
        [&](const R& r) { return lf(r, &analysis::TLowFrequencyNoise::ppUvMedian); });
    row(text::AnalysisLfPpMax, uv,
        [&](const R& r) { return lf(r, &analysis::TLowFrequencyNoise::ppUvMax); });
    row(text::AnalysisLfRms, uv,
        [&](const R& r) { return lf(r, &analysis::TLowFrequencyNoise::rmsUv); });
    return t;
}

TTable DifferenceTable(const std::vector<analysis::TRunFigures>& runs)
{
    const std::vector<analysis::TDifference> d = analysis::DifferencesToFirst(runs);
    TTable t;
    t.header << QString();
    for (size_t i = 1; i < runs.size(); ++i)
        t.header << QString::fromStdString(runs[i].label);
    using D = analysis::TDifference;
    auto row = [&](const char* name, const char* unit, auto cell) {
        QStringList cells{U(name) + U(unit)};
        for (const D& x : d)
            cells << cell(x);
        t.rows.push_back(cells);
    };
    row(text::AnalysisRms, " [%]", [](const D& x) { return Signed(x.rmsPct); });
    row(text::AnalysisRms, " [dB]", [](const D& x) { return Signed(x.rmsDb); });
    row(text::AnalysisPeakToPeak, " [%]", [](const D& x) { return Signed(x.ppPct); });
    row(text::AnalysisPeakToPeak, " [dB]", [](const D& x) { return Signed(x.ppDb); });
    row(text::AnalysisMedianDensity, " [dB]", [](const D& x) { return Signed(x.nsdMedianDb); });
    row(text::AnalysisEffectiveBits, " [bit]", [](const D& x) { return Signed(x.effectiveBits); });
    row(text::AnalysisNoiseFreeBits, " [bit]", [](const D& x) { return Signed(x.noiseFreeBits); });
    return t;
}

} // namespace

bool WriteComparisonPdf(const std::vector<analysis::TRunFigures>& runs,
                        const TReportOptions& options, QByteArray* out)
{
    if (runs.empty() || !out)
        return false;
    const QString title = options.title.isEmpty() ? U(text::ReportTitle) : options.title;
    const pdf::TPageArea page = pdf::PageArea();
    const double pageW = page.width;
    const double bodyH = page.bodyHeight;

    std::vector<TBlock> blocks;
    {
        QStringList meta = {
            U(text::ReportDate) +
                QLocale::c().toString(QDateTime::currentDateTime(), "yyyy-MM-dd HH:mm:ss"),
            U(text::ReportVersion) + QStringLiteral("MIRANTOS " MIRANTOS_VERSION),
            U(text::ReportHost) + QSysInfo::machineHostName()};
        // Simulated data must never read as a real board's.
        if (std::any_of(runs.begin(), runs.end(),
                        [](const analysis::TRunFigures& r) { return r.settings.simulated; }))
            meta << U(text::ReportSimulatedNote);
        blocks.push_back(pdf::TitleBlock(title, meta));
    }
    if (!options.notes.isEmpty()) {
        blocks.push_back(Heading(U(text::ReportNotes)));
        const QFont font = PointFont(kTextPt + 1);
        const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;
        const QString notes = options.notes;
        const double h =
            QFontMetricsF(font).boundingRect(QRectF(0, 0, pageW, 1e6), flags, notes).height();
        blocks.push_back({h + kGapPt, false, false, [=](QPainter& p, const QRectF& a) {
                              p.setPen(Qt::black);
                              p.setFont(font);
                              p.drawText(QRectF(a.left(), a.top(), a.width(), h), flags, notes);
                          }});
    }
    blocks.push_back(Heading(U(text::ReportSettings)));
    blocks.push_back(TableBlock(SettingsTable(runs), pageW));
    blocks.push_back(Heading(U(text::ReportFigures)));
    blocks.push_back(TableBlock(FiguresTable(runs), pageW));
    if (runs.size() > 1) {
        blocks.push_back(
            Heading(U(text::ReportDifference) + QString::fromStdString(runs.front().label) + ")"));
        blocks.push_back(TableBlock(DifferenceTable(runs), pageW));
    }
    blocks.push_back(Heading(U(text::ReportPlots)));
    blocks.back().ownPage = true;
    blocks.push_back({std::min(bodyH - blocks.back().height - kGapPt, pageW * 1.35), false, false,
                      [&runs](QPainter& p, const QRectF& a) {
                          PaintComparisonPlots(static_cast<QCPPainter&>(p), a, runs);
                      }});
    for (const auto& r : runs) {
        if (!r.low.lf)
            continue;
        // A heading stays with its plot: the pair is one block.
        const TBlock head =
            Heading(U(text::AnalysisLfTitle) + ": " + QString::fromStdString(r.label));
        const double rate = r.noise.rateSps;
        blocks.push_back({head.height + kLfPlotHeightPt + kGapPt, false, false,
                          [&r, head, rate](QPainter& p, const QRectF& a) {
                              head.paint(p, a);
                              QCustomPlot plot;
                              PrepareLowFrequencyPlot(plot);
                              ShowLowFrequency(plot, r.low, rate);
                              PaintPlotScaled(static_cast<QCPPainter&>(p), plot,
                                              QRectF(a.left(), a.top() + head.height, a.width(),
                                                     kLfPlotHeightPt),
                                              kPlotPixelWidth);
                          }});
    }
    AppendSineBlocks(blocks, runs, pageW);

    return pdf::WriteDocument(title, blocks, out);
}

} // namespace mirantos
