#include "FftPlans.h"

#include <fftw3.h>

#include <algorithm>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

namespace mirantos::analysis {

namespace {

std::mutex& PlannerMutex()
{
    static std::mutex m;
    return m;
}

// A handful of lengths are in use at a time (the default segment, the few a
// person picks in the window); beyond this the least recently used plan goes.
constexpr size_t kMaxCachedPlans = 16;

} // namespace

struct TFftPlan {
    fftw_plan plan = nullptr;
    ~TFftPlan()
    {
        if (plan != nullptr) {
            std::lock_guard lock(PlannerMutex());
            fftw_destroy_plan(plan);
        }
    }
};

namespace {

struct TPlanCache {
    // Most recently used last; shared_ptr so an evicted plan lives on while a
    // transform still holds it.
    std::vector<std::pair<int, std::shared_ptr<TFftPlan>>> plans;
    std::mutex mutex;
};

TPlanCache& Cache()
{
    // The planner mutex first, so it outlives the cache whose plans lock it at exit.
    (void)PlannerMutex();
    static TPlanCache cache;
    return cache;
}

std::shared_ptr<TFftPlan> PlanFor(int length)
{
    TPlanCache& cache = Cache();
    std::shared_ptr<TFftPlan> evicted; // destroyed after the cache lock is released
    std::lock_guard lock(cache.mutex);
    auto it = std::find_if(cache.plans.begin(), cache.plans.end(),
                           [length](const auto& p) { return p.first == length; });
    if (it != cache.plans.end()) {
        std::rotate(it, it + 1, cache.plans.end());
        return cache.plans.back().second;
    }
    auto made = std::make_shared<TFftPlan>();
    {
        // FFTW_ESTIMATE: planning takes no time and does not depend on timing
        // measurements, so the same input gives the same bits on every run.
        std::lock_guard planner(PlannerMutex());
        double* in = fftw_alloc_real(static_cast<size_t>(length));
        fftw_complex* out = fftw_alloc_complex(static_cast<size_t>(length / 2 + 1));
        if (in != nullptr && out != nullptr)
            made->plan = fftw_plan_dft_r2c_1d(length, in, out, FFTW_ESTIMATE);
        fftw_free(in);
        fftw_free(out);
    }
    if (made->plan == nullptr)
        throw std::bad_alloc();
    if (cache.plans.size() >= kMaxCachedPlans) {
        evicted = std::move(cache.plans.front().second);
        cache.plans.erase(cache.plans.begin());
    }
    cache.plans.emplace_back(length, made);
    return made;
}

} // namespace

size_t CachedPlanCount()
{
    std::lock_guard lock(Cache().mutex);
    return Cache().plans.size();
}

TRealFft::TRealFft(int length) : length_(length), plan_(PlanFor(length))
{
    in_ = fftw_alloc_real(static_cast<size_t>(length));
    // fftw_complex is double[2], layout-compatible with std::complex<double>.
    out_ = reinterpret_cast<std::complex<double>*>(
        fftw_alloc_complex(static_cast<size_t>(length / 2 + 1)));
    if (in_ == nullptr || out_ == nullptr) {
        fftw_free(in_);
        fftw_free(out_);
        throw std::bad_alloc();
    }
}

TRealFft::~TRealFft()
{
    fftw_free(in_);
    fftw_free(out_);
}

void TRealFft::Execute()
{
    // The new-array execute is the thread-safe one; fftw_malloc gives these
    // arrays the alignment the plan was made for.
    fftw_execute_dft_r2c(plan_->plan, in_, reinterpret_cast<fftw_complex*>(out_));
}

} // namespace mirantos::analysis
