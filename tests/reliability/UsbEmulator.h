#pragma once
// An FTDI FT232R on usbdevfs, emulated with umockdev: the testbed holds its
// sysfs entry and USB descriptors, and an ioctl handler answers what libusb's
// Linux backend asks of the device node (capabilities, claim/release, control
// transfers, URB submit/reap/discard). Bytes the host sends on bulk OUT go to
// the simulated board's firmware; its answers and sample records come back on
// bulk IN in 64-byte packets, each led by the chip's two modem-status bytes.
//
// The firmware runs on a manual clock that moves on by a fixed step each time
// a bulk-IN URB completes, so a run's pace depends on USB traffic alone, not
// on the speed of the machine. The process must run under umockdev-wrapper.

#include "SimBoard.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mirantos::testing {

struct EmulatorOptions {
    // Firmware time that passes with every completed bulk-IN URB (one USB poll).
    int64_t usPerInUrb = 1000;
    SimConfig firmware; // its clock is replaced by the emulator's manual clock
};

// One command line the host sent, and where the bulk-IN log stood when the
// firmware received it (the first byte the firmware may answer with).
struct ReceivedCommand {
    std::string text;
    size_t inLogPos = 0;
};

class EmulatedFt232r {
public:
    explicit EmulatedFt232r(EmulatorOptions options = {});
    ~EmulatedFt232r();
    EmulatedFt232r(const EmulatedFt232r&) = delete;
    EmulatedFt232r& operator=(const EmulatedFt232r&) = delete;

    // False (with a reason) when the testbed could not be set up, e.g. when the
    // process does not run under umockdev-wrapper.
    bool Ready() const { return ready_; }
    const std::string& SetupError() const { return setupError_; }

    // Another driver holds the interface: claiming it fails with EBUSY.
    void SetClaimRefused(bool refused);
    // The device is unplugged: from now on every request on the node fails
    // with ENODEV, and URBs in flight complete with that status.
    void Vanish();

    // What the host did, as the device saw it.
    std::vector<ReceivedCommand> Commands() const;
    int PurgeRequests() const; // SIO reset/purge control requests
    int ClaimCount() const;
    int64_t InUrbsCompleted() const;
    int64_t OutBytes() const;
    // Every payload byte sent on bulk IN (status bytes removed), in order.
    std::vector<uint8_t> InLog() const;
    // The payload position at which the last purge request took effect.
    size_t InLogPosAtLastPurge() const;

    static constexpr uint16_t kVendorId = 0x0403;
    static constexpr uint16_t kProductId = 0x6001;

    struct State; // shared with the handler thread

private:
    std::unique_ptr<State> state_;
    bool ready_ = false;
    std::string setupError_;
};

// Re-runs the current program under umockdev-wrapper when it was started
// without it. Returns only when no re-run is needed (or it is impossible).
void ReexecUnderUmockdevIfNeeded(int argc, char** argv);

} // namespace mirantos::testing
