// The board protocol against a scripted driver: exact command bytes, replies,
// record parsing and the limits of the data buffer.

#include "Ad7177.h"
#include "FakeFtdi.h"

#include <QObject>

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace {

using Log = std::vector<std::string>;

class AdcTest : public ::testing::Test {
protected:
    AdcTest()
    {
        auto f = std::make_unique<FakeFtdi>(shared);
        fake = f.get();
        adc = std::make_unique<TADC>(&owner, std::move(f));
    }
    void Connected()
    {
        ASSERT_TRUE(adc->Connect());
        shared->log.clear();
        shared->writes.clear();
    }
    // The board's answer to the next command, one poll after it.
    void Answer(const std::string& bytes) { fake->QueueAfterPolls(1, bytes); }

    QObject owner;
    std::shared_ptr<FakeFtdi::Shared> shared = std::make_shared<FakeFtdi::Shared>();
    FakeFtdi* fake = nullptr;
    std::unique_ptr<TADC> adc;
};

// --- wire-format helpers ---------------------------------------------------

TEST(WireFormat, CountToHex5)
{
    char out[6];
    const std::pair<int32_t, const char*> cases[] = {
        {100, "00064"},     {10000, "02710"},    {1000, "003E8"}, {0, "00000"},
        {0xFFFFF, "FFFFF"}, {0x100000, "00000"}, {-1, "00000"},   {0xABCDE, "ABCDE"}};
    for (const auto& [count, text] : cases) {
        CountToHex5(count, out);
        EXPECT_STREQ(out, text) << count;
    }
}

TEST(WireFormat, HexToCodeReadsEightDigitsEitherCase)
{
    auto code = [](const char* s) { return HexToCode(reinterpret_cast<const uint8_t*>(s)); };
    EXPECT_EQ(code("80000000"), 0x80000000u);
    EXPECT_EQ(code("7fffffff"), 0x7FFFFFFFu);
    EXPECT_EQ(code("FFFFFFFF"), 0xFFFFFFFFu);
    EXPECT_EQ(code("00000000"), 0u);
    EXPECT_EQ(code("aBcDeF09"), 0xABCDEF09u);
}

TEST(WireFormat, NonHexCharacterCountsAsZero)
{
    auto code = [](const char* s) { return HexToCode(reinterpret_cast<const uint8_t*>(s)); };
    EXPECT_EQ(code("12G45678"), 0x12045678u);
    EXPECT_EQ(code("1 3/5:7g"), 0x10305070u);
}

// --- commands ----------------------------------------------------------------

TEST_F(AdcTest, ConnectOpensWithFourKilobyteTransfersAndPurges)
{
    EXPECT_TRUE(adc->Connect());
    EXPECT_EQ(shared->log, (Log{"Open 0", "SetUSBParameters 4096 0", "Purge 3", "Purge 3"}));
}

TEST_F(AdcTest, ConnectOnAnOpenLinkPurgesAndFailsWhenTheDeviceIsGone)
{
    Connected();
    fake->Queue("stale");
    EXPECT_TRUE(adc->Connect());
    EXPECT_EQ(shared->log, (Log{"Purge 3"}));
    EXPECT_TRUE(fake->rx.empty());

    shared->log.clear();
    fake->purgeStatus = FT_IO_ERROR;
    EXPECT_FALSE(adc->Connect());
    EXPECT_FALSE(adc->IsOpen());
    EXPECT_EQ(shared->log, (Log{"Purge 3", "Close"}));
}

TEST_F(AdcTest, CheckBoardPurgesThenAsksAndNeedsOk)
{
    Connected();
    Answer("OK\r");
    EXPECT_TRUE(adc->CheckBoard());
    EXPECT_EQ(shared->writes, (Log{"?\r"}));
    EXPECT_EQ(shared->log.front(), "Purge 3");
    Answer("NG\r");
    EXPECT_FALSE(adc->CheckBoard());
}

TEST_F(AdcTest, FilterCommands)
{
    Connected();
    Answer("OK\r");
    EXPECT_TRUE(adc->SetSinc3());
    Answer("OK\r");
    EXPECT_TRUE(adc->SetSinc5());
    EXPECT_EQ(shared->writes, (Log{"S3\r", "S5\r"}));
    EXPECT_EQ(shared->log, (Log{"Purge 3", "Write", "Read 3", "Purge 3", "Write", "Read 3"}));
}

TEST_F(AdcTest, SetRateSendsOneUpperCaseDigitWithoutPurge)
{
    Connected();
    for (int i : {0, 9, 10, 13}) {
        Answer("OK\r");
        EXPECT_TRUE(adc->SetRate(i));
    }
    EXPECT_EQ(shared->writes, (Log{"F0\r", "F9\r", "FA\r", "FD\r"}));
    for (const auto& entry : shared->log)
        EXPECT_NE(entry, "Purge 3");
}

TEST_F(AdcTest, SetRateRefusesIndicesOutsideTheTable)
{
    Connected();
    EXPECT_FALSE(adc->SetRate(14));
    EXPECT_FALSE(adc->SetRate(-1));
    EXPECT_TRUE(shared->log.empty());
}

TEST_F(AdcTest, StartConversionCommands)
{
    Connected();
    EXPECT_TRUE(adc->StartConversion(2, 10000));
    EXPECT_TRUE(adc->StartConversion(1, 1000));
    EXPECT_TRUE(adc->StartConversion(0, 0x100000));
    EXPECT_EQ(shared->writes, (Log{"A202710\r", "A1003E8\r", "A000000\r"}));
    EXPECT_EQ(shared->log, (Log{"Purge 3", "Write", "Purge 3", "Write", "Purge 3", "Write"}));
}

TEST_F(AdcTest, StartConversionRefusesAnUnknownChannelSelection)
{
    Connected();
    EXPECT_FALSE(adc->StartConversion(3, 100));
    EXPECT_FALSE(adc->StartConversion(-1, 100));
    EXPECT_TRUE(shared->log.empty());
}

TEST_F(AdcTest, StopConversionSendsAxOnly)
{
    Connected();
    EXPECT_TRUE(adc->StopConversion());
    EXPECT_EQ(shared->writes, (Log{"AX\r"}));
    EXPECT_EQ(shared->log, (Log{"Write"}));
}

TEST_F(AdcTest, PurgeFailureBeforeACommandClosesTheLink)
{
    Connected();
    fake->purgeStatus = FT_IO_ERROR;
    EXPECT_FALSE(adc->CheckBoard());
    EXPECT_FALSE(adc->IsOpen());
    EXPECT_TRUE(shared->writes.empty());
}

TEST_F(AdcTest, EverythingFailsWithoutADevice)
{
    char name[11];
    uint32_t c0[1], c1[1];
    int32_t n = 5;
    EXPECT_FALSE(adc->CheckBoard());
    EXPECT_FALSE(adc->GetBoardName(name));
    EXPECT_FALSE(adc->GetVersion(name));
    EXPECT_FALSE(adc->SetSinc3());
    EXPECT_FALSE(adc->SetSinc5());
    EXPECT_FALSE(adc->SetRate(3));
    EXPECT_FALSE(adc->StartConversion(0, 100));
    EXPECT_FALSE(adc->StopConversion());
    EXPECT_FALSE(adc->ReadData1CH(c0, &n, 1));
    EXPECT_EQ(n, 0);
    EXPECT_FALSE(adc->ReadData2CH(c0, c1, 1, &n));
    EXPECT_TRUE(shared->log.empty());
    EXPECT_EQ(adc->GetGain(), 1);
}

TEST_F(AdcTest, DisconnectPurgesAndCloses)
{
    Connected();
    adc->Disconnect();
    EXPECT_FALSE(adc->IsOpen());
    EXPECT_EQ(shared->log, (Log{"Purge 3", "Close"}));
}

// --- text replies ----------------------------------------------------------

TEST_F(AdcTest, BoardNameAndVersion)
{
    Connected();
    char name[11] = "??????????";
    Answer("MIRANTOS\r");
    EXPECT_TRUE(adc->GetBoardName(name));
    EXPECT_STREQ(name, "MIRANTOS");
    Answer("1.10\r");
    EXPECT_TRUE(adc->GetVersion(name));
    EXPECT_STREQ(name, "1.10");
    EXPECT_EQ(shared->writes, (Log{"U?\r", "V?\r"}));
}

TEST_F(AdcTest, TwelveCharacterReplyIsCutToTen)
{
    Connected();
    std::array<char, 16> dest;
    dest.fill('#');
    Answer("ABCDEFGHIJKL\r");
    EXPECT_TRUE(adc->GetBoardName(dest.data()));
    EXPECT_STREQ(dest.data(), "ABCDEFGHIJ");
    EXPECT_EQ(dest[11], '#'); // nothing beyond the 11 bytes is touched
}

TEST_F(AdcTest, RepliesOfSixteenOrMoreCharactersInOnePacketAreCutToTen)
{
    Connected();
    for (const char* answer : {"Ver.1.10-2026-12\r", "MIRANTOS Board rev.B 2026\r"}) {
        char dest[11] = "??????????";
        Answer(answer);
        EXPECT_TRUE(adc->GetVersion(dest)) << answer;
        EXPECT_EQ(std::string(dest), std::string(answer, 10)) << answer;
    }
}

TEST_F(AdcTest, RefusalsFail)
{
    Connected();
    char dest[11];
    for (const char* answer : {"NG\r", "N\r", "Nope\r", "XG\r"}) {
        Answer(answer);
        EXPECT_FALSE(adc->GetBoardName(dest)) << answer;
        Answer(answer);
        EXPECT_FALSE(adc->GetVersion(dest)) << answer;
    }
}

TEST_F(AdcTest, EmptyReplyIsAnEmptyName)
{
    Connected();
    char dest[11] = "x";
    Answer("\r");
    EXPECT_TRUE(adc->GetBoardName(dest));
    EXPECT_STREQ(dest, "");
}

TEST_F(AdcTest, NoReplyFails)
{
    Connected();
    char dest[11];
    EXPECT_FALSE(adc->GetVersion(dest));
}

// --- sample records ----------------------------------------------------------

TEST_F(AdcTest, OneChannelRecords)
{
    Connected();
    fake->Queue("80000000\r7fffffff\r");
    uint32_t codes[2] = {};
    int32_t n = -1;
    EXPECT_TRUE(adc->ReadData1CH(codes, &n, 2));
    EXPECT_EQ(n, 2);
    EXPECT_EQ(codes[0], 0x80000000u);
    EXPECT_EQ(codes[1], 0x7FFFFFFFu);
}

TEST_F(AdcTest, IncompleteBlockConsumesNothing)
{
    Connected();
    fake->Queue(std::string("80000000\r") + "1234567");
    uint32_t codes[2] = {};
    int32_t n = -1;
    fake->Queue("8"); // 9*2-1 bytes
    EXPECT_TRUE(adc->ReadData1CH(codes, &n, 2));
    EXPECT_EQ(n, 0);
    EXPECT_EQ(fake->rx.size(), 17u);
    fake->Queue("\r");
    EXPECT_TRUE(adc->ReadData1CH(codes, &n, 2));
    EXPECT_EQ(n, 2);
    EXPECT_EQ(codes[1], 0x12345678u);
}

TEST_F(AdcTest, RecordWithoutCrFailsAfterTheGoodOnes)
{
    Connected();
    fake->Queue("00000001\r00000002X00000003\r");
    uint32_t codes[3] = {};
    int32_t n = -1;
    EXPECT_FALSE(adc->ReadData1CH(codes, &n, 3));
    EXPECT_EQ(n, 1);
    EXPECT_EQ(codes[0], 1u);
}

TEST_F(AdcTest, TwoChannelRecords)
{
    Connected();
    fake->Queue("80000001FFFFFFFE\r0000000A0000000b\r");
    uint32_t c0[2] = {}, c1[2] = {};
    int32_t n = -1;
    EXPECT_TRUE(adc->ReadData2CH(c0, c1, 2, &n));
    EXPECT_EQ(n, 2);
    EXPECT_EQ(c0[0], 0x80000001u);
    EXPECT_EQ(c1[0], 0xFFFFFFFEu);
    EXPECT_EQ(c0[1], 10u);
    EXPECT_EQ(c1[1], 11u);
}

TEST_F(AdcTest, SecondTwoChannelRecordWithoutCr)
{
    Connected();
    fake->Queue("1111111122222222\r3333333344444444\n");
    uint32_t c0[2] = {}, c1[2] = {};
    int32_t n = -1;
    EXPECT_FALSE(adc->ReadData2CH(c0, c1, 2, &n));
    EXPECT_EQ(n, 1);
    EXPECT_EQ(c0[0], 0x11111111u);
    EXPECT_EQ(c1[0], 0x22222222u);
    EXPECT_EQ(c0[1], 0u);
}

TEST_F(AdcTest, FailedReadFailsThePoll)
{
    Connected();
    fake->Queue("80000000\r");
    fake->queueStatus = FT_IO_ERROR;
    uint32_t codes[1];
    int32_t n = -1;
    EXPECT_FALSE(adc->ReadData1CH(codes, &n, 1));
    EXPECT_EQ(n, 0);
}

TEST_F(AdcTest, RecordCountsBeyondTheDataBufferAreRefused)
{
    Connected();
    std::string many;
    for (int i = 0; i < 200; ++i)
        many += "0123456789ABCDEF\r";
    fake->Queue(many);
    std::vector<uint32_t> c0(300, 0xDEADBEEF), c1(300, 0xDEADBEEF);
    int32_t n = -1;
    EXPECT_FALSE(adc->ReadData2CH(c0.data(), c1.data(), 101, &n));
    EXPECT_EQ(n, 0);
    EXPECT_FALSE(adc->ReadData1CH(c0.data(), &n, 191));
    EXPECT_FALSE(adc->ReadData1CH(c0.data(), &n, -1));
    EXPECT_EQ(fake->rx.size(), many.size()); // nothing consumed
    EXPECT_EQ(c0[0], 0xDEADBEEFu);
    EXPECT_TRUE(adc->ReadData2CH(c0.data(), c1.data(), 100, &n));
    EXPECT_EQ(n, 100);
    EXPECT_EQ(c0[99], 0x01234567u);
    EXPECT_EQ(c1[99], 0x89ABCDEFu);
    EXPECT_EQ(c0[100], 0xDEADBEEFu);
}

TEST_F(AdcTest, LargestOneChannelBlockFits)
{
    Connected();
    std::string many;
    for (int i = 0; i < TADC::kMaxRecords1CH; ++i)
        many += "0000FFFF\r";
    fake->Queue(many);
    std::vector<uint32_t> codes(TADC::kMaxRecords1CH);
    int32_t n = -1;
    EXPECT_TRUE(adc->ReadData1CH(codes.data(), &n, TADC::kMaxRecords1CH));
    EXPECT_EQ(n, 190);
    EXPECT_EQ(codes.back(), 0xFFFFu);
}

} // namespace
