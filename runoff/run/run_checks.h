// Checks made before a step commits to a long or large piece of work, so that a run that
// cannot finish stops at once with one line instead of crashing or losing its results.
#ifndef RUNOFF_RUN_RUN_CHECKS_H_
#define RUNOFF_RUN_RUN_CHECKS_H_

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "common/params.h"
#include "common/status.h"
#include "runoff/inputs/topo_grid.h"

namespace runoff {

/// The memory a run may take, and how a refusal names it.
struct MemoryLimit {
  std::uint64_t bytes = 0;
  std::string name;  // "the memory of this machine", or the limit that was set
};

/// The physical memory of this machine, or less when the environment variable
/// RUNOFF_MEMORY_LIMIT gives a limit: a whole number of bytes, optionally followed by K, M, G
/// or T (powers of 1024), as a batch job's memory request is given. Fails on any other text.
Result<MemoryLimit> memoryLimit();

/// Refuses grids whose cell counts overflow the indices or whose arrays cannot fit in
/// `limit`.
Status checkGridSizes(const RunParameters& params, const MemoryLimit& limit);

/// Refuses a routing whose states, window grids and histories cannot fit in `limit` when it
/// is routed in windows of `windowDays` days; `waterBudget` when it also counts the volumes of
/// a water budget; `lossBytes` per cell for the state of rainfall losses.
Status checkRoutingMemory(const TopoGrid& grid, const RunParameters& params,
                          std::int32_t windowDays, const MemoryLimit& limit,
                          bool waterBudget = false, std::size_t lossBytes = 0);

/// Refuses a run whose discharge files need more than `freeBytes`.
Status checkFreeSpace(std::uint64_t freeBytes, std::uint64_t neededBytes);

/// The same for the file system holding ./output, for files of `neededBytes` (a run that
/// cannot learn its free space is let go: the writes will report a full disk).
Status checkOutputSpace(std::uint64_t neededBytes);

/// "./output" must exist and accept files before hours of routing start.
Status checkOutputDirectory();

/// Removes the temporaries of the files at `paths` that runs which ended abnormally left (see
/// common/stale_temporaries.h) and, when there were any, names them in one line on `console`.
void clearStaleTemporaries(const std::vector<std::string>& paths, std::ostream& console);

/// Bytes of physical memory of this machine (a large value when unknown).
std::uint64_t physicalMemoryBytes();

}  // namespace runoff

#endif  // RUNOFF_RUN_RUN_CHECKS_H_
