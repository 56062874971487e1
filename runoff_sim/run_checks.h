// Checks made before a step commits to a long or large piece of work, so that a run that
// cannot finish stops at once with one line instead of crashing or losing its results.
#ifndef RUNOFF_RUNOFF_SIM_RUN_CHECKS_H_
#define RUNOFF_RUNOFF_SIM_RUN_CHECKS_H_

#include <cstdint>
#include <string>

#include "common/params.h"
#include "common/status.h"
#include "runoff_sim/topo_grid.h"

namespace runoff {

/// Refuses grids whose cell counts overflow the indices or whose arrays cannot fit in this
/// machine's memory.
Status checkGridSizes(const RunParameters& params);

/// Refuses a routing whose states and histories cannot fit in this machine's memory.
Status checkRoutingMemory(const TopoGrid& grid, const RunParameters& params);

/// "./output" must exist and accept files before hours of routing start.
Status checkOutputDirectory();

/// Bytes of physical memory of this machine (a large value when unknown).
std::uint64_t physicalMemoryBytes();

}  // namespace runoff

#endif  // RUNOFF_RUNOFF_SIM_RUN_CHECKS_H_
