#include "UiFont.h"
#include "Texts.h"

#include <QFontInfo>
#include <QFontMetrics>

#include <gtest/gtest.h>

TEST(UiFont, PicksAnInstalledJapaneseGothic)
{
    const QString family = mirantos::UiFontFamily();
    ASSERT_FALSE(family.isEmpty()) << "no Japanese Gothic installed (scripts/install-deps)";
    EXPECT_TRUE(mirantos::UiFontCandidates().contains(family));
    EXPECT_EQ(mirantos::UiFontCandidates().first(), QString::fromUtf8("ＭＳ Ｐゴシック"));
}

TEST(UiFont, SizesInPixels)
{
    EXPECT_EQ(mirantos::UiFont(mirantos::WindowFontPixels).pixelSize(), 12);
    EXPECT_EQ(mirantos::UiFont(mirantos::LargeLabelPixels).pixelSize(), 13);
    EXPECT_EQ(QFontInfo(mirantos::UiFont(12)).pixelSize(), 12);
}

TEST(UiFont, EveryFixedTextHasGlyphs)
{
    using namespace mirantos::text;
    const char* texts[] = {AlreadyRunning,
                           StatusNotFoundSuffix,
                           StatusNoResponseSuffix,
                           StatusErrorSuffix,
                           Measuring,
                           MeasureEnd,
                           MeasureAbort,
                           FileLoaded,
                           FileSaved,
                           Starting,
                           MeasureError,
                           SampleNumber,
                           SampleCode,
                           Maximum,
                           Minimum,
                           PeakToPeak,
                           Sigma,
                           UnitMicrovolt,
                           BoxMemoryError,
                           BoxNoResponseSuffix,
                           BoxSaveError,
                           BoxDataFileError,
                           BoxNoDataError};
    const QFontMetrics metrics(mirantos::UiFont(mirantos::WindowFontPixels));
    for (const char* t : texts) {
        const QString text = QString::fromUtf8(t);
        for (char32_t c : text.toUcs4())
            EXPECT_TRUE(metrics.inFontUcs4(c))
                << text.toStdString() << " U+" << std::hex << static_cast<unsigned>(c);
    }
}
