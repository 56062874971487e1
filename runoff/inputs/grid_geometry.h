// Where the cells of the model grid lie on the earth: a regular latitude-longitude grid given
// by the outer south-west corner of its south-western cell and one square cell size in
// arc-seconds. Here rows count from 0 at the south and columns from 0 at the west, the order
// in which the grid files store them; cell edges are corner + k x cell, centres halfway.
#ifndef RUNOFF_INPUTS_GRID_GEOMETRY_H_
#define RUNOFF_INPUTS_GRID_GEOMETRY_H_

#include <cstdint>
#include <optional>

#include "common/params.h"
#include "common/status.h"

namespace runoff {

struct GridCellIndex {
  std::int32_t row = 0;  // from 0 at the south
  std::int32_t col = 0;  // from 0 at the west
};

struct GridGeometry {
  std::int32_t rows = 0;
  std::int32_t cols = 0;
  double west = 0;     // degrees east, the grid's western edge
  double south = 0;    // degrees north, the grid's southern edge
  double cellDeg = 0;  // cell size in degrees, the same in latitude and longitude

  /// The grid of the parameter file; refused when its rows reach beyond a pole.
  static Result<GridGeometry> fromParameters(const RunParameters& params);

  /// Western edge of column `k` (k = cols gives the eastern edge of the grid), degrees.
  double lonEdge(std::int64_t k) const { return west + static_cast<double>(k) * cellDeg; }
  /// Southern edge of row `k` (k = rows gives the northern edge of the grid), degrees.
  double latEdge(std::int64_t k) const { return south + static_cast<double>(k) * cellDeg; }
  double lonCentre(std::int64_t col) const { return west + (col + 0.5) * cellDeg; }
  double latCentre(std::int64_t row) const { return south + (row + 0.5) * cellDeg; }

  /// The cell that holds (lon, lat) in degrees, edges belonging to the cell east or north of
  /// them; nullopt outside the grid. A longitude is taken modulo 360, so -179.5 finds a grid
  /// that runs past 180.
  std::optional<GridCellIndex> cellAt(double lon, double lat) const;
};

}  // namespace runoff

#endif  // RUNOFF_INPUTS_GRID_GEOMETRY_H_
