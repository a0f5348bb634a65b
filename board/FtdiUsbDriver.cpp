#include "FtdiUsbDriver.h"

#include "FtdiPacket.h"

#include <ftdi.h>
#include <libusb.h>

#include <algorithm>
#include <vector>

namespace mirantos {

namespace {

// The chips the board may carry (vendor 0x0403).
constexpr int kFtdiVendor = 0x0403;
constexpr int kProducts[] = {0x6001, 0x6010, 0x6011, 0x6014, 0x6015};

} // namespace

struct FtdiUsbDriver::Impl {
    ftdi_context* ftdi = nullptr;
    bool open = false;
    bool lost = false;     // the device went away (or the bulk pipe broke)
    bool stopping = false; // completions are not resubmitted
    int inFlight = 0;
    size_t maxPacket = 64;
    uint32_t transferSize = 4096;
    std::vector<libusb_transfer*> transfers;
    std::vector<std::vector<uint8_t>> buffers;
    std::vector<uint8_t> scratch = std::vector<uint8_t>(65536);
    // Buffers of transfers libusb never gave back; they must outlive it.
    std::vector<std::vector<uint8_t>> graveyard;
    ByteQueue rx;
    std::string error;

    static void LIBUSB_CALL OnTransfer(libusb_transfer* t);
    void Completed(libusb_transfer* t);
    bool StartTransfers();
    void StopTransfers();
    void FreeTransfers();
    void Pump();
    void Fail(const char* what)
    {
        error = what;
        if (ftdi != nullptr) {
            const char* lib = ftdi_get_error_string(ftdi);
            if (lib != nullptr && *lib != '\0') {
                error += ": ";
                error += lib;
            }
        }
    }
};

void LIBUSB_CALL FtdiUsbDriver::Impl::OnTransfer(libusb_transfer* t)
{
    static_cast<Impl*>(t->user_data)->Completed(t);
}

void FtdiUsbDriver::Impl::Completed(libusb_transfer* t)
{
    switch (t->status) {
    case LIBUSB_TRANSFER_COMPLETED:
    case LIBUSB_TRANSFER_TIMED_OUT: {
        const auto len = static_cast<size_t>(std::max(t->actual_length, 0));
        const size_t n = StripModemStatus(t->buffer, len, maxPacket, scratch.data());
        if (!rx.Push(scratch.data(), n))
            error = "receive queue overflow";
        break;
    }
    case LIBUSB_TRANSFER_NO_DEVICE:
        lost = true;
        error = "USB device disappeared";
        break;
    case LIBUSB_TRANSFER_CANCELLED:
        break;
    default: // error, stall, overflow: the pipe can no longer be trusted
        lost = true;
        error = std::string("bulk-IN transfer failed: ") +
                libusb_error_name(t->status == LIBUSB_TRANSFER_STALL ? LIBUSB_ERROR_PIPE
                                                                     : LIBUSB_ERROR_IO);
        break;
    }
    if (t->status == LIBUSB_TRANSFER_COMPLETED || t->status == LIBUSB_TRANSFER_TIMED_OUT) {
        if (!stopping && !lost) {
            const int rc = libusb_submit_transfer(t);
            if (rc == 0)
                return; // still in flight
            if (rc == LIBUSB_ERROR_NO_DEVICE)
                lost = true;
            error = std::string("resubmit failed: ") + libusb_error_name(rc);
        }
    }
    --inFlight;
}

bool FtdiUsbDriver::Impl::StartTransfers()
{
    if (transfers.empty()) {
        for (int i = 0; i < kTransfersInFlight; ++i) {
            libusb_transfer* t = libusb_alloc_transfer(0);
            if (t == nullptr) {
                error = "out of memory for USB transfers";
                return false;
            }
            transfers.push_back(t);
            buffers.emplace_back(transferSize);
        }
    }
    stopping = false;
    for (size_t i = 0; i < transfers.size(); ++i) {
        // libftdi names endpoints from the chip's side: out_ep carries data to the host.
        libusb_fill_bulk_transfer(transfers[i], ftdi->usb_dev,
                                  static_cast<unsigned char>(ftdi->out_ep), buffers[i].data(),
                                  static_cast<int>(transferSize), &Impl::OnTransfer, this, 0);
        const int rc = libusb_submit_transfer(transfers[i]);
        if (rc != 0) {
            if (rc == LIBUSB_ERROR_NO_DEVICE)
                lost = true;
            error = std::string("cannot start bulk-IN transfers: ") + libusb_error_name(rc);
            return false;
        }
        ++inFlight;
    }
    return true;
}

void FtdiUsbDriver::Impl::StopTransfers()
{
    stopping = true;
    if (inFlight == 0)
        return;
    for (libusb_transfer* t : transfers)
        libusb_cancel_transfer(t); // not-in-flight ones just report NOT_FOUND
    // Let libusb hand back every cancelled transfer before anything touches
    // their buffers; bounded so that a wedged host controller cannot hang us.
    for (int i = 0; i < 100 && inFlight > 0; ++i) {
        timeval tv{0, 10000};
        libusb_handle_events_timeout_completed(ftdi->usb_ctx, &tv, nullptr);
    }
}

void FtdiUsbDriver::Impl::FreeTransfers()
{
    if (inFlight > 0) {
        // Still owned by libusb: leaking them is the only safe choice.
        transfers.clear();
        for (auto& b : buffers)
            graveyard.push_back(std::move(b));
        buffers.clear();
        return;
    }
    for (libusb_transfer* t : transfers)
        libusb_free_transfer(t);
    transfers.clear();
    buffers.clear();
}

void FtdiUsbDriver::Impl::Pump()
{
    timeval zero{0, 0};
    libusb_handle_events_timeout_completed(ftdi->usb_ctx, &zero, nullptr);
}

FtdiUsbDriver::FtdiUsbDriver() : d_(std::make_unique<Impl>()) {}

FtdiUsbDriver::~FtdiUsbDriver()
{
    if (d_->open)
        Close(d_.get());
}

std::string FtdiUsbDriver::LastErrorText() const
{
    return d_->error;
}

FT_STATUS FtdiUsbDriver::Open(int deviceIndex, FT_HANDLE* handle)
{
    if (handle == nullptr)
        return FT_INVALID_PARAMETER;
    *handle = nullptr;
    if (d_->open) {
        d_->error = "device already open";
        return FT_DEVICE_NOT_OPENED;
    }
    Impl& d = *d_;
    d.ftdi = ftdi_new();
    if (d.ftdi == nullptr) {
        d.error = "ftdi_new failed (libusb could not be initialised)";
        return FT_OTHER_ERROR;
    }
    // Give the kernel's serial driver back when we let go of the chip.
    d.ftdi->module_detach_mode = AUTO_DETACH_REATACH_SIO_MODULE;

    FT_STATUS status = FT_DEVICE_NOT_FOUND;
    d.error = "no FTDI device found";
    int seen = 0;
    for (int product : kProducts) {
        ftdi_device_list* list = nullptr;
        const int count = ftdi_usb_find_all(d.ftdi, &list, kFtdiVendor, product);
        if (count < 0) {
            d.Fail("ftdi_usb_find_all failed");
            status = FT_OTHER_ERROR;
        }
        ftdi_device_list* dev = list;
        for (; dev != nullptr && seen < deviceIndex; dev = dev->next)
            ++seen;
        if (dev != nullptr) {
            const int rc = ftdi_usb_open_dev(d.ftdi, dev->dev);
            ftdi_list_free(&list);
            if (rc < 0) {
                // No permission (udev rule missing) or the serial driver would not let go.
                d.Fail("ftdi_usb_open_dev failed");
                ftdi_free(d.ftdi);
                d.ftdi = nullptr;
                return FT_DEVICE_NOT_OPENED;
            }
            status = FT_OK;
            break;
        }
        ftdi_list_free(&list);
    }
    if (status != FT_OK) {
        ftdi_free(d.ftdi);
        d.ftdi = nullptr;
        return status;
    }

    d.ftdi->usb_write_timeout = kWriteTimeoutMs;
    if (ftdi_set_latency_timer(d.ftdi, kLatencyMs) < 0) {
        d.Fail("ftdi_set_latency_timer failed");
        ftdi_usb_close(d.ftdi);
        ftdi_free(d.ftdi);
        d.ftdi = nullptr;
        return FT_IO_ERROR;
    }
    d.maxPacket = d.ftdi->max_packet_size > 2 ? d.ftdi->max_packet_size : 64;
    d.open = true;
    d.lost = false;
    d.rx.Clear();
    if (!d.StartTransfers()) {
        Close(d_.get());
        return FT_IO_ERROR;
    }
    d.error.clear();
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
    d.StopTransfers();
    d.FreeTransfers();
    d.transferSize = size;
    ftdi_read_data_set_chunksize(d.ftdi, size);
    if (d.lost || !d.StartTransfers())
        return FT_IO_ERROR;
    return FT_OK;
}

FT_STATUS FtdiUsbDriver::Purge(FT_HANDLE handle, uint32_t mask)
{
    Impl& d = *d_;
    if (!d.open || handle != &d)
        return FT_INVALID_HANDLE;
    if (d.lost)
        return FT_IO_ERROR;
    d.StopTransfers();
    int rc = 0;
    if ((mask & (FT_PURGE_RX | FT_PURGE_TX)) == (FT_PURGE_RX | FT_PURGE_TX))
        rc = ftdi_tcioflush(d.ftdi);
    else if (mask & FT_PURGE_RX)
        rc = ftdi_tciflush(d.ftdi);
    else if (mask & FT_PURGE_TX)
        rc = ftdi_tcoflush(d.ftdi);
    if (mask & FT_PURGE_RX)
        d.rx.Clear();
    if (rc < 0) {
        d.Fail("purge failed");
        return FT_IO_ERROR;
    }
    if (d.lost || !d.StartTransfers())
        return FT_IO_ERROR;
    return FT_OK;
}

FT_STATUS FtdiUsbDriver::Close(FT_HANDLE handle)
{
    Impl& d = *d_;
    if (!d.open || handle != &d)
        return FT_INVALID_HANDLE;
    d.StopTransfers();
    d.FreeTransfers();
    const int rc = ftdi_usb_close(d.ftdi);
    ftdi_free(d.ftdi);
    d.ftdi = nullptr;
    d.open = false;
    d.rx.Clear();
    return rc < 0 && !d.lost ? FT_IO_ERROR : FT_OK;
}

FT_STATUS FtdiUsbDriver::GetQueueStatus(FT_HANDLE handle, uint32_t* rxBytes)
{
    Impl& d = *d_;
    if (rxBytes == nullptr)
        return FT_INVALID_PARAMETER;
    *rxBytes = 0;
    if (!d.open || handle != &d)
        return FT_INVALID_HANDLE;
    if (!d.lost)
        d.Pump();
    if (d.lost || d.rx.Overflowed())
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
    if (d.lost || d.rx.Overflowed())
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
    if (d.lost)
        return FT_IO_ERROR;
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
