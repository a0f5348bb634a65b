#include "UsbEmulator.h"

#include <umockdev.h>

#include <dirent.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <unistd.h>

namespace mirantos::testing {

namespace {

constexpr int kStatusBytes = 2;
constexpr uint8_t kModemStatus[kStatusBytes] = {0x01, 0x60};
// The model moves in steps of this many microseconds: finer than a record at
// 10 ksps (100 us) and than a full-speed frame.
constexpr int64_t kStepUs = 25;
constexpr uint8_t kMpsseBadCommand = 0xFA;
constexpr int kBitmodeMpsse = 0x02;
constexpr size_t kDropPositionsKept = 1u << 20;
// How often the host's CPU starvation is looked up, and how much of it may
// hold the model's clock (more than the ring of transfers covers at 1 ksps
// with a 2 ms latency timer, far less than a blocked GUI thread's stall).
constexpr int64_t kStarvationCheckUs = 5000;
constexpr int64_t kMaxCreditUs = 150000;

// The time every thread of this process has spent runnable but waiting for a
// CPU, in microseconds (the second field of each thread's schedstat).
int64_t ProcessRunQueueWaitUs()
{
    int64_t ns = 0;
    DIR* dir = opendir("/proc/self/task");
    if (dir == nullptr)
        return 0;
    while (dirent* e = readdir(dir)) {
        if (e->d_name[0] == '.')
            continue;
        const std::string path = std::string("/proc/self/task/") + e->d_name + "/schedstat";
        if (FILE* f = std::fopen(path.c_str(), "r")) {
            long long onCpu = 0;
            long long waiting = 0;
            if (std::fscanf(f, "%lld %lld", &onCpu, &waiting) == 2)
                ns += waiting;
            std::fclose(f);
        }
    }
    closedir(dir);
    return ns / 1000;
}

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

struct ChipTraits {
    uint16_t product;
    uint16_t bcdDevice;
    int packetSize;
    size_t fifoBytes;
    int speedMbps;
    int packetsPerStep; // bus bandwidth: packets the chip can send per model step
};

ChipTraits TraitsOf(ChipKind kind)
{
    if (kind == ChipKind::Ft232h)
        return {0x6014, 0x0900, 512, 1024, 480, 4};
    if (kind == ChipKind::Ft2232h)
        return {0x6010, 0x0700, 512, 4096, 480, 4};
    return {0x6001, 0x0600, 64, 256, 12, 1};
}

} // namespace

struct EmulatedFtdi::Device {
    // A URB belongs to the open file (the client) that submitted it: only
    // that file reaps or discards it, and closing the file kills it, as usbfs
    // keeps them per file.
    struct Urb {
        UMockdevIoctlData* data = nullptr;
        int fill = 0;
        bool wedged = false;
        UMockdevIoctlClient* client = nullptr;
    };

    std::mutex mutex;
    ChipTraits traits{};
    std::string product;
    std::string serial;
    std::string node;
    std::string sysPath;
    int bus = 1;
    size_t fifoCap = 256;
    int interfaces = 1;
    int port = 0; // the interface the FIFO (and the firmware) is on
    uint8_t epIn = 0x81;
    uint8_t epOut = 0x02;
    bool stringsReadable = true;

    std::chrono::steady_clock::time_point epoch = std::chrono::steady_clock::now();
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    std::unique_ptr<SimBoardDriver> firmware; // null: a device that never sends anything
    FT_HANDLE fw = nullptr;
    int64_t byteUs = 1;
    int64_t nowUs = 0;
    int64_t frozenUs = 0;        // model time held back for the host's CPU starvation
    int64_t starvedCreditUs = 0; // recent CPU waiting not yet used to hold the model
    int64_t starvationSeenUs = 0;
    int64_t starvationCheckedUs = -kStarvationCheckUs;
    double writeCredit = 0.0;
    std::deque<uint8_t> fwPending; // produced by the firmware, not yet written to the chip
    std::deque<uint8_t> fifo;      // the chip's FIFO towards the host
    int64_t lastPacketUs = 0;
    int latencyMs = 16;
    int bitmode = 0;

    UMockdevIoctlBase* handler = nullptr;
    std::deque<Urb> pending;   // bulk-IN URBs queued at the chip, oldest first
    std::deque<Urb> idle;      // bulk-IN URBs of the other interface, where nothing is connected
    std::deque<Urb> completed; // done, waiting to be reaped by their file

    bool claimRefused = false;
    bool vanished = false;
    int vanishErr = ENODEV;
    bool halted = false;
    bool stallAtTxPurge = false;
    int reapErr = 0;
    int reapFailures = 0;
    int failNext = 0;
    // Bulk-IN log positions where the last failed transfer's bytes begin and end.
    size_t failedFrom = 0;
    size_t failedTo = 0;
    int failAfterBytes = 0; // the fault waits until the oldest URB holds this many bytes
    int refuseSubmit = 0;
    bool wedgeNext = false;
    bool releaseWedged = false;

    std::string line;
    std::vector<ReceivedCommand> commands;
    std::vector<uint8_t> fwLog;
    std::vector<uint8_t> inLog;
    size_t fwPosAtPurge = 0;
    int64_t dropped = 0;
    std::vector<size_t> droppedAt; // firmware-log positions of the first dropped bytes
    int purges = 0;
    int clearHalts = 0;
    int bitmodeResets = 0;
    int claims = 0;
    int64_t inUrbs = 0;
    int64_t outBytes = 0;
    int64_t reaps = 0;

    ~Device()
    {
        for (auto& u : pending)
            g_object_unref(u.data);
        for (auto& u : idle)
            g_object_unref(u.data);
        for (auto& u : completed)
            g_object_unref(u.data);
        if (handler)
            g_object_unref(handler);
    }

    int64_t RealUs() const
    {
        return std::chrono::duration_cast<std::chrono::microseconds>(
                   std::chrono::steady_clock::now() - epoch)
            .count();
    }

    // Brings the model to the present. The emulated host controller runs in
    // this process's threads: time they spent waiting for a CPU (another
    // program hogging the cores) is time a real controller would have kept
    // filling transfers, while here the host could not hand in new ones. So
    // while no bulk-IN transfer is queued at the chip, such waiting stops the
    // model's clock instead of overflowing the chip's FIFO. A host that does
    // not hand in transfers while it runs (a blocked GUI thread sleeps and
    // waits for no CPU) still loses bytes.
    void Advance()
    {
        TakeStarvation();
        int64_t target = RealUs() - frozenUs;
        while (nowUs < target) {
            if (pending.empty() && starvedCreditUs > 0) {
                const int64_t skip = std::min(starvedCreditUs, target - nowUs);
                starvedCreditUs -= skip;
                frozenUs += skip;
                target -= skip;
                continue;
            }
            const int64_t t = std::min(nowUs + kStepUs, target);
            Step(t - nowUs, t);
            nowUs = t;
        }
    }

    // Adds how long this process's threads waited for a CPU since the last
    // look (every few milliseconds) to the credit, which is kept short: only
    // recent waiting can excuse an empty queue.
    void TakeStarvation()
    {
        if (!firmware)
            return;
        const int64_t real = RealUs();
        if (real - starvationCheckedUs < kStarvationCheckUs)
            return;
        starvationCheckedUs = real;
        const int64_t waited = ProcessRunQueueWaitUs();
        if (waited > starvationSeenUs)
            starvedCreditUs = std::min(starvedCreditUs + waited - starvationSeenUs, kMaxCreditUs);
        starvationSeenUs = waited;
    }

    void Step(int64_t dt, int64_t t)
    {
        if (firmware) {
            clock->SetUs(t);
            uint32_t queued = 0;
            if (firmware->GetQueueStatus(fw, &queued) == FT_OK && queued > 0) {
                std::vector<uint8_t> bytes(queued);
                uint32_t got = 0;
                firmware->Read(fw, bytes.data(), queued, &got);
                fwPending.insert(fwPending.end(), bytes.begin(), bytes.begin() + got);
            }
        }
        // The firmware writes its bytes one by one; a full FIFO loses them.
        writeCredit += static_cast<double>(dt) / static_cast<double>(byteUs);
        while (writeCredit >= 1.0 && !fwPending.empty()) {
            const uint8_t b = fwPending.front();
            fwPending.pop_front();
            writeCredit -= 1.0;
            fwLog.push_back(b);
            if (bitmode == kBitmodeMpsse)
                continue; // the FIFO interface is not connected in MPSSE mode
            if (fifo.size() < fifoCap) {
                fifo.push_back(b);
            } else {
                ++dropped;
                if (droppedAt.size() < kDropPositionsKept)
                    droppedAt.push_back(fwLog.size() - 1);
            }
        }
        if (fwPending.empty())
            writeCredit = 0.0;
        ApplyFaults();
        SendPackets(t);
    }

    void Complete(Urb u, int status)
    {
        auto* urb = reinterpret_cast<usbdevfs_urb*>(u.data->data);
        urb->status = status;
        urb->actual_length = u.fill;
        completed.push_back(u);
        ++inUrbs;
    }

    void ApplyFaults()
    {
        if (vanished) {
            while (!pending.empty()) {
                Urb u = pending.front();
                pending.pop_front();
                u.fill = 0;
                Complete(u, -vanishErr);
            }
            return;
        }
        if (releaseWedged) {
            releaseWedged = false;
            if (!pending.empty() && pending.front().wedged) {
                Urb u = pending.front();
                pending.pop_front();
                Complete(u, 0);
            }
        }
        if (failNext != 0 && !pending.empty() && !pending.front().wedged &&
            pending.front().fill >= failAfterBytes) {
            Urb u = pending.front();
            pending.pop_front();
            const int packets = (u.fill + traits.packetSize - 1) / traits.packetSize;
            failedFrom = inLog.size() - static_cast<size_t>(u.fill - packets * kStatusBytes);
            failedTo = inLog.size();
            // The packets the transfer received before it failed come back
            // with it, counted in its actual length, as usbfs reports them.
            Complete(u, -failNext);
            failAfterBytes = 0;
            halted = failNext == EPIPE;
            failNext = 0;
        }
        if (halted) {
            while (!pending.empty() && !pending.front().wedged) {
                Urb u = pending.front();
                pending.pop_front();
                u.fill = 0;
                Complete(u, -EPIPE);
            }
        }
        if (wedgeNext && !pending.empty() && pending.front().fill > 0) {
            pending.front().wedged = true;
            wedgeNext = false;
        }
    }

    // The chip sends a full packet when it has one, else a short (or
    // status-only) one when its latency timer runs out, into the oldest
    // queued URB; a URB ends on a short packet or when it is full.
    void SendPackets(int64_t t)
    {
        const size_t payloadMax = static_cast<size_t>(traits.packetSize - kStatusBytes);
        for (int n = 0; n < traits.packetsPerStep; ++n) {
            if (halted || pending.empty() || pending.front().wedged)
                return;
            const bool full = fifo.size() >= payloadMax;
            const bool due = t - lastPacketUs >= static_cast<int64_t>(latencyMs) * 1000;
            if (!full && !due)
                return;
            Urb& u = pending.front();
            auto* urb = reinterpret_cast<usbdevfs_urb*>(u.data->data);
            auto* buf = static_cast<uint8_t*>(urb->buffer);
            const int room = urb->buffer_length - u.fill;
            if (room < kStatusBytes) {
                Urb done = u;
                pending.pop_front();
                Complete(done, 0);
                continue;
            }
            const size_t take =
                std::min({payloadMax, fifo.size(), static_cast<size_t>(room - kStatusBytes)});
            std::memcpy(buf + u.fill, kModemStatus, kStatusBytes);
            for (size_t i = 0; i < take; ++i) {
                buf[u.fill + kStatusBytes + static_cast<int>(i)] = fifo.front();
                inLog.push_back(fifo.front());
                fifo.pop_front();
            }
            u.fill += kStatusBytes + static_cast<int>(take);
            lastPacketUs = t;
            const bool shortPacket = take < payloadMax;
            if (shortPacket || u.fill >= urb->buffer_length) {
                Urb done = u;
                pending.pop_front();
                Complete(done, 0);
            }
        }
    }

    void FeedFirmware(const uint8_t* p, int n)
    {
        outBytes += n;
        if (bitmode == kBitmodeMpsse) {
            // The MPSSE engine takes the bytes for opcodes and answers each
            // unknown one with "bad command" and the opcode.
            for (int i = 0; i < n; ++i)
                for (uint8_t b : {kMpsseBadCommand, p[i]})
                    if (fifo.size() < fifoCap)
                        fifo.push_back(b);
            return;
        }
        if (!firmware)
            return;
        for (int i = 0; i < n; ++i) {
            if (p[i] == '\r') {
                commands.push_back({line, fwLog.size() + fwPending.size(), inLog.size()});
                line.clear();
            } else {
                line.push_back(static_cast<char>(p[i]));
            }
        }
        clock->SetUs(nowUs);
        uint32_t written = 0;
        firmware->Write(fw, p, static_cast<uint32_t>(n), &written);
    }

    // A control request (setup packet + data stage). Returns the data length
    // transferred, or -errno.
    int Control(const uint8_t* setup, uint8_t* data, int dataLen)
    {
        const uint8_t type = setup[0];
        const uint8_t request = setup[1];
        const uint16_t value = static_cast<uint16_t>(setup[2] | (setup[3] << 8));
        // Vendor requests name their interface (1 = A, 2 = B) in the index.
        const bool otherPort = interfaces > 1 && setup[4] != port + 1;
        const uint16_t length = static_cast<uint16_t>(setup[6] | (setup[7] << 8));
        const int n = std::min<int>(length, dataLen);
        auto answer = [&](const uint8_t* bytes, int count) {
            const int k = std::min(n, count);
            std::memcpy(data, bytes, static_cast<size_t>(k));
            return k;
        };

        if (type == 0x40) { // vendor, host to device
            if (otherPort)
                return 0;
            switch (request) {
            case 0x00: // SIO reset: 0 resets both FIFOs, 2 empties the one to the host, 1 the other
                if (value == 0 || value == 2) {
                    ++purges;
                    fifo.clear();
                    fwPosAtPurge = fwLog.size();
                }
                if (value == 1 && stallAtTxPurge) {
                    stallAtTxPurge = false;
                    failNext = EPIPE;
                    ApplyFaults();
                }
                break;
            case 0x09:
                latencyMs = std::max(1, value & 0xFF);
                break;
            case 0x0B:
                bitmode = value >> 8;
                bitmodeResets += bitmode == 0;
                break;
            default:
                break;
            }
            return 0;
        }
        if (type == 0xC0) { // vendor, device to host
            switch (request) {
            case 0x05:
                return answer(kModemStatus, 2);
            case 0x0A: {
                const auto l = static_cast<uint8_t>(latencyMs);
                return answer(&l, 1);
            }
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
                if (descType == 1) {
                    const auto d = DeviceDescriptor();
                    return answer(d.data(), static_cast<int>(d.size()));
                }
                if (descType == 2) {
                    const auto d = ConfigDescriptor();
                    return answer(d.data(), static_cast<int>(d.size()));
                }
                if (descType == 3) {
                    if (!stringsReadable)
                        return -EPIPE;
                    std::vector<uint8_t> d;
                    if (index == 0)
                        d = {0x04, 0x03, 0x09, 0x04};
                    else if (index == 1)
                        d = StringDescriptor("FTDI");
                    else if (index == 2)
                        d = StringDescriptor(product);
                    else if (index == 3)
                        d = StringDescriptor(serial);
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

    std::vector<uint8_t> DeviceDescriptor() const
    {
        return {0x12,
                0x01,
                0x00,
                0x02,
                0x00,
                0x00,
                0x00,
                0x40,
                0x03,
                0x04,
                static_cast<uint8_t>(traits.product & 0xFF),
                static_cast<uint8_t>(traits.product >> 8),
                0x00,
                static_cast<uint8_t>(traits.bcdDevice >> 8),
                0x01,
                0x02,
                static_cast<uint8_t>(serial.empty() ? 0x00 : 0x03),
                0x01};
    }

    std::vector<uint8_t> ConfigDescriptor() const
    {
        const auto lo = static_cast<uint8_t>(traits.packetSize & 0xFF);
        const auto hi = static_cast<uint8_t>(traits.packetSize >> 8);
        const auto total = static_cast<uint8_t>(9 + 23 * interfaces);
        std::vector<uint8_t> d = {0x09, 0x02, total, 0x00, static_cast<uint8_t>(interfaces),
                                  0x01, 0x00, 0xA0,  0x2D};
        for (int i = 0; i < interfaces; ++i) {
            const auto n = static_cast<uint8_t>(i);
            const auto in = static_cast<uint8_t>(0x81 + 2 * i);
            const auto out = static_cast<uint8_t>(0x02 + 2 * i);
            const std::vector<uint8_t> intf = {
                0x09, 0x04, n,   0x00, 0x02, 0xFF, 0xFF, 0xFF, static_cast<uint8_t>(2 + i),
                0x07, 0x05, in,  0x02, lo,   hi,   0x00,  // bulk IN
                0x07, 0x05, out, 0x02, lo,   hi,   0x00}; // bulk OUT
            d.insert(d.end(), intf.begin(), intf.end());
        }
        return d;
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

    // The kernel kills a file's URBs of an interface when the file releases
    // it, and all of a file's URBs, done or not, when the file is closed.
    // A halt stays: only CLEAR_HALT ends it.
    void DropUrbsOf(UMockdevIoctlClient* client, bool done)
    {
        auto drop = [client](std::deque<Urb>& urbs) {
            std::erase_if(urbs, [client](const Urb& u) {
                if (u.client != client)
                    return false;
                g_object_unref(u.data);
                return true;
            });
        };
        drop(pending);
        drop(idle);
        if (done)
            drop(completed);
    }

    gboolean HandleIoctl(UMockdevIoctlClient* client)
    {
        std::lock_guard lock(mutex);
        Advance();
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
            ++reaps;
            if (reapFailures > 0) {
                --reapFailures;
                return fail(reapErr);
            }
            const auto mine = std::find_if(completed.begin(), completed.end(),
                                           [client](const Urb& u) { return u.client == client; });
            if (mine != completed.end()) {
                UMockdevIoctlData* urbData = mine->data;
                completed.erase(mine);
                CompleteUrb(client, urbData);
                return TRUE;
            }
            return fail(vanished ? ENODEV : EAGAIN);
        }

        if (request == USBDEVFS_DISCARDURB) {
            // The argument is the client's URB address itself.
            const auto addr = *reinterpret_cast<gulong*>(arg->data);
            const auto match = [addr, client](const Urb& u) {
                return u.client == client && u.data->client_addr == addr;
            };
            if (auto i = std::find_if(idle.begin(), idle.end(), match); i != idle.end()) {
                Urb u = *i;
                idle.erase(i);
                Complete(u, -ENOENT);
                return ok();
            }
            auto it = std::find_if(pending.begin(), pending.end(), match);
            if (it == pending.end() || it->wedged)
                return fail(EINVAL);
            Urb u = *it;
            pending.erase(it);
            Complete(u, -ENOENT);
            return ok();
        }

        if (vanished)
            return fail(ENODEV);

        switch (request) {
        case USBDEVFS_CLAIMINTERFACE:
        case USBDEVFS_DISCONNECT_CLAIM: { // claim with the kernel driver detached
            ++claims;
            // Both arguments start with the interface number.
            UMockdevIoctlData* d =
                umockdev_ioctl_data_resolve(arg, 0, sizeof(unsigned int), nullptr);
            unsigned int iface = 0;
            std::memcpy(&iface, d->data, sizeof iface);
            g_object_unref(d);
            if (iface >= static_cast<unsigned int>(interfaces))
                return fail(ENOENT); // the kernel knows no such interface
            return claimRefused ? fail(EBUSY) : ok();
        }
        case USBDEVFS_RELEASEINTERFACE:
            DropUrbsOf(client, false);
            return ok();
        case USBDEVFS_CLEAR_HALT: {
            UMockdevIoctlData* d =
                umockdev_ioctl_data_resolve(arg, 0, sizeof(unsigned int), nullptr);
            unsigned int ep = 0;
            std::memcpy(&ep, d->data, sizeof ep);
            g_object_unref(d);
            if (ep == epIn) {
                ++clearHalts;
                halted = false;
            }
            return ok();
        }
        case USBDEVFS_SETCONFIGURATION:
        case USBDEVFS_SETINTERFACE:
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
            const bool bulkIn = urb->type == USBDEVFS_URB_TYPE_BULK && urb->endpoint == epIn;
            if (bulkIn && refuseSubmit != 0) {
                const int err = refuseSubmit;
                refuseSubmit = 0;
                g_object_unref(urbData);
                return fail(err);
            }
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
                completed.push_back({urbData, 0, false, client});
            } else if (urb->type == USBDEVFS_URB_TYPE_BULK && urb->endpoint == epOut) {
                FeedFirmware(bytes, urb->buffer_length);
                urb->status = 0;
                urb->actual_length = urb->buffer_length;
                completed.push_back({urbData, 0, false, client});
            } else if (bulkIn) {
                pending.push_back({urbData, 0, false, client});
            } else if (urb->type == USBDEVFS_URB_TYPE_BULK && interfaces > 1 &&
                       (urb->endpoint & 0x80) != 0) {
                idle.push_back({urbData, 0, false, client}); // the other interface: never a byte
            } else if (urb->type == USBDEVFS_URB_TYPE_BULK && interfaces > 1) {
                urb->status = 0; // the other interface: its bytes go nowhere
                urb->actual_length = urb->buffer_length;
                completed.push_back({urbData, 0, false, client});
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

    static void OnClientVanished(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self)
    {
        auto* d = static_cast<Device*>(self);
        std::lock_guard lock(d->mutex);
        d->DropUrbsOf(client, true);
    }

    static gboolean OnHandleIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self)
    {
        return static_cast<Device*>(self)->HandleIoctl(client);
    }

    std::string SysfsDescription() const
    {
        const auto dev = DeviceDescriptor();
        const auto cfg = ConfigDescriptor();
        char pid[8];
        std::snprintf(pid, sizeof pid, "%04x", traits.product);
        const std::string busText = std::to_string(bus);
        return "P: " + sysPath + "\nN: " + node.substr(5) +
               "\n"
               "E: SUBSYSTEM=usb\n"
               "E: DEVTYPE=usb_device\n"
               "E: DRIVER=usb\n"
               "E: BUSNUM=00" +
               busText +
               "\n"
               "E: DEVNUM=001\n"
               "E: DEVNAME=" +
               node +
               "\n"
               "E: ID_VENDOR_ID=0403\n"
               "E: ID_MODEL_ID=" +
               pid +
               "\n"
               "A: busnum=" +
               busText +
               "\\n\n"
               "A: devnum=1\\n\n"
               "A: speed=" +
               std::to_string(traits.speedMbps) +
               "\\n\n"
               "A: bConfigurationValue=1\\n\n"
               "A: idVendor=0403\\n\n"
               "A: idProduct=" +
               pid +
               "\\n\n"
               "H: descriptors=" +
               Hex(dev.data(), dev.size()) + Hex(cfg.data(), cfg.size()) + "\n";
    }
};

namespace {

bool AddDevice(UMockdevTestbed* testbed, EmulatedFtdi::Device& d, std::string* why)
{
    d.handler = umockdev_ioctl_base_new();
    g_signal_connect(d.handler, "handle-ioctl", G_CALLBACK(&EmulatedFtdi::Device::OnHandleIoctl),
                     &d);
    g_signal_connect(d.handler, "client-vanished",
                     G_CALLBACK(&EmulatedFtdi::Device::OnClientVanished), &d);
    GError* error = nullptr;
    // The handler goes in first, so the node answers as soon as it appears.
    if (!umockdev_testbed_attach_ioctl(testbed, d.node.c_str(), d.handler, &error)) {
        *why = error ? error->message : "attach_ioctl failed";
        g_clear_error(&error);
        return false;
    }
    if (!umockdev_testbed_add_from_string(testbed, d.SysfsDescription().c_str(), &error)) {
        *why = error ? error->message : "add_from_string failed";
        g_clear_error(&error);
        return false;
    }
    return true;
}

} // namespace

EmulatedFtdi::EmulatedFtdi(EmulatorOptions options) : board_(std::make_unique<Device>())
{
    Device& b = *board_;
    b.traits = TraitsOf(options.chip);
    b.product = options.product;
    b.serial = options.serial;
    b.fifoCap = options.fifoBytes > 0 ? options.fifoBytes : b.traits.fifoBytes;
    b.byteUs = std::max<int64_t>(1, options.firmwareByteUs);
    b.latencyMs = options.initialLatencyMs;
    b.bitmode = options.startInMpsse ? kBitmodeMpsse : 0;
    b.stringsReadable = options.stringsReadable;
    b.halted = options.startHalted;
    b.interfaces = options.chip == ChipKind::Ft2232h ? 2 : 1;
    b.port = std::clamp(options.boardInterface, 0, b.interfaces - 1);
    b.epIn = static_cast<uint8_t>(0x81 + 2 * b.port);
    b.epOut = static_cast<uint8_t>(0x02 + 2 * b.port);
    options.firmware.clock = b.clock;
    options.firmware.latencyUs = 0; // the chip, not the firmware, decides when bytes leave
    b.firmware = std::make_unique<SimBoardDriver>(options.firmware);
    // The board keeps power while the host opens and closes the chip.
    b.firmware->Open(0, &b.fw);
    // Buses are listed by libusb from the highest number down, so the other
    // devices on buses 2, 3 ... come first, the silent one first of all.
    b.bus = 1;
    b.node = "/dev/bus/usb/001/001";
    b.sysPath = "/devices/usb1";
    if (options.silentDeviceFirst)
        options.others.insert(options.others.begin(), {"FT232R USB UART", "FTSILENT1"});
    for (size_t i = 0; i < options.others.size(); ++i) {
        auto& s = *others_.emplace_back(std::make_unique<Device>());
        s.traits = TraitsOf(ChipKind::Ft232r);
        s.product = options.others[i].product;
        s.serial = options.others[i].serial;
        s.fifoCap = s.traits.fifoBytes;
        s.bus = static_cast<int>(options.others.size() - i) + 1;
        const std::string bus = std::to_string(s.bus);
        s.node = "/dev/bus/usb/00" + bus + "/001";
        s.sysPath = "/devices/usb" + bus;
    }

    if (!PreloadActive()) {
        setupError_ = "not running under umockdev-wrapper";
        return;
    }
    auto* testbed = umockdev_testbed_new();
    testbed_ = testbed;
    for (auto& other : others_)
        if (!AddDevice(testbed, *other, &setupError_))
            return;
    if (!AddDevice(testbed, b, &setupError_))
        return;
    if (options.openDenied) {
        gchar* root = umockdev_testbed_get_root_dir(testbed);
        const std::string path = std::string(root) + b.node;
        g_free(root);
        if (chmod(path.c_str(), 0) != 0) {
            setupError_ = "cannot take the permissions of " + path;
            return;
        }
    }
    ready_ = true;
}

EmulatedFtdi::~EmulatedFtdi()
{
    auto* testbed = static_cast<UMockdevTestbed*>(testbed_);
    std::vector<Device*> all{board_.get()};
    for (auto& other : others_)
        all.push_back(other.get());
    for (Device* d : all) {
        if (testbed && d->handler) {
            GError* error = nullptr;
            umockdev_testbed_detach_ioctl(testbed, d->node.c_str(), &error);
            g_clear_error(&error);
        }
    }
    if (testbed)
        g_object_unref(testbed);
}

void EmulatedFtdi::SetClaimRefused(bool refused)
{
    std::lock_guard lock(board_->mutex);
    board_->claimRefused = refused;
}

void EmulatedFtdi::Vanish(int inFlightErr)
{
    std::lock_guard lock(board_->mutex);
    board_->Advance();
    board_->vanished = true;
    board_->vanishErr = inFlightErr;
    board_->ApplyFaults();
}

void EmulatedFtdi::StallAtNextTxPurge()
{
    std::lock_guard lock(board_->mutex);
    board_->stallAtTxPurge = true;
}

void EmulatedFtdi::FailReaps(int err, int count)
{
    std::lock_guard lock(board_->mutex);
    board_->Advance();
    board_->reapErr = err;
    board_->reapFailures = count;
}

void EmulatedFtdi::FailNextInUrb(int err, int afterBytes)
{
    std::lock_guard lock(board_->mutex);
    board_->Advance();
    board_->failNext = err;
    board_->failAfterBytes = afterBytes;
}

size_t EmulatedFtdi::InLogPosOfLastFailedUrb() const
{
    std::lock_guard lock(board_->mutex);
    return board_->failedFrom;
}

size_t EmulatedFtdi::InLogPosAfterLastFailedUrb() const
{
    std::lock_guard lock(board_->mutex);
    return board_->failedTo;
}

void EmulatedFtdi::RefuseNextInSubmit(int err)
{
    std::lock_guard lock(board_->mutex);
    board_->refuseSubmit = err;
}

void EmulatedFtdi::WedgeNextInUrb()
{
    std::lock_guard lock(board_->mutex);
    board_->Advance();
    board_->wedgeNext = true;
}

void EmulatedFtdi::ReleaseWedgedUrb()
{
    std::lock_guard lock(board_->mutex);
    board_->Advance();
    board_->releaseWedged = true;
}

std::vector<ReceivedCommand> EmulatedFtdi::Commands() const
{
    std::lock_guard lock(board_->mutex);
    return board_->commands;
}

int EmulatedFtdi::PurgeRequests() const
{
    std::lock_guard lock(board_->mutex);
    return board_->purges;
}

int EmulatedFtdi::ClearHaltRequests() const
{
    std::lock_guard lock(board_->mutex);
    return board_->clearHalts;
}

int EmulatedFtdi::BitmodeResets() const
{
    std::lock_guard lock(board_->mutex);
    return board_->bitmodeResets;
}

int EmulatedFtdi::ClaimCount() const
{
    std::lock_guard lock(board_->mutex);
    return board_->claims;
}

int EmulatedFtdi::SilentClaimCount() const
{
    int claims = 0;
    for (const auto& other : others_) {
        std::lock_guard lock(other->mutex);
        claims += other->claims;
    }
    return claims;
}

int64_t EmulatedFtdi::InUrbsCompleted() const
{
    std::lock_guard lock(board_->mutex);
    return board_->inUrbs;
}

int64_t EmulatedFtdi::ReapRequests() const
{
    std::lock_guard lock(board_->mutex);
    return board_->reaps;
}

int64_t EmulatedFtdi::OutBytes() const
{
    std::lock_guard lock(board_->mutex);
    return board_->outBytes;
}

std::vector<uint8_t> EmulatedFtdi::FirmwareLog() const
{
    std::lock_guard lock(board_->mutex);
    board_->Advance();
    return board_->fwLog;
}

int64_t EmulatedFtdi::DroppedBytes() const
{
    std::lock_guard lock(board_->mutex);
    board_->Advance();
    return board_->dropped;
}

std::vector<size_t> EmulatedFtdi::DroppedPositions() const
{
    std::lock_guard lock(board_->mutex);
    board_->Advance();
    return board_->droppedAt;
}

std::vector<uint8_t> EmulatedFtdi::InLog() const
{
    std::lock_guard lock(board_->mutex);
    return board_->inLog;
}

size_t EmulatedFtdi::FirmwarePosAtLastPurge() const
{
    std::lock_guard lock(board_->mutex);
    return board_->fwPosAtPurge;
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
