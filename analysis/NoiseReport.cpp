#include "NoiseReport.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace mirantos::analysis {

namespace {

using TJson = nlohmann::ordered_json;

// nlohmann's own number output (Grisu2) always reads back but is not always
// the shortest text; the model and string escaping come from the library,
// the numbers from std::to_chars.
void Serialize(const TJson& j, std::string& out)
{
    switch (j.type()) {
    case TJson::value_t::object: {
        out.push_back('{');
        bool first = true;
        for (const auto& [key, value] : j.items()) {
            if (!first)
                out.push_back(',');
            first = false;
            out += TJson(key).dump();
            out.push_back(':');
            Serialize(value, out);
        }
        out.push_back('}');
        return;
    }
    case TJson::value_t::array: {
        out.push_back('[');
        bool first = true;
        for (const auto& value : j) {
            if (!first)
                out.push_back(',');
            first = false;
            Serialize(value, out);
        }
        out.push_back(']');
        return;
    }
    case TJson::value_t::number_float: {
        const double v = j.get<double>();
        out += std::isfinite(v) ? DoubleText(v) : "null";
        return;
    }
    default:
        out += j.dump();
        return;
    }
}

void AppendUnsigned(std::string& out, uint64_t v)
{
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

void AppendDouble(std::string& out, double v)
{
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

std::string Fixed(double v, int decimals)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

} // namespace

std::string GeneralText(double v, int digits)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*g", digits, v);
    return buf;
}

std::string EmptyBandText(const TSpectrum& s, double lowHz, double highHz)
{
    // The bins BandRms sums: from k = 1 (DC left out), frequency inside the band.
    for (size_t k = 1; k < s.psdUv2.size(); ++k) {
        const double hz = s.FrequencyHz(k);
        if (hz >= lowHz && hz <= highHz)
            return {};
    }
    return "no frequency bin between " + GeneralText(lowHz, 10) + " and " +
           GeneralText(highHz, 10) + " Hz";
}

std::string FewSegmentsText(const TSpectrum& s)
{
    if (s.segments >= kMinMedianSegments)
        return {};
    return "from only " + std::to_string(s.segments) + " Welch segment" +
           (s.segments == 1 ? "" : "s") + " (fewer than " + std::to_string(kMinMedianSegments) +
           "): reads low and uncertain";
}

std::string DoubleText(double v)
{
    if (!std::isfinite(v))
        return "null";
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    std::string s(buf, r.ptr);
    if (s.find_first_of(".e") == std::string::npos)
        s += ".0";
    return s;
}

namespace {

TJson NoiseJson(const TNoiseFigures& f, int channel)
{
    TJson j;
    j["channel"] = channel;
    j["samples"] = f.samples;
    j["rate_sps"] = f.rateSps;
    j["gain"] = f.gain;
    j["mean_code"] = f.meanCode;
    j["rms_code"] = f.rmsCode;
    j["min_code"] = f.minCode;
    j["max_code"] = f.maxCode;
    j["pp_code"] = f.ppCode;
    j["mean_uV"] = f.meanUv;
    j["rms_uV"] = f.rmsUv;
    j["pp_uV"] = f.ppUv;
    j["effective_bits"] = f.effectiveBits;
    j["noise_free_bits"] = f.noiseFreeBits;
    j["histogram"] = TJson{{"first_code", f.histogram.firstCode},
                           {"bin_width", f.histogram.binWidth},
                           {"counts", f.histogram.counts}};
    j["spectrum"] = TJson{{"window", std::string(WindowName(f.spectrum.window))},
                          {"segment", f.spectrum.segment},
                          {"segments", f.spectrum.segments},
                          {"df_Hz", f.spectrum.dfHz},
                          {"nsd_nV", f.spectrum.nsdNv}};
    j["nsd_median_nV"] = f.nsdMedianNv;
    if (const std::string few = FewSegmentsText(f.spectrum); !few.empty())
        j["nsd_median_note"] = few;
    j["band_Hz"] = TJson::array({f.bandLowHz, f.bandHighHz});
    // A band without a bin has no figure, and says why.
    if (const std::string emptyBand = EmptyBandText(f.spectrum, f.bandLowHz, f.bandHighHz);
        emptyBand.empty()) {
        j["band_rms_uV"] = f.bandRmsUv;
    } else {
        j["band_rms_uV"] = nullptr;
        j["band_rms_reason"] = emptyBand;
    }
    return j;
}

std::string Text(const TJson& j, const TNoiseFigures& f)
{
    std::string out;
    out.reserve(64 + 24 * (f.histogram.counts.size() + f.spectrum.nsdNv.size()));
    Serialize(j, out);
    return out;
}

// One line of the table: the name in a column of 18, then the value.
void AppendLine(std::string& t, const char* name, const std::string& value)
{
    char head[32];
    std::snprintf(head, sizeof head, "%-18s", name);
    t += head;
    t += value;
    t.push_back('\n');
}

} // namespace

std::string FiguresJson(const TNoiseFigures& f, int channel)
{
    return Text(NoiseJson(f, channel), f);
}

namespace {

TJson LowFrequencyJson(const TNoiseFigures& f, int channel, const TLowFrequencyFigures& lf)
{
    TJson j = NoiseJson(f, channel);
    if (lf.slopeUvPerH) {
        j["slope_uV_per_h"] = *lf.slopeUvPerH;
    } else {
        j["slope_uV_per_h"] = nullptr;
        j["slope_reason"] = lf.slopeReason;
    }
    TJson allan = TJson::array();
    for (const TAllanPoint& p : lf.allan)
        allan.push_back(
            TJson{{"m", p.m}, {"tau_s", p.tauS}, {"adev_uV", p.adevUv}, {"terms", p.terms}});
    j["allan"] = std::move(allan);
    if (lf.lf) {
        j["lf_0p1_10Hz"] = TJson{{"intervals", lf.lf->intervals},
                                 {"pp_uV_median", lf.lf->ppUvMedian},
                                 {"pp_uV_max", lf.lf->ppUvMax},
                                 {"rms_uV", lf.lf->rmsUv}};
    } else {
        j["lf_0p1_10Hz"] = nullptr;
        j["lf_reason"] = lf.lfReason;
    }
    return j;
}

} // namespace

std::string FiguresJson(const TNoiseFigures& f, int channel, const TLowFrequencyFigures& lf)
{
    return Text(LowFrequencyJson(f, channel, lf), f);
}

std::string FiguresJson(const TNoiseFigures& f, int channel, const TLowFrequencyFigures& lf,
                        const TSampleSource& source)
{
    TJson j = LowFrequencyJson(f, channel, lf);
    if (source.Named()) {
        j["board"] = source.board;
        j["simulated_board"] = source.simulated;
    }
    return Text(j, f);
}

std::string BoardText(const TSampleSource& source)
{
    if (!source.Named())
        return {};
    return source.simulated ? source.board + " (simulated board)" : source.board;
}

std::string AllanCsv(const std::vector<TAllanPoint>& allan)
{
    std::string out = "tau_s,adev_uV,terms\n";
    for (const TAllanPoint& p : allan) {
        AppendDouble(out, p.tauS);
        out.push_back(',');
        AppendDouble(out, p.adevUv);
        out.push_back(',');
        AppendUnsigned(out, static_cast<uint64_t>(p.terms));
        out.push_back('\n');
    }
    return out;
}

std::string LowFrequencyCsv(const TLowFrequencyNoise& lf, double rateSps)
{
    std::string out = "t_s,uV\n";
    out.reserve(out.size() + 40 * lf.keptUv.size());
    for (size_t k = 0; k < lf.keptUv.size(); ++k) {
        AppendDouble(out, static_cast<double>(lf.firstKept + static_cast<int64_t>(k)) / rateSps);
        out.push_back(',');
        AppendDouble(out, lf.keptUv[k]);
        out.push_back('\n');
    }
    return out;
}

std::string HistogramCsv(const THistogram& h)
{
    std::string out = "first_code,last_code,count\n";
    out.reserve(out.size() + 32 * h.counts.size());
    for (size_t k = 0; k < h.counts.size(); ++k) {
        AppendUnsigned(out, h.BinFirst(k));
        out.push_back(',');
        AppendUnsigned(out, h.BinLast(k));
        out.push_back(',');
        AppendUnsigned(out, h.counts[k]);
        out.push_back('\n');
    }
    return out;
}

std::string SpectrumCsv(const TSpectrum& s)
{
    std::string out = "f_Hz,nsd_nV_per_rtHz\n";
    out.reserve(out.size() + 48 * s.nsdNv.size());
    for (size_t k = 0; k < s.nsdNv.size(); ++k) {
        AppendDouble(out, s.FrequencyHz(k));
        out.push_back(',');
        AppendDouble(out, s.nsdNv[k]);
        out.push_back('\n');
    }
    return out;
}

std::string FiguresTable(const TNoiseFigures& f, int channel)
{
    std::string t;
    auto line = [&t](const char* name, const std::string& value) { AppendLine(t, name, value); };
    line("channel", "CH" + std::to_string(channel));
    line("samples", std::to_string(f.samples));
    line("rate", GeneralText(f.rateSps, 10) + " sps");
    line("gain", std::to_string(f.gain));
    line("mean", Fixed(f.meanCode, 3) + " codes = " + Fixed(f.meanUv, 4) + " uV");
    line("rms noise", Fixed(f.rmsCode, 3) + " codes = " + Fixed(f.rmsUv, 5) + " uV");
    line("peak-to-peak", std::to_string(f.ppCode) + " codes = " + Fixed(f.ppUv, 5) + " uV");
    line("minimum", std::to_string(f.minCode) + " codes");
    line("maximum", std::to_string(f.maxCode) + " codes");
    line("effective bits", Fixed(f.effectiveBits, 2) + " bits");
    line("noise-free bits", Fixed(f.noiseFreeBits, 2) + " bits");
    line("histogram", std::to_string(f.histogram.counts.size()) + " bins of " +
                          std::to_string(f.histogram.binWidth) + " codes from " +
                          std::to_string(f.histogram.firstCode));
    line("spectrum", std::string(WindowName(f.spectrum.window)) + " window, segment " +
                         std::to_string(f.spectrum.segment) + ", " +
                         std::to_string(f.spectrum.segments) + " segments, " +
                         GeneralText(f.spectrum.dfHz, 6) + " Hz per bin");
    const std::string few = FewSegmentsText(f.spectrum);
    line("median density",
         GeneralText(f.nsdMedianNv, 6) + " nV/rtHz" + (few.empty() ? "" : " (" + few + ")"));
    const std::string emptyBand = EmptyBandText(f.spectrum, f.bandLowHz, f.bandHighHz);
    line("band rms", !emptyBand.empty()
                         ? emptyBand
                         : Fixed(f.bandRmsUv, 5) + " uV over " + GeneralText(f.bandLowHz, 10) +
                               " to " + GeneralText(f.bandHighHz, 10) + " Hz");
    return t;
}

std::string FiguresTable(const TNoiseFigures& f, int channel, const TLowFrequencyFigures& lf,
                         const TSampleSource& source)
{
    std::string t;
    if (source.Named())
        AppendLine(t, "board", BoardText(source));
    return t + FiguresTable(f, channel, lf);
}

std::string FiguresTable(const TNoiseFigures& f, int channel, const TLowFrequencyFigures& lf)
{
    std::string t = FiguresTable(f, channel);
    auto line = [&t](const char* name, const std::string& value) { AppendLine(t, name, value); };
    line("drift", lf.slopeUvPerH ? GeneralText(*lf.slopeUvPerH, 6) + " uV/h" : lf.slopeReason);
    // One line per averaging length: tau, deviation, terms.
    char row[96];
    std::snprintf(row, sizeof row, "%-12s  %-12s  %s", "tau s", "adev uV", "terms");
    line("allan deviation", lf.allan.empty() ? "needs at least 4 samples" : row);
    for (const TAllanPoint& p : lf.allan) {
        std::snprintf(row, sizeof row, "%-12s  %-12s  %lld", GeneralText(p.tauS, 6).c_str(),
                      GeneralText(p.adevUv, 6).c_str(), static_cast<long long>(p.terms));
        line("", row);
    }
    if (lf.lf)
        line("0.1-10 Hz noise", Fixed(lf.lf->ppUvMedian, 5) + " uV pp median, " +
                                    Fixed(lf.lf->ppUvMax, 5) + " uV pp max, " +
                                    Fixed(lf.lf->rmsUv, 5) + " uV rms over " +
                                    std::to_string(lf.lf->intervals) + " x 10 s");
    else
        line("0.1-10 Hz noise", lf.lfReason);
    return t;
}

namespace {

// nullopt as JSON null.
TJson Optional(const std::optional<double>& v)
{
    return v ? TJson(*v) : TJson(nullptr);
}

void AddSine(TJson& j, const TSineResult& sine)
{
    if (!sine.figures) {
        j["sine"] = nullptr;
        j["sine_reason"] = sine.reason;
        return;
    }
    const TSineFigures& s = *sine.figures;
    TJson o;
    o["fundamental_Hz"] = s.fundamentalHz;
    o["amplitude_uV"] = s.amplitudeUv;
    o["amplitude_dBFS"] = s.amplitudeDbfs;
    o["snr_dB"] = s.snrDb;
    o["thd_dBc"] = s.thdDbc;
    o["sinad_dB"] = s.sinadDb;
    o["sfdr_dBc"] = s.sfdrDbc;
    o["spur_Hz"] = s.spurHz;
    o["enob_bits"] = s.enobBits;
    o["enob_fs_bits"] = s.enobFsBits;
    TJson harmonics = TJson::array();
    for (const TSineHarmonic& h : s.harmonics)
        harmonics.push_back(TJson{{"h", h.h}, {"f_Hz", h.fHz}, {"dBc", Optional(h.dBc)}});
    o["harmonics"] = std::move(harmonics);
    if (s.fit) {
        const TSineFit& fit = *s.fit;
        o["fit"] = TJson{{"f_Hz", fit.fHz},
                         {"amplitude_uV", fit.amplitudeUv},
                         {"phase_rad", fit.phaseRad},
                         {"offset_uV", fit.offsetUv},
                         {"residual_rms_uV", fit.residualRmsUv},
                         {"enob_bits", Optional(fit.enobBits)},
                         {"iterations", fit.iterations}};
    } else {
        o["fit"] = nullptr;
    }
    if (!s.fitReason.empty())
        o["fit_reason"] = s.fitReason;
    j["sine"] = std::move(o);
}

} // namespace

std::string FiguresJson(const TNoiseFigures& f, int channel, const TLowFrequencyFigures& lf,
                        const TSampleSource& source, const TSineResult& sine)
{
    TJson j = LowFrequencyJson(f, channel, lf);
    if (source.Named()) {
        j["board"] = source.board;
        j["simulated_board"] = source.simulated;
    }
    AddSine(j, sine);
    return Text(j, f);
}

std::string FiguresTable(const TNoiseFigures& f, int channel, const TLowFrequencyFigures& lf,
                         const TSampleSource& source, const TSineResult& sine)
{
    return FiguresTable(f, channel, lf, source) + SineTable(sine);
}

std::string SineTable(const TSineResult& sine)
{
    std::string t;
    auto line = [&t](const char* name, const std::string& value) { AppendLine(t, name, value); };
    if (!sine.figures) {
        line("sine-wave test", sine.reason);
        return t;
    }
    const TSineFigures& s = *sine.figures;
    line("sine-wave test", std::string(SineWindowName(s.window)) + " window, " +
                               std::to_string(s.sideBins) + " side bins, " + "harmonics 2.." +
                               std::to_string(s.harmonics.size() + 1) + ", " + std::to_string(s.n) +
                               " samples");
    line("fundamental", GeneralText(s.fundamentalHz, 10) + " Hz, " + GeneralText(s.amplitudeUv, 8) +
                            " uV peak = " + Fixed(s.amplitudeDbfs, 2) + " dBFS");
    line("SNR", Fixed(s.snrDb, 2) + " dB");
    line("THD", Fixed(s.thdDbc, 2) + " dBc");
    line("SINAD", Fixed(s.sinadDb, 2) + " dB");
    line("SFDR", Fixed(s.sfdrDbc, 2) + " dBc (spur at " + GeneralText(s.spurHz, 8) + " Hz)");
    line("ENOB",
         Fixed(s.enobBits, 2) + " bits (" + Fixed(s.enobFsBits, 2) + " bits at full scale)");
    char row[96];
    std::snprintf(row, sizeof row, "%-3s %-14s %s", "h", "f Hz", "dBc");
    line("harmonics", row);
    for (const TSineHarmonic& h : s.harmonics) {
        std::snprintf(row, sizeof row, "%-3d %-14s %s", h.h, GeneralText(h.fHz, 8).c_str(),
                      h.dBc ? Fixed(*h.dBc, 2).c_str() : "overlaps");
        line("", row);
    }
    if (!s.fit) {
        line("sine fit", s.fitReason);
        return t;
    }
    const TSineFit& fit = *s.fit;
    line("sine fit", GeneralText(fit.fHz, 12) + " Hz, " + GeneralText(fit.amplitudeUv, 10) +
                         " uV peak, phase " + Fixed(fit.phaseRad, 6) + " rad, offset " +
                         GeneralText(fit.offsetUv, 10) + " uV");
    line("fit residual",
         GeneralText(fit.residualRmsUv, 6) + " uV rms" +
             (fit.enobBits ? ", ENOB " + Fixed(*fit.enobBits, 2) + " bits" : std::string()) + ", " +
             std::to_string(fit.iterations) + " iterations" +
             (s.fitReason.empty() ? "" : " (" + s.fitReason + ")"));
    return t;
}

std::string SineCsv(const TSineFigures& s)
{
    std::string out = "f_Hz,dBFS\n";
    out.reserve(out.size() + 48 * s.dbfs.size());
    const double df = s.rateSps / static_cast<double>(s.n);
    for (size_t k = 1; k < s.dbfs.size(); ++k) {
        AppendDouble(out, df * static_cast<double>(k));
        out.push_back(',');
        AppendDouble(out, s.dbfs[k]);
        out.push_back('\n');
    }
    return out;
}

} // namespace mirantos::analysis
