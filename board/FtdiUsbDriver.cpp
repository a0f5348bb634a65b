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
#include <utility>
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

std::string ErrorName(int rc)
{
    return libusb_error_name(rc);
}

char InterfaceLetter(int index)
{
    return static_cast<char>('A' + index);
}

// Interfaces of the chip's first configuration, read from the descriptors
// the system already holds (no open needed); by the product id when those
// cannot be had.
int InterfaceCount(libusb_device* dev, const libusb_device_descriptor& desc)
{
    libusb_config_descriptor* cfg = nullptr;
    if (libusb_get_config_descriptor(dev, 0, &cfg) == 0 && cfg != nullptr) {
        const int n = cfg->bNumInterfaces;
        libusb_free_config_descriptor(cfg);
        return n;
    }
    return desc.idProduct == 0x6010 ? 2 : 1;
}

// Event-loop errors in a row that make a read failure, and the pause after each.
constexpr int kEventFailuresTolerated = 10;
constexpr int kEventRetryMs = 10;
// How long a purge lets the retired transfers come back (one that never does,
// a wedged host controller, costs this much once).
constexpr int kPurgeGraceMs = 50;

constexpr const char* kVanished = "USB device disappeared (unplugged, or lost by its hub)";
constexpr const char* kUdevHint =
    "install the udev rule 60-mirantos-ftdi.rules (then udevadm control --reload-rules "
    "and plug the board in again) or run as a member of its group";

} // namespace

bool FtdiDeviceSelector::Parse(const std::string& text, FtdiDeviceSelector* out)
{
    *out = {};
    if (!Problem(text).empty())
        return false;
    if (text.empty())
        return true;
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos) {
        out->serial = text;
    } else {
        out->serial = text.substr(0, colon);
        out->interfaceIndex = (text[colon + 1] & ~0x20) - 'A';
    }
    return true;
}

std::string FtdiDeviceSelector::Problem(const std::string& text)
{
    if (text.empty())
        return {};
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos)
        return {};
    const std::string port = text.substr(colon + 1);
    // The FIFO chips have at most two interfaces.
    if (port.size() != 1 || ((port[0] & ~0x20) != 'A' && (port[0] & ~0x20) != 'B'))
        return "the interface letter \"" + port +
               "\" after the colon is not A or B (the chips have at most interfaces A and B)";
    if (colon == 0)
        return "no serial number before \":" + port + "\"";
    return {};
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
FT_STATUS FtdiUsbDriver::Impl::OpenChosen()
{
    struct Candidate {
        libusb_device* dev;
        std::string product;
        std::string serial;
        int openRc; // why the strings could not be read (0: they were)
        int interfaces;
    };
    if (!selector.problem.empty()) {
        SetError(selector.problem);
        return FT_DEVICE_NOT_FOUND;
    }
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(ftdi->usb_ctx, &list);
    if (count < 0) {
        SetError("listing USB devices failed: " + ErrorName(static_cast<int>(count)));
        return FT_OTHER_ERROR;
    }
    std::vector<Candidate> found;
    int denied = 0;
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device_descriptor desc{};
        if (libusb_get_device_descriptor(list[i], &desc) != 0 || !IsBoardChip(desc))
            continue;
        Candidate c{list[i], {}, {}, 0, InterfaceCount(list[i], desc)};
        // Each string on its own: a chip without a serial number is still
        // known by its product string. One we may not open keeps empty
        // strings and can only be the last resort.
        libusb_device_handle* h = nullptr;
        c.openRc = libusb_open(list[i], &h);
        if (c.openRc == 0) {
            auto text = [h](uint8_t index) {
                unsigned char buf[128];
                const int n =
                    index == 0 ? 0 : libusb_get_string_descriptor_ascii(h, index, buf, sizeof buf);
                return n > 0 ? std::string(reinterpret_cast<char*>(buf), static_cast<size_t>(n))
                             : std::string();
            };
            c.product = text(desc.iProduct);
            c.serial = text(desc.iSerialNumber);
            libusb_close(h);
        }
        denied += c.openRc == LIBUSB_ERROR_ACCESS;
        found.push_back(std::move(c));
    }
    auto done = [&](FT_STATUS st, std::string why) {
        libusb_free_device_list(list, 1);
        SetError(std::move(why));
        return st;
    };
    auto serials = [](const std::vector<const Candidate*>& cs) {
        std::string text;
        for (const Candidate* c : cs)
            text += (text.empty() ? "\"" : ", \"") + c->serial + "\"";
        return text;
    };

    std::vector<const Candidate*> matches;
    const std::string prefix = kBoardProductPrefix;
    for (const auto& c : found)
        if (selector.serial.empty() ? c.product.compare(0, prefix.size(), prefix) == 0
                                    : c.serial == selector.serial)
            matches.push_back(&c);
    if (matches.size() > 1)
        // Taking either could drive the wrong instrument.
        return done(FT_DEVICE_NOT_FOUND, selector.serial.empty()
                                             ? "several boards found (serial numbers " +
                                                   serials(matches) +
                                                   "); choose one by its serial number"
                                             : "several FTDI devices have the serial number \"" +
                                                   selector.serial + "\"; reprogram one of them");
    if (matches.empty() && selector.serial.empty() && !found.empty())
        matches.push_back(&found.front()); // a board whose chip was never given its name
    if (matches.empty()) {
        const std::string what = selector.serial.empty() ? std::string("no FTDI device found")
                                                         : "no FTDI device with serial number \"" +
                                                               selector.serial + "\" found";
        if (denied > 0)
            return done(FT_DEVICE_NOT_OPENED,
                        what + ", but " + std::to_string(denied) +
                            " FTDI device(s) could not be opened for lack of permission (the "
                            "board may be among them): " +
                            kUdevHint);
        return done(FT_DEVICE_NOT_FOUND, what);
    }

    const Candidate& chosen = *matches.front();
    const std::string who = "\"" + chosen.product + "\" (serial \"" + chosen.serial + "\")";
    // Claiming an interface the chip does not have fails with a misleading
    // "unable to claim": say what is wrong before trying.
    if (selector.interfaceIndex >= chosen.interfaces)
        return done(FT_DEVICE_NOT_FOUND, who + ": this chip has no interface " +
                                             InterfaceLetter(selector.interfaceIndex));
    if (chosen.openRc == LIBUSB_ERROR_ACCESS)
        return done(FT_DEVICE_NOT_OPENED,
                    "an FTDI device was found but could not be opened for lack of permission: " +
                        std::string(kUdevHint));

    ftdi_set_interface(ftdi, static_cast<ftdi_interface>(INTERFACE_A + selector.interfaceIndex));
    const int rc = ftdi_usb_open_dev(ftdi, chosen.dev);
    libusb_free_device_list(list, 1);
    if (rc < 0) {
        // No permission (udev rule missing), or the serial driver would not let go.
        Fail("opening " + who + " failed");
        return FT_DEVICE_NOT_OPENED;
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
