#include "SimBoard.h"

#include "RateTable.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <numbers>

namespace mirantos {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

uint64_t SplitMix64(uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// A standard normal value that depends only on the key, so any record can be
// produced on demand, in any order, and always comes out the same.
double GaussianFor(uint64_t key)
{
    const uint64_t a = SplitMix64(key);
    const uint64_t b = SplitMix64(a ^ 0xD1B54A32D192ED03ull);
    const double u1 = (static_cast<double>(a >> 11) + 1.0) * 0x1.0p-53; // (0, 1]
    const double u2 = static_cast<double>(b >> 11) * 0x1.0p-53;         // [0, 1)
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * u2);
}

// A cheap unit-variance noise value for the flicker sections' drive: the sum
// of four 16-bit uniforms. The sections low-pass it, so its shape does not show.
double UnitNoiseFor(uint64_t key)
{
    const uint64_t x = SplitMix64(key);
    const double sum = static_cast<double>(x & 0xFFFFu) + static_cast<double>((x >> 16) & 0xFFFFu) +
                       static_cast<double>((x >> 32) & 0xFFFFu) + static_cast<double>(x >> 48);
    // Each uniform on 0..65535 has variance (65536^2 - 1) / 12.
    static const double kScale = 1.0 / std::sqrt((65536.0 * 65536.0 - 1.0) / 3.0);
    return (sum - 2.0 * 65535.0) * kScale;
}

constexpr double kFlickerRatio = 3.1622776601683795; // two sections a decade
constexpr double kFlickerLowestHz = 1e-4;
constexpr int kMaxFlickerSections = 32; // 10 ksps needs 15

void PutHex8(uint32_t v, char* out)
{
    for (int i = 7; i >= 0; --i) {
        out[i] = kHex[v & 0xFu];
        v >>= 4;
    }
}

bool IsUpperHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

} // namespace

int64_t SteadySimClock::NowUs()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                                 start_)
        .count();
}

double SimNoiseRmsUv(double sps, bool sinc5)
{
    // The converter's noise table at three rates; in between it grows about
    // with the square root of the rate (interpolated on log-log axes).
    struct Point {
        double sps, uv;
    };
    constexpr Point pts[] = {{5.0, 0.06}, {2500.0, 1.26}, {10000.0, 2.7}};
    if (sps <= 0.0)
        return 0.0;
    const Point& lo = sps < pts[1].sps ? pts[0] : pts[1];
    const Point& hi = sps < pts[1].sps ? pts[1] : pts[2];
    const double slope = std::log(hi.uv / lo.uv) / std::log(hi.sps / lo.sps);
    const double rms = lo.uv * std::pow(sps / lo.sps, slope);
    return sinc5 ? rms : 0.75 * rms;
}

SimFlicker::SimFlicker(double nvAt1Hz, double sps, uint64_t key) : key_(key)
{
    // Equal-variance Lorentzians whose corners are a ratio r apart sum to a
    // one-sided density of sigma^2 / (f ln r). The top corner at fs/4 keeps
    // the discrete sections' excess near fs/2 within a dB.
    sigmaUv_ = nvAt1Hz * 1e-3 * std::sqrt(std::log(kFlickerRatio));
    for (double fc = 0.25 * sps;
         fc >= kFlickerLowestHz && sections_.size() < static_cast<size_t>(kMaxFlickerSections);
         fc /= kFlickerRatio) {
        Section s;
        s.a = std::exp(-2.0 * std::numbers::pi * fc / sps);
        s.b = std::sqrt(1.0 - s.a * s.a); // keeps each section at unit variance
        sections_.push_back(s);
    }
    Restart();
}

void SimFlicker::Restart()
{
    for (size_t i = 0; i < sections_.size(); ++i)
        sections_[i].y = GaussianFor(SplitMix64(key_ ^ 0xA0761D6478BD642Full) + i);
    next_ = 0;
    last_ = 0.0;
}

double SimFlicker::At(int64_t k)
{
    if (k < next_ - 1)
        Restart(); // only a caller going back; the model itself reads forward
    while (next_ <= k) {
        const uint64_t base = key_ + static_cast<uint64_t>(next_) * kMaxFlickerSections;
        double sum = 0.0;
        for (size_t i = 0; i < sections_.size(); ++i) {
            Section& s = sections_[i];
            s.y = s.a * s.y + s.b * UnitNoiseFor(base + i);
            sum += s.y;
        }
        last_ = sigmaUv_ * sum;
        ++next_;
    }
    return last_;
}

bool ParseSimNumber(std::string_view text, double lo, double hi, double& value)
{
    double v = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v) || v < lo ||
        v > hi)
        return false;
    value = v;
    return true;
}

namespace {

std::string_view Trimmed(std::string_view t)
{
    while (!t.empty() && t.front() == ' ')
        t.remove_prefix(1);
    while (!t.empty() && t.back() == ' ')
        t.remove_suffix(1);
    return t;
}

} // namespace

std::vector<std::string> ApplySimSettings(std::string_view text, SimConfig& config)
{
    std::vector<std::string> problems;
    while (!text.empty()) {
        const size_t comma = text.find(',');
        const std::string_view item = Trimmed(text.substr(0, comma));
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        if (item.empty())
            continue;
        const size_t eq = item.find('=');
        const std::string_view name = Trimmed(item.substr(0, eq));
        const std::string_view value =
            eq == std::string_view::npos ? std::string_view() : Trimmed(item.substr(eq + 1));
        const std::string quoted = "\"" + std::string(value) + "\"";
        if (name == "flicker") {
            if (!ParseSimNumber(value, 0.0, kSimMaxFlickerNv, config.flickerNvAt1Hz))
                problems.push_back("flicker takes nV/sqrt(Hz) at 1 Hz from 0 to 100000, not " +
                                   quoted);
        } else if (name == "drift") {
            if (!ParseSimNumber(value, -kSimMaxDriftUvPerH, kSimMaxDriftUvPerH,
                                config.driftUvPerHour))
                problems.push_back("drift takes uV/h from -1000000 to 1000000, not " + quoted);
        } else if (name == "pickup") {
            if (!ParseSimNumber(value, 0.0, kSimMaxPickupUv, config.pickup50HzUv))
                problems.push_back("pickup takes uV from 0 to 1000000, not " + quoted);
        } else if (name == "tone") {
            std::string problem;
            if (!ParseSimTone(value, config.tone, problem))
                problems.push_back("tone " + problem + ", not " + quoted);
        } else if (name == "seed") {
            uint64_t seed = 0;
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), seed);
            if (ec != std::errc() || value.empty() || end != value.data() + value.size())
                problems.push_back("seed takes a whole number from 0 to 18446744073709551615, "
                                   "not " +
                                   quoted);
            else
                config.seed = seed;
        } else {
            problems.push_back("unknown setting \"" + std::string(item) +
                               "\" (flicker, drift, pickup, tone or seed)");
        }
    }
    return problems;
}

SimBoardDriver::SimBoardDriver(SimConfig config) : config_(std::move(config))
{
    clock_ = config_.clock ? config_.clock : std::make_shared<SteadySimClock>();
}

SimBoardDriver::~SimBoardDriver() = default;

int64_t SimBoardDriver::Now()
{
    return clock_->NowUs();
}

FT_STATUS SimBoardDriver::Open(int deviceIndex, FT_HANDLE* handle)
{
    ++opens_;
    if (handle == nullptr)
        return FT_INVALID_PARAMETER;
    *handle = nullptr;
    if (config_.faults.absent || unplugged_ || deviceIndex != 0) {
        error_ = "no FTDI device found";
        return FT_DEVICE_NOT_FOUND;
    }
    if (open_) {
        error_ = "device already open";
        return FT_DEVICE_NOT_OPENED;
    }
    open_ = true;
    line_.clear();
    segments_.clear();
    base_ = consumed_ = endByte_;
    error_.clear();
    *handle = this;
    return FT_OK;
}

FT_STATUS SimBoardDriver::SetUSBParameters(FT_HANDLE handle, uint32_t inTransferSize,
                                           uint32_t /*outTransferSize*/)
{
    if (!Valid(handle))
        return FT_INVALID_HANDLE;
    if (unplugged_)
        return FT_IO_ERROR;
    if (inTransferSize < 64 || inTransferSize > 65536)
        return FT_INVALID_PARAMETER;
    inTransferSize_ = inTransferSize;
    return FT_OK;
}

FT_STATUS SimBoardDriver::Purge(FT_HANDLE handle, uint32_t mask)
{
    if (!Valid(handle))
        return FT_INVALID_HANDLE;
    ++purges_;
    const int64_t t = Now();
    CheckUnplug(t);
    if (unplugged_ ||
        (config_.faults.failPurgeFrom > 0 && purges_ >= config_.faults.failPurgeFrom)) {
        error_ = "purge failed";
        return FT_IO_ERROR;
    }
    if (mask & FT_PURGE_RX) {
        // Everything the firmware has produced so far is gone, delivered or not.
        base_ = consumed_ = std::max(consumed_, ReadyBytes(t));
        Prune();
    }
    return FT_OK;
}

FT_STATUS SimBoardDriver::Close(FT_HANDLE handle)
{
    if (!Valid(handle))
        return FT_INVALID_HANDLE;
    // Releasing the chip resets its FIFOs and the firmware's run with them.
    open_ = false;
    segments_.clear();
    base_ = consumed_ = endByte_;
    line_.clear();
    return FT_OK;
}

// The common start of the data calls: a valid handle to a board still plugged
// in at the current time `*t`.
FT_STATUS SimBoardDriver::Reach(FT_HANDLE handle, int64_t* t)
{
    if (!Valid(handle))
        return FT_INVALID_HANDLE;
    if (unplugged_)
        return FT_IO_ERROR;
    *t = Now();
    CheckUnplug(*t);
    return unplugged_ ? FT_IO_ERROR : FT_OK;
}

FT_STATUS SimBoardDriver::GetQueueStatus(FT_HANDLE handle, uint32_t* rxBytes)
{
    if (rxBytes == nullptr)
        return FT_INVALID_PARAMETER;
    *rxBytes = 0;
    int64_t t = 0;
    if (const FT_STATUS st = Reach(handle, &t); st != FT_OK)
        return st;
    const int64_t avail = DeliveredBytes(t) - consumed_;
    *rxBytes = static_cast<uint32_t>(std::min<int64_t>(avail, UINT32_MAX));
    return FT_OK;
}

FT_STATUS SimBoardDriver::Read(FT_HANDLE handle, void* buffer, uint32_t bytesToRead,
                               uint32_t* bytesReturned)
{
    if (bytesReturned == nullptr)
        return FT_INVALID_PARAMETER;
    *bytesReturned = 0;
    int64_t t = 0;
    if (const FT_STATUS st = Reach(handle, &t); st != FT_OK)
        return st;
    const int64_t avail = DeliveredBytes(t) - consumed_;
    const int64_t n = std::min<int64_t>(avail, bytesToRead);
    if (n > 0) {
        CopyOut(consumed_, n, static_cast<uint8_t*>(buffer));
        consumed_ += n;
        Prune();
    }
    *bytesReturned = static_cast<uint32_t>(n);
    return FT_OK;
}

FT_STATUS SimBoardDriver::Write(FT_HANDLE handle, const void* buffer, uint32_t bytesToWrite,
                                uint32_t* bytesWritten)
{
    if (bytesWritten == nullptr)
        return FT_INVALID_PARAMETER;
    *bytesWritten = 0;
    int64_t t = 0;
    if (const FT_STATUS st = Reach(handle, &t); st != FT_OK)
        return st;
    const auto* p = static_cast<const char*>(buffer);
    for (uint32_t i = 0; i < bytesToWrite; ++i) {
        if (p[i] == '\r') {
            Execute(line_, t);
            line_.clear();
        } else if (line_.size() < 64) {
            line_.push_back(p[i]);
        } else {
            line_ = std::string(65, '?'); // an over-long line is answered "NG"
        }
    }
    *bytesWritten = bytesToWrite;
    return FT_OK;
}

void SimBoardDriver::Execute(const std::string& line, int64_t t)
{
    commands_.push_back(line);
    if (config_.faults.mute)
        return;
    // The firmware handles one thing at a time: any command ends a run.
    EndRunAt(t);
    if (!config_.faults.ngCommand.empty() && line == config_.faults.ngCommand) {
        Answer("NG\r", t);
        return;
    }
    if (line == "?") {
        Answer("OK\r", t);
    } else if (line == "S3" || line == "S5") {
        sinc5_ = line[1] == '5';
        Answer("OK\r", t);
    } else if (line.size() == 2 && line[0] == 'F' && IsUpperHex(line[1]) && line[1] <= 'D') {
        rateIndex_ = line[1] <= '9' ? line[1] - '0' : line[1] - 'A' + 10;
        Answer("OK\r", t);
    } else if (line == "U?") {
        Answer(config_.boardName + "\r", t);
    } else if (line == "V?") {
        Answer(config_.faults.refuseVersion ? std::string("NG\r") : config_.version + "\r", t);
    } else if (line == "AX") {
        // stopped above; no answer
    } else if (line.size() == 7 && line[0] == 'A' && line[1] >= '0' && line[1] <= '2' &&
               std::all_of(line.begin() + 2, line.end(), IsUpperHex)) {
        Segment s;
        s.stream = true;
        s.run = ++runs_;
        s.channel = line[1] - '0';
        s.recordSize = s.channel == 2 ? 17 : 9;
        s.startUs = t;
        s.sps = RateSps(rateIndex_, sinc5_);
        s.rmsUv = SimNoiseRmsUv(s.sps, sinc5_) * config_.noiseScale;
        if (config_.flickerNvAt1Hz > 0.0) {
            const uint64_t key = SplitMix64(config_.seed ^ 0x3C6EF372FE94F82Bull) + s.run * 2;
            for (int c = 0; c < 2; ++c)
                s.flicker[c] = std::make_shared<SimFlicker>(config_.flickerNvAt1Hz, s.sps,
                                                            SplitMix64(key + c));
        }
        if (config_.tone.On()) {
            const uint64_t key = SplitMix64(config_.seed ^ 0x6A09E667F3BCC909ull) + s.run * 2;
            for (int c = 0; c < 2; ++c)
                s.tonePhase[c] = 2.0 * std::numbers::pi *
                                 static_cast<double>(SplitMix64(key + c) >> 11) * 0x1.0p-53;
        }
        s.limit = std::stoll(line.substr(2), nullptr, 16);
        if (config_.faults.stallAfterSamples >= 0)
            s.limit = std::min(s.limit, config_.faults.stallAfterSamples);
        s.firstByte = endByte_;
        endByte_ += s.limit * s.recordSize;
        segments_.push_back(std::move(s));
    } else {
        Answer("NG\r", t);
    }
}

void SimBoardDriver::Answer(const std::string& text, int64_t t)
{
    Segment s;
    s.text = text;
    s.readyUs = t + config_.faults.answerDelayUs;
    s.firstByte = endByte_;
    endByte_ += static_cast<int64_t>(text.size());
    segments_.push_back(std::move(s));
}

void SimBoardDriver::EndRunAt(int64_t t)
{
    if (segments_.empty() || !segments_.back().stream)
        return;
    Segment& s = segments_.back();
    const int64_t made = RecordsReady(s, t);
    if (made < s.limit) {
        endByte_ -= (s.limit - made) * s.recordSize;
        s.limit = made;
    }
}

int64_t SimBoardDriver::RecordsReady(const Segment& s, int64_t t) const
{
    if (t <= s.startUs)
        return 0;
    const auto n = static_cast<int64_t>(static_cast<double>(t - s.startUs) * s.sps / 1e6);
    return std::min(n, s.limit);
}

int64_t SimBoardDriver::SegmentBytes(const Segment& s, int64_t t) const
{
    if (s.stream)
        return RecordsReady(s, t) * s.recordSize;
    return t >= s.readyUs ? static_cast<int64_t>(s.text.size()) : 0;
}

bool SimBoardDriver::SegmentDone(const Segment& s, int64_t t) const
{
    if (s.stream)
        return RecordsReady(s, t) >= s.limit;
    return t >= s.readyUs;
}

int64_t SimBoardDriver::ReadyBytes(int64_t t) const
{
    // Bytes leave the firmware in order: a later answer waits for earlier ones.
    for (const Segment& s : segments_) {
        if (!SegmentDone(s, t))
            return s.firstByte + SegmentBytes(s, t);
    }
    return endByte_;
}

int64_t SimBoardDriver::DeliveredBytes(int64_t t)
{
    // Full 62-byte packets go at once; a partly filled one when the latency
    // timer runs out, i.e. everything that has been ready that long.
    const int64_t ready = ReadyBytes(t);
    const int64_t inFullPackets = base_ + (ready - base_) / kPacketPayload * kPacketPayload;
    const int64_t flushed = ReadyBytes(t - config_.latencyUs);
    const int64_t d = std::clamp(std::max(inFullPackets, flushed), base_, ready);
    return std::max(d, consumed_);
}

void SimBoardDriver::CheckUnplug(int64_t t)
{
    const int64_t k = config_.faults.unplugAtSample;
    if (k < 0 || unplugged_)
        return;
    for (const Segment& s : segments_) {
        if (s.stream && RecordsReady(s, t) >= k && (k > 0 || t > s.startUs)) {
            unplugged_ = true;
            error_ = "device disappeared";
            return;
        }
    }
}

void SimBoardDriver::Prune()
{
    while (!segments_.empty()) {
        const Segment& s = segments_.front();
        const int64_t size =
            s.stream ? s.limit * s.recordSize : static_cast<int64_t>(s.text.size());
        if (s.firstByte + size > consumed_)
            break;
        segments_.pop_front();
    }
}

uint32_t SimBoardDriver::Code(const Segment& s, int64_t k, int channel)
{
    const uint64_t key = config_.seed * 0x9E3779B97F4A7C15ull ^ (s.run << 40) ^
                         (static_cast<uint64_t>(k) << 1) ^ static_cast<uint64_t>(channel);
    // The input (DC and, when on, the tone), then the converter's noise.
    double input = config_.dcUv[channel];
    if (config_.tone.On())
        input += SimToneUv(config_.tone, s.tonePhase[channel], k, s.sps);
    double uv = input + s.rmsUv * GaussianFor(key);
    if (s.flicker[channel])
        uv += s.flicker[channel]->At(k);
    if (config_.driftUvPerHour != 0.0)
        uv += config_.driftUvPerHour / 3600.0 * static_cast<double>(k + 1) / s.sps;
    if (config_.pickup50HzUv != 0.0) {
        const double tk =
            static_cast<double>(s.startUs) * 1e-6 + static_cast<double>(k + 1) / s.sps;
        uv += config_.pickup50HzUv * std::sin(2.0 * std::numbers::pi * 50.0 * tk);
    }
    const double code = 2147483648.0 + std::round(uv * 2147483647.0 / 2500000.0);
    return static_cast<uint32_t>(std::clamp(code, 0.0, 4294967295.0));
}

void SimBoardDriver::FormatRecord(const Segment& s, int64_t k, char* out)
{
    if (s.channel == 2) {
        PutHex8(Code(s, k, 0), out);
        PutHex8(Code(s, k, 1), out + 8);
    } else {
        PutHex8(Code(s, k, s.channel), out);
    }
    out[s.recordSize - 1] = k == config_.faults.missingCrAtSample ? '\n' : '\r';
}

void SimBoardDriver::CopyOut(int64_t from, int64_t count, uint8_t* out)
{
    const int64_t to = from + count;
    for (const Segment& s : segments_) {
        const int64_t size =
            s.stream ? s.limit * s.recordSize : static_cast<int64_t>(s.text.size());
        const int64_t lo = std::max(from, s.firstByte);
        const int64_t hi = std::min(to, s.firstByte + size);
        if (lo >= hi)
            continue;
        if (!s.stream) {
            std::memcpy(out + (lo - from), s.text.data() + (lo - s.firstByte),
                        static_cast<size_t>(hi - lo));
            continue;
        }
        int64_t pos = lo;
        while (pos < hi) {
            const int64_t k = (pos - s.firstByte) / s.recordSize;
            const int64_t recStart = s.firstByte + k * s.recordSize;
            char rec[17];
            FormatRecord(s, k, rec);
            const int64_t take = std::min(hi, recStart + s.recordSize) - pos;
            std::memcpy(out + (pos - from), rec + (pos - recStart), static_cast<size_t>(take));
            pos += take;
        }
    }
}

} // namespace mirantos
