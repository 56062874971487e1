// Rainfall losses on one cell: the part of each hour's rain that soaks into the soil or is held
// on the surface, and the rainfall excess that is left to run off. Three methods, from the
// simplest to the most physical: an initial and a constant loss, the SCS curve number, and
// Green-Ampt infiltration. A fraction of the cell may be impervious and lose nothing.
//
// Each hour is one step with the hour's rain taken as constant over it, so an hour of R mm/h
// brings R mm. The excess of the hour is never negative and never more than the rain. One
// cell's numbers in, one cell's numbers out: no I/O, no allocation; depths in mm, rates in mm/h.
#ifndef RUNOFF_MODEL_LOSSES_H_
#define RUNOFF_MODEL_LOSSES_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace runoff {

/// The number is the one a restart state stores.
enum class LossMethod : std::uint32_t {
  kNone = 0,      // every millimetre of rain runs off
  kConstant = 1,  // initial and constant loss, with recovery of the initial loss when dry
  kScsCurveNumber = 2,
  kGreenAmpt = 3,
};

struct LossMethodName {
  LossMethod method;
  const char* name;
};
inline constexpr LossMethodName kLossMethodNames[] = {{LossMethod::kNone, "none"},
                                                      {LossMethod::kConstant, "constant"},
                                                      {LossMethod::kScsCurveNumber, "scs-cn"},
                                                      {LossMethod::kGreenAmpt, "green-ampt"}};

/// The method's name as the command line spells it ("scs-cn").
inline const char* lossMethodName(LossMethod method) {
  for (const LossMethodName& entry : kLossMethodNames) {
    if (entry.method == method) return entry.name;
  }
  return "unknown";
}

/// The method spelled `name`, or nothing for any other text.
inline std::optional<LossMethod> lossMethodNamed(std::string_view name) {
  for (const LossMethodName& entry : kLossMethodNames) {
    if (entry.name == name) return entry.method;
  }
  return std::nullopt;
}

/// What holds for every cell of a run.
struct LossRule {
  LossMethod method = LossMethod::kNone;
  double iaRatio = 0.2;  // scs-cn: initial abstraction Ia = iaRatio x S, in (0, 1]
  // scs-cn and green-ampt: after this many hours without rain the next rain starts a new
  // event (cumulative rain, excess and infiltration back to zero); negative: the whole run is
  // one event.
  std::int32_t eventGapHours = -1;
};

/// One cell's values of the method's grids (only the method's own are read).
struct LossParameters {
  double impervious = 0;       // fraction of the cell, 0 to 1, that loses nothing
  double initialLoss = 0;      // constant: mm held before any rain runs off
  double constantLoss = 0;     // constant: mm/h lost once the initial loss is filled
  double lossRecovery = 0;     // constant: mm/day the initial-loss capacity recovers when dry
  double curveNumber = 0;      // scs-cn: 1 to 100
  double ksat = 0;             // green-ampt: saturated hydraulic conductivity Ks, mm/h
  double suction = 0;          // green-ampt: wetting-front suction head psi, mm
  double moistureDeficit = 0;  // green-ampt: theta_s - theta_i, 0 to 1
};

/// What a cell carries from hour to hour, and across windows and restarts, for the pervious
/// part of the cell.
struct LossState {
  double initialLossLeft = 0;  // constant: capacity of the initial loss not yet filled, mm
  double rainSum = 0;          // scs-cn: cumulative rain P of the event, mm
  double excessSum = 0;        // scs-cn: cumulative excess of the event, mm
  double infiltrated = 0;      // green-ampt: cumulative infiltration F of the event, mm
  double dryHours = 0;         // hours without rain since the last rain
  double lastRain = 0;         // the previous hour's rain, mm/h (kept for the water budget)
};

/// The values of a LossState, in the order of its members: what a restart state stores.
inline constexpr std::size_t kLossStateValues = 6;

/// The state of a cell before any rain: the initial loss empty and ready to take its whole
/// capacity, nothing infiltrated.
LossState freshLossState(const LossParameters& cell);

/// Takes the loss of one hour of rain `rainMmPerHour` (>= 0) on the cell, updates `state` and
/// returns the rainfall excess in mm/h, 0 to the rain. With LossMethod::kNone the rain itself.
double rainfallExcess(const LossRule& rule, const LossParameters& cell, LossState& state,
                      double rainMmPerHour);

}  // namespace runoff

#endif  // RUNOFF_MODEL_LOSSES_H_
