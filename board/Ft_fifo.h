#pragma once
// Tft_FIFO: byte transport to the board's FTDI FIFO. Non-blocking exact-count
// reads for the acquisition, and two request/response waits bounded by a
// one-shot timer that keep the event loop running.

#include "FtdiDriver.h"

#include <cstdint>
#include <memory>

class QObject;
class QTimer;

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

    void SetTimeOut(int32_t milliseconds);
    void StartTimeOut();
    void StopTimeOut();
    void OnTimeOut();

    bool SendCommand(const char* text);
    bool ReadQueued(uint8_t* dest, uint32_t capacity, uint32_t* received);
    bool ReadBytes(uint8_t* dest, uint32_t wanted, uint32_t* delivered);
    bool SendCommandOK(const char* text);
    bool SendCommandReply(const char* text, char* reply, uint32_t replyCapacity);

    FT_STATUS LastStatus() const { return status_; }
    IFtdiDriver* Driver() const { return driver_.get(); }

protected:
    static constexpr uint32_t kStagingSize = 10000;

private:
    std::unique_ptr<IFtdiDriver> driver_;
    FT_HANDLE handle_ = nullptr;
    FT_STATUS status_ = FT_OK;
    uint32_t queued_ = 0;
    QTimer* timer_ = nullptr;
    bool timedOut_ = false;
    uint8_t staging_[kStagingSize];
    int32_t staged_ = 0;
    int32_t interval_ = 500;
};
