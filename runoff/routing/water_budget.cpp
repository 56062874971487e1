#include "runoff/routing/water_budget.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "runoff/model/conservative_wave.h"

namespace runoff {

namespace {

// The soil and groundwater storage of a cell as the budget counts them: the stores, with half
// a step of the last hour's exchange still on its way (the soil has kept the infiltration the
// routing has not yet fully taken away, the baseflow has left the groundwater and not yet
// fully arrived).
void soilStorage(const CellRouting& routing, const CellSoil& soil, std::int32_t subSteps,
                 double& soilVolume, double& groundwaterVolume) {
  soilVolume = hourVolume(routing, soil.stores.soil, subSteps) -
               halfStepVolume(routing, soil.lastInfiltration);
  groundwaterVolume = hourVolume(routing, soil.stores.groundwater, subSteps) +
                      halfStepVolume(routing, soil.lastBaseflow);
}

}  // namespace

WaterBudget::WaterBudget(const TopoGrid& grid, const RoutingPlan& plan,
                         const std::vector<std::int32_t>& riverNums, RoutingStates& states,
                         bool losses, std::int32_t soilSubSteps)
    : grid_(grid),
      plan_(plan),
      initialStorage_(plan.size()),
      losses_(losses),
      soilSubSteps_(soilSubSteps) {
  for (std::int32_t river : riverNums) {
    if (river >= 0) rivers_.push_back(river);
  }
  std::sort(rivers_.begin(), rivers_.end());
  rivers_.erase(std::unique(rivers_.begin(), rivers_.end()), rivers_.end());
  for (std::int32_t t = 0; t < plan.size(); ++t) {
    const std::int32_t slot = states.slotOfCell[plan.cell[t]];
    initialStorage_[t] = slot < 0 ? 0.0 : cellStorage(states.states[slot]);
  }
  if (soil()) {
    initialSoil_.assign(plan.size(), 0.0);
    initialGroundwater_.assign(plan.size(), 0.0);
    for (std::int32_t t = 0; t < plan.size(); ++t) {
      const std::int32_t slot = states.slotOfCell[plan.cell[t]];
      if (slot < 0) continue;
      soilStorage(states.states[slot], states.soil[slot], soilSubSteps_, initialSoil_[t],
                  initialGroundwater_[t]);
    }
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
  const std::size_t stride = taskValues();
  std::vector<double> values(static_cast<std::size_t>(plan_.size()) * stride, 0.0);
  for (std::int32_t t = 0; t < plan_.size(); ++t) {
    const std::int32_t slot = states.slotOfCell[plan_.cell[t]];
    if (slot < 0) continue;
    double* v = values.data() + static_cast<std::size_t>(t) * stride;
    const CellVolumes& volumes = states.volumes[slot];
    v[0] = volumes.lateral;
    v[1] = volumes.outflow;
    v[2] = initialStorage_[t];
    v[3] = cellStorage(states.states[slot]);
    v[4] = losses_ || soil() ? volumes.rain : volumes.lateral;
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
    if (!soil()) continue;
    v[8] = volumes.et;
    v[9] = volumes.baseflow;
    v[10] = initialSoil_[t];
    v[12] = initialGroundwater_[t];
    soilStorage(states.states[slot], states.soil[slot], soilSubSteps_, v[11], v[13]);
  }
  return values;
}

std::vector<BasinBudget> WaterBudget::close(const std::vector<double>& taskVolumes) const {
  std::vector<BasinBudget> budgets(rivers_.size() + 1);
  for (std::size_t b = 0; b < rivers_.size(); ++b) budgets[b].river = rivers_[b];
  BasinBudget& total = budgets.back();
  for (BasinBudget& b : budgets) b.soil = soil();
  const std::size_t stride = taskValues();
  for (std::int32_t t = 0; t < plan_.size(); ++t) {
    const double* v = taskVolumes.data() + static_cast<std::size_t>(t) * stride;
    const double lateral = v[0], outflow = v[1], initialStorage = v[2], finalStorage = v[3];
    const double rain = v[4];
    BasinBudget& basin = budgets[basinOfTask(t)];
    for (BasinBudget* b : {&basin, &total}) {
      b->lakeStart += v[5];
      b->lakeEnd += v[6];
      b->lakeEvaporation += v[7];
      b->rain += rain;
      // The lateral inflow is the rain less what the soil kept, plus the baseflow.
      if (soil()) {
        b->loss += rain - lateral + v[9];
        b->et += v[8];
        b->baseflow += v[9];
        b->soilStart += v[10];
        b->soilEnd += v[11];
        b->groundwaterStart += v[12];
        b->groundwaterEnd += v[13];
      } else if (losses_) {
        b->loss += rain - lateral;
      }
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

namespace {

// The table of a run with soil and groundwater stores: every column of the water's ways.
void writeSoilBudgetReport(std::ostream& out, Scheme scheme,
                           const std::vector<BasinBudget>& budgets, bool lakes) {
  char line[384];
  out << "Water budget over the run, " << schemeName(scheme)
      << " scheme, m3 (error = rain - et + inflow + storage, soil and groundwater start"
      << (lakes ? " + lake start" : "") << " - outflow - storage, soil and groundwater end"
      << (lakes ? " - lake end - lake evap" : "") << "; the loss is what the soil kept):\n";
  // The lake columns stand after the groundwater's, and only in a run with lakes.
  char lakeHead[48] = "";
  if (lakes) {
    std::snprintf(lakeHead, sizeof lakeHead, "%14s%14s%14s", "lake start", "lake end", "lake evap");
  }
  std::snprintf(
      line, sizeof line, "%7s%14s%14s%14s%14s%14s%14s%15s%14s%14s%14s%14s%14s%s%14s%10s\n", "basin",
      "rain", "loss", "et", "baseflow", "inflow", "outflow", "storage start", "storage end",
      "soil start", "soil end", "ground start", "ground end", lakeHead, "error", "error %");
  out << line;
  for (const BasinBudget& b : budgets) {
    const std::string name = b.river < 0 ? "total" : std::to_string(b.river);
    char percent[32] = "-";
    if (b.rain > 0) std::snprintf(percent, sizeof percent, "%.3g", 100 * b.closureError() / b.rain);
    char lake[48] = "";
    if (lakes) {
      std::snprintf(lake, sizeof lake, "%14.6e%14.6e%14.6e", b.lakeStart, b.lakeEnd,
                    b.lakeEvaporation);
    }
    std::snprintf(line, sizeof line,
                  "%7s%14.6e%14.6e%14.6e%14.6e%14.6e%14.6e%15.6e%14.6e%14.6e%14.6e%14.6e%14.6e"
                  "%s%14.6e%10s\n",
                  name.c_str(), b.rain, b.loss, b.et, b.baseflow, b.inflow, b.outflow,
                  b.initialStorage, b.finalStorage, b.soilStart, b.soilEnd, b.groundwaterStart,
                  b.groundwaterEnd, lake, b.closureError(), percent);
    out << line;
  }
}

}  // namespace

void writeBudgetReport(std::ostream& out, Scheme scheme, const std::vector<BasinBudget>& budgets,
                       bool losses, bool lakes) {
  if (!budgets.empty() && budgets.front().soil) {
    writeSoilBudgetReport(out, scheme, budgets, lakes);
    return;
  }
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
    std::snprintf(lakeHead, sizeof lakeHead, "%14s%14s%14s", "lake start", "lake end", "lake evap");
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
