// The real USB path without a board: libftdi1 and libusb drive an FT232R
// emulated on usbdevfs by umockdev, with the simulated firmware behind it.

#include "ControllerRig.h"
#include "FtdiUsbDriver.h"
#include "Texts.h"
#include "UsbEmulator.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mirantos::testing {
namespace {

using RunEnd = TMeasureController::RunEnd;

QString Utf(const char* s)
{
    return QString::fromUtf8(s);
}

// Sample codes as the chip put them on the wire, parsed independently of the
// program: the records that follow the start command `command`.
struct WireRun {
    std::vector<uint32_t> ch0;
    std::vector<uint32_t> ch1;
    bool framed = true;
};

WireRun RecordsOnWire(const EmulatedFt232r& emu, const std::string& command, int records)
{
    WireRun run;
    const auto commands = emu.Commands();
    size_t pos = std::string::npos;
    for (const auto& c : commands)
        if (c.text == command)
            pos = c.inLogPos; // the last such run
    if (pos == std::string::npos)
        return run;
    const auto log = emu.InLog();
    const bool dual = command[1] == '2';
    const size_t size = dual ? 17 : 9;
    for (int k = 0; k < records && pos + size <= log.size(); ++k, pos += size) {
        const std::string rec(log.begin() + static_cast<long>(pos),
                              log.begin() + static_cast<long>(pos + size));
        if (rec.back() != '\r')
            run.framed = false;
        const uint32_t a = static_cast<uint32_t>(std::stoul(rec.substr(0, 8), nullptr, 16));
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

class UsbPath : public ::testing::Test {
protected:
    void SetUp() override
    {
        EmulatorOptions options;
        options.usPerInUrb = 4000;
        options.firmware.seed = 77;
        emu = std::make_unique<EmulatedFt232r>(options);
        ASSERT_TRUE(emu->Ready()) << emu->SetupError();
        rig = std::make_unique<ControllerRig>(std::make_unique<FtdiUsbDriver>());
    }
    void TearDown() override
    {
        rig.reset();
        emu.reset();
    }

    std::unique_ptr<EmulatedFt232r> emu;
    std::unique_ptr<ControllerRig> rig;
};

struct RunCase {
    int rate;
    int countIndex;
    int channel;
    int target;
    const char* start;
};

class UsbRun : public UsbPath, public ::testing::WithParamInterface<RunCase> {};

TEST_P(UsbRun, IdentifiesConfiguresAndDeliversEverySampleIntact)
{
    const RunCase c = GetParam();
    rig->host.rate = c.rate;
    rig->host.count = c.countIndex;
    rig->host.channel = c.channel;

    rig->Click();
    ASSERT_TRUE(rig->Measuring()) << rig->panels.panel[0].toStdString();
    EXPECT_EQ(rig->panels.panel[0], Utf("MIRANTOS / 1.10"));
    ASSERT_TRUE(rig->PollUntilIdle(200000));

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

    const WireRun wire = RecordsOnWire(*emu, c.start, c.target);
    EXPECT_TRUE(wire.framed);
    if (c.channel != 1) {
        ASSERT_EQ(static_cast<int>(wire.ch0.size()), c.target);
        EXPECT_EQ(Codes(rig->record.Ch0), wire.ch0);
    }
    if (c.channel != 0) {
        ASSERT_EQ(static_cast<int>(wire.ch1.size()), c.target);
        EXPECT_EQ(Codes(rig->record.Ch1), wire.ch1);
    }
    EXPECT_EQ(rig->record.fCh0Valid, c.channel != 1 ? 1 : 0);
    EXPECT_EQ(rig->record.fCh1Valid, c.channel != 0 ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(RatesAndChannels, UsbRun,
                         ::testing::Values(RunCase{10, 4, 2, 2000, "A2007D0"},  // 1 ksps
                                           RunCase{13, 6, 2, 10000, "A202710"}, // 10 ksps
                                           RunCase{13, 5, 1, 5000, "A101388"},
                                           RunCase{10, 3, 0, 1000, "A0003E8"}));

TEST_F(UsbPath, ASecondRunOnTheOpenLinkSkipsIdentificationAndStaysIntact)
{
    rig->host.rate = 13;
    rig->host.count = 4;
    rig->host.channel = 2;
    rig->Click();
    ASSERT_TRUE(rig->PollUntilIdle(100000));
    rig->Click();
    ASSERT_TRUE(rig->PollUntilIdle(100000));

    ASSERT_EQ(rig->runs.ends, (std::vector<RunEnd>{RunEnd::Completed, RunEnd::Completed}));
    int identifications = 0;
    for (const auto& cmd : emu->Commands())
        identifications += cmd.text == "U?";
    EXPECT_EQ(identifications, 1);
    const WireRun wire = RecordsOnWire(*emu, "A2007D0", 2000);
    EXPECT_EQ(Codes(rig->record.Ch0), wire.ch0);
    EXPECT_EQ(Codes(rig->record.Ch1), wire.ch1);
}

TEST_F(UsbPath, APurgeMidStreamLeavesNoStaleByteAndKeepsTheRecordFraming)
{
    TADC& adc = *rig->adc;
    ASSERT_TRUE(adc.Connect());
    ASSERT_TRUE(adc.SetSinc5());
    ASSERT_TRUE(adc.SetRate(13));
    ASSERT_TRUE(adc.StartConversion(2, 10000));

    std::vector<uint32_t> c0(100), c1(100);
    int blocks = 0;
    for (int i = 0; i < 100000 && blocks < 5; ++i) {
        int32_t got = 0;
        ASSERT_TRUE(adc.ReadData2CH(c0.data(), c1.data(), 100, &got));
        blocks += got == 100;
    }
    ASSERT_EQ(blocks, 5);

    // The chip keeps streaming while the host throws away what it holds.
    ASSERT_TRUE(adc.Purge());
    const size_t purgedAt = emu->InLogPosAtLastPurge();

    std::vector<uint32_t> after0, after1;
    for (int i = 0; i < 100000 && after0.size() < 2000; ++i) {
        int32_t got = 0;
        ASSERT_TRUE(adc.ReadData2CH(c0.data(), c1.data(), 100, &got));
        after0.insert(after0.end(), c0.begin(), c0.begin() + got);
        after1.insert(after1.end(), c1.begin(), c1.begin() + got);
    }
    ASSERT_EQ(after0.size(), 2000u);

    const auto log = emu->InLog();
    ASSERT_GE(log.size(), purgedAt + 2000 * 17);
    std::vector<uint32_t> wire0, wire1;
    for (size_t k = 0; k < 2000; ++k) {
        const std::string rec(log.begin() + static_cast<long>(purgedAt + k * 17),
                              log.begin() + static_cast<long>(purgedAt + k * 17 + 17));
        ASSERT_EQ(rec.back(), '\r') << "record " << k;
        wire0.push_back(static_cast<uint32_t>(std::stoul(rec.substr(0, 8), nullptr, 16)));
        wire1.push_back(static_cast<uint32_t>(std::stoul(rec.substr(8, 8), nullptr, 16)));
    }
    EXPECT_EQ(after0, wire0);
    EXPECT_EQ(after1, wire1);
}

TEST_F(UsbPath, AStopMidRunThenANewRunGetsOnlyTheNewRunsSamples)
{
    rig->host.rate = 13;
    rig->host.count = 6;
    rig->host.channel = 2;
    rig->Click();
    for (int i = 0; i < 100000 && rig->controller->ReceivedCount < 3000; ++i)
        rig->controller->Poll();
    ASSERT_GE(rig->controller->ReceivedCount, 3000);
    rig->Click(); // stop: "AX", purge, close
    ASSERT_FALSE(rig->Measuring());
    EXPECT_EQ(rig->panels.panel[1], Utf(text::MeasureAbort));

    rig->host.count = 4;
    rig->Click(); // reconnects, identifies, starts 2000
    ASSERT_TRUE(rig->Measuring());
    ASSERT_TRUE(rig->PollUntilIdle(100000));
    ASSERT_EQ(rig->runs.ends, (std::vector<RunEnd>{RunEnd::Stopped, RunEnd::Completed}));
    const WireRun wire = RecordsOnWire(*emu, "A2007D0", 2000);
    ASSERT_EQ(wire.ch0.size(), 2000u);
    EXPECT_EQ(Codes(rig->record.Ch0), wire.ch0);
    EXPECT_EQ(Codes(rig->record.Ch1), wire.ch1);
}

TEST_F(UsbPath, TheDeviceVanishingMidRunEndsItWithTheReadErrorSequence)
{
    rig->host.rate = 13;
    rig->host.count = 6;
    rig->host.channel = 2;
    rig->Click();
    for (int i = 0; i < 100000 && rig->controller->ReceivedCount < 2000; ++i)
        rig->controller->Poll();
    ASSERT_GE(rig->controller->ReceivedCount, 2000);

    emu->Vanish();
    ASSERT_TRUE(rig->PollUntilIdle(1000));

    ASSERT_EQ(rig->runs.ends, std::vector<RunEnd>{RunEnd::ReadError});
    EXPECT_EQ(rig->panels.panel[2], Utf(text::MeasureError));
    EXPECT_EQ(rig->host.caption, Utf(kStartCaption));
    EXPECT_TRUE(rig->host.controlsEnabled);
    EXPECT_EQ(rig->record.fCh0Valid, 0);
    EXPECT_EQ(rig->record.Ch0.Count, 0);
    EXPECT_EQ(rig->record.Ch1.Count, 0);

    // The next start cannot configure the lost device and says so; the one
    // after that cannot find it. Nothing hangs or crashes on the way.
    rig->Click();
    EXPECT_FALSE(rig->Measuring());
    EXPECT_EQ(rig->panels.panel[0], Utf("MIRANTOS") + Utf(text::StatusErrorSuffix));
    rig->Click();
    EXPECT_FALSE(rig->Measuring());
    EXPECT_EQ(rig->panels.panel[0], Utf("MIRANTOS") + Utf(text::StatusNotFoundSuffix));
    EXPECT_TRUE(rig->host.controlsEnabled);
}

TEST_F(UsbPath, ARefusedOpenReportsTheBoardNotFound)
{
    emu->SetClaimRefused(true);
    rig->Click();

    EXPECT_FALSE(rig->Measuring());
    EXPECT_FALSE(rig->adc->IsOpen());
    EXPECT_GE(emu->ClaimCount(), 1);
    EXPECT_EQ(rig->presenter.shown, QStringList{rig->message->NotFoundText()});
    EXPECT_EQ(rig->panels.panel[0], Utf("MIRANTOS") + Utf(text::StatusNotFoundSuffix));
    EXPECT_TRUE(rig->host.controlsEnabled);
    EXPECT_EQ(rig->controller->fConnected, 0);
    EXPECT_TRUE(emu->Commands().empty());

    // Once the other user lets go, the same program connects.
    emu->SetClaimRefused(false);
    rig->host.rate = 13;
    rig->host.count = 0;
    rig->Click();
    EXPECT_TRUE(rig->Measuring());
    EXPECT_TRUE(rig->PollUntilIdle(100000));
}

} // namespace
} // namespace mirantos::testing
