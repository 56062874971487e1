// The start of a run: the moment the first simulated hour begins, to which every time in the
// converted files refers. The rainfall file stamps each hour record with six integers (year,
// month, day, hour, minute, second); the stamp of its first record is the start when those
// form a date and time, and --start gives it otherwise. Times carry no zone: they are whatever
// clock the rainfall was stamped in (CF reads a unit without a zone as UTC).
#ifndef RUNOFF_INPUTS_RUN_START_H_
#define RUNOFF_INPUTS_RUN_START_H_

#include <array>
#include <chrono>
#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <string_view>

#include "common/status.h"

namespace runoff {

using CivilTime = std::chrono::sys_seconds;

/// The date and time of (year, month, day, hour, minute, second); nullopt unless the six form
/// one: year 1 to 9999, a day that exists in that month, hour 0 to 23, minute and second 0
/// to 59.
std::optional<CivilTime> civilTime(const std::array<std::int32_t, 6>& fields);

/// "YYYY-MM-DD", "YYYY-MM-DDThh:mm" or "YYYY-MM-DDThh:mm:ss", with 'T' or one blank between
/// date and time and an optional trailing 'Z'; nullopt for anything else.
std::optional<CivilTime> parseIsoTime(std::string_view text);

/// "2000-07-01T00:00:00"; `separator` ' ' gives the form of CF time units.
std::string isoTime(CivilTime time, char separator = 'T');

struct RunStart {
  CivilTime time;
  std::string origin;  // where it came from, for the console: "--start", "../input/rain.dat"
};

/// The path of the rainfall file as seen from the output directory.
inline constexpr const char* kRainPathFromOutput = "../input/rain.dat";

/// The start from `startOption` when given (refused when it is not an ISO-8601 date and time),
/// otherwise from the first record of the rainfall file at `rainPath`; refused with one line
/// when neither gives one.
Result<RunStart> findRunStart(const std::optional<std::string>& startOption,
                              const std::string& rainPath);

/// The stamp of the first record of a rainfall file; the failure says what the file holds
/// instead ("is empty", "begins \"2000 13 1 0 0 0\", not a date and time").
Result<CivilTime> firstRainStamp(std::istream& rain, const std::string& rainPath);

}  // namespace runoff

#endif  // RUNOFF_INPUTS_RUN_START_H_
