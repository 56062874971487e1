#include "runoff/inputs/grid_geometry.h"

#include <cmath>
#include <sstream>

namespace runoff {
namespace {

// Index of the cell between edges edge(k) and edge(k + 1) that holds `offset` degrees from the
// first edge; -1 outside 0 .. count. The division may land one cell off at an edge; the edges
// themselves decide.
template <typename Edge>
std::int64_t indexAlong(double value, std::int64_t count, double cellDeg, Edge edge) {
  if (!std::isfinite(value) || value < edge(0) || value >= edge(count)) return -1;
  std::int64_t k = static_cast<std::int64_t>(std::floor((value - edge(0)) / cellDeg));
  if (k >= count) k = count - 1;
  if (k < 0) k = 0;
  while (k + 1 < count && value >= edge(k + 1)) ++k;
  while (k > 0 && value < edge(k)) --k;
  return k;
}

}  // namespace

Result<GridGeometry> GridGeometry::fromParameters(const RunParameters& params) {
  GridGeometry grid;
  grid.rows = params.topoRows;
  grid.cols = params.topoCols;
  grid.west = params.topoSwLon;
  grid.south = params.topoSwLat;
  grid.cellDeg = static_cast<double>(params.topoScale) / 3600.0;
  const double north = grid.latEdge(grid.rows);
  if (grid.south < -90.0 || north > 90.0) {
    std::ostringstream line;
    line << "The grid reaches beyond a pole: its rows span latitudes " << grid.south << " to "
         << north << ".";
    return Status::invalid(line.str());
  }
  return grid;
}

std::optional<GridCellIndex> GridGeometry::cellAt(double lon, double lat) const {
  if (!std::isfinite(lon)) return std::nullopt;
  // Bring the longitude into the 360 degrees that start at the western edge.
  double turned = std::fmod(lon - west, 360.0);
  if (turned < 0) turned += 360.0;
  const std::int64_t col =
      indexAlong(west + turned, cols, cellDeg, [this](std::int64_t k) { return lonEdge(k); });
  const std::int64_t row =
      indexAlong(lat, rows, cellDeg, [this](std::int64_t k) { return latEdge(k); });
  if (col < 0 || row < 0) return std::nullopt;
  return GridCellIndex{static_cast<std::int32_t>(row), static_cast<std::int32_t>(col)};
}

}  // namespace runoff
