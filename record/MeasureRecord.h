#pragma once
// The program's one data set: acquisition settings, up to two channels of
// samples as raw codes and as microvolts, validity flags and statistics.
// Pure C++: no Qt, so the data file, the graph and the tools can share it.

#include <array>
#include <cstdint>

inline constexpr int CHANNEL_CAPACITY = 10010;
inline constexpr int32_t FULL_SCALE_UV = 2500000;

struct TAdcSetting {
    int32_t spsSel = 1;
    int32_t DataCountSel = 3;
    int32_t CHSel = 0;
    int32_t GainSel = 0;
    int32_t Gain = 1;
    float Vref = 2.5f;
    uint8_t fSinc5 = 1;
    uint8_t fBUF_ON = 0;
};

struct TChannelData {
    int32_t Count = 0;
    uint32_t* Code = nullptr;
    float* Volt = nullptr;
};

// Offset-binary code to microvolts: (2500000 div gain) * (code - 2^31) / (2^31 - 1).
// The one conversion of the program; the record and the graph both call it.
double CodeToMicrovolt(uint32_t code, int32_t gain);

// Samples a channel really holds: Count within 0..CHANNEL_CAPACITY, 0 without a
// code array. Everything that walks a channel's arrays goes by this.
int32_t UsableCount(const TChannelData& ch);

// Largest and smallest code of code[first..last], compared unsigned. The graph
// scales by these and the statistics readout shows them, so both scan alike.
struct TCodeExtremes {
    uint32_t Max = 0;
    uint32_t Min = 0xFFFFFFFFu;
};
TCodeExtremes ScanCodeExtremes(const uint32_t* code, int32_t first, int32_t last);
// A whole channel's extremes; an empty channel gives 0 for both.
TCodeExtremes ChannelExtremes(const TChannelData& ch);

// Mean and population standard deviation of code[0..n) (n > 0) whose least
// code is `minCode`: the exact integer sum of code - minCode, then the
// squares in double in sample order. The noise analysis and the trace
// viewer's span readout both take these, so over the same samples they agree.
struct TCodeSpread {
    double mean = 0;
    double sigma = 0;
};
TCodeSpread CodeSpread(const uint32_t* code, int64_t n, uint32_t minCode);

// Fixed storage for one channel pair; owned by whoever needs a set of buffers
// (the record, a load's scratch area).
struct TChannelStorage {
    std::array<uint32_t, CHANNEL_CAPACITY> Code0{};
    std::array<uint32_t, CHANNEL_CAPACITY> Code1{};
    std::array<float, CHANNEL_CAPACITY> Volt0{};
    std::array<float, CHANNEL_CAPACITY> Volt1{};
};

class TMeasureRecord {
public:
    TMeasureRecord();
    TMeasureRecord(const TMeasureRecord&) = delete;
    TMeasureRecord& operator=(const TMeasureRecord&) = delete;

    TAdcSetting Setting;
    TChannelData Ch0;
    TChannelData Ch1;

    uint8_t fCh0Valid = 0;
    uint8_t fCh1Valid = 0;

    uint32_t Ch0MeanCode = 0;
    uint32_t Ch1MeanCode = 0;
    float Ch0SigmaCode = 0;
    float Ch1SigmaCode = 0;
    float Ch0MeanVolt = 0;
    float Ch0SigmaVolt = 0;
    float Ch1MeanVolt = 0;
    float Ch1SigmaVolt = 0;

    // Flags and both counts to 0; arrays and statistics stay.
    void Clear();
    // Volt[i] for 0..Count-1 of each channel whose flag is 1.
    void ConvertToVolt();
    // Volt from Code for first..last inclusive, channels chosen by Setting.CHSel (during a run).
    void ConvertRangeToVolt(int first, int last);
    void ComputeCodeStatistics();
    void ComputeVoltStatistics();

    // Points both Code (and Volt) pointers at the start of the record's own arrays.
    void ResetPointers();
    // Sets flags and counts from Setting.CHSel: the measured channel(s) get `count`,
    // the other one 0.
    void MarkComplete(int32_t count);
    // Whether any channel holds a finished data set.
    bool HasData() const { return fCh0Valid != 0 || fCh1Valid != 0; }

private:
    TChannelStorage storage_;
};
