#include "runoff/run/tunable_parameters.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "runoff/inputs/loss_grids.h"

namespace runoff {
namespace {

// The kinematic-wave values of the parameter file and the initial runoff.
constexpr Tunable kFileTunables[] = {
    {"fdWeight", TunableKind::kParameterFile, 15, &RunParameters::fdWeight, nullptr, 0, false, 1,
     "from 0 to 1"},
    {"slopeManning", TunableKind::kParameterFile, 16, &RunParameters::slopeManning, nullptr, 0,
     true, HUGE_VAL, "above 0"},
    {"channelManning", TunableKind::kParameterFile, 17, &RunParameters::channelManning, nullptr, 0,
     true, HUGE_VAL, "above 0"},
    {"channelThreshold", TunableKind::kParameterFile, 18, nullptr, &RunParameters::channelThreshold,
     -2147483648.0, false, 2147483647.0, "a 32-bit integer"},
    {"initialRunoff", TunableKind::kParameterFile, 19, &RunParameters::initialRunoff, nullptr, 0,
     false, HUGE_VAL, "at least 0"},
};

// Those, then a factor on each loss grid, named after the grid. A factor of 0 is allowed:
// the scaled values are kept inside each grid's range.
const std::vector<Tunable>& allTunables() {
  static const std::array<std::string, kLossGridCount> gridNames = [] {
    std::array<std::string, kLossGridCount> names;
    for (std::size_t g = 0; g < kLossGridCount; ++g) names[g] = lossGridName(LossGrid(g));
    return names;
  }();
  static const std::vector<Tunable> all = [] {
    std::vector<Tunable> list(std::begin(kFileTunables), std::end(kFileTunables));
    for (std::size_t g = 0; g < kLossGridCount; ++g) {
      list.push_back({gridNames[g].c_str(), TunableKind::kLossGridFactor, 0, nullptr, nullptr, 0,
                      false, HUGE_VAL, "at least 0", static_cast<int>(g)});
    }
    return list;
  }();
  return all;
}

}  // namespace

std::span<const Tunable> tunables() { return allTunables(); }

namespace {

// A lake's constant by its name, made once for each name asked for and kept for the program's
// life, so that a tunable is a stable pointer as the fixed ones are.
const Tunable* lakeTunable(std::string_view name) {
  constexpr std::string_view kPrefix = "lake:";
  if (name.substr(0, kPrefix.size()) != kPrefix || name.size() < kPrefix.size() + 3) return nullptr;
  const std::string_view constant = name.substr(name.size() - 2);
  if (constant != ":a" && constant != ":b") return nullptr;
  const std::string_view lake = name.substr(kPrefix.size(), name.size() - kPrefix.size() - 2);
  if (lake.empty()) return nullptr;
  static std::mutex mutex;
  static std::deque<std::string> texts;  // names and lake names, never moved
  static std::deque<Tunable> made;
  std::lock_guard lock(mutex);
  for (const Tunable& t : made) {
    if (name == t.name) return &t;
  }
  const std::string& full = texts.emplace_back(name);
  const std::string& lakeName = texts.emplace_back(lake);
  Tunable t{full.c_str(), TunableKind::kLakeConstant, 0, nullptr, nullptr, 0, true, HUGE_VAL,
            "above 0"};
  t.lake = lakeName.c_str();
  t.lakeB = constant == ":b";
  return &made.emplace_back(t);
}

}  // namespace

const Tunable* findTunable(std::string_view name) {
  for (const Tunable& t : allTunables()) {
    if (name == t.name) return &t;
  }
  return lakeTunable(name);
}

std::string tunableNames() {
  std::string names;
  for (const Tunable& t : allTunables()) names += (names.empty() ? "" : ", ") + std::string(t.name);
  return names;
}

bool tunableAccepts(const Tunable& tunable, double value) {
  return (tunable.lowestOpen ? value > tunable.lowest : value >= tunable.lowest) &&
         value <= tunable.highest;
}

double tunableValue(const RunParameters& params, const Tunable& tunable) {
  if (tunable.real != nullptr) return params.*tunable.real;
  if (tunable.whole != nullptr) return static_cast<double>(params.*tunable.whole);
  return tunable.kind == TunableKind::kLakeConstant ? 0 : 1;
}

double valueRunWith(const Tunable& tunable, double value) {
  if (tunable.whole == nullptr) return value;
  return std::clamp(std::round(value), -2147483648.0, 2147483647.0);
}

void setTunable(RunParameters& params, const Tunable& tunable, double value) {
  if (tunable.real != nullptr) params.*tunable.real = value;
  if (tunable.whole != nullptr) {
    params.*tunable.whole = static_cast<std::int32_t>(valueRunWith(tunable, value));
  }
}

}  // namespace runoff
