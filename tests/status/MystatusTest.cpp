#include "Mystatus.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

QString Q(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

// Panels whose texts are one pixel wide per character, so widths are exact.
class FakePanels : public IStatusPanels {
public:
    std::array<QString, 3> texts;
    std::array<int, 3> widths{50, 50, 50};
    int writes = 0;

    void SetPanelText(int index, const QString& text) override
    {
        ++writes;
        texts.at(static_cast<size_t>(index)) = text;
    }
    void SetPanelWidth(int index, int width) override
    {
        ++writes;
        widths.at(static_cast<size_t>(index)) = width;
    }
    int TextWidth(const QString& text) const override { return static_cast<int>(text.size()); }
};

class MystatusTest : public ::testing::Test {
protected:
    FakePanels panels;
    TmyStatus status{&panels, Q("MIRANTOS Board"), 2};
};

} // namespace

// --- Width rule ---------------------------------------------------------------

TEST(PanelWidthRule, TextPlusFiveButAtLeast105)
{
    EXPECT_EQ(TmyStatus::PanelWidthFor(0), 105);
    EXPECT_EQ(TmyStatus::PanelWidthFor(99), 105);
    EXPECT_EQ(TmyStatus::PanelWidthFor(100), 105);
    EXPECT_EQ(TmyStatus::PanelWidthFor(101), 106);
    EXPECT_EQ(TmyStatus::PanelWidthFor(400), 405);
}

TEST_F(MystatusTest, WidthFollowsMeasuredText)
{
    status.SetPanelText(QString(100, 'x'), 0);
    EXPECT_EQ(panels.widths[0], 105);
    status.SetPanelText(QString(101, 'x'), 1);
    EXPECT_EQ(panels.widths[1], 106);
    status.SetPanelText(QString(), 2);
    EXPECT_EQ(panels.widths[2], 105);
}

TEST_F(MystatusTest, WidthShrinksAgainForShorterText)
{
    status.SetPanelText(QString(300, 'x'), 2);
    EXPECT_EQ(panels.widths[2], 305);
    status.SetPanelText(Q("短い"), 2);
    EXPECT_EQ(panels.widths[2], 105);
}

// --- Index range --------------------------------------------------------------

TEST_F(MystatusTest, IndexAboveMaxPanelChangesNothing)
{
    status.SetPanelText(Q("x"), 3);
    EXPECT_EQ(panels.writes, 0);
}

TEST_F(MystatusTest, NegativeIndexChangesNothing)
{
    status.SetPanelText(Q("x"), -1);
    EXPECT_EQ(panels.writes, 0);
}

TEST(MystatusLimits, MaxPanelIsHonoured)
{
    FakePanels panels;
    TmyStatus status(&panels, Q("B"), 1);
    status.ShowStarting(); // detail panel, index 2 > 1
    EXPECT_EQ(panels.writes, 0);
    status.ShowMeasuring();
    EXPECT_EQ(panels.texts[1], Q("計測中です"));
}

TEST(MystatusLimits, ConstructionWritesNothing)
{
    FakePanels panels;
    TmyStatus status(&panels, Q("MIRANTOS Board"), 2);
    EXPECT_EQ(panels.writes, 0);
}

// Nothing to observe without a bar: this one guards against a null dereference
// and fails only under the sanitizer build (or by crashing).
TEST(MystatusLimits, SanitizerCheckWithoutABarEveryTextIsDropped)
{
    TmyStatus detached(nullptr, Q("MIRANTOS Board"), 2);
    detached.ShowMeasuring();
    detached.ShowSample2ch(10, 1u, 2u);
    detached.ShowStatCode(1u, 0u, 1.0f, 0);
}

// --- Fixed messages -------------------------------------------------------------

TEST_F(MystatusTest, BoardPanelTexts)
{
    status.ShowBoardNotFound();
    EXPECT_EQ(panels.texts[0], Q("MIRANTOS Board が見つかりませんでした"));
    status.ShowBoardNoResponse();
    EXPECT_EQ(panels.texts[0], Q("MIRANTOS Board 応答しませんでした"));
    status.ShowBoardError();
    EXPECT_EQ(panels.texts[0], Q("MIRANTOS Board がエラーです"));
    status.ShowBoardVersion(Q("MIRANTOS"), Q("Ver1.00"));
    EXPECT_EQ(panels.texts[0], Q("MIRANTOS / Ver1.00"));
    EXPECT_TRUE(panels.texts[1].isEmpty());
    EXPECT_TRUE(panels.texts[2].isEmpty());
}

TEST(MystatusBoardName, FailureTextsUseTheGivenName)
{
    FakePanels panels;
    TmyStatus status(&panels, Q("BOARD-X"), 2);
    status.ShowBoardNotFound();
    EXPECT_EQ(panels.texts[0], Q("BOARD-X が見つかりませんでした"));
}

TEST_F(MystatusTest, RunPanelTexts)
{
    const std::vector<std::pair<void (TmyStatus::*)(), const char*>> cases = {
        {&TmyStatus::ShowMeasuring, "計測中です"},
        {&TmyStatus::ShowMeasureEnd, "計測終了しました"},
        {&TmyStatus::ShowMeasureAbort, "計測中止しました"},
        {&TmyStatus::ShowFileLoaded, "データファイル読み込みました"},
        {&TmyStatus::ShowFileSaved, "データファイルを保存しました"},
    };
    for (const auto& [op, text] : cases) {
        (status.*op)();
        EXPECT_EQ(panels.texts[1], Q(text));
        EXPECT_EQ(panels.widths[1], TmyStatus::PanelWidthFor(static_cast<int>(Q(text).size())));
    }
    EXPECT_TRUE(panels.texts[0].isEmpty());
    EXPECT_TRUE(panels.texts[2].isEmpty());
}

TEST_F(MystatusTest, DetailPanelTexts)
{
    status.ShowStarting();
    EXPECT_EQ(panels.texts[2], Q("測定開始処理中です。。。"));
    status.ShowMeasureError();
    EXPECT_EQ(panels.texts[2], Q("計測エラーで終了"));
    status.ClearReadout();
    EXPECT_EQ(panels.texts[2], QString());
    EXPECT_EQ(panels.widths[2], 105);
}

TEST_F(MystatusTest, ConnectionSuccessReplacesFailureText)
{
    status.ShowBoardNoResponse();
    status.ShowBoardVersion(Q("MIRANTOS"), Q("V1.10"));
    EXPECT_EQ(panels.texts[0], Q("MIRANTOS / V1.10"));
}

TEST_F(MystatusTest, PanelsAreIndependent)
{
    status.ShowBoardVersion(Q("MIRANTOS"), Q("V1.10"));
    status.ShowMeasuring();
    status.ShowStarting();
    status.ShowMeasureError();
    EXPECT_EQ(panels.texts[0], Q("MIRANTOS / V1.10"));
    EXPECT_EQ(panels.texts[1], Q("計測中です"));
    EXPECT_EQ(panels.texts[2], Q("計測エラーで終了"));
}

// --- Readouts go to the detail panel --------------------------------------------

TEST_F(MystatusTest, ReadoutsWriteDetailPanel)
{
    status.ShowMeasuring();
    status.ShowSample(250, 2147483650u);
    EXPECT_EQ(panels.texts[2], Q("データ番号：250 / AD変換値：2147483650"));
    status.ShowSample2ch(250, 2147483650u, 2147483600u);
    EXPECT_EQ(panels.texts[2], Q("データ番号：250 / AD変換値：2147483650 / 2147483600"));
    status.ShowStatCode(2147483700u, 2147483600u, 12.34f, 0);
    EXPECT_EQ(panels.texts[2], Q("CH0 : 最大値：2147483700 / 最小値：2147483600 / pp値：100 "
                                 "digit / 標準偏差：12.3 digit"));
    status.ShowStatVolt(1, 1.2345f, -0.5f, 0.4f);
    EXPECT_EQ(
        panels.texts[2],
        Q("CH1 : 最大値：1.23[uV] / 最小値：-0.50[uV] / pp値：1.73[uV] / 標準偏差：0.40[uV]"));
    EXPECT_EQ(panels.widths[2], 105); // 65 characters, narrower than 100
    EXPECT_EQ(panels.texts[1], Q("計測中です"));
}
