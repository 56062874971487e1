// A per-cell parameter grid under ./topoData/ (the loss and the soil grids): one float32 value
// per grid cell, checked on the cells a run routes. Cells that are not routed may hold
// anything (a no-data value, NaN); on a routed cell the value must be a finite number in the
// grid's range.
//
// File layout, as modDem.bin: topoRows x topoCols headerless little-endian float32 records,
// rows from the southern row to the northern row, each row from west to east.
#ifndef RUNOFF_INPUTS_PARAMETER_GRID_H_
#define RUNOFF_INPUTS_PARAMETER_GRID_H_

#include <cmath>
#include <cstdint>
#include <istream>
#include <limits>
#include <string>
#include <vector>

#include "common/status.h"
#include "runoff/inputs/topo_grid.h"

namespace runoff {

inline constexpr double kUnbounded = std::numeric_limits<double>::infinity();

/// The values a grid accepts on a routed cell: from `min` (itself excluded when `minOpen`) to
/// `max`, both finite or max kUnbounded.
struct GridRange {
  double min = 0;
  double max = kUnbounded;
  bool minOpen = false;

  bool accepts(double value) const {
    return std::isfinite(value) && (minOpen ? value > min : value >= min) && value <= max;
  }
  /// The range in words, as a refusal ends: "a number of 0 or more", "a number above 0",
  /// "from 1 to 100".
  std::string text() const;
};

/// `value` times `factor`, kept inside `range` (a value at an open lower end becomes the
/// smallest float32 above it) and rounded to float32 as the file holds it; a value that is not
/// a number (a no-data cell) stays as it is.
float scaledGridValue(const GridRange& range, float value, double factor);

/// Reads the grid of the size of `topo` from `in`, opened from `path`, into `values` (one per
/// grid cell in TopoGrid order, row 0 the northern row), and checks the cells `selected` marks
/// (per grid cell, TopoGrid order). Fails with one line on a file of another size and on the
/// first value (from the south-west, row after row) that is not a number or lies outside
/// `range`, naming the file, the column and row counted from 1 at the south-west, and the value.
Status readParameterGrid(std::istream& in, const std::string& path, const GridRange& range,
                         const TopoGrid& topo, const std::vector<std::uint8_t>& selected,
                         std::vector<float>& values);

/// FNV-1a of `values` (TopoGrid order, or empty for zeros) as the little-endian float32 records
/// of the file, rows from the south, continuing from `hash`.
std::uint64_t parameterGridHash(const std::vector<float>& values, const TopoGrid& topo,
                                std::uint64_t hash);

}  // namespace runoff

#endif  // RUNOFF_INPUTS_PARAMETER_GRID_H_
