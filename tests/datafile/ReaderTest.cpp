#include "DataFileTestSupport.h"

#include <sys/stat.h>

using namespace dtatest;

namespace {

std::vector<std::string> OneChannel(const std::vector<std::string>& samples, int chSel = 0)
{
    auto lines = With(Header(chSel), {"D:"});
    lines = With(lines, samples);
    lines.push_back("DEND:");
    return lines;
}

// ---------------------------------------------------------------- round trips

TEST(RoundTrip, OneChannelEachChannelBitForBit)
{
    for (int chSel : {0, 1}) {
        TempDir dir;
        auto src = std::make_unique<Buffers>();
        TChannelData& ch = chSel == 0 ? src->ch0 : src->ch1;
        const uint32_t codes[] = {0u, 4294967295u, 2147483648u, 1u, 4294967294u, 123456789u};
        for (size_t i = 0; i < std::size(codes); ++i) {
            ch.Code[i] = codes[i];
        }
        ch.Count = static_cast<int32_t>(std::size(codes));
        TAdcSetting s;
        s.spsSel = 13;
        s.DataCountSel = 6;
        s.CHSel = chSel;
        s.GainSel = 4;
        s.fSinc5 = 0;
        s.fBUF_ON = 1;
        TmyFile file;
        ASSERT_TRUE(file.SaveData(dir.File("a.DTA"), &s, &ch));

        auto dst = std::make_unique<Buffers>();
        dst->ch0.Count = 77;
        dst->ch1.Count = 77;
        TAdcSetting got;
        got.Gain = 9;
        got.Vref = 1.25f;
        ASSERT_TRUE(file.LoadData(dir.File("a.DTA"), &got, &dst->ch0, &dst->ch1));
        EXPECT_EQ(got.spsSel, 13);
        EXPECT_EQ(got.DataCountSel, 6);
        EXPECT_EQ(got.CHSel, chSel);
        EXPECT_EQ(got.GainSel, 4);
        EXPECT_EQ(got.fSinc5, 0);
        EXPECT_EQ(got.fBUF_ON, 1);
        EXPECT_EQ(got.Gain, 9);     // not stored, left alone
        EXPECT_EQ(got.Vref, 1.25f); // not stored, left alone
        const TChannelData& in = chSel == 0 ? dst->ch0 : dst->ch1;
        const TChannelData& other = chSel == 0 ? dst->ch1 : dst->ch0;
        ASSERT_EQ(in.Count, ch.Count);
        for (int i = 0; i < ch.Count; ++i) {
            EXPECT_EQ(in.Code[i], codes[i]) << i;
        }
        EXPECT_EQ(other.Count, 0);
    }
}

TEST(RoundTrip, TwoChannelsFullCapacity)
{
    TempDir dir;
    auto src = std::make_unique<Buffers>();
    uint32_t x = 1;
    for (int i = 0; i < CHANNEL_CAPACITY; ++i) {
        x = x * 2654435761u + 97u;
        src->ch0.Code[i] = x;
        src->ch1.Code[i] = ~x;
    }
    src->ch0.Code[0] = 0;
    src->ch1.Code[0] = 4294967295u;
    src->ch0.Count = src->ch1.Count = CHANNEL_CAPACITY;
    TAdcSetting s;
    s.CHSel = 2;
    TmyFile file;
    ASSERT_TRUE(file.SaveData2ch(dir.File("b.DTA"), &s, &src->ch0, &src->ch1));

    auto dst = std::make_unique<Buffers>();
    TAdcSetting got;
    ASSERT_TRUE(file.LoadData(dir.File("b.DTA"), &got, &dst->ch0, &dst->ch1));
    EXPECT_EQ(got.CHSel, 2);
    ASSERT_EQ(dst->ch0.Count, CHANNEL_CAPACITY);
    ASSERT_EQ(dst->ch1.Count, CHANNEL_CAPACITY);
    EXPECT_EQ(dst->storage->Code0, src->storage->Code0);
    EXPECT_EQ(dst->storage->Code1, src->storage->Code1);
}

TEST(RoundTrip, LoadNeverTouchesVolt)
{
    auto r = LoadText(Lines(OneChannel({"5"})));
    ASSERT_TRUE(r->ok);
    EXPECT_EQ(r->buf.storage->Volt0[0], 0.0f);
}

// ---------------------------------------------------------------- line handling

TEST(ReaderLines, LfOnlyReadsLikeCrLf)
{
    auto r = LoadText(Lines(OneChannel({"10", "4294967295"}), "\n"));
    ASSERT_TRUE(r->ok);
    ASSERT_EQ(r->buf.ch0.Count, 2);
    EXPECT_EQ(r->buf.ch0.Code[1], 4294967295u);
}

TEST(ReaderLines, LastLineWithoutLineEnd)
{
    std::string text = Lines(OneChannel({"3"}));
    text.resize(text.size() - 2);
    auto r = LoadText(text);
    ASSERT_TRUE(r->ok);
    EXPECT_EQ(r->buf.ch0.Count, 1);
}

TEST(ReaderLines, EveryCrIsRemoved)
{
    auto r =
        LoadText(Lines({"AD7177_\rDataFile:\r", "M:", "spsSel:\r1", "DataCountSel:3", "CHSel:0",
                        "GainSel:0", "fSinc5:1", "fBUF_ON:0", "MEND:", "D:", "1\r2", "DEND:"}));
    ASSERT_TRUE(r->ok);
    EXPECT_EQ(r->buf.ch0.Code[0], 12u);
}

TEST(ReaderLines, CommentsAnywhereAreSkippedAndNotCounted)
{
    auto r = LoadText(Lines({";c",
                             "; before the tag",
                             "AD7177_DataFile:",
                             ";",
                             "M:",
                             "spsSel:2",
                             ";spsSel:x",
                             "DataCountSel:3",
                             "CHSel:0",
                             "; in the block",
                             "GainSel:0",
                             "fSinc5:1",
                             "fBUF_ON:0",
                             "MEND:",
                             "; between",
                             "D:",
                             "1",
                             ";2",
                             ";",
                             "3",
                             ";DEND:",
                             "DEND:"}));
    ASSERT_TRUE(r->ok);
    EXPECT_EQ(r->setting.spsSel, 2);
    ASSERT_EQ(r->buf.ch0.Count, 2);
    EXPECT_EQ(r->buf.ch0.Code[0], 1u);
    EXPECT_EQ(r->buf.ch0.Code[1], 3u);
}

TEST(ReaderLines, CommentsDoNotCountTowardMarkerSearch)
{
    std::vector<std::string> lines = {"AD7177_DataFile:"};
    for (int i = 0; i < 30; ++i) {
        lines.push_back(";x");
    }
    lines.push_back("M:");
    auto r = LoadText(Lines(With(lines, {"spsSel:1", "DataCountSel:3", "CHSel:0", "GainSel:0",
                                         "fSinc5:1", "fBUF_ON:0", "MEND:", "D:", "DEND:"})));
    EXPECT_TRUE(r->ok);
}

// Lines reach the reader in pieces of 255 bytes, LF included; each piece is a line.
TEST(ReaderLines, LongLinesSplitIntoPieces)
{
    // 254 characters and LF: one piece, one sample.
    auto fits = LoadText(Lines(OneChannel({"7" + std::string(253, ' ')}), "\n"));
    ASSERT_TRUE(fits->ok);
    EXPECT_EQ(fits->buf.ch0.Count, 1);

    // 255 characters and LF: the LF is a piece of its own, an empty line, sample 0.
    auto split = LoadText(Lines(OneChannel({"7" + std::string(254, ' ')}), "\n"));
    ASSERT_TRUE(split->ok);
    ASSERT_EQ(split->buf.ch0.Count, 2);
    EXPECT_EQ(split->buf.ch0.Code[0], 7u);
    EXPECT_EQ(split->buf.ch0.Code[1], 0u);

    // The rest of a long comment does not start with ";" and is read as a sample.
    auto comment = LoadText(Lines(OneChannel({";" + std::string(254, 'x') + "42"}), "\n"));
    ASSERT_TRUE(comment->ok);
    ASSERT_EQ(comment->buf.ch0.Count, 1);
    EXPECT_EQ(comment->buf.ch0.Code[0], 42u);
}

TEST(ReaderLines, LongSettingsLineFailsOnItsColonlessRest)
{
    auto lines = Header(0);
    lines.insert(lines.begin() + 3, "Comment:" + std::string(300, 'a'));
    auto r = LoadText(Lines(With(lines, {"D:", "DEND:"})));
    EXPECT_FALSE(r->ok);
}

// ---------------------------------------------------------------- tag and settings

TEST(ReaderHeader, TagMustBeExactAndFirst)
{
    auto good = OneChannel({"1"});
    EXPECT_TRUE(LoadText(Lines(good))->ok);

    auto lower = good;
    lower[0] = "ad7177_datafile:";
    EXPECT_FALSE(LoadText(Lines(lower))->ok);

    auto blankFirst = good;
    blankFirst.insert(blankFirst.begin(), "");
    EXPECT_FALSE(LoadText(Lines(blankFirst))->ok);

    auto spaced = good;
    spaced[0] = "AD7177_DataFile: ";
    EXPECT_FALSE(LoadText(Lines(spaced))->ok);

    EXPECT_FALSE(LoadText("")->ok);
    EXPECT_FALSE(LoadText(";only a comment\r\n")->ok);
}

TEST(ReaderHeader, SettingsMarkerWithinTenLines)
{
    const auto header = Header(0);
    const auto block =
        With(std::vector<std::string>(header.begin() + 1, header.end()), {"D:", "DEND:"});
    auto nine = With({"AD7177_DataFile:"}, std::vector<std::string>(9, "junk"));
    EXPECT_TRUE(LoadText(Lines(With(nine, block)))->ok);

    auto ten = With(nine, {"junk"});
    auto late = Lines(With(ten, block));
    EXPECT_FALSE(LoadText(late)->ok);

    EXPECT_FALSE(LoadText(Lines({"AD7177_DataFile:", "x"}))->ok);
}

TEST(ReaderHeader, FlagValuesMustBeExactlyZeroOrOne)
{
    for (const char* bad : {"fSinc5:2", "fSinc5: 1", "fSinc5:", "fSinc5:01", "fBUF_ON:x"}) {
        auto lines = OneChannel({"1"});
        lines[bad[1] == 'S' ? 6 : 7] = bad;
        EXPECT_FALSE(LoadText(Lines(lines))->ok) << bad;
    }
    auto lines = OneChannel({"1"});
    lines[6] = "fSinc5:0";
    lines[7] = "fBUF_ON:1";
    auto r = LoadText(Lines(lines));
    ASSERT_TRUE(r->ok);
    EXPECT_EQ(r->setting.fSinc5, 0);
    EXPECT_EQ(r->setting.fBUF_ON, 1);
}

TEST(ReaderHeader, IntegerValuesMustBeDecimal)
{
    for (const char* bad : {"spsSel:x", "spsSel:", "spsSel: 1", "spsSel:1 ", "spsSel:0x1",
                            "spsSel:+-1", "GainSel:99999999999", "GainSel:1.0"}) {
        auto lines = OneChannel({"1"});
        lines[2] = bad;
        EXPECT_FALSE(LoadText(Lines(lines))->ok) << bad;
    }
    auto lines = OneChannel({"1"});
    lines[2] = "spsSel:+12";
    lines[5] = "GainSel:-2147483648";
    auto r = LoadText(Lines(lines));
    ASSERT_TRUE(r->ok);
    EXPECT_EQ(r->setting.spsSel, 12);
    EXPECT_EQ(r->setting.GainSel, INT32_MIN);
}

TEST(ReaderHeader, EarlyEndMarkerIsIgnored)
{
    // Without one settings line "MEND:" is the sixth line: ignored, "D:" becomes a key,
    // and the first sample line, without ":", fails.
    auto lines = OneChannel({"1"});
    lines.erase(lines.begin() + 5); // GainSel
    EXPECT_FALSE(LoadText(Lines(lines))->ok);

    // "MEND:" as the first line of the block is ignored; a later one ends it.
    auto early = OneChannel({"1"});
    early.insert(early.begin() + 2, "MEND:");
    EXPECT_TRUE(LoadText(Lines(early))->ok);
}

TEST(ReaderHeader, EndMarkerAsSeventhLineEndsBlock)
{
    // Exactly six lines before "MEND:", one of them an unknown key: accepted.
    auto lines = OneChannel({"1"});
    lines[5] = "Other:9";
    auto r = LoadText(Lines(lines), TAdcSetting{1, 3, 0, 42, 1, 2.5f, 1, 0});
    ASSERT_TRUE(r->ok);
    EXPECT_EQ(r->setting.GainSel, 42); // the missing key keeps the caller's value
}

TEST(ReaderHeader, UnknownKeysIgnoredAndLastDuplicateWins)
{
    auto lines = OneChannel({"1"});
    lines.insert(lines.begin() + 3, "Comment:abc");
    lines.insert(lines.begin() + 3, "spsSel:9");
    lines.insert(lines.begin() + 3, ":");
    auto r = LoadText(Lines(lines));
    ASSERT_TRUE(r->ok);
    EXPECT_EQ(r->setting.spsSel, 9);
}

TEST(ReaderHeader, TwentyLinesEndTheBlockWithoutMarker)
{
    std::vector<std::string> lines = {"AD7177_DataFile:", "M:",        "spsSel:4", "DataCountSel:2",
                                      "CHSel:0",          "GainSel:0", "fSinc5:1", "fBUF_ON:0"};
    for (int i = 0; i < 14; ++i) {
        lines.push_back("Pad:" + std::to_string(i));
    }
    // Six settings and 14 pads are 20 lines: the block ends without a marker, and the
    // late "MEND:" is just one of the lines before "D:".
    auto r = LoadText(Lines(With(lines, {"MEND:", "D:", "8", "DEND:"})));
    ASSERT_TRUE(r->ok);
    EXPECT_EQ(r->setting.spsSel, 4);
    EXPECT_EQ(r->buf.ch0.Code[0], 8u);

    // A line without ":" inside those 20 lines fails.
    auto withBare = lines;
    withBare[10] = "bare";
    EXPECT_FALSE(LoadText(Lines(With(withBare, {"MEND:", "D:", "DEND:"})))->ok);
}

TEST(ReaderHeader, SettingsOutsideTheListsFail)
{
    for (const char* bad :
         {"spsSel:14", "spsSel:-1", "DataCountSel:7", "DataCountSel:-1", "CHSel:3", "CHSel:-1"}) {
        auto lines = OneChannel({"1"});
        const std::string key = std::string(bad).substr(0, std::string(bad).find(':'));
        for (auto& l : lines) {
            if (l.rfind(key + ":", 0) == 0) {
                l = bad;
            }
        }
        EXPECT_FALSE(LoadText(Lines(lines))->ok) << bad;
    }
    auto edges = OneChannel({"1"});
    edges[2] = "spsSel:13";
    edges[3] = "DataCountSel:6";
    auto r = LoadText(Lines(edges));
    ASSERT_TRUE(r->ok);
    EXPECT_EQ(r->setting.spsSel, 13);
}

// ---------------------------------------------------------------- samples

TEST(ReaderSamples, EmptyBlockGivesCountZero)
{
    auto r = LoadText(Lines(OneChannel({}, 1)));
    ASSERT_TRUE(r->ok);
    EXPECT_EQ(r->buf.ch1.Count, 0);
    EXPECT_EQ(r->buf.ch0.Count, 0);
}

TEST(ReaderSamples, ValueParsing)
{
    auto r = LoadText(Lines(OneChannel({"", "12abc", "  -1", "+7", "4294967296", "99999999999", "-",
                                        "abc", "\t 5", "-4294967295", "0042"})));
    ASSERT_TRUE(r->ok);
    const std::vector<uint32_t> want = {
        0u, 12u, 4294967295u, 7u, 0u, static_cast<uint32_t>(99999999999ull & 0xFFFFFFFFu),
        0u, 0u,  5u,          1u, 42u};
    ASSERT_EQ(r->buf.ch0.Count, static_cast<int32_t>(want.size()));
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(r->buf.ch0.Code[i], want[i]) << i;
    }
}

TEST(ReaderSamples, ColonLineOtherThanEndFails)
{
    EXPECT_FALSE(LoadText(Lines(OneChannel({"1", "X:1", "2"})))->ok);
    EXPECT_FALSE(LoadText(Lines(OneChannel({"DEND: "})))->ok);
}

TEST(ReaderSamples, MissingEndFails)
{
    auto lines = OneChannel({"1", "2"});
    lines.pop_back();
    EXPECT_FALSE(LoadText(Lines(lines))->ok);
}

TEST(ReaderSamples, LinesAfterEndAreNotRead)
{
    auto r = LoadText(Lines(With(OneChannel({"1"}), {"garbage", "X:y", "3"})));
    ASSERT_TRUE(r->ok);
    EXPECT_EQ(r->buf.ch0.Count, 1);
}

TEST(ReaderSamples, SampleMarkerWithinTenLines)
{
    auto nine = With(Header(0), std::vector<std::string>(9, "skip"));
    EXPECT_TRUE(LoadText(Lines(With(nine, {"D:", "1", "DEND:"})))->ok);
    auto ten = With(Header(0), std::vector<std::string>(10, "skip"));
    EXPECT_FALSE(LoadText(Lines(With(ten, {"D:", "1", "DEND:"})))->ok);
    EXPECT_FALSE(LoadText(Lines(Header(0)))->ok);
}

TEST(ReaderSamples, TwoChannelSplitAtFirstComma)
{
    auto lines = With(Header(2), {"D:", "5", "1,2,3", " -1, 7", ",", "9,", "DEND:"});
    auto r = LoadText(Lines(lines));
    ASSERT_TRUE(r->ok);
    ASSERT_EQ(r->buf.ch0.Count, 5);
    ASSERT_EQ(r->buf.ch1.Count, 5);
    const uint32_t want0[] = {0u, 1u, 4294967295u, 0u, 9u};
    const uint32_t want1[] = {5u, 2u, 7u, 0u, 0u};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(r->buf.ch0.Code[i], want0[i]) << i;
        EXPECT_EQ(r->buf.ch1.Code[i], want1[i]) << i;
    }
}

TEST(ReaderSamples, CapacityIsTheLimit)
{
    for (int chSel : {0, 2}) {
        std::vector<std::string> samples(CHANNEL_CAPACITY, chSel == 2 ? "1,2" : "1");
        auto full = LoadText(Lines(With(Header(chSel), With(With({"D:"}, samples), {"DEND:"}))));
        ASSERT_TRUE(full->ok);
        EXPECT_EQ(full->buf.ch0.Count, CHANNEL_CAPACITY);

        samples.push_back("1");
        auto over = LoadText(Lines(With(Header(chSel), With(With({"D:"}, samples), {"DEND:"}))));
        EXPECT_FALSE(over->ok);
        EXPECT_LE(over->buf.ch0.Count, CHANNEL_CAPACITY);
        EXPECT_LE(over->buf.ch1.Count, CHANNEL_CAPACITY);
    }
}

TEST(ReaderSamples, ChannelOneFileClearsChannelZero)
{
    auto r = LoadText(Lines(OneChannel({"4", "5"}, 1)));
    ASSERT_TRUE(r->ok);
    EXPECT_EQ(r->buf.ch0.Count, 0);
    ASSERT_EQ(r->buf.ch1.Count, 2);
    EXPECT_EQ(r->buf.ch1.Code[1], 5u);
}

// ---------------------------------------------------------------- what cannot be read

TEST(ReaderFiles, UnreadableTargetsFail)
{
    TempDir dir;
    Buffers buf;
    TAdcSetting s;
    TmyFile file;
    EXPECT_FALSE(file.LoadData("", &s, &buf.ch0, &buf.ch1));
    EXPECT_FALSE(file.LoadData(dir.File("missing.DTA"), &s, &buf.ch0, &buf.ch1));
    EXPECT_FALSE(file.LoadData(dir.Path(), &s, &buf.ch0, &buf.ch1));
    WriteBytes(dir.File("ok.DTA"), Lines(OneChannel({"1"})));
    EXPECT_FALSE(file.LoadData(dir.File("ok.DTA"), nullptr, &buf.ch0, &buf.ch1));
    EXPECT_FALSE(file.LoadData(dir.File("ok.DTA"), &s, &buf.ch0, nullptr));
    TChannelData noStorage{};
    EXPECT_FALSE(file.LoadData(dir.File("ok.DTA"), &s, &noStorage, &buf.ch1));
    EXPECT_TRUE(file.LoadData(dir.File("ok.DTA"), &s, &buf.ch0, &buf.ch1));
}

TEST(ReaderFiles, FifoDoesNotBlock)
{
    TempDir dir;
    const std::string fifo = dir.File("pipe.DTA");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    Buffers buf;
    TAdcSetting s;
    TmyFile file;
    EXPECT_FALSE(file.LoadData(fifo, &s, &buf.ch0, &buf.ch1));
}

} // namespace
