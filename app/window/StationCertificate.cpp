#include "StationCertificate.h"

#include "MirantosVersion.h"
#include "PdfPage.h"
#include "ReportTexts.h"
#include "StationTable.h"
#include "StationTexts.h"
#include "Texts.h"

#include <QFontMetricsF>
#include <QSysInfo>

namespace mirantos {

bool WriteStationCertificate(const TStationCertificate& certificate, QByteArray* out)
{
    const QString title = U(text::StationCertificateTitle);
    const pdf::TPageArea page = pdf::PageArea();

    QStringList lines = certificate.header;
    lines << U(text::ReportVersion) + QStringLiteral("MIRANTOS " MIRANTOS_VERSION)
          << U(text::ReportHost) + QSysInfo::machineHostName();
    // A simulated board's pass must never read as a real board's.
    if (certificate.simulatedBoard)
        lines << U(text::StationSimulatedResult);
    std::vector<pdf::TBlock> blocks{pdf::TitleBlock(title, lines)};

    const QString verdict = U(text::StationVerdictCaption) +
                            U(certificate.definitionError ? text::StationDefinitionError
                              : certificate.pass          ? text::StationPass
                                                          : text::StationFail);
    const QFont big = pdf::PointFont(pdf::kTitlePt * 1.5, true);
    const QColor color = certificate.definitionError ? QColor(200, 110, 0)
                         : certificate.pass          ? QColor(0, 128, 0)
                                                     : QColor(200, 0, 0);
    blocks.push_back({QFontMetricsF(big).height() + pdf::kGapPt, false, false,
                      [verdict, big, color](QPainter& p, const QRectF& a) {
                          p.setFont(big);
                          p.setPen(color);
                          p.drawText(a, Qt::AlignLeft | Qt::AlignTop, verdict);
                      }});

    // The figure leads each row: the table's first column is the widest one.
    pdf::TTable table;
    const QStringList header = StationHeader();
    table.header << header[ColFigure] << header[ColChannel] << header[ColValue] << header[ColLimit]
                 << header[ColVerdict] << header[ColMargin];
    for (const QStringList& r : certificate.rows)
        table.rows.push_back(
            {r[ColFigure], r[ColChannel], r[ColValue], r[ColLimit], r[ColVerdict], r[ColMargin]});
    blocks.push_back(pdf::TableBlock(std::move(table), page.width));
    return pdf::WriteDocument(title, blocks, out);
}

} // namespace mirantos
