#include "runoff/model/losses.h"

#include <cmath>

namespace runoff {
namespace {

// Initial and constant loss: the rain first fills the initial loss (surface storage,
// interception); from the moment it is full the cell loses `constantLoss` mm/h and the rest runs
// off. Within the hour the rain is steady, so the initial loss fills after left / rain hours.
// In an hour without rain the initial-loss capacity recovers by a 24th of the daily recovery,
// up to its full value.
double constantExcess(const LossParameters& cell, LossState& state, double rain) {
  if (!(rain > 0)) {
    const double recovered = state.initialLossLeft + cell.lossRecovery / 24;
    state.initialLossLeft = recovered < cell.initialLoss ? recovered : cell.initialLoss;
    return 0;
  }
  const double beyond = rain > cell.constantLoss ? rain - cell.constantLoss : 0;
  if (state.initialLossLeft <= 0) return beyond;
  if (state.initialLossLeft >= rain) {
    state.initialLossLeft -= rain;
    return 0;
  }
  const double fillingHours = state.initialLossLeft / rain;
  state.initialLossLeft = 0;
  return beyond * (1 - fillingHours);
}

// SCS curve number: with the potential retention S = 25400 / CN - 254 mm and the initial
// abstraction Ia = ratio x S, the cumulative excess of an event after cumulative rain P is
// (P - Ia)^2 / (P - Ia + S) for P > Ia, else 0. The hour's excess is the growth of that
// cumulative excess, so the excesses of an event add up to the excess of its total rain.
double scsExcess(const LossRule& rule, const LossParameters& cell, LossState& state, double rain) {
  const double retention = 25400 / cell.curveNumber - 254;
  const double abstraction = rule.iaRatio * retention;
  state.rainSum += rain;
  const double over = state.rainSum - abstraction;
  const double cumulative = over > 0 ? over * over / (over + retention) : 0;
  const double excess = cumulative - state.excessSum;
  state.excessSum = cumulative;
  return excess;
}

// Cumulative infiltration after `hours` of ponding that began with `ponded` mm infiltrated:
// the root F of the implicit Green-Ampt equation
//   F - ponded - S ln(1 + (F - ponded) / (ponded + S)) = Ks x hours,   S = psi x delta-theta,
// which lies between ponded + Ks x hours (the capacity never falls below Ks) and ponded +
// rain x hours (nor, once ponded, rises above the rain). The left side g(F) is increasing and
// convex, so Newton's method started at the upper bound descends to the root without
// overshooting it; the iteration stops when a step moves F by less than a fixed fraction of
// F + S, or after a fixed number of steps, so the result depends on the cell's numbers alone.
double infiltrationAfterPonding(double ponded, double hours, double ksat, double sd, double rain) {
  if (sd <= 0 || ksat <= 0) return ponded + ksat * hours;  // the capacity is Ks throughout
  constexpr int kMaxIterations = 60;
  constexpr double kTolerance = 1e-13;
  const double target = ksat * hours;
  const double lower = ponded + target;
  const double base = ponded + sd;
  double f = ponded + rain * hours;
  for (int i = 0; i < kMaxIterations; ++i) {
    const double g = (f - ponded) - sd * std::log1p((f - ponded) / base) - target;
    double next = f - g * (f + sd) / f;  // g'(F) = F / (F + S)
    if (next < lower) next = lower;
    const double moved = f - next;
    f = next;
    if (!(std::fabs(moved) > kTolerance * (f + sd))) break;
  }
  return f;
}

// Green-Ampt: the infiltration capacity f = Ks (1 + psi delta-theta / F) falls as the
// cumulative infiltration F grows. Rain at or below Ks all infiltrates. Above it, the surface
// ponds once F reaches Fp = Ks psi delta-theta / (rain - Ks), where the capacity equals the
// rain (Mein and Larson); until then every drop infiltrates. From ponding on, F follows the
// implicit Green-Ampt equation, and whatever rain the soil does not take runs off.
double greenAmptExcess(const LossParameters& cell, LossState& state, double rain) {
  if (!(rain > 0)) return 0;
  const double before = state.infiltrated;
  if (rain <= cell.ksat) {
    state.infiltrated = before + rain;
    return 0;
  }
  const double sd = cell.suction * cell.moistureDeficit;
  double ponded = before;  // F when ponding begins
  double pondedHours = 1;  // the part of the hour under ponding
  if (sd > 0) {
    const double atPonding = cell.ksat * sd / (rain - cell.ksat);
    if (before < atPonding) {
      const double toPonding = (atPonding - before) / rain;
      if (toPonding >= 1) {
        state.infiltrated = before + rain;
        return 0;
      }
      ponded = atPonding;
      pondedHours = 1 - toPonding;
    }
  }
  state.infiltrated = infiltrationAfterPonding(ponded, pondedHours, cell.ksat, sd, rain);
  return rain - (state.infiltrated - before);
}

}  // namespace

LossState freshLossState(const LossParameters& cell) {
  LossState state;
  state.initialLossLeft = cell.initialLoss;
  return state;
}

double rainfallExcess(const LossRule& rule, const LossParameters& cell, LossState& state,
                      double rainMmPerHour) {
  const double rain = rainMmPerHour;
  if (rule.method == LossMethod::kNone) return rain;
  // A long enough dry spell ends the event: the soil has drained and the curve starts again.
  if (rain > 0) {
    if (rule.eventGapHours >= 0 && state.dryHours >= rule.eventGapHours) {
      state.rainSum = 0;
      state.excessSum = 0;
      state.infiltrated = 0;
    }
    state.dryHours = 0;
  } else {
    state.dryHours += 1;
  }
  double pervious = 0;
  switch (rule.method) {
    case LossMethod::kConstant:
      pervious = constantExcess(cell, state, rain);
      break;
    case LossMethod::kScsCurveNumber:
      pervious = scsExcess(rule, cell, state, rain);
      break;
    case LossMethod::kGreenAmpt:
      pervious = greenAmptExcess(cell, state, rain);
      break;
    case LossMethod::kNone:
      break;
  }
  if (!(pervious > 0)) pervious = 0;
  if (pervious > rain) pervious = rain;
  const double excess = cell.impervious * rain + (1 - cell.impervious) * pervious;
  return excess < rain ? excess : rain;
}

}  // namespace runoff
