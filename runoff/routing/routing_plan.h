// Which routed cell depends on which, and in what order to route them so that few outflow
// histories wait in memory at once.
//
// A routed cell (selected and in the calculation order) takes the outflow of an upstream cell
// only when that cell is routed too and comes earlier in the calculation order; a later one
// still holds zeros when the plain cell-by-cell loop reaches the cell. Those links form a
// forest: every cell feeds at most its one downstream cell. Any order that routes each cell
// after its feeders gives the same numbers; the plan uses a post-order that descends first
// into the subtree needing the most histories at once, which keeps the waiting set near the
// minimum (a logarithm of the basin size for a branching network).
#ifndef RUNOFF_ROUTING_ROUTING_PLAN_H_
#define RUNOFF_ROUTING_ROUTING_PLAN_H_

#include <cstdint>
#include <span>
#include <vector>

#include "runoff/inputs/calc_order.h"
#include "runoff/inputs/topo_grid.h"

namespace runoff {

/// Tasks are numbered in the preferred routing order; every feeder has a smaller number than
/// the cell it feeds.
struct RoutingPlan {
  std::vector<std::int32_t> cell;       // per task: grid index of the routed cell
  std::vector<std::int32_t> consumer;   // per task: the task it feeds, or -1
  std::vector<std::int32_t> feedStart;  // per task: its feeders are feeders[feedStart[t] ..
  std::vector<std::int32_t> feeders;    //   feedStart[t + 1]), in upstream slot order
  std::vector<std::int32_t> group;      // per task: its group of the calculation order
  std::vector<std::int32_t> routedInGroup;  // per group: routed cells in it
  std::int32_t peakWaiting = 0;  // histories held at once when routed in task order

  std::int32_t size() const { return static_cast<std::int32_t>(cell.size()); }
  std::span<const std::int32_t> feedersOf(std::int32_t task) const {
    return {feeders.data() + feedStart[task],
            static_cast<std::size_t>(feedStart[task + 1] - feedStart[task])};
  }
};

/// Plans the routing of the selected cells (`selected` per grid cell) of `order`.
RoutingPlan planRouting(const TopoGrid& grid, const CalculationOrder& order,
                        const std::vector<std::uint8_t>& selected);

}  // namespace runoff

#endif  // RUNOFF_ROUTING_ROUTING_PLAN_H_
