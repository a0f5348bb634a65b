#include "FtdiUsbDriver.h"

#include "FtdiPacket.h"

#include <ftdi.h>
#include <libusb.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <pthread.h>
#include <thread>
#include <vector>

namespace mirantos {

namespace {

// The chips with a FIFO mode the board may carry (vendor 0x0403): FT232R/FT245R,
// FT2232C/D/H, FT232H, FT-X. The FT4232H has no FIFO mode and is left alone.
constexpr int kFtdiVendor = 0x0403;
constexpr int kProducts[] = {0x6001, 0x6010, 0x6014, 0x6015};

bool IsBoardChip(const libusb_device_descriptor& d)
{
    return d.idVendor == kFtdiVendor && std::find(std::begin(kProducts), std::end(kProducts),
                                                  d.idProduct) != std::end(kProducts);
}

bool HasSeveralInterfaces(int type)
{
    return type == TYPE_2232C || type == TYPE_2232H || type == TYPE_4232H;
}

std::string ErrorName(int rc)
{
    return libusb_error_name(rc);
}

} // namespace

bool FtdiDeviceSelector::Parse(const std::string& text, FtdiDeviceSelector* out)
{
    *out = {};
    if (text.empty())
        return true;
    FtdiDeviceSelector s;
    s.serial = text;
    const size_t colon = text.rfind(':');
    if (colon != std::string::npos) {
        const std::string port = text.substr(colon + 1);
        if (port.size() != 1)
            return false;
        const char c = static_cast<char>(port[0] & ~0x20); // upper case
        if (c < 'A' || c > 'D')
            return false;
        s.serial = text.substr(0, colon);
        s.interfaceIndex = c - 'A';
    }
    if (s.serial.empty())
        return false;
    *out = s;
    return true;
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
    std::string readError; // reads fail while set; the next receive purge clears it
    size_t queueLimit = kQueueLimit;
    ByteQueue rx{kQueueLimit};
    std::vector<uint8_t> scratch;
    std::string error;

    static void LIBUSB_CALL OnTransfer(libusb_transfer* t);
    void Completed(Slot* slot);
    bool SubmitLocked(Slot* slot);
    void ReadFailureLocked(const std::string& why);
    bool StartRing();
    void RetireRing();
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

bool FtdiUsbDriver::Impl::SubmitLocked(Slot* slot)
{
    // libftdi names endpoints from the chip's side: out_ep carries data to the host.
    libusb_fill_bulk_transfer(slot->transfer, ftdi->usb_dev,
                              static_cast<unsigned char>(ftdi->out_ep), slot->buffer.data(),
                              static_cast<int>(slot->buffer.size()), &Impl::OnTransfer, slot, 0);
    const int rc = libusb_submit_transfer(slot->transfer);
    if (rc != 0) {
        if (rc == LIBUSB_ERROR_NO_DEVICE)
            lost = true;
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
    if (slot->generation != generation)
        return; // retired by a purge or close: its bytes predate it
    switch (t->status) {
    case LIBUSB_TRANSFER_COMPLETED: {
        const auto len = static_cast<size_t>(std::max(t->actual_length, 0));
        if (scratch.size() < len)
            scratch.resize(len);
        const size_t n = StripModemStatus(t->buffer, len, maxPacket, scratch.data());
        if (!rx.Push(scratch.data(), n))
            ReadFailureLocked("receive queue overflow: more than " + std::to_string(queueLimit) +
                              " bytes waiting to be read");
        break;
    }
    case LIBUSB_TRANSFER_NO_DEVICE:
        lost = true;
        ReadFailureLocked("USB device disappeared");
        return;
    case LIBUSB_TRANSFER_STALL:
        halted = true;
        ReadFailureLocked("bulk-IN endpoint stalled (EPIPE); it is cleared before the next run");
        return;
    case LIBUSB_TRANSFER_OVERFLOW:
        ReadFailureLocked("bulk-IN transfer overflow (the chip sent more than was asked for)");
        return;
    case LIBUSB_TRANSFER_ERROR:
        ReadFailureLocked("bulk-IN transfer error (EPROTO/EILSEQ: corrupt or missing packets "
                          "on the cable)");
        return;
    case LIBUSB_TRANSFER_TIMED_OUT: // no time-out is set; treat like any other failure
    case LIBUSB_TRANSFER_CANCELLED:
    default:
        ReadFailureLocked("bulk-IN transfer ended unexpectedly (status " +
                          std::to_string(static_cast<int>(t->status)) + ")");
        return;
    }
    if (readError.empty() && !lost)
        SubmitLocked(slot); // a failure is already recorded as a read failure
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

// Ends the current generation without waiting for its transfers: whatever
// they still bring is dropped when they come back.
void FtdiUsbDriver::Impl::RetireRing()
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
}

void FtdiUsbDriver::Impl::RunEvents()
{
    while (!quit.load()) {
        timeval tv{0, 200000};
        libusb_handle_events_timeout_completed(ftdi->usb_ctx, &tv, nullptr);
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
    if (events.joinable()) {
        RetireRing();
        std::unique_lock lock(mutex);
        settled.wait_for(lock, std::chrono::milliseconds(kCloseGraceMs),
                         [this] { return inFlight == 0; });
    }
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
        halted = false;
    }
    ftdi_free(ftdi);
    ftdi = nullptr;
    open = false;
}

// Chooses the device by the selector and opens it; on failure `ftdi` is
// still allocated and nothing is open.
FT_STATUS FtdiUsbDriver::Impl::OpenChosen()
{
    struct Candidate {
        libusb_device* dev;
        std::string product;
        std::string serial;
    };
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(ftdi->usb_ctx, &list);
    if (count < 0) {
        SetError("listing USB devices failed: " + ErrorName(static_cast<int>(count)));
        return FT_OTHER_ERROR;
    }
    std::vector<Candidate> found;
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device_descriptor desc{};
        if (libusb_get_device_descriptor(list[i], &desc) != 0 || !IsBoardChip(desc))
            continue;
        char product[128] = "";
        char serial[128] = "";
        // Reading the strings opens the device briefly; one we may not open
        // keeps empty strings and can only be the last resort.
        if (ftdi_usb_get_strings(ftdi, list[i], nullptr, 0, product, sizeof product, serial,
                                 sizeof serial) < 0) {
            product[0] = '\0';
            serial[0] = '\0';
        }
        found.push_back({list[i], product, serial});
    }

    const Candidate* chosen = nullptr;
    if (!selector.serial.empty()) {
        for (const auto& c : found)
            if (c.serial == selector.serial) {
                chosen = &c;
                break;
            }
    } else {
        const std::string prefix = kBoardProductPrefix;
        for (const auto& c : found)
            if (c.product.compare(0, prefix.size(), prefix) == 0) {
                chosen = &c;
                break;
            }
        if (chosen == nullptr && !found.empty())
            chosen = &found.front();
    }
    if (chosen == nullptr) {
        SetError(selector.serial.empty()
                     ? std::string("no FTDI device found")
                     : "no FTDI device with serial number \"" + selector.serial + "\" found");
        libusb_free_device_list(list, 1);
        return FT_DEVICE_NOT_FOUND;
    }

    ftdi_set_interface(ftdi, static_cast<ftdi_interface>(INTERFACE_A + selector.interfaceIndex));
    const int rc = ftdi_usb_open_dev(ftdi, chosen->dev);
    const std::string who = "\"" + chosen->product + "\" (serial \"" + chosen->serial + "\")";
    libusb_free_device_list(list, 1);
    if (rc < 0) {
        // No permission (udev rule missing), or the serial driver would not let go.
        Fail("opening " + who + " failed");
        return FT_DEVICE_NOT_OPENED;
    }
    if (selector.interfaceIndex > 0 && !HasSeveralInterfaces(ftdi->type)) {
        SetError(who + " has a single interface; \":" +
                 std::string(1, static_cast<char>('A' + selector.interfaceIndex)) +
                 "\" does not exist");
        ftdi_usb_close(ftdi);
        return FT_DEVICE_NOT_FOUND;
    }
    return FT_OK;
}

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
    d.RetireRing();
    d.transferSize = size;
    {
        std::lock_guard lock(d.mutex);
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
    bool halted = false;
    {
        std::lock_guard lock(d.mutex);
        if (d.lost)
            return FT_IO_ERROR;
        halted = d.halted;
    }
    if (mask & FT_PURGE_TX) {
        if (ftdi_tcoflush(d.ftdi) < 0) {
            d.Fail("purge of the transmit buffer failed");
            return FT_IO_ERROR;
        }
    }
    if ((mask & FT_PURGE_RX) == 0)
        return FT_OK;

    d.RetireRing();
    if (halted) {
        const int rc =
            libusb_clear_halt(d.ftdi->usb_dev, static_cast<unsigned char>(d.ftdi->out_ep));
        if (rc != 0) {
            if (rc == LIBUSB_ERROR_NO_DEVICE) {
                std::lock_guard lock(d.mutex);
                d.lost = true;
            }
            d.SetError("clearing the stalled bulk-IN endpoint failed: " + ErrorName(rc));
            return FT_IO_ERROR;
        }
    }
    if (ftdi_tciflush(d.ftdi) < 0) {
        d.Fail("purge of the receive buffer failed");
        return FT_IO_ERROR;
    }
    {
        std::lock_guard lock(d.mutex);
        d.rx.Clear();
        d.readError.clear();
        d.halted = false;
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
    if (d.lost || !d.readError.empty())
        return FT_IO_ERROR;
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
    if (d.lost || !d.readError.empty())
        return FT_IO_ERROR;
    *bytesReturned = static_cast<uint32_t>(d.rx.Pop(static_cast<uint8_t*>(buffer), bytesToRead));
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
        d.Fail("write failed");
        return FT_IO_ERROR;
    }
    *bytesWritten = static_cast<uint32_t>(rc);
    return FT_OK;
}

} // namespace mirantos
