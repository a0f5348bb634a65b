#pragma once
// The noise report as an A4 PDF, written with Qt's own QPdfWriter: title,
// date, program version and host name; the notes; the settings table with
// each run's analysis settings (window, segment, RBW and ENBW); the figures table
// with each run's difference to the first; the overlaid plots as vector
// graphics; each run's 0.1-10 Hz trace where it is defined; page numbers.
// Text is real text with the fonts embedded (Japanese and Latin), so
// pdftotext reads the figures back.

#include "Comparison.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace mirantos {

struct TReportOptions {
    QString title; // empty: a default title
    QString notes; // under the title, as typed (line breaks kept); empty: none
    // Microvolts (true) or codes for the histogram axis.
    bool voltMode = true;
};

// The whole document in `out` (nothing is written to disk here: the caller
// writes it whole or not at all). False when a page could not be made.
bool WriteComparisonPdf(const std::vector<analysis::TRunFigures>& runs,
                        const TReportOptions& options, QByteArray* out);

} // namespace mirantos
