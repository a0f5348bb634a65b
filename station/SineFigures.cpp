#include "SineFigures.h"

namespace mirantos::station {

bool NeedsSine(const TLimit& limit)
{
    const TFigureInfo* info = FindFigure(limit.figure);
    return info != nullptr && info->needsSine;
}

std::optional<double> SineFigureValue(const std::optional<analysis::TSineResult>& sine,
                                      const std::string& name, std::string* reason)
{
    auto none = [reason](std::string why) -> std::optional<double> {
        if (reason != nullptr)
            *reason = std::move(why);
        return std::nullopt;
    };
    if (!sine)
        return none("not computed");
    if (!sine->figures)
        return none(sine->reason);
    const analysis::TSineFigures& s = *sine->figures;
    if (name == "snr_dB")
        return s.snrDb;
    if (name == "thd_dBc")
        return s.thdDbc;
    if (name == "sinad_dB")
        return s.sinadDb;
    if (name == "sfdr_dBc")
        return s.sfdrDbc;
    if (name == "enob_bits")
        return s.enobBits;
    if (name == "enob_fs_bits")
        return s.enobFsBits;
    return none("unknown figure " + name);
}

} // namespace mirantos::station
