#pragma once
// The noise figures as text and files, shared by the window and the
// command-line tool: the JSON object, the histogram and spectrum CSVs, the
// table a person reads, and an all-or-nothing file write.

#include "LowFrequency.h"
#include "NoiseAnalysis.h"
#include "SineAnalysis.h"

#include <string>
#include <string_view>

namespace mirantos::analysis {

// Shortest decimal text that reads back as the same double; a whole number
// keeps a ".0" so it still reads as a floating number. "nan"/"inf" never occur
// in the figures; they are written as JSON null should they appear.
std::string DoubleText(double v);
// printf's "%.*g": `digits` significant digits, no trailing zeros; the tables' numbers.
std::string GeneralText(double v, int digits);
// Empty when the band holds a frequency bin of the spectrum, else the reason
// its rms is not defined ("no frequency bin between 3 and 4 Hz").
std::string EmptyBandText(const TSpectrum& s, double lowHz, double highHz);

// Empty when the density median comes from kMinMedianSegments Welch segments
// or more, else a note saying it does not ("from only 7 Welch segments
// (fewer than 8): reads low and uncertain").
std::string FewSegmentsText(const TSpectrum& s);

// One JSON object, one line, no trailing newline, keys in the documented order:
// channel, samples, rate_sps, gain, mean_code, rms_code, min_code, max_code,
// pp_code, mean_uV, rms_uV, pp_uV, effective_bits, noise_free_bits,
// histogram {first_code, bin_width, counts}, spectrum {window, segment,
// segments, df_Hz, nsd_nV}, nsd_median_nV (then nsd_median_note when it comes
// from fewer than 8 segments), band_Hz [F1, F2], band_rms_uV.
// A band that holds no frequency bin has band_rms_uV null and then a last key
// band_rms_reason with the table's text ("no frequency bin between ...").
std::string FiguresJson(const TNoiseFigures& f, int channel);

// The same object with the low-frequency figures after the last key:
// slope_uV_per_h (or null and then slope_reason), allan [{m, tau_s, adev_uV,
// terms}...], and lf_0p1_10Hz {intervals, pp_uV_median, pp_uV_max, rms_uV},
// or null and then lf_reason.
std::string FiguresJson(const TNoiseFigures& f, int channel, const TLowFrequencyFigures& lf);

// Where a record's samples came from, as far as its file says: a capture
// names its board and whether that was the simulated one; a .DTA file says
// nothing (board empty, not simulated).
struct TSampleSource {
    std::string board; // "MIRANTOS 1.10"
    bool simulated = false;
    bool Named() const { return !board.empty() || simulated; }
};
// The board as the reports name it: "MIRANTOS 1.10", or
// "MIRANTOS 1.10 (simulated board)"; empty when not named.
std::string BoardText(const TSampleSource& source);

// The object above with, when the source is named, two last keys: board
// (name and version) and simulated_board (true for the simulated board).
std::string FiguresJson(const TNoiseFigures& f, int channel, const TLowFrequencyFigures& lf,
                        const TSampleSource& source);

// "first_code,last_code,count" and one line per bin, LF line ends.
std::string HistogramCsv(const THistogram& h);
// "f_Hz,nsd_nV_per_rtHz" and one line per k = 0..floor(L/2), LF line ends.
std::string SpectrumCsv(const TSpectrum& s);

// "tau_s,adev_uV,terms" and one line per averaging length, LF line ends.
std::string AllanCsv(const std::vector<TAllanPoint>& allan);
// "t_s,uV": the band-limited samples kept, t = i / fs from the record's start.
std::string LowFrequencyCsv(const TLowFrequencyNoise& lf, double rateSps);

// The figures as aligned lines with units, for a terminal (English, LF).
std::string FiguresTable(const TNoiseFigures& f, int channel);
// The same lines, then the drift, the Allan deviation and the 0.1-10 Hz noise.
std::string FiguresTable(const TNoiseFigures& f, int channel, const TLowFrequencyFigures& lf);
// The same, after a first line naming the board when the source is named.
std::string FiguresTable(const TNoiseFigures& f, int channel, const TLowFrequencyFigures& lf,
                         const TSampleSource& source);

// The object above with a last key sine: {fundamental_Hz, amplitude_uV, amplitude_dBFS,
// snr_dB, thd_dBc, sinad_dB, sfdr_dBc, spur_Hz, enob_bits, enob_fs_bits, harmonics
// [{h, f_Hz, dBc}] (dBc null for a harmonic that overlaps), fit {f_Hz, amplitude_uV,
// phase_rad, offset_uV, residual_rms_uV, enob_bits, iterations} (then fit_reason when it
// did not converge; fit null and fit_reason when there is none)}, or sine null and then
// sine_reason.
std::string FiguresJson(const TNoiseFigures& f, int channel, const TLowFrequencyFigures& lf,
                        const TSampleSource& source, const TSineResult& sine);
// The table above, then the sine-wave test's lines.
std::string FiguresTable(const TNoiseFigures& f, int channel, const TLowFrequencyFigures& lf,
                         const TSampleSource& source, const TSineResult& sine);
// The sine-wave test's lines alone (compare's and report's too).
std::string SineTable(const TSineResult& sine);
// "f_Hz,dBFS" and one line per bin k = 1..K of the windowed spectrum, LF line ends.
std::string SineCsv(const TSineFigures& s);

} // namespace mirantos::analysis
