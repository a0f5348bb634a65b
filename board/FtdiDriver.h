#pragma once
// The seven FTDI operations the transport uses, as one interface.
// Implementations: the libftdi1 backend (FtdiUsbDriver) and the simulated
// board (SimBoardDriver). Every call returns 0 on success.

#include <cstdint>
#include <memory>

using FT_STATUS = uint32_t;
using FT_HANDLE = void*;

inline constexpr FT_STATUS FT_OK = 0;
inline constexpr FT_STATUS FT_INVALID_HANDLE = 1;
inline constexpr FT_STATUS FT_DEVICE_NOT_FOUND = 2;
inline constexpr FT_STATUS FT_DEVICE_NOT_OPENED = 3;
inline constexpr FT_STATUS FT_IO_ERROR = 4;
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
    virtual FT_STATUS GetQueueStatus(FT_HANDLE handle, uint32_t* rxBytes) = 0;
    virtual FT_STATUS Read(FT_HANDLE handle, void* buffer, uint32_t bytesToRead,
                           uint32_t* bytesReturned) = 0;
    virtual FT_STATUS Write(FT_HANDLE handle, const void* buffer, uint32_t bytesToWrite,
                            uint32_t* bytesWritten) = 0;
};
