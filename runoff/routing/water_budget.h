// The water budget of a run, for each listed basin and for all of them together. A basin is the
// routed cells of one listed river number. Over the run it receives the lateral inflow applied
// to those cells (the rain, in the per-step form the schemes apply it; with a loss method, the
// rain less the loss, each counted in that form) and the outflow of
// routed cells of other basins that drain into it; it loses the discharge of its cells whose
// outflow no routed cell of the same basin takes in (the outlets: water that leaves the routed
// network, or passes into another basin); and it holds a storage, dx times the cross-section at
// the downstream node of every space interval, from the node discharges through the Manning
// relation. An unrouted upstream cell contributes nothing. A lake at a cell's outlet holds
// water of its basin too: the cell's outflow is then what the lake passes on, and the lake's
// storage at the start and the end and its evaporation join the budget. All sums are double
// precision over every step, never from the single-precision outputs.
//
// With soil and groundwater stores the rain a loss method takes is not lost: the soil keeps
// it, loses evapotranspiration to the air and returns baseflow to the lateral inflow. The
// budget then also counts the evapotranspiration (the hours' whole amounts) and the baseflow
// (in the per-step form), and holds the soil and groundwater storage at the start and the end,
// so that its error is rain - evapotranspiration + inflow + every storage at the start -
// outflow - every storage at the end. The per-step form applies half a step of each hour's
// lateral inflow in the next hour's first step: the soil and groundwater storage are those of
// the stores with half a step of their last hour's exchange counted as still on its way.
#ifndef RUNOFF_ROUTING_WATER_BUDGET_H_
#define RUNOFF_ROUTING_WATER_BUDGET_H_

#include <cstdint>
#include <ostream>
#include <vector>

#include "runoff/inputs/topo_grid.h"
#include "runoff/model/routing_scheme.h"
#include "runoff/routing/routing_plan.h"
#include "runoff/routing/routing_setup.h"

namespace runoff {

/// Volumes in m^3 over the run.
struct BasinBudget {
  std::int32_t river = -1;  // the basin's river number; -1 for all listed basins together
  double rain = 0;          // rain on its routed cells, as lateral inflow
  double loss = 0;          // of that rain, what a loss method took (0 without one); with
                            // soil, what the soil kept of it (less the saturation excess)
  double inflow = 0;        // from routed cells of other listed basins (0 for the total)
  double outflow = 0;       // at its outlets
  double initialStorage = 0;
  double finalStorage = 0;
  double lakeStart = 0;        // lake storage at the start
  double lakeEnd = 0;          // and at the end
  double lakeEvaporation = 0;  // taken from the lakes' surface
  // With soil and groundwater stores only:
  bool soil = false;
  double et = 0;        // evapotranspiration from the soil
  double baseflow = 0;  // from the groundwater into the lateral inflow
  double soilStart = 0, soilEnd = 0;
  double groundwaterStart = 0, groundwaterEnd = 0;

  /// rain - loss + inflow + initial storage + lake start - outflow - final storage - lake end
  /// - lake evaporation; with soil, the evapotranspiration in place of the loss, and the soil
  /// and groundwater storage at the start and the end beside the others.
  double closureError() const {
    if (!soil) {
      return rain - loss + inflow + initialStorage + lakeStart - outflow - finalStorage - lakeEnd -
             lakeEvaporation;
    }
    return rain - et + inflow + initialStorage + soilStart + groundwaterStart + lakeStart -
           outflow - finalStorage - soilEnd - groundwaterEnd - lakeEnd - lakeEvaporation;
  }
};

class WaterBudget {
 public:
  /// Starts the budget of the routed cells of `plan` from their state in `states` now, and
  /// gives `states` zeroed volumes so that routing counts them. `riverNums` is the river list;
  /// `losses` when a loss method runs (the rain is then counted apart from the lateral inflow);
  /// `soilSubSteps`, the steps of an hour, when the soil and groundwater stores run (their
  /// state is then in states.soil, and the rain is counted apart too).
  /// Cells without a state in `states` are counted where they have one.
  WaterBudget(const TopoGrid& grid, const RoutingPlan& plan,
              const std::vector<std::int32_t>& riverNums, RoutingStates& states,
              bool losses = false, std::int32_t soilSubSteps = 0);

  /// The budgets at the end of the run: every listed river number once (ascending, negative
  /// numbers left out as they select no cell), then the total.
  std::vector<BasinBudget> close(const RoutingStates& states) const {
    return close(taskVolumes(states));
  }

  /// What each task of the plan counted, taskValues() doubles a task in task order: lateral
  /// inflow, outflow, initial and final storage, rain (m^3; the rain is the lateral inflow when
  /// no loss method runs), and the storage at the start and the end and the evaporation of the
  /// lake at its outlet (0 without one); with soil, then evapotranspiration, baseflow, initial
  /// and final soil storage, initial and final groundwater storage. Tasks without a state in
  /// `states` (routed by another process) are left at 0, so that the processes' values can be
  /// added up.
  static constexpr std::size_t kTaskValues = 8;
  static constexpr std::size_t kSoilTaskValues = 6;
  std::size_t taskValues() const { return kTaskValues + (soil() ? kSoilTaskValues : 0); }
  bool soil() const { return soilSubSteps_ > 0; }
  std::vector<double> taskVolumes(const RoutingStates& states) const;
  /// The budgets from every task's values, summed in task order.
  std::vector<BasinBudget> close(const std::vector<double>& taskVolumes) const;

 private:
  std::int32_t basinOfTask(std::int32_t task) const;

  const TopoGrid& grid_;
  const RoutingPlan& plan_;
  std::vector<std::int32_t> rivers_;    // listed river numbers, ascending, each once
  std::vector<double> initialStorage_;  // per task
  bool losses_ = false;
  std::int32_t soilSubSteps_ = 0;
  std::vector<double> initialSoil_, initialGroundwater_;  // per task, with soil
};

/// The budget table, one line per basin and one for the total, as the run prints it; with
/// `losses` it has a column for the loss, with `lakes` three for the lakes; with soil (the
/// budgets' `soil`) columns for the loss, the evapotranspiration, the baseflow and the soil and
/// groundwater storage.
void writeBudgetReport(std::ostream& out, Scheme scheme, const std::vector<BasinBudget>& budgets,
                       bool losses = false, bool lakes = false);

}  // namespace runoff

#endif  // RUNOFF_ROUTING_WATER_BUDGET_H_
