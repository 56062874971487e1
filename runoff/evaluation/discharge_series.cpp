#include "runoff/evaluation/discharge_series.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <fstream>
#include <limits>
#include <map>
#include <optional>

#include "common/input_file.h"
#include "common/text_number.h"
#include "runoff/inputs/long_form.h"

namespace runoff {
namespace {

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// A discharge field: a value in m3/s, NaN for a missing one; nullopt when it is neither.
std::optional<float> dischargeValue(const std::string& field) {
  if (field.empty() || lower(field) == "nan") return std::numeric_limits<float>::quiet_NaN();
  float value = 0;
  if (parseFloat(field, value) != ParseStatus::kOk) return std::nullopt;
  return value < 0 ? std::numeric_limits<float>::quiet_NaN() : value;
}

}  // namespace

Result<DischargeSeries> readDischargeSeries(std::istream& in, const std::string& path) {
  DischargeSeries series;
  std::map<std::string, std::size_t> gaugeIndex;
  const Status read = readLongForm(
      in, path, {"time", "gauge", "discharge"}, [&](const LongFormLine& line) -> Status {
        const std::optional<float> discharge = dischargeValue(line.value);
        if (!discharge) {
          return Status::invalid(line.where + ": discharge \"" + line.value +
                                 "\" is not a number.");
        }
        const auto [at, added] = gaugeIndex.emplace(line.name, series.gauges.size());
        if (added) {
          series.gauges.push_back(line.name);
          series.values.emplace_back();
        }
        series.values[at->second].push_back({line.time, *discharge, line.number});
        ++series.count;
        if (std::isnan(*discharge)) ++series.missing;
        return {};
      });
  if (!read.ok()) return read;
  if (series.count == 0) return Status::invalid(path + " holds no discharge value.");
  for (std::size_t g = 0; g < series.gauges.size(); ++g) {
    if (Status once = sortByTimeOnce(series.values[g], path, "gauge", series.gauges[g]);
        !once.ok()) {
      return once;
    }
  }
  return series;
}

Result<DischargeSeries> readDischargeSeries(const std::string& path) {
  std::ifstream in;
  if (const InputFault fault = openInputFile(in, path); fault != InputFault::kNone) {
    return inputFailure(path, fault);
  }
  return readDischargeSeries(in, path);
}

Result<HourlySeries> onHourlyClock(const DischargeSeries& series, const std::string& path) {
  HourlySeries hourly;
  hourly.gauges = series.gauges;
  bool any = false;
  CivilTime last;
  for (const std::vector<TimedValue>& values : series.values) {
    if (values.empty()) continue;
    if (!any || values.front().time < hourly.start) hourly.start = values.front().time;
    if (!any || values.back().time > last) last = values.back().time;
    any = true;
  }
  const std::int64_t span = (last - hourly.start).count() / 3600 + 1;
  // Every hour of every gauge is held in memory (256 MiB at most): a century of hours for
  // seventy gauges.
  constexpr std::int64_t kMaxCells = std::int64_t{1} << 26;
  if (span >
      kMaxCells / std::max<std::int64_t>(1, static_cast<std::int64_t>(series.gauges.size()))) {
    return Status::invalid(path + " spans " + std::to_string(span) + " hours from " +
                           isoTime(hourly.start) + ", too long to pair hour by hour.");
  }
  hourly.hours = span;
  hourly.values.assign(
      series.gauges.size(),
      std::vector<float>(static_cast<std::size_t>(span), std::numeric_limits<float>::quiet_NaN()));
  for (std::size_t g = 0; g < series.gauges.size(); ++g) {
    for (const TimedValue& value : series.values[g]) {
      const std::int64_t seconds = (value.time - hourly.start).count();
      if (seconds % 3600 != 0) {
        return Status::invalid(path + " line " + std::to_string(value.line) + ": time " +
                               isoTime(value.time) + " is not a whole number of hours after " +
                               isoTime(hourly.start) + ", the first time of the file.");
      }
      hourly.values[g][static_cast<std::size_t>(seconds / 3600)] = value.discharge;
    }
  }
  return hourly;
}

}  // namespace runoff
