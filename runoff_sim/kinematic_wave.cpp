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

void prepareCelerity(CellRouting& cell) {
  cell.celerityCoef = std::pow(cell.alpha, 1 / cell.mExp) * cell.mExp;
  cell.celerityExp = (cell.mExp - 1) / cell.mExp;
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

}  // namespace

// The sweep of the weighted implicit scheme. Each node's mean celerity averages the celerity
// at the old discharge of the node above and at the larger of the old discharge here and a
// predicted one. Powers already known are reused: the old discharge of the node above was the
// predicted discharge of that node whenever it was not below the prediction, and the inflow
// power is kept from the previous step. A reused power is the same call on the same bits, so
// every result is unchanged.
float stepKinematicWave(CellRouting& cell, double qIn) {
  const double dt = static_cast<double>(cell.dt);
  const double r = 0.5 * (cell.qLatPrev + cell.qLatCur);
  const double k = cell.celerityCoef;
  const double e = cell.celerityExp;
  const double theta = cell.theta;
  const double dx = cell.dx;
  const double dtOverDx = dt / dx;
  const double dtR = dt * r;
  const double rDx = r * dx;
  const double oneMinusTheta = 1 - theta;
  double* qOld = cell.qOld.data();
  double* qNew = cell.qNew.data();
  qNew[0] = qIn;

  if (!sameBits(qOld[0], cell.lastInflow)) {
    cell.lastInflow = qOld[0];
    cell.lastInflowPower = std::pow(qOld[0], e);
  }
  double powUpper = cell.lastInflowPower;  // pow(qOld[j - 1], e)
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
    const double w = 0.5 * (w0 + w1);
    const double numerator = qOld[j] + (theta * w) * (dtOverDx * qNew[j - 1] + dtR) -
                             (oneMinusTheta * w * dt) * ((qOld[j] - qOld[j - 1]) / dx - r);
    const double denominator = 1 + (theta * w * dt) / dx;
    qNew[j] = numerator / denominator;
    if (qNew[j] < 0) qNew[j] = 0;
  }
  const float outflow = static_cast<float>(qNew[cell.nodes]);
  for (std::int32_t i = 0; i <= cell.nodes; ++i) qOld[i] = qNew[i];
  cell.qLatPrev = cell.qLatCur;
  return outflow;
}

}  // namespace runoff
