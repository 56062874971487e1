#include "runoff_sim/kinematic_wave.h"

#include <cmath>
#include <cstring>

namespace runoff {

double lateralInflow(const CellRouting& cell, float rainMmPerHour) {
  // mm/h -> m/s over the cell's area (metres per arc-second x scale x widthX), spread over the
  // flow length. The factor 92.6886 / 3 is applied as two operations, in that order.
  return static_cast<double>(rainMmPerHour) * 0.001 * 92.6886 / 3 *
         static_cast<double>(cell.scale) * static_cast<double>(cell.widthX) / cell.flowLen /
         3600;
}

void setLateralInflow(CellRouting& cell, float rainPreviousHour, float rainCurrentHour) {
  cell.qLatPrev = lateralInflow(cell, rainPreviousHour);
  cell.qLatCur = lateralInflow(cell, rainCurrentHour);
}

void prepareStepConstants(CellRouting& cell) {
  cell.celerityCoef = std::pow(cell.alpha, 1 / cell.mExp) * cell.mExp;
  cell.celerityExp = (cell.mExp - 1) / cell.mExp;
  cell.dtOverDx = static_cast<double>(cell.dt) / cell.dx;
  cell.oneMinusTheta = 1 - cell.theta;
  cell.lastInflow = 0;
  cell.lastInflowPower = std::pow(0.0, cell.celerityExp);
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

}  // namespace

// The sweep of the weighted implicit scheme. Each node's mean celerity averages the celerity
// at the old discharge of the node above and at the larger of the old discharge here and a
// predicted one. Powers already known are reused: the old discharge of the node above was the
// larger one at that node whenever it was not below the prediction, and the inflow power is
// kept from the previous step. A reused power is the same call on the same bits, so every
// result is unchanged.
float stepKinematicWave(CellRouting& cell, double qIn) {
  const double dt = static_cast<double>(cell.dt);
  const double r = 0.5 * (cell.qLatPrev + cell.qLatCur);
  const double k = cell.celerityCoef;
  const double e = cell.celerityExp;
  const double dtR = dt * r;
  const double rDx = r * cell.dx;
  double* qOld = cell.qOld.data();
  double* qNew = cell.qNew.data();
  cell.qLatPrev = cell.qLatCur;

  if (cell.nodes == 1) {  // the common case, kept in registers
    const double qOld0 = qOld[0], qOld1 = qOld[1];
    const double w0 = k * inflowPower(cell, qOld0);
    const double p = 0.5 * (qOld0 + qIn) + rDx;
    const double w1 = k * std::pow(qOld1 < p ? p : qOld1, e);
    const double q1 = implicitUpdate(cell, qOld1, qOld0, qIn, 0.5 * (w0 + w1), r, dt, dtR);
    qOld[0] = qNew[0] = qIn;
    qOld[1] = qNew[1] = q1;
    return static_cast<float>(q1);
  }

  qNew[0] = qIn;
  double powUpper = inflowPower(cell, qOld[0]);  // pow(qOld[j - 1], e)
  for (std::int32_t j = 1; j <= cell.nodes; ++j) {
    const double w0 = k * powUpper;
    const double p = 0.5 * (qOld[j - 1] + qNew[j - 1]) + rDx;
    double powStar;
    if (qOld[j] < p) {
      powStar = std::pow(p, e);
      powUpper = j < cell.nodes ? std::pow(qOld[j], e) : 0;
    } else {
      powStar = std::pow(qOld[j], e);
      powUpper = powStar;
    }
    const double w1 = k * powStar;
    qNew[j] = implicitUpdate(cell, qOld[j], qOld[j - 1], qNew[j - 1], 0.5 * (w0 + w1), r, dt, dtR);
  }
  for (std::int32_t i = 0; i <= cell.nodes; ++i) qOld[i] = qNew[i];
  return static_cast<float>(qNew[cell.nodes]);
}

}  // namespace runoff
