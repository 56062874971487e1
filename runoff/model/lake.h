// One lake or reservoir on the river network as a level pool: its surface stays flat and its
// area fixed (a prismatic lake), so the level above the outlet's crest is storage / area and
// the outflow follows from the storage alone, or is prescribed. Storage counts the water above
// the crest (for a reservoir, above the lowest level its outlet releases from): a lake at its
// crest holds 0 and releases nothing.
//
// Three rules for the outflow O of a storage S over an area A:
//   linear    O = S / k, with k = a hours: a linear reservoir, integrated exactly;
//   weir      O = a h^b with h = S / A, the level in m (b = 1.5 for a broad-crested weir),
//             by the implicit (backward Euler) step solved to rounding;
//   releases  O = the prescribed release, never more than the lake holds; storage above the
//             capacity a x 10^6 m^3 spills.
// Over a step the inflow and the evaporation rate are constant. Evaporation takes the potential
// rate from the lake's area while the lake holds water and never more than it holds. Every
// step conserves water: the storage after it is storage + inflow - evaporation - outflow,
// formed in that order from the volumes the step returns. Double precision throughout; one
// lake's numbers in, its numbers out: no I/O, no allocation.
#ifndef RUNOFF_MODEL_LAKE_H_
#define RUNOFF_MODEL_LAKE_H_

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace runoff {

/// The number is the one a restart state's key stores.
enum class LakeRule : std::uint32_t {
  kLinear = 1,
  kWeir = 2,
  kReleases = 3,
};

struct LakeRuleName {
  LakeRule rule;
  const char* name;
};
inline constexpr LakeRuleName kLakeRuleNames[] = {
    {LakeRule::kLinear, "linear"}, {LakeRule::kWeir, "weir"}, {LakeRule::kReleases, "releases"}};

/// The rule's name as a lake list spells it ("weir").
inline const char* lakeRuleName(LakeRule rule) {
  for (const LakeRuleName& entry : kLakeRuleNames) {
    if (entry.rule == rule) return entry.name;
  }
  return "unknown";
}

/// The rule spelled `name`, or nothing for any other text.
inline std::optional<LakeRule> lakeRuleNamed(std::string_view name) {
  for (const LakeRuleName& entry : kLakeRuleNames) {
    if (entry.name == name) return entry.rule;
  }
  return std::nullopt;
}

/// One lake's constants. Preconditions: areaM2 > 0 and a > 0 for every rule, b > 0 for weir.
struct LakeParameters {
  LakeRule rule = LakeRule::kLinear;
  double areaM2 = 0;  // surface area, m^2
  // linear: time constant, hours; weir: discharge at a level of 1 m, m^3/s;
  // releases: capacity, 10^6 m^3
  double a = 0;
  double b = 0;  // weir: exponent of the level
};

/// What one step moved, in m^3 over the step.
struct LakeStepVolumes {
  double inflow = 0;
  double evaporation = 0;
  double outflow = 0;  // released and spilled
};

/// The level above the crest, m, of `storage` m^3.
inline double lakeLevel(const LakeParameters& lake, double storage) {
  return storage / lake.areaM2;
}

/// Evaporation from the lake's area at `petMmPerHour`, as a rate in m^3/s.
inline double lakeEvaporationRate(const LakeParameters& lake, double petMmPerHour) {
  return petMmPerHour * 0.001 / 3600.0 * lake.areaM2;
}

/// Advances `storage` (m^3, >= 0) by one step of `dtSeconds` (> 0) under a constant inflow
/// `inflow` (m^3/s, >= 0) and potential evaporation `petMmPerHour` (>= 0) from the lake's
/// area; `release` (m^3/s, >= 0) is the prescribed outflow of the releases rule (the other
/// rules ignore it). Returns the step's volumes; `storage` becomes storage + inflow -
/// evaporation - outflow of them and is never negative.
LakeStepVolumes stepLake(const LakeParameters& lake, double& storage, double dtSeconds,
                         double inflow, double petMmPerHour, double release = 0);

/// A lake at its outlet cell between steps, windows and restarts: its storage, and the volumes
/// it counted for the water budget (m^3, from 0 where the budget starts).
struct LakeState {
  double storage = 0;      // m^3 above the crest
  double inflow = 0;       // received: the cell's single-precision outflows times the step
  double evaporation = 0;  // taken from its surface
  double outflow = 0;      // passed on: its single-precision outflows times the step
};

/// One hour of a lake for its output series.
struct LakeHour {
  float inflow = 0;   // mean over the hour's steps, m^3/s
  float outflow = 0;  // mean over the hour's steps, m^3/s
  float level = 0;    // above the crest at the hour's end, m
};

/// Passes one hour of its outlet cell's outflow through the lake. `steps` holds the cell's
/// outflow at each of the hour's steps of `dtSeconds`, in single precision as the cell passes
/// it on: each is the lake's inflow over its step, and is replaced by the lake's outflow in
/// single precision. What the rounding to single precision takes off or adds,
/// dt (O - float(O)), stays in the lake's storage, so that no water appears or vanishes; where
/// rounding up would take more than the lake holds, the outflow is rounded toward 0 instead.
/// Evaporation at `petMmPerHour` and the `release` (m^3/s) hold for the whole hour. The hour's
/// means are the single-precision sums in step order divided by the number of steps, as the
/// routing forms a cell's hourly means.
LakeHour passHourThroughLake(const LakeParameters& lake, LakeState& state, std::span<float> steps,
                             double dtSeconds, double petMmPerHour, double release = 0);

}  // namespace runoff

#endif  // RUNOFF_MODEL_LAKE_H_
