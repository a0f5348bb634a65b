#include "FtdiUsbImpl.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <pthread.h>
#include <thread>
#include <utility>
#include <vector>

namespace mirantos {

namespace {

// Event-loop errors in a row that make a read failure, and the pause after each.
constexpr int kEventFailuresTolerated = 10;
constexpr int kEventRetryMs = 10;
// How long a purge lets the retired transfers come back (one that never does,
// a wedged host controller, costs this much once).
constexpr int kPurgeGraceMs = 50;

constexpr const char* kVanished = "USB device disappeared (unplugged, or lost by its hub)";
} // namespace

void LIBUSB_CALL FtdiUsbDriver::Impl::OnTransfer(libusb_transfer* t)
{
    auto* slot = static_cast<Slot*>(t->user_data);
    slot->owner->Completed(slot);
}

void FtdiUsbDriver::Impl::ReadFailureLocked(const std::string& why)
{
    if (readError.empty())
        readError = why;
    error = readError;
}

// An unplug first fails the transfers in flight (EPROTO, EILSEQ, ETIME) and
// only then reports the device gone: the disappearance is the reason given.
void FtdiUsbDriver::Impl::VanishedLocked()
{
    lost = true;
    readError = kVanished;
    error = readError;
}

// A command to an open chip failed: `what`, unless the device is gone or
// the IN pipe failed first (that failure is the reason; the command's
// followed from it).
void FtdiUsbDriver::Impl::FailCommand(const std::string& what)
{
    Fail(what);
    {
        std::lock_guard lock(mutex);
        if (!readError.empty())
            error = readError;
    }
    unsigned char status[2];
    if (libusb_control_transfer(ftdi->usb_dev, LIBUSB_ENDPOINT_IN, LIBUSB_REQUEST_GET_STATUS, 0, 0,
                                status, sizeof status, 200) == LIBUSB_ERROR_NO_DEVICE) {
        std::lock_guard lock(mutex);
        VanishedLocked();
    }
}

bool FtdiUsbDriver::Impl::SubmitLocked(Slot* slot)
{
    // libftdi names endpoints from the chip's side: out_ep carries data to the host.
    libusb_fill_bulk_transfer(slot->transfer, ftdi->usb_dev,
                              static_cast<unsigned char>(ftdi->out_ep), slot->buffer.data(),
                              static_cast<int>(slot->buffer.size()), &Impl::OnTransfer, slot, 0);
    const int rc = libusb_submit_transfer(slot->transfer);
    if (rc != 0) {
        if (rc == LIBUSB_ERROR_NO_DEVICE)
            VanishedLocked();
        else
            ReadFailureLocked("submitting a bulk-IN transfer failed: " + ErrorName(rc));
        return false;
    }
    slot->inFlight = true;
    ++inFlight;
    return true;
}

// Runs on the event thread.
void FtdiUsbDriver::Impl::Completed(Slot* slot)
{
    libusb_transfer* t = slot->transfer;
    std::lock_guard lock(mutex);
    slot->inFlight = false;
    --inFlight;
    settled.notify_all();
    const bool current = slot->generation == generation;
    // A transfer that fails still counts what it received before the failure
    // (up to a whole transfer, tens of milliseconds of samples): those bytes
    // came in order and are delivered ahead of the failure. An overflow's
    // last packet is babble, so its bytes are not trusted.
    if (current && !FailedLocked() && t->status != LIBUSB_TRANSFER_OVERFLOW &&
        t->status != LIBUSB_TRANSFER_CANCELLED)
        Keep(t);
    // These two are states of the device, whichever transfer reports them.
    if (t->status == LIBUSB_TRANSFER_NO_DEVICE) {
        VanishedLocked();
        return;
    }
    if (t->status == LIBUSB_TRANSFER_STALL) {
        halted = true;
        if (current)
            ReadFailureLocked(
                "bulk-IN endpoint stalled (EPIPE); it is cleared before the next run");
        return;
    }
    if (!current)
        return; // retired by a purge or close: its bytes predate it
    if (FailedLocked())
        return; // behind a gap: bytes after a failure would be out of order
    switch (t->status) {
    case LIBUSB_TRANSFER_COMPLETED:
        break;
    case LIBUSB_TRANSFER_OVERFLOW:
        ReadFailureLocked("bulk-IN transfer overflow (the chip sent more than was asked for)");
        return;
    case LIBUSB_TRANSFER_ERROR:
        // libusb reports every low-level bus error alike: EPROTO, EILSEQ and
        // ETIME (the device did not answer), also ECOMM and ENOSR.
        ReadFailureLocked("bulk-IN transfer error (a low-level USB error: EPROTO or EILSEQ, "
                          "corrupt packets on the cable; or ETIME, the device did not answer)");
        return;
    case LIBUSB_TRANSFER_TIMED_OUT: // no time-out is set; treat like any other failure
    case LIBUSB_TRANSFER_CANCELLED:
    default:
        ReadFailureLocked("bulk-IN transfer ended unexpectedly (status " +
                          std::to_string(static_cast<int>(t->status)) + ")");
        return;
    }
    SubmitLocked(slot); // a refusal is recorded as a read failure
}

// Queues what a transfer of the current ring received; a receive queue with
// no room for it is a read failure.
void FtdiUsbDriver::Impl::Keep(libusb_transfer* t)
{
    const auto len = static_cast<size_t>(std::max(t->actual_length, 0));
    if (scratch.size() < len)
        scratch.resize(len);
    const size_t n = StripModemStatus(t->buffer, len, maxPacket, scratch.data());
    if (!rx.Push(scratch.data(), n))
        ReadFailureLocked("receive queue overflow: more than " + std::to_string(queueLimit) +
                          " bytes waiting to be read");
}

bool FtdiUsbDriver::Impl::StartRing()
{
    std::lock_guard lock(mutex);
    ++generation;
    int started = 0;
    for (auto& s : slots) {
        if (started == kTransfersInFlight)
            break;
        if (s->inFlight)
            continue; // still out from an older generation
        s->buffer.resize(transferSize);
        s->generation = generation;
        if (!SubmitLocked(s.get()))
            return false;
        ++started;
    }
    while (started < kTransfersInFlight) {
        auto s = std::make_unique<Slot>();
        s->owner = this;
        s->transfer = libusb_alloc_transfer(0);
        if (s->transfer == nullptr) {
            ReadFailureLocked("out of memory for USB transfers");
            return false;
        }
        s->buffer.resize(transferSize);
        s->generation = generation;
        Slot* raw = s.get();
        slots.push_back(std::move(s));
        if (!SubmitLocked(raw))
            return false;
        ++started;
    }
    return true;
}

// Ends the current generation: whatever its transfers still bring is
// dropped when they come back. Waits up to `graceMs` for the cancelled ones,
// so that a stall one of them reports is known, then returns whether the
// endpoint is halted and takes that over from the event thread: the check
// and the retirement are one step, no stall can land between them unseen.
bool FtdiUsbDriver::Impl::RetireRing(int graceMs)
{
    std::vector<libusb_transfer*> out;
    {
        std::lock_guard lock(mutex);
        ++generation;
        for (auto& s : slots)
            if (s->inFlight)
                out.push_back(s->transfer);
    }
    for (libusb_transfer* t : out)
        libusb_cancel_transfer(t); // one that already finished reports NOT_FOUND
    std::unique_lock lock(mutex);
    if (events.joinable())
        settled.wait_for(lock, std::chrono::milliseconds(graceMs),
                         [this] { return inFlight == 0; });
    return std::exchange(halted, false);
}

void FtdiUsbDriver::Impl::RunEvents()
{
    // A persistent event-loop error (the descriptors cannot be polled or
    // reaped) would spin while no data comes: after a run of them it is a
    // read failure, and the loop backs off between tries.
    int failures = 0;
    while (!quit.load()) {
        timeval tv{0, 200000};
        const int rc = libusb_handle_events_timeout_completed(ftdi->usb_ctx, &tv, nullptr);
        if (rc == 0 || rc == LIBUSB_ERROR_INTERRUPTED) {
            failures = 0;
            continue;
        }
        if (++failures >= kEventFailuresTolerated) {
            std::lock_guard lock(mutex);
            if (rc == LIBUSB_ERROR_NO_DEVICE)
                VanishedLocked();
            else if (!FailedLocked())
                ReadFailureLocked("USB event handling keeps failing: " + ErrorName(rc));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kEventRetryMs));
    }
}

void FtdiUsbDriver::Impl::StartEventThread()
{
    quit = false;
    events = std::thread([this] {
        pthread_setname_np(pthread_self(), "mirantos-usb"); // visible in top -H and gdb
        RunEvents();
    });
}

void FtdiUsbDriver::Impl::StopEventThread()
{
    if (!events.joinable())
        return;
    quit = true;
    libusb_interrupt_event_handler(ftdi->usb_ctx);
    events.join();
}

// Lets go of the device and of every transfer, including any that never came
// back: closing the handle makes libusb forget them, so they can be freed.
void FtdiUsbDriver::Impl::Release()
{
    if (ftdi == nullptr)
        return;
    if (events.joinable())
        RetireRing(kCloseGraceMs);
    StopEventThread();
    if (open)
        ftdi_usb_close(ftdi);
    {
        std::lock_guard lock(mutex);
        for (auto& s : slots)
            libusb_free_transfer(s->transfer);
        slots.clear();
        inFlight = 0;
        rx.Clear();
        readError.clear();
        failureCounted = false;
        halted = false;
    }
    ftdi_free(ftdi);
    ftdi = nullptr;
    open = false;
}

// Chooses the device by the selector and opens it; on failure `ftdi` is
// still allocated and nothing is open.
FtdiUsbDriver::FtdiUsbDriver(FtdiDeviceSelector device, size_t queueLimit)
    : d_(std::make_unique<Impl>())
{
    d_->selector = std::move(device);
    d_->queueLimit = queueLimit;
    d_->rx = ByteQueue(queueLimit);
}

FtdiUsbDriver::~FtdiUsbDriver()
{
    d_->Release();
}

std::string FtdiUsbDriver::LastErrorText() const
{
    std::lock_guard lock(d_->mutex);
    return d_->error;
}

std::string FtdiUsbDriver::Identity() const
{
    std::lock_guard lock(d_->mutex);
    return d_->identity;
}

FT_STATUS FtdiUsbDriver::Open(int /*deviceIndex*/, FT_HANDLE* handle)
{
    if (handle == nullptr)
        return FT_INVALID_PARAMETER;
    *handle = nullptr;
    Impl& d = *d_;
    if (d.open) {
        d.SetError("device already open");
        return FT_DEVICE_NOT_OPENED;
    }
    d.Release(); // whatever an earlier failed open left behind
    {
        std::lock_guard lock(d.mutex);
        d.lost = false;
        d.halted = false;
        d.readError.clear();
        d.failureCounted = false;
        d.inFlight = 0;
        d.rx.Clear();
    }
    d.ftdi = ftdi_new();
    if (d.ftdi == nullptr) {
        d.SetError("ftdi_new failed (libusb could not be initialised)");
        return FT_OTHER_ERROR;
    }
    // Give the kernel's serial driver back when we let go of the chip.
    d.ftdi->module_detach_mode = AUTO_DETACH_REATACH_SIO_MODULE;

    if (const FT_STATUS st = d.OpenChosen(); st != FT_OK) {
        ftdi_free(d.ftdi);
        d.ftdi = nullptr;
        return st;
    }
    d.open = true;
    d.ftdi->usb_write_timeout = kWriteTimeoutMs;
    // A chip another program left in bit-bang or MPSSE mode goes back to its
    // FIFO mode; nothing else of the chip's configuration is touched.
    if (ftdi_set_bitmode(d.ftdi, 0x00, BITMODE_RESET) < 0) {
        d.Fail("resetting the bit mode failed");
        d.Release();
        return FT_IO_ERROR;
    }
    // A stall from an earlier session stays on the endpoint until cleared.
    if (const int rc =
            libusb_clear_halt(d.ftdi->usb_dev, static_cast<unsigned char>(d.ftdi->out_ep));
        rc != 0) {
        d.SetError("clearing the bulk-IN endpoint failed: " + ErrorName(rc));
        d.Release();
        return FT_IO_ERROR;
    }
    d.maxPacket = d.ftdi->max_packet_size > 2 ? d.ftdi->max_packet_size : 64;
    d.StartEventThread();
    if (!d.StartRing()) {
        d.Release();
        return FT_IO_ERROR;
    }
    d.SetError({});
    *handle = d_.get();
    return FT_OK;
}

FT_STATUS FtdiUsbDriver::SetUSBParameters(FT_HANDLE handle, uint32_t inTransferSize,
                                          uint32_t /*outTransferSize*/)
{
    Impl& d = *d_;
    if (!d.open || handle != &d)
        return FT_INVALID_HANDLE;
    if (inTransferSize < 64 || inTransferSize > 65536)
        return FT_INVALID_PARAMETER;
    // Whole packets only, so that every transfer starts on a status pair.
    const auto packet = static_cast<uint32_t>(d.maxPacket);
    const uint32_t size = std::max(packet, inTransferSize / packet * packet);
    if (size == d.transferSize)
        return FT_OK;
    const bool halted = d.RetireRing(0);
    d.transferSize = size;
    {
        std::lock_guard lock(d.mutex);
        d.halted = d.halted || halted; // left for the next purge to clear
        d.rx.Clear();
        if (d.lost)
            return FT_IO_ERROR;
    }
    return d.StartRing() ? FT_OK : FT_IO_ERROR;
}

FT_STATUS FtdiUsbDriver::Purge(FT_HANDLE handle, uint32_t mask)
{
    Impl& d = *d_;
    if (!d.open || handle != &d)
        return FT_INVALID_HANDLE;
    {
        std::lock_guard lock(d.mutex);
        if (d.lost)
            return FT_IO_ERROR;
    }
    if (mask & FT_PURGE_TX) {
        if (ftdi_tcoflush(d.ftdi) < 0) {
            d.FailCommand("purge of the transmit buffer failed");
            return FT_IO_ERROR;
        }
    }
    if ((mask & FT_PURGE_RX) == 0)
        return FT_OK;

    if (d.RetireRing(kPurgeGraceMs)) {
        const int rc =
            libusb_clear_halt(d.ftdi->usb_dev, static_cast<unsigned char>(d.ftdi->out_ep));
        if (rc != 0) {
            std::lock_guard lock(d.mutex);
            d.halted = true; // still to be cleared
            if (rc == LIBUSB_ERROR_NO_DEVICE)
                d.VanishedLocked();
            else
                d.error = "clearing the stalled bulk-IN endpoint failed: " + ErrorName(rc);
            return FT_IO_ERROR;
        }
    }
    if (ftdi_tciflush(d.ftdi) < 0) {
        d.FailCommand("purge of the receive buffer failed");
        return FT_IO_ERROR;
    }
    {
        std::lock_guard lock(d.mutex);
        d.rx.Clear();
        d.readError.clear();
        d.failureCounted = false;
    }
    return d.StartRing() ? FT_OK : FT_IO_ERROR;
}

FT_STATUS FtdiUsbDriver::Close(FT_HANDLE handle)
{
    Impl& d = *d_;
    if (!d.open || handle != &d)
        return FT_INVALID_HANDLE;
    d.Release();
    return FT_OK;
}

FT_STATUS FtdiUsbDriver::GetQueueStatus(FT_HANDLE handle, uint32_t* rxBytes)
{
    Impl& d = *d_;
    if (rxBytes == nullptr)
        return FT_INVALID_PARAMETER;
    *rxBytes = 0;
    if (!d.open || handle != &d)
        return FT_INVALID_HANDLE;
    std::lock_guard lock(d.mutex);
    if (d.FailedLocked()) {
        if (d.rx.Size() == 0)
            return FT_IO_ERROR;
        if (d.failureCounted && !d.readSinceCount) {
            d.failureCounted = false; // a caller may still take the rest in smaller reads
            return FT_IO_ERROR;
        }
        d.failureCounted = true;
        d.readSinceCount = false;
    }
    *rxBytes = static_cast<uint32_t>(std::min<size_t>(d.rx.Size(), UINT32_MAX));
    return FT_OK;
}

FT_STATUS FtdiUsbDriver::Read(FT_HANDLE handle, void* buffer, uint32_t bytesToRead,
                              uint32_t* bytesReturned)
{
    Impl& d = *d_;
    if (bytesReturned == nullptr)
        return FT_INVALID_PARAMETER;
    *bytesReturned = 0;
    if (!d.open || handle != &d)
        return FT_INVALID_HANDLE;
    std::lock_guard lock(d.mutex);
    if (d.FailedLocked() && d.rx.Size() == 0)
        return FT_IO_ERROR;
    *bytesReturned = static_cast<uint32_t>(d.rx.Pop(static_cast<uint8_t*>(buffer), bytesToRead));
    d.readSinceCount = true;
    return FT_OK;
}

FT_STATUS FtdiUsbDriver::Write(FT_HANDLE handle, const void* buffer, uint32_t bytesToWrite,
                               uint32_t* bytesWritten)
{
    Impl& d = *d_;
    if (bytesWritten == nullptr)
        return FT_INVALID_PARAMETER;
    *bytesWritten = 0;
    if (!d.open || handle != &d)
        return FT_INVALID_HANDLE;
    {
        // A broken IN pipe does not stop the OUT pipe: "AX" still reaches the board.
        std::lock_guard lock(d.mutex);
        if (d.lost)
            return FT_IO_ERROR;
    }
    const int rc = ftdi_write_data(d.ftdi, static_cast<const unsigned char*>(buffer),
                                   static_cast<int>(bytesToWrite));
    if (rc < 0) {
        d.FailCommand("write failed");
        return FT_IO_ERROR;
    }
    *bytesWritten = static_cast<uint32_t>(rc);
    return FT_OK;
}

} // namespace mirantos
