#pragma once
// FTDI chips on usbdevfs, emulated with umockdev: the testbed holds their
// sysfs entries and USB descriptors, and an ioctl handler per device node
// answers what libusb's Linux backend asks (capabilities, claim/release,
// control transfers, URB submit/reap/discard, clear-halt).
//
// The board's firmware (the simulated board) runs on the real clock,
// independent of the host's polling, and writes its bytes one at a time into
// the chip's small FIFO (256 bytes on the FT232R); what does not fit is
// dropped and counted. The chip moves the FIFO into the bulk-IN URBs the host
// has queued, in packets of 64 (full speed) or 512 bytes (FT232H, high speed)
// that each start with two modem-status bytes. A URB ends on a short packet
// or when full; the latency timer sends a short or status-only packet when
// no packet has gone for that long. Without a queued URB the chip holds its
// FIFO and the firmware's bytes overflow it, as on the real wire.
//
// The model is advanced to the present at every ioctl, so a host that does
// not look for a while finds exactly what the chip would have done meanwhile.
// The process must run under umockdev-wrapper.

#include "SimBoard.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mirantos::testing {

enum class ChipKind {
    Ft232r,  // full speed, 64-byte packets, 256-byte FIFO to the host
    Ft232h,  // high speed, 512-byte packets, 1 KiB FIFO to the host
    Ft2232h, // high speed, two interfaces (A, B), 4 KiB FIFO per interface
};

// Another FTDI device on the bus, listed before the board; it never sends a byte.
struct OtherDevice {
    std::string product;
    std::string serial;
};

struct EmulatorOptions {
    ChipKind chip = ChipKind::Ft232r;
    std::string product = "MIRANTOS Board"; // USB product string
    std::string serial = "MRT00001";        // empty: the chip has no serial number string
    bool stringsReadable = true;            // false: every string descriptor request stalls
    int boardInterface = 0;   // the interface the board's FIFO is on (FT2232H: 0 or 1)
    bool startHalted = false; // the bulk-IN endpoint is halted from an earlier session
    // The device node is closed to this user (no udev rule); as root, opening
    // it fails only for a thread without CAP_DAC_OVERRIDE.
    bool openDenied = false;
    // A second FTDI device (an FT232R serial cable, serial "FTSILENT1") that
    // enumerates before the board and never sends a byte.
    bool silentDeviceFirst = false;
    std::vector<OtherDevice> others; // more devices like it, after that one
    bool startInMpsse = false;       // the chip powers up in MPSSE mode (left by another program)
    int initialLatencyMs = 16;       // the chip's latency timer until the host sets one
    size_t fifoBytes = 0;            // 0: the chip's own size
    int64_t firmwareByteUs = 1;      // time the firmware takes to write one byte into the FIFO
    SimConfig firmware;              // its clock is replaced by the emulator's
};

// One command line the host sent, where the firmware's output stood when it
// arrived (the first byte that may answer it), and where the bulk-IN log stood.
struct ReceivedCommand {
    std::string text;
    size_t firmwarePos = 0;
    size_t inLogPos = 0;
};

class EmulatedFtdi {
public:
    explicit EmulatedFtdi(EmulatorOptions options = {});
    ~EmulatedFtdi();
    EmulatedFtdi(const EmulatedFtdi&) = delete;
    EmulatedFtdi& operator=(const EmulatedFtdi&) = delete;

    // False (with a reason) when the testbed could not be set up, e.g. when the
    // process does not run under umockdev-wrapper.
    bool Ready() const { return ready_; }
    const std::string& SetupError() const { return setupError_; }

    // Another driver holds the interface: claiming it fails with EBUSY.
    void SetClaimRefused(bool refused);
    // The device is unplugged: from now on every request on the node fails
    // with ENODEV, and URBs in flight complete with -`inFlightErr` (a real
    // unplug usually fails them with EPROTO before the hub reports it).
    void Vanish(int inFlightErr = ENODEV);

    // Faults of the bulk-IN pipe, each taking effect once.
    // The oldest queued IN URB completes with -err (EPROTO, EILSEQ, ETIME,
    // EOVERFLOW), or with -EPIPE, which halts the endpoint: every IN URB then
    // ends with -EPIPE until the host sends CLEAR_HALT. The packets it had
    // received come back with it (its actual length counts them). With
    // `afterBytes` the fault waits until that URB holds that many bytes.
    void FailNextInUrb(int err, int afterBytes = 0);
    // Where in InLog() the payload of the transfer failed last began, and
    // where it ended: every byte before the end reached the host.
    size_t InLogPosOfLastFailedUrb() const;
    size_t InLogPosAfterLastFailedUrb() const;
    // The next IN URB submit is refused with `err` (ENOMEM: usbfs memory limit).
    void RefuseNextInSubmit(int err);
    // The oldest queued IN URB never completes and cannot be discarded; the
    // endpoint's queue waits behind it (a wedged host controller). Releasing
    // the interface (closing the device) frees the queue.
    void WedgeNextInUrb();
    // Lets a wedged URB complete now, with whatever it had received.
    void ReleaseWedgedUrb();
    // The IN endpoint stalls (the oldest queued URB ends with -EPIPE) as the
    // host's next purge of the host-to-chip FIFO arrives: in the middle of a purge.
    void StallAtNextTxPurge();
    // The next `count` reaps fail with `err` (EIO), whatever has completed:
    // the host's event loop keeps failing for a while.
    void FailReaps(int err, int count);

    // What the host did, as the device saw it.
    std::vector<ReceivedCommand> Commands() const;
    int PurgeRequests() const; // SIO reset/purge of the chip-to-host FIFO
    int ClearHaltRequests() const;
    int BitmodeResets() const; // SET_BITMODE with BITMODE_RESET
    int ClaimCount() const;
    int SilentClaimCount() const; // claims of the silent and other devices
    int64_t InUrbsCompleted() const;
    int64_t ReapRequests() const; // every reap ioctl, also those that found nothing
    int64_t OutBytes() const;
    // Every byte the firmware wrote towards the host, in order, and how many
    // of them the chip's FIFO had no room for.
    std::vector<uint8_t> FirmwareLog() const;
    int64_t DroppedBytes() const;
    // Firmware-log positions of the dropped bytes (the first million).
    std::vector<size_t> DroppedPositions() const;
    // Every payload byte sent on bulk IN (status bytes removed), in order.
    std::vector<uint8_t> InLog() const;
    // The firmware-log position at which the last chip-to-host purge took effect.
    size_t FirmwarePosAtLastPurge() const;

    static constexpr uint16_t kVendorId = 0x0403;

    struct Device; // one emulated chip, shared with the handler thread

private:
    std::unique_ptr<Device> board_;
    std::vector<std::unique_ptr<Device>> others_;
    void* testbed_ = nullptr;
    bool ready_ = false;
    std::string setupError_;
};

// Re-runs the current program under umockdev-wrapper when it was started
// without it. Returns only when no re-run is needed (or it is impossible).
void ReexecUnderUmockdevIfNeeded(int argc, char** argv);

} // namespace mirantos::testing
