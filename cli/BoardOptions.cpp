#include "BoardOptions.h"

#include "BoardFactory.h"

namespace mirantos::cli {

std::vector<OptionSpec> BoardOptionSpecs()
{
    return {{"--board", "", true},    {"--rate", "", true}, {"--filter", "", true},
            {"--channels", "", true}, {"--seed", "", true}, {"--device", "", true}};
}

std::unique_ptr<IFtdiDriver> MakeBoardDriver(const BoardChoice& choice, const MeasureEnv& env)
{
    if (env.makeDriver)
        return env.makeDriver(choice.board, choice.seed);
    return choice.board == BoardKind::Sim ? MakeSimDriver(choice.seed)
                                          : MakeUsbDriver(choice.device);
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
    if (const auto v = parsed.Value("--device")) {
        if (o.board != BoardKind::Usb)
            return bad("--device applies to the board on USB (--board usb) only");
        if (!IsValidDeviceSelector(*v) || v->empty())
            return bad("--device takes a serial number, optionally with :A or :B for the "
                       "interface, not \"" +
                       *v + "\"");
        o.device = *v;
    }
    return true;
}

} // namespace mirantos::cli
