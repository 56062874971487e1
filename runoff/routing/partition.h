// Which process routes which cell. The routed cells form a forest along the drainage: every
// cell feeds at most one cell, so whole trees (river basins, or the parts of one that are
// routed) can go to different processes without any message between them. Trees are cut only
// where one is larger than a process's share of the work, and then at tributary junctions, so
// that a cut edge carries the outflow of a whole tributary.
#ifndef RUNOFF_ROUTING_PARTITION_H_
#define RUNOFF_ROUTING_PARTITION_H_

#include <cstdint>
#include <vector>

#include "runoff/routing/routing_plan.h"

namespace runoff {

struct Partition {
  std::int32_t ranks = 1;
  std::vector<std::int32_t> owner;  // per task of the plan: the rank that routes it
  std::vector<std::int64_t> work;   // per rank: tasks it routes (every task costs the same)
  std::int32_t pieces = 0;          // connected parts the forest was cut into
  std::int32_t cutEdges = 0;        // feeder and consumer on different ranks
};

/// Places every task of `plan` on one of `ranks` ranks (see the comment at the top of
/// partition.cpp for how). Deterministic: every rank computes the same partition.
Partition partitionByDrainage(const RoutingPlan& plan, std::int32_t ranks);

/// The rank that routes each of `cells` (grid indices of cells of `plan`, in any order).
std::vector<std::int32_t> ownersOfCells(const Partition& partition, const RoutingPlan& plan,
                                        const std::vector<std::int32_t>& cells);

/// Per grid cell of a grid of `gridCells` cells: 1 for the cells `rank` routes.
std::vector<std::uint8_t> cellsOfRank(const Partition& partition, const RoutingPlan& plan,
                                      std::int32_t rank, std::size_t gridCells);

}  // namespace runoff

#endif  // RUNOFF_ROUTING_PARTITION_H_
