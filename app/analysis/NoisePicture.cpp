#include "NoisePicture.h"

#include "AnalysisTexts.h"
#include "UiFont.h"

#include <QLocale>
#include <QPainter>

namespace mirantos {

QString PictureCaption(const TPictureFacts& f)
{
    const QString gap = QStringLiteral("   ");
    const double seconds = f.rateSps > 0 ? static_cast<double>(f.samples) / f.rateSps : 0.0;
    QString caption = (f.name.isEmpty() ? QString::fromUtf8(text::AnalysisUnsavedData) : f.name) +
                      gap + QStringLiteral("CH%1").arg(f.channel) + gap +
                      QString::number(f.rateSps, 'g', 10) +
                      QString::fromUtf8(text::AnalysisUnitSps) + gap + QString::number(f.samples) +
                      QString::fromUtf8(text::AnalysisCaptionSamples) + " (" +
                      QString::number(seconds, 'g', 8) + " s)";
    if (!f.startUtc.isEmpty())
        caption += gap + QString::fromUtf8(text::AnalysisCaptionStart) + f.startUtc;
    return caption + gap + QString::fromUtf8(text::AnalysisCaptionMade) +
           QLocale::c().toString(f.made, "yyyy-MM-dd HH:mm");
}

QImage WithCaption(const QImage& plots, const QString& caption)
{
    if (plots.isNull())
        return {};
    QImage image(plots.width(), plots.height() + kCaptionHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.drawImage(0, 0, plots);
    p.setPen(Qt::black);
    p.setFont(UiFont(WindowFontPixels));
    p.drawText(QRect(8, plots.height(), plots.width() - 16, kCaptionHeight),
               Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap, caption);
    p.end();
    image.setText(QStringLiteral("Description"), caption);
    return image;
}

} // namespace mirantos
