#include "UiFont.h"
#include "AnalysisTexts.h"
#include "Myfile.h"
#include "ReportTexts.h"
#include "SineTexts.h"
#include "StationTexts.h"
#include "Tables.h"
#include "Texts.h"
#include "ViewerCursorTexts.h"
#include "ViewerTexts.h"

#include <span>
#include <vector>

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
    std::vector<QString> texts;
    for (const char* t : mirantos::text::kAll)
        texts.push_back(mirantos::U(t));
    for (const char* t : mirantos::text::kAnalysisTexts)
        texts.push_back(mirantos::U(t));
    for (const char* t : mirantos::text::kSineTexts)
        texts.push_back(mirantos::U(t));
    for (const char* t : mirantos::text::kViewerTexts)
        texts.push_back(mirantos::U(t));
    for (const char* t : mirantos::text::kViewerCursorTexts)
        texts.push_back(mirantos::U(t));
    for (const char* t : mirantos::text::kStationTexts)
        texts.push_back(mirantos::U(t));
    for (const char* t : mirantos::text::kReportTexts)
        texts.push_back(mirantos::U(t));
    for (auto items : {std::span<const std::string_view>(mirantos::kRateItems),
                       std::span<const std::string_view>(mirantos::kCountItems),
                       std::span<const std::string_view>(mirantos::kChannelItems)})
        for (std::string_view item : items)
            texts.push_back(mirantos::U(item));
    texts.push_back(QString::fromStdString(OverwriteQuestionText("x.DTA")));

    const QFontMetrics metrics(mirantos::UiFont(mirantos::WindowFontPixels));
    for (const QString& text : texts) {
        for (char32_t c : text.toUcs4()) {
            if (c < 0x20) // a line break needs no glyph
                continue;
            EXPECT_TRUE(metrics.inFontUcs4(c))
                << text.toStdString() << " U+" << std::hex << static_cast<unsigned>(c);
        }
    }
}
