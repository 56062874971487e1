#include "runoff/run/tunable_parameters.h"

#include <algorithm>
#include <cmath>

namespace runoff {
namespace {

// The kinematic-wave values of the parameter file and the initial runoff. A loss grid joins
// as {grid name, TunableKind::kLossGridFactor}.
constexpr Tunable kTunables[] = {
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

}  // namespace

std::span<const Tunable> tunables() { return kTunables; }

const Tunable* findTunable(std::string_view name) {
  for (const Tunable& t : kTunables) {
    if (name == t.name) return &t;
  }
  return nullptr;
}

std::string tunableNames() {
  std::string names;
  for (const Tunable& t : kTunables) names += (names.empty() ? "" : ", ") + std::string(t.name);
  return names;
}

bool tunableAccepts(const Tunable& tunable, double value) {
  return (tunable.lowestOpen ? value > tunable.lowest : value >= tunable.lowest) &&
         value <= tunable.highest;
}

double tunableValue(const RunParameters& params, const Tunable& tunable) {
  if (tunable.real != nullptr) return params.*tunable.real;
  if (tunable.whole != nullptr) return static_cast<double>(params.*tunable.whole);
  return 1;
}

void setTunable(RunParameters& params, const Tunable& tunable, double value) {
  if (tunable.real != nullptr) params.*tunable.real = value;
  if (tunable.whole != nullptr) {
    const double whole = std::clamp(std::round(value), -2147483648.0, 2147483647.0);
    params.*tunable.whole = static_cast<std::int32_t>(whole);
  }
}

}  // namespace runoff
