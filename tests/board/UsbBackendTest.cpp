// The libftdi1 backend's device-free parts: modem-status stripping and the
// received-byte queue; and its behaviour when no FTDI device is present.

#include "Ad7177.h"
#include "BoardFactory.h"
#include "FtdiPacket.h"
#include "FtdiUsbDriver.h"

#include <QObject>

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

using namespace mirantos;

namespace {

// A bulk-IN transfer as the chip sends it: every packet starts with two status
// bytes (0x31 0x60 here), followed by payload bytes counting up from `first`.
std::vector<uint8_t> Transfer(size_t maxPacket, const std::vector<size_t>& packetSizes,
                              uint8_t first = 0)
{
    std::vector<uint8_t> t;
    uint8_t v = first;
    for (size_t size : packetSizes) {
        EXPECT_LE(size, maxPacket);
        t.push_back(0x31);
        t.push_back(0x60);
        for (size_t i = 2; i < size; ++i)
            t.push_back(v++);
    }
    return t;
}

std::vector<uint8_t> Strip(const std::vector<uint8_t>& in, size_t maxPacket,
                           uint16_t* status = nullptr)
{
    std::vector<uint8_t> out(in.size());
    out.resize(StripModemStatus(in.data(), in.size(), maxPacket, out.data(), status));
    return out;
}

std::vector<uint8_t> Counting(size_t n, uint8_t first = 0)
{
    std::vector<uint8_t> v(n);
    std::iota(v.begin(), v.end(), first);
    return v;
}

TEST(ModemStatus, FullSixtyFourBytePacketsLoseTwoBytesEach)
{
    const auto t = Transfer(64, {64, 64, 64});
    uint16_t status = 0;
    EXPECT_EQ(Strip(t, 64, &status), Counting(3 * 62));
    EXPECT_EQ(status, 0x6031);
}

TEST(ModemStatus, ShortLastPacket)
{
    EXPECT_EQ(Strip(Transfer(64, {64, 10}), 64), Counting(62 + 8));
}

TEST(ModemStatus, StatusOnlyPacketsCarryNothing)
{
    EXPECT_TRUE(Strip(Transfer(64, {2}), 64).empty());
    EXPECT_TRUE(Strip({}, 64).empty());
    EXPECT_TRUE(Strip({0x31}, 64).empty());
}

TEST(ModemStatus, HighSpeedPacketsOf512)
{
    const auto t = Transfer(512, {512, 512, 100}, 7);
    EXPECT_EQ(Strip(t, 512), Counting(510 + 510 + 98, 7));
}

TEST(ModemStatus, WrongPacketSizeWouldCorruptSoItMatters)
{
    // Same bytes read with the full-speed size: status bytes of the 512-byte
    // packets are no longer where the stripper looks.
    const auto t = Transfer(512, {512, 512});
    EXPECT_NE(Strip(t, 64), Counting(1020));
}

TEST(ByteQueueTest, KeepsOrderAcrossWrapAndGrowth)
{
    ByteQueue q(1 << 20);
    std::vector<uint8_t> all;
    uint8_t next = 0;
    std::vector<uint8_t> out;
    for (int round = 0; round < 200; ++round) {
        const auto chunk = Counting(static_cast<size_t>(37 + round * 13 % 500), next);
        next = static_cast<uint8_t>(next + chunk.size());
        ASSERT_TRUE(q.Push(chunk.data(), chunk.size()));
        all.insert(all.end(), chunk.begin(), chunk.end());
        std::vector<uint8_t> buf(static_cast<size_t>(20 + round * 7 % 300));
        buf.resize(q.Pop(buf.data(), buf.size()));
        out.insert(out.end(), buf.begin(), buf.end());
    }
    std::vector<uint8_t> rest(q.Size());
    q.Pop(rest.data(), rest.size());
    out.insert(out.end(), rest.begin(), rest.end());
    EXPECT_EQ(out, all);
    EXPECT_EQ(q.Size(), 0u);
}

TEST(ByteQueueTest, OverflowIsRefusedWholeAndRemembered)
{
    ByteQueue q(100);
    const auto a = Counting(80);
    ASSERT_TRUE(q.Push(a.data(), a.size()));
    EXPECT_FALSE(q.Push(a.data(), 30));
    EXPECT_TRUE(q.Overflowed());
    EXPECT_EQ(q.Size(), 80u);
    q.Clear();
    EXPECT_FALSE(q.Overflowed());
    EXPECT_EQ(q.Size(), 0u);
}

TEST(DeviceSelector, SerialWithAnOptionalInterfaceLetter)
{
    FtdiDeviceSelector s;
    ASSERT_TRUE(FtdiDeviceSelector::Parse("", &s));
    EXPECT_TRUE(s.serial.empty());
    ASSERT_TRUE(FtdiDeviceSelector::Parse("FT1X2Y3Z", &s));
    EXPECT_EQ(s.serial, "FT1X2Y3Z");
    EXPECT_EQ(s.interfaceIndex, 0);
    ASSERT_TRUE(FtdiDeviceSelector::Parse("FT1X2Y3Z:B", &s));
    EXPECT_EQ(s.serial, "FT1X2Y3Z");
    EXPECT_EQ(s.interfaceIndex, 1);
    ASSERT_TRUE(FtdiDeviceSelector::Parse("FT1X2Y3Z:b", &s));
    EXPECT_EQ(s.interfaceIndex, 1);
    EXPECT_TRUE(IsValidDeviceSelector("FT1X2Y3Z:A"));
}

TEST(DeviceSelector, MalformedTextsAreRefusedAndSelectNothing)
{
    for (const char* bad : {":A", "FT1X2Y3Z:", "FT1X2Y3Z:C", "FT1X2Y3Z:d", "FT1X2Y3Z:E",
                            "FT1X2Y3Z:AB", "FT1X2Y3Z:1"}) {
        SCOPED_TRACE(bad);
        FtdiDeviceSelector s;
        s.serial = "left over";
        EXPECT_FALSE(FtdiDeviceSelector::Parse(bad, &s));
        EXPECT_TRUE(s.serial.empty());
        EXPECT_FALSE(IsValidDeviceSelector(bad));
    }
}

// --- no device on this machine ---------------------------------------------

TEST(UsbBackend, OpenWithoutADeviceFailsCleanly)
{
    FtdiUsbDriver d;
    FT_HANDLE h = reinterpret_cast<FT_HANDLE>(1);
    const FT_STATUS s = d.Open(0, &h);
    EXPECT_NE(s, FT_OK);
    EXPECT_EQ(h, nullptr);
    EXPECT_FALSE(d.LastErrorText().empty());
    // A second try behaves the same (nothing left half-open).
    EXPECT_NE(d.Open(0, &h), FT_OK);
}

TEST(UsbBackend, OperationsOnAForeignHandleAreRefused)
{
    FtdiUsbDriver d;
    int dummy = 0;
    uint32_t n = 5;
    uint8_t buf[4];
    EXPECT_EQ(d.GetQueueStatus(&dummy, &n), FT_INVALID_HANDLE);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(d.Read(&dummy, buf, 4, &n), FT_INVALID_HANDLE);
    EXPECT_EQ(d.Write(&dummy, buf, 4, &n), FT_INVALID_HANDLE);
    EXPECT_EQ(d.Purge(&dummy, 3), FT_INVALID_HANDLE);
    EXPECT_EQ(d.SetUSBParameters(&dummy, 4096, 0), FT_INVALID_HANDLE);
    EXPECT_EQ(d.Close(&dummy), FT_INVALID_HANDLE);
}

TEST(UsbBackend, BoardProtocolReportsNotConnected)
{
    QObject owner;
    TADC adc(&owner, MakeUsbDriver());
    EXPECT_FALSE(adc.Connect());
    EXPECT_FALSE(adc.IsOpen());
    EXPECT_FALSE(adc.CheckBoard());
}

} // namespace
