// The FIFO transport against a scripted driver.

#include "FakeFtdi.h"
#include "Ft_fifo.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

class FifoTest : public ::testing::Test {
protected:
    FifoTest()
    {
        auto f = std::make_unique<FakeFtdi>(shared);
        fake = f.get();
        fifo = std::make_unique<Tft_FIFO>(&owner, std::move(f));
    }

    bool OpenAndForget()
    {
        const bool ok = fifo->Open();
        shared->log.clear();
        return ok;
    }

    std::string Read(uint32_t n, bool* ok = nullptr)
    {
        std::string out(n, '\0');
        uint32_t got = 99;
        const bool r = fifo->ReadBytes(reinterpret_cast<uint8_t*>(out.data()), n, &got);
        if (ok)
            *ok = r;
        out.resize(got);
        return out;
    }

    QObject owner;
    std::shared_ptr<FakeFtdi::Shared> shared = std::make_shared<FakeFtdi::Shared>();
    FakeFtdi* fake = nullptr;
    std::unique_ptr<Tft_FIFO> fifo;
};

using Log = std::vector<std::string>;

// --- opening, purging, closing ---------------------------------------------

TEST_F(FifoTest, OpenOpensSetsTransferSizeAndPurgesInThatOrder)
{
    EXPECT_TRUE(fifo->Open());
    EXPECT_TRUE(fifo->IsOpen());
    EXPECT_EQ(shared->log, (Log{"Open 0", "SetUSBParameters 4096 0", "Purge 3"}));
}

TEST_F(FifoTest, OpenOnAnOpenLinkSucceedsWithoutDriverCalls)
{
    ASSERT_TRUE(OpenAndForget());
    EXPECT_TRUE(fifo->Open());
    EXPECT_TRUE(shared->log.empty());
}

TEST_F(FifoTest, FailedOpenLeavesTheLinkClosed)
{
    fake->openStatus = FT_DEVICE_NOT_FOUND;
    EXPECT_FALSE(fifo->Open());
    EXPECT_FALSE(fifo->IsOpen());
    EXPECT_EQ(shared->log, (Log{"Open 0"}));
    EXPECT_FALSE(fifo->SendCommand("?"));
    EXPECT_TRUE(shared->writes.empty());
}

TEST_F(FifoTest, FailedTransferSizeClosesTheDevice)
{
    fake->setParamsStatus = FT_IO_ERROR;
    EXPECT_FALSE(fifo->Open());
    EXPECT_FALSE(fifo->IsOpen());
    EXPECT_EQ(shared->log, (Log{"Open 0", "SetUSBParameters 4096 0", "Close"}));
}

TEST_F(FifoTest, FailedPurgeClosesTheLinkAndTheNextCommandIsRefused)
{
    ASSERT_TRUE(OpenAndForget());
    fake->purgeStatus = FT_IO_ERROR;
    EXPECT_FALSE(fifo->Purge());
    EXPECT_FALSE(fifo->IsOpen());
    EXPECT_EQ(shared->log, (Log{"Purge 3", "Close"}));
    EXPECT_FALSE(fifo->SendCommand("?"));
    EXPECT_TRUE(shared->writes.empty());
}

TEST_F(FifoTest, FailedPurgeDuringOpenFailsTheOpen)
{
    fake->purgeStatus = FT_IO_ERROR;
    EXPECT_FALSE(fifo->Open());
    EXPECT_FALSE(fifo->IsOpen());
}

TEST_F(FifoTest, ClosePurgesThenCloses)
{
    ASSERT_TRUE(OpenAndForget());
    fifo->Close();
    EXPECT_FALSE(fifo->IsOpen());
    EXPECT_EQ(shared->log, (Log{"Purge 3", "Close"}));
    shared->log.clear();
    fifo->Close();
    EXPECT_TRUE(shared->log.empty());
}

TEST_F(FifoTest, DestructionClosesAnOpenDevice)
{
    ASSERT_TRUE(OpenAndForget());
    fifo.reset();
    EXPECT_EQ(shared->log, (Log{"Purge 3", "Close"}));
}

TEST_F(FifoTest, ClosedLinkRefusesEverythingWithoutTouchingTheDriver)
{
    uint8_t buf[16];
    uint32_t n = 7;
    EXPECT_FALSE(fifo->Purge());
    EXPECT_FALSE(fifo->SendCommand("?"));
    EXPECT_FALSE(fifo->ReadQueued(buf, sizeof buf, &n));
    EXPECT_EQ(n, 0u);
    EXPECT_FALSE(fifo->ReadBytes(buf, 9, &n));
    EXPECT_FALSE(fifo->SendCommandOK("?"));
    char reply[17];
    EXPECT_FALSE(fifo->SendCommandReply("U?", reply, sizeof reply));
    EXPECT_TRUE(shared->log.empty());
    EXPECT_EQ(fake->queueCalls, 0);
}

// --- commands ------------------------------------------------------------

TEST_F(FifoTest, CommandIsWrittenWithOneCrInOneWrite)
{
    ASSERT_TRUE(OpenAndForget());
    EXPECT_TRUE(fifo->SendCommand("U?"));
    EXPECT_EQ(shared->writes, (Log{"U?\r"}));
    EXPECT_EQ(shared->log, (Log{"Write"})); // no purge, nothing awaited
}

TEST_F(FifoTest, NineteenCharactersAreSentTwentyAreRefused)
{
    ASSERT_TRUE(OpenAndForget());
    const std::string c19(19, 'x');
    EXPECT_TRUE(fifo->SendCommand(c19.c_str()));
    ASSERT_EQ(shared->writes.size(), 1u);
    EXPECT_EQ(shared->writes[0].size(), 20u);
    EXPECT_EQ(shared->writes[0].back(), '\r');
    const std::string c20(20, 'x');
    EXPECT_FALSE(fifo->SendCommand(c20.c_str()));
    EXPECT_EQ(shared->writes.size(), 1u);
}

TEST_F(FifoTest, FailedWriteFailsTheCommand)
{
    ASSERT_TRUE(OpenAndForget());
    fake->writeStatus = FT_IO_ERROR;
    EXPECT_FALSE(fifo->SendCommand("?"));
    EXPECT_EQ(shared->writes, (Log{"?\r"}));
}

// --- exact-count reads -------------------------------------------------------

TEST_F(FifoTest, ReadBytesWaitsForTheWholeAmountAndConsumesNothing)
{
    ASSERT_TRUE(OpenAndForget());
    fake->Queue(std::string(899, 'a'));
    bool ok = false;
    EXPECT_EQ(Read(900, &ok), "");
    EXPECT_TRUE(ok);
    EXPECT_EQ(fake->rx.size(), 899u);
    EXPECT_EQ(std::count(shared->log.begin(), shared->log.end(), "Read 900"), 0);
}

TEST_F(FifoTest, ReadBytesDeliversExactlyTheAmountAndLeavesTheRestQueued)
{
    ASSERT_TRUE(OpenAndForget());
    std::string bytes;
    for (int i = 0; i < 1000; ++i)
        bytes.push_back(static_cast<char>('A' + i % 26));
    fake->Queue(bytes);
    bool ok = false;
    EXPECT_EQ(Read(900, &ok), bytes.substr(0, 900));
    EXPECT_TRUE(ok);
    EXPECT_EQ(fake->rx, bytes.substr(900));
    EXPECT_EQ(Read(100), bytes.substr(900));
}

TEST_F(FifoTest, ReadBytesAcrossSeveralArrivalsKeepsOrder)
{
    ASSERT_TRUE(OpenAndForget());
    fake->Queue("0123");
    EXPECT_EQ(Read(6), "");
    fake->Queue("45");
    EXPECT_EQ(Read(6), "012345");
    fake->Queue("6789");
    EXPECT_EQ(Read(2), "67");
    EXPECT_EQ(Read(2), "89");
}

TEST_F(FifoTest, QueueStatusFailureFailsTheRead)
{
    ASSERT_TRUE(OpenAndForget());
    fake->Queue("0123456789");
    fake->queueStatus = FT_IO_ERROR;
    bool ok = true;
    EXPECT_EQ(Read(9, &ok), "");
    EXPECT_FALSE(ok);
}

TEST_F(FifoTest, ShortDeviceReadFailsAndLosesNoByte)
{
    ASSERT_TRUE(OpenAndForget());
    fake->Queue("ABCDEFGHIJ");
    fake->shortBy = 4;
    bool ok = true;
    EXPECT_EQ(Read(9, &ok), "");
    EXPECT_FALSE(ok);
    fake->shortBy = 0;
    // The five bytes that did come are kept ahead of the rest.
    EXPECT_EQ(Read(10, &ok), "ABCDEFGHIJ");
    EXPECT_TRUE(ok);
}

TEST_F(FifoTest, FailedDeviceReadDeliversNothing)
{
    ASSERT_TRUE(OpenAndForget());
    fake->Queue("ABCDEFGHI");
    fake->readStatus = FT_IO_ERROR;
    bool ok = true;
    EXPECT_EQ(Read(9, &ok), "");
    EXPECT_FALSE(ok);
}

TEST_F(FifoTest, StagedBytesComeFirstAndArePurged)
{
    ASSERT_TRUE(OpenAndForget());
    // A reply followed by bytes in the same read leaves those bytes staged.
    fake->QueueAfterPolls(1, "AB\rXYZ");
    char reply[17];
    ASSERT_TRUE(fifo->SendCommandReply("U?", reply, sizeof reply));
    EXPECT_STREQ(reply, "AB");
    EXPECT_TRUE(fake->rx.empty());
    fake->Queue("1");
    EXPECT_EQ(Read(5), ""); // 3 staged + 1 queued are not enough
    EXPECT_EQ(fake->rx, "1");
    fake->Queue("2");
    EXPECT_EQ(Read(5), "XYZ12");
    fake->Queue("3");
    EXPECT_EQ(Read(1), "3"); // nothing staged any more

    fake->QueueAfterPolls(1, "CD\rQ");
    ASSERT_TRUE(fifo->SendCommandReply("U?", reply, sizeof reply));
    ASSERT_TRUE(fifo->Purge());
    fake->Queue("R");
    EXPECT_EQ(Read(1), "R"); // the staged "Q" went with the purge
}

TEST_F(FifoTest, ReadQueuedTakesAtMostItsCapacity)
{
    ASSERT_TRUE(OpenAndForget());
    fake->Queue("abcdef");
    uint8_t buf[4];
    uint32_t n = 0;
    EXPECT_TRUE(fifo->ReadQueued(buf, 4, &n));
    EXPECT_EQ(n, 4u);
    EXPECT_EQ(std::memcmp(buf, "abcd", 4), 0);
    EXPECT_EQ(fake->rx, "ef");
    fake->rx.clear();
    EXPECT_TRUE(fifo->ReadQueued(buf, 4, &n));
    EXPECT_EQ(n, 0u);
}

// --- acknowledgement wait ---------------------------------------------------

class AckTest : public FifoTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(OpenAndForget());
        fifo->SetTimeOut(40);
    }
};

TEST_F(AckTest, OkInOnePacketIsAcknowledged)
{
    fake->QueueAfterPolls(1, "OK\r");
    EXPECT_TRUE(fifo->SendCommandOK("?"));
    EXPECT_EQ(shared->writes, (Log{"?\r"}));
}

TEST_F(AckTest, OkSplitAcrossPacketsIsAcknowledged)
{
    fake->QueueAfterPolls(2, "O");
    fake->QueueAfterPolls(5, "K\r");
    EXPECT_TRUE(fifo->SendCommandOK("?"));
}

TEST_F(AckTest, CrInTheNextPacketAfterOkIsStillAcknowledged)
{
    fake->QueueAfterPolls(1, "OK");
    fake->QueueAfterPolls(4, "\r");
    EXPECT_TRUE(fifo->SendCommandOK("?"));
}

TEST_F(AckTest, NgIsNotAnAcknowledgement)
{
    fake->QueueAfterPolls(1, "NG\r");
    EXPECT_FALSE(fifo->SendCommandOK("?"));
}

TEST_F(AckTest, CrArrivingAfterTheWaitEndedIsTooLate)
{
    fake->QueueAfterPolls(1, "OK");
    fake->QueueAfterPolls(1000000, "\r");
    EXPECT_FALSE(fifo->SendCommandOK("?"));
    // The next wait starts afresh rather than ending on the old expiry.
    fake->pending.clear();
    fake->rx.clear();
    fake->QueueAfterPolls(3, "OK\r");
    EXPECT_TRUE(fifo->SendCommandOK("?"));
}

TEST_F(AckTest, SilenceEndsWithTheTimer)
{
    EXPECT_FALSE(fifo->SendCommandOK("?"));
    EXPECT_GT(fake->queueCalls, 1);
}

TEST_F(AckTest, BytesAfterTheAcknowledgementStayQueued)
{
    fake->QueueAfterPolls(1, "OK\r0123");
    EXPECT_TRUE(fifo->SendCommandOK("?"));
    EXPECT_EQ(fake->rx, "0123");
}

TEST_F(AckTest, FailedReadsDoNotEndTheWait)
{
    fake->queueStatus = FT_IO_ERROR;
    EXPECT_FALSE(fifo->SendCommandOK("?"));
    EXPECT_GT(fake->queueCalls, 1);
}

TEST_F(AckTest, WaitKeepsTheEventLoopRunning)
{
    bool ran = false;
    QTimer::singleShot(0, &owner, [&] { ran = true; });
    EXPECT_FALSE(fifo->SendCommandOK("?"));
    EXPECT_TRUE(ran);
}

TEST_F(AckTest, AWaitStartedFromInsideAWaitIsRefused)
{
    bool nested = true;
    QTimer::singleShot(0, &owner, [&] { nested = fifo->SendCommandOK("?"); });
    fake->QueueAfterPolls(1000000, "x");
    EXPECT_FALSE(fifo->SendCommandOK("?"));
    EXPECT_FALSE(nested);
    EXPECT_EQ(shared->writes.size(), 1u);
}

TEST_F(AckTest, TimerBelongsToTheOwnerAndIsIdleBetweenWaits)
{
    const auto timers = owner.findChildren<QTimer*>();
    ASSERT_EQ(timers.size(), 1);
    EXPECT_FALSE(timers[0]->isActive());
    fake->QueueAfterPolls(1, "OK\r");
    EXPECT_TRUE(fifo->SendCommandOK("?"));
    EXPECT_FALSE(timers[0]->isActive());
    EXPECT_EQ(timers[0]->interval(), 40);
}

TEST(FifoTimer, DefaultIntervalIsFiveHundredAndTheTimerFollowsStartStopAndTick)
{
    QObject owner;
    Tft_FIFO fifo(&owner, std::make_unique<FakeFtdi>());
    const auto timers = owner.findChildren<QTimer*>();
    ASSERT_EQ(timers.size(), 1);
    QTimer* timer = timers[0];
    fifo.StartTimeOut();
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 500);
    fifo.OnTimeOut();
    EXPECT_FALSE(timer->isActive());
    fifo.SetTimeOut(100);
    fifo.StartTimeOut();
    EXPECT_EQ(timer->interval(), 100);
    fifo.StopTimeOut();
    EXPECT_FALSE(timer->isActive());
    fifo.StartTimeOut();
    fifo.SetTimeOut(250); // forces the timer idle
    EXPECT_FALSE(timer->isActive());
}

TEST(FifoTimer, TickEndsAWaitThatWouldOtherwiseLastTenSeconds)
{
    QObject owner;
    auto f = std::make_unique<FakeFtdi>();
    FakeFtdi* fake = f.get();
    Tft_FIFO fifo(&owner, std::move(f));
    ASSERT_TRUE(fifo.Open());
    fifo.SetTimeOut(10000);
    fake->QueueAfterPolls(1000000, "x");
    QTimer::singleShot(0, &owner, [&] { fifo.OnTimeOut(); });
    QElapsedTimer wall;
    wall.start();
    EXPECT_FALSE(fifo.SendCommandOK("?"));
    EXPECT_LT(wall.elapsed(), 5000);
}

TEST(FifoTimer, OwnerGoneBeforeTheTransportIsHarmless)
{
    auto owner = std::make_unique<QObject>();
    auto f = std::make_unique<FakeFtdi>();
    FakeFtdi* fake = f.get();
    Tft_FIFO fifo(owner.get(), std::move(f));
    ASSERT_TRUE(fifo.Open());
    owner.reset();
    fake->QueueAfterPolls(1000000, "x");
    EXPECT_FALSE(fifo.SendCommandOK("?")); // ends at once instead of hanging
}

// --- reply wait -----------------------------------------------------------

TEST_F(AckTest, TwoCharactersAndCrAreAReply)
{
    fake->QueueAfterPolls(1, "AB\r");
    char reply[17] = "zzzz";
    EXPECT_TRUE(fifo->SendCommandReply("U?", reply, sizeof reply));
    EXPECT_STREQ(reply, "AB");
}

TEST_F(AckTest, ReplyGatheredFromSeveralPackets)
{
    fake->QueueAfterPolls(1, "MIRA");
    fake->QueueAfterPolls(3, "NTOS");
    fake->QueueAfterPolls(6, "\r");
    char reply[17];
    EXPECT_TRUE(fifo->SendCommandReply("U?", reply, sizeof reply));
    EXPECT_STREQ(reply, "MIRANTOS");
}

TEST_F(AckTest, SixteenBytesWithoutCrEndTheWaitAndFail)
{
    fifo->SetTimeOut(10000);
    fake->QueueAfterPolls(1, std::string(10, 'x'));
    fake->QueueAfterPolls(3, std::string(6, 'x'));
    fake->QueueAfterPolls(6, "\r");
    char reply[32];
    QElapsedTimer wall;
    wall.start();
    EXPECT_FALSE(fifo->SendCommandReply("U?", reply, sizeof reply));
    EXPECT_LT(wall.elapsed(), 5000); // ended by the count, not by the timer
    EXPECT_LT(fake->queueCalls, 6);
}

TEST_F(AckTest, LongRepliesWithTheirCrInOnePacketAreComplete)
{
    for (const int length : {16, 17, 40}) {
        fake->QueueAfterPolls(1, std::string(static_cast<size_t>(length), 'L') + "\r");
        char reply[17] = {};
        EXPECT_TRUE(fifo->SendCommandReply("U?", reply, sizeof reply)) << length;
        EXPECT_EQ(std::string(reply), std::string(16, 'L')) << length; // cut to the area
        EXPECT_TRUE(fake->rx.empty()) << length;
    }
}

TEST_F(AckTest, ReplyOfSixteenCharactersAfterAShortPacketIsComplete)
{
    fake->QueueAfterPolls(1, "0123456789");
    fake->QueueAfterPolls(3, "ABCDEF\r");
    char reply[32];
    EXPECT_TRUE(fifo->SendCommandReply("V?", reply, sizeof reply));
    EXPECT_STREQ(reply, "0123456789ABCDEF");
}

TEST_F(AckTest, FifteenCharactersAndCrAreStillAReply)
{
    fake->QueueAfterPolls(1, std::string(15, 'y') + "\r");
    char reply[17];
    EXPECT_TRUE(fifo->SendCommandReply("U?", reply, sizeof reply));
    EXPECT_EQ(std::string(reply), std::string(15, 'y'));
}

TEST_F(AckTest, SilenceGivesNoReply)
{
    char reply[17];
    EXPECT_FALSE(fifo->SendCommandReply("U?", reply, sizeof reply));
    EXPECT_GT(fake->queueCalls, 1);
}

TEST_F(AckTest, FailedReadEndsTheReplyWait)
{
    fake->queueStatus = FT_IO_ERROR;
    char reply[17];
    EXPECT_FALSE(fifo->SendCommandReply("U?", reply, sizeof reply));
    EXPECT_EQ(fake->queueCalls, 1);
}

TEST_F(AckTest, SmallReplyAreaIsNeverOverrun)
{
    fake->QueueAfterPolls(1, "ABCDEFGH\r");
    char reply[6] = {0, 0, 0, 0, 0, 0x55};
    EXPECT_TRUE(fifo->SendCommandReply("U?", reply, 5));
    EXPECT_EQ(reply[5], 0x55);
    EXPECT_EQ(std::string(reply), "ABCD");
}

} // namespace
