#include "TraceData.h"

#include <span>

namespace mirantos::trace {

TTraceData::TTraceData(int32_t chSel, double rateSps, int32_t gain, std::string fileName,
                       std::string startUtc)
    : chSel_(chSel), rateSps_(rateSps), gain_(gain), fileName_(std::move(fileName)),
      startUtc_(std::move(startUtc))
{
    held_ = {chSel == 0 || chSel == 2, chSel == 1 || chSel == 2};
}

TTraceData::TTraceData(TSampleSet&& samples, std::string fileName)
    : TTraceData(samples.chSel, samples.rateSps, samples.gain, std::move(fileName),
                 std::move(samples.startUtc))
{
    board_ = std::move(samples.board);
    simulated_ = samples.simulated;
    if (held_[0])
        pyramids_[0] = TMinMaxPyramid(std::move(samples.ch0));
    if (held_[1])
        pyramids_[1] = TMinMaxPyramid(std::move(samples.ch1));
}

void TTraceData::Append(const uint32_t* c0, const uint32_t* c1, int64_t n)
{
    if (n <= 0)
        return;
    const uint32_t* from[2] = {c0, c1};
    for (int c = 0; c < 2; ++c)
        if (held_[c] && from[c] != nullptr)
            pyramids_[c].Append(std::span<const uint32_t>(from[c], static_cast<size_t>(n)));
}

int64_t TTraceData::Samples() const
{
    return held_[0] ? pyramids_[0].Size() : held_[1] ? pyramids_[1].Size() : 0;
}

double SampleSeconds(int64_t i, double rateSps)
{
    return rateSps > 0 ? static_cast<double>(i) / rateSps : 0.0;
}

} // namespace mirantos::trace
