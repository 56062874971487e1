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

}  // namespace runoff

#endif  // RUNOFF_ROUTING_ROUTED_LAKE_H_
