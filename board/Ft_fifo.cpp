#include "Ft_fifo.h"

#include <QCoreApplication>
#include <QObject>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

namespace {

// Clears a flag on every exit path of a wait.
class WaitGuard {
public:
    explicit WaitGuard(bool& flag) : flag_(flag) { flag_ = true; }
    ~WaitGuard() { flag_ = false; }
    WaitGuard(const WaitGuard&) = delete;
    WaitGuard& operator=(const WaitGuard&) = delete;

private:
    bool& flag_;
};

} // namespace

Tft_FIFO::Tft_FIFO(QObject* owner, std::unique_ptr<IFtdiDriver> driver) : driver_(std::move(driver))
{
    timer_ = new QTimer(owner);
    timer_->setSingleShot(true);
    timer_->setInterval(interval_);
    // The timer is the connection's context: if the owner destroys it first,
    // the connection goes with it and nothing calls into a stale transport.
    QObject::connect(timer_.data(), &QTimer::timeout, timer_.data(), [this] { OnTimeOut(); });
}

Tft_FIFO::~Tft_FIFO()
{
    Close();
    delete timer_.data();
}

bool Tft_FIFO::Open(uint32_t inTransferSize)
{
    if (IsOpen())
        return true;
    if (!driver_)
        return false;
    FT_HANDLE h = nullptr;
    status_ = driver_->Open(0, &h);
    if (status_ != FT_OK || h == nullptr) {
        if (status_ == FT_OK)
            status_ = FT_DEVICE_NOT_OPENED;
        return false;
    }
    handle_ = h;
    status_ = driver_->SetUSBParameters(handle_, inTransferSize, 0);
    if (status_ != FT_OK) {
        driver_->Close(handle_);
        handle_ = nullptr;
        return false;
    }
    return Purge();
}

bool Tft_FIFO::Purge()
{
    staged_ = 0;
    if (!IsOpen())
        return false;
    status_ = driver_->Purge(handle_, FT_PURGE_RX | FT_PURGE_TX);
    if (status_ == FT_OK)
        return true;
    // A device that cannot be emptied is treated as lost.
    driver_->Close(handle_);
    handle_ = nullptr;
    return false;
}

void Tft_FIFO::Close()
{
    if (IsOpen())
        Purge();
    if (IsOpen()) {
        status_ = driver_->Close(handle_);
        handle_ = nullptr;
    }
    staged_ = 0;
}

void Tft_FIFO::SetTimeOut(int32_t milliseconds)
{
    if (timer_)
        timer_->stop();
    timedOut_ = false;
    interval_ = milliseconds;
}

void Tft_FIFO::StartTimeOut()
{
    timedOut_ = false;
    if (timer_) {
        timer_->setInterval(std::max<int32_t>(interval_, 0));
        timer_->start();
    } else {
        // Without a timer no wait could ever end; end it at once instead.
        timedOut_ = true;
    }
}

void Tft_FIFO::StopTimeOut()
{
    if (timer_)
        timer_->stop();
    timedOut_ = false;
}

void Tft_FIFO::OnTimeOut()
{
    if (timer_)
        timer_->stop();
    timedOut_ = true;
}

bool Tft_FIFO::SendCommand(const char* text)
{
    if (!IsOpen() || text == nullptr)
        return false;
    const size_t len = strnlen(text, kMaxCommandLength + 1);
    if (len > kMaxCommandLength)
        return false;
    char line[kMaxCommandLength + 1];
    std::memcpy(line, text, len);
    line[len] = '\r';
    uint32_t written = 0;
    status_ = driver_->Write(handle_, line, static_cast<uint32_t>(len + 1), &written);
    return status_ == FT_OK;
}

// The driver's count of received bytes, remembered as the queued count.
bool Tft_FIFO::QueryQueue(uint32_t* queued)
{
    status_ = driver_->GetQueueStatus(handle_, queued);
    if (status_ != FT_OK)
        return false;
    queued_ = *queued;
    return true;
}

bool Tft_FIFO::ReadQueued(uint8_t* dest, uint32_t capacity, uint32_t* received)
{
    *received = 0;
    if (!IsOpen())
        return false;
    uint32_t q = 0;
    if (!QueryQueue(&q))
        return false;
    if (q == 0 || capacity == 0)
        return true;
    uint32_t got = 0;
    status_ = driver_->Read(handle_, dest, std::min(q, capacity), &got);
    *received = std::min(got, std::min(q, capacity));
    return status_ == FT_OK;
}

void Tft_FIFO::Stage(const uint8_t* bytes, uint32_t count)
{
    const uint32_t room = kStagingSize - static_cast<uint32_t>(staged_);
    const uint32_t n = std::min(count, room);
    std::memcpy(staging_ + staged_, bytes, n);
    staged_ += static_cast<int32_t>(n);
}

bool Tft_FIFO::ReadBytes(uint8_t* dest, uint32_t wanted, uint32_t* delivered)
{
    *delivered = 0;
    if (!IsOpen())
        return false;
    if (wanted == 0)
        return true;
    const auto staged = static_cast<uint32_t>(staged_);
    if (staged >= wanted) {
        std::memcpy(dest, staging_, wanted);
        std::memmove(staging_, staging_ + wanted, staged - wanted);
        staged_ = static_cast<int32_t>(staged - wanted);
        *delivered = wanted;
        return true;
    }
    uint32_t q = 0;
    if (!QueryQueue(&q))
        return false;
    if (static_cast<uint64_t>(staged) + q < wanted)
        return true;

    // Only what completes this delivery is taken from the driver; the rest
    // stays queued there, so nothing can be dropped for want of room.
    const uint32_t need = wanted - staged;
    uint32_t got = 0;
    status_ = driver_->Read(handle_, dest + staged, need, &got);
    if (status_ != FT_OK || got != need) {
        // Fewer bytes than promised: the poll fails rather than hand out a
        // partly filled buffer, and the bytes that did come are kept in order.
        Stage(dest + staged, std::min(got, need));
        if (status_ == FT_OK)
            status_ = FT_IO_ERROR;
        return false;
    }
    std::memcpy(dest, staging_, staged);
    staged_ = 0;
    *delivered = wanted;
    return true;
}

void Tft_FIFO::LetEventsRun()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void Tft_FIFO::IdleBriefly()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

bool Tft_FIFO::SendCommandOK(const char* text)
{
    if (waiting_ || !SendCommand(text))
        return false;
    WaitGuard guard(waiting_);
    uint8_t ack[4] = {};
    uint32_t total = 0;
    StartTimeOut();
    // Gather up to the three bytes of "OK" CR. Once "OK" is in, the CR is
    // still waited for (it may come in the next USB packet); anything else
    // decides after two bytes. Bytes beyond the answer stay in the driver.
    auto waitingForMore = [&] {
        if (total < 2)
            return true;
        return total == 2 && ack[0] == 'O' && ack[1] == 'K';
    };
    while (!timedOut_ && waitingForMore()) {
        uint32_t got = 0;
        if (ReadQueued(ack + total, 3 - total, &got))
            total += got;
        if (!waitingForMore())
            break;
        LetEventsRun();
        if (!timedOut_ && waitingForMore())
            IdleBriefly();
    }
    StopTimeOut();
    return total >= 3 && ack[0] == 'O' && ack[1] == 'K' && ack[2] == '\r';
}

bool Tft_FIFO::SendCommandReply(const char* text, char* reply, uint32_t replyCapacity)
{
    if (reply == nullptr || replyCapacity < 2)
        return false;
    if (waiting_ || !SendCommand(text))
        return false;
    WaitGuard guard(waiting_);
    reply[0] = '\0';
    const uint32_t room = replyCapacity - 1;
    uint32_t total = 0; // characters received before the CR, kept or not
    uint32_t kept = 0;
    bool gotCr = false;
    StartTimeOut();
    // Each read takes everything queued, so a reply that came whole with its
    // CR is complete whatever its length; only when the first kReplyLimit
    // bytes hold no CR does the wait end early.
    while (!timedOut_ && !gotCr && total < kReplyLimit) {
        LetEventsRun();
        uint8_t chunk[kReplyReadSize];
        uint32_t got = 0;
        if (!ReadQueued(chunk, kReplyReadSize, &got))
            break;
        for (uint32_t i = 0; i < got; ++i) {
            if (chunk[i] == '\r') {
                // Whatever followed the answer in the same read is kept for
                // the next exact-count read instead of being thrown away.
                Stage(chunk + i + 1, got - i - 1);
                gotCr = true;
                break;
            }
            // Characters beyond the reply area's room are dropped.
            if (kept < room)
                reply[kept++] = static_cast<char>(chunk[i]);
            ++total;
        }
        if (!gotCr && !timedOut_ && got == 0)
            IdleBriefly();
    }
    StopTimeOut();
    reply[kept] = '\0';
    return gotCr;
}

std::string Tft_FIFO::LinkError() const
{
    if (status_ == FT_OK)
        return {};
    std::string text = driver_->LastErrorText();
    return text.empty() ? "FTDI status " + std::to_string(status_) : text;
}
