// The real USB path without a board: libftdi1 and libusb drive FTDI chips
// emulated on usbdevfs by umockdev, with the simulated firmware behind them
// running on the real clock.

#include "CaptureFile.h"
#include "Commands.h"
#include "ControllerRig.h"
#include "FtdiUsbDriver.h"
#include "Texts.h"
#include "UsbEmulator.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <functional>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace mirantos::testing {
namespace {

using RunEnd = TMeasureController::RunEnd;
using Clock = std::chrono::steady_clock;

QString Utf(const char* s)
{
    return QString::fromUtf8(s);
}

// Sample codes as the firmware wrote them, parsed independently of the
// program: the records that follow the last start command `command`.
struct FirmwareRun {
    std::vector<uint32_t> ch0;
    std::vector<uint32_t> ch1;
    bool framed = true;
};

FirmwareRun RecordsOfFirmware(const EmulatedFtdi& emu, const std::string& command, int records)
{
    FirmwareRun run;
    size_t pos = std::string::npos;
    for (const auto& c : emu.Commands())
        if (c.text == command)
            pos = c.firmwarePos;
    if (pos == std::string::npos)
        return run;
    const auto log = emu.FirmwareLog();
    const bool dual = command[1] == '2';
    const size_t size = dual ? 17 : 9;
    for (int k = 0; k < records && pos + size <= log.size(); ++k, pos += size) {
        const std::string rec(log.begin() + static_cast<long>(pos),
                              log.begin() + static_cast<long>(pos + size));
        if (rec.back() != '\r')
            run.framed = false;
        const auto a = static_cast<uint32_t>(std::stoul(rec.substr(0, 8), nullptr, 16));
        if (dual) {
            run.ch0.push_back(a);
            run.ch1.push_back(static_cast<uint32_t>(std::stoul(rec.substr(8, 8), nullptr, 16)));
        } else if (command[1] == '0') {
            run.ch0.push_back(a);
        } else {
            run.ch1.push_back(a);
        }
    }
    return run;
}

std::vector<uint32_t> Codes(const TChannelData& ch)
{
    return std::vector<uint32_t>(ch.Code, ch.Code + ch.Count);
}

// Polls the way the window does (about every millisecond) until the run ends
// or `limitSeconds` have passed; `during` runs once per poll.
bool PollUntilIdle(ControllerRig& rig, double limitSeconds,
                   const std::function<void()>& during = {})
{
    const auto end = Clock::now() + std::chrono::duration<double>(limitSeconds);
    while (rig.Measuring() && Clock::now() < end) {
        rig.controller->Poll();
        QCoreApplication::processEvents();
        if (during)
            during();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return !rig.Measuring();
}

bool PollUntilReceived(ControllerRig& rig, int samples, double limitSeconds = 10.0)
{
    const auto end = Clock::now() + std::chrono::duration<double>(limitSeconds);
    while (rig.Measuring() && rig.controller->Received() < samples && Clock::now() < end) {
        rig.controller->Poll();
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return rig.controller->Received() >= samples;
}

class UsbPath : public ::testing::Test {
protected:
    void Start(EmulatorOptions options = {}, const std::string& device = {})
    {
        options.firmware.seed = 77;
        emu = std::make_unique<EmulatedFtdi>(options);
        ASSERT_TRUE(emu->Ready()) << emu->SetupError();
        FtdiDeviceSelector selector;
        ASSERT_TRUE(FtdiDeviceSelector::Parse(device, &selector));
        auto driver = std::make_unique<FtdiUsbDriver>(selector);
        usb = driver.get();
        rig = std::make_unique<ControllerRig>(std::move(driver));
    }
    void TearDown() override
    {
        rig.reset();
        emu.reset();
    }
    void Choose(int rate, int countIndex, int channel)
    {
        rig->host.rate = rate;
        rig->host.count = countIndex;
        rig->host.channel = channel;
    }
    // The run's samples are exactly the firmware's and the chip lost nothing.
    void ExpectExactRun(const std::string& start, int target, int channel)
    {
        const FirmwareRun fw = RecordsOfFirmware(*emu, start, target);
        EXPECT_TRUE(fw.framed);
        if (channel != 1) {
            ASSERT_EQ(static_cast<int>(fw.ch0.size()), target);
            EXPECT_EQ(Codes(rig->record.Ch0), fw.ch0);
        }
        if (channel != 0) {
            ASSERT_EQ(static_cast<int>(fw.ch1.size()), target);
            EXPECT_EQ(Codes(rig->record.Ch1), fw.ch1);
        }
        EXPECT_EQ(emu->DroppedBytes(), droppedBefore);
    }
    std::string LastCommand() const
    {
        const auto cmds = emu->Commands();
        return cmds.empty() ? std::string() : cmds.back().text;
    }

    std::unique_ptr<EmulatedFtdi> emu;
    FtdiUsbDriver* usb = nullptr; // owned by the rig's TADC
    int64_t droppedBefore = 0;
    std::unique_ptr<ControllerRig> rig;
};

struct RunCase {
    ChipKind chip;
    int rate;
    int countIndex;
    int channel;
    int target;
    const char* start;
    const char* device = "";
    int boardInterface = 0;
};

class UsbRun : public UsbPath, public ::testing::WithParamInterface<RunCase> {};

TEST_P(UsbRun, IdentifiesConfiguresAndDeliversEverySampleIntact)
{
    const RunCase c = GetParam();
    EmulatorOptions options;
    options.chip = c.chip;
    options.boardInterface = c.boardInterface;
    Start(options, c.device);
    Choose(c.rate, c.countIndex, c.channel);

    rig->Click();
    ASSERT_TRUE(rig->Measuring()) << rig->panels.panel[0].toStdString() << ": "
                                  << usb->LastErrorText();
    EXPECT_EQ(rig->panels.panel[0], Utf("MIRANTOS / 1.10"));
    ASSERT_TRUE(PollUntilIdle(*rig, 30.0));

    ASSERT_EQ(rig->runs.ends, std::vector<RunEnd>{RunEnd::Completed});
    EXPECT_EQ(rig->panels.panel[1], Utf(text::MeasureEnd));
    EXPECT_TRUE(rig->host.controlsEnabled);

    std::vector<std::string> sent;
    for (const auto& cmd : emu->Commands())
        sent.push_back(cmd.text);
    const char rateDigit = "0123456789ABCD"[c.rate];
    const std::vector<std::string> expected = {
        "?", "U?", "V?", "S5", std::string("F") + rateDigit, c.start};
    EXPECT_EQ(sent, expected);
    ExpectExactRun(c.start, c.target, c.channel);
    EXPECT_EQ(rig->record.fCh0Valid, c.channel != 1 ? 1 : 0);
    EXPECT_EQ(rig->record.fCh1Valid, c.channel != 0 ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    RatesChannelsAndChips, UsbRun,
    ::testing::Values(RunCase{ChipKind::Ft232r, 10, 4, 2, 2000, "A2007D0"},  // 1 ksps
                      RunCase{ChipKind::Ft232r, 13, 6, 2, 10000, "A202710"}, // 10 ksps
                      RunCase{ChipKind::Ft232r, 13, 5, 1, 5000, "A101388"},
                      RunCase{ChipKind::Ft232r, 10, 3, 0, 1000, "A0003E8"},
                      RunCase{ChipKind::Ft232h, 13, 6, 2, 10000, "A202710"},
                      RunCase{ChipKind::Ft232h, 7, 1, 0, 200, "A0000C8"}, // 200 sps
                      RunCase{ChipKind::Ft2232h, 13, 6, 2, 10000, "A202710", "MRT00001:B", 1}));

// The GUI thread is blocked for half a second in the middle of a run; the
// chip's 256-byte FIFO holds 15 ms at 1 ksps and 1.5 ms at 10 ksps.
struct StallCase {
    int rate;
    int countIndex;
    int target;
    const char* start;
};

class UsbGuiStall : public UsbPath, public ::testing::WithParamInterface<StallCase> {};

TEST_P(UsbGuiStall, ABlockedGuiThreadLosesNoRecord)
{
    const StallCase c = GetParam();
    EmulatorOptions options;
    options.initialLatencyMs = 2; // many short transfers: the hardest case for the ring
    Start(options);
    Choose(c.rate, c.countIndex, 2);
    rig->Click();
    ASSERT_TRUE(rig->Measuring()) << usb->LastErrorText();
    ASSERT_TRUE(PollUntilReceived(*rig, c.target / 4));

    std::this_thread::sleep_for(std::chrono::milliseconds(500));

    ASSERT_TRUE(PollUntilIdle(*rig, 30.0));
    ASSERT_EQ(rig->runs.ends, std::vector<RunEnd>{RunEnd::Completed}) << usb->LastErrorText();
    ExpectExactRun(c.start, c.target, 2);
}

INSTANTIATE_TEST_SUITE_P(OneAndTenKsps, UsbGuiStall,
                         ::testing::Values(StallCase{10, 4, 2000, "A2007D0"},
                                           StallCase{13, 6, 10000, "A202710"}));

// A GUI stall longer than the receive queue holds is a reported read error,
// never a silent loss: here a 64 KiB queue and a 1 s stall at 10 ksps.
TEST_F(UsbPath, AReceiveQueueOverflowEndsTheRunWithTheReadError)
{
    emu = std::make_unique<EmulatedFtdi>();
    ASSERT_TRUE(emu->Ready()) << emu->SetupError();
    auto driver = std::make_unique<FtdiUsbDriver>(FtdiDeviceSelector{}, 64 * 1024);
    usb = driver.get();
    rig = std::make_unique<ControllerRig>(std::move(driver));
    Choose(13, 6, 2);
    rig->Click();
    ASSERT_TRUE(PollUntilReceived(*rig, 1000));
    std::this_thread::sleep_for(std::chrono::seconds(1));
    ASSERT_TRUE(PollUntilIdle(*rig, 10.0));

    ASSERT_EQ(rig->runs.ends, std::vector<RunEnd>{RunEnd::ReadError});
    EXPECT_NE(usb->LastErrorText().find("receive queue overflow"), std::string::npos)
        << usb->LastErrorText();
    EXPECT_EQ(emu->DroppedBytes(), 0); // the chip lost nothing: the host refused it
    EXPECT_EQ(LastCommand(), "AX");
}

// Collects a capture's samples.
class VectorSink : public ISampleSink {
public:
    bool Write(const uint32_t* ch0, const uint32_t* ch1, int32_t n) override
    {
        c0.insert(c0.end(), ch0, ch0 + n);
        c1.insert(c1.end(), ch1, ch1 + n);
        return true;
    }
    std::vector<uint32_t> c0, c1;
};

// Records that arrived before a transfer failed are delivered before the
// failure is: a second's worth queued while nobody polled, then a transfer
// that had received half its bytes fails; its whole records are delivered
// too, only what came after it is lost, and what follows the gap is never
// appended behind it. The reason names what the bus reported.
TEST_F(UsbPath, EveryRecordThatArrivedBeforeAFailureIsDeliveredFirst)
{
    for (const auto& [err, reason] : {std::pair{EPROTO, "EPROTO"}, std::pair{ETIME, "ETIME"}}) {
        SCOPED_TRACE(reason);
        rig.reset();
        emu.reset();
        Start();
        Choose(13, 6, 2);
        VectorSink sink;
        rig->session->StartCapture(&sink, 100000);
        ASSERT_TRUE(PollUntilReceived(*rig, 2000)) << usb->LastErrorText();
        std::this_thread::sleep_for(std::chrono::seconds(1));
        emu->FailNextInUrb(err, 2048);
        ASSERT_TRUE(PollUntilIdle(*rig, 10.0));

        ASSERT_EQ(rig->runs.ends, std::vector<RunEnd>{RunEnd::ReadError});
        EXPECT_NE(rig->controller->ReadFailure().find(reason), std::string::npos)
            << rig->controller->ReadFailure();
        size_t runStart = 0;
        for (const auto& c : emu->Commands())
            if (c.text == "A2186A0")
                runStart = c.inLogPos;
        ASSERT_GE(emu->InLogPosAfterLastFailedUrb(), emu->InLogPosOfLastFailedUrb() + 2048 - 64);
        EXPECT_EQ(sink.c0.size(), (emu->InLogPosAfterLastFailedUrb() - runStart) / 17);
        const FirmwareRun fw = RecordsOfFirmware(*emu, "A2186A0", static_cast<int>(sink.c0.size()));
        EXPECT_TRUE(sink.c0 == fw.ch0);
        EXPECT_TRUE(sink.c1 == fw.ch1);
    }
}

// A failure of the bulk-IN pipe in the middle of a 10 ksps run.
struct FaultCase {
    const char* name;
    std::function<void(EmulatedFtdi&)> inject;
    const char* reason; // part of the backend's error text
};

class UsbInFault : public UsbPath, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(UsbInFault, EndsTheRunWithTheReadErrorAndTheNextRunStartsCleanly)
{
    const FaultCase& c = GetParam();
    Start();
    Choose(13, 6, 2);
    rig->Click();
    ASSERT_TRUE(PollUntilReceived(*rig, 2000)) << usb->LastErrorText();
    c.inject(*emu);
    ASSERT_TRUE(PollUntilIdle(*rig, 10.0));

    ASSERT_EQ(rig->runs.ends, std::vector<RunEnd>{RunEnd::ReadError});
    EXPECT_EQ(rig->panels.panel[2], Utf(text::MeasureError));
    EXPECT_NE(usb->LastErrorText().find(c.reason), std::string::npos) << usb->LastErrorText();
    // The OUT pipe still works, so the board is told to stop.
    EXPECT_EQ(LastCommand(), "AX");
    EXPECT_TRUE(rig->adc->IsOpen());
    EXPECT_TRUE(rig->controller->Connected());

    Choose(13, 4, 2);
    rig->Click();
    ASSERT_TRUE(rig->Measuring()) << usb->LastErrorText();
    ASSERT_TRUE(PollUntilIdle(*rig, 10.0));
    ASSERT_EQ(rig->runs.ends, (std::vector<RunEnd>{RunEnd::ReadError, RunEnd::Completed}))
        << usb->LastErrorText();
    const FirmwareRun fw = RecordsOfFirmware(*emu, "A2007D0", 2000);
    EXPECT_EQ(Codes(rig->record.Ch0), fw.ch0);
    EXPECT_EQ(Codes(rig->record.Ch1), fw.ch1);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, UsbInFault,
    ::testing::Values(
        FaultCase{"Eproto", [](EmulatedFtdi& e) { e.FailNextInUrb(EPROTO); }, "EPROTO"},
        FaultCase{"Eilseq", [](EmulatedFtdi& e) { e.FailNextInUrb(EILSEQ); }, "EILSEQ"},
        FaultCase{"Overflow", [](EmulatedFtdi& e) { e.FailNextInUrb(EOVERFLOW); }, "overflow"},
        FaultCase{"StallHeldUntilCleared", [](EmulatedFtdi& e) { e.FailNextInUrb(EPIPE); },
                  "stalled"},
        FaultCase{"NoMemoryOnResubmit", [](EmulatedFtdi& e) { e.RefuseNextInSubmit(ENOMEM); },
                  "LIBUSB_ERROR_NO_MEM"},
        // Half a second of event-loop errors is a failure, not a silent stop.
        FaultCase{"EventLoopKeepsFailing", [](EmulatedFtdi& e) { e.FailReaps(EIO, 50); },
                  "event handling keeps failing: LIBUSB_ERROR_IO"}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

// A halted bulk-IN endpoint stays halted (across a release and a close, too)
// until the host clears it.
struct HaltCase {
    const char* name;
    bool startHalted;      // left so by an earlier session
    bool stallMidRunFirst; // a run ends on a stall; a fresh driver opens the chip again
    bool stallInPurge;     // the stall lands while a purge runs
};

class UsbHalt : public UsbPath, public ::testing::WithParamInterface<HaltCase> {};

TEST_P(UsbHalt, IsClearedAndTheRunCompletes)
{
    const HaltCase& c = GetParam();
    EmulatorOptions options;
    options.startHalted = c.startHalted;
    Start(options);
    if (c.stallMidRunFirst) {
        Choose(13, 4, 2);
        rig->Click();
        ASSERT_TRUE(PollUntilReceived(*rig, 500));
        emu->FailNextInUrb(EPIPE);
        ASSERT_TRUE(PollUntilIdle(*rig, 10.0));
        ASSERT_EQ(rig->runs.ends, std::vector<RunEnd>{RunEnd::ReadError});
        rig.reset(); // the program is started again: a fresh driver on the same chip
        auto driver = std::make_unique<FtdiUsbDriver>();
        usb = driver.get();
        rig = std::make_unique<ControllerRig>(std::move(driver));
    }
    if (c.startHalted) {
        // The IN pipe works straight after the open, before any purge.
        FT_HANDLE h = nullptr;
        ASSERT_EQ(usb->Open(0, &h), FT_OK) << usb->LastErrorText();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        uint32_t queued = 0;
        EXPECT_EQ(usb->GetQueueStatus(h, &queued), FT_OK) << usb->LastErrorText();
        usb->Close(h);
    }
    const int clearsBefore = emu->ClearHaltRequests();
    if (c.stallInPurge) {
        // On an open link a purge is the last thing before the next command.
        ASSERT_TRUE(rig->adc->Connect());
        emu->StallAtNextTxPurge();
        ASSERT_TRUE(rig->adc->SetSinc5()) << usb->LastErrorText();
        ASSERT_TRUE(rig->adc->SetRate(13)) << usb->LastErrorText(); // no purge before it
    }
    droppedBefore = emu->DroppedBytes(); // nobody read between the runs
    Choose(13, 4, 2);
    rig->Click();
    ASSERT_TRUE(rig->Measuring()) << rig->panels.panel[0].toStdString();
    ASSERT_TRUE(PollUntilIdle(*rig, 10.0));
    ASSERT_EQ(rig->runs.ends.back(), RunEnd::Completed) << usb->LastErrorText();
    EXPECT_GT(emu->ClearHaltRequests(), clearsBefore);
    ExpectExactRun("A2007D0", 2000, 2);
}

INSTANTIATE_TEST_SUITE_P(Halts, UsbHalt,
                         ::testing::Values(HaltCase{"AcrossAReopen", false, true, false},
                                           HaltCase{"FromAnEarlierSession", true, false, false},
                                           HaltCase{"DuringAPurge", false, false, true}),
                         [](const ::testing::TestParamInfo<HaltCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(UsbPath, ATransferThatNeverComesBackLeavesNothingBehindAfterAStop)
{
    Start();
    Choose(13, 6, 2);
    rig->Click();
    ASSERT_TRUE(PollUntilReceived(*rig, 2000));
    emu->WedgeNextInUrb();
    // Nothing more arrives; the user gives up and stops.
    PollUntilIdle(*rig, 0.3);
    ASSERT_TRUE(rig->Measuring());
    const int32_t stuckAt = rig->controller->Received();
    EXPECT_LT(stuckAt, 10000);
    rig->Click();
    ASSERT_FALSE(rig->Measuring());
    EXPECT_FALSE(rig->adc->IsOpen());

    // Each later start opens afresh and runs cleanly, twice.
    for (int round = 0; round < 2; ++round) {
        Choose(13, 4, 2);
        rig->Click();
        ASSERT_TRUE(rig->Measuring()) << usb->LastErrorText();
        ASSERT_TRUE(PollUntilIdle(*rig, 10.0));
        ASSERT_EQ(rig->runs.ends.back(), RunEnd::Completed) << usb->LastErrorText();
        const FirmwareRun fw = RecordsOfFirmware(*emu, "A2007D0", 2000);
        EXPECT_EQ(Codes(rig->record.Ch0), fw.ch0);
        EXPECT_EQ(Codes(rig->record.Ch1), fw.ch1);
    }
}

TEST_F(UsbPath, BytesOfATransferThatComesBackAfterAPurgeAreNeverDelivered)
{
    Start();
    TADC& adc = *rig->adc;
    ASSERT_TRUE(adc.Connect()) << usb->LastErrorText();
    ASSERT_TRUE(adc.SetSinc5());
    ASSERT_TRUE(adc.SetRate(13));
    ASSERT_TRUE(adc.StartConversion(2, 10000));
    std::vector<uint32_t> c0(100), c1(100);
    int blocks = 0;
    for (int i = 0; i < 5000 && blocks < 3; ++i) {
        int32_t got = 0;
        ASSERT_TRUE(adc.ReadData2CH(c0.data(), c1.data(), 100, &got));
        blocks += got == 100;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(blocks, 3);

    // A transfer holding pre-purge bytes cannot be cancelled ...
    emu->WedgeNextInUrb();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(adc.StopConversion());
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(adc.Purge());
    // ... and comes back only after the purge, with those bytes.
    emu->ReleaseWedgedUrb();
    ASSERT_TRUE(adc.StartConversion(2, 1000));

    std::vector<uint32_t> got0, got1;
    for (int i = 0; i < 10000 && got0.size() < 1000; ++i) {
        int32_t got = 0;
        ASSERT_TRUE(adc.ReadData2CH(c0.data(), c1.data(), 100, &got)) << "after " << got0.size();
        got0.insert(got0.end(), c0.begin(), c0.begin() + got);
        got1.insert(got1.end(), c1.begin(), c1.begin() + got);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const FirmwareRun fw = RecordsOfFirmware(*emu, "A2003E8", 1000);
    ASSERT_EQ(got0.size(), 1000u);
    EXPECT_EQ(got0, fw.ch0);
    EXPECT_EQ(got1, fw.ch1);
}

// A purge empties the chip's FIFO at whatever byte the firmware is writing,
// and the firmware goes on. What arrives afterwards is exactly what the
// firmware wrote after the purge took effect, less what the chip's FIFO had
// no room for while the new transfers were being queued: nothing older.
TEST_F(UsbPath, APurgeMidStreamDeliversOnlyWhatTheFirmwareWroteAfterIt)
{
    EmulatorOptions options;
    options.firmwareByteUs = 5; // a record takes 85 us of the 100 us period: purges cut records
    Start(options);
    TADC& adc = *rig->adc;
    ASSERT_TRUE(adc.Connect());
    ASSERT_TRUE(adc.SetSinc5());
    ASSERT_TRUE(adc.SetRate(13));
    ASSERT_TRUE(adc.StartConversion(2, 10000));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));

    ASSERT_TRUE(adc.Purge());
    const size_t purgedAt = emu->FirmwarePosAtLastPurge();

    std::vector<uint8_t> after;
    uint8_t chunk[4096];
    for (int i = 0; i < 5000 && after.size() < 20000; ++i) {
        uint32_t got = 0;
        ASSERT_TRUE(adc.ReadQueued(chunk, sizeof chunk, &got));
        after.insert(after.end(), chunk, chunk + got);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_GE(after.size(), 20000u);

    const auto log = emu->FirmwareLog();
    const auto droppedList = emu->DroppedPositions();
    const std::set<size_t> dropped(droppedList.begin(), droppedList.end());
    std::vector<uint8_t> expected;
    for (size_t pos = purgedAt; pos < log.size() && expected.size() < after.size(); ++pos)
        if (dropped.count(pos) == 0)
            expected.push_back(log[pos]);
    ASSERT_EQ(expected.size(), after.size());
    const auto diverges = std::mismatch(after.begin(), after.end(), expected.begin());
    EXPECT_EQ(diverges.first, after.end())
        << "first difference at byte " << (diverges.first - after.begin()) << " of "
        << after.size();
    // Whatever the FIFO lost went right after the purge, before the ring was up.
    const auto lateLoss = std::find_if(droppedList.begin(), droppedList.end(),
                                       [&](size_t p) { return p >= purgedAt + 20000; });
    EXPECT_EQ(lateLoss, droppedList.end());
}

// The window was closed in the middle of a long run (no stop goes to the
// board then) and opened again while the board still streams. The purges of
// the new connection cut a record; the tail of that record, not "OK", is the
// first thing to come back, so the first start reports no response. The
// board has stopped on that "?", and the next start runs cleanly.
TEST_F(UsbPath, ReconnectingToABoardThatStillStreamsFailsOnceThenRuns)
{
    EmulatorOptions options;
    options.firmwareByteUs = 58; // a 17-byte record takes 986 us of the 1 ms period
    Start(options);
    Choose(10, 6, 2); // 1 ksps, 10000 pairs: ten seconds
    rig->Click();
    ASSERT_TRUE(PollUntilReceived(*rig, 300));
    rig.reset(); // window closed: purge and close, the board keeps going

    rig = std::make_unique<ControllerRig>(std::make_unique<FtdiUsbDriver>());
    Choose(10, 3, 2);
    rig->Click();
    EXPECT_FALSE(rig->Measuring());
    EXPECT_EQ(rig->presenter.shown, QStringList{rig->message->NoResponseText()});
    EXPECT_EQ(rig->panels.panel[0], Utf(text::BoardName) + Utf(text::StatusNoResponseSuffix));

    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    // While no program read, the chip's FIFO overflowed; not so from now on.
    droppedBefore = emu->DroppedBytes();
    rig->Click();
    ASSERT_TRUE(rig->Measuring());
    ASSERT_TRUE(PollUntilIdle(*rig, 10.0));
    ASSERT_EQ(rig->runs.ends, std::vector<RunEnd>{RunEnd::Completed});
    ExpectExactRun("A2003E8", 1000, 2);
}

TEST_F(UsbPath, AChipLeftInMpsseModeIsResetToItsFifoMode)
{
    EmulatorOptions options;
    options.chip = ChipKind::Ft232h;
    options.startInMpsse = true;
    Start(options);
    Choose(10, 3, 0);
    rig->Click();
    ASSERT_TRUE(rig->Measuring()) << rig->panels.panel[0].toStdString();
    EXPECT_GE(emu->BitmodeResets(), 1);
    ASSERT_TRUE(PollUntilIdle(*rig, 10.0));
    ASSERT_EQ(rig->runs.ends, std::vector<RunEnd>{RunEnd::Completed});
    ExpectExactRun("A0003E8", 1000, 0);
}

TEST_F(UsbPath, ASilentFtdiDeviceListedFirstIsSkippedForTheBoardsProductString)
{
    EmulatorOptions options;
    options.silentDeviceFirst = true;
    Start(options);
    Choose(13, 3, 2);
    rig->Click();
    ASSERT_TRUE(rig->Measuring()) << usb->LastErrorText();
    ASSERT_TRUE(PollUntilIdle(*rig, 10.0));
    ASSERT_EQ(rig->runs.ends, std::vector<RunEnd>{RunEnd::Completed});
    EXPECT_EQ(emu->SilentClaimCount(), 0);
}

TEST_F(UsbPath, WithoutTheProductStringTheFirstFtdiDeviceIsTakenUnlessOneIsPinned)
{
    EmulatorOptions options;
    options.silentDeviceFirst = true;
    options.product = "FT245R USB FIFO"; // a board whose chip was never programmed
    Start(options);
    rig->Click();
    EXPECT_FALSE(rig->Measuring());
    EXPECT_EQ(rig->presenter.shown, QStringList{rig->message->NoResponseText()});
    EXPECT_GE(emu->SilentClaimCount(), 1);
    EXPECT_EQ(emu->ClaimCount(), 0);

    // Pinned by serial number, the board is found behind the silent device.
    rig.reset();
    FtdiDeviceSelector pinned;
    ASSERT_TRUE(FtdiDeviceSelector::Parse("MRT00001", &pinned));
    rig = std::make_unique<ControllerRig>(std::make_unique<FtdiUsbDriver>(pinned));
    Choose(13, 3, 2);
    rig->Click();
    ASSERT_TRUE(rig->Measuring());
    ASSERT_TRUE(PollUntilIdle(*rig, 10.0));
    ASSERT_EQ(rig->runs.ends, std::vector<RunEnd>{RunEnd::Completed});
    EXPECT_GE(emu->ClaimCount(), 1);
}

// Which device is the board, opened by the driver alone.
struct ChoiceCase {
    const char* name;
    const char* selector = "";
    ChipKind chip = ChipKind::Ft232r;
    const char* serial = "MRT00001"; // the board's; "" for none
    bool stringsReadable = true;
    bool openDenied = false;
    std::vector<OtherDevice> others = {}; // listed before the board
    FT_STATUS expected = FT_OK;
    const char* reason = "";             // part of LastErrorText on failure
    std::vector<const char*> shown = {}; // parts of the second line the user reads
};

class UsbDeviceChoice : public ::testing::TestWithParam<ChoiceCase> {};

// This thread opens files as a user without a udev rule would, even as root.
class WithoutFileOverride {
public:
    WithoutFileOverride()
    {
        syscall(SYS_capget, &header_, saved_);
        __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        syscall(SYS_capset, &header_, reduced);
    }
    ~WithoutFileOverride() { syscall(SYS_capset, &header_, saved_); }
    WithoutFileOverride(const WithoutFileOverride&) = delete;
    WithoutFileOverride& operator=(const WithoutFileOverride&) = delete;

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2] = {};
};

TEST_P(UsbDeviceChoice, OpensTheBoardOrSaysWhyNot)
{
    const ChoiceCase& c = GetParam();
    EmulatorOptions options;
    options.chip = c.chip;
    options.serial = c.serial;
    options.stringsReadable = c.stringsReadable;
    options.openDenied = c.openDenied;
    options.others = c.others;
    EmulatedFtdi emu(options);
    ASSERT_TRUE(emu.Ready()) << emu.SetupError();
    FtdiDeviceSelector selector;
    ASSERT_TRUE(FtdiDeviceSelector::Parse(c.selector, &selector));
    FtdiUsbDriver driver(selector);
    FT_HANDLE handle = nullptr;
    FT_STATUS opened = FT_OTHER_ERROR;
    {
        std::optional<WithoutFileOverride> user;
        if (c.openDenied)
            user.emplace();
        opened = driver.Open(0, &handle);
    }

    ASSERT_EQ(opened, c.expected) << driver.LastErrorText();
    if (c.expected == FT_OK) {
        EXPECT_GE(emu.ClaimCount(), 1);
        // What a test result records of the board: serial, interface, product string.
        const bool named = c.stringsReadable && *c.serial;
        EXPECT_EQ(driver.Identity(), (named ? c.serial : "(no serial number)") + std::string(":") +
                                         (selector.interfaceIndex ? "B" : "A") +
                                         (c.stringsReadable ? " \"MIRANTOS Board\"" : ""));
        EXPECT_EQ(driver.Close(handle), FT_OK);
    } else {
        EXPECT_NE(driver.LastErrorText().find(c.reason), std::string::npos)
            << driver.LastErrorText();
        EXPECT_EQ(emu.ClaimCount(), 0); // refused before claiming anything
    }
    EXPECT_EQ(emu.SilentClaimCount(), 0);
    if (c.expected == FT_OK)
        return;

    // What the user reads on the same chip: the window's box (its fixed text,
    // then why) and the board panel, and measure's stderr and exit status.
    std::optional<WithoutFileOverride> user;
    if (c.openDenied)
        user.emplace();
    ControllerRig rig(std::make_unique<FtdiUsbDriver>(selector));
    rig.Click();
    ASSERT_EQ(rig.presenter.shown.size(), 1);
    const QStringList box = rig.presenter.shown[0].split(QLatin1Char('\n'));
    ASSERT_EQ(box.size(), 2) << rig.presenter.shown[0].toStdString();
    EXPECT_EQ(box[0], Utf("MIRANTOS が見つかりませんでした"));
    EXPECT_EQ(rig.panels.panel[0], Utf(text::BoardName) + Utf(text::StatusNotFoundSuffix));
    for (const char* part : c.shown) {
        EXPECT_TRUE(box[1].contains(Utf(part))) << part << " in " << box[1].toStdString();
    }
    std::ostringstream out, err;
    cli::MeasureEnv env;
    env.makeDriver = [&](cli::BoardKind, uint64_t) {
        return std::make_unique<FtdiUsbDriver>(selector);
    };
    EXPECT_EQ(cli::Measure({"--rate", "1ksps", "--count", "100"}, {out, err}, env),
              cli::kExitBoard);
    EXPECT_EQ(err.str(), "MIRANTOS が見つかりませんでした\n" + box[1].toStdString() + "\n");
}

const OtherDevice kCable{"FT232R USB UART", "FTSILENT1"};
const OtherDevice kSecondBoard{"MIRANTOS Board", "MRT00002"};

INSTANTIATE_TEST_SUITE_P(
    Devices, UsbDeviceChoice,
    ::testing::Values(
        ChoiceCase{.name = "NoSerialStringFoundByProduct", .serial = "", .others = {kCable}},
        ChoiceCase{.name = "UnreadableStringsLastResort", .stringsReadable = false},
        ChoiceCase{.name = "TwoBoardsRefused",
                   .others = {kSecondBoard},
                   .expected = FT_DEVICE_NOT_FOUND,
                   .reason = "\"MRT00002\", \"MRT00001\"",
                   .shown = {"several boards", "MRT00001", "MRT00002"}},
        ChoiceCase{.name = "TwoBoardsOnePinned", .selector = "MRT00001", .others = {kSecondBoard}},
        ChoiceCase{.name = "DuplicateSerialRefused",
                   .selector = "MRT00001",
                   .others = {{"MIRANTOS Board", "MRT00001"}},
                   .expected = FT_DEVICE_NOT_FOUND,
                   .reason = "several FTDI devices have the serial number \"MRT00001\"",
                   .shown = {"MRT00001"}},
        ChoiceCase{.name = "PinnedSerialAbsent",
                   .selector = "NOSUCH01",
                   .others = {kCable},
                   .expected = FT_DEVICE_NOT_FOUND,
                   .reason = "NOSUCH01",
                   .shown = {"NOSUCH01"}},
        ChoiceCase{.name = "InterfaceBOfASingleChip",
                   .selector = "MRT00001:B",
                   .expected = FT_DEVICE_NOT_FOUND,
                   .reason = "this chip has no interface B",
                   .shown = {"MRT00001", "this chip has no interface B"}},
        ChoiceCase{
            .name = "InterfaceBOfADualChip", .selector = "MRT00001:B", .chip = ChipKind::Ft2232h},
        ChoiceCase{
            .name = "PinnedBoardClosedToThisUser",
            .selector = "MRT00001",
            .openDenied = true,
            .expected = FT_DEVICE_NOT_OPENED,
            .reason = "lack of permission",
            .shown = {"MRT00001", "could not be opened", "60-mirantos-ftdi.rules", "udevadm"}},
        ChoiceCase{
            .name = "OnlyDeviceClosedToThisUser",
            .openDenied = true,
            .expected = FT_DEVICE_NOT_OPENED,
            .reason = "60-mirantos-ftdi.rules",
            .shown = {"found but could not be opened", "60-mirantos-ftdi.rules", "udevadm"}}),
    [](const ::testing::TestParamInfo<ChoiceCase>& info) { return std::string(info.param.name); });

// A capture's blocks go to its file as they are read.
class WriterSink : public ISampleSink {
public:
    explicit WriterSink(TCaptureWriter& writer) : writer_(writer) {}
    bool Write(const uint32_t* ch0, const uint32_t* ch1, int32_t n) override
    {
        return writer_.Write(ch0, ch1, n);
    }

private:
    TCaptureWriter& writer_;
};

TEST_F(UsbPath, ACaptureOfAHundredThousandTwoChannelSamplesAt10kspsIsIntactInItsFile)
{
    Start();
    Choose(13, 6, 2);
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("usb.csv")).toStdString();
    TCaptureWriter writer;
    ASSERT_TRUE(writer.Open(path, false));
    TCaptureInfo info;
    info.rateIndex = 13;
    info.rateSps = 10000;
    info.chSel = 2;
    ASSERT_TRUE(writer.Begin(info));
    WriterSink sink(writer);

    rig->session->StartCapture(&sink, 100000);
    ASSERT_TRUE(rig->Measuring()) << usb->LastErrorText();
    ASSERT_TRUE(PollUntilIdle(*rig, 60.0));
    ASSERT_EQ(rig->runs.ends, std::vector<RunEnd>{RunEnd::Completed});
    ASSERT_TRUE(writer.Finish(TCaptureEnd::Complete));
    EXPECT_EQ(LastCommand(), "A2186A0");

    TCaptureData data;
    std::vector<std::string> warnings;
    std::string error;
    ASSERT_TRUE(ReadCapture(path, data, warnings, error)) << error;
    const FirmwareRun fw = RecordsOfFirmware(*emu, "A2186A0", 100000);
    EXPECT_TRUE(fw.framed);
    ASSERT_EQ(fw.ch0.size(), 100000u);
    EXPECT_TRUE(data.ch0 == fw.ch0);
    EXPECT_TRUE(data.ch1 == fw.ch1);
    EXPECT_EQ(data.end, "complete, samples=100000");
    EXPECT_EQ(emu->DroppedBytes(), 0);
    // The record and its data set are not the capture's.
    EXPECT_EQ(rig->record.fCh0Valid, 0);
    EXPECT_EQ(rig->record.Ch0.Count, 0);
}

TEST_F(UsbPath, ASecondRunOnTheOpenLinkSkipsIdentificationAndStaysIntact)
{
    Start();
    Choose(13, 4, 2);
    rig->Click();
    ASSERT_TRUE(PollUntilIdle(*rig, 10.0));
    rig->Click();
    ASSERT_TRUE(PollUntilIdle(*rig, 10.0));

    ASSERT_EQ(rig->runs.ends, (std::vector<RunEnd>{RunEnd::Completed, RunEnd::Completed}));
    int identifications = 0;
    for (const auto& cmd : emu->Commands())
        identifications += cmd.text == "U?";
    EXPECT_EQ(identifications, 1);
    ExpectExactRun("A2007D0", 2000, 2);
}

TEST_F(UsbPath, AStopMidRunThenANewRunGetsOnlyTheNewRunsSamples)
{
    Start();
    Choose(13, 6, 2);
    rig->Click();
    ASSERT_TRUE(PollUntilReceived(*rig, 3000));
    rig->Click(); // stop: "AX", purge, close
    ASSERT_FALSE(rig->Measuring());
    EXPECT_EQ(rig->panels.panel[1], Utf(text::MeasureAbort));

    Choose(13, 4, 2);
    rig->Click(); // reconnects, identifies, starts 2000
    ASSERT_TRUE(rig->Measuring());
    ASSERT_TRUE(PollUntilIdle(*rig, 10.0));
    ASSERT_EQ(rig->runs.ends, (std::vector<RunEnd>{RunEnd::Stopped, RunEnd::Completed}));
    ExpectExactRun("A2007D0", 2000, 2);
}

TEST_F(UsbPath, TheDeviceVanishingMidRunEndsItWithTheReadErrorSequence)
{
    Start();
    Choose(13, 6, 2);
    rig->Click();
    ASSERT_TRUE(PollUntilReceived(*rig, 2000));

    emu->Vanish();
    ASSERT_TRUE(PollUntilIdle(*rig, 5.0));

    ASSERT_EQ(rig->runs.ends, std::vector<RunEnd>{RunEnd::ReadError});
    EXPECT_NE(usb->LastErrorText().find("disappeared"), std::string::npos);
    EXPECT_EQ(rig->panels.panel[2], Utf(text::MeasureError));
    EXPECT_EQ(rig->host.caption, Utf(kStartCaption));
    EXPECT_TRUE(rig->host.controlsEnabled);
    // What arrived before the device went is kept, as a stop keeps it.
    EXPECT_EQ(rig->record.fCh0Valid, 1);
    EXPECT_GE(rig->record.Ch0.Count, 2000);
    EXPECT_EQ(rig->record.Ch1.Count, rig->record.Ch0.Count);

    // The next start cannot configure the lost device and says so; the one
    // after that cannot find it. Nothing hangs or crashes on the way.
    rig->Click();
    EXPECT_FALSE(rig->Measuring());
    EXPECT_EQ(rig->panels.panel[0], Utf(text::BoardName) + Utf(text::StatusErrorSuffix));
    rig->Click();
    EXPECT_FALSE(rig->Measuring());
    EXPECT_EQ(rig->panels.panel[0], Utf(text::BoardName) + Utf(text::StatusNotFoundSuffix));
    EXPECT_TRUE(rig->host.controlsEnabled);
}

// The board stops streaming mid-run while the chip keeps sending status-only
// packets: the run ends with the read error after the quiet time-out, keeping
// every record that came.
TEST_F(UsbPath, ABoardThatGoesQuietEndsTheRunWithTheReadErrorWithinSeconds)
{
    EmulatorOptions options;
    options.firmware.faults.stallAfterSamples = 3050; // not a whole number of blocks
    Start(options);
    Choose(13, 6, 2);
    const auto started = Clock::now();
    rig->Click();
    ASSERT_TRUE(rig->Measuring()) << usb->LastErrorText();
    ASSERT_TRUE(PollUntilIdle(*rig, 10.0));
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();

    ASSERT_EQ(rig->runs.ends, std::vector<RunEnd>{RunEnd::ReadError});
    EXPECT_NE(rig->controller->ReadFailure().find("stopped sending"), std::string::npos)
        << rig->controller->ReadFailure();
    EXPECT_GE(seconds, TMeasureController::kQuietTimeoutMs / 1000.0);
    EXPECT_LT(seconds, TMeasureController::kQuietTimeoutMs / 1000.0 + 2.0);
    EXPECT_EQ(LastCommand(), "AX");
    const FirmwareRun fw = RecordsOfFirmware(*emu, "A202710", 3050);
    ASSERT_EQ(fw.ch0.size(), 3050u);
    EXPECT_EQ(Codes(rig->record.Ch0), fw.ch0);
    EXPECT_EQ(Codes(rig->record.Ch1), fw.ch1);
}

// A real unplug fails the transfers in flight first; the reason given is
// still that the device is gone, not the cable.
TEST_F(UsbPath, AnUnplugThatFailsTransfersFirstIsReportedAsTheDeviceGone)
{
    for (const int err : {EPROTO, ETIME}) {
        SCOPED_TRACE(err);
        rig.reset();
        emu.reset();
        Start();
        Choose(13, 6, 2);
        rig->Click();
        ASSERT_TRUE(PollUntilReceived(*rig, 2000));
        emu->Vanish(err);
        ASSERT_TRUE(PollUntilIdle(*rig, 5.0));
        ASSERT_EQ(rig->runs.ends, std::vector<RunEnd>{RunEnd::ReadError});
        EXPECT_NE(usb->LastErrorText().find("disappeared"), std::string::npos)
            << usb->LastErrorText();
        EXPECT_NE(rig->controller->ReadFailure().find("disappeared"), std::string::npos)
            << rig->controller->ReadFailure();
    }
}

// The same unplug as mirantos-cli's measure and capture tell it: the reason
// printed after the panel text is the device gone, and a board error.
TEST_F(UsbPath, TheToolSaysAnUnplugThatFailsTransfersFirstIsTheDeviceGone)
{
    QTemporaryDir dir;
    for (const int err : {EPROTO, ETIME}) {
        for (const bool capture : {false, true}) {
            SCOPED_TRACE(std::to_string(err) + (capture ? " capture" : " measure"));
            EmulatorOptions options;
            options.firmware.seed = 77;
            EmulatedFtdi chip(options);
            ASSERT_TRUE(chip.Ready()) << chip.SetupError();
            cli::MeasureEnv env;
            env.makeDriver = [](cli::BoardKind, uint64_t) {
                return std::make_unique<FtdiUsbDriver>();
            };
            env.onSamples = [&chip, err, gone = false](int received, int) mutable {
                if (received >= 2000 && !std::exchange(gone, true))
                    chip.Vanish(err);
            };
            const std::string file =
                dir.filePath(QString::number(err) + (capture ? ".csv" : ".DTA")).toStdString();
            std::ostringstream out, said;
            const int code = capture ? cli::Capture({"--rate", "10ksps", "--channels", "both",
                                                     "--samples", "100000", "-o", file},
                                                    {out, said}, env)
                                     : cli::Measure({"--rate", "10ksps", "--channels", "both",
                                                     "--count", "10000", "-o", file},
                                                    {out, said}, env);
            EXPECT_EQ(code, cli::kExitBoard) << said.str();
            EXPECT_NE(said.str().find("mirantos-cli: USB device disappeared"), std::string::npos)
                << said.str();
            EXPECT_EQ(said.str().find("cable"), std::string::npos) << said.str();
        }
    }
}

TEST_F(UsbPath, ARefusedOpenReportsTheBoardNotFound)
{
    Start();
    emu->SetClaimRefused(true);
    rig->Click();

    EXPECT_FALSE(rig->Measuring());
    EXPECT_FALSE(rig->adc->IsOpen());
    EXPECT_GE(emu->ClaimCount(), 1);
    // The box names the chip that could not be claimed.
    ASSERT_EQ(rig->presenter.shown.size(), 1);
    EXPECT_TRUE(rig->presenter.shown[0].startsWith(rig->message->NotFoundText() + "\nopening ") &&
                rig->presenter.shown[0].contains(Utf("\"MRT00001\"")))
        << rig->presenter.shown[0].toStdString();
    EXPECT_EQ(rig->panels.panel[0], Utf(text::BoardName) + Utf(text::StatusNotFoundSuffix));
    EXPECT_TRUE(rig->host.controlsEnabled);
    EXPECT_EQ(rig->controller->Connected(), false);
    EXPECT_TRUE(emu->Commands().empty());

    // Once the other user lets go, the same program connects.
    emu->SetClaimRefused(false);
    Choose(13, 0, 2);
    rig->Click();
    EXPECT_TRUE(rig->Measuring());
    EXPECT_TRUE(PollUntilIdle(*rig, 10.0));
}

} // namespace
} // namespace mirantos::testing
