#pragma once
// The pages of our PDF documents (the noise report, the noise test's
// certificate), written with Qt's own QPdfWriter: A4 portrait, 15 mm margins,
// blocks laid top to bottom onto pages with "n / N" at each foot, tables whose
// font shrinks until every cell fits. Text is real text with the fonts
// embedded (Japanese and Latin), so pdftotext reads it back.
// Lengths are points (1/72 in) on the printable area; fonts in the same unit.

#include <QByteArray>
#include <QFont>
#include <QPainter>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace mirantos::pdf {

inline constexpr double kTitlePt = 16.0;
inline constexpr double kHeadingPt = 11.0;
inline constexpr double kTextPt = 8.0;
inline constexpr double kGapPt = 10.0;

struct TTable {
    QStringList header; // the first cell names the rows
    std::vector<QStringList> rows;
};

// A block of a document: its height at the page's width, and how to paint it
// there. The painter is a QCPPainter in vector mode, so plots paint into it.
struct TBlock {
    double height = 0;
    bool ownPage = false;
    bool keepWithNext = false; // a heading never ends a page
    std::function<void(QPainter&, const QRectF&)> paint;
};

struct TPageArea {
    double width = 0;
    double bodyHeight = 0; // above the foot
};
// The printable area of every page.
TPageArea PageArea();

QFont PointFont(double pt, bool bold = false);
TBlock Heading(const QString& text);
// The first column as wide as its widest name, the others shared alike.
TBlock TableBlock(TTable table, double width);
// The document's title in large letters and one line per entry of `lines`.
TBlock TitleBlock(const QString& title, const QStringList& lines);

// The whole document in `out` (nothing is written to disk here: the caller
// writes it whole or not at all). False when a page could not be made.
bool WriteDocument(const QString& title, const std::vector<TBlock>& blocks, QByteArray* out);

} // namespace mirantos::pdf
