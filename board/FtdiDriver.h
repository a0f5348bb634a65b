#pragma once
// The seven FTDI operations the transport uses, as one interface.
// Implementations: the libftdi1 backend (FtdiUsbDriver) and the simulated
// board (SimBoardDriver). Every call returns 0 on success.

#include <cstdint>
#include <memory>
#include <string>

using FT_STATUS = uint32_t;
using FT_HANDLE = void*;

inline constexpr FT_STATUS FT_OK = 0;
inline constexpr FT_STATUS FT_INVALID_HANDLE = 1;
inline constexpr FT_STATUS FT_DEVICE_NOT_FOUND = 2;
inline constexpr FT_STATUS FT_DEVICE_NOT_OPENED = 3;
inline constexpr FT_STATUS FT_IO_ERROR = 4;
inline constexpr FT_STATUS FT_INVALID_PARAMETER = 6;
inline constexpr FT_STATUS FT_OTHER_ERROR = 18;

inline constexpr uint32_t FT_PURGE_RX = 1;
inline constexpr uint32_t FT_PURGE_TX = 2;

class IFtdiDriver {
public:
    virtual ~IFtdiDriver() = default;
    virtual FT_STATUS Open(int deviceIndex, FT_HANDLE* handle) = 0;
    virtual FT_STATUS SetUSBParameters(FT_HANDLE handle, uint32_t inTransferSize,
                                       uint32_t outTransferSize) = 0;
    virtual FT_STATUS Purge(FT_HANDLE handle, uint32_t mask) = 0;
    virtual FT_STATUS Close(FT_HANDLE handle) = 0;
    // Never blocks: the count of received bytes that Read can deliver at once.
    virtual FT_STATUS GetQueueStatus(FT_HANDLE handle, uint32_t* rxBytes) = 0;
    // Never blocks: delivers at most what is queued; *bytesReturned says how much.
    virtual FT_STATUS Read(FT_HANDLE handle, void* buffer, uint32_t bytesToRead,
                           uint32_t* bytesReturned) = 0;
    virtual FT_STATUS Write(FT_HANDLE handle, const void* buffer, uint32_t bytesToWrite,
                            uint32_t* bytesWritten) = 0;

    // Why the last failing call failed, in the library's words (empty when
    // there is nothing to say). For diagnosis only; never shown to the user.
    virtual std::string LastErrorText() const { return {}; }

    // Whether the board behind this driver is the built-in simulated one. It
    // answers the identity queries as a real board does, so only the driver
    // can tell; whatever names the board (capture headers, reports, test
    // results) asks here, never the board's answers.
    virtual bool Simulated() const { return false; }

    // Which device the last successful Open reached, as the USB strings name
    // it ("FT1X2Y3Z:A \"MIRANTOS Board\""), for the results a run records;
    // empty when the backend cannot tell (the simulated board, a stand-in).
    virtual std::string Identity() const { return {}; }
};
