#pragma once
// Forward real-to-complex FFTs of any length, with the FFTW plans cached per
// length. Thread safety: FFTW's planner (plan creation and destruction) is not
// reentrant, so every planner call of the program goes through one mutex here;
// executing a plan on new arrays (fftw_execute_dft_r2c) is thread safe, so two
// analyses may transform at the same time once their plan exists. Nothing else
// in the program may call the FFTW planner without that lock: this is the only
// place that plans.

#include <complex>
#include <cstddef>
#include <memory>

namespace mirantos::analysis {

struct TFftPlan;

class TRealFft {
public:
    explicit TRealFft(int length);
    ~TRealFft();
    TRealFft(const TRealFft&) = delete;
    TRealFft& operator=(const TRealFft&) = delete;

    int Length() const { return length_; }
    // length_ samples, SIMD-aligned as the plan expects.
    double* Input() { return in_; }
    // length_/2 + 1 bins after Execute.
    const std::complex<double>* Output() const { return out_; }
    void Execute();

private:
    int length_;
    std::shared_ptr<TFftPlan> plan_;
    double* in_ = nullptr;
    std::complex<double>* out_ = nullptr;
};

// Plans currently held by the cache (for the tests of its bound).
size_t CachedPlanCount();

} // namespace mirantos::analysis
