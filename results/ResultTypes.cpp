// The run outcome's stored text.

#include "ResultTypes.h"

#include <array>
#include <utility>

namespace mirantos::results {

namespace {
constexpr std::array<std::pair<ERunOutcome, const char*>, 4> kOutcomes{{
    {ERunOutcome::Pass, "PASS"},
    {ERunOutcome::Fail, "FAIL"},
    {ERunOutcome::Error, "ERROR"},
    {ERunOutcome::Aborted, "ABORTED"},
}};
} // namespace

const char* OutcomeText(ERunOutcome outcome)
{
    for (const auto& [o, text] : kOutcomes)
        if (o == outcome)
            return text;
    return "FAIL";
}

std::optional<ERunOutcome> OutcomeFromText(const std::string& text)
{
    for (const auto& [o, t] : kOutcomes)
        if (text == t)
            return o;
    return std::nullopt;
}

} // namespace mirantos::results
