// Ties every topography cell to its nearest rainfall cell, and keeps that mapping in a cache so
// that later runs on the same rainfall grid read it instead of searching again.
//
// Cache "./temp/setROFCell.dat", text, one value or record per line:
//   1 rainCols  2 rainRows  (integers)
//   3 rainDx  4 rainDy  5 rainSwLon  6 rainSwLat  (doubles, 15 significant digits)
//   7.. one line per topography cell, rows 0 (north) to topoRows-1, columns 0 to topoCols-1:
//       "topoRow topoCol rainRow rainCol", 0-based, single blanks.
// Lines 1-6 are the key. A cache is used only when its key equals the current rainfall grid
// (each double within the smallest normal double, i.e. equal), every cell line is present,
// numeric, names its own cell and a rainfall cell inside the grid, and five sample cells (the
// four corners and the centre) agree with a fresh search; otherwise it is rebuilt.
#ifndef RUNOFF_INPUTS_RAIN_MAPPING_H_
#define RUNOFF_INPUTS_RAIN_MAPPING_H_

#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "common/params.h"
#include "common/status.h"
#include "runoff/inputs/rain_grid.h"
#include "runoff/inputs/rain_locator.h"
#include "runoff/inputs/topo_grid.h"

namespace runoff {

inline constexpr const char* kMappingCachePath = "./temp/setROFCell.dat";

/// Sets `rainCell` of the topography cell to its nearest rainfall cell and returns that cell's
/// (row, column); {-1, -1} when no rainfall cell is within reach.
RainLocator::Cell findNearestRainCell(GridCell& cell, const RainLocator& locator,
                                      const RainGrid& rain);

/// Sets `rainCell` of the topography cell to rain cell (row, column).
void setRainCell(GridCell& cell, const RainGrid& rain, std::int32_t row, std::int32_t column);

/// A locator over the centres of `rain`.
RainLocator makeRainLocator(const RainGrid& rain);

/// The rainfall cell of every topography cell, as read from a cache stream; nullopt when the
/// cache does not fit (see the file comment).
std::optional<std::vector<RainLocator::Cell>> readMappingCache(std::istream& in,
                                                               const RunParameters& params,
                                                               const TopoGrid& topo,
                                                               const RainLocator& locator);

/// Writes the whole cache for the mapping already set in `topo`.
/// The cache's key, its first six lines: the rainfall grid's counts, spacing and corner.
void writeMappingCacheKey(std::ostream& out, const RunParameters& params);
void writeMappingCache(std::ostream& out, const RunParameters& params, const TopoGrid& topo,
                       const RainGrid& rain);

/// The mapping step of a run: reads the cache at kMappingCachePath or makes the mapping and
/// writes the cache, with the console lines of either path on `console`. Fails when a cell has
/// no rainfall cell within reach; a cache that cannot be written is only reported.
Status mapCellsToRain(TopoGrid& topo, const RainGrid& rain, const RunParameters& params,
                      std::ostream& console);

}  // namespace runoff

#endif  // RUNOFF_INPUTS_RAIN_MAPPING_H_
