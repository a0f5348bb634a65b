#include "Mymessage.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

QString Q(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

struct Shown {
    QString caption;
    QString text;
};

class RecordingPresenter : public IMessagePresenter {
public:
    std::vector<Shown> shown;
    void ShowError(const QString& caption, const QString& text) override
    {
        shown.push_back({caption, text});
    }
};

class MymessageTest : public ::testing::Test {
protected:
    RecordingPresenter presenter;
    TmyMessage message{Q("MIRANTOS"), "MIRANTOS Board", &presenter};

    Shown Last() const { return presenter.shown.back(); }
};

} // namespace

TEST_F(MymessageTest, ConstructionShowsNothing)
{
    EXPECT_TRUE(presenter.shown.empty());
}

TEST_F(MymessageTest, MemoryErrorNamesThePartWithoutBlank)
{
    message.MemoryError(Q("TGraph_2CH"));
    ASSERT_EQ(presenter.shown.size(), 1u);
    EXPECT_EQ(Last().text, Q("致命的なメモリエラーです:TGraph_2CH"));
    message.MemoryError(Q("myStatus"));
    EXPECT_EQ(Last().text, Q("致命的なメモリエラーです:myStatus"));
    EXPECT_EQ(TmyMessage::MemoryErrorText(Q("Z_Message")), Q("致命的なメモリエラーです:Z_Message"));
}

TEST_F(MymessageTest, BoardBoxesUseTheName)
{
    message.NotFoundError();
    EXPECT_EQ(Last().text, Q("MIRANTOS が見つかりませんでした"));
    message.NoResponseError();
    EXPECT_EQ(Last().text, Q("MIRANTOS が応答しませんでした"));
    EXPECT_EQ(message.NotFoundText(), Q("MIRANTOS が見つかりませんでした"));
    EXPECT_EQ(message.NoResponseText(), Q("MIRANTOS が応答しませんでした"));

    RecordingPresenter other;
    TmyMessage named(Q("BOARD-X"), "MIRANTOS Board", &other);
    named.NotFoundError();
    EXPECT_EQ(other.shown.back().text, Q("BOARD-X が見つかりませんでした"));
}

TEST_F(MymessageTest, FixedBoxTexts)
{
    message.SaveError();
    EXPECT_EQ(Last().text, Q("データ保存できませんでした"));
    message.DataFileError();
    EXPECT_EQ(Last().text, Q("データファイルの内容が正しくありませんでした"));
    message.NoDataError();
    EXPECT_EQ(Last().text, Q("データがありません"));
}

TEST_F(MymessageTest, EveryBoxCarriesTheCaptionOnce)
{
    message.MemoryError(Q("FILE"));
    message.NotFoundError();
    message.NoResponseError();
    message.SaveError();
    message.DataFileError();
    message.NoDataError();
    ASSERT_EQ(presenter.shown.size(), 6u);
    for (const Shown& s : presenter.shown)
        EXPECT_EQ(s.caption, Q("MIRANTOS Board"));
    EXPECT_EQ(message.Caption(), Q("MIRANTOS Board"));
}

TEST(MymessageCaption, LongCaptionIsCutToNineteenBytes)
{
    RecordingPresenter presenter;
    TmyMessage message(Q("M"), "ABCDEFGHIJKLMNOPQRSTUVWXYZ", &presenter);
    EXPECT_EQ(message.Caption(), Q("ABCDEFGHIJKLMNOPQRS"));
    message.SaveError();
    EXPECT_EQ(presenter.shown.back().caption, Q("ABCDEFGHIJKLMNOPQRS"));
}

TEST(MymessageCaption, CutKeepsWholeCharacters)
{
    // Three bytes a character: 19 bytes hold six of them, not six and a third.
    TmyMessage message(Q("M"), "あいうえおかきくけ", nullptr);
    EXPECT_EQ(message.Caption(), Q("あいうえおか"));
}

TEST(MymessageCaption, NineteenBytesFitExactly)
{
    TmyMessage message(Q("M"), "0123456789012345678", nullptr);
    EXPECT_EQ(message.Caption(), Q("0123456789012345678"));
}

TEST(MymessageCaption, MissingCaptionOrPresenterIsHarmless)
{
    TmyMessage message(Q("M"), nullptr, nullptr);
    EXPECT_EQ(message.Caption(), QString());
    message.SaveError();
    message.MemoryError(Q("AD7177"));
}
