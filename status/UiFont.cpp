#include "UiFont.h"

#include <QFontDatabase>
#include <QGuiApplication>

namespace mirantos {

QStringList UiFontCandidates()
{
    // Each font under its Japanese and its Latin family name, as fontconfig may
    // list either depending on the locale.
    return {QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
            QStringLiteral("IPAPGothic"), QStringLiteral("IPA Pゴシック"),
            QStringLiteral("Noto Sans CJK JP")};
}

QString UiFontFamily()
{
    for (const QString& family : UiFontCandidates()) {
        if (QFontDatabase::hasFamily(family))
            return family;
    }
    return QString();
}

QFont UiFont(int pixelSize)
{
    QFont font = QGuiApplication::font();
    const QString family = UiFontFamily();
    if (!family.isEmpty())
        font.setFamilies({family});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize > 0 ? pixelSize : WindowFontPixels);
    return font;
}

} // namespace mirantos
