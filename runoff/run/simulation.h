// A whole run's routing, window after window: the rain of each window read from the rainfall
// file, every routed cell taken through it, and its grids appended to the discharge files
// before the next window starts. Memory holds one window, whatever the length of the run.
#ifndef RUNOFF_RUN_SIMULATION_H_
#define RUNOFF_RUN_SIMULATION_H_

#include <cstdint>
#include <istream>
#include <ostream>
#include <vector>

#include "common/discharge_files.h"
#include "common/status.h"
#include "runoff/run/progress.h"
#include "runoff/inputs/rain_grid.h"
#include "runoff/routing/window_router.h"

namespace runoff {

struct SimulationRun {
  const RoutingRun& routing;
  RoutingStates& states;
  const std::vector<std::uint8_t>& selected;  // per grid cell: results are written for it
  std::int32_t days = 0;
  std::int32_t windowDays = 1;
  int threads = 1;
};

/// Routes days 1 to `days` in windows, reading the rain from `rainFile` (at its start) into
/// `rain` and appending every window's grids to `writer`; the group progress lines go to
/// `console`, the live line to `progress` when it is shown.
Status simulate(const SimulationRun& run, std::istream& rainFile, RainGrid& rain,
                DischargeWriter& writer, std::ostream& console, ProgressLine* progress);

}  // namespace runoff

#endif  // RUNOFF_RUN_SIMULATION_H_
