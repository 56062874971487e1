// A lake while the run routes it: its constants, its level pool, what holds for each hour of
// the window being routed (the release of a reservoir, the potential evaporation) and the
// hourly record it leaves for the lake series. The router passes each hour of the lake's
// outlet cell through it (runoff/model/lake.h): the cell's sub-step outflows go in, the lake's
// come out and travel downstream in their place, and the lake's hourly mean outflow is the
// cell's hourly value in the grids.
#ifndef RUNOFF_ROUTING_ROUTED_LAKE_H_
#define RUNOFF_ROUTING_ROUTED_LAKE_H_

#include <cstdint>
#include <vector>

#include "runoff/inputs/pet_grid.h"
#include "runoff/inputs/topo_grid.h"
#include "runoff/model/lake.h"

namespace runoff {

struct RoutedLake {
  LakeParameters parameters;
  std::int32_t cell = -1;  // grid index of its outlet cell (row 0 the northern row)
  LakeState state;
  double startStorage = 0;  // m^3, where the water budget starts
  // Per hour index of the window: the prescribed release (m^3/s, releases rule; 0 before the
  // series' first value) and the potential evaporation (mm/h). Empty for 0 throughout.
  std::vector<double> release;
  std::vector<double> evaporation;
  std::vector<LakeHour> hours;  // per hour index of the window, as routed
};

/// Fills the evaporation of every lake that evaporates (a non-empty `evaporation`) for the
/// window of `days` days from day `firstDay` (from 1): each hour the PET of the rainfall cell of
/// the lake's outlet cell. The lake takes the PET of the place where its water leaves, as the
/// cells around it take theirs.
void setLakeEvaporation(std::vector<RoutedLake>& lakes, const TopoGrid& topo, const PetSource& pet,
                        std::int32_t firstDay, std::int32_t days);

}  // namespace runoff

#endif  // RUNOFF_ROUTING_ROUTED_LAKE_H_
