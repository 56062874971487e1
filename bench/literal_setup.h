// The set-up steps of a run written out the plain way: the calculation order by the pairwise
// exchange procedure (every pair of cells compared), the nearest rainfall cell by visiting
// every rainfall cell for every topography cell, and the selection test as a linear search of
// the river list every time a cell is looked at. The
// set-up benchmark times them beside the simulator's own steps and checks the results agree.
// Quadratic or worse: only for grids of some 300 x 300 cells.
#ifndef RUNOFF_BENCH_LITERAL_SETUP_H_
#define RUNOFF_BENCH_LITERAL_SETUP_H_

#include <cmath>
#include <cstdint>
#include <vector>

#include "literal_exchange_order.h"
#include "literal_rain_search.h"
#include "runoff/inputs/calc_order.h"
#include "runoff/inputs/grid_cell.h"
#include "runoff/inputs/rain_grid.h"
#include "runoff/inputs/topo_grid.h"

namespace runoff::bench {

/// Every cell's flow accumulation sorted by the exchange procedure, then the groups of equal
/// positive values counted, sized and listed by scanning the sorted sequence.
inline CalculationOrder literalCalculationOrder(const TopoGrid& grid) {
  std::vector<std::int32_t> acc(grid.cells.size());
  for (std::size_t i = 0; i < acc.size(); ++i) acc[i] = grid.cells[i].flowAcc;
  const std::vector<std::int32_t> sorted = testing::literalExchangeOrder(acc);

  CalculationOrder order;
  std::int32_t last = 0;
  for (const std::int32_t p : sorted) {
    if (acc[p] > 0 && acc[p] != last) {
      ++order.groupCount;
      last = acc[p];
    }
  }
  order.groupSizes.assign(order.groupCount, 0);
  std::int32_t group = -1;
  for (const std::int32_t p : sorted) {
    if (acc[p] <= 0) continue;
    if (group < 0 || acc[p] != last) ++group;
    last = acc[p];
    ++order.groupSizes[group];
    ++order.orderCount;
    order.calcOrder.push_back({p / grid.cols, p % grid.cols});
  }
  return order;
}

/// Visits every rainfall cell, row 0 (south) first and column 0 first within a row, and keeps
/// the first strictly nearest centre in the plane of degrees. Sets the cell's `rainCell` and
/// returns its index in `rain`, or kNoCell when no distance falls below 1e29.
inline std::int32_t literalNearestRainCell(GridCell& cell, const RainGrid& rain) {
  std::vector<float> rowLat(rain.rows), colLon(rain.cols);
  for (std::int32_t k = 0; k < rain.rows; ++k) rowLat[k] = rain.cells[k * rain.cols].lat;
  for (std::int32_t l = 0; l < rain.cols; ++l) colLon[l] = rain.cells[l].lon;
  const RainLocator::Cell found =
      testing::exhaustiveNearest(rowLat, colLon, static_cast<double>(cell.latSec) / 3600,
                                 static_cast<double>(cell.lonSec) / 3600);
  if (found.row < 0) return kNoCell;
  cell.rainCell = found.row * rain.cols + found.col;
  return cell.rainCell;
}

/// The selection test: an edge cell never; otherwise search the list from its first entry.
inline bool literalSelected(const GridCell& cell, const std::vector<std::int32_t>& riverList) {
  if (cell.isEdge == 1) return false;
  for (const std::int32_t river : riverList) {
    if (river == cell.riverNum) return true;
  }
  return false;
}

struct LiteralSelection {
  std::vector<std::uint8_t> selected;  // per cell, row-major, from the first output grid
  std::int64_t tests = 0;              // selection tests made
  std::int64_t hits = 0;               // of them, tests that selected the cell
};

/// Every selection test of a run of `days` days: one per calculation-order entry in the
/// routing loop, then for every cell of every output grid (per day one test for the two daily
/// grids together, and one for each of the 24 hourly grids), rows from the south.
inline LiteralSelection literalSelectionTests(const TopoGrid& grid, const CalculationOrder& order,
                                              const std::vector<std::int32_t>& riverList,
                                              std::int32_t days) {
  LiteralSelection result;
  result.selected.assign(grid.cells.size(), 0);
  for (const CellIndex& entry : order.calcOrder) {
    ++result.tests;
    if (literalSelected(grid.at(entry.row, entry.col), riverList)) ++result.hits;
  }
  for (std::int32_t d = 0; d < days; ++d) {
    for (int pass = 0; pass < 25; ++pass) {  // the daily grids, then hours 1 to 24
      for (std::int32_t r = grid.rows - 1; r >= 0; --r) {
        for (std::int32_t c = 0; c < grid.cols; ++c) {
          ++result.tests;
          if (!literalSelected(grid.at(r, c), riverList)) continue;
          ++result.hits;
          if (d == 0 && pass == 0) result.selected[grid.index(r, c)] = 1;
        }
      }
    }
  }
  return result;
}

}  // namespace runoff::bench

#endif  // RUNOFF_BENCH_LITERAL_SETUP_H_
