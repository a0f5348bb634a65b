#include "PdfPage.h"

#include "MirantosVersion.h"
#include "UiFont.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <qcustomplot.h>

#include <algorithm>

namespace mirantos::pdf {

namespace {

constexpr int kResolutionDpi = 300;
constexpr double kMarginMm = 15.0;
constexpr double kSmallestPt = 4.5;
constexpr double kFooterPt = 8.0;
constexpr double kCellPadPt = 1.5;

QPageLayout Layout()
{
    return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                       QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm),
                       QPageLayout::Millimeter);
}

double FooterHeight()
{
    return QFontMetricsF(PointFont(kFooterPt)).height() + 4;
}

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

void PaintTable(QPainter& p, const QRectF& area, const TTable& t, const TTableFont& tf)
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

} // namespace

TPageArea PageArea()
{
    const QRectF paint = Layout().paintRect(QPageLayout::Point);
    return {paint.width(), paint.height() - FooterHeight()};
}

QFont PointFont(double pt, bool bold)
{
    QFont f = UiFont(static_cast<int>(pt));
    f.setBold(bold);
    return f;
}

TBlock Heading(const QString& text)
{
    const double h = QFontMetricsF(PointFont(kHeadingPt, true)).height() + 4;
    return {h, false, true, [text, h](QPainter& p, const QRectF& a) {
                p.setFont(PointFont(kHeadingPt, true));
                p.setPen(Qt::black);
                p.drawText(QRectF(a.left(), a.top(), a.width(), h), Qt::AlignLeft | Qt::AlignBottom,
                           text);
            }};
}

TBlock TableBlock(TTable t, double width)
{
    const TTableFont font = TableFont(t, width);
    return {TableHeight(t, font.quarterFont) + kGapPt, false, false,
            [t = std::move(t), font](QPainter& p, const QRectF& a) { PaintTable(p, a, t, font); }};
}

TBlock TitleBlock(const QString& title, const QStringList& lines)
{
    const double titleH = QFontMetricsF(PointFont(kTitlePt, true)).height();
    const double lineH = QFontMetricsF(PointFont(kTextPt + 1)).height();
    return {titleH + lineH * double(lines.size()) + kGapPt, false, false,
            [=](QPainter& p, const QRectF& a) {
                p.setPen(Qt::black);
                p.setFont(PointFont(kTitlePt, true));
                p.drawText(QRectF(a.left(), a.top(), a.width(), titleH),
                           Qt::AlignLeft | Qt::AlignVCenter, title);
                p.setFont(PointFont(kTextPt + 1));
                double y = a.top() + titleH;
                for (const QString& line : lines) {
                    p.drawText(QRectF(a.left(), y, a.width(), lineH),
                               Qt::AlignLeft | Qt::AlignVCenter, line);
                    y += lineH;
                }
            }};
}

bool WriteDocument(const QString& title, const std::vector<TBlock>& blocks, QByteArray* out)
{
    if (!out)
        return false;
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setResolution(kResolutionDpi);
    writer.setPageLayout(Layout());
    writer.setTitle(title);
    writer.setCreator(QStringLiteral("MIRANTOS " MIRANTOS_VERSION));

    const double scale = kResolutionDpi / 72.0;
    // The same area the blocks were measured for.
    const TPageArea area = PageArea();
    const double pageW = area.width;
    const double bodyH = area.bodyHeight;
    const double footer = FooterHeight();
    const double pageH = bodyH + footer;

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

} // namespace mirantos::pdf
