#include "runoff/inputs/release_series.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>
#include <map>

#include "common/input_file.h"
#include "common/text_number.h"
#include "runoff/inputs/long_form.h"

namespace runoff {
namespace {

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

Result<ReleaseSeries> readReleases(std::istream& in, const std::string& path,
                                   const std::vector<Lake>& lakes) {
  std::map<std::string, std::size_t> lakeIndex;
  for (std::size_t k = 0; k < lakes.size(); ++k) lakeIndex.emplace(lakes[k].name, k);
  // Every line takes part in the check of repeated times, those without a value too.
  struct Entry {
    CivilTime time;
    std::optional<double> outflow;
    std::int32_t line;
  };
  std::vector<std::vector<Entry>> entries(lakes.size());
  std::int64_t count = 0;
  const Status read =
      readLongForm(in, path, {"time", "lake", "outflow"}, [&](const LongFormLine& line) -> Status {
        const auto at = lakeIndex.find(line.name);
        if (at == lakeIndex.end()) {
          return Status::invalid(line.where + ": lake \"" + line.name +
                                 "\" is not in the lake list.");
        }
        const Lake& lake = lakes[at->second];
        if (lake.rule != LakeRule::kReleases) {
          return Status::invalid(line.where + ": lake \"" + line.name + "\" has the " +
                                 lakeRuleName(lake.rule) +
                                 " rule; only a lake of the releases rule takes releases.");
        }
        std::optional<double> outflow;
        if (!line.value.empty() && lower(line.value) != "nan") {
          double value = 0;
          if (parseDouble(line.value, value) != ParseStatus::kOk) {
            return Status::invalid(line.where + ": outflow \"" + line.value + "\" of lake \"" +
                                   line.name + "\" is not a number.");
          }
          if (value < 0) {
            return Status::invalid(line.where + ": outflow \"" + line.value + "\" of lake \"" +
                                   line.name + "\" is negative.");
          }
          outflow = value;
          ++count;
        }
        entries[at->second].push_back({line.time, outflow, line.number});
        return {};
      });
  if (!read.ok()) return read;
  if (count == 0) return Status::invalid(path + " holds no release value.");
  ReleaseSeries series;
  series.values.resize(lakes.size());
  for (std::size_t k = 0; k < lakes.size(); ++k) {
    if (Status once = sortByTimeOnce(entries[k], path, "lake", lakes[k].name); !once.ok()) {
      return once;
    }
    for (const Entry& entry : entries[k]) {
      if (entry.outflow) series.values[k].push_back({entry.time, *entry.outflow, entry.line});
    }
  }
  return series;
}

Result<ReleaseSeries> readReleases(const std::string& path, const std::vector<Lake>& lakes) {
  std::ifstream in;
  if (const InputFault fault = openInputFile(in, path); fault != InputFault::kNone) {
    return inputFailure(path, fault);
  }
  return readReleases(in, path, lakes);
}

std::optional<double> releaseInForce(const std::vector<ReleaseValue>& values, CivilTime hour) {
  const auto after =
      std::upper_bound(values.begin(), values.end(), hour,
                       [](CivilTime t, const ReleaseValue& value) { return t < value.time; });
  if (after == values.begin()) return std::nullopt;
  return std::prev(after)->outflow;
}

}  // namespace runoff
