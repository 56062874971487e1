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
#include "runoff/inputs/gauge_list.h"

namespace runoff {
namespace {

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

constexpr std::array<const char*, 3> kColumns = {"time", "gauge", "discharge"};

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
  std::optional<std::array<std::size_t, 3>> columns;
  std::size_t width = 0;
  std::string line;
  for (std::int32_t number = 1; std::getline(in, line); ++number) {
    const std::string where = path + " line " + std::to_string(number);
    if (!csvLineWithContent(line, number)) continue;
    const auto fields = splitCsvFields(line);
    if (!fields) return Status::invalid(where + ": a quoted field is not closed.");
    if (!columns) {
      std::array<std::size_t, 3> found{};
      for (std::size_t k = 0; k < kColumns.size(); ++k) {
        const auto at = std::find_if(fields->begin(), fields->end(),
                                     [&](const std::string& f) { return lower(f) == kColumns[k]; });
        if (at == fields->end()) {
          return Status::invalid(where + ": the header names no column \"" + kColumns[k] +
                                 "\" (expected time,gauge,discharge).");
        }
        found[k] = static_cast<std::size_t>(at - fields->begin());
      }
      columns = found;
      width = fields->size();
      continue;
    }
    if (fields->size() != width) {
      return Status::invalid(where + " has " + std::to_string(fields->size()) + " fields, not " +
                             std::to_string(width) + ".");
    }
    const std::string& timeText = fields->at((*columns)[0]);
    const std::optional<CivilTime> time = parseIsoTime(timeText);
    if (!time) {
      return Status::invalid(where + ": time \"" + timeText +
                             "\" is not a date and time (YYYY-MM-DDThh:mm:ss).");
    }
    const std::string& gauge = fields->at((*columns)[1]);
    if (gauge.empty()) return Status::invalid(where + ": the value has no gauge name.");
    const std::string& dischargeText = fields->at((*columns)[2]);
    const std::optional<float> discharge = dischargeValue(dischargeText);
    if (!discharge) {
      return Status::invalid(where + ": discharge \"" + dischargeText + "\" is not a number.");
    }
    const auto [at, added] = gaugeIndex.emplace(gauge, series.gauges.size());
    if (added) {
      series.gauges.push_back(gauge);
      series.values.emplace_back();
    }
    series.values[at->second].push_back({*time, *discharge, number});
    ++series.count;
    if (std::isnan(*discharge)) ++series.missing;
  }
  if (in.bad()) return Status::ioError(path + " cannot be read to its end.");
  if (series.count == 0) return Status::invalid(path + " holds no discharge value.");
  for (std::size_t g = 0; g < series.gauges.size(); ++g) {
    std::vector<TimedValue>& values = series.values[g];
    std::stable_sort(values.begin(), values.end(),
                     [](const TimedValue& a, const TimedValue& b) { return a.time < b.time; });
    // Equal times keep the order of their lines.
    for (std::size_t k = 1; k < values.size(); ++k) {
      if (values[k].time != values[k - 1].time) continue;
      return Status::invalid(path + " line " + std::to_string(values[k].line) + ": gauge \"" +
                             series.gauges[g] + "\" at " + isoTime(values[k].time) +
                             " is already given on line " + std::to_string(values[k - 1].line) +
                             ".");
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
