// The per-cell parameter grids of the rainfall loss methods, under ./topoData/: the grids of
// the chosen method, and the impervious fraction that every method reads.
//
// File layout, as modDem.bin (runoff/inputs/parameter_grid.h): topoRows x topoCols headerless
// little-endian float32 records, rows from the southern row to the northern row, each row from
// west to east. A cell that is not routed may hold anything (a no-data value, NaN); on every
// cell that is routed (off the outer ring, of a listed river) the value must be a finite number
// in the grid's range:
//
//   file                  method       needed     valid range   unit
//   impervious.bin        every one    optional   0 to 1        fraction of the cell that
//                                                               loses nothing (absent: 0)
//   initialLoss.bin       constant     yes        0 or more     mm
//   constantLoss.bin      constant     yes        0 or more     mm/h
//   lossRecovery.bin      constant     optional   0 or more     mm/day (absent: 0)
//   curveNumber.bin       scs-cn       yes        1 to 100      -
//   ksat.bin              green-ampt   yes        0 or more     mm/h (Ks)
//   suction.bin           green-ampt   yes        0 or more     mm (wetting-front suction)
//   moistureDeficit.bin   green-ampt   yes        0 to 1        - (theta_s - theta_i)
//
// kLossGrids holds that table; whatever changes a grid's values (a calibration scaling it)
// keeps them inside its range.
#ifndef RUNOFF_INPUTS_LOSS_GRIDS_H_
#define RUNOFF_INPUTS_LOSS_GRIDS_H_

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/status.h"
#include "runoff/inputs/parameter_grid.h"
#include "runoff/inputs/topo_grid.h"
#include "runoff/model/losses.h"

namespace runoff {

/// The loss grids, in the order of kLossGrids.
enum LossGrid : std::size_t {
  kImpervious,
  kInitialLoss,
  kConstantLoss,
  kLossRecovery,
  kCurveNumber,
  kKsat,
  kSuction,
  kMoistureDeficit,
  kLossGridCount,
};

struct LossGridFile {
  const char* file;   // under ./topoData/
  LossMethod method;  // the method that reads it; kNone: every method
  bool required;      // else absent means 0 on every cell
  double min;         // valid range on a routed cell, inclusive
  double max;

  GridRange range() const { return {min, max, false}; }
};

inline constexpr std::array<LossGridFile, kLossGridCount> kLossGrids = {{
    {"impervious.bin", LossMethod::kNone, false, 0, 1},
    {"initialLoss.bin", LossMethod::kConstant, true, 0, kUnbounded},
    {"constantLoss.bin", LossMethod::kConstant, true, 0, kUnbounded},
    {"lossRecovery.bin", LossMethod::kConstant, false, 0, kUnbounded},
    {"curveNumber.bin", LossMethod::kScsCurveNumber, true, 1, 100},
    {"ksat.bin", LossMethod::kGreenAmpt, true, 0, kUnbounded},
    {"suction.bin", LossMethod::kGreenAmpt, true, 0, kUnbounded},
    {"moistureDeficit.bin", LossMethod::kGreenAmpt, true, 0, 1},
}};

/// True when `method` reads `grid`.
inline bool readsLossGrid(LossMethod method, LossGrid grid) {
  const LossMethod owner = kLossGrids[grid].method;
  return method != LossMethod::kNone && (owner == LossMethod::kNone || owner == method);
}

/// The grid's file name without ".bin" ("curveNumber"): the name a calibration gives the
/// factor it applies to the grid.
std::string lossGridName(LossGrid grid);

/// `value` of `grid` times `factor`, kept inside the grid's valid range and rounded to float32
/// as the file holds it; a value that is not a number (a no-data cell) stays as it is.
float scaledLossValue(LossGrid grid, float value, double factor);

/// The loss grids of a run: plain arrays, one value per grid cell.
struct LossGrids {
  LossMethod method = LossMethod::kNone;
  // Per grid of kLossGrids, per grid cell in TopoGrid order (row 0 the northern row): the
  // values; empty for a grid the method does not read, or an optional one that is absent.
  std::array<std::vector<float>, kLossGridCount> values;
  std::uint64_t checksum = 0;  // lossGridsChecksum of the values, for the restart key

  /// The values of grid cell `index` (0 for an empty grid).
  LossParameters parametersOf(std::int32_t index) const;
};

/// FNV-1a of the values of every grid `grids.method` reads, in the order of kLossGrids, each as
/// its little-endian float32 records in file order; an absent optional grid counts as zeros.
std::uint64_t lossGridsChecksum(const LossGrids& grids, const TopoGrid& topo);

/// Reads the grids `method` reads from `folder` (normally "./topoData/") for a grid of the
/// size of `topo`, and checks every value on the cells `selected` marks (per grid cell, in
/// TopoGrid order). Fails with one line on a required grid that is missing, a grid of another
/// size, and the first value (from the south-west, row after row) that is not a number or lies
/// outside its range, naming the file, the column and row counted from 1 at the south-west,
/// and the value. Nothing to read for LossMethod::kNone.
Result<LossGrids> loadLossGrids(LossMethod method, const TopoGrid& topo,
                                const std::vector<std::uint8_t>& selected,
                                const std::string& folder = "./topoData/");

}  // namespace runoff

#endif  // RUNOFF_INPUTS_LOSS_GRIDS_H_
