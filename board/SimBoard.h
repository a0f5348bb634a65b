#pragma once
// SimBoardDriver: a model of the MIRANTOS Board's firmware behind the seven
// FTDI operations. It answers the board's command set, streams sample records
// in real time (or on a manual clock), delivers bytes the way USB would, and
// can be told to show the faults a real board or cable shows.

#include "FtdiDriver.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace mirantos {

// Where the simulated board takes its time from, in microseconds.
class ISimClock {
public:
    virtual ~ISimClock() = default;
    virtual int64_t NowUs() = 0;
};

// Real time (steady clock), counted from construction.
class SteadySimClock : public ISimClock {
public:
    int64_t NowUs() override;

private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// Time that moves only when told to. With an auto step every reading moves it
// on a little, so request/response waits see their answers arrive.
class ManualClock : public ISimClock {
public:
    int64_t NowUs() override
    {
        const int64_t t = now_;
        now_ += autoStepUs_;
        return t;
    }
    void AdvanceUs(int64_t us) { now_ += us; }
    void AdvanceSeconds(double s) { now_ += static_cast<int64_t>(s * 1e6); }
    void SetUs(int64_t us) { now_ = us; }
    void SetAutoStepUs(int64_t us) { autoStepUs_ = us; }
    int64_t PeekUs() const { return now_; }

private:
    int64_t now_ = 0;
    int64_t autoStepUs_ = 0;
};

// Faults the board can be told to show. "Sample k" counts the records of the
// current run from 0.
struct SimFaults {
    bool absent = false;            // open finds no device
    bool mute = false;              // opens, accepts commands, never sends a byte
    std::string ngCommand;          // this exact command is answered "NG"
    bool refuseVersion = false;     // "V?" is answered "NG"
    int64_t answerDelayUs = 300;    // firmware's time to answer a command
    int64_t missingCrAtSample = -1; // that record carries a line feed where its CR belongs
    int64_t unplugAtSample = -1;    // once that many records were produced, the device is gone
    int failPurgeFrom = 0;          // the n-th purge (1-based) and every later one fail; 0: none
    int64_t stallAfterSamples = -1; // a run goes quiet after this many records (link still up)
};

// A sine on the input: its frequency in Hz, its amplitude in uV peak and, when given, its
// 2nd and 3rd harmonics in dBc; off at an amplitude of 0. Each channel has its own phase.
struct SimTone {
    double hz = 0.0;
    double uv = 0.0;
    double hd2Dbc = -400.0; // -400: none
    double hd3Dbc = -400.0;
    bool On() const { return hz > 0.0 && uv > 0.0; }
};

struct SimConfig {
    uint64_t seed = 1;
    std::string boardName = "MIRANTOS";
    std::string version = "1.10";
    double dcUv[2] = {1200000.0, -350000.0};
    double noiseScale = 1.0;   // multiplies the converter's noise figure
    double pickup50HzUv = 0.0; // amplitude of mains pickup, both channels
    // Flicker (1/f) noise of the input, its density at 1 Hz in nV/sqrt(Hz);
    // the same process, drawn independently, on each channel.
    double flickerNvAt1Hz = 0.0;
    double driftUvPerHour = 0.0; // linear drift from the start of each run, both channels
    SimTone tone;                // the signal of a sine-wave test, both channels
    int64_t latencyUs = 2000;    // a partly filled USB packet is sent after this long
    SimFaults faults;
    std::shared_ptr<ISimClock> clock; // null: real time
};

// Noise of the converter in microvolts rms for a rate and filter.
double SimNoiseRmsUv(double sps, bool sinc5);

// The largest values the signal settings take (the command line and
// MIRANTOS_SIM check against them).
inline constexpr double kSimMaxFlickerNv = 100000.0; // nV/sqrt(Hz) at 1 Hz
inline constexpr double kSimMaxDriftUvPerH = 1.0e6;  // either sign
inline constexpr double kSimMaxPickupUv = 1.0e6;
inline constexpr double kSimMaxToneHz = 100000.0;
inline constexpr double kSimMaxToneUv = 2.5e6;
inline constexpr double kSimMinHarmonicDbc = -200.0;

// "F:A[:HD2[:HD3]]" (Hz, uV peak, dBc) as --sim-tone and MIRANTOS_SIM's tone take it;
// false, with what it takes in `problem`, when a part is missing or out of range.
bool ParseSimTone(std::string_view text, SimTone& tone, std::string& problem);
// A number of a simulated board's setting, the whole text, finite and within lo..hi.
bool ParseSimNumber(std::string_view text, double lo, double hi, double& value);
// The tone as ParseSimTone reads it back ("1000:1000000:-100").
std::string SimToneText(const SimTone& tone);
// The tone at sample k of a run at sps samples per second, its phase at sample 0 `phase`.
double SimToneUv(const SimTone& tone, double phase, int64_t k, double sps);

// mirantos-sim's MIRANTOS_SIM: comma-separated name=value items, "flicker"
// (nV/sqrt(Hz) at 1 Hz), "drift" (uV/h), "pickup" (uV at 50 Hz), "tone" (F:A[:HD2[:HD3]]),
// "seed".
// Good items are set in `config`; each bad one is left out and described in
// the returned list.
std::vector<std::string> ApplySimSettings(std::string_view text, SimConfig& config);

// Flicker noise of one channel through one run, in microvolts: a sum of
// first-order low-pass sections two a decade apart, from a quarter of the
// rate down to 0.1 mHz, each driven by its own white noise and all of equal
// variance, which sums to a density of A^2/f (within a dB) from 1 mHz to fs/2.
// Each section starts in its steady state, so the run has no settling.
// Produced in order: sample k follows from the key and samples 0..k-1.
class SimFlicker {
public:
    SimFlicker(double nvAt1Hz, double sps, uint64_t key);
    double At(int64_t k);

private:
    void Restart();

    struct Section {
        double a = 0.0; // pole
        double b = 0.0; // drive per unit white noise
        double y = 0.0;
    };
    std::vector<Section> sections_;
    double sigmaUv_ = 0.0;
    uint64_t key_ = 0;
    int64_t next_ = 0; // the sample the sections are ready to produce
    double last_ = 0.0;
};

class SimBoardDriver : public IFtdiDriver {
public:
    explicit SimBoardDriver(SimConfig config = {});
    ~SimBoardDriver() override;

    FT_STATUS Open(int deviceIndex, FT_HANDLE* handle) override;
    FT_STATUS SetUSBParameters(FT_HANDLE handle, uint32_t inTransferSize,
                               uint32_t outTransferSize) override;
    FT_STATUS Purge(FT_HANDLE handle, uint32_t mask) override;
    FT_STATUS Close(FT_HANDLE handle) override;
    FT_STATUS GetQueueStatus(FT_HANDLE handle, uint32_t* rxBytes) override;
    FT_STATUS Read(FT_HANDLE handle, void* buffer, uint32_t bytesToRead,
                   uint32_t* bytesReturned) override;
    FT_STATUS Write(FT_HANDLE handle, const void* buffer, uint32_t bytesToWrite,
                    uint32_t* bytesWritten) override;
    std::string LastErrorText() const override { return error_; }
    bool Simulated() const override { return true; }

    // What the tests look at.
    const std::vector<std::string>& Commands() const { return commands_; }
    int PurgeCount() const { return purges_; }
    int OpenCount() const { return opens_; }
    bool IsOpen() const { return open_; }
    bool Sinc5() const { return sinc5_; }
    int RateIndex() const { return rateIndex_; }
    uint32_t InTransferSize() const { return inTransferSize_; }
    bool Unplugged() const { return unplugged_; }
    // Faults may be changed between operations (e.g. unplug after a good start).
    SimConfig& Config() { return config_; }

    static constexpr int kPacketPayload = 62;

private:
    struct Segment {
        int64_t firstByte = 0;
        bool stream = false;
        // text answer
        std::string text;
        int64_t readyUs = 0;
        // sample run
        int64_t startUs = 0;
        double sps = 1.0;
        int64_t limit = 0; // records this run will produce
        int recordSize = 9;
        int channel = 0;
        uint64_t run = 0;
        double rmsUv = 0.0;
        std::shared_ptr<SimFlicker> flicker[2]; // null when flicker is off
        double tonePhase[2] = {0.0, 0.0};       // radians at sample 0
    };

    bool Valid(FT_HANDLE h) const { return open_ && h == this; }
    FT_STATUS Reach(FT_HANDLE handle, int64_t* t);
    int64_t Now();
    int64_t RecordsReady(const Segment& s, int64_t t) const;
    int64_t SegmentBytes(const Segment& s, int64_t t) const;
    bool SegmentDone(const Segment& s, int64_t t) const;
    int64_t ReadyBytes(int64_t t) const;
    int64_t DeliveredBytes(int64_t t);
    void CheckUnplug(int64_t t);
    void EndRunAt(int64_t t);
    void Answer(const std::string& text, int64_t t);
    void Execute(const std::string& line, int64_t t);
    void Prune();
    uint32_t Code(const Segment& s, int64_t k, int channel);
    void FormatRecord(const Segment& s, int64_t k, char* out);
    void CopyOut(int64_t from, int64_t count, uint8_t* out);

    SimConfig config_;
    std::shared_ptr<ISimClock> clock_;
    bool open_ = false;
    bool unplugged_ = false;
    std::string error_;
    uint32_t inTransferSize_ = 4096;
    int purges_ = 0;
    int opens_ = 0;
    std::vector<std::string> commands_;
    std::string line_;
    bool sinc5_ = true;
    int rateIndex_ = 1;
    uint64_t runs_ = 0;

    std::deque<Segment> segments_;
    int64_t endByte_ = 0;  // first byte after the last segment that was pruned or closed
    int64_t base_ = 0;     // bytes before this were purged
    int64_t consumed_ = 0; // bytes read by the host (or purged)
};

} // namespace mirantos
