#pragma once
// FtdiUsbDriver: the seven operations on a real FTDI chip through libftdi1.
// Queue status and read never block: a small ring of asynchronous bulk-IN
// transfers feeds a received-byte queue, and queue status lets libusb finish
// whatever has completed (zero time-out). No thread is involved.

#include "FtdiDriver.h"

#include <memory>
#include <string>

namespace mirantos {

class FtdiUsbDriver : public IFtdiDriver {
public:
    FtdiUsbDriver();
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

    // Latency timer set on open (milliseconds) and the write time-out.
    static constexpr int kLatencyMs = 2;
    static constexpr int kWriteTimeoutMs = 1000;
    static constexpr int kTransfersInFlight = 4;

    struct Impl;

private:
    std::unique_ptr<Impl> d_;
};

} // namespace mirantos
