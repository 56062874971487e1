// The routing loop: every selected cell of the calculation order through the whole period,
// each taking its inflow from the finished outflow of the upstream cells routed before it.
// Cells whose feeders are finished run at the same time on several threads; a cell's sub-step
// outflow lives only until the cell it feeds has been routed, and what the output files need,
// the hourly means, is formed as the steps are taken. The numbers and the console text are
// those of routing the cells one by one in calculation order, for any number of threads.
#ifndef RUNOFF_RUNOFF_SIM_ROUTING_LOOP_H_
#define RUNOFF_RUNOFF_SIM_ROUTING_LOOP_H_

#include <cstdint>
#include <ostream>
#include <vector>

#include "runoff_sim/calc_order.h"
#include "runoff_sim/discharge_output.h"
#include "runoff_sim/rain_grid.h"
#include "runoff_sim/routing_setup.h"
#include "runoff_sim/topo_grid.h"

namespace runoff {

struct RoutingRun {
  const TopoGrid& grid;
  const RainGrid& rain;
  const CalculationOrder& order;
  const std::vector<std::uint8_t>& selected;  // per grid cell
  std::int32_t days = 0;
  std::int32_t subSteps = 0;
};

/// Threads to route with: OMP_NUM_THREADS when it holds a positive number, else the cores.
int routingThreads();

/// Routes every selected cell of the order on `threads` threads, writes each group's progress
/// line ("  first/orderCount ends.") once the groups before it are finished, and leaves the
/// hourly means of every selected cell in `discharge`.
void routeCells(const RoutingRun& run, RoutingStates& states, HourlyDischarge& discharge,
                std::ostream& console, int threads);

}  // namespace runoff

#endif  // RUNOFF_RUNOFF_SIM_ROUTING_LOOP_H_
