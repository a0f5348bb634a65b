#include "FtdiPacket.h"

#include <algorithm>
#include <cstring>

namespace mirantos {

size_t StripModemStatus(const uint8_t* in, size_t len, size_t maxPacket, uint8_t* out,
                        uint16_t* modemStatus)
{
    if (maxPacket <= 2)
        return 0;
    size_t n = 0;
    for (size_t pos = 0; pos < len; pos += maxPacket) {
        const size_t packet = std::min(maxPacket, len - pos);
        if (packet >= 2 && modemStatus != nullptr)
            *modemStatus = static_cast<uint16_t>(in[pos] | (in[pos + 1] << 8));
        if (packet <= 2)
            continue;
        std::memcpy(out + n, in + pos + 2, packet - 2);
        n += packet - 2;
    }
    return n;
}

ByteQueue::ByteQueue(size_t maxBytes) : max_(maxBytes) {}

void ByteQueue::Grow(size_t atLeast)
{
    size_t cap = std::max<size_t>(buf_.size(), 4096);
    while (cap < atLeast)
        cap *= 2;
    std::vector<uint8_t> next(cap);
    const size_t first = std::min(size_, buf_.size() - head_);
    if (size_ > 0) {
        std::memcpy(next.data(), buf_.data() + head_, first);
        std::memcpy(next.data() + first, buf_.data(), size_ - first);
    }
    buf_.swap(next);
    head_ = 0;
}

bool ByteQueue::Push(const uint8_t* data, size_t n)
{
    if (n == 0)
        return true;
    if (size_ + n > max_) {
        overflow_ = true;
        return false;
    }
    if (size_ + n > buf_.size())
        Grow(size_ + n);
    const size_t cap = buf_.size();
    const size_t tail = (head_ + size_) % cap;
    const size_t first = std::min(n, cap - tail);
    std::memcpy(buf_.data() + tail, data, first);
    std::memcpy(buf_.data(), data + first, n - first);
    size_ += n;
    return true;
}

size_t ByteQueue::Pop(uint8_t* out, size_t n)
{
    n = std::min(n, size_);
    if (n == 0)
        return 0;
    const size_t cap = buf_.size();
    const size_t first = std::min(n, cap - head_);
    std::memcpy(out, buf_.data() + head_, first);
    std::memcpy(out + first, buf_.data(), n - first);
    head_ = (head_ + n) % cap;
    size_ -= n;
    if (size_ == 0)
        head_ = 0;
    return n;
}

void ByteQueue::Clear()
{
    head_ = 0;
    size_ = 0;
    overflow_ = false;
}

} // namespace mirantos
