#pragma once
// Pieces of the libftdi1 backend that need no device: taking the two
// modem-status bytes out of every USB packet, and the received-byte queue.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mirantos {

// An FTDI chip starts every bulk-IN packet (of the endpoint's max packet size,
// the last one of a transfer may be shorter) with two modem-status bytes.
// Copies the payload of `len` received bytes to `out` (room for `len` bytes)
// and returns its length. The last status pair seen goes to *modemStatus.
size_t StripModemStatus(const uint8_t* in, size_t len, size_t maxPacket, uint8_t* out,
                        uint16_t* modemStatus = nullptr);

// FIFO of received bytes with a hard upper bound; it grows on demand up to
// that bound and never drops a byte silently: a push that does not fit is
// refused whole and remembered as an overflow.
class ByteQueue {
public:
    explicit ByteQueue(size_t maxBytes = 8u << 20);

    size_t Size() const { return size_; }
    bool Overflowed() const { return overflow_; }
    bool Push(const uint8_t* data, size_t n);
    size_t Pop(uint8_t* out, size_t n);
    void Clear();

private:
    void Grow(size_t atLeast);

    std::vector<uint8_t> buf_;
    size_t head_ = 0;
    size_t size_ = 0;
    size_t max_;
    bool overflow_ = false;
};

} // namespace mirantos
