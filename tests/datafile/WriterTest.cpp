#include "DataFileTestSupport.h"

using namespace dtatest;

namespace {

TAdcSetting ExampleSetting(int chSel)
{
    TAdcSetting s;
    s.spsSel = 1;
    s.DataCountSel = 3;
    s.CHSel = chSel;
    s.GainSel = 0;
    s.fSinc5 = 1;
    s.fBUF_ON = 0;
    return s;
}

TEST(Writer, OneChannelBytesExactly)
{
    uint32_t codes[] = {2147483648u, 2147483650u, 2147483647u};
    TChannelData ch{3, codes, nullptr};
    std::string out;
    ASSERT_TRUE(FormatDataFile(ExampleSetting(0), ch, out));
    EXPECT_EQ(out, "AD7177_DataFile:\r\nM:\r\nspsSel:1\r\nDataCountSel:3\r\nCHSel:0\r\n"
                   "GainSel:0\r\nfSinc5:1\r\nfBUF_ON:0\r\nMEND:\r\nD:\r\n2147483648\r\n"
                   "2147483650\r\n2147483647\r\nDEND:\r\n");
}

TEST(Writer, TwoChannelLinesPairCodesByIndex)
{
    uint32_t c0[] = {2147483648u, 0u};
    uint32_t c1[] = {2147483600u, 4294967295u};
    TChannelData ch0{2, c0, nullptr};
    TChannelData ch1{2, c1, nullptr};
    std::string out;
    ASSERT_TRUE(FormatDataFile2ch(ExampleSetting(2), ch0, ch1, out));
    EXPECT_EQ(out,
              Lines(With(Header(2), {"D:", "2147483648,2147483600", "0,4294967295", "DEND:"})));
}

TEST(Writer, LineCountFollowsCh0Count)
{
    uint32_t c0[] = {1u};
    uint32_t c1[] = {2u, 3u};
    TChannelData ch0{1, c0, nullptr};
    TChannelData ch1{2, c1, nullptr};
    std::string out;
    ASSERT_TRUE(FormatDataFile2ch(ExampleSetting(2), ch0, ch1, out));
    EXPECT_EQ(out, Lines(With(Header(2), {"D:", "1,2", "DEND:"})));
}

TEST(Writer, FlagsAreOneOrZeroAndIntegersSigned)
{
    TAdcSetting s = ExampleSetting(1);
    s.fSinc5 = 7;
    s.fBUF_ON = 255;
    s.GainSel = -12;
    s.spsSel = 13;
    TChannelData ch{0, nullptr, nullptr};
    std::string out;
    ASSERT_TRUE(FormatDataFile(s, ch, out));
    EXPECT_EQ(out, Lines({"AD7177_DataFile:", "M:", "spsSel:13", "DataCountSel:3", "CHSel:1",
                          "GainSel:-12", "fSinc5:1", "fBUF_ON:1", "MEND:", "D:", "DEND:"}));
}

TEST(Writer, RefusesCountsOutsideTheBuffers)
{
    auto buf = std::make_unique<Buffers>();
    std::string out;
    buf->ch0.Count = CHANNEL_CAPACITY + 1;
    EXPECT_FALSE(FormatDataFile(TAdcSetting{}, buf->ch0, out));
    buf->ch0.Count = -1;
    EXPECT_FALSE(FormatDataFile(TAdcSetting{}, buf->ch0, out));
    TChannelData noCodes{5, nullptr, nullptr};
    EXPECT_FALSE(FormatDataFile(TAdcSetting{}, noCodes, out));
    buf->ch0.Count = 5;
    EXPECT_FALSE(FormatDataFile2ch(TAdcSetting{}, buf->ch0, noCodes, out));
    buf->ch0.Count = CHANNEL_CAPACITY;
    EXPECT_TRUE(FormatDataFile2ch(TAdcSetting{}, buf->ch0, buf->ch1, out));
}

TEST(DtaExtension, AppendsUnlessEndingInUpperCaseDta)
{
    EXPECT_EQ(WithDtaExtension("run1"), "run1.DTA");
    EXPECT_EQ(WithDtaExtension("run1.DTA"), "run1.DTA");
    EXPECT_EQ(WithDtaExtension("run1.dta"), "run1.dta.DTA");
    EXPECT_EQ(WithDtaExtension("run1.txt"), "run1.txt.DTA");
    EXPECT_EQ(WithDtaExtension("/home/u/data.d/run1"), "/home/u/data.d/run1.DTA");
    EXPECT_EQ(WithDtaExtension("/home/u/x.DTA/run1.DTA"), "/home/u/x.DTA/run1.DTA");
    EXPECT_EQ(WithDtaExtension("DTA"), "DTA.DTA");
    EXPECT_EQ(WithDtaExtension(".DTA"), ".DTA");
}

TEST(DtaExtension, LongNamesAreNotCut)
{
    const std::string longName(400, 'a');
    EXPECT_EQ(WithDtaExtension(longName), longName + ".DTA");
    const std::string dotted = std::string(200, 'b') + "." + std::string(200, 'c');
    EXPECT_EQ(WithDtaExtension(dotted), dotted + ".DTA");
}

TEST(OverwriteQuestion, TextNamesTheFullPath)
{
    EXPECT_EQ(OverwriteQuestionText("/home/u/run1.DTA"),
              "ファイル：/home/u/run1.DTAがあります。\n上書きしますか");
}

} // namespace
