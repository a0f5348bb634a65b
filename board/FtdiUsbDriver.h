#pragma once
// FtdiUsbDriver: the seven operations on a real FTDI chip through libftdi1.
//
// A dedicated USB event thread keeps a deep ring of asynchronous bulk-IN
// transfers in flight and moves what they bring (modem-status bytes removed)
// into a bounded receive queue. Queue status and read only look at that queue
// under a brief lock, so a busy GUI thread cannot make the chip's own small
// FIFO overflow; an overflow of the receive queue is a read failure, never a
// silent loss. Commands (write, purge) are synchronous libusb calls on the
// caller's thread, which libusb serialises with the event thread.

#include "FtdiDriver.h"

#include <memory>
#include <string>

namespace mirantos {

// Which FTDI device the board is: empty for the automatic choice (the one
// device whose USB product string starts with "MIRANTOS"; two such are
// refused; none: the first FTDI device), or a serial number, optionally
// followed by ":A" or ":B" for the interface of a dual chip ("FT1X2Y3Z:B").
struct FtdiDeviceSelector {
    std::string serial;
    int interfaceIndex = 0; // 0 = A
    // Set for a text that is no selector: Open refuses with it as the reason.
    std::string problem;

    // False (selector left empty) for a malformed text such as "X:C" or ":A".
    static bool Parse(const std::string& text, FtdiDeviceSelector* out);
    // Why `text` is no selector, naming the part that is wrong; empty when it is one.
    static std::string Problem(const std::string& text);
};

class FtdiUsbDriver : public IFtdiDriver {
public:
    // `queueLimit`: bytes the receive queue may hold before a read failure.
    explicit FtdiUsbDriver(FtdiDeviceSelector device = {}, size_t queueLimit = kQueueLimit);
    ~FtdiUsbDriver() override;
    FtdiUsbDriver(const FtdiUsbDriver&) = delete;
    FtdiUsbDriver& operator=(const FtdiUsbDriver&) = delete;

    FT_STATUS Open(int deviceIndex, FT_HANDLE* handle) override;
    FT_STATUS SetUSBParameters(FT_HANDLE handle, uint32_t inTransferSize,
                               uint32_t outTransferSize) override;
    FT_STATUS Purge(FT_HANDLE handle, uint32_t mask) override;
    FT_STATUS Close(FT_HANDLE handle) override;
    FT_STATUS GetQueueStatus(FT_HANDLE handle, uint32_t* rxBytes) override;
    FT_STATUS Read(FT_HANDLE handle, void* buffer, uint32_t bytesToRead,
                   uint32_t* bytesReturned) override;
    FT_STATUS Write(FT_HANDLE handle, const void* buffer, uint32_t bytesToWrite,
                    uint32_t* bytesWritten) override;
    std::string LastErrorText() const override;
    std::string Identity() const override;

    // Product string prefix that marks the board among several FTDI devices.
    static constexpr const char* kBoardProductPrefix = "MIRANTOS";
    static constexpr int kWriteTimeoutMs = 1000;
    // Bulk-IN transfers kept in flight: the host controller fills them while
    // the event thread is not scheduled. At low rates every transfer ends
    // after one latency period, so 64 cover 128 ms even at a 2 ms latency
    // timer (plus the chip's FIFO); 256 KiB of usbfs memory.
    static constexpr int kTransfersInFlight = 64;
    // Receive-queue bound: about 49 s of a 10 ksps two-channel stream.
    static constexpr size_t kQueueLimit = 8u << 20;
    // How long Close lets cancelled transfers come back before it lets go of
    // them (libusb forgets them when the handle closes).
    static constexpr int kCloseGraceMs = 200;

    struct Impl;

private:
    std::unique_ptr<Impl> d_;
};

} // namespace mirantos
