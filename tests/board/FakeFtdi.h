#pragma once
// A scripted stand-in for the seven FTDI operations: bytes the "board" sends
// are queued by the test (now, or after a number of queue-status polls), bytes
// written are recorded, and every call is logged.

#include "FtdiDriver.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

class FakeFtdi : public IFtdiDriver {
public:
    struct Shared {
        std::vector<std::string> log;    // "Open", "SetUSBParameters 4096 0", "Purge 3", ...
        std::vector<std::string> writes; // the bytes of each write
    };

    explicit FakeFtdi(std::shared_ptr<Shared> shared = std::make_shared<Shared>())
        : s(std::move(shared))
    {
    }

    // Bytes the host can read now.
    void Queue(const std::string& bytes) { rx += bytes; }
    // Bytes that become readable at the n-th queue-status call from now (1 = the next).
    void QueueAfterPolls(int polls, const std::string& bytes)
    {
        pending.push_back({pollCount + polls, bytes});
    }

    FT_STATUS Open(int index, FT_HANDLE* h) override
    {
        s->log.push_back("Open " + std::to_string(index));
        if (openStatus != FT_OK)
            return openStatus;
        *h = this;
        return FT_OK;
    }
    FT_STATUS SetUSBParameters(FT_HANDLE, uint32_t in, uint32_t out) override
    {
        s->log.push_back("SetUSBParameters " + std::to_string(in) + " " + std::to_string(out));
        return setParamsStatus;
    }
    FT_STATUS Purge(FT_HANDLE, uint32_t mask) override
    {
        s->log.push_back("Purge " + std::to_string(mask));
        if (purgeStatus != FT_OK)
            return purgeStatus;
        if (purgeEmptiesQueue)
            rx.clear();
        return FT_OK;
    }
    FT_STATUS Close(FT_HANDLE) override
    {
        s->log.push_back("Close");
        return FT_OK;
    }
    FT_STATUS GetQueueStatus(FT_HANDLE, uint32_t* n) override
    {
        ++pollCount;
        ++queueCalls;
        for (auto it = pending.begin(); it != pending.end();) {
            if (it->first <= pollCount) {
                rx += it->second;
                it = pending.erase(it);
            } else {
                ++it;
            }
        }
        if (queueStatus != FT_OK)
            return queueStatus;
        *n = static_cast<uint32_t>(rx.size());
        return FT_OK;
    }
    FT_STATUS Read(FT_HANDLE, void* buf, uint32_t want, uint32_t* got) override
    {
        s->log.push_back("Read " + std::to_string(want));
        if (readStatus != FT_OK) {
            *got = 0;
            return readStatus;
        }
        uint32_t n = std::min<uint32_t>(want, static_cast<uint32_t>(rx.size()));
        n -= std::min(n, shortBy);
        std::memcpy(buf, rx.data(), n);
        rx.erase(0, n);
        *got = n;
        return FT_OK;
    }
    FT_STATUS Write(FT_HANDLE, const void* buf, uint32_t n, uint32_t* written) override
    {
        const std::string bytes(static_cast<const char*>(buf), n);
        s->log.push_back("Write");
        s->writes.push_back(bytes);
        if (writeStatus != FT_OK)
            return writeStatus;
        *written = n;
        if (onWrite)
            onWrite(*this, bytes);
        return FT_OK;
    }

    std::shared_ptr<Shared> s;
    std::string rx;
    std::vector<std::pair<int, std::string>> pending;
    int pollCount = 0; // queue-status calls so far
    int queueCalls = 0;
    FT_STATUS openStatus = FT_OK;
    FT_STATUS setParamsStatus = FT_OK;
    FT_STATUS purgeStatus = FT_OK;
    FT_STATUS queueStatus = FT_OK;
    FT_STATUS readStatus = FT_OK;
    FT_STATUS writeStatus = FT_OK;
    uint32_t shortBy = 0; // a read hands out this many bytes fewer than it could
    bool purgeEmptiesQueue = true;
    void (*onWrite)(FakeFtdi&, const std::string&) = nullptr;
};
