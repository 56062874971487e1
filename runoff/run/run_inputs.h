// The run's set-up, from the parameters to a grid ready for routing: the river list, the
// rainfall and topography grids, the tie of every cell to its rainfall cell and the cells that
// are routed. The simulator, the benchmarks and the tests all build a run through here.
#ifndef RUNOFF_RUN_RUN_INPUTS_H_
#define RUNOFF_RUN_RUN_INPUTS_H_

#include <cstdint>
#include <fstream>
#include <ostream>
#include <vector>

#include "common/params.h"
#include "common/status.h"
#include "runoff/inputs/rain_grid.h"
#include "runoff/inputs/river_list.h"
#include "runoff/run/run_checks.h"
#include "runoff/inputs/topo_grid.h"

namespace runoff {

struct RunInputs {
  RiverList rivers;
  RainGrid rain;  // placed; its rainfall is read window by window
  TopoGrid topo;
  std::vector<std::uint8_t> selected;  // per grid cell: off the outer ring, of a listed river
};

enum class RainTies {
  kMapped,    // tie every cell to its rainfall cell through the mapping cache (made or read)
  kSupplied,  // leave the ties to the caller (a process that receives them from another)
};

/// Reads the river list ("Number of rivers for simulation : " and an empty line on `console`),
/// checks the grids fit `limit`, builds the rainfall grid with room for `windowDays` days,
/// loads the topography and ties every cell to its rainfall cell (the mapping cache's lines).
/// Files are found at their fixed paths under the working directory.
Result<RunInputs> loadRunInputs(const RunParameters& params, std::int32_t windowDays,
                                const MemoryLimit& limit, std::ostream& console,
                                RainTies ties = RainTies::kMapped);

}  // namespace runoff

#endif  // RUNOFF_RUN_RUN_INPUTS_H_
