// The steps that make a run ready to route, from the parameter file to the routing plan: the
// parameters, the river list and the grids with the cells selected, the loss grids, the ties of
// the cells to their rainfall cells, the calculation order, the gauges placed on the routed
// cells and the plan. Each step that can fail returns a Status carrying its one console line,
// and writes its console text to the stream it is given. The simulation
// (runoff/run/simulation.h) takes every step in turn; the calibration's candidate set-up
// (runoff/run/candidate_run.h) takes those it needs, most of them silently.
#ifndef RUNOFF_RUN_RUN_SET_UP_H_
#define RUNOFF_RUN_RUN_SET_UP_H_

#include <cstdint>
#include <fstream>
#include <optional>
#include <ostream>
#include <vector>

#include "common/params.h"
#include "common/status.h"
#include "runoff/inputs/calc_order.h"
#include "runoff/inputs/gauge_list.h"
#include "runoff/inputs/gauge_snap.h"
#include "runoff/inputs/lake_list.h"
#include "runoff/inputs/loss_grids.h"
#include "runoff/inputs/run_start.h"
#include "runoff/inputs/soil_grids.h"
#include "runoff/model/losses.h"
#include "runoff/routing/routing_plan.h"
#include "runoff/run/run_checks.h"
#include "runoff/run/run_inputs.h"

namespace runoff {

struct RunSetUp {
  MemoryLimit memory;
  RunParameters params;
  std::int32_t windowDays = 1;  // days routed at a time
  RunInputs inputs;
  LossGrids lossGrids;
  SoilGrids soilGrids;  // with soil and groundwater stores only
  CalculationOrder order;
  RoutingPlan plan;

  /// The memory limit, then the parameter file with its echo on `console`; fixes the window
  /// length.
  Status readParameters(std::ostream& console);
  /// The river list, the rainfall grid with room for `rainDays` days, the topography, the ties
  /// of the cells to their rainfall cells (`ties`) and the selection of the cells to route.
  Status loadInputs(RainTies ties, std::int32_t rainDays, std::ostream& console);
  /// The ties of inputs loaded with RainTies::kSupplied, through the mapping cache.
  Status tieCellsToRain(std::ostream& console);
  /// The grids of loss method `method`, checked on the selected cells; none without one.
  Status loadLossGrids(LossMethod method);
  /// The soil grids, checked on the selected cells, when `soil`; none without.
  Status loadSoilGrids(bool soil);
  /// The calculation order, from its cache or made afresh (and cached), with its console lines.
  Status obtainOrder(std::ostream& console);
  /// Places each of `listed` on the routed cell of largest flow accumulation within `snap`
  /// cells, a console line each ("Gauge ...: column C, row R, flow accumulation A").
  Result<std::vector<SnappedGauge>> placeGauges(const std::vector<Gauge>& listed, std::int32_t snap,
                                                std::ostream& console) const;
  /// Places the outlet of each of `lakes` as gauges are placed, after planRouting(), a console
  /// line each ("Lake ...: column C, row R, flow accumulation A"); the grid index of each
  /// outlet cell, in the order of `lakes`. Refuses a lake outside the grid, off every routed
  /// cell, or on the cell of another.
  Result<std::vector<std::int32_t>> placeLakes(const std::vector<Lake>& lakes, std::int32_t snap,
                                               std::ostream& console) const;
  /// The routing plan over the selected cells of the order.
  void planRouting();
};

/// The first stamp of ./input/rain.dat when it is a date and time (a PET file must begin there).
std::optional<CivilTime> rainFileStart();

/// Opens the rainfall file ./input/rain.dat into `in`.
Status openRainfallFile(std::ifstream& in);

}  // namespace runoff

#endif  // RUNOFF_RUN_RUN_SET_UP_H_
