// The calculation order: every cell with a positive flow accumulation, in ascending flow
// accumulation, cut into groups of equal value. Routing a cell needs the finished outflow of
// the cells draining into it, and those have smaller accumulation when the grid is consistent.
//
// Cache, two text files keyed by the topography grid's size and corner:
//   "./temp/numOfBasin.dat", one value a line: topoCols, topoRows (integers), topoSwLon,
//     topoSwLat (doubles, 15 significant digits), groupCount, orderCount, then groupSizes[0]
//     .. groupSizes[groupCount-1].
//   "./temp/orderedCell.dat", orderCount lines "flowAcc row col" (row 0 the northern row).
// A cache is used only when its key equals the current grid and its contents still describe
// the current flow accumulation (every count, size, index and value checked); otherwise both
// files are rebuilt.
#ifndef RUNOFF_INPUTS_CALC_ORDER_H_
#define RUNOFF_INPUTS_CALC_ORDER_H_

#include <cstdint>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "common/params.h"
#include "common/status.h"
#include "runoff/inputs/topo_grid.h"

namespace runoff {

inline constexpr const char* kGroupCachePath = "./temp/numOfBasin.dat";
inline constexpr const char* kOrderCachePath = "./temp/orderedCell.dat";

struct CellIndex {
  std::int32_t row = 0;
  std::int32_t col = 0;
  bool operator==(const CellIndex&) const = default;
};

struct CalculationOrder {
  std::int32_t groupCount = 0;
  std::vector<std::int32_t> groupSizes;
  std::int32_t orderCount = 0;
  std::vector<CellIndex> calcOrder;
  bool operator==(const CalculationOrder&) const = default;
};

/// Orders the cells of `grid` by flow accumulation, reading nothing else of them.
CalculationOrder buildCalculationOrder(const TopoGrid& grid);

/// The order as stored in the two cache streams; nullopt when the key differs or the contents
/// do not describe `grid`.
std::optional<CalculationOrder> readOrderCache(std::istream& groups, std::istream& cells,
                                               const RunParameters& params, const TopoGrid& grid);

/// Key test alone: does the group file name this grid's size and corner?
bool orderCacheKeyMatches(std::istream& groups, const RunParameters& params);

void writeGroupCache(std::ostream& out, const RunParameters& params, const CalculationOrder& order);
void writeOrderedCells(std::ostream& out, const TopoGrid& grid, const CalculationOrder& order);

/// The order step of a run, with its console lines: reads the cache or builds the order and
/// writes the cache. Fails when a cached key is valid but its cell list cannot be opened; a
/// directory in the place of either file is a cache that cannot be read, and is rebuilt.
Status obtainCalculationOrder(const TopoGrid& grid, const RunParameters& params,
                              CalculationOrder& order, std::ostream& console);

}  // namespace runoff

#endif  // RUNOFF_INPUTS_CALC_ORDER_H_
