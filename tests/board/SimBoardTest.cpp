// The simulated board through the real transport and protocol, on a manual
// clock: identification, configuration, whole runs and the faults it shows.

#include "SimBoard.h"
#include "Ad7177.h"
#include "BoardFactory.h"
#include "RateTable.h"

#include <QObject>

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using namespace mirantos;

namespace {

constexpr double kCodesPerUv = 2147483647.0 / 2500000.0;

// How far each look at the clock moves it during commands: past the
// firmware's answer time and the USB latency, so every answer is there at
// the first look after its command. A smaller step made a command's answer
// take a dozen polls of the transport, each a real millisecond's sleep, and
// on a busy machine those outlasted the real 100 ms wait.
const int64_t kLookStepUs = SimFaults{}.answerDelayUs + SimConfig{}.latencyUs;

class SimTest : public ::testing::Test {
protected:
    void Make(SimFaults faults = {}, uint64_t seed = 1)
    {
        SimConfig cfg;
        cfg.seed = seed;
        cfg.faults = std::move(faults);
        cfg.clock = clock;
        auto d = MakeSimDriver(std::move(cfg));
        sim = d.get();
        adc = std::make_unique<TADC>(&owner, std::move(d));
        clock->SetAutoStepUs(kLookStepUs);
    }

    bool Identify()
    {
        char name[11], version[11];
        return adc->Connect() && adc->CheckBoard() && adc->GetBoardName(name) &&
               std::string(name) == "MIRANTOS" && adc->GetVersion(version);
    }

    bool Configure(bool sinc5, int rate)
    {
        return (sinc5 ? adc->SetSinc5() : adc->SetSinc3()) && adc->SetRate(rate);
    }

    // Polls the way the controller does, moving the clock one block period
    // per poll, until `count` samples came, a poll failed or the board went
    // quiet for `quietPolls` polls. Returns the samples per channel.
    struct Run {
        std::vector<uint32_t> c0, c1;
        bool failed = false;
        int64_t received = 0;
    };
    Run Acquire(int rate, int chSel, int count, bool sinc5 = true, int quietPolls = 50)
    {
        Run r;
        r.c0.resize(static_cast<size_t>(count) + 200);
        r.c1.resize(static_cast<size_t>(count) + 200);
        const int n = kSamplesPerRead(rate);
        const double periodUs = 1e6 / RateSps(rate, sinc5);
        clock->SetAutoStepUs(0);
        int quiet = 0;
        while (r.received < count && quiet < quietPolls) {
            clock->AdvanceUs(static_cast<int64_t>(periodUs * n) + 1);
            int32_t got = 0;
            const size_t at = static_cast<size_t>(r.received);
            const bool ok = chSel == 2 ? adc->ReadData2CH(&r.c0[at], &r.c1[at], n, &got)
                                       : adc->ReadData1CH(&r.c0[at], &got, n);
            r.received += got;
            if (!ok) {
                r.failed = true;
                break;
            }
            quiet = got == 0 ? quiet + 1 : 0;
        }
        r.c0.resize(static_cast<size_t>(r.received));
        r.c1.resize(static_cast<size_t>(r.received));
        clock->SetAutoStepUs(kLookStepUs);
        return r;
    }

    static int kSamplesPerRead(int rate)
    {
        static const int t[] = {1, 1, 1, 1, 1, 1, 1, 2, 4, 5, 10, 20, 50, 100};
        return t[rate];
    }

    // Two passes: the DC level is a million times the noise.
    static void MeanAndSigmaUv(const std::vector<uint32_t>& codes, double* mean, double* sigma)
    {
        auto uv = [](uint32_t c) { return (static_cast<double>(c) - 2147483648.0) / kCodesPerUv; };
        const double n = static_cast<double>(codes.size());
        double s = 0;
        for (uint32_t c : codes)
            s += uv(c);
        *mean = s / n;
        double ss = 0;
        for (uint32_t c : codes)
            ss += (uv(c) - *mean) * (uv(c) - *mean);
        *sigma = std::sqrt(ss / n);
    }

    QObject owner;
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    SimBoardDriver* sim = nullptr;
    std::unique_ptr<TADC> adc;
};

// --- protocol --------------------------------------------------------------

TEST_F(SimTest, IdentifiesAsMirantos)
{
    Make();
    char name[11] = {}, version[11] = {};
    ASSERT_TRUE(adc->Connect());
    EXPECT_TRUE(adc->CheckBoard());
    EXPECT_TRUE(adc->GetBoardName(name));
    EXPECT_STREQ(name, "MIRANTOS");
    EXPECT_TRUE(adc->GetVersion(version));
    EXPECT_STREQ(version, "1.10");
    EXPECT_EQ(sim->Commands(), (std::vector<std::string>{"?", "U?", "V?"}));
    EXPECT_EQ(sim->InTransferSize(), 4096u);
}

TEST_F(SimTest, ConfigurationCommandsAreAcknowledgedAndTakeEffect)
{
    Make();
    ASSERT_TRUE(adc->Connect());
    EXPECT_TRUE(adc->SetSinc3());
    EXPECT_FALSE(sim->Sinc5());
    EXPECT_TRUE(adc->SetRate(13));
    EXPECT_EQ(sim->RateIndex(), 13);
    EXPECT_TRUE(adc->SetSinc5());
    EXPECT_TRUE(sim->Sinc5());
    EXPECT_TRUE(adc->SetRate(10));
    EXPECT_EQ(sim->RateIndex(), 10);
}

TEST_F(SimTest, AnythingElseIsAnsweredNg)
{
    Make();
    ASSERT_TRUE(adc->Connect());
    for (const char* bad : {"S4", "FE", "Fa", "X", "", "A3000FF", "A1000fF", "U", "?!"}) {
        char reply[32];
        adc->SetTimeOut(100);
        ASSERT_TRUE(adc->Purge());
        EXPECT_TRUE(adc->SendCommandReply(bad, reply, sizeof reply)) << bad;
        EXPECT_STREQ(reply, "NG") << bad;
    }
}

TEST_F(SimTest, DefaultFactoryBoardAnswersInRealTime)
{
    TADC realTime(&owner, MakeSimDriver(7));
    char name[11];
    ASSERT_TRUE(realTime.Connect());
    EXPECT_TRUE(realTime.CheckBoard());
    EXPECT_TRUE(realTime.GetBoardName(name));
    EXPECT_STREQ(name, "MIRANTOS");
}

// --- runs --------------------------------------------------------------------

struct RunCase {
    int rate;
    int chSel;
    int count;
    bool sinc5;
};

class SimRunTest : public SimTest, public ::testing::WithParamInterface<RunCase> {};

TEST_P(SimRunTest, WholeRunArrivesWithTheBoardsSignal)
{
    const RunCase c = GetParam();
    Make();
    ASSERT_TRUE(Identify());
    ASSERT_TRUE(Configure(c.sinc5, c.rate));
    ASSERT_TRUE(adc->StartConversion(c.chSel, c.count));
    const Run r = Acquire(c.rate, c.chSel, c.count, c.sinc5);
    ASSERT_FALSE(r.failed);
    ASSERT_EQ(r.received, c.count);

    const double rms = SimNoiseRmsUv(RateSps(c.rate, c.sinc5), c.sinc5);
    auto check = [&](const std::vector<uint32_t>& codes, double dcUv) {
        double mean = 0, sigma = 0;
        MeanAndSigmaUv(codes, &mean, &sigma);
        EXPECT_NEAR(mean, dcUv, 5 * rms / std::sqrt(c.count) + 0.01);
        EXPECT_NEAR(sigma, rms, 0.15 * rms + 0.002);
    };
    if (c.chSel == 2) {
        check(r.c0, 1200000.0);
        check(r.c1, -350000.0);
    } else {
        check(r.c0, c.chSel == 0 ? 1200000.0 : -350000.0);
    }

    // The board stops after the requested count: nothing more arrives.
    clock->AdvanceSeconds(5);
    uint32_t extra[200];
    int32_t got = -1;
    EXPECT_TRUE(adc->ReadData1CH(extra, &got, 1));
    EXPECT_EQ(got, 0);
}

INSTANTIATE_TEST_SUITE_P(Rates, SimRunTest,
                         ::testing::Values(RunCase{0, 0, 10000, true}, RunCase{2, 1, 500, false},
                                           RunCase{8, 2, 1000, true}, RunCase{10, 1, 2000, false},
                                           RunCase{13, 2, 10000, true},
                                           RunCase{13, 0, 10000, false}));

TEST_F(SimTest, RecordsAppearAtTheRateAndLeaveInUsbPackets)
{
    Make();
    ASSERT_TRUE(adc->Connect());
    ASSERT_TRUE(Configure(true, 13)); // 10 000 sps
    clock->SetAutoStepUs(0);
    const int64_t t0 = clock->PeekUs();
    ASSERT_TRUE(adc->StartConversion(2, 1000));
    uint32_t queued = 99;
    clock->SetUs(t0 + 999);
    sim->GetQueueStatus(sim, &queued);
    EXPECT_EQ(queued, 124u); // 9 records (153 bytes) make two full 62-byte packets
    clock->SetUs(t0 + 1000);
    sim->GetQueueStatus(sim, &queued);
    EXPECT_EQ(queued, 124u); // the 10th record still waits for its packet
    clock->SetUs(t0 + 1240);
    sim->GetQueueStatus(sim, &queued);
    EXPECT_EQ(queued, 186u); // 12 records: 204 bytes, three full packets
}

TEST_F(SimTest, SlowRateRecordComesAfterItsPeriodPlusLatency)
{
    Make();
    ASSERT_TRUE(adc->Connect());
    ASSERT_TRUE(Configure(true, 0)); // 5 sps
    clock->SetAutoStepUs(0);
    const int64_t t0 = clock->PeekUs();
    ASSERT_TRUE(adc->StartConversion(0, 100));
    uint32_t codes[1];
    int32_t got = -1;
    clock->SetUs(t0 + 199999);
    EXPECT_TRUE(adc->ReadData1CH(codes, &got, 1));
    EXPECT_EQ(got, 0);
    // Produced, but a 9-byte record waits in a partly filled packet.
    clock->SetUs(t0 + 200000 + SimConfig{}.latencyUs - 1);
    EXPECT_TRUE(adc->ReadData1CH(codes, &got, 1));
    EXPECT_EQ(got, 0);
    clock->SetUs(t0 + 200000 + SimConfig{}.latencyUs);
    EXPECT_TRUE(adc->ReadData1CH(codes, &got, 1));
    EXPECT_EQ(got, 1);
}

TEST_F(SimTest, StopEndsTheStream)
{
    Make();
    ASSERT_TRUE(adc->Connect());
    ASSERT_TRUE(Configure(true, 10));
    clock->SetAutoStepUs(0); // the run's time is only what the test gives it
    ASSERT_TRUE(adc->StartConversion(0, 10000));
    clock->AdvanceUs(50000);
    ASSERT_TRUE(adc->StopConversion());
    clock->AdvanceSeconds(2);
    uint32_t q = 0;
    sim->GetQueueStatus(sim, &q);
    EXPECT_LE(q, 51u * 9);
    EXPECT_EQ(q % 9, 0u);
    EXPECT_EQ(sim->Commands().back(), "AX");
}

TEST_F(SimTest, SameSeedSameSamplesOtherSeedOtherSamples)
{
    auto runWith = [this](uint64_t seed) {
        Make({}, seed);
        EXPECT_TRUE(adc->Connect());
        EXPECT_TRUE(Configure(true, 12));
        EXPECT_TRUE(adc->StartConversion(2, 500));
        return Acquire(12, 2, 500);
    };
    const Run a = runWith(3);
    const Run b = runWith(3);
    const Run c = runWith(4);
    EXPECT_EQ(a.c0, b.c0);
    EXPECT_EQ(a.c1, b.c1);
    EXPECT_NE(a.c0, c.c0);
}

TEST_F(SimTest, PickupAddsA50HzSwing)
{
    SimConfig cfg;
    cfg.clock = clock;
    cfg.pickup50HzUv = 100.0;
    auto d = MakeSimDriver(std::move(cfg));
    adc = std::make_unique<TADC>(&owner, std::move(d));
    clock->SetAutoStepUs(kLookStepUs);
    ASSERT_TRUE(adc->Connect());
    ASSERT_TRUE(Configure(true, 10));
    ASSERT_TRUE(adc->StartConversion(0, 1000));
    const Run r = Acquire(10, 0, 1000);
    double mean = 0, sigma = 0;
    MeanAndSigmaUv(r.c0, &mean, &sigma);
    EXPECT_NEAR(sigma, 100.0 / std::sqrt(2.0), 5.0);
}

TEST(SimNoise, FollowsTheConvertersNoiseTable)
{
    EXPECT_NEAR(SimNoiseRmsUv(10000, true), 2.7, 1e-9);
    EXPECT_NEAR(SimNoiseRmsUv(2500, true), 1.26, 1e-9);
    EXPECT_NEAR(SimNoiseRmsUv(5, true), 0.06, 1e-9);
    EXPECT_NEAR(SimNoiseRmsUv(1000, true) / SimNoiseRmsUv(250, true), 2.0, 0.1);
    EXPECT_NEAR(SimNoiseRmsUv(1000, false), 0.75 * SimNoiseRmsUv(1000, true), 1e-12);
}

// --- faults ------------------------------------------------------------------

TEST_F(SimTest, AbsentBoardCannotBeConnected)
{
    SimFaults f;
    f.absent = true;
    Make(f);
    EXPECT_FALSE(adc->Connect());
    EXPECT_FALSE(adc->IsOpen());
}

TEST_F(SimTest, MuteBoardNeverAnswers)
{
    SimFaults f;
    f.mute = true;
    Make(f);
    ASSERT_TRUE(adc->Connect());
    EXPECT_FALSE(adc->CheckBoard());
    char name[11];
    EXPECT_FALSE(adc->GetBoardName(name));
    EXPECT_EQ(sim->Commands().size(), 2u); // it did receive them
}

TEST_F(SimTest, ChosenCommandIsRefused)
{
    SimFaults f;
    f.ngCommand = "S5";
    Make(f);
    ASSERT_TRUE(Identify());
    EXPECT_TRUE(adc->SetSinc3());
    EXPECT_FALSE(adc->SetSinc5());
}

TEST_F(SimTest, WrongBoardName)
{
    SimConfig cfg;
    cfg.clock = clock;
    cfg.boardName = "OTHERBOARD1";
    adc = std::make_unique<TADC>(&owner, MakeSimDriver(std::move(cfg)));
    clock->SetAutoStepUs(kLookStepUs);
    ASSERT_TRUE(adc->Connect());
    char name[11];
    EXPECT_TRUE(adc->GetBoardName(name));
    EXPECT_STREQ(name, "OTHERBOARD");
}

TEST_F(SimTest, RefusedVersion)
{
    SimFaults f;
    f.refuseVersion = true;
    Make(f);
    ASSERT_TRUE(adc->Connect());
    EXPECT_TRUE(adc->CheckBoard());
    char version[11];
    EXPECT_FALSE(adc->GetVersion(version));
}

TEST_F(SimTest, AnswerSlowerThanTheWaitIsMissed)
{
    SimFaults f;
    // Far beyond what the 100 ms wait can see on this clock: each of its
    // polls sleeps a real millisecond and looks once, so it sees at most
    // about 100 looks' worth of simulated time.
    f.answerDelayUs = 5000000;
    Make(f);
    ASSERT_TRUE(adc->Connect());
    EXPECT_FALSE(adc->CheckBoard());
}

TEST_F(SimTest, RecordWithoutCrFailsThePollThatHoldsIt)
{
    SimFaults f;
    f.missingCrAtSample = 25;
    Make(f);
    ASSERT_TRUE(adc->Connect());
    ASSERT_TRUE(Configure(true, 11)); // 20 records per poll
    ASSERT_TRUE(adc->StartConversion(1, 100));
    const Run r = Acquire(11, 1, 100);
    EXPECT_TRUE(r.failed);
    EXPECT_EQ(r.received, 25);
}

TEST_F(SimTest, UnpluggedBoardFailsReadsAndCannotBeReopened)
{
    SimFaults f;
    f.unplugAtSample = 30;
    Make(f);
    ASSERT_TRUE(Identify());
    ASSERT_TRUE(Configure(true, 6));
    ASSERT_TRUE(adc->StartConversion(2, 1000));
    const Run r = Acquire(6, 2, 1000);
    EXPECT_TRUE(r.failed);
    EXPECT_LE(r.received, 30);
    EXPECT_TRUE(sim->Unplugged());
    EXPECT_FALSE(adc->StopConversion());
    adc->Disconnect();
    EXPECT_FALSE(adc->IsOpen());
    EXPECT_FALSE(adc->Connect());
}

TEST_F(SimTest, PurgeFailureAtOpen)
{
    SimFaults f;
    f.failPurgeFrom = 1;
    Make(f);
    EXPECT_FALSE(adc->Connect());
    EXPECT_FALSE(adc->IsOpen());
}

TEST_F(SimTest, PurgeFailureLaterClosesTheLink)
{
    SimFaults f;
    f.failPurgeFrom = 3; // the two purges of Connect pass
    Make(f);
    ASSERT_TRUE(adc->Connect());
    EXPECT_FALSE(adc->CheckBoard());
    EXPECT_FALSE(adc->IsOpen());
    EXPECT_TRUE(sim->Commands().empty());
}

TEST_F(SimTest, StalledRunDeliversOnlyItsFirstSamples)
{
    SimFaults f;
    f.stallAfterSamples = 40;
    Make(f);
    ASSERT_TRUE(adc->Connect());
    ASSERT_TRUE(Configure(true, 10)); // 10 records per poll
    ASSERT_TRUE(adc->StartConversion(0, 1000));
    const Run r = Acquire(10, 0, 1000);
    EXPECT_FALSE(r.failed);
    EXPECT_EQ(r.received, 40);
    // The board itself still listens.
    EXPECT_TRUE(adc->StopConversion());
    EXPECT_TRUE(adc->CheckBoard());
}

TEST_F(SimTest, PurgeDiscardsWhatWasProduced)
{
    Make();
    ASSERT_TRUE(adc->Connect());
    ASSERT_TRUE(Configure(true, 10));
    ASSERT_TRUE(adc->StartConversion(0, 1000));
    clock->AdvanceUs(100000);
    ASSERT_TRUE(adc->Purge());
    uint32_t q = 1;
    clock->SetAutoStepUs(0);
    sim->GetQueueStatus(sim, &q);
    EXPECT_EQ(q, 0u);
}

} // namespace
