#include "FuzzCases.h"

#include "Ad7177.h"
#include "CaptureFile.h"
#include "Limits.h"
#include "LimitsInput.h"
#include "LowFrequency.h"
#include "MeasureRecord.h"
#include "Myfile.h"
#include "NoiseReport.h"
#include "RateTable.h"

#include <QCoreApplication>
#include <QObject>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace mirantos::fuzz {

namespace {

// ---- DTA files -------------------------------------------------------------

// One in-memory file, rewritten for every input: no disk traffic.
class ScratchFile {
public:
    explicit ScratchFile(const char* name = "fuzz.DTA")
    {
        fd_ = ::memfd_create(name, 0);
        if (fd_ < 0) {
            char name[] = "/tmp/mirantos-fuzz-XXXXXX";
            fd_ = ::mkstemp(name);
            ::unlink(name);
        }
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    ~ScratchFile() { ::close(fd_); }

    bool Set(const void* data, size_t size)
    {
        if (::ftruncate(fd_, 0) != 0)
            return false;
        const auto* p = static_cast<const char*>(data);
        size_t done = 0;
        while (done < size) {
            const ssize_t n = ::pwrite(fd_, p + done, size - done, static_cast<off_t>(done));
            if (n <= 0)
                return false;
            done += static_cast<size_t>(n);
        }
        return true;
    }
    const std::string& Path() const { return path_; }

private:
    int fd_ = -1;
    std::string path_;
};

struct Buffers {
    TChannelStorage storage;
    TChannelData ch0{0, storage.Code0.data(), storage.Volt0.data()};
    TChannelData ch1{0, storage.Code1.data(), storage.Volt1.data()};
};

std::string CountsInRange(const Buffers& b)
{
    if (b.ch0.Count < 0 || b.ch0.Count > CHANNEL_CAPACITY)
        return "CH0 count outside the storage: " + std::to_string(b.ch0.Count);
    if (b.ch1.Count < 0 || b.ch1.Count > CHANNEL_CAPACITY)
        return "CH1 count outside the storage: " + std::to_string(b.ch1.Count);
    return {};
}

bool SameStoredSettings(const TAdcSetting& a, const TAdcSetting& b)
{
    return a.spsSel == b.spsSel && a.DataCountSel == b.DataCountSel && a.CHSel == b.CHSel &&
           a.GainSel == b.GainSel && a.fSinc5 == b.fSinc5 && a.fBUF_ON == b.fBUF_ON;
}

bool SameCodes(const TChannelData& a, const TChannelData& b)
{
    return a.Count == b.Count && std::equal(a.Code, a.Code + a.Count, b.Code);
}

// ---- capture files ---------------------------------------------------------

std::string CaptureShape(const TCaptureData& d)
{
    const TCaptureInfo& i = d.info;
    if (i.chSel < 0 || i.chSel > 2)
        return "channels outside ch0, ch1, both: " + std::to_string(i.chSel);
    if ((i.chSel == 1 && !d.ch0.empty()) || (i.chSel == 0 && !d.ch1.empty()))
        return "codes of a channel the capture does not hold";
    if (i.chSel == 2 && d.ch0.size() != d.ch1.size())
        return "a two-channel capture gave unequal counts";
    if (i.rateSps != RateSps(i.rateIndex, i.sinc5) || i.rateSps <= 0)
        return "a rate outside the rate table was accepted";
    if (i.gain < 1)
        return "a gain below 1 was accepted";
    return {};
}

TCaptureEnd EndOf(const std::string& end)
{
    for (const TCaptureEnd how :
         {TCaptureEnd::Complete, TCaptureEnd::ReadError, TCaptureEnd::WriteError})
        if (end.rfind(std::string(CaptureEndText(how)) + ",", 0) == 0)
            return how;
    return TCaptureEnd::Stopped;
}

// ---- board link ------------------------------------------------------------

// A device whose answers are the fuzz input: each queue-status call lets
// another `chunk` bytes arrive; a purge drops what has arrived but was not
// read; the call numbered `failAt` fails. Once the input is used up, any wait
// of the link is ended at once instead of running into its timer.
class StreamDevice : public IFtdiDriver {
public:
    StreamDevice(const uint8_t* data, size_t size, uint32_t chunk, int failAt)
        : data_(data), size_(size), chunk_(chunk), failAt_(failAt)
    {
    }

    Tft_FIFO* link = nullptr;
    size_t writes = 0;

    FT_STATUS Open(int, FT_HANDLE* handle) override
    {
        *handle = nullptr;
        if (Fails())
            return FT_DEVICE_NOT_FOUND;
        *handle = this;
        return FT_OK;
    }
    FT_STATUS SetUSBParameters(FT_HANDLE, uint32_t, uint32_t) override
    {
        return Fails() ? FT_IO_ERROR : FT_OK;
    }
    FT_STATUS Purge(FT_HANDLE, uint32_t) override
    {
        if (Fails())
            return FT_IO_ERROR;
        pos_ += arrived_;
        arrived_ = 0;
        return FT_OK;
    }
    FT_STATUS Close(FT_HANDLE) override { return FT_OK; }
    FT_STATUS GetQueueStatus(FT_HANDLE, uint32_t* rx) override
    {
        *rx = 0;
        if (Fails())
            return FT_IO_ERROR;
        arrived_ = std::min<size_t>(arrived_ + chunk_, size_ - pos_);
        if (pos_ + arrived_ >= size_ && link != nullptr)
            link->OnTimeOut();
        *rx = static_cast<uint32_t>(arrived_);
        return FT_OK;
    }
    FT_STATUS Read(FT_HANDLE, void* buffer, uint32_t want, uint32_t* got) override
    {
        *got = 0;
        if (Fails())
            return FT_IO_ERROR;
        const size_t n = std::min<size_t>(want, arrived_);
        std::memcpy(buffer, data_ + pos_, n);
        pos_ += n;
        arrived_ -= n;
        *got = static_cast<uint32_t>(n);
        return FT_OK;
    }
    FT_STATUS Write(FT_HANDLE, const void*, uint32_t n, uint32_t* written) override
    {
        *written = 0;
        if (Fails())
            return FT_IO_ERROR;
        ++writes;
        *written = n;
        return FT_OK;
    }

    bool Exhausted() const { return pos_ >= size_; }

private:
    bool Fails() { return ++calls_ == failAt_; }

    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    size_t arrived_ = 0;
    uint32_t chunk_;
    int failAt_;
    int calls_ = 0;
};

QObject* g_owner = nullptr;

// ---- limits files ----------------------------------------------------------

std::string CheckLimit(const station::TLimit& l, int channel, const station::TTestSettings& s)
{
    const std::string at = "ch" + std::to_string(channel) + " " + l.figure + ": ";
    const station::TFigureInfo* info = station::FindFigure(l.figure);
    if (info == nullptr)
        return at + "an unknown figure was accepted";
    if (!l.min && !l.max)
        return at + "a limit without min or max was accepted";
    for (const std::optional<double>& b : {l.min, l.max}) {
        if (b && (!std::isfinite(*b) || *b < info->lowest || *b > info->highest))
            return at + "a bound outside the figure's range was accepted";
    }
    if (l.min && l.max && *l.min > *l.max)
        return at + "min above max was accepted";
    if (l.bandLowHz.has_value() != l.bandHighHz.has_value() ||
        (l.bandLowHz && l.figure != "band_rms_uV"))
        return at + "a band on the wrong figure or with one edge";
    if (l.bandLowHz) {
        analysis::TAnalysisOptions o = s.analysis;
        o.bandLowHz = l.bandLowHz;
        o.bandHighHz = l.bandHighHz;
        if (std::string e = analysis::CheckInput(s.samples, s.RateSps(), 1, o); !e.empty())
            return at + "an accepted band the analysis refuses: " + e;
    }
    if (info->needsLowFrequency &&
        !analysis::LowFrequencyNoiseReason(s.samples, s.RateSps()).empty())
        return at + "a low-frequency figure where it is not defined";
    if (l.figure == "slope_uV_per_h" && !analysis::DriftReason(s.samples, s.RateSps()).empty())
        return at + "a drift where it is not defined";
    if (l.figure == "band_rms_uV") {
        // The bins of the spectrum the settings give, as the analysis sums them.
        analysis::TSpectrum spectrum;
        spectrum.rateSps = s.RateSps();
        spectrum.segment =
            s.analysis.segment != 0 ? s.analysis.segment : analysis::DefaultSegment(s.samples);
        spectrum.psdUv2.resize(static_cast<size_t>(spectrum.segment / 2 + 1));
        if (!analysis::EmptyBandText(spectrum, l.bandLowHz.value_or(0.0),
                                     l.bandHighHz.value_or(s.RateSps() / 2.0))
                 .empty())
            return at + "a band that holds no frequency bin was accepted";
    }
    if (!HoldsChannel(s.chSel, channel))
        return at + "a limit on a channel that is not measured";
    return {};
}

std::string CheckText(const char* text, const char* what)
{
    if (std::memchr(text, '\0', 11) == nullptr)
        return std::string(what) + " is not terminated within 11 bytes";
    return {};
}

} // namespace

void InitBoardLink(int* argc, char*** argv)
{
    if (QCoreApplication::instance() == nullptr) {
        static int fallbackArgc = 1;
        static char name[] = "fuzz";
        static char* fallbackArgv[] = {name, nullptr};
        static QCoreApplication app(argc ? *argc : fallbackArgc, argv ? *argv : fallbackArgv);
    }
    if (g_owner == nullptr)
        g_owner = new QObject;
}

std::string DtaFileCase(const uint8_t* data, size_t size)
{
    static ScratchFile file;
    static auto first = std::make_unique<Buffers>();
    static auto second = std::make_unique<Buffers>();
    if (!file.Set(data, size))
        return {};

    Buffers& a = *first;
    a.ch0.Count = a.ch1.Count = 0;
    TAdcSetting setting;
    TmyFile myFile;
    const bool loaded = myFile.LoadData(file.Path(), &setting, &a.ch0, &a.ch1);
    if (std::string e = CountsInRange(a); !e.empty())
        return e;
    if (!loaded)
        return {};

    switch (setting.CHSel) {
    case 0:
        if (a.ch1.Count != 0)
            return "a CH0 file left a CH1 count";
        break;
    case 1:
        if (a.ch0.Count != 0)
            return "a CH1 file left a CH0 count";
        break;
    case 2:
        if (a.ch0.Count != a.ch1.Count)
            return "a two-channel file gave unequal counts";
        break;
    default:
        return {}; // no sample block is read for a channel selection outside 0..2
    }
    if (setting.fSinc5 > 1 || setting.fBUF_ON > 1)
        return "a flag other than 0 or 1 was accepted";

    // Whatever loads must survive a save and a load unchanged.
    std::string text;
    const bool formatted = setting.CHSel == 2
                               ? FormatDataFile2ch(setting, a.ch0, a.ch1, text)
                               : FormatDataFile(setting, setting.CHSel == 0 ? a.ch0 : a.ch1, text);
    if (!formatted)
        return "a loaded data set could not be formatted";
    if (!file.Set(text.data(), text.size()))
        return {};
    Buffers& b = *second;
    b.ch0.Count = b.ch1.Count = 0;
    TAdcSetting again;
    if (!myFile.LoadData(file.Path(), &again, &b.ch0, &b.ch1))
        return "the written file does not load";
    if (!SameStoredSettings(setting, again))
        return "the settings changed on the way through a file";
    if (!SameCodes(a.ch0, b.ch0) || !SameCodes(a.ch1, b.ch1))
        return "the codes changed on the way through a file";
    return {};
}

std::string CaptureFileCase(const uint8_t* data, size_t size)
{
    static ScratchFile file("fuzz.csv");
    static ScratchFile again("fuzz-again.csv");
    if (!file.Set(data, size))
        return {};
    const bool told = IsCaptureFile(file.Path());
    TCaptureData d;
    std::vector<std::string> warnings;
    std::string error;
    if (!ReadCapture(file.Path(), d, warnings, error)) {
        if (error.empty())
            return "a refused capture without a reason";
        return {};
    }
    if (!told)
        return "a file that reads as a capture is not told as one";
    if (std::string e = CaptureShape(d); !e.empty())
        return e;

    // Whatever reads, written again by the writer, must read to the same; a
    // board or start text that came without the space after "#" may not fit
    // the longest line once the writer puts it back.
    constexpr size_t kRoom = kMaxCaptureTextLine - std::string_view("# board: ").size();
    if (d.info.board.size() > kRoom || d.info.startUtc.size() > kRoom)
        return {};
    TCaptureWriter writer;
    const TCaptureEnd how = EndOf(d.end);
    if (!again.Set("", 0) || !writer.Open(again.Path(), true) || !writer.Begin(d.info))
        return {};
    const size_t n = d.info.chSel == 1 ? d.ch1.size() : d.ch0.size();
    const uint32_t* c0 = d.info.chSel == 1 ? nullptr : d.ch0.data();
    const uint32_t* c1 = d.info.chSel == 0 ? nullptr : d.ch1.data();
    if (!writer.Write(c0, c1, static_cast<int32_t>(n)) || !writer.Finish(how))
        return {};
    TCaptureData back;
    std::vector<std::string> backWarnings;
    if (!ReadCapture(again.Path(), back, backWarnings, error))
        return "the rewritten capture does not read: " + error;
    if (back.ch0 != d.ch0 || back.ch1 != d.ch1)
        return "the codes changed on the way through the writer";
    const TCaptureInfo& a = d.info;
    const TCaptureInfo& b = back.info;
    if (a.rateIndex != b.rateIndex || a.rateSps != b.rateSps || a.sinc5 != b.sinc5 ||
        a.chSel != b.chSel || a.gain != b.gain)
        return "the settings changed on the way through the writer";
    const bool errorEnd = how == TCaptureEnd::ReadError || how == TCaptureEnd::WriteError;
    if (backWarnings.size() != (errorEnd ? 1u : 0u))
        return "the rewritten capture reads with " + std::to_string(backWarnings.size()) +
               " warnings";
    return {};
}

std::string LimitsCase(const uint8_t* data, size_t size)
{
    const std::string_view content(reinterpret_cast<const char*>(data), size);
    station::TTestLimits l;
    std::string error;
    if (!station::ParseLimits(content, l, error))
        return error.empty() ? "a refused limits file without a reason" : std::string();
    if (content.size() > station::kMaxLimitsBytes)
        return "a limits file beyond the size bound was accepted";
    const station::TTestSettings& s = l.settings;
    if (l.name.empty() || l.version.empty())
        return "a test without a name or version was accepted";
    if (l.LimitCount() == 0)
        return "a test without limits was accepted";
    if (!ValidRateIndex(s.rateIndex) || !ValidChannelIndex(s.chSel) ||
        s.samples < kMinCaptureCount || s.samples > kBoardMaxCount)
        return "settings outside the lists were accepted";
    if (std::string e = analysis::CheckInput(s.samples, s.RateSps(), 1, s.analysis); !e.empty())
        return "accepted settings the analysis refuses: " + e;
    for (int ch = 0; ch < 2; ++ch) {
        for (const station::TLimit& limit : l.channels[static_cast<size_t>(ch)])
            if (std::string e = CheckLimit(limit, ch, s); !e.empty())
                return e;
    }
    if (l.content != content || l.sha256 != station::Sha256Hex(content))
        return "the content or its hash is not the file's";
    return {};
}

std::string BoardLinkCase(const uint8_t* data, size_t size)
{
    if (size < 4 || g_owner == nullptr)
        return {};
    const int channel = std::min(data[0] & 3, 2);
    const bool sinc3 = (data[0] & 4) != 0;
    const int rate = data[0] >> 4; // 14 and 15 must be refused
    const int n = 1 + data[1];     // also asks for more than a read may hold
    const uint32_t chunk = 1u + data[2];
    const int failAt = data[3];

    auto owned = std::make_unique<StreamDevice>(data + 4, size - 4, chunk, failAt);
    StreamDevice* dev = owned.get();
    TADC adc(g_owner, std::move(owned));
    dev->link = &adc;

    if (!adc.Connect())
        return {};
    adc.CheckBoard();
    char name[11];
    std::memset(name, 'x', sizeof name);
    if (adc.GetBoardName(name))
        if (std::string e = CheckText(name, "the board name"); !e.empty())
            return e;
    char version[11];
    std::memset(version, 'x', sizeof version);
    if (adc.GetVersion(version))
        if (std::string e = CheckText(version, "the version"); !e.empty())
            return e;
    if (sinc3)
        adc.SetSinc3();
    else
        adc.SetSinc5();
    const size_t writesBefore = dev->writes;
    if (adc.SetRate(rate) && rate > 13)
        return "rate index " + std::to_string(rate) + " was accepted";
    if (rate > 13 && dev->writes != writesBefore)
        return "a refused rate index was sent";
    adc.StartConversion(channel, 1000);

    // Exactly n elements per array, so a write past them is caught.
    std::vector<uint32_t> codes0(static_cast<size_t>(n)), codes1(static_cast<size_t>(n));
    // Reads go on past failures (the link must stay sound), but not forever.
    int quiet = 0;
    int failures = 0;
    for (int i = 0; i < 4000 && quiet < 3 && failures < 8 && adc.IsOpen(); ++i) {
        int32_t converted = -1;
        const bool ok = channel == 2 ? adc.ReadData2CH(codes0.data(), codes1.data(), n, &converted)
                                     : adc.ReadData1CH(codes0.data(), &converted, n);
        if (converted < 0 || converted > n)
            return "a read converted " + std::to_string(converted) + " of " + std::to_string(n);
        if (ok && converted != 0 && converted != n)
            return "a successful read delivered a partial block";
        failures += ok ? 0 : 1;
        if (dev->Exhausted())
            quiet += converted == 0 ? 1 : 0;
    }
    adc.StopConversion();
    adc.Disconnect();
    return {};
}

} // namespace mirantos::fuzz
