#include "ComparisonPdf.h"
#include "Texts.h"

#include "AnalysisTexts.h"
#include "ComparisonPlots.h"
#include "MirantosVersion.h"
#include "NoisePlots.h"
#include "NoiseReport.h"
#include "ReportTexts.h"
#include "Tables.h"
#include "UiFont.h"

#include <QBuffer>
#include <QDateTime>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QSysInfo>
#include <qcustomplot.h>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace mirantos {

namespace {

// Layout in points (1/72 in) on the page's printable area; fonts in the same unit.
constexpr int kResolutionDpi = 300;
constexpr double kMarginMm = 15.0;
constexpr double kTitlePt = 16.0;
constexpr double kHeadingPt = 11.0;
constexpr double kTextPt = 8.0;
constexpr double kSmallestPt = 4.5;
constexpr double kFooterPt = 8.0;
constexpr double kGapPt = 10.0;
constexpr double kCellPadPt = 1.5;
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

struct TTable {
    QStringList header; // the first cell names the rows
    std::vector<QStringList> rows;
};

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
    row(text::ReportFilter,
        [](const R& r) { return QString::fromLatin1(r.settings.sinc5 ? "Sinc5+Sinc1" : "Sinc3"); });
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

// A block of the report: its height at a width, and how to paint it there.
struct TBlock {
    double height = 0;
    bool ownPage = false;
    bool keepWithNext = false; // a heading never ends a page
    std::function<void(QCPPainter&, const QRectF&)> paint;
};

struct TTableFont {
    QFont quarterFont;     // in quarter points, for finer sizes than whole pixels
    double labelWidth = 0; // the first column, in points
};

// The largest font (from kTextPt down) at which every cell fits its column,
// the first column as wide as its widest name.
TTableFont TableFont(const TTable& t, double width)
{
    const double columns = std::max<double>(1, double(t.header.size()) - 1);
    for (double pt = kTextPt;; pt -= 0.5) {
        QFont font = UiFont(1);
        font.setPixelSize(static_cast<int>(pt * 4));
        const QFontMetricsF m(font);
        double labelWidth = 0;
        for (const QStringList& r : t.rows)
            labelWidth = std::max(labelWidth, m.horizontalAdvance(r[0]) / 4 + 2 * kCellPadPt);
        const double column = (width - labelWidth) / columns;
        bool fits = true;
        auto check = [&](const QStringList& cells) {
            for (qsizetype c = 1; c < cells.size(); ++c)
                fits = fits && m.horizontalAdvance(cells[c]) / 4 + 2 * kCellPadPt <= column;
        };
        check(t.header);
        for (const QStringList& r : t.rows)
            check(r);
        if (fits || pt <= kSmallestPt)
            return {font, labelWidth};
    }
}

void PaintTable(QCPPainter& p, const QRectF& area, const TTable& t, const TTableFont& tf)
{
    const QFont& quarterFont = tf.quarterFont;
    p.save();
    p.translate(area.topLeft());
    p.scale(0.25, 0.25);
    p.setFont(quarterFont);
    const double w = area.width() * 4;
    const double labelWidth = tf.labelWidth * 4;
    const double column = (w - labelWidth) / std::max<double>(1, double(t.header.size()) - 1);
    const double rowH = QFontMetricsF(quarterFont).height() * 1.35;
    const double pad = kCellPadPt * 4;
    auto paintRow = [&](const QStringList& cells, double y, bool bold) {
        QFont f = quarterFont;
        f.setBold(bold);
        p.setFont(f);
        p.drawText(QRectF(pad, y, labelWidth - 2 * pad, rowH), Qt::AlignLeft | Qt::AlignVCenter,
                   cells[0]);
        for (qsizetype c = 1; c < cells.size(); ++c)
            p.drawText(
                QRectF(labelWidth + (double(c) - 1) * column + pad, y, column - 2 * pad, rowH),
                Qt::AlignRight | Qt::AlignVCenter, cells[c]);
    };
    p.setPen(QPen(QColor(160, 160, 160), 2));
    double y = 0;
    p.fillRect(QRectF(0, 0, w, rowH), QColor(235, 235, 235));
    p.setPen(Qt::black);
    paintRow(t.header, y, true);
    y += rowH;
    for (const QStringList& r : t.rows) {
        p.setPen(QPen(QColor(200, 200, 200), 1));
        p.drawLine(QPointF(0, y), QPointF(w, y));
        p.setPen(Qt::black);
        paintRow(r, y, false);
        y += rowH;
    }
    p.setPen(QPen(QColor(160, 160, 160), 2));
    p.drawLine(QPointF(0, y), QPointF(w, y));
    p.restore();
}

double TableHeight(const TTable& t, const QFont& quarterFont)
{
    return QFontMetricsF(quarterFont).height() * 1.35 / 4 * double(t.rows.size() + 1);
}

QFont PointFont(double pt, bool bold = false)
{
    QFont f = UiFont(static_cast<int>(pt));
    f.setBold(bold);
    return f;
}

TBlock Heading(const QString& text)
{
    const double h = QFontMetricsF(PointFont(kHeadingPt, true)).height() + 4;
    return {h, false, true, [text, h](QCPPainter& p, const QRectF& a) {
                p.setFont(PointFont(kHeadingPt, true));
                p.setPen(Qt::black);
                p.drawText(QRectF(a.left(), a.top(), a.width(), h), Qt::AlignLeft | Qt::AlignBottom,
                           text);
            }};
}

TBlock TableBlock(TTable t, double width)
{
    const TTableFont font = TableFont(t, width);
    return {
        TableHeight(t, font.quarterFont) + kGapPt, false, false,
        [t = std::move(t), font](QCPPainter& p, const QRectF& a) { PaintTable(p, a, t, font); }};
}

} // namespace

bool WriteComparisonPdf(const std::vector<analysis::TRunFigures>& runs,
                        const TReportOptions& options, QByteArray* out)
{
    if (runs.empty() || !out)
        return false;
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setResolution(kResolutionDpi);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm),
                                     QPageLayout::Millimeter));
    const QString title = options.title.isEmpty() ? U(text::ReportTitle) : options.title;
    writer.setTitle(title);
    writer.setCreator(QStringLiteral("MIRANTOS " MIRANTOS_VERSION));

    const double scale = kResolutionDpi / 72.0;
    const double pageW = writer.width() / scale;
    const double pageH = writer.height() / scale;
    const double footer = QFontMetricsF(PointFont(kFooterPt)).height() + 4;
    const double bodyH = pageH - footer;

    std::vector<TBlock> blocks;
    {
        const double titleH = QFontMetricsF(PointFont(kTitlePt, true)).height();
        const double lineH = QFontMetricsF(PointFont(kTextPt + 1)).height();
        QStringList meta = {
            U(text::ReportDate) +
                QLocale::c().toString(QDateTime::currentDateTime(), "yyyy-MM-dd HH:mm:ss"),
            U(text::ReportVersion) + QStringLiteral("MIRANTOS " MIRANTOS_VERSION),
            U(text::ReportHost) + QSysInfo::machineHostName()};
        // Simulated data must never read as a real board's.
        if (std::any_of(runs.begin(), runs.end(),
                        [](const analysis::TRunFigures& r) { return r.settings.simulated; }))
            meta << U(text::ReportSimulatedNote);
        blocks.push_back({titleH + lineH * double(meta.size()) + kGapPt, false, false,
                          [=](QCPPainter& p, const QRectF& a) {
                              p.setPen(Qt::black);
                              p.setFont(PointFont(kTitlePt, true));
                              p.drawText(QRectF(a.left(), a.top(), a.width(), titleH),
                                         Qt::AlignLeft | Qt::AlignVCenter, title);
                              p.setFont(PointFont(kTextPt + 1));
                              double y = a.top() + titleH;
                              for (const QString& line : meta) {
                                  p.drawText(QRectF(a.left(), y, a.width(), lineH),
                                             Qt::AlignLeft | Qt::AlignVCenter, line);
                                  y += lineH;
                              }
                          }});
    }
    if (!options.notes.isEmpty()) {
        blocks.push_back(Heading(U(text::ReportNotes)));
        const QFont font = PointFont(kTextPt + 1);
        const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;
        const QString notes = options.notes;
        const double h =
            QFontMetricsF(font).boundingRect(QRectF(0, 0, pageW, 1e6), flags, notes).height();
        blocks.push_back({h + kGapPt, false, false, [=](QCPPainter& p, const QRectF& a) {
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
    blocks.push_back(
        {std::min(bodyH - blocks.back().height - kGapPt, pageW * 1.35), false, false,
         [&runs](QCPPainter& p, const QRectF& a) { PaintComparisonPlots(p, a, runs); }});
    for (const auto& r : runs) {
        if (!r.low.lf)
            continue;
        // A heading stays with its plot: the pair is one block.
        const TBlock head =
            Heading(U(text::AnalysisLfTitle) + ": " + QString::fromStdString(r.label));
        const double rate = r.noise.rateSps;
        blocks.push_back({head.height + kLfPlotHeightPt + kGapPt, false, false,
                          [&r, head, rate](QCPPainter& p, const QRectF& a) {
                              head.paint(p, a);
                              QCustomPlot plot;
                              PrepareLowFrequencyPlot(plot);
                              ShowLowFrequency(plot, r.low, rate);
                              PaintPlotScaled(p, plot,
                                              QRectF(a.left(), a.top() + head.height, a.width(),
                                                     kLfPlotHeightPt),
                                              kPlotPixelWidth);
                          }});
    }

    // Pages first, so each foot can say "n / N".
    std::vector<int> pageOf(blocks.size());
    std::vector<double> topOf(blocks.size());
    int page = 0;
    double y = 0;
    for (size_t i = 0; i < blocks.size(); ++i) {
        const bool keepWithNext = blocks[i].keepWithNext && i + 1 < blocks.size();
        const double need = blocks[i].height + (keepWithNext ? blocks[i + 1].height : 0);
        if (y > 0 && (blocks[i].ownPage || y + need > bodyH)) {
            ++page;
            y = 0;
        }
        pageOf[i] = page;
        topOf[i] = y;
        y += blocks[i].height;
    }
    const int pages = page + 1;

    QCPPainter painter;
    if (!painter.begin(&writer))
        return false;
    painter.setMode(QCPPainter::pmVectorized);
    painter.setMode(QCPPainter::pmNoCaching);
    painter.setRenderHint(QPainter::Antialiasing);
    auto foot = [&](int n) {
        painter.setFont(PointFont(kFooterPt));
        painter.setPen(Qt::black);
        painter.drawText(QRectF(0, pageH - footer, pageW, footer),
                         Qt::AlignHCenter | Qt::AlignBottom,
                         QStringLiteral("%1 / %2").arg(n + 1).arg(pages));
    };
    painter.scale(scale, scale);
    int current = 0;
    for (size_t i = 0; i < blocks.size(); ++i) {
        while (current < pageOf[i]) {
            foot(current);
            if (!writer.newPage()) {
                painter.end();
                return false;
            }
            ++current;
        }
        blocks[i].paint(painter, QRectF(0, topOf[i], pageW, blocks[i].height));
    }
    foot(current);
    if (!painter.end())
        return false;
    *out = buffer.data();
    return !out->isEmpty();
}

} // namespace mirantos
