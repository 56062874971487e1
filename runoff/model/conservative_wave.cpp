#include "runoff/model/conservative_wave.h"

#include <cmath>

#include "runoff/model/power.h"

namespace runoff {
namespace {

// Newton's method stops after a step that moved the discharge by at most this fraction of it.
// Convergence is quadratic there (the error after the step is below (1 - 1/mExp) / 2 times the
// square of the step), so the discharge returned is correct to a few units of the last bit and
// the continuity of the interval holds to rounding.
constexpr double kNewtonTolerance = 1e-7;
// Newton steps allowed before the solve falls back to halving the bracket alone, and the
// bracket, relative to its upper end, at which halving stops.
constexpr int kNewtonIterations = 20;
constexpr int kMaxIterations = 200;
constexpr double kBracketTolerance = 1e-15;

// One time step of a cell: what every space interval of the sweep shares.
struct BoxStep {
  double dt;               // s
  double dx;               // m
  double alpha;            // Manning relation Q = alpha * A^mExp
  double areaExp;          // 1 / mExp
  double rainPerInterval;  // dt * r * dx: the lateral inflow of one interval in this step, m^3
  PowerFunction powerFunction;

  double area(double q) const {
    return powerFunction == PowerFunction::kFast ? power(q / alpha, areaExp)
                                                 : std::pow(q / alpha, areaExp);
  }

  // The new discharge at the downstream node of an interval, from the new discharge at its
  // upstream node, the old one at its downstream node and the water `held` on the interval
  // beyond its cross-section (m^3): the root of
  //   g(Q) = dt * Q + dx * A(Q) - c,  c = dx * A(qOld) + dt * qUp + dt * dx * r + held >= 0.
  // g grows with Q and is concave; g(0) = -c and g(c / dt) = dx * A(c / dt) >= 0, so the one
  // root lies in [0, c / dt]. Newton's method starts from the old discharge, whose area is
  // already at hand (so its first step costs no power); a step that would leave the bracket
  // halves it instead. The rule depends on the inputs alone, so the result is the same on any
  // thread and in any window.
  double solve(double qUp, double qOld, double held) const {
    const double areaOld = area(qOld);
    const double c = dx * areaOld + dt * qUp + rainPerInterval + held;
    if (!(c > 0)) return 0;  // no water: the interval stays exactly dry
    double lo = 0, hi = c / dt;
    double q = qOld > 0 && qOld < hi ? qOld : hi;
    double a = q == qOld ? areaOld : area(q);
    for (int i = 0; i < kMaxIterations; ++i) {
      const double g = dt * q + dx * a - c;
      if (g == 0) return q;
      (g < 0 ? lo : hi) = q;
      double next = 0.5 * (lo + hi);
      bool newton = false;
      if (i < kNewtonIterations && q > 0) {
        const double slope = dt + dx * areaExp * a / q;  // dA/dQ = A / (mExp Q)
        double step = g / slope;
        if (i == 0) {
          // From the start value the curvature is known without a power too; the second-order
          // correction of the first step leaves Newton's method far less to do.
          const double curvature = dx * areaExp * (areaExp - 1) * a / (q * q);
          const double damping = 1 - 0.5 * step * curvature / slope;
          if (damping > 0.5) step = step / damping;
        }
        newton = q - step > lo && q - step < hi;
        if (newton) next = q - step;
      }
      if (newton ? std::abs(next - q) <= kNewtonTolerance * next
                 : hi - lo <= kBracketTolerance * hi) {
        return next;
      }
      q = next;
      a = area(q);
    }
    return q;
  }
};

BoxStep boxStep(const CellRouting& cell, double r, PowerFunction powerFunction) {
  const double dt = static_cast<double>(cell.dt);
  return {dt, cell.dx, cell.alpha, 1 / cell.mExp, dt * r * cell.dx, powerFunction};
}

double inflowAt(std::span<const float* const> feeders, std::size_t step) {
  double qIn = 0;
  for (const float* feeder : feeders) qIn = qIn + static_cast<double>(feeder[step]);
  return qIn;
}

}  // namespace

double crossSection(const CellRouting& cell, double q) {
  return std::pow(q / cell.alpha, 1 / cell.mExp);
}

double heldAtOutlet(const CellRouting& cell) {
  const double q = cell.qOld[cell.nodes];
  return static_cast<double>(cell.dt) * (q - static_cast<double>(static_cast<float>(q)));
}

double cellStorage(const CellRouting& cell) {
  double storage = 0;
  for (std::int32_t j = 1; j <= cell.nodes; ++j) {
    storage += cell.dx * crossSection(cell, cell.qOld[j]);
  }
  return storage + heldAtOutlet(cell);
}

float stepConservativeWave(CellRouting& cell, double qIn, PowerFunction powerFunction) {
  const double r = 0.5 * (cell.qLatPrev + cell.qLatCur);
  cell.qLatPrev = cell.qLatCur;
  const BoxStep box = boxStep(cell, r, powerFunction);
  double* qOld = cell.qOld.data();
  double* qNew = cell.qNew.data();
  qNew[0] = qIn;
  // The last interval also takes back what the rounding of the last outflow kept.
  const double held = heldAtOutlet(cell);
  for (std::int32_t j = 1; j <= cell.nodes; ++j) {
    qNew[j] = box.solve(qNew[j - 1], qOld[j], j == cell.nodes ? held : 0.0);
  }
  for (std::int32_t i = 0; i <= cell.nodes; ++i) qOld[i] = qNew[i];
  return static_cast<float>(qNew[cell.nodes]);
}

void routeHoursConservative(std::span<const HourCell> cells, std::size_t firstStep,
                            std::int32_t subSteps, std::span<float> hourMeans,
                            PowerFunction powerFunction) {
  float hourSum[kMaxHourCells] = {};
  const std::size_t end = firstStep + static_cast<std::size_t>(subSteps);
  for (const HourCell& one : cells) {
    if (one.volumes != nullptr) addLateralVolume(*one.volumes, *one.cell, subSteps);
  }
  // Cells in turn within each step, so that their independent solves overlap in the processor.
  for (std::size_t step = firstStep; step < end; ++step) {
    for (std::size_t i = 0; i < cells.size(); ++i) {
      const HourCell& one = cells[i];
      CellRouting& cell = *one.cell;
      const float outflow = stepConservativeWave(cell, inflowAt(one.feeders, step), powerFunction);
      if (one.history != nullptr) one.history[step] = outflow;
      if (one.volumes != nullptr) countOutflow(*one.volumes, cell, outflow);
      hourSum[i] += outflow;
    }
  }
  for (std::size_t i = 0; i < cells.size(); ++i) {
    hourMeans[i] = hourSum[i] / static_cast<float>(subSteps);
  }
}

}  // namespace runoff
