#include "Limits.h"

#include "LimitsInput.h"
#include "LowFrequency.h"
#include "NoiseReport.h"
#include "RateTable.h"
#include "RunFields.h"
#include "SimBoard.h"
#include "Tables.h"

#include <QCryptographicHash>
#include <QFile>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <tuple>

namespace mirantos::station {

namespace {

using TJson = nlohmann::ordered_json;
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kMaxCode = 4294967295.0;

const char* const kChannelNames[] = {"ch0", "ch1", "both"};

// A refusal: the key's path and what is wrong with it.
struct TRefusal {
    std::string text;
};

[[noreturn]] void Refuse(const std::string& path, const std::string& what)
{
    throw TRefusal{path + ": " + what};
}

std::string Join(const std::string& path, const std::string& key)
{
    return path.empty() ? key : path + "." + key;
}

std::string Num(double v)
{
    return analysis::GeneralText(v, 15);
}

// Each key of an object must be one of `known`.
void OnlyKnown(const TJson& object, const std::string& path,
               std::initializer_list<const char*> known)
{
    for (auto it = object.begin(); it != object.end(); ++it) {
        const std::string& key = it.key();
        if (std::none_of(known.begin(), known.end(), [&key](const char* k) { return key == k; }))
            Refuse(Join(path, key), "unknown key");
    }
}

const TJson& Object(const TJson& j, const std::string& path)
{
    if (!j.is_object())
        Refuse(path, "must be an object");
    return j;
}

const TJson* Member(const TJson& object, const char* key)
{
    const auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

const TJson& Required(const TJson& object, const std::string& path, const char* key)
{
    const TJson* j = Member(object, key);
    if (j == nullptr)
        Refuse(Join(path, key), "missing");
    return *j;
}

std::string Text(const TJson& j, const std::string& path)
{
    if (!j.is_string())
        Refuse(path, "must be a text");
    return j.get<std::string>();
}

double Number(const TJson& j, const std::string& path, double lo = -kInf, double hi = kInf)
{
    if (!j.is_number())
        Refuse(path, "must be a number");
    const double v = j.get<double>();
    if (!std::isfinite(v))
        Refuse(path, "must be a finite number");
    if (v < lo || v > hi)
        Refuse(path, "must lie in " + Num(lo) + " .. " + Num(hi) + ", not " + Num(v));
    return v;
}

int64_t Whole(const TJson& j, const std::string& path, int64_t lo, int64_t hi)
{
    if (!j.is_number_integer())
        Refuse(path, "must be a whole number");
    const bool inRange = j.is_number_unsigned() ? j.get<uint64_t>() <= static_cast<uint64_t>(hi) &&
                                                      static_cast<int64_t>(j.get<uint64_t>()) >= lo
                                                : j.get<int64_t>() >= lo && j.get<int64_t>() <= hi;
    if (!inRange)
        Refuse(path, "must lie in " + std::to_string(lo) + " .. " + std::to_string(hi) + ", not " +
                         j.dump());
    return j.get<int64_t>();
}

template <size_t N>
int Choice(const TJson& j, const std::string& path, const char* const (&names)[N])
{
    const std::string text = Text(j, path);
    for (size_t i = 0; i < N; ++i) {
        if (text == names[i])
            return static_cast<int>(i);
    }
    std::string list;
    for (size_t i = 0; i < N; ++i)
        list += std::string(i == 0 ? "" : i + 1 == N ? " or " : ", ") + names[i];
    Refuse(path, "must be " + list + ", not \"" + text + "\"");
}

// The rate: a text of the list or its index as --rate takes them, or the rate in
// samples per second as the list shows it ("1000", "49.96"). A text that reads
// both ways ("5", "10") is refused: an index and a rate that differ.
int RateIndex(const TJson& j, const std::string& path)
{
    const std::string text = Text(j, path);
    int byText = -1;
    const bool listed = ParseRateText(text, byText);
    int bySps = -1;
    double sps = 0;
    const char* last = text.data() + text.size();
    if (const auto [end, ec] = std::from_chars(text.data(), last, sps);
        !text.empty() && ec == std::errc() && end == last) {
        for (int i = 0; i < kRateCount; ++i) {
            if (sps == RateSps(i, true) || sps == RateSps(i, false))
                bySps = i;
        }
    }
    if (listed && bySps >= 0 && byText != bySps)
        Refuse(path, "\"" + text + "\" is both the index of " +
                         std::string(kRateItems[static_cast<size_t>(byText)]) + " and " +
                         std::string(kRateItems[static_cast<size_t>(bySps)]) +
                         "; write the rate's text");
    if (listed)
        return byText;
    if (bySps >= 0)
        return bySps;
    Refuse(path, "must be a rate of the list (\"1ksps\"), its samples per second (\"1000\") or "
                 "its index 0..13, not \"" +
                     text + "\"");
}

void ReadSim(const TJson& sim, const std::string& path, TTestSettings& s)
{
    OnlyKnown(Object(sim, path), path,
              {"seed", "flicker_nV", "drift_uV_per_h", "pickup_uV", "tone"});
    if (const TJson* j = Member(sim, "seed")) {
        if (!j->is_number_unsigned())
            Refuse(path + ".seed", "must be a whole number from 0 to 18446744073709551615");
        s.simSeed = j->get<uint64_t>();
    }
    if (const TJson* j = Member(sim, "flicker_nV"))
        s.simFlickerNv = Number(*j, path + ".flicker_nV", 0.0, kSimMaxFlickerNv);
    if (const TJson* j = Member(sim, "drift_uV_per_h"))
        s.simDriftUvPerH =
            Number(*j, path + ".drift_uV_per_h", -kSimMaxDriftUvPerH, kSimMaxDriftUvPerH);
    if (const TJson* j = Member(sim, "pickup_uV"))
        s.simPickupUv = Number(*j, path + ".pickup_uV", 0.0, kSimMaxPickupUv);
    if (const TJson* j = Member(sim, "tone")) {
        const std::string text = Text(*j, path + ".tone");
        std::string problem;
        SimTone tone;
        if (!ParseSimTone(text, tone, problem))
            Refuse(path + ".tone", problem + ", not \"" + text + "\"");
        s.simToneHz = tone.hz;
        s.simToneUv = tone.uv;
        s.simToneHd2Dbc = tone.hd2Dbc;
        s.simToneHd3Dbc = tone.hd3Dbc;
    }
}

void ReadSine(const TJson& j, const std::string& path, TTestSettings& s)
{
    OnlyKnown(Object(j, path), path, {"window", "side_bins", "harmonics", "tone_Hz"});
    analysis::TSineOptions o;
    if (const TJson* w = Member(j, "window")) {
        const std::string name = Text(*w, path + ".window");
        const auto window = analysis::ParseSineWindow(name);
        if (!window)
            Refuse(path + ".window", "must be bh7 or rect, not \"" + name + "\"");
        o.window = *window;
    }
    if (const TJson* b = Member(j, "side_bins"))
        o.sideBins = static_cast<int>(Whole(*b, path + ".side_bins", 0, 50));
    if (const TJson* h = Member(j, "harmonics"))
        o.harmonics = static_cast<int>(Whole(*h, path + ".harmonics", 2, 10));
    if (const TJson* t = Member(j, "tone_Hz")) {
        o.toneHz = Number(*t, path + ".tone_Hz", 0.0, s.RateSps() / 2.0);
        if (const std::string why = analysis::CheckSineInput(s.samples, s.RateSps(), o);
            !why.empty())
            Refuse(path + ".tone_Hz", why.substr(why.find("takes")));
    }
    s.sine = o;
    s.sineGiven = true;
}

void ReadAnalysis(const TJson& a, const std::string& path, TTestSettings& s)
{
    OnlyKnown(Object(a, path), path, {"window", "segment", "bins", "sine"});
    if (const TJson* j = Member(a, "sine"))
        ReadSine(*j, path + ".sine", s);
    if (const TJson* j = Member(a, "window")) {
        const std::string name = Text(*j, path + ".window");
        const auto window = analysis::ParseWindow(name);
        if (!window)
            Refuse(path + ".window", "must be blackman-harris, hann or rect, not \"" + name + "\"");
        s.analysis.window = *window;
    }
    if (const TJson* j = Member(a, "bins"))
        s.analysis.bins = static_cast<int>(Whole(*j, path + ".bins", 1, analysis::kMaxBins));
    if (const TJson* j = Member(a, "segment")) {
        const int64_t segment = Whole(*j, path + ".segment", 0, kBoardMaxCount);
        if (segment != 0 && (segment < analysis::kMinSegment || segment > s.samples))
            Refuse(path + ".segment",
                   "must be 0 (the default) or lie in " + std::to_string(analysis::kMinSegment) +
                       " .. " + std::to_string(s.samples) + " for " + std::to_string(s.samples) +
                       " samples, not " + std::to_string(segment));
        s.analysis.segment = static_cast<int>(segment);
    }
}

TTestSettings ReadSettings(const TJson& j)
{
    const std::string path = "settings";
    OnlyKnown(Object(j, path), path,
              {"board", "sim", "rate", "filter", "channels", "samples", "analysis"});
    TTestSettings s;
    if (const TJson* b = Member(j, "board")) {
        const char* const boards[] = {"usb", "sim"};
        s.sim = Choice(*b, path + ".board", boards) == 1;
    }
    if (const TJson* sim = Member(j, "sim")) {
        if (!s.sim)
            Refuse(path + ".sim", "only with \"board\": \"sim\"");
        ReadSim(*sim, path + ".sim", s);
    }
    if (const TJson* f = Member(j, "filter")) {
        const char* const filters[] = {"sinc5", "sinc3"};
        s.sinc5 = Choice(*f, path + ".filter", filters) == 0;
    }
    s.rateIndex = RateIndex(Required(j, path, "rate"), path + ".rate");
    s.chSel = Choice(Required(j, path, "channels"), path + ".channels", kChannelNames);
    s.samples = static_cast<int32_t>(
        Whole(Required(j, path, "samples"), path + ".samples", kMinCaptureCount, kBoardMaxCount));
    if (const TJson* a = Member(j, "analysis"))
        ReadAnalysis(*a, path + ".analysis", s);
    return s;
}

// The band of a band_rms_uV limit: [low, high] within 0 .. fs/2.
void ReadBand(const TJson& j, const std::string& path, double nyquist, TLimit& limit)
{
    if (!j.is_array() || j.size() != 2)
        Refuse(path, "must be [low, high] in Hz");
    const double lo = Number(j[0], path + "[0]", 0.0, nyquist);
    const double hi = Number(j[1], path + "[1]", 0.0, nyquist);
    if (lo > hi)
        Refuse(path, "runs from " + Num(lo) + " down to " + Num(hi) + " Hz; write it low to high");
    limit.bandLowHz = lo;
    limit.bandHighHz = hi;
}

// A band must hold a bin of the spectrum the settings give (k fs / L for k = 1
// .. L/2, the bins BandRms sums), or no board can ever be measured in it.
void CheckBandHoldsABin(const TLimit& limit, const std::string& path, const TTestSettings& s)
{
    const double lo = limit.bandLowHz.value_or(0.0);
    const double hi = limit.bandHighHz.value_or(s.RateSps() / 2.0);
    const int segment =
        s.analysis.segment != 0 ? s.analysis.segment : analysis::DefaultSegment(s.samples);
    const double fs = s.RateSps();
    auto hz = [&](int64_t k) { return static_cast<double>(k) * fs / static_cast<double>(segment); };
    const auto first = static_cast<int64_t>(std::ceil(lo * segment / fs));
    for (int64_t k = std::max<int64_t>(1, first - 1); k <= first + 1 && k <= segment / 2; ++k) {
        if (hz(k) >= lo && hz(k) <= hi)
            return;
    }
    Refuse(path, Num(lo) + " .. " + Num(hi) + " Hz holds no frequency bin: at " + Num(fs) +
                     " sps the spectrum of " + std::to_string(s.samples) + " samples (segment " +
                     std::to_string(segment) + ") has one every " + Num(fs / segment) +
                     " Hz, from " + Num(hz(1)) + " to " + Num(hz(segment / 2)) + " Hz");
}

TLimit ReadLimit(const std::string& figure, const TJson& j, const std::string& path,
                 const TTestSettings& s)
{
    const TFigureInfo* info = FindFigure(figure);
    if (info == nullptr)
        Refuse(path, "unknown figure");
    Object(j, path);
    const bool band = figure == "band_rms_uV";
    if (band)
        OnlyKnown(j, path, {"min", "max", "band_Hz"});
    else
        OnlyKnown(j, path, {"min", "max"});
    TLimit limit;
    limit.figure = figure;
    auto bound = [&](const char* key) -> std::optional<double> {
        const TJson* b = Member(j, key);
        if (b == nullptr)
            return std::nullopt;
        const std::string at = path + "." + key;
        const double v = Number(*b, at);
        if (v < info->lowest)
            Refuse(at,
                   Num(v) + " is below " + Num(info->lowest) + ", the least " + figure + " can be");
        if (v > info->highest)
            Refuse(at,
                   Num(v) + " is above " + Num(info->highest) + ", the most " + figure + " can be");
        return v;
    };
    limit.min = bound("min");
    limit.max = bound("max");
    if (!limit.min && !limit.max)
        Refuse(path, "needs \"min\" and/or \"max\"");
    if (limit.min && limit.max && *limit.min > *limit.max)
        Refuse(path + ".min", Num(*limit.min) + " is above max " + Num(*limit.max));
    if (band) {
        const TJson* b = Member(j, "band_Hz");
        if (b != nullptr)
            ReadBand(*b, path + ".band_Hz", s.RateSps() / 2.0, limit);
        CheckBandHoldsABin(limit, b != nullptr ? path + ".band_Hz" : path, s);
    }
    if (info->needsSine && s.samples < analysis::kSineMinSamples)
        Refuse(path, "not defined for " + std::to_string(s.samples) + " samples (" +
                         analysis::kSineReasonLength + ")");
    // The drift needs the length of the 0.1-10 Hz figures, at any rate.
    if (info->needsLowFrequency || figure == "slope_uV_per_h") {
        if (const std::string why = info->needsLowFrequency
                                        ? analysis::LowFrequencyNoiseReason(s.samples, s.RateSps())
                                        : analysis::DriftReason(s.samples, s.RateSps());
            !why.empty())
            Refuse(path, "not defined for " + std::to_string(s.samples) + " samples at " +
                             Num(s.RateSps()) + " sps (" + why + ")");
    }
    return limit;
}

void ReadLimits(const TJson& j, TTestLimits& out)
{
    const std::string path = "limits";
    OnlyKnown(Object(j, path), path, {"ch0", "ch1"});
    for (const auto& [key, figures] : j.items()) {
        const int channel = key == "ch0" ? 0 : 1;
        const std::string at = path + "." + key;
        if (!HoldsChannel(out.settings.chSel, channel))
            Refuse(at, "channel " + std::to_string(channel) +
                           " is not measured (settings.channels is \"" +
                           kChannelNames[out.settings.chSel] + "\")");
        Object(figures, at);
        if (figures.empty())
            Refuse(at, "no limits");
        for (const auto& [figure, limit] : figures.items())
            out.channels[static_cast<size_t>(channel)].push_back(
                ReadLimit(figure, limit, at + "." + figure, out.settings));
    }
    if (out.LimitCount() == 0)
        Refuse(path, "no limits");
}

} // namespace

const std::vector<TFigureInfo>& Figures()
{
    static const std::vector<TFigureInfo> figures = {
        {"rms_uV", false, 0.0, kInf, "µV", "uV"},
        {"pp_uV", false, 0.0, kInf, "µV", "uV"},
        {"rms_code", false, 0.0, kMaxCode, "digit", "codes"},
        {"pp_code", false, 0.0, kMaxCode, "digit", "codes"},
        {"mean_uV", false, -kInf, kInf, "µV", "uV"},
        {"mean_code", false, 0.0, kMaxCode, "digit", "codes"},
        {"effective_bits", false, 0.0, 32.0, "bit", "bits"},
        {"noise_free_bits", false, 0.0, 32.0, "bit", "bits"},
        {"nsd_median_nV", false, 0.0, kInf, "nV/√Hz", "nV/rtHz"},
        {"band_rms_uV", false, 0.0, kInf, "µV", "uV"},
        {"slope_uV_per_h", false, -kInf, kInf, "µV/h", "uV/h"},
        {"lf_0p1_10Hz.pp_uV_median", true, 0.0, kInf, "µV", "uV"},
        {"lf_0p1_10Hz.pp_uV_max", true, 0.0, kInf, "µV", "uV"},
        {"lf_0p1_10Hz.rms_uV", true, 0.0, kInf, "µV", "uV"},
        {"snr_dB", false, -kInf, kInf, "dB", "dB", true},
        {"thd_dBc", false, -kInf, kInf, "dBc", "dBc", true},
        {"sinad_dB", false, -kInf, kInf, "dB", "dB", true},
        {"sfdr_dBc", false, -kInf, kInf, "dBc", "dBc", true},
        {"enob_bits", false, -kInf, kInf, "bit", "bits", true},
        {"enob_fs_bits", false, -kInf, kInf, "bit", "bits", true},
    };
    return figures;
}

const TFigureInfo* FindFigure(std::string_view name)
{
    for (const TFigureInfo& f : Figures()) {
        if (f.name == name)
            return &f;
    }
    return nullptr;
}

double TTestSettings::RateSps() const
{
    return mirantos::RateSps(rateIndex, sinc5);
}

bool TTestSettings::IsDataSet() const
{
    return std::find(kCountValues.begin(), kCountValues.end(), samples) != kCountValues.end();
}

std::string TTestSettings::Json() const
{
    TJson j;
    j["board"] = sim ? "sim" : "usb";
    if (sim)
        j["sim"] = {{"seed", simSeed},
                    {"flicker_nV", simFlickerNv},
                    {"drift_uV_per_h", simDriftUvPerH},
                    {"pickup_uV", simPickupUv}};
    // Only when on, so the settings stored before the tone existed read as they did.
    if (const SimTone tone{simToneHz, simToneUv, simToneHd2Dbc, simToneHd3Dbc}; sim && tone.On())
        j["sim"]["tone"] = SimToneText(tone);
    j["rate"] =
        std::string(kRateItems[static_cast<size_t>(std::clamp(rateIndex, 0, kRateCount - 1))]);
    j["rate_sps"] = RateSps();
    j["filter"] = sinc5 ? "sinc5" : "sinc3";
    j["channels"] = kChannelNames[std::clamp(chSel, 0, 2)];
    j["samples"] = samples;
    j["analysis"] = {{"window", std::string(analysis::WindowName(analysis.window))},
                     {"segment", analysis.segment},
                     {"bins", analysis.bins}};
    if (sineGiven) {
        TJson o = {{"window", analysis::SineWindowName(sine.window)},
                   {"side_bins", analysis::SideBins(sine)},
                   {"harmonics", sine.harmonics}};
        if (sine.toneHz)
            o["tone_Hz"] = *sine.toneHz;
        j["analysis"]["sine"] = std::move(o);
    }
    return j.dump();
}

int TTestLimits::LimitCount() const
{
    return static_cast<int>(channels[0].size() + channels[1].size());
}

bool ParseLimits(std::string_view content, TTestLimits& out, std::string& error)
{
    TTestLimits limits;
    try {
        // Bounded before parsing: nlohmann builds every value of the text, and
        // its ordered objects look each key up among those before it.
        if (content.size() > kMaxLimitsBytes)
            Refuse("the limits file", std::to_string(content.size()) + " bytes, more than the " +
                                          std::to_string(kMaxLimitsBytes) +
                                          " a limits file may have");
        if (error = PrescanJson(content); !error.empty())
            return false;
        const TJson j = TJson::parse(content.begin(), content.end());
        OnlyKnown(Object(j, "the limits file"), "",
                  {"name", "version", "settings", "limits", "part_number", "lot"});
        limits.name = Text(Required(j, "", "name"), "name");
        if (limits.name.empty())
            Refuse("name", "must not be empty");
        const TJson& version = Required(j, "", "version");
        if (version.is_number_integer())
            limits.version = version.dump();
        else if (version.is_string() && !version.get<std::string>().empty())
            limits.version = version.get<std::string>();
        else
            Refuse("version", "must be a text or a whole number");
        // The product every board of this test is, unless the station says otherwise.
        for (const auto& [key, most, field] :
             {std::tuple{"part_number", kMaxPartNumberBytes, &limits.partNumber},
              std::tuple{"lot", kMaxLotBytes, &limits.lot}}) {
            if (const TJson* v = Member(j, key)) {
                *field = Text(*v, key);
                if (std::string problem = FieldProblem(key, *field, most); !problem.empty())
                    throw TRefusal{problem};
            }
        }
        limits.settings = ReadSettings(Required(j, "", "settings"));
        ReadLimits(Required(j, "", "limits"), limits);
    } catch (const TRefusal& r) {
        error = r.text;
        return false;
    } catch (const TJson::exception& e) {
        error = e.what();
        return false;
    }
    limits.content.assign(content);
    limits.sha256 = Sha256Hex(content);
    out = std::move(limits);
    return true;
}

bool ReadLimitsFile(const std::string& path, TTestLimits& out, std::string& error)
{
    std::string content;
    if (!ReadBoundedFile(path, kMaxLimitsBytes, content, error) ||
        !ParseLimits(content, out, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

std::string Sha256Hex(std::string_view bytes)
{
    return QCryptographicHash::hash(
               QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())),
               QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

std::string Sha256OfFile(const std::string& path, std::string& error)
{
    QFile file(QString::fromStdString(path));
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file)) {
        error = path + ": cannot be read (" + file.errorString().toStdString() + ")";
        return {};
    }
    return hash.result().toHex().toStdString();
}

} // namespace mirantos::station
