// Which FTDI chip is the board, and opening it: the choice among the chips on the
// bus, the pin by serial number and interface, and the reasons a choice fails.
#include "FtdiUsbImpl.h"

#include <algorithm>
#include <string>
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
    {
        std::lock_guard lock(mutex);
        identity = (chosen.serial.empty() ? std::string("(no serial number)") : chosen.serial) +
                   ":" + InterfaceLetter(selector.interfaceIndex) +
                   (chosen.product.empty() ? std::string() : " \"" + chosen.product + "\"");
    }
    return FT_OK;
}

} // namespace mirantos
