#include "runoff/model/soil.h"

#include <cmath>

namespace runoff {
namespace {

// On a piece where dS/dt = a - k S (k >= 0), S after t hours is S + (a - k S) x the span
// (1 - exp(-k t)) / k, which is t itself when nothing drains in proportion to S (k = 0).
double approachSpan(double k, double t) { return k > 0 ? -std::expm1(-k * t) / k : t; }

// Hours for S to move from `from` to `to` on the same piece, where the rate at `to`,
// a - k x to, has the sign of the rate at `from` (the level lies before the equilibrium):
// ln(rate(from) / rate(to)) / k, written with log1p so that it stays exact when the two rates
// are close, and (to - from) / a when k = 0.
double hoursToLevel(double k, double rateAtTo, double from, double to) {
  const double rise = to - from;
  return k > 0 ? std::log1p(k * rise / rateAtTo) / k : rise / rateAtTo;
}

// Share of its start that a linear reservoir of time constant T keeps over an hour of constant
// recharge R, as (1 - T (1 - exp(-1/T))): the part of the hour's recharge that already leaves
// it as baseflow in the same hour. Summed as its series when 1/T is small, where the closed
// form would lose its digits to cancellation.
double rechargeLeavingWithinTheHour(double baseflowTime) {
  const double x = 1 / baseflowTime;
  if (x >= 0.1) return 1 + baseflowTime * std::expm1(-x);
  // x/2! - x^2/3! + x^3/4! - ...
  double term = x / 2, sum = 0;
  for (int k = 1; k < 30 && std::fabs(term) > 1e-18 * std::fabs(sum); ++k) {
    sum += term;
    term *= -x / (k + 2);
  }
  return sum;
}

// What flows out of the soil over one piece of the hour (`out` = infiltration - the change of
// S) split between evapotranspiration and percolation. A flux whose rate is zero takes nothing;
// above the threshold ET is the constant PET and percolation the rest, below it both are
// proportional to S and share `out` in the ratio of their coefficients.
void splitOutflow(bool upper, double out, double pet, double etPerMm, double percPerMm,
                  double hours, SoilHour& hour) {
  if (!(out > 0)) return;
  double et = 0;
  if (pet == 0) {
    et = 0;
  } else if (percPerMm == 0) {
    et = out;
  } else if (upper) {
    et = pet * hours < out ? pet * hours : out;
  } else {
    et = out * (etPerMm / (etPerMm + percPerMm));
  }
  hour.evapotranspiration += et;
  if (percPerMm > 0) hour.percolation += out - et;
}

}  // namespace

SoilCell prepareSoilCell(const SoilRule& rule, const SoilParameters& parameters) {
  SoilCell cell;
  cell.capacity = parameters.capacity;
  cell.threshold = rule.etThreshold * parameters.capacity;
  cell.percolation = parameters.percolation;
  cell.percolationPerMm = parameters.percolation / parameters.capacity;
  cell.drainedShare = -std::expm1(-1 / parameters.baseflowTime);
  cell.rechargeShare = rechargeLeavingWithinTheHour(parameters.baseflowTime);
  return cell;
}

SoilState startingSoilState(const SoilRule& rule, const SoilParameters& cell) {
  SoilState state;
  state.soil = rule.soilStart * cell.capacity;
  state.groundwater = rule.baseflowStart * cell.baseflowTime;
  return state;
}

SoilHour stepSoil(const SoilCell& cell, SoilState& state, double infiltrationMmPerHour,
                  double petMmPerHour) {
  const double in = infiltrationMmPerHour;
  const double pet = petMmPerHour;
  const double full = cell.capacity;
  const double threshold = cell.threshold;
  const double percPerMm = cell.percolationPerMm;
  const double etPerMm = pet / threshold;  // ET per mm of S below the threshold, 1/h
  SoilHour hour;

  double s = state.soil;
  if (s > full) {
    hour.saturationExcess = s - full;
    s = full;
  }
  if (!(s > 0)) s = 0;

  // At most three pieces: below the threshold, above it, and full; S moves one way all hour.
  double left = 1;
  for (int piece = 0; piece < 4 && left > 0; ++piece) {
    const double rateWhenFull = in - pet - percPerMm * full;
    if (s >= full && rateWhenFull >= 0) {
      // Full for the rest of the hour: ET at PET, percolation at K, the rest runs off.
      const double et = pet * left;
      const double perc = percPerMm > 0 ? cell.percolation * left : 0;
      const double excess = in * left - et - perc;
      hour.evapotranspiration += et;
      hour.percolation += perc;
      if (excess > 0) hour.saturationExcess += excess;
      s = full;
      break;
    }
    // Above the threshold ET is PET; at the threshold S leaves upwards when the rate there is
    // positive.
    const bool upper = s > threshold || (s == threshold && in - pet - percPerMm * s > 0);
    const double a = upper ? in - pet : in;
    const double k = upper ? percPerMm : percPerMm + etPerMm;
    const double rate = a - k * s;
    // Where this piece ends if S gets there within the hour: full when rising above the
    // threshold, the threshold when rising below it or falling above it; below the threshold
    // a falling S approaches its equilibrium (>= 0) and never leaves the piece.
    bool bounded = rate != 0 && (rate > 0 || upper);
    const double level = rate > 0 && upper ? full : threshold;
    double hours = left;
    double end = s + rate * approachSpan(k, left);
    if (bounded) {
      const double rateAtLevel = a - k * level;
      const bool reached = rate > 0 ? rateAtLevel > 0 : rateAtLevel < 0;
      if (reached) {
        const double t = hoursToLevel(k, rateAtLevel, s, level);
        if (!(t > 0)) {
          // Already at the level and leaving the piece at once: the two sides' rates differ
          // only by rounding there, so the level is the equilibrium.
          end = s;
        } else if (t < left) {
          hours = t;
          end = level;
        }
      }
      // The exponential never passes the level; rounding must not either.
      if (rate > 0 ? end > level : end < level) end = level;
    }
    if (!(end > 0)) end = 0;
    if (end > full) end = full;
    splitOutflow(upper, in * hours - (end - s), pet, etPerMm, percPerMm, hours, hour);
    s = end;
    left = hours < left ? left - hours : 0;
  }
  state.soil = s;

  // The groundwater under the hour's percolation as a constant recharge R:
  // G1 = G0 exp(-1/T) + R T (1 - exp(-1/T)), and the baseflow is what left it.
  const double g = state.groundwater;
  const double recharge = hour.percolation;
  double baseflow = g * cell.drainedShare;
  if (recharge > 0) baseflow += recharge * cell.rechargeShare;
  double after = g + recharge - baseflow;
  if (!(after > 0)) after = 0;
  hour.baseflow = baseflow;
  state.groundwater = after;
  return hour;
}

}  // namespace runoff
