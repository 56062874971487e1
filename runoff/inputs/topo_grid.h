// The topography grid: every cell's position, size and width, its topography from the four
// binary grids, the outer-ring flag, and the drainage links (down to the neighbour a cell
// drains into, up to the neighbours draining into it, in north-to-south, west-to-east order).
//
// Topography files under ./topoData/: modDem.bin (float32 elevation, m), flowDir.bin (int32
// direction code 1..8 clockwise from north, anything else: no downstream cell), flowAcc.bin
// (int32 cells draining through the cell), riverNum.bin (int32 basin number, negative: none).
// Each is topoRows x topoCols headerless little-endian 4-byte records, rows from the southern
// row to the northern row, each row from west to east.
#ifndef RUNOFF_INPUTS_TOPO_GRID_H_
#define RUNOFF_INPUTS_TOPO_GRID_H_

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

#include "common/params.h"
#include "common/status.h"
#include "runoff/inputs/grid_cell.h"

namespace runoff {

struct TopoGrid {
  std::int32_t rows = 0;
  std::int32_t cols = 0;
  std::vector<GridCell> cells;  // row-major, row 0 the northern row

  std::int32_t index(std::int32_t row, std::int32_t col) const { return row * cols + col; }
  GridCell& at(std::int32_t row, std::int32_t col) { return cells[index(row, col)]; }
  const GridCell& at(std::int32_t row, std::int32_t col) const { return cells[index(row, col)]; }
};

/// Where cell `index` stands in a raw grid file, whose rows run from the south: its position
/// in a grid of the discharge files (and of the topography inputs).
inline std::size_t filePosition(const TopoGrid& grid, std::int32_t index) {
  const std::int32_t row = index / grid.cols, col = index % grid.cols;
  return static_cast<std::size_t>(grid.rows - 1 - row) * grid.cols + col;
}

/// Position, size, width, elevation and edge flag of the cell at (row, col) of a grid of
/// `rows` x `cols` whose south-west corner lies at (swLat, swLon) degrees. Each step keeps a
/// fixed precision (single-precision sums, the half cell added in double, the cosine of
/// latitude taken with 3.14 for pi) because every routing constant derives from these
/// positions and widths: the same basin must give the same bits in every run and release.
void initCell(GridCell& cell, std::int32_t row, std::int32_t col, std::int32_t rows,
              std::int32_t cols, float swLat, float swLon, float elevation, float scale);

/// Clears the links: no direction (10), no down, no up, no rain cell.
void resetLinks(GridCell& cell);

/// Sets `down` of the cell at (row, col) from its flow direction, when that neighbour exists.
void linkDownstream(TopoGrid& grid, std::int32_t row, std::int32_t col);

/// Puts the cell into the first free slot of its downstream cell's `up` list.
void registerUpstream(TopoGrid& grid, std::int32_t cellIndex);

/// Number of filled `up` slots, counted from slot 0 to the first empty one.
void countUpstream(GridCell& cell);

/// Sizes `grid` and sets every cell's position, size, width and elevation from the elevation
/// records of `modDem`, with its links cleared. Fails on too few records.
Status fillElevation(TopoGrid& grid, const RunParameters& params, std::istream& modDem);

/// Reads direction, accumulation and river number of every cell and wires the links. Fails on
/// a stream with too few records and on a routed cell whose slope has no finite elevation.
Status fillLinks(TopoGrid& grid, std::istream& flowDir, std::istream& flowAcc,
                 std::istream& riverNum);

/// Opens the four files under ./topoData/ in the order modDem, flowDir, flowAcc, riverNum and
/// fills the grid. A file that cannot be opened gives "modDem.bin cannot open." (and so on), a
/// directory in its place "./topoData/modDem.bin is a directory, not a file.".
Status loadTopography(TopoGrid& grid, const RunParameters& params);

}  // namespace runoff

#endif  // RUNOFF_INPUTS_TOPO_GRID_H_
