#include "runoff/inputs/topo_grid.h"

#include <cmath>
#include <fstream>

#include "common/binary_grid.h"
#include "common/input_file.h"

namespace runoff {

void initCell(GridCell& cell, std::int32_t row, std::int32_t col, std::int32_t rows,
              std::int32_t cols, float swLat, float swLon, float elevation, float scale) {
  cell.scale = scale;
  const double halfCell = 0.5 * static_cast<double>(scale);

  float southEdge = swLat * 3600.0f + scale * static_cast<float>(rows - row - 1);
  cell.latSec = static_cast<float>(static_cast<double>(southEdge) + halfCell);
  float westEdge = swLon * 3600.0f + scale * static_cast<float>(col);
  cell.lonSec = static_cast<float>(static_cast<double>(westEdge) + halfCell);

  float northSouth = static_cast<float>(kMetresPerArcSec * static_cast<double>(scale));
  float cosLat = static_cast<float>(std::cos(static_cast<double>(cell.latSec) / 3600 / 180 * 3.14));
  cell.widthX = northSouth * cosLat;

  cell.elev = elevation;
  cell.isEdge = (row == 0 || row == rows - 1 || col == 0 || col == cols - 1) ? 1 : 0;
}

void resetLinks(GridCell& cell) {
  cell.flowDir = kNoDirection;
  cell.down = kNoCell;
  cell.up.fill(kNoCell);
  cell.rainCell = kNoCell;
}

void linkDownstream(TopoGrid& grid, std::int32_t row, std::int32_t col) {
  // Neighbour offsets for codes 1..8, clockwise from north; row 0 is the northern row.
  static constexpr std::int32_t kRowStep[9] = {0, -1, -1, 0, 1, 1, 1, 0, -1};
  static constexpr std::int32_t kColStep[9] = {0, 0, 1, 1, 1, 0, -1, -1, -1};
  GridCell& cell = grid.at(row, col);
  if (cell.flowDir < 1 || cell.flowDir > 8) return;
  std::int32_t r = row + kRowStep[cell.flowDir];
  std::int32_t c = col + kColStep[cell.flowDir];
  if (r < 0 || r >= grid.rows || c < 0 || c >= grid.cols) return;
  cell.down = grid.index(r, c);
}

void registerUpstream(TopoGrid& grid, std::int32_t cellIndex) {
  GridCell& downCell = grid.cells[grid.cells[cellIndex].down];
  for (std::int32_t& slot : downCell.up) {
    if (slot == kNoCell) {
      slot = cellIndex;
      return;
    }
  }
}

void countUpstream(GridCell& cell) {
  cell.upCount = 0;
  while (cell.upCount < kUpSlots && cell.up[cell.upCount] != kNoCell) ++cell.upCount;
}

namespace {

Status tooShort(const char* name, const TopoGrid& grid) {
  return Status::invalid(std::string("./topoData/") + name + " is too short: it must hold " +
                         std::to_string(static_cast<std::int64_t>(grid.rows) * grid.cols) +
                         " records of 4 bytes.");
}

}  // namespace

Status fillElevation(TopoGrid& grid, const RunParameters& params, std::istream& modDem) {
  grid.rows = params.topoRows;
  grid.cols = params.topoCols;
  const std::size_t n = static_cast<std::size_t>(grid.rows) * grid.cols;
  grid.cells.assign(n, GridCell{});

  // Records run from the southern row; the grid's row 0 is the northern row. Each file is read
  // whole before any cell takes its values, so a short file leaves no cell half filled.
  std::vector<float> elevation(n);
  if (!readFloatRecords(modDem, elevation)) return tooShort("modDem.bin", grid);
  const float swLat = static_cast<float>(params.topoSwLat);
  const float swLon = static_cast<float>(params.topoSwLon);
  std::size_t p = 0;
  for (std::int32_t r = grid.rows - 1; r >= 0; --r) {
    for (std::int32_t c = 0; c < grid.cols; ++c, ++p) {
      GridCell& cell = grid.at(r, c);
      initCell(cell, r, c, grid.rows, grid.cols, swLat, swLon, elevation[p], params.topoScale);
      resetLinks(cell);
    }
  }
  return {};
}

Status fillLinks(TopoGrid& grid, std::istream& flowDir, std::istream& flowAcc,
                 std::istream& riverNum) {
  const std::size_t n = grid.cells.size();
  std::vector<std::int32_t> dir(n), acc(n), river(n);
  if (!readIntRecords(flowDir, dir)) return tooShort("flowDir.bin", grid);
  if (!readIntRecords(flowAcc, acc)) return tooShort("flowAcc.bin", grid);
  if (!readIntRecords(riverNum, river)) return tooShort("riverNum.bin", grid);
  std::size_t p = 0;
  for (std::int32_t r = grid.rows - 1; r >= 0; --r) {
    for (std::int32_t c = 0; c < grid.cols; ++c, ++p) {
      GridCell& cell = grid.at(r, c);
      cell.flowDir = dir[p];
      cell.flowAcc = acc[p];
      cell.riverNum = river[p];
      if (cell.riverNum >= 0) linkDownstream(grid, r, c);
    }
  }

  // Upstream lists fill in scan order, north to south and west to east; routing sums the
  // inflows in that slot order.
  for (std::int32_t i = 0; i < static_cast<std::int32_t>(n); ++i) {
    const GridCell& cell = grid.cells[i];
    if (cell.riverNum >= 0 && cell.isEdge != 1 && cell.flowDir != 0 && cell.down != kNoCell) {
      registerUpstream(grid, i);
    }
  }
  for (GridCell& cell : grid.cells) {
    if (cell.takesPart()) countUpstream(cell);
  }

  // A routed cell's slope comes from its own elevation and that of the cell it drains into;
  // an elevation that is not a finite number would make every discharge below it NaN.
  for (std::int32_t r = 0; r < grid.rows; ++r) {
    for (std::int32_t c = 0; c < grid.cols; ++c) {
      const GridCell& cell = grid.at(r, c);
      if (!cell.takesPart()) continue;
      std::int32_t bad = std::isfinite(cell.elev) ? kNoCell : grid.index(r, c);
      if (bad == kNoCell && cell.down != kNoCell && !std::isfinite(grid.cells[cell.down].elev)) {
        bad = cell.down;
      }
      if (bad != kNoCell) {
        return Status::invalid("./topoData/modDem.bin: the elevation at column " +
                               std::to_string(bad % grid.cols + 1) + ", row " +
                               std::to_string(grid.rows - bad / grid.cols) +
                               " (counted from 1 at the south-west) is not a finite number.");
      }
    }
  }
  return {};
}

namespace {

// Opens ./topoData/<name>. A missing file keeps its short line; a directory in its place is
// named as one, not read as a grid too short.
Status openGrid(std::ifstream& in, const char* name) {
  const std::string path = std::string("./topoData/") + name;
  const InputFault fault = openInputFile(in, path, std::ios::binary);
  if (fault == InputFault::kDirectory) return inputFailure(path, fault);
  if (fault != InputFault::kNone) return Status::cannotOpen(std::string(name) + " cannot open.");
  return {};
}

}  // namespace

Status loadTopography(TopoGrid& grid, const RunParameters& params) {
  std::ifstream dem;
  if (Status opened = openGrid(dem, "modDem.bin"); !opened.ok()) return opened;
  if (Status filled = fillElevation(grid, params, dem); !filled.ok()) return filled;
  dem.close();
  std::ifstream dir, acc, river;
  if (Status opened = openGrid(dir, "flowDir.bin"); !opened.ok()) return opened;
  if (Status opened = openGrid(acc, "flowAcc.bin"); !opened.ok()) return opened;
  if (Status opened = openGrid(river, "riverNum.bin"); !opened.ok()) return opened;
  return fillLinks(grid, dir, acc, river);
}

}  // namespace runoff
