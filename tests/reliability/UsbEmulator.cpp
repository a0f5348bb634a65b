#include "UsbEmulator.h"

#include <umockdev.h>

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <unistd.h>

namespace mirantos::testing {

namespace {

constexpr int kPacketSize = 64;
constexpr int kStatusBytes = 2;
constexpr uint8_t kModemStatus[kStatusBytes] = {0x01, 0x60};
constexpr uint8_t kEpIn = 0x81;
constexpr uint8_t kEpOut = 0x02;
constexpr const char* kDevNode = "/dev/bus/usb/001/001";

// FT232R: USB 2.0, vendor class, 64-byte endpoint 0, bcdDevice 6.00, one
// configuration with one interface and a bulk endpoint pair of 64 bytes.
const uint8_t kDeviceDescriptor[18] = {0x12, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0x40, 0x03,
                                       0x04, 0x01, 0x60, 0x00, 0x06, 0x01, 0x02, 0x03, 0x01};
const uint8_t kConfigDescriptor[32] = {
    0x09, 0x02, 0x20,   0x00, 0x01, 0x01, 0x00, 0xA0, 0x2D, // configuration
    0x09, 0x04, 0x00,   0x00, 0x02, 0xFF, 0xFF, 0xFF, 0x02, // interface 0
    0x07, 0x05, kEpIn,  0x02, 0x40, 0x00, 0x00,             // bulk IN
    0x07, 0x05, kEpOut, 0x02, 0x40, 0x00, 0x00};            // bulk OUT

std::string Hex(const uint8_t* p, size_t n)
{
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s.push_back(digits[p[i] >> 4]);
        s.push_back(digits[p[i] & 0xF]);
    }
    return s;
}

std::vector<uint8_t> StringDescriptor(const std::string& ascii)
{
    std::vector<uint8_t> d{static_cast<uint8_t>(2 + 2 * ascii.size()), 0x03};
    for (char c : ascii) {
        d.push_back(static_cast<uint8_t>(c));
        d.push_back(0);
    }
    return d;
}

// The preload library is what redirects /sys and /dev into the testbed.
bool PreloadActive()
{
    const char* preload = std::getenv("LD_PRELOAD");
    return preload != nullptr && std::strstr(preload, "libumockdev-preload") != nullptr;
}

} // namespace

struct EmulatedFt232r::State {
    std::mutex mutex;
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    std::unique_ptr<SimBoardDriver> firmware;
    FT_HANDLE fw = nullptr;
    int64_t usPerInUrb = 1000;

    UMockdevTestbed* testbed = nullptr;
    UMockdevIoctlBase* handler = nullptr;

    // URBs: bulk-IN ones wait in `pending` until a reap completes them;
    // everything else is complete on submission.
    std::deque<UMockdevIoctlData*> pending;
    std::deque<UMockdevIoctlData*> completed;
    bool lastReapWasIn = false;

    bool claimRefused = false;
    bool vanished = false;
    uint8_t latency = 16;

    std::string line;
    std::vector<ReceivedCommand> commands;
    std::vector<uint8_t> inLog;
    size_t inLogAtPurge = 0;
    int purges = 0;
    int claims = 0;
    int64_t inUrbs = 0;
    int64_t outBytes = 0;

    ~State()
    {
        for (auto* d : pending)
            g_object_unref(d);
        for (auto* d : completed)
            g_object_unref(d);
    }

    void PurgeFirmware()
    {
        ++purges;
        firmware->Purge(fw, FT_PURGE_RX | FT_PURGE_TX);
        inLogAtPurge = inLog.size();
    }

    void FeedFirmware(const uint8_t* p, int n)
    {
        outBytes += n;
        for (int i = 0; i < n; ++i) {
            if (p[i] == '\r') {
                commands.push_back({line, inLog.size()});
                line.clear();
            } else {
                line.push_back(static_cast<char>(p[i]));
            }
        }
        uint32_t written = 0;
        firmware->Write(fw, p, static_cast<uint32_t>(n), &written);
    }

    // Fills a bulk-IN buffer the way the chip does: whole 64-byte packets of
    // 62 payload bytes, a last shorter one, or the two status bytes alone.
    int FillIn(uint8_t* buf, int capacity)
    {
        clock->AdvanceUs(usPerInUrb);
        ++inUrbs;
        const int packets = std::max(1, capacity / kPacketSize);
        uint32_t queued = 0;
        firmware->GetQueueStatus(fw, &queued);
        const uint32_t room = static_cast<uint32_t>(packets * (kPacketSize - kStatusBytes));
        std::vector<uint8_t> payload(std::min(queued, room));
        uint32_t got = 0;
        if (!payload.empty())
            firmware->Read(fw, payload.data(), static_cast<uint32_t>(payload.size()), &got);
        payload.resize(got);
        inLog.insert(inLog.end(), payload.begin(), payload.end());

        int out = 0;
        size_t pos = 0;
        do {
            if (out + kStatusBytes > capacity)
                break;
            std::memcpy(buf + out, kModemStatus, kStatusBytes);
            out += kStatusBytes;
            const size_t take = std::min<size_t>(payload.size() - pos, kPacketSize - kStatusBytes);
            if (take > 0)
                std::memcpy(buf + out, payload.data() + pos, take);
            out += static_cast<int>(take);
            pos += take;
        } while (pos < payload.size());
        return out;
    }

    // A control request (setup packet + data stage). Returns the data length
    // transferred, or -errno.
    int Control(const uint8_t* setup, uint8_t* data, int dataLen)
    {
        const uint8_t type = setup[0];
        const uint8_t request = setup[1];
        const uint16_t value = static_cast<uint16_t>(setup[2] | (setup[3] << 8));
        const uint16_t length = static_cast<uint16_t>(setup[6] | (setup[7] << 8));
        const int n = std::min<int>(length, dataLen);
        auto answer = [&](const uint8_t* bytes, int count) {
            const int k = std::min(n, count);
            std::memcpy(data, bytes, static_cast<size_t>(k));
            return k;
        };

        if (type == 0x40) {        // vendor, host to device
            if (request == 0x00) { // SIO reset: 0 resets, 1 and 2 purge one direction each
                PurgeFirmware();
            } else if (request == 0x09) {
                latency = static_cast<uint8_t>(value & 0xFF);
            }
            return 0;
        }
        if (type == 0xC0) { // vendor, device to host
            switch (request) {
            case 0x05:
                return answer(kModemStatus, 2);
            case 0x0A:
                return answer(&latency, 1);
            case 0x0C: {
                const uint8_t pins = 0xFF;
                return answer(&pins, 1);
            }
            case 0x90: {
                const uint8_t word[2] = {0xFF, 0xFF};
                return answer(word, 2);
            }
            default:
                return -EPIPE;
            }
        }
        if (type == 0x80) { // standard, device to host
            if (request == 0x06) {
                const int descType = value >> 8;
                const int index = value & 0xFF;
                if (descType == 1)
                    return answer(kDeviceDescriptor, sizeof kDeviceDescriptor);
                if (descType == 2)
                    return answer(kConfigDescriptor, sizeof kConfigDescriptor);
                if (descType == 3) {
                    static const char* texts[] = {nullptr, "FTDI", "FT232R USB UART", "MRT00001"};
                    std::vector<uint8_t> d;
                    if (index == 0)
                        d = {0x04, 0x03, 0x09, 0x04};
                    else if (index <= 3)
                        d = StringDescriptor(texts[index]);
                    else
                        return -EPIPE;
                    return answer(d.data(), static_cast<int>(d.size()));
                }
                return -EPIPE;
            }
            if (request == 0x00) {
                const uint8_t status[2] = {0, 0};
                return answer(status, 2);
            }
            if (request == 0x08) {
                const uint8_t config = 1;
                return answer(&config, 1);
            }
            return -EPIPE;
        }
        return 0; // standard requests to the device: configuration, features
    }

    void CompleteUrb(UMockdevIoctlClient* client, UMockdevIoctlData* urbData)
    {
        UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
        UMockdevIoctlData* ptr = umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), nullptr);
        umockdev_ioctl_data_set_ptr(ptr, 0, urbData);
        g_object_unref(ptr);
        g_object_unref(urbData);
        umockdev_ioctl_client_complete(client, 0, 0);
    }

    gboolean HandleIoctl(UMockdevIoctlClient* client)
    {
        std::lock_guard lock(mutex);
        const unsigned long request = umockdev_ioctl_client_get_request(client);
        UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
        auto fail = [client](int err) {
            umockdev_ioctl_client_complete(client, -1, err);
            return TRUE;
        };
        auto ok = [client](long result = 0) {
            umockdev_ioctl_client_complete(client, result, 0);
            return TRUE;
        };

        if (request == USBDEVFS_GET_CAPABILITIES) {
            UMockdevIoctlData* d = umockdev_ioctl_data_resolve(arg, 0, sizeof(uint32_t), nullptr);
            const uint32_t caps = USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
                                  USBDEVFS_CAP_REAP_AFTER_DISCONNECT | USBDEVFS_CAP_ZERO_PACKET;
            std::memcpy(d->data, &caps, sizeof caps);
            g_object_unref(d);
            return ok();
        }

        if (request == USBDEVFS_REAPURB || request == USBDEVFS_REAPURBNDELAY) {
            if (!completed.empty()) {
                UMockdevIoctlData* urbData = completed.front();
                completed.pop_front();
                CompleteUrb(client, urbData);
                return TRUE;
            }
            if (!pending.empty() && (vanished || !lastReapWasIn)) {
                UMockdevIoctlData* urbData = pending.front();
                pending.pop_front();
                auto* urb = reinterpret_cast<usbdevfs_urb*>(urbData->data);
                if (vanished) {
                    urb->status = -ENODEV;
                    urb->actual_length = 0;
                } else {
                    urb->actual_length =
                        FillIn(static_cast<uint8_t*>(urb->buffer), urb->buffer_length);
                    urb->status = 0;
                }
                lastReapWasIn = true;
                CompleteUrb(client, urbData);
                return TRUE;
            }
            // One bulk-IN completion per round, so that libusb's reap loop ends
            // and the waiting caller sees its transfer done.
            lastReapWasIn = false;
            return fail(vanished ? ENODEV : EAGAIN);
        }

        if (request == USBDEVFS_DISCARDURB) {
            // The argument is the client's URB address itself.
            const auto addr = *reinterpret_cast<gulong*>(arg->data);
            auto it = std::find_if(pending.begin(), pending.end(),
                                   [addr](UMockdevIoctlData* d) { return d->client_addr == addr; });
            if (it == pending.end())
                return fail(EINVAL);
            auto* urb = reinterpret_cast<usbdevfs_urb*>((*it)->data);
            urb->status = -ENOENT;
            urb->actual_length = 0;
            completed.push_back(*it);
            pending.erase(it);
            return ok();
        }

        if (vanished)
            return fail(ENODEV);

        switch (request) {
        case USBDEVFS_CLAIMINTERFACE:
        case USBDEVFS_DISCONNECT_CLAIM: // claim with the kernel driver detached
            ++claims;
            return claimRefused ? fail(EBUSY) : ok();
        case USBDEVFS_RELEASEINTERFACE:
        case USBDEVFS_SETCONFIGURATION:
        case USBDEVFS_SETINTERFACE:
        case USBDEVFS_CLEAR_HALT:
        case USBDEVFS_RESET:
        case USBDEVFS_RESETEP:
            return ok();
        case USBDEVFS_GETDRIVER:
        case USBDEVFS_IOCTL:
            return fail(ENODATA); // no kernel driver is bound
        case USBDEVFS_CONNECTINFO: {
            UMockdevIoctlData* d =
                umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_connectinfo), nullptr);
            auto* info = reinterpret_cast<usbdevfs_connectinfo*>(d->data);
            info->devnum = 1;
            info->slow = 0;
            g_object_unref(d);
            return ok();
        }
        case USBDEVFS_CONTROL: {
            UMockdevIoctlData* d =
                umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_ctrltransfer), nullptr);
            auto* ct = reinterpret_cast<usbdevfs_ctrltransfer*>(d->data);
            UMockdevIoctlData* buf = nullptr;
            if (ct->wLength > 0)
                buf = umockdev_ioctl_data_resolve(d, offsetof(usbdevfs_ctrltransfer, data),
                                                  ct->wLength, nullptr);
            uint8_t setup[8] = {ct->bRequestType,
                                ct->bRequest,
                                static_cast<uint8_t>(ct->wValue & 0xFF),
                                static_cast<uint8_t>(ct->wValue >> 8),
                                static_cast<uint8_t>(ct->wIndex & 0xFF),
                                static_cast<uint8_t>(ct->wIndex >> 8),
                                static_cast<uint8_t>(ct->wLength & 0xFF),
                                static_cast<uint8_t>(ct->wLength >> 8)};
            uint8_t scratch[1];
            const int r = Control(setup, buf ? buf->data : scratch, buf ? ct->wLength : 0);
            if (buf)
                g_object_unref(buf);
            g_object_unref(d);
            return r < 0 ? fail(-r) : ok(r);
        }
        case USBDEVFS_SUBMITURB: {
            UMockdevIoctlData* urbData =
                umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
            auto* urb = reinterpret_cast<usbdevfs_urb*>(urbData->data);
            UMockdevIoctlData* buf = nullptr;
            if (urb->buffer_length > 0)
                buf = umockdev_ioctl_data_resolve(urbData, offsetof(usbdevfs_urb, buffer),
                                                  static_cast<gsize>(urb->buffer_length), nullptr);
            urb = reinterpret_cast<usbdevfs_urb*>(urbData->data);
            auto* bytes = static_cast<uint8_t*>(urb->buffer);
            bool accepted = true;
            if (urb->type == USBDEVFS_URB_TYPE_CONTROL && urb->buffer_length >= 8) {
                const int r = Control(bytes, bytes + 8, urb->buffer_length - 8);
                urb->status = r < 0 ? r : 0;
                urb->actual_length = r < 0 ? 0 : r;
                completed.push_back(urbData);
            } else if (urb->type == USBDEVFS_URB_TYPE_BULK && urb->endpoint == kEpOut) {
                FeedFirmware(bytes, urb->buffer_length);
                urb->status = 0;
                urb->actual_length = urb->buffer_length;
                completed.push_back(urbData);
            } else if (urb->type == USBDEVFS_URB_TYPE_BULK && urb->endpoint == kEpIn) {
                pending.push_back(urbData);
            } else {
                accepted = false;
                g_object_unref(urbData);
            }
            if (buf)
                g_object_unref(buf);
            return accepted ? ok() : fail(EINVAL);
        }
        default:
            return fail(ENOTTY);
        }
    }

    static gboolean OnHandleIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self)
    {
        return static_cast<State*>(self)->HandleIoctl(client);
    }
};

EmulatedFt232r::EmulatedFt232r(EmulatorOptions options) : state_(std::make_unique<State>())
{
    State& s = *state_;
    s.usPerInUrb = options.usPerInUrb;
    options.firmware.clock = s.clock;
    s.firmware = std::make_unique<SimBoardDriver>(options.firmware);
    // The board keeps power while the host opens and closes the chip.
    s.firmware->Open(0, &s.fw);

    if (!PreloadActive()) {
        setupError_ = "not running under umockdev-wrapper";
        return;
    }
    s.testbed = umockdev_testbed_new();
    s.handler = umockdev_ioctl_base_new();
    g_signal_connect(s.handler, "handle-ioctl", G_CALLBACK(&State::OnHandleIoctl), &s);

    GError* error = nullptr;
    // The handler goes in first, so the node answers as soon as it appears.
    if (!umockdev_testbed_attach_ioctl(s.testbed, kDevNode, s.handler, &error)) {
        setupError_ = error ? error->message : "attach_ioctl failed";
        g_clear_error(&error);
        return;
    }
    const std::string description = std::string("P: /devices/usb1\n"
                                                "N: bus/usb/001/001\n"
                                                "E: SUBSYSTEM=usb\n"
                                                "E: DEVTYPE=usb_device\n"
                                                "E: DRIVER=usb\n"
                                                "E: BUSNUM=001\n"
                                                "E: DEVNUM=001\n"
                                                "E: DEVNAME=") +
                                    kDevNode +
                                    "\n"
                                    "E: ID_VENDOR_ID=0403\n"
                                    "E: ID_MODEL_ID=6001\n"
                                    "A: busnum=1\\n\n"
                                    "A: devnum=1\\n\n"
                                    "A: speed=12\\n\n"
                                    "A: bConfigurationValue=1\\n\n"
                                    "A: idVendor=0403\\n\n"
                                    "A: idProduct=6001\\n\n"
                                    "H: descriptors=" +
                                    Hex(kDeviceDescriptor, sizeof kDeviceDescriptor) +
                                    Hex(kConfigDescriptor, sizeof kConfigDescriptor) + "\n";
    if (!umockdev_testbed_add_from_string(s.testbed, description.c_str(), &error)) {
        setupError_ = error ? error->message : "add_from_string failed";
        g_clear_error(&error);
        return;
    }
    ready_ = true;
}

EmulatedFt232r::~EmulatedFt232r()
{
    State& s = *state_;
    if (s.testbed) {
        GError* error = nullptr;
        if (s.handler)
            umockdev_testbed_detach_ioctl(s.testbed, kDevNode, &error);
        g_clear_error(&error);
    }
    if (s.handler)
        g_object_unref(s.handler);
    if (s.testbed)
        g_object_unref(s.testbed);
}

void EmulatedFt232r::SetClaimRefused(bool refused)
{
    std::lock_guard lock(state_->mutex);
    state_->claimRefused = refused;
}

void EmulatedFt232r::Vanish()
{
    std::lock_guard lock(state_->mutex);
    state_->vanished = true;
}

std::vector<ReceivedCommand> EmulatedFt232r::Commands() const
{
    std::lock_guard lock(state_->mutex);
    return state_->commands;
}

int EmulatedFt232r::PurgeRequests() const
{
    std::lock_guard lock(state_->mutex);
    return state_->purges;
}

int EmulatedFt232r::ClaimCount() const
{
    std::lock_guard lock(state_->mutex);
    return state_->claims;
}

int64_t EmulatedFt232r::InUrbsCompleted() const
{
    std::lock_guard lock(state_->mutex);
    return state_->inUrbs;
}

int64_t EmulatedFt232r::OutBytes() const
{
    std::lock_guard lock(state_->mutex);
    return state_->outBytes;
}

std::vector<uint8_t> EmulatedFt232r::InLog() const
{
    std::lock_guard lock(state_->mutex);
    return state_->inLog;
}

size_t EmulatedFt232r::InLogPosAtLastPurge() const
{
    std::lock_guard lock(state_->mutex);
    return state_->inLogAtPurge;
}

void ReexecUnderUmockdevIfNeeded(int argc, char** argv)
{
    if (PreloadActive() || argc < 1)
        return;
    std::vector<char*> args;
    args.push_back(const_cast<char*>("umockdev-wrapper"));
    for (int i = 0; i < argc; ++i)
        args.push_back(argv[i]);
    args.push_back(nullptr);
    execvp(args[0], args.data());
    // Not installed: carry on; the emulator reports why it is not ready.
}

} // namespace mirantos::testing
