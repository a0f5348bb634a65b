#include "RunFields.h"

#include <initializer_list>
#include <tuple>

namespace mirantos::station {

namespace {

// The length of the UTF-8 sequence at `s[i]` and its code point; 0 when it is not one.
size_t Utf8At(std::string_view s, size_t i, char32_t& cp)
{
    const auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    size_t n = 0;
    if (c < 0x80) {
        cp = c;
        return 1;
    }
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        cp = c & 0x07;
    } else
        return 0;
    if (i + n > s.size())
        return 0;
    for (size_t k = 1; k < n; ++k) {
        if ((b(i + k) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b(i + k) & 0x3F);
    }
    // Overlong forms, surrogates and beyond U+10FFFF.
    if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

} // namespace

std::string FieldProblem(std::string_view what, std::string_view text, size_t maxBytes)
{
    const std::string name(what);
    if (text.size() > maxBytes)
        return name + " is " + std::to_string(text.size()) + " bytes long; at most " +
               std::to_string(maxBytes) + " are taken";
    for (size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        const size_t n = Utf8At(text, i, cp);
        if (n == 0)
            return name + " is not valid UTF-8 (byte " + std::to_string(i + 1) + ")";
        if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F))
            return name + " holds a control character (byte " + std::to_string(i + 1) + ")";
        if ((cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069))
            return name + " holds a bidirectional control character (byte " +
                   std::to_string(i + 1) + ")";
        i += n;
    }
    return {};
}

std::string RunFieldsProblem(const std::string& serial, const std::string& operatorName,
                             const std::string& station, const std::string& testName,
                             const TRunFieldNames& names)
{
    for (const auto& [what, text, most] :
         {std::tuple{names.serial, std::string_view(serial), kMaxSerialBytes},
          std::tuple{names.operatorName, std::string_view(operatorName), kMaxOperatorBytes},
          std::tuple{names.station, std::string_view(station), kMaxStationBytes},
          std::tuple{names.testName, std::string_view(testName), kMaxTestNameBytes}}) {
        if (std::string problem = FieldProblem(what, text, most); !problem.empty())
            return problem;
    }
    return {};
}

std::string DutFieldsProblem(const std::string& partNumber, const std::string& lot,
                             const std::string& dutId, const TRunFieldNames& names)
{
    for (const auto& [what, text, most] :
         {std::tuple{names.partNumber, std::string_view(partNumber), kMaxPartNumberBytes},
          std::tuple{names.lot, std::string_view(lot), kMaxLotBytes},
          std::tuple{names.dutId, std::string_view(dutId), kMaxDutIdBytes}}) {
        if (std::string problem = FieldProblem(what, text, most); !problem.empty())
            return problem;
    }
    return {};
}

} // namespace mirantos::station
