#pragma once
// TADC: the MIRANTOS Board's command protocol over the FIFO transport.

#include "Ft_fifo.h"

#include <cstdint>

class TADC : public Tft_FIFO {
public:
    TADC(QObject* owner, std::unique_ptr<IFtdiDriver> driver);

    bool Connect();
    void Disconnect();
    bool CheckBoard();
    bool GetBoardName(char* dest11);
    bool GetVersion(char* dest11);
    bool SetSinc3();
    bool SetSinc5();
    bool SetRate(int32_t index);
    bool StartConversion(int32_t channelSel, int32_t count);
    bool StopConversion();
    // n records into codes[0..n-1]; true with *converted == 0 while they are not all there.
    bool ReadData1CH(uint32_t* codes, int32_t* converted, int32_t n);
    bool ReadData2CH(uint32_t* codes0, uint32_t* codes1, int32_t n, int32_t* converted);
    int32_t GetGain() const { return 1; }

    static constexpr int kDataBufferSize = 1710;
    static constexpr int kReplySize = 32;
    static constexpr int kCommandSize = 20;
    static constexpr int kRecord1Size = 9;
    static constexpr int kRecord2Size = 17;
    // The most records one read may ask for: what the data buffer holds.
    static constexpr int kMaxRecords1CH = kDataBufferSize / kRecord1Size;
    static constexpr int kMaxRecords2CH = kDataBufferSize / kRecord2Size;
    static constexpr int32_t kCommandTimeOutMs = 100;

private:
    bool PurgeAndAcknowledge(const char* text);
    bool PurgeAndReply(const char* text, char* dest11);
    bool ReadRecords(int32_t n, int32_t size, int32_t maxRecords, uint32_t* got);

    uint8_t data_[kDataBufferSize] = {};
    char command_[kCommandSize] = {};
    char reply_[kReplySize] = {};
};

// Pure helpers of the wire format.
// Eight hexadecimal characters, most significant first; a non-digit counts as 0.
uint32_t HexToCode(const uint8_t* eightChars);
// Five upper-case hexadecimal digits and a NUL; counts above 0xFFFFF give "00000".
void CountToHex5(int32_t count, char out6[6]);
