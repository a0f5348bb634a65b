#pragma once
// The libftdi1 backend's state, shared by its two halves: the transfer ring and
// the driver's operations (FtdiUsbDriver.cpp) and the choice and opening of the
// chip (FtdiDeviceChoice.cpp). Private to board/.

#include "FtdiUsbDriver.h"

#include "FtdiPacket.h"

#include <ftdi.h>
#include <libusb.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace mirantos {

inline std::string ErrorName(int rc)
{
    return libusb_error_name(rc);
}

// One bulk-IN transfer and its buffer. A slot belongs to the ring of one
// generation; a purge starts a new generation, and whatever a transfer of an
// older one brings back is dropped, so no byte from before a purge is ever
// delivered after it, even from a transfer that comes back late.
struct Slot {
    struct FtdiUsbDriver::Impl* owner = nullptr;
    libusb_transfer* transfer = nullptr;
    std::vector<uint8_t> buffer;
    uint64_t generation = 0;
    bool inFlight = false;
};

struct FtdiUsbDriver::Impl {
    FtdiDeviceSelector selector;
    ftdi_context* ftdi = nullptr;
    bool open = false;
    size_t maxPacket = 64;
    uint32_t transferSize = 4096;

    std::thread events;
    std::atomic<bool> quit{false};

    // Shared with the event thread.
    std::mutex mutex;
    std::condition_variable settled; // a transfer came back
    std::vector<std::unique_ptr<Slot>> slots;
    uint64_t generation = 0;
    int inFlight = 0; // of every generation
    bool lost = false;
    bool halted = false;   // the IN endpoint stalled; cleared before new transfers
    std::string readError; // set at the first failure; the next receive purge clears it
    // After a failure the bytes that came before it are still handed out; the
    // failure shows once they are gone, or once a caller asks for the count
    // again without taking any (it waits for bytes that can no longer come).
    bool failureCounted = false;
    bool readSinceCount = false;
    size_t queueLimit = kQueueLimit;
    ByteQueue rx{kQueueLimit};
    std::vector<uint8_t> scratch;
    std::string error;
    std::string identity; // the chosen device, set at a successful open

    static void LIBUSB_CALL OnTransfer(libusb_transfer* t);
    void Completed(Slot* slot);
    void Keep(libusb_transfer* t);
    bool SubmitLocked(Slot* slot);
    void ReadFailureLocked(const std::string& why);
    void VanishedLocked();
    void FailCommand(const std::string& what);
    bool FailedLocked() const { return lost || !readError.empty(); }
    bool StartRing();
    bool RetireRing(int graceMs);
    void RunEvents();
    void StartEventThread();
    void StopEventThread();
    FT_STATUS OpenChosen();
    void Release();

    void SetError(std::string text)
    {
        std::lock_guard lock(mutex);
        error = std::move(text);
    }
    // `what`, followed by libftdi's own words when it has any.
    void Fail(const std::string& what)
    {
        std::string text = what;
        if (ftdi != nullptr) {
            const char* lib = ftdi_get_error_string(ftdi);
            if (lib != nullptr && *lib != '\0')
                text += std::string(": ") + lib;
        }
        SetError(std::move(text));
    }
};

} // namespace mirantos
