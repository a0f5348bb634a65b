// The four-parameter least-squares sine fit (IEEE 1241): Gauss-Newton on
// y[n] = a cos(w t) + b sin(w t) + c, started from the three-parameter fit at the
// spectrum's frequency. Time runs from the record's middle (t = n - (N-1)/2): the
// frequency's column of the Jacobian is then nearly orthogonal to the others and the
// 4x4 equations stay well conditioned; a and b are turned back to n = 0 at the end.

#include "SineAnalysis.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace mirantos::analysis {

namespace {

constexpr int kMaxIterations = 50;
constexpr double kFrequencyTolerance = 1e-12;
// cos and sin of w t advance by a rotation; each block starts from the library's exact
// values, so the rounding of the rotation never builds up over more than this many steps.
constexpr int kBlock = 64;

// Calls visit(i, t, cos w t, sin w t) for every sample.
template <class F> void ForEachPhase(size_t n, double w, F&& visit)
{
    const double t0 = -0.5 * static_cast<double>(n - 1);
    const double cw = std::cos(w);
    const double sw = std::sin(w);
    for (size_t start = 0; start < n; start += kBlock) {
        const size_t end = std::min(n, start + kBlock);
        double t = t0 + static_cast<double>(start);
        double c = std::cos(w * t);
        double s = std::sin(w * t);
        for (size_t i = start; i < end; ++i, t += 1.0) {
            visit(i, t, c, s);
            const double next = c * cw - s * sw;
            s = s * cw + c * sw;
            c = next;
        }
    }
}

// Solves m x = r (m symmetric, size d <= 4) by Gaussian elimination with partial
// pivoting in long double; false when singular.
template <size_t D>
bool Solve(std::array<std::array<long double, D>, D> m, std::array<long double, D> r,
           std::array<double, D>& x)
{
    for (size_t col = 0; col < D; ++col) {
        size_t pivot = col;
        for (size_t row = col + 1; row < D; ++row)
            if (std::fabs(m[row][col]) > std::fabs(m[pivot][col]))
                pivot = row;
        if (!(std::fabs(m[pivot][col]) > 0.0L) || !std::isfinite(m[pivot][col]))
            return false;
        std::swap(m[col], m[pivot]);
        std::swap(r[col], r[pivot]);
        for (size_t row = col + 1; row < D; ++row) {
            const long double factor = m[row][col] / m[col][col];
            for (size_t k = col; k < D; ++k)
                m[row][k] -= factor * m[col][k];
            r[row] -= factor * r[col];
        }
    }
    for (size_t col = D; col-- > 0;) {
        long double v = r[col];
        for (size_t k = col + 1; k < D; ++k)
            v -= m[col][k] * x[k];
        x[col] = static_cast<double>(v / m[col][col]);
        if (!std::isfinite(x[col]))
            return false;
    }
    return true;
}

// a, b, c at a fixed w: the three-parameter fit.
bool ThreeParameter(std::span<const double> y, double w, double& a, double& b, double& c)
{
    double scc = 0, sss = 0, scs = 0, sc = 0, ss = 0, yc = 0, ys = 0, y1 = 0;
    ForEachPhase(y.size(), w, [&](size_t i, double, double co, double si) {
        scc += co * co;
        sss += si * si;
        scs += co * si;
        sc += co;
        ss += si;
        yc += y[i] * co;
        ys += y[i] * si;
        y1 += y[i];
    });
    const long double n = static_cast<long double>(y.size());
    std::array<double, 3> x{};
    if (!Solve<3>({{{scc, scs, sc}, {scs, sss, ss}, {sc, ss, n}}}, {yc, ys, y1}, x))
        return false;
    a = x[0];
    b = x[1];
    c = x[2];
    return true;
}

} // namespace

std::optional<TSineFit> FitSine(std::span<const double> uv, double rateSps, double startHz,
                                double fullScaleUv, std::string* reason)
{
    auto fail = [reason]() -> std::optional<TSineFit> {
        if (reason != nullptr)
            *reason = kSineFitSingular;
        return std::nullopt;
    };
    const size_t n = uv.size();
    if (n < 4 || !(rateSps > 0.0))
        return fail();
    // w in radians per sample.
    double w = 2.0 * std::numbers::pi * startHz / rateSps;
    double a = 0, b = 0, c = 0;
    if (!ThreeParameter(uv, w, a, b, c))
        return fail();

    TSineFit fit;
    while (fit.iterations < kMaxIterations) {
        // The normal equations of the linearised model: columns cos, sin, 1 and
        // d/dw = t (b cos - a sin), the last scaled by 1/tMax to keep the sizes alike.
        const double scale = 2.0 / static_cast<double>(n);
        std::array<double, 9> jj{};
        std::array<double, 4> jr{};
        ForEachPhase(n, w, [&](size_t i, double t, double co, double si) {
            const double d = t * scale * (b * co - a * si);
            const double r = uv[i] - (a * co + b * si + c);
            jj[0] += co * co;
            jj[1] += co * si;
            jj[2] += co;
            jj[3] += co * d;
            jj[4] += si * si;
            jj[5] += si;
            jj[6] += si * d;
            jj[7] += d;
            jj[8] += d * d;
            jr[0] += co * r;
            jr[1] += si * r;
            jr[2] += r;
            jr[3] += d * r;
        });
        const long double nn = static_cast<long double>(n);
        std::array<double, 4> step{};
        if (!Solve<4>({{{jj[0], jj[1], jj[2], jj[3]},
                        {jj[1], jj[4], jj[5], jj[6]},
                        {jj[2], jj[5], nn, jj[7]},
                        {jj[3], jj[6], jj[7], jj[8]}}},
                      {jr[0], jr[1], jr[2], jr[3]}, step))
            return fail();
        a += step[0];
        b += step[1];
        c += step[2];
        const double dw = step[3] * scale;
        w += dw;
        ++fit.iterations;
        if (std::fabs(dw) < kFrequencyTolerance * std::fabs(w)) {
            fit.converged = true;
            break;
        }
    }
    if (!fit.converged && reason != nullptr)
        *reason = kSineFitNotConverged;

    // The residual, the phase of each sample and the fitted values.
    const double phaseCentre = std::atan2(-b, a);
    fit.residualUv.resize(n);
    fit.phaseOfSample.resize(n);
    fit.fittedUv.resize(n);
    double squares = 0.0;
    constexpr double kTwoPi = 2.0 * std::numbers::pi;
    ForEachPhase(n, w, [&](size_t i, double t, double co, double si) {
        const double y = a * co + b * si + c;
        const double r = uv[i] - y;
        squares += r * r;
        fit.fittedUv[i] = y;
        fit.residualUv[i] = r;
        // Into 0..2 pi; floor is several times cheaper than fmod here.
        double phase = w * t + phaseCentre;
        phase -= kTwoPi * std::floor(phase / kTwoPi);
        fit.phaseOfSample[i] = std::clamp(phase, 0.0, kTwoPi);
    });
    fit.fHz = w * rateSps / kTwoPi;
    fit.amplitudeUv = std::hypot(a, b);
    // a cos(w (n - n0)) + b sin(w (n - n0)) as A cos(w n) + B sin(w n): rotate by w n0,
    // reduced in long double since w n0 runs to a million radians.
    const long double n0 = 0.5L * static_cast<long double>(n - 1);
    const long double turns =
        static_cast<long double>(w) * n0 / (2.0L * std::numbers::pi_v<long double>);
    const long double phi0 = 2.0L * std::numbers::pi_v<long double> * (turns - std::floor(turns));
    const double cp = static_cast<double>(std::cos(phi0));
    const double sp = static_cast<double>(std::sin(phi0));
    const double bigA = a * cp - b * sp;
    const double bigB = a * sp + b * cp;
    fit.phaseRad = std::atan2(-bigB, bigA);
    fit.offsetUv = c;
    fit.residualRmsUv = std::sqrt(squares / static_cast<double>(n));
    if (fit.residualRmsUv > 0.0)
        fit.enobBits = std::log2(2.0 * fullScaleUv / (fit.residualRmsUv * std::sqrt(12.0)));
    return fit;
}

} // namespace mirantos::analysis
