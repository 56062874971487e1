#include "runoff/model/lake.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace runoff {
namespace {

// x - (1 - e^-x), the part of a step's inflow a linear reservoir still holds at its end, in
// units of k: formed without the cancellation of the difference where x is small (a lake of
// hours stepped in minutes), by the series x^2/2! - x^3/3! + ..., which to 22 terms is exact
// in double precision below 1.
double heldFraction(double x) {
  if (x >= 1.0) return x + std::expm1(-x);
  double sum = 1.0;
  for (int n = 22; n >= 3; --n) sum = 1.0 - x / n * sum;
  return 0.5 * x * x * sum;
}

// The volumes of a step made consistent with what the lake held: evaporation and outflow never
// more than storage + inflow, outflow never negative, and the storage after the step formed
// from them. (held - evaporation) - outflow cannot round below 0 when outflow is at most
// held - evaporation, so the storage is never negative.
LakeStepVolumes finishStep(double& storage, double inflowVolume, double evaporation,
                           double outflow) {
  const double held = storage + inflowVolume;
  LakeStepVolumes volumes;
  volumes.inflow = inflowVolume;
  volumes.evaporation = std::min(std::max(evaporation, 0.0), held);
  volumes.outflow = std::min(std::max(outflow, 0.0), held - volumes.evaporation);
  storage = held - volumes.evaporation - volumes.outflow;
  return volumes;
}

// dS/dt = q - S / k with q = inflow - evaporation constant, solved exactly:
// S(t) = k q + (S0 - k q) e^(-t/k), so over the step the outflow is
// S0 (1 - e^(-x)) + q k (x - (1 - e^(-x))), x = dt / k. When evaporation exceeds the inflow
// the lake may run dry within the step, at t = k ln(1 + S0 / (k (E - I))); from then on it
// stays empty, the inflow evaporating as it arrives.
LakeStepVolumes stepLinear(const LakeParameters& lake, double& storage, double dt, double inflow,
                           double evaporationRate) {
  const double k = lake.a * 3600.0;
  const double x = dt / k;
  const double q = inflow - evaporationRate;
  const double inflowVolume = inflow * dt;
  if (q < 0) {
    const double dryAfter = storage > 0 ? k * std::log1p(storage / (k * -q)) : 0.0;
    if (dryAfter < dt) {
      return finishStep(storage, inflowVolume,
                        evaporationRate * dryAfter + inflow * (dt - dryAfter),
                        storage + q * dryAfter);
    }
  }
  const double outflow = storage * -std::expm1(-x) + q * k * heldFraction(x);
  return finishStep(storage, inflowVolume, evaporationRate * dt, outflow);
}

// The implicit step S' = S + dt (q - a (S' / A)^b): F(x) = x - c + dt a (x / A)^b = 0 with
// c = S + dt q. F rises from -c at 0 to dt a (c / A)^b at c, so its one root lies in (0, c],
// and also on the side of S where F changes sign. Newton's method from the end of the bracket
// where it converges without overshooting (the upper end where F is convex, b >= 1; the lower
// end where it is concave), halving the bracket whenever a step would leave it, until a step
// moves the root by no more than its last bit.
LakeStepVolumes stepWeir(const LakeParameters& lake, double& storage, double dt, double inflow,
                         double evaporationRate) {
  const double inflowVolume = inflow * dt;
  const double c = storage + inflowVolume - evaporationRate * dt;
  if (!(c > 0)) {
    // Evaporation takes everything the lake holds and receives.
    return finishStep(storage, inflowVolume, storage + inflowVolume, 0.0);
  }
  const double area = lake.areaM2;
  const double scale = dt * lake.a;
  auto residual = [&](double s) { return s - c + scale * std::pow(s / area, lake.b); };
  double lo = 0;
  double hi = c;
  if (storage > 0 && storage < c) {
    (residual(storage) > 0 ? hi : lo) = storage;
  }
  double s = lake.b >= 1 ? hi : lo;
  constexpr double kEpsilon = std::numeric_limits<double>::epsilon();
  for (int iteration = 0; iteration < 200; ++iteration) {
    const double f = residual(s);
    if (f == 0) break;
    (f > 0 ? hi : lo) = s;
    const double slope = 1.0 + scale * lake.b * std::pow(s / area, lake.b - 1.0) / area;
    double next = s - f / slope;
    if (!(next > lo && next < hi)) next = lo + 0.5 * (hi - lo);
    const bool settled = std::abs(next - s) <= kEpsilon * s || hi - lo <= kEpsilon * hi;
    s = next;
    if (settled) break;
  }
  const double outflow = scale * std::pow(s / area, lake.b);
  return finishStep(storage, inflowVolume, evaporationRate * dt, outflow);
}

// Evaporation first, then the release, each never more than what is left; what would stand
// above the capacity spills.
LakeStepVolumes stepReleases(const LakeParameters& lake, double& storage, double dt, double inflow,
                             double evaporationRate, double release) {
  const double inflowVolume = inflow * dt;
  const double held = storage + inflowVolume;
  const double evaporation = std::min(evaporationRate * dt, held);
  const double released = std::min(release * dt, held - evaporation);
  const double left = held - evaporation - released;
  const double capacity = lake.a * 1.0e6;
  const double spilled = left > capacity ? left - capacity : 0.0;
  return finishStep(storage, inflowVolume, evaporation, released + spilled);
}

}  // namespace

LakeStepVolumes stepLake(const LakeParameters& lake, double& storage, double dtSeconds,
                         double inflow, double petMmPerHour, double release) {
  const double evaporationRate = lakeEvaporationRate(lake, petMmPerHour);
  switch (lake.rule) {
    case LakeRule::kLinear:
      return stepLinear(lake, storage, dtSeconds, inflow, evaporationRate);
    case LakeRule::kWeir:
      return stepWeir(lake, storage, dtSeconds, inflow, evaporationRate);
    case LakeRule::kReleases:
      return stepReleases(lake, storage, dtSeconds, inflow, evaporationRate, release);
  }
  return finishStep(storage, inflow * dtSeconds, 0.0, inflow * dtSeconds);
}

LakeHour passHourThroughLake(const LakeParameters& lake, LakeState& state, std::span<float> steps,
                             double dtSeconds, double petMmPerHour, double release) {
  float inflowSum = 0;
  float outflowSum = 0;
  for (float& step : steps) {
    const float received = step;
    const LakeStepVolumes volumes = stepLake(lake, state.storage, dtSeconds,
                                             static_cast<double>(received), petMmPerHour, release);
    float passed = static_cast<float>(volumes.outflow / dtSeconds);
    double passedVolume = static_cast<double>(passed) * dtSeconds;
    if (passedVolume - volumes.outflow > state.storage) {
      passed = std::nextafter(passed, 0.0f);
      passedVolume = static_cast<double>(passed) * dtSeconds;
    }
    state.storage += volumes.outflow - passedVolume;
    state.inflow += static_cast<double>(received) * dtSeconds;
    state.evaporation += volumes.evaporation;
    state.outflow += passedVolume;
    step = passed;
    inflowSum += received;
    outflowSum += passed;
  }
  const float count = static_cast<float>(steps.size());
  return {inflowSum / count, outflowSum / count,
          static_cast<float>(lakeLevel(lake, state.storage))};
}

}  // namespace runoff
