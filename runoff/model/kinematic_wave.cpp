#include "runoff/model/kinematic_wave.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "runoff/model/power.h"

namespace runoff {

double lateralInflow(const CellRouting& cell, double mmPerHour) {
  // mm/h -> m/s over the cell's area (metres per arc-second x scale x widthX), spread over the
  // flow length. The factor 92.6886 / 3 is applied as two operations, in that order.
  return mmPerHour * 0.001 * 92.6886 / 3 * static_cast<double>(cell.scale) *
         static_cast<double>(cell.widthX) / cell.flowLen / 3600;
}

void setLateralInflow(CellRouting& cell, float rainPreviousHour, float rainCurrentHour) {
  cell.qLatPrev = lateralInflow(cell, rainPreviousHour);
  cell.qLatCur = lateralInflow(cell, rainCurrentHour);
}

void continueLateralInflow(CellRouting& cell, float rainCurrentHour) {
  cell.qLatPrev = cell.qLatCur;
  cell.qLatCur = lateralInflow(cell, rainCurrentHour);
}

void continueLateralRate(CellRouting& cell, double runoffCurrentHour) {
  cell.qLatPrev = cell.qLatCur;
  cell.qLatCur = lateralInflow(cell, runoffCurrentHour);
}

void prepareStepConstants(CellRouting& cell) {
  cell.celerityCoef = std::pow(cell.alpha, 1 / cell.mExp) * cell.mExp;
  cell.celerityExp = (cell.mExp - 1) / cell.mExp;
  cell.dtOverDx = static_cast<double>(cell.dt) / cell.dx;
  cell.oneMinusTheta = 1 - cell.theta;
  cell.lastInflow = 0;
  cell.lastInflowPower = std::pow(0.0, cell.celerityExp);
  cell.lastStar = 0;
  cell.lastStarPower = cell.lastInflowPower;
}

namespace {

bool sameBits(double a, double b) {
  std::uint64_t x, y;
  std::memcpy(&x, &a, 8);
  std::memcpy(&y, &b, 8);
  return x == y;
}

// Power of the discharge at node 0 of the old level: kept from the previous step when the
// inflow has not changed (a headwater cell's is always 0).
double inflowPower(CellRouting& cell, double qOld0) {
  if (!sameBits(qOld0, cell.lastInflow)) {
    cell.lastInflow = qOld0;
    cell.lastInflowPower = std::pow(qOld0, cell.celerityExp);
  }
  return cell.lastInflowPower;
}

// New discharge at a node from the old discharge there (qOld) and above it (qOldUp), the new
// discharge above it (qNewUp), the mean celerity w and the lateral inflow r.
inline double implicitUpdate(const CellRouting& cell, double qOld, double qOldUp, double qNewUp,
                             double w, double r, double dt, double dtR) {
  const double numerator = qOld + (cell.theta * w) * (cell.dtOverDx * qNewUp + dtR) -
                           (cell.oneMinusTheta * w * dt) * ((qOld - qOldUp) / cell.dx - r);
  const double denominator = 1 + (cell.theta * w * dt) / cell.dx;
  const double q = numerator / denominator;
  return q < 0 ? 0 : q;
}

// The state of a cell with one space interval, held in registers over the steps of an hour. A
// step is taken in two parts around its two powers (of the old inflow and of the larger of the
// old outlet discharge and the prediction), so that several cells' powers can be taken at once.
struct OneInterval {
  double q0 = 0, q1 = 0;  // old discharge at the inflow node and at the outlet
  double lastInflow = 0, lastInflowPower = 0, lastStar = 0, lastStarPower = 0;
  double qLatPrev = 0;

  // What a step has formed before its powers.
  struct Pending {
    double qIn, r, dt, dtR;
    double star;  // the larger of the old outlet discharge and the predicted one
  };

  void loadFrom(const CellRouting& cell) {
    q0 = cell.qOld[0];
    q1 = cell.qOld[1];
    lastInflow = cell.lastInflow;
    lastInflowPower = cell.lastInflowPower;
    lastStar = cell.lastStar;
    lastStarPower = cell.lastStarPower;
    qLatPrev = cell.qLatPrev;
  }

  // The step with inflow qIn up to its powers: pow(q0, e) and pow(star, e) come next.
  Pending begin(const CellRouting& cell, double qIn) {
    const double dt = static_cast<double>(cell.dt);
    const double r = 0.5 * (qLatPrev + cell.qLatCur);
    qLatPrev = cell.qLatCur;
    const double dtR = dt * r;
    const double rDx = r * cell.dx;
    const double p = 0.5 * (q0 + qIn) + rDx;
    return {qIn, r, dt, dtR, q1 < p ? p : q1};
  }

  // The rest of the step from the powers of q0 and of the larger discharge; returns the new
  // outlet discharge.
  double finish(const CellRouting& cell, const Pending& step, double inflowPower,
                double starPower) {
    const double w0 = cell.celerityCoef * inflowPower;
    const double w1 = cell.celerityCoef * starPower;
    q1 = implicitUpdate(cell, q1, q0, step.qIn, 0.5 * (w0 + w1), step.r, step.dt, step.dtR);
    q0 = step.qIn;
    return q1;
  }

  // One step with the C library's pow, reusing the powers of repeated discharges.
  double step(const CellRouting& cell, double qIn) {
    const Pending pending = begin(cell, qIn);
    if (!sameBits(q0, lastInflow)) {
      lastInflow = q0;
      lastInflowPower = std::pow(q0, cell.celerityExp);
    }
    if (!sameBits(pending.star, lastStar)) {
      lastStar = pending.star;
      lastStarPower = std::pow(pending.star, cell.celerityExp);
    }
    return finish(cell, pending, lastInflowPower, lastStarPower);
  }

  // One step with the kernel's own power.
  double stepOwnPower(const CellRouting& cell, double qIn) {
    const Pending pending = begin(cell, qIn);
    const double inflowPower = power(q0, cell.celerityExp);
    return finish(cell, pending, inflowPower, power(pending.star, cell.celerityExp));
  }

  void storeInto(CellRouting& cell) const {
    cell.qOld[0] = cell.qNew[0] = q0;
    cell.qOld[1] = cell.qNew[1] = q1;
    cell.lastInflow = lastInflow;
    cell.lastInflowPower = lastInflowPower;
    cell.lastStar = lastStar;
    cell.lastStarPower = lastStarPower;
    cell.qLatPrev = qLatPrev;
  }
};

// The sweep of several space intervals with the kernel's own power: the powers of the old
// discharges, which the sweep does not change, are taken a block at a time before the nodes of
// the block are swept; only a predicted discharge that exceeds the old one needs its own.
float stepSeveralIntervalsOwnPower(CellRouting& cell, double qIn) {
  constexpr std::int32_t kBlock = 32;
  const double dt = static_cast<double>(cell.dt);
  const double r = 0.5 * (cell.qLatPrev + cell.qLatCur);
  const double e = cell.celerityExp;
  const double dtR = dt * r;
  const double rDx = r * cell.dx;
  const double* qOld = cell.qOld.data();
  double* qNew = cell.qNew.data();
  cell.qLatPrev = cell.qLatCur;
  qNew[0] = qIn;
  double exponents[kBlock];
  for (double& x : exponents) x = e;
  double oldPowers[kBlock];
  double powUpper = 0;  // pow(qOld[j - 1], e)
  for (std::int32_t first = 0; first <= cell.nodes; first += kBlock) {
    const std::int32_t count = std::min(kBlock, cell.nodes + 1 - first);
    powers(qOld + first, exponents, oldPowers, static_cast<std::size_t>(count));
    for (std::int32_t j = first; j < first + count; ++j) {
      const double oldPower = oldPowers[j - first];
      if (j > 0) {
        const double w0 = cell.celerityCoef * powUpper;
        const double p = 0.5 * (qOld[j - 1] + qNew[j - 1]) + rDx;
        const double powStar = qOld[j] < p ? power(p, e) : oldPower;
        const double w1 = cell.celerityCoef * powStar;
        qNew[j] =
            implicitUpdate(cell, qOld[j], qOld[j - 1], qNew[j - 1], 0.5 * (w0 + w1), r, dt, dtR);
      }
      powUpper = oldPower;
    }
  }
  for (std::int32_t i = 0; i <= cell.nodes; ++i) cell.qOld[i] = qNew[i];
  return static_cast<float>(qNew[cell.nodes]);
}

}  // namespace

// The sweep of the weighted implicit scheme. Each node's mean celerity averages the celerity
// at the old discharge of the node above and at the larger of the old discharge here and a
// predicted one. Powers already known are reused: the old discharge of the node above was the
// larger one at that node whenever it was not below the prediction, and the powers of a
// repeated inflow or outlet discharge are kept from the step before. A reused power is the same
// call on the same bits, so every result is unchanged.
float stepKinematicWave(CellRouting& cell, double qIn, PowerFunction powerFunction) {
  if (cell.nodes == 1) {  // the common set-up
    OneInterval state;
    state.loadFrom(cell);
    const double q1 = powerFunction == PowerFunction::kFast ? state.stepOwnPower(cell, qIn)
                                                            : state.step(cell, qIn);
    state.storeInto(cell);
    return static_cast<float>(q1);
  }
  if (powerFunction == PowerFunction::kFast) return stepSeveralIntervalsOwnPower(cell, qIn);
  const double dt = static_cast<double>(cell.dt);
  const double r = 0.5 * (cell.qLatPrev + cell.qLatCur);
  const double e = cell.celerityExp;
  const double dtR = dt * r;
  const double rDx = r * cell.dx;
  double* qOld = cell.qOld.data();
  double* qNew = cell.qNew.data();
  cell.qLatPrev = cell.qLatCur;
  qNew[0] = qIn;
  double powUpper = inflowPower(cell, qOld[0]);  // pow(qOld[j - 1], e)
  for (std::int32_t j = 1; j <= cell.nodes; ++j) {
    const double w0 = cell.celerityCoef * powUpper;
    const double p = 0.5 * (qOld[j - 1] + qNew[j - 1]) + rDx;
    double powStar;
    if (qOld[j] < p) {
      powStar = std::pow(p, e);
      powUpper = j < cell.nodes ? std::pow(qOld[j], e) : 0;
    } else {
      powStar = std::pow(qOld[j], e);
      powUpper = powStar;
    }
    const double w1 = cell.celerityCoef * powStar;
    qNew[j] = implicitUpdate(cell, qOld[j], qOld[j - 1], qNew[j - 1], 0.5 * (w0 + w1), r, dt, dtR);
  }
  for (std::int32_t i = 0; i <= cell.nodes; ++i) qOld[i] = qNew[i];
  return static_cast<float>(qNew[cell.nodes]);
}

namespace {

double inflowAt(std::span<const float* const> feeders, std::size_t step) {
  double qIn = 0;
  for (const float* feeder : feeders) qIn = qIn + static_cast<double>(feeder[step]);
  return qIn;
}

}  // namespace

void addLateralVolume(CellVolumes& volumes, const CellRouting& cell, std::int32_t subSteps) {
  const double dt = static_cast<double>(cell.dt);
  const double intervals = static_cast<double>(cell.nodes);
  double previous = cell.qLatPrev;
  for (std::int32_t s = 0; s < subSteps; ++s) {
    const double r = 0.5 * (previous + cell.qLatCur);
    previous = cell.qLatCur;
    volumes.lateral += intervals * (dt * r * cell.dx);
  }
}

void addRainVolume(CellVolumes& volumes, const CellRouting& cell, double rainPreviousHour,
                   double rainCurrentHour, std::int32_t subSteps) {
  addPerStepVolume(volumes.rain, cell, rainPreviousHour, rainCurrentHour, subSteps);
}

void addPerStepVolume(double& sum, const CellRouting& cell, double ratePreviousHour,
                      double rateCurrentHour, std::int32_t subSteps) {
  const double dt = static_cast<double>(cell.dt);
  const double intervals = static_cast<double>(cell.nodes);
  const double current = lateralInflow(cell, rateCurrentHour);
  double previous = lateralInflow(cell, ratePreviousHour);
  for (std::int32_t s = 0; s < subSteps; ++s) {
    const double r = 0.5 * (previous + current);
    previous = current;
    sum += intervals * (dt * r * cell.dx);
  }
}

double hourVolume(const CellRouting& cell, double mm, std::int32_t subSteps) {
  const double dt = static_cast<double>(cell.dt);
  const double intervals = static_cast<double>(cell.nodes);
  return static_cast<double>(subSteps) * (intervals * (dt * lateralInflow(cell, mm) * cell.dx));
}

double halfStepVolume(const CellRouting& cell, double mmPerHour) {
  const double dt = static_cast<double>(cell.dt);
  const double intervals = static_cast<double>(cell.nodes);
  return 0.5 * (intervals * (dt * lateralInflow(cell, mmPerHour) * cell.dx));
}

void countOutflow(CellVolumes& volumes, const CellRouting& cell, float outflow) {
  volumes.outflow += static_cast<double>(outflow) * static_cast<double>(cell.dt);
}

void routeHours(std::span<const HourCell> cells, std::size_t firstStep, std::int32_t subSteps,
                std::span<float> hourMeans, PowerFunction powerFunction) {
  float hourSum[kMaxHourCells] = {};
  const std::size_t end = firstStep + static_cast<std::size_t>(subSteps);
  for (const HourCell& one : cells) {
    if (one.volumes != nullptr) addLateralVolume(*one.volumes, *one.cell, subSteps);
  }
  bool oneInterval = true;
  for (const HourCell& one : cells) oneInterval = oneInterval && one.cell->nodes == 1;
  auto record = [&](std::size_t i, std::size_t step, float outflow) {
    const HourCell& one = cells[i];
    if (one.history != nullptr) one.history[step] = outflow;
    if (one.volumes != nullptr) countOutflow(*one.volumes, *one.cell, outflow);
    hourSum[i] += outflow;
  };
  if (oneInterval && powerFunction == PowerFunction::kFast) {
    // The power of each step's old inflow is the power of the step before's inflow, known from
    // the feeders' histories ahead of the steps: those of a block of steps of all the cells are
    // taken together, outside the chain of dependent operations that runs from step to step. Within a step, the
    // powers of the cells' larger discharges are taken in one call, four at a time; a missing
    // cell's lane raises 0 to the power 1. Powers of repeated discharges are reused, as with
    // pow: a block whose inflow does not change (always, at a headwater cell) takes one power,
    // and four cells whose larger discharges all repeat the step before's take none.
    constexpr std::size_t kBlock = 16;
    OneInterval state[kMaxHourCells];
    OneInterval::Pending pending[kMaxHourCells];
    double inflow[kMaxHourCells][kBlock];
    double inflowBase[kMaxHourCells][kBlock];
    double inflowPower[kMaxHourCells][kBlock];
    double packedBase[kMaxHourCells * kBlock];
    double packedExponent[kMaxHourCells * kBlock];
    double packedPower[kMaxHourCells * kBlock];
    // The discharges last raised (a NaN, never the same bits as a discharge, until the first
    // step) and their powers; a missing cell's lane raises 0 to the power 1.
    double star[kMaxHourCells];
    double starExponent[kMaxHourCells];
    double starPower[kMaxHourCells];
    for (double& x : star) x = 0;
    for (double& e : starExponent) e = 1;
    for (std::size_t i = 0; i < cells.size(); ++i) {
      state[i].loadFrom(*cells[i].cell);
      star[i] = std::numeric_limits<double>::quiet_NaN();
      starExponent[i] = cells[i].cell->celerityExp;
    }
    const std::size_t lanes = (cells.size() + 3) / 4 * 4;  // whole fours
    for (std::size_t block = firstStep; block < end; block += kBlock) {
      const std::size_t count = std::min(kBlock, end - block);
      // Every cell's inflows of the block packed for one call (so that a block of a single
      // step still fills the lanes): all of them, or one where they do not change.
      std::size_t packed = 0;
      std::size_t packedAt[kMaxHourCells];
      bool steady[kMaxHourCells];
      for (std::size_t i = 0; i < cells.size(); ++i) {
        inflowBase[i][0] = state[i].q0;
        for (std::size_t k = 0; k < count; ++k) {
          inflow[i][k] = inflowAt(cells[i].feeders, block + k);
          if (k + 1 < count) inflowBase[i][k + 1] = inflow[i][k];
        }
        steady[i] = true;
        for (std::size_t k = 1; k < count; ++k) {
          steady[i] = steady[i] && sameBits(inflowBase[i][k], inflowBase[i][0]);
        }
        packedAt[i] = packed;
        for (std::size_t k = 0; k < (steady[i] ? 1 : count); ++k, ++packed) {
          packedBase[packed] = inflowBase[i][k];
          packedExponent[packed] = starExponent[i];
        }
      }
      powers(packedBase, packedExponent, packedPower, packed);
      for (std::size_t i = 0; i < cells.size(); ++i) {
        for (std::size_t k = 0; k < count; ++k) {
          inflowPower[i][k] = packedPower[packedAt[i] + (steady[i] ? 0 : k)];
        }
      }
      for (std::size_t k = 0; k < count; ++k) {
        bool changed[kMaxHourCells / 4] = {};
        for (std::size_t i = 0; i < cells.size(); ++i) {
          pending[i] = state[i].begin(*cells[i].cell, inflow[i][k]);
          changed[i / 4] = changed[i / 4] || !sameBits(pending[i].star, star[i]);
          star[i] = pending[i].star;
        }
        for (std::size_t four = 0; four < lanes; four += 4) {
          if (changed[four / 4]) {
            powers(star + four, starExponent + four, starPower + four, 4);
          }
        }
        for (std::size_t i = 0; i < cells.size(); ++i) {
          const double q1 =
              state[i].finish(*cells[i].cell, pending[i], inflowPower[i][k], starPower[i]);
          record(i, block + k, static_cast<float>(q1));
        }
      }
    }
    for (std::size_t i = 0; i < cells.size(); ++i) state[i].storeInto(*cells[i].cell);
  } else if (oneInterval) {
    // The step is a chain of dependent operations (a power, two divisions); stepping several
    // cells in turn lets their chains run side by side.
    OneInterval state[kMaxHourCells];
    for (std::size_t i = 0; i < cells.size(); ++i) state[i].loadFrom(*cells[i].cell);
    for (std::size_t step = firstStep; step < end; ++step) {
      for (std::size_t i = 0; i < cells.size(); ++i) {
        const HourCell& one = cells[i];
        record(i, step, static_cast<float>(state[i].step(*one.cell, inflowAt(one.feeders, step))));
      }
    }
    for (std::size_t i = 0; i < cells.size(); ++i) state[i].storeInto(*cells[i].cell);
  } else {
    for (std::size_t i = 0; i < cells.size(); ++i) {
      const HourCell& one = cells[i];
      for (std::size_t step = firstStep; step < end; ++step) {
        record(i, step, stepKinematicWave(*one.cell, inflowAt(one.feeders, step), powerFunction));
      }
    }
  }
  for (std::size_t i = 0; i < cells.size(); ++i) {
    hourMeans[i] = hourSum[i] / static_cast<float>(subSteps);
  }
}

}  // namespace runoff
