#pragma once
// The noise test's result as a one-page A4 PDF certificate: the test, the
// board's serial, the operator, the date, the program and the host above the
// overall verdict and the table of every limit (the result window's table).
// Written with the noise report's pages (PdfPage.h).

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

namespace mirantos {

struct TStationCertificate {
    QStringList header; // test, serial, operator, date, ... one line each
    bool pass = false;
    bool definitionError = false; // a figure not computed: neither pass nor fail
    bool simulatedBoard = false;
    std::vector<QStringList> rows; // StationRows
};

// The whole document in `out`; false when the page could not be made.
bool WriteStationCertificate(const TStationCertificate& certificate, QByteArray* out);

} // namespace mirantos
