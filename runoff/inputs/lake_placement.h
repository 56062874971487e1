// Lakes placed on the river network. A lake's outlet is placed on a routed cell by the rule
// that places gauges (gauge_snap.h), with the same reach: all the water reaching that cell
// enters the lake. A cell holds one lake at most.
#ifndef RUNOFF_INPUTS_LAKE_PLACEMENT_H_
#define RUNOFF_INPUTS_LAKE_PLACEMENT_H_

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/status.h"
#include "runoff/inputs/gauge_snap.h"
#include "runoff/inputs/grid_geometry.h"
#include "runoff/inputs/lake_list.h"

namespace runoff {

/// The cell of each lake's outlet, in the order of `lakes`; `flowAcc` and `firstHour` as for
/// snapGauges. Refuses, naming it, the first lake outside the grid or without a routed cell
/// within `snap` cells, and the second of two lakes placed on one cell.
Result<std::vector<SnappedGauge>> placeLakes(const std::vector<Lake>& lakes,
                                             const GridGeometry& grid,
                                             std::span<const std::int32_t> flowAcc,
                                             std::span<const float> firstHour, std::int32_t snap);

/// The console line of a placed lake: Lake "Norris": column 12, row 3, flow accumulation 840.
std::string lakePlacementLine(const SnappedGauge& lake);

}  // namespace runoff

#endif  // RUNOFF_INPUTS_LAKE_PLACEMENT_H_
