#pragma once
// What a run takes in from the person at the station (serial, operator,
// station name, part number, lot, the DUT's hardware id) and from the limits
// file (the test's name, default part number and lot), checked before
// the board is touched: each ends up in file names, the database, JUnit and
// a terminal. Pure C++; no Qt.

#include <string>
#include <string_view>

namespace mirantos::station {

// The longest each may be, in bytes.
inline constexpr size_t kMaxSerialBytes = 64;
inline constexpr size_t kMaxOperatorBytes = 64;
inline constexpr size_t kMaxStationBytes = 64;
inline constexpr size_t kMaxTestNameBytes = 128;
inline constexpr size_t kMaxPartNumberBytes = 64;
inline constexpr size_t kMaxLotBytes = 64;
inline constexpr size_t kMaxDutIdBytes = 64;

// Why `text`, named `what` ("--serial", "the serial number"), cannot be
// taken, or empty: more than `maxBytes` bytes, not valid UTF-8, or a control
// character (C0, DEL, C1). The text itself is never echoed.
std::string FieldProblem(std::string_view what, std::string_view text, size_t maxBytes);

struct TRunFieldNames {
    std::string_view serial = "--serial";
    std::string_view operatorName = "--operator";
    std::string_view station = "--station";
    std::string_view testName = "--limits: the test's name";
    std::string_view partNumber = "--part-number";
    std::string_view lot = "--lot";
    std::string_view dutId = "--dut-id";
};
// The first of the four's problems, each named as `names` says; empty when all are fine.
std::string RunFieldsProblem(const std::string& serial, const std::string& operatorName,
                             const std::string& station, const std::string& testName,
                             const TRunFieldNames& names = {});
// Likewise for the optional fields (each may be empty).
std::string DutFieldsProblem(const std::string& partNumber, const std::string& lot,
                             const std::string& dutId, const TRunFieldNames& names = {});

} // namespace mirantos::station
