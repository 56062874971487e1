#include "runoff/inputs/run_start.h"

#include <cstdio>
#include <fstream>

#include "common/input_file.h"
#include "common/text_number.h"

namespace runoff {
namespace {

constexpr const char* kStartAdvice = "give the start of the run with --start YYYY-MM-DDThh:mm:ss.";

// Digits only, exactly `count` of them, from `text` at `at`; -1 when they are not there.
std::int32_t digits(std::string_view text, std::size_t at, std::size_t count) {
  if (at + count > text.size()) return -1;
  std::int32_t value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

// A token as it may be shown on one console line: printable characters only, and not a whole
// binary file's worth of them.
std::string shown(const std::string& token) {
  std::string text;
  for (char c : token.substr(0, 24)) text += (c >= 0x20 && c < 0x7f) ? c : '?';
  if (token.size() > 24) text += "...";
  return text;
}

}  // namespace

std::optional<CivilTime> civilTime(const std::array<std::int32_t, 6>& f) {
  using namespace std::chrono;
  if (f[0] < 1 || f[0] > 9999 || f[1] < 1 || f[1] > 12 || f[2] < 1 || f[2] > 31) {
    return std::nullopt;
  }
  const year_month_day date{year{f[0]}, month{static_cast<unsigned>(f[1])},
                            day{static_cast<unsigned>(f[2])}};
  if (!date.ok() || f[3] < 0 || f[3] > 23 || f[4] < 0 || f[4] > 59 || f[5] < 0 || f[5] > 59) {
    return std::nullopt;
  }
  return sys_days{date} + hours{f[3]} + minutes{f[4]} + seconds{f[5]};
}

std::optional<CivilTime> parseIsoTime(std::string_view text) {
  if (!text.empty() && text.back() == 'Z') text.remove_suffix(1);
  std::array<std::int32_t, 6> f = {
      digits(text, 0, 4), digits(text, 5, 2), digits(text, 8, 2), 0, 0, 0};
  if (text.size() < 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
  if (text.size() > 10) {
    // Thh:mm or Thh:mm:ss after the date.
    if ((text[10] != 'T' && text[10] != ' ') || (text.size() != 16 && text.size() != 19) ||
        text[13] != ':' || (text.size() == 19 && text[16] != ':')) {
      return std::nullopt;
    }
    f[3] = digits(text, 11, 2);
    f[4] = digits(text, 14, 2);
    if (text.size() == 19) f[5] = digits(text, 17, 2);
  }
  return civilTime(f);
}

std::string isoTime(CivilTime time, char separator) {
  using namespace std::chrono;
  const sys_days day = floor<days>(time);
  const year_month_day date{day};
  const hh_mm_ss clock{time - day};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u%c%02d:%02d:%02d", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()), separator,
                static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()));
  return text;
}

Result<CivilTime> firstRainStamp(std::istream& rain, const std::string& rainPath) {
  std::array<std::int32_t, 6> fields{};
  std::string seen;
  bool integers = true;
  int count = 0;
  for (; count < 6; ++count) {
    const auto token = nextToken(rain);
    if (!token) break;
    if (count > 0) seen += ' ';
    seen += shown(*token);
    integers = integers && parseInt32(*token, fields[count]) == ParseStatus::kOk;
  }
  if (count == 0) return Status::invalid(rainPath + " is empty");
  if (count == 6 && integers) {
    if (auto time = civilTime(fields)) return *time;
  }
  return Status::invalid("the first record of " + rainPath + " begins \"" + seen +
                         "\", not a date and time");
}

Result<RunStart> findRunStart(const std::optional<std::string>& startOption,
                              const std::string& rainPath) {
  if (startOption) {
    if (auto time = parseIsoTime(*startOption)) return RunStart{*time, "--start"};
    return Status::invalid("--start \"" + shown(*startOption) +
                           "\" is not a date and time: write it as YYYY-MM-DDThh:mm:ss.");
  }
  std::ifstream rain;
  if (const InputFault fault = openInputFile(rain, rainPath); fault != InputFault::kNone) {
    return Status::invalid("No start time: " + rainPath + " " + describe(fault) + "; " +
                           kStartAdvice);
  }
  Result<CivilTime> stamp = firstRainStamp(rain, rainPath);
  if (!stamp.ok())
    return Status::invalid("No start time: " + stamp.message() + "; " + kStartAdvice);
  return RunStart{*stamp, "the first record of " + rainPath};
}

}  // namespace runoff
