#pragma once
// The sine-wave test of one channel: a tone's spectrum and what converter data
// sheets read from it (SNR, THD, SINAD, SFDR, ENOB), and the four-parameter
// least-squares sine fit of IEEE 1241. Definitions, for N >= 1024 samples at fs,
// x[n] = uV[n] (CodeToMicrovolt, double) minus the mean of all x, full scale
// A_FS = 2 500 000 / gain uV (peak):
//
// - window w: bh7 (7-term Blackman-Harris, periodic: sum_k (-1)^k a_k cos(2 pi k n / N))
//   or rect (1); side bins s: 7 for bh7, 0 for rect unless given (0..50);
// - X[k] = sum w[n] x[n] e^{-2 pi i k n / N}; P[k] = 2 |X[k]|^2 / (N sum w^2),
//   k = 1..K, K = floor((N - 1) / 2): a component's mean square in uV^2 is the sum
//   of P over its bins;
// - DC region 1..s; fundamental bin k_f: the largest P among k > s, or the bin
//   nearest the given tone; its region k_f - s .. k_f + s clipped to 1..K;
//   harmonic h = 2..H at h f1 folded into 0..fs/2, centre round(f_h N / fs), region
//   +-s clipped to 1..K, bins already taken by DC, the fundamental or an earlier
//   harmonic left out (an empty harmonic has power 0 and "overlaps");
// - f1 = fs/N * sum k P[k] / sum P[k] over the fundamental region; P1 its power;
//   A1 = sqrt(2 P1);
// - P_N = (sum of P over the other bins) * (K - s) / (their count);
// - SNR = 10 lg(P1/P_N); THD = 10 lg(sum P_h / P1); SINAD = 10 lg(P1/(P_N + sum P_h));
//   SFDR = 10 lg(max P in the fundamental region / max P outside DC and the
//   fundamental); ENOB = (SINAD - 1.76)/6.02; ENOB at full scale adds
//   20 lg(A_FS/A1) to SINAD; amplitude 20 lg(A1/A_FS) dBFS;
// - fit: minimise sum (c[n] - (A cos(2 pi f n/fs) + B sin(2 pi f n/fs) + C))^2, c the
//   samples in uV, by Gauss-Newton from the three-parameter fit at f1, until the
//   relative change of f is below 1e-12 or 50 iterations; amplitude sqrt(A^2+B^2),
//   phase atan2(-B, A), offset C, residual rms r, ENOB_fit = log2(2 A_FS / (r sqrt 12)).

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace mirantos::analysis {

enum class ESineWindow { Bh7, Rect };

struct TSineOptions {
    ESineWindow window = ESineWindow::Bh7;
    std::optional<int> sideBins;  // 0..50; the window's own when absent
    int harmonics = 5;            // H, 2..10
    std::optional<double> toneHz; // look for the fundamental at this frequency
};

inline constexpr int kSineMinSamples = 1024;
// The 7-term Blackman-Harris coefficients a_0..a_6.
inline constexpr double kBh7[7] = {0.27105140069342, 0.43329793923448, 0.21812299954311,
                                   0.06592544638803, 0.01081174209837, 0.00077658482522,
                                   0.00001388721735};

struct TSineHarmonic {
    int h = 0;
    double fHz = 0;    // h f1 folded into 0..fs/2
    int centreBin = 0; // round(f_h N / fs)
    int bins = 0;      // bins of its own; 0: "overlaps" (power 0, dBc absent)
    double power = 0;  // uV^2
    std::optional<double> dBc;
};

struct TSineFit {
    double fHz = 0;
    double amplitudeUv = 0;
    double phaseRad = 0;
    double offsetUv = 0;
    double residualRmsUv = 0;
    std::optional<double> enobBits; // absent when the residual is 0
    int iterations = 0;
    bool converged = false;
    // c[n] minus the fitted value, and the fitted phase 2 pi f n/fs + phase (mod 2 pi, in
    // 0..2 pi) and the fitted value of each sample: the residual plots.
    std::vector<double> residualUv;
    std::vector<double> phaseOfSample;
    std::vector<double> fittedUv;
};

struct TSineFigures {
    int n = 0;
    double rateSps = 0;
    int sideBins = 0;
    ESineWindow window = ESineWindow::Bh7;
    int k = 0; // K, the last bin used
    int fundamentalBin = 0;
    double fundamentalHz = 0;
    double amplitudeUv = 0; // A1
    double amplitudeDbfs = 0;
    double fullScaleUv = 0;
    double snrDb = 0, thdDbc = 0, sinadDb = 0, sfdrDbc = 0, spurHz = 0;
    int spurBin = 0;
    double enobBits = 0, enobFsBits = 0;
    double noisePower = 0; // P_N, uV^2
    std::vector<TSineHarmonic> harmonics;
    // P[k] for k = 0..K (index 0 unused, 0), uV^2 per bin, and the same in dBFS
    // (10 lg(P[k] / (A_FS^2 / 2))) for the spectrum plot and --sine-csv.
    std::vector<double> power;
    std::vector<double> dbfs;
    // The fit after its last iteration; fitReason "did not converge" when 50 were not
    // enough (the fit is still given), absent with its reason when it cannot be made.
    std::optional<TSineFit> fit;
    std::string fitReason;
};

// The sine-wave test as the reports carry it: the figures, or why there are none.
struct TSineResult {
    std::optional<TSineFigures> figures;
    std::string reason;
};

// Empty when the options are in range, else why ("--side-bins must be 0..50").
std::string CheckSineOptions(const TSineOptions& options);
// The side bins s the options give (the window's own unless set).
int SideBins(const TSineOptions& options);
// "bh7", "rect": the names the command line and the files use.
const char* SineWindowName(ESineWindow window);
std::optional<ESineWindow> ParseSineWindow(const std::string& name);
// Empty when the options fit a record of that many samples at that rate, else why: the
// tone must lie in a bin above the DC region, at most fs/2 ("--tone takes a frequency
// from 7.8 to 499.5 Hz for this record, not 600").
std::string CheckSineInput(int64_t samples, double rateSps, const TSineOptions& options);
// The figures, or nothing and the reason ("needs at least 1024 samples", "no bin above
// the DC region", "fundamental at the edge of the band").
std::optional<TSineFigures> AnalyzeSine(std::span<const uint32_t> codes, double rateSps,
                                        int32_t gain, const TSineOptions& options,
                                        std::string* reason);

// The four-parameter fit alone, of samples in uV (any offset), from startHz: what
// AnalyzeSine does after the spectrum. Nothing, with the reason, when its equations are
// singular (a record without a tone).
std::optional<TSineFit> FitSine(std::span<const double> uv, double rateSps, double startHz,
                                double fullScaleUv, std::string* reason);

// Reasons of an undefined sine-wave test.
inline constexpr char kSineReasonLength[] = "needs at least 1024 samples";
inline constexpr char kSineReasonNoBin[] = "no bin above the DC region";
inline constexpr char kSineReasonEdge[] = "fundamental at the edge of the band";
inline constexpr char kSineReasonNoTone[] = "no tone: the spectrum above the DC region is empty";
inline constexpr char kSineReasonNoNoise[] = "no noise or spur beside the tone to compare it with";
inline constexpr char kSineReasonNoHarmonic[] =
    "every harmonic overlaps the DC region or the fundamental";
inline constexpr char kSineFitNotConverged[] = "did not converge";
inline constexpr char kSineFitSingular[] = "the fit's equations are singular";
// dbfs of a bin without power (a constant record's), instead of minus infinity.
inline constexpr double kSineFloorDbfs = -400.0;

} // namespace mirantos::analysis
