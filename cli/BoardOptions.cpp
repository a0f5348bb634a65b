#include "BoardOptions.h"

#include "BoardFactory.h"

#include <charconv>
#include <cmath>

namespace mirantos::cli {

std::vector<OptionSpec> BoardOptionSpecs()
{
    return {{"--board", "", true},       {"--rate", "", true},      {"--filter", "", true},
            {"--channels", "", true},    {"--seed", "", true},      {"--device", "", true},
            {"--sim-flicker", "", true}, {"--sim-drift", "", true}, {"--sim-pickup", "", true},
            {"--sim-tone", "", true}};
}

std::unique_ptr<IFtdiDriver> MakeBoardDriver(const BoardChoice& choice, const MeasureEnv& env)
{
    if (env.makeDriver)
        return env.makeDriver(choice.board, choice.seed);
    if (choice.board != BoardKind::Sim)
        return MakeUsbDriver(choice.device);
    SimConfig config;
    config.seed = choice.seed;
    config.flickerNvAt1Hz = choice.simFlickerNv;
    config.driftUvPerHour = choice.simDriftUvPerH;
    config.pickup50HzUv = choice.simPickupUv;
    config.tone = choice.simTone;
    return MakeSimDriver(std::move(config));
}

bool ParseBoardOptions(const ParsedArgs& parsed, BoardChoice& o, TControlValues& controls,
                       std::string& problem)
{
    auto bad = [&problem](const std::string& text) {
        problem = text;
        return false;
    };
    if (const auto v = parsed.Value("--board")) {
        if (*v == "usb")
            o.board = BoardKind::Usb;
        else if (*v == "sim")
            o.board = BoardKind::Sim;
        else
            return bad("--board takes usb or sim, not \"" + *v + "\"");
    }
    if (const auto v = parsed.Value("--rate"); v && !ParseRateText(*v, controls.rateIndex))
        return bad("--rate takes a rate of the list or its index 0..13, not \"" + *v + "\"");
    if (const auto v = parsed.Value("--channels")) {
        if (*v == "ch0")
            controls.channelIndex = 0;
        else if (*v == "ch1")
            controls.channelIndex = 1;
        else if (*v == "both")
            controls.channelIndex = 2;
        else
            return bad("--channels takes ch0, ch1 or both, not \"" + *v + "\"");
    }
    if (const auto v = parsed.Value("--filter")) {
        if (*v != "sinc3" && *v != "sinc5")
            return bad("--filter takes sinc3 or sinc5, not \"" + *v + "\"");
        controls.sinc3 = *v == "sinc3";
    }
    if (const auto v = parsed.Value("--seed")) {
        if (o.board != BoardKind::Sim)
            return bad("--seed applies to the simulated board (--board sim) only");
        if (!ParseUint64(*v, o.seed))
            return bad("--seed takes a whole number from 0 to 18446744073709551615, not \"" + *v +
                       "\"");
    }
    struct SimValue {
        const char* option;
        double lo, hi;
        double* value;
        const char* takes;
    };
    const SimValue simValues[] = {
        {"--sim-flicker", 0.0, kSimMaxFlickerNv, &o.simFlickerNv,
         "a density in nV/sqrt(Hz) at 1 Hz from 0 to 100000"},
        {"--sim-drift", -kSimMaxDriftUvPerH, kSimMaxDriftUvPerH, &o.simDriftUvPerH,
         "uV per hour from -1000000 to 1000000"},
        {"--sim-pickup", 0.0, kSimMaxPickupUv, &o.simPickupUv,
         "a 50 Hz amplitude in uV from 0 to 1000000"},
    };
    for (const SimValue& s : simValues) {
        const auto v = parsed.Value(s.option);
        if (!v)
            continue;
        if (o.board != BoardKind::Sim)
            return bad(std::string(s.option) +
                       " applies to the simulated board (--board sim) only");
        double x = 0.0;
        const char* first = v->data();
        const char* last = first + v->size();
        const auto [end, ec] = std::from_chars(first, last, x);
        if (v->empty() || ec != std::errc() || end != last || !std::isfinite(x) || x < s.lo ||
            x > s.hi)
            return bad(std::string(s.option) + " takes " + s.takes + ", not \"" + *v + "\"");
        *s.value = x;
    }
    if (const auto v = parsed.Value("--sim-tone")) {
        if (o.board != BoardKind::Sim)
            return bad("--sim-tone applies to the simulated board (--board sim) only");
        std::string takes;
        if (!ParseSimTone(*v, o.simTone, takes))
            return bad("--sim-tone " + takes + ", not \"" + *v + "\"");
    }
    if (const auto v = parsed.Value("--device")) {
        if (o.board != BoardKind::Usb)
            return bad("--device applies to the board on USB (--board usb) only");
        if (v->empty())
            return bad("--device takes a serial number, optionally with :A or :B for the "
                       "interface");
        if (const std::string problem = DeviceSelectorProblem(*v); !problem.empty())
            return bad("--device \"" + *v + "\": " + problem);
        o.device = *v;
    }
    return true;
}

} // namespace mirantos::cli
