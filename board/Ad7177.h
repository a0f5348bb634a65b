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
    bool ReadData1CH(uint32_t* codes, int32_t* converted, int32_t n);
    bool ReadData2CH(uint32_t* codes0, uint32_t* codes1, int32_t n, int32_t* converted);
    int32_t GetGain() const { return 1; }

    static constexpr int kDataBufferSize = 1710;
    static constexpr int kReplySize = 32;
};

// Pure helpers of the wire format.
uint32_t HexToCode(const uint8_t* eightChars);
void CountToHex5(int32_t count, char out6[6]);
