#include "support/plain_routing.h"

#include <cmath>
#include <span>
#include <vector>

#include "runoff/model/power.h"

namespace runoff::reference {

HourlyDischarge::HourlyDischarge(const std::vector<std::uint8_t>& selected, std::int32_t days)
    : days_(days), slot_(selected.size(), -1) {
  std::int32_t count = 0;
  for (std::size_t i = 0; i < selected.size(); ++i) {
    if (selected[i]) slot_[i] = count++;
  }
  values_.assign(static_cast<std::size_t>(count) * hours(), 0.0f);
}

namespace {

template <double (*Power)(double, double)>
float literalStep(CellRouting& cell, double qIn) {
  const double dt = static_cast<double>(cell.dt);
  const double r = 0.5 * (cell.qLatPrev + cell.qLatCur);
  double* qOld = cell.qOld.data();
  double* qNew = cell.qNew.data();
  qNew[0] = qIn;
  for (std::int32_t j = 1; j <= cell.nodes; ++j) {
    const double k = std::pow(cell.alpha, 1 / cell.mExp) * cell.mExp;
    const double e = (cell.mExp - 1) / cell.mExp;
    const double w0 = k * Power(qOld[j - 1], e);
    const double p = 0.5 * (qOld[j - 1] + qNew[j - 1]) + r * cell.dx;
    const double qStar = qOld[j] < p ? p : qOld[j];
    const double w1 = k * Power(qStar, e);
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

double libraryPow(double x, double y) { return std::pow(x, y); }

}  // namespace

float literalStepKinematicWave(CellRouting& cell, double qIn) {
  return literalStep<libraryPow>(cell, qIn);
}

float literalStepKinematicWaveOwnPower(CellRouting& cell, double qIn) {
  return literalStep<power>(cell, qIn);
}

void plainRouteCells(const PlainRun& run, RoutingStates& states, HourlyDischarge& discharge,
                     std::ostream& console, CellStep step) {
  const std::size_t stepsPerDay = static_cast<std::size_t>(24) * run.subSteps;
  const std::size_t historyLength = stepsPerDay * run.days;
  std::vector<std::vector<float>> outflow(states.states.size(),
                                          std::vector<float>(historyLength, 0.0f));
  std::size_t first = 0;
  for (std::int32_t g = 0; g < run.order.groupCount; ++g) {
    console << "  " << first + 1 << "/" << run.order.orderCount << " ends.\n";
    const std::size_t last = first + run.order.groupSizes[g];
    for (std::size_t e = first; e < last; ++e) {
      const CellIndex at = run.order.calcOrder[e];
      const std::int32_t index = run.grid.index(at.row, at.col);
      if (!run.selected[index]) continue;
      const GridCell& cell = run.grid.cells[index];
      CellRouting& state = states.states[states.slotOfCell[index]];
      std::vector<float>& history = outflow[states.slotOfCell[index]];
      for (std::int32_t day = 1; day <= run.days; ++day) {
        for (std::int32_t hour = 1; hour <= 24; ++hour) {
          const float previous = hour == 1 ? run.rain.rain(cell.rainCell, day - 1, 23)
                                           : run.rain.rain(cell.rainCell, day, hour - 2);
          setLateralInflow(state, previous, run.rain.rain(cell.rainCell, day, hour - 1));
          const std::size_t base = (day - 1) * stepsPerDay + (hour - 1) * run.subSteps;
          for (std::int32_t s = 0; s < run.subSteps; ++s) {
            double qIn = 0;
            for (std::int32_t u = 0; u < cell.upCount; ++u) {
              qIn = qIn + static_cast<double>(outflow[states.slotOfCell[cell.up[u]]][base + s]);
            }
            history[base + s] = step(state, qIn);
          }
        }
      }
    }
    first = last;
  }
  for (std::size_t i = 0; i < run.grid.cells.size(); ++i) {
    if (!discharge.isSelected(static_cast<std::int32_t>(i)) || states.slotOfCell[i] < 0) continue;
    std::span<const float> history(outflow[states.slotOfCell[i]]);
    std::span<float> means = discharge.of(static_cast<std::int32_t>(i));
    for (std::size_t h = 0; h < means.size(); ++h) {
      means[h] = hourlyMean(history.subspan(h * run.subSteps, run.subSteps));
    }
  }
}

}  // namespace runoff::reference
