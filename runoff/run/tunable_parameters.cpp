#include "runoff/run/tunable_parameters.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "runoff/inputs/loss_grids.h"
#include "runoff/inputs/soil_grids.h"

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

// Those, then a factor on each loss and soil grid, named after the grid. A factor of 0 is
// allowed: the scaled values are kept inside each grid's range. Then the soil's rule.
const std::vector<Tunable>& allTunables() {
  static const std::array<std::string, kLossGridCount> gridNames = [] {
    std::array<std::string, kLossGridCount> names;
    for (std::size_t g = 0; g < kLossGridCount; ++g) names[g] = lossGridName(LossGrid(g));
    return names;
  }();
  static const std::array<std::string, kSoilGridCount> soilNames = [] {
    std::array<std::string, kSoilGridCount> names;
    for (std::size_t g = 0; g < kSoilGridCount; ++g) names[g] = soilGridName(SoilGrid(g));
    return names;
  }();
  static const std::vector<Tunable> all = [] {
    std::vector<Tunable> list(std::begin(kFileTunables), std::end(kFileTunables));
    for (std::size_t g = 0; g < kLossGridCount; ++g) {
      list.push_back({gridNames[g].c_str(), TunableKind::kLossGridFactor, 0, nullptr, nullptr, 0,
                      false, HUGE_VAL, "at least 0", static_cast<int>(g)});
    }
    for (std::size_t g = 0; g < kSoilGridCount; ++g) {
      Tunable t{soilNames[g].c_str(), TunableKind::kSoilGridFactor};
      t.lowest = 0;
      t.valid = "at least 0";
      t.soilGrid = static_cast<int>(g);
      list.push_back(t);
    }
    const struct {
      const char* name;
      double SoilRule::*member;
      const char* option;
      double lowest;
      bool lowestOpen;
      double highest;
      const char* valid;
    } rule[] = {
        {"soilStart", &SoilRule::soilStart, "--soil-start", 0, false, 1, "from 0 to 1"},
        {"baselineBaseflow", &SoilRule::baseflowStart, "--baseflow-start", 0, false, 1000,
         "from 0 to 1000"},
        {"etThreshold", &SoilRule::etThreshold, "--et-threshold", 0, true, 1,
         "above 0 and at most 1"},
    };
    for (const auto& r : rule) {
      Tunable t{r.name, TunableKind::kSoilRule};
      t.lowest = r.lowest;
      t.lowestOpen = r.lowestOpen;
      t.highest = r.highest;
      t.valid = r.valid;
      t.soil = r.member;
      t.option = r.option;
      list.push_back(t);
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

double tunableValue(const RunParameters& params, const Tunable& tunable, const SoilRule& soil) {
  if (tunable.real != nullptr) return params.*tunable.real;
  if (tunable.soil != nullptr) return soil.*tunable.soil;
  if (tunable.whole != nullptr) return static_cast<double>(params.*tunable.whole);
  return tunable.kind == TunableKind::kLakeConstant ? 0 : 1;
}

double valueRunWith(const Tunable& tunable, double value) {
  if (tunable.whole == nullptr) return value;
  return std::clamp(std::round(value), -2147483648.0, 2147483647.0);
}

void setSoilTunable(SoilRule& soil, const Tunable& tunable, double value) {
  if (tunable.soil != nullptr) soil.*tunable.soil = value;
}

void setTunable(RunParameters& params, const Tunable& tunable, double value) {
  if (tunable.real != nullptr) params.*tunable.real = value;
  if (tunable.whole != nullptr) {
    params.*tunable.whole = static_cast<std::int32_t>(valueRunWith(tunable, value));
  }
}

}  // namespace runoff
