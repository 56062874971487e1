#include "runoff_sim/kinematic_wave.h"

#include <cmath>

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

float stepKinematicWave(CellRouting& cell, double qIn) {
  const double dt = static_cast<double>(cell.dt);
  const double r = 0.5 * (cell.qLatPrev + cell.qLatCur);
  double* qOld = cell.qOld.data();
  double* qNew = cell.qNew.data();
  qNew[0] = qIn;
  for (std::int32_t j = 1; j <= cell.nodes; ++j) {
    const double k = std::pow(cell.alpha, 1 / cell.mExp) * cell.mExp;
    const double e = (cell.mExp - 1) / cell.mExp;
    const double w0 = k * std::pow(qOld[j - 1], e);
    const double p = 0.5 * (qOld[j - 1] + qNew[j - 1]) + r * cell.dx;
    const double qStar = qOld[j] < p ? p : qOld[j];
    const double w1 = k * std::pow(qStar, e);
    const double w = 0.5 * (w0 + w1);
    const double numerator = qOld[j] + (cell.theta * w) * (dt / cell.dx * qNew[j - 1] + dt * r) -
                             ((1 - cell.theta) * w * dt) * ((qOld[j] - qOld[j - 1]) / cell.dx - r);
    const double denominator = 1 + (cell.theta * w * dt) / cell.dx;
    qNew[j] = numerator / denominator;
    if (qNew[j] < 0) qNew[j] = 0;
  }
  const float outflow = static_cast<float>(qNew[cell.nodes]);
  for (std::int32_t i = 0; i <= cell.nodes; ++i) qOld[i] = qNew[i];
  cell.qLatPrev = cell.qLatCur;
  return outflow;
}

}  // namespace runoff
