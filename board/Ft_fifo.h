#pragma once
// Tft_FIFO: byte transport to the board's FTDI FIFO. Non-blocking exact-count
// reads for the acquisition, and two request/response waits bounded by a
// one-shot timer that keep the event loop running.

#include "FtdiDriver.h"

#include <QPointer>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <string>

class QObject;

class Tft_FIFO {
public:
    // The timer is created with `owner` as its parent. The transport owns the driver.
    Tft_FIFO(QObject* owner, std::unique_ptr<IFtdiDriver> driver);
    virtual ~Tft_FIFO();
    Tft_FIFO(const Tft_FIFO&) = delete;
    Tft_FIFO& operator=(const Tft_FIFO&) = delete;

    bool Open(uint32_t inTransferSize);
    bool Open() { return Open(4096); }
    bool Purge();
    void Close();
    bool IsOpen() const { return handle_ != nullptr; }
    // Empty when the last driver operation succeeded; else the backend's own
    // words about it, for diagnosis.
    std::string LinkError() const;
    // The driver's board is the simulated one (IFtdiDriver::Simulated).
    bool Simulated() const { return driver_ && driver_->Simulated(); }
    // The device the driver opened (IFtdiDriver::Identity).
    std::string Identity() const { return driver_ ? driver_->Identity() : std::string(); }

    void SetTimeOut(int32_t milliseconds);
    void StartTimeOut();
    void StopTimeOut();
    void OnTimeOut();

    // Writes `text` and a CR; refuses texts of 20 characters or more.
    bool SendCommand(const char* text);
    // Whatever is queued, at most `capacity` bytes; the rest stays in the driver.
    bool ReadQueued(uint8_t* dest, uint32_t capacity, uint32_t* received);
    // Exactly `wanted` bytes or none (true with 0 delivered: not all there yet).
    bool ReadBytes(uint8_t* dest, uint32_t wanted, uint32_t* delivered);
    // Sends and waits for "OK" CR.
    bool SendCommandOK(const char* text);
    // Sends and waits for a CR-terminated text; on success `reply` holds it
    // NUL-terminated without the CR, cut to fit. `replyCapacity` counts the NUL.
    bool SendCommandReply(const char* text, char* reply, uint32_t replyCapacity);

    static constexpr uint32_t kStagingSize = 10000;
    static constexpr uint32_t kMaxCommandLength = 19;
    // A reply collection gives up once this many bytes came without a CR. A
    // longer reply whose CR came in the same read is still complete.
    static constexpr uint32_t kReplyLimit = 16;
    // One read of a reply takes at most this many bytes: a high-speed USB
    // packet, more than any reply the board sends.
    static constexpr uint32_t kReplyReadSize = 512;

private:
    // Lets the event loop run, then yields the core for about a millisecond.
    static void LetEventsRun();
    static void IdleBriefly();
    // Keeps bytes that were received but cannot be delivered now.
    void Stage(const uint8_t* bytes, uint32_t count);
    bool QueryQueue(uint32_t* queued);

    std::unique_ptr<IFtdiDriver> driver_;
    FT_HANDLE handle_ = nullptr;
    FT_STATUS status_ = FT_OK;
    uint32_t queued_ = 0;
    QPointer<QTimer> timer_;
    bool timedOut_ = false;
    bool waiting_ = false;
    uint8_t staging_[kStagingSize];
    int32_t staged_ = 0;
    int32_t interval_ = 500;
};
