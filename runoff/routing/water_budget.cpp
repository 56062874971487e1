#include "runoff/routing/water_budget.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "runoff/model/conservative_wave.h"

namespace runoff {

WaterBudget::WaterBudget(const TopoGrid& grid, const RoutingPlan& plan,
                         const std::vector<std::int32_t>& riverNums, RoutingStates& states,
                         bool losses)
    : grid_(grid), plan_(plan), initialStorage_(plan.size()), losses_(losses) {
  for (std::int32_t river : riverNums) {
    if (river >= 0) rivers_.push_back(river);
  }
  std::sort(rivers_.begin(), rivers_.end());
  rivers_.erase(std::unique(rivers_.begin(), rivers_.end()), rivers_.end());
  for (std::int32_t t = 0; t < plan.size(); ++t) {
    const std::int32_t slot = states.slotOfCell[plan.cell[t]];
    initialStorage_[t] = slot < 0 ? 0.0 : cellStorage(states.states[slot]);
  }
  states.volumes.assign(states.states.size(), CellVolumes{});
  // A lake counts from its storage now.
  for (RoutedLake& lake : states.lakes) {
    lake.startStorage = lake.state.storage;
    lake.state.inflow = lake.state.evaporation = lake.state.outflow = 0;
  }
}

std::int32_t WaterBudget::basinOfTask(std::int32_t task) const {
  // A routed cell is selected, so its river number is listed.
  const std::int32_t river = grid_.cells[plan_.cell[task]].riverNum;
  return static_cast<std::int32_t>(std::lower_bound(rivers_.begin(), rivers_.end(), river) -
                                   rivers_.begin());
}

std::vector<double> WaterBudget::taskVolumes(const RoutingStates& states) const {
  std::vector<double> values(static_cast<std::size_t>(plan_.size()) * kTaskValues, 0.0);
  for (std::int32_t t = 0; t < plan_.size(); ++t) {
    const std::int32_t slot = states.slotOfCell[plan_.cell[t]];
    if (slot < 0) continue;
    double* v = values.data() + static_cast<std::size_t>(t) * kTaskValues;
    v[0] = states.volumes[slot].lateral;
    v[1] = states.volumes[slot].outflow;
    v[2] = initialStorage_[t];
    v[3] = cellStorage(states.states[slot]);
    v[4] = losses_ ? states.volumes[slot].rain : states.volumes[slot].lateral;
    if (!states.lakeOfSlot.empty()) {
      if (const std::int32_t k = states.lakeOfSlot[slot]; k >= 0) {
        // What leaves the cell is what the lake passed on.
        const RoutedLake& lake = states.lakes[k];
        v[1] = lake.state.outflow;
        v[5] = lake.startStorage;
        v[6] = lake.state.storage;
        v[7] = lake.state.evaporation;
      }
    }
  }
  return values;
}

std::vector<BasinBudget> WaterBudget::close(const std::vector<double>& taskVolumes) const {
  std::vector<BasinBudget> budgets(rivers_.size() + 1);
  for (std::size_t b = 0; b < rivers_.size(); ++b) budgets[b].river = rivers_[b];
  BasinBudget& total = budgets.back();
  for (std::int32_t t = 0; t < plan_.size(); ++t) {
    const double* v = taskVolumes.data() + static_cast<std::size_t>(t) * kTaskValues;
    const double lateral = v[0], outflow = v[1], initialStorage = v[2], finalStorage = v[3];
    const double rain = v[4];
    BasinBudget& basin = budgets[basinOfTask(t)];
    for (BasinBudget* b : {&basin, &total}) {
      b->lakeStart += v[5];
      b->lakeEnd += v[6];
      b->lakeEvaporation += v[7];
      b->rain += rain;
      if (losses_) b->loss += rain - lateral;
      b->initialStorage += initialStorage;
      b->finalStorage += finalStorage;
    }
    const std::int32_t consumer = plan_.consumer[t];
    if (consumer < 0) {
      basin.outflow += outflow;
      total.outflow += outflow;
    } else if (BasinBudget& next = budgets[basinOfTask(consumer)]; &next != &basin) {
      basin.outflow += outflow;
      next.inflow += outflow;
    }
  }
  return budgets;
}

void writeBudgetReport(std::ostream& out, Scheme scheme, const std::vector<BasinBudget>& budgets,
                       bool losses, bool lakes) {
  char line[224];
  out << "Water budget over the run, " << schemeName(scheme) << " scheme, m3 (error = rain"
      << (losses ? " - loss" : "") << " + inflow + storage start" << (lakes ? " + lake start" : "")
      << " - outflow - storage end" << (lakes ? " - lake end - lake evap" : "") << "):\n";
  // The loss column stands after the rain, and only in a run with losses.
  char lossHead[16] = "";
  if (losses) std::snprintf(lossHead, sizeof lossHead, "%14s", "loss");
  // The lake columns stand after the storage, and only in a run with lakes.
  char lakeHead[48] = "";
  if (lakes) {
    std::snprintf(lakeHead, sizeof lakeHead, "%14s%14s%14s", "lake start", "lake end",
                  "lake evap");
  }
  std::snprintf(line, sizeof line, "%7s%14s%s%14s%14s%15s%14s%s%14s%10s\n", "basin", "rain",
                lossHead, "inflow", "outflow", "storage start", "storage end", lakeHead, "error",
                "error %");
  out << line;
  for (const BasinBudget& b : budgets) {
    const std::string name = b.river < 0 ? "total" : std::to_string(b.river);
    // The error as a percentage of the rain; a basin without rain has none.
    char percent[32] = "-";
    if (b.rain > 0) std::snprintf(percent, sizeof percent, "%.3g", 100 * b.closureError() / b.rain);
    char loss[24] = "";
    if (losses) std::snprintf(loss, sizeof loss, "%14.6e", b.loss);
    char lake[48] = "";
    if (lakes) {
      std::snprintf(lake, sizeof lake, "%14.6e%14.6e%14.6e", b.lakeStart, b.lakeEnd,
                    b.lakeEvaporation);
    }
    std::snprintf(line, sizeof line, "%7s%14.6e%s%14.6e%14.6e%15.6e%14.6e%s%14.6e%10s\n",
                  name.c_str(), b.rain, loss, b.inflow, b.outflow, b.initialStorage, b.finalStorage,
                  lake, b.closureError(), percent);
    out << line;
  }
}

}  // namespace runoff
