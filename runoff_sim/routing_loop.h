// The routing loop: group by group of the calculation order, every selected cell through the
// whole period before the next, each taking its inflow from the finished outflow of the
// upstream cells routed before it.
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

/// Routes every selected cell of the order, writing the progress line of each group on
/// `console`, and leaves the hourly means of every selected cell in `discharge`.
void routeCells(const RoutingRun& run, RoutingStates& states, HourlyDischarge& discharge,
                std::ostream& console);

}  // namespace runoff

#endif  // RUNOFF_RUNOFF_SIM_ROUTING_LOOP_H_
