// The per-cell parameter grids of the soil and groundwater stores (runoff-sim --soil), under
// ./topoData/, each in the layout of runoff/inputs/parameter_grid.h (topoRows x topoCols
// little-endian float32 records, rows from the south). A cell that is not routed may hold
// anything; on every routed cell the value must be a finite number in the grid's range:
//
//   file               needed   valid range   unit
//   soilCapacity.bin   yes      above 0       mm: FC, the water the soil holds when full
//   percolation.bin    yes      0 or more     mm/h: K, percolation from a full soil
//   baseflowTime.bin   yes      above 0       hours: T, the groundwater's time constant
//
// kSoilGrids holds that table; whatever changes a grid's values (a calibration scaling it)
// keeps them inside its range.
#ifndef RUNOFF_INPUTS_SOIL_GRIDS_H_
#define RUNOFF_INPUTS_SOIL_GRIDS_H_

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/status.h"
#include "runoff/inputs/parameter_grid.h"
#include "runoff/inputs/topo_grid.h"
#include "runoff/model/soil.h"

namespace runoff {

/// The soil grids, in the order of kSoilGrids.
enum SoilGrid : std::size_t {
  kSoilCapacity,
  kPercolation,
  kBaseflowTime,
  kSoilGridCount,
};

struct SoilGridFile {
  const char* file;  // under ./topoData/
  GridRange range;   // valid on a routed cell
};

inline constexpr std::array<SoilGridFile, kSoilGridCount> kSoilGrids = {{
    {"soilCapacity.bin", {0, kUnbounded, true}},
    {"percolation.bin", {0, kUnbounded, false}},
    {"baseflowTime.bin", {0, kUnbounded, true}},
}};

/// The grid's file name without ".bin" ("soilCapacity"): the name a calibration gives the
/// factor it applies to the grid.
std::string soilGridName(SoilGrid grid);

/// `value` of `grid` times `factor`, kept inside the grid's valid range and rounded to float32
/// as the file holds it; a value that is not a number (a no-data cell) stays as it is.
float scaledSoilValue(SoilGrid grid, float value, double factor);

/// The soil grids of a run: plain arrays, one value per grid cell.
struct SoilGrids {
  // Per grid of kSoilGrids, per grid cell in TopoGrid order (row 0 the northern row).
  std::array<std::vector<float>, kSoilGridCount> values;
  std::uint64_t checksum = 0;  // soilGridsChecksum of the values, for the restart key

  /// The values of grid cell `index`.
  SoilParameters parametersOf(std::int32_t index) const;
};

/// FNV-1a of the values of the three grids, in the order of kSoilGrids, each as its
/// little-endian float32 records in file order.
std::uint64_t soilGridsChecksum(const SoilGrids& grids, const TopoGrid& topo);

/// Reads the three grids from `folder` (normally "./topoData/") for a grid of the size of
/// `topo`, and checks every value on the cells `selected` marks (per grid cell, in TopoGrid
/// order). Fails with one line on a grid that is missing or of another size, and on the first
/// value (from the south-west, row after row) that is not a number or lies outside its range,
/// naming the file, the column and row counted from 1 at the south-west, and the value.
Result<SoilGrids> loadSoilGrids(const TopoGrid& topo, const std::vector<std::uint8_t>& selected,
                                const std::string& folder = "./topoData/");

}  // namespace runoff

#endif  // RUNOFF_INPUTS_SOIL_GRIDS_H_
