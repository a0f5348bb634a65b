#include "Ad7177.h"

#include <cstring>

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// 0..15 for a hexadecimal character, 0 for anything else.
constexpr uint8_t HexValue(uint8_t c)
{
    if (c >= '0' && c <= '9')
        return static_cast<uint8_t>(c - '0');
    if (c >= 'a' && c <= 'f')
        return static_cast<uint8_t>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F')
        return static_cast<uint8_t>(c - 'A' + 10);
    return 0;
}

struct HexTable {
    uint8_t v[256];
    constexpr HexTable() : v{}
    {
        for (int i = 0; i < 256; ++i)
            v[i] = HexValue(static_cast<uint8_t>(i));
    }
};
constexpr HexTable kHex;

bool IsRefusal(const char* reply)
{
    return reply[0] == 'N' || (reply[0] != '\0' && reply[1] == 'G');
}

} // namespace

uint32_t HexToCode(const uint8_t* c)
{
    uint32_t v = 0;
    for (int i = 0; i < 8; ++i)
        v = (v << 4) | kHex.v[c[i]];
    return v;
}

void CountToHex5(int32_t count, char out6[6])
{
    auto u = static_cast<uint32_t>(count);
    if (u > 0xFFFFFu)
        u = 0;
    for (int i = 0; i < 5; ++i)
        out6[i] = kHexDigits[(u >> (4 * (4 - i))) & 0xFu];
    out6[5] = '\0';
}

TADC::TADC(QObject* owner, std::unique_ptr<IFtdiDriver> driver) : Tft_FIFO(owner, std::move(driver))
{
}

bool TADC::Connect()
{
    // Open is a no-op on a link that is still open, so the purge is what
    // finds out whether the device is still there.
    return Open(4096) && Purge();
}

void TADC::Disconnect()
{
    if (IsOpen())
        Close();
}

bool TADC::PurgeAndAcknowledge(const char* text)
{
    if (!IsOpen() || !Purge())
        return false;
    std::strncpy(command_, text, kCommandSize - 1);
    command_[kCommandSize - 1] = '\0';
    SetTimeOut(kCommandTimeOutMs);
    return SendCommandOK(command_);
}

bool TADC::PurgeAndReply(const char* text, char* dest11)
{
    if (dest11 == nullptr || !IsOpen() || !Purge())
        return false;
    std::strncpy(command_, text, kCommandSize - 1);
    command_[kCommandSize - 1] = '\0';
    reply_[0] = '\0';
    SetTimeOut(kCommandTimeOutMs);
    if (!SendCommandReply(command_, reply_, kReplySize))
        return false;
    if (IsRefusal(reply_))
        return false;
    size_t n = 0;
    while (n < 10 && reply_[n] != '\0') {
        dest11[n] = reply_[n];
        ++n;
    }
    dest11[n] = '\0';
    return true;
}

bool TADC::CheckBoard()
{
    return PurgeAndAcknowledge("?");
}

bool TADC::GetBoardName(char* dest11)
{
    return PurgeAndReply("U?", dest11);
}

bool TADC::GetVersion(char* dest11)
{
    return PurgeAndReply("V?", dest11);
}

bool TADC::SetSinc3()
{
    return PurgeAndAcknowledge("S3");
}

bool TADC::SetSinc5()
{
    return PurgeAndAcknowledge("S5");
}

bool TADC::SetRate(int32_t index)
{
    if (index < 0 || index > 13)
        return false;
    command_[0] = 'F';
    command_[1] = kHexDigits[index];
    command_[2] = '\0';
    SetTimeOut(kCommandTimeOutMs);
    return SendCommandOK(command_);
}

bool TADC::StartConversion(int32_t channelSel, int32_t count)
{
    if (!IsOpen() || channelSel < 0 || channelSel > 2)
        return false;
    if (!Purge())
        return false;
    command_[0] = 'A';
    command_[1] = static_cast<char>('0' + channelSel);
    CountToHex5(count, command_ + 2);
    return SendCommand(command_);
}

bool TADC::StopConversion()
{
    if (!IsOpen())
        return false;
    command_[0] = 'A';
    command_[1] = 'X';
    command_[2] = '\0';
    return SendCommand(command_);
}

// Fetches n whole records of `size` bytes into the data buffer, or none yet.
// False on a link failure or an impossible count; *got is the bytes delivered.
bool TADC::ReadRecords(int32_t n, int32_t size, int32_t maxRecords, uint32_t* got)
{
    *got = 0;
    if (!IsOpen() || n < 0 || n > maxRecords)
        return false;
    if (n == 0)
        return true;
    const auto wanted = static_cast<uint32_t>(n * size);
    if (!ReadBytes(data_, wanted, got))
        return false;
    return *got == 0 || *got == wanted;
}

bool TADC::ReadData1CH(uint32_t* codes, int32_t* converted, int32_t n)
{
    if (converted == nullptr)
        return false;
    *converted = 0;
    uint32_t got = 0;
    if (codes == nullptr || !ReadRecords(n, kRecord1Size, kMaxRecords1CH, &got))
        return false;
    if (got == 0)
        return true;
    const uint8_t* rec = data_;
    for (int32_t i = 0; i < n; ++i, rec += kRecord1Size) {
        if (rec[8] != '\r')
            return false;
        codes[i] = HexToCode(rec);
        *converted = i + 1;
    }
    return true;
}

bool TADC::ReadData2CH(uint32_t* codes0, uint32_t* codes1, int32_t n, int32_t* converted)
{
    if (converted == nullptr)
        return false;
    *converted = 0;
    uint32_t got = 0;
    if (codes0 == nullptr || codes1 == nullptr ||
        !ReadRecords(n, kRecord2Size, kMaxRecords2CH, &got))
        return false;
    if (got == 0)
        return true;
    const uint8_t* rec = data_;
    for (int32_t i = 0; i < n; ++i, rec += kRecord2Size) {
        if (rec[16] != '\r')
            return false;
        codes0[i] = HexToCode(rec);
        codes1[i] = HexToCode(rec + 8);
        *converted = i + 1;
    }
    return true;
}
