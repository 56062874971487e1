// A small simulator working directory built in memory and written out in one call: the
// parameter file (each value kept as the text a user would type), the four topography grids
// (held with row 0 the northern row, written south to north), the river list and the rainfall
// file. The defaults describe a 5 x 5 grid at 36 N, 140 E with a 2 x 2 rainfall grid and no
// basin cells; tests set the cells they need, or start from one of the ready basins below.
#ifndef RUNOFF_TESTS_SUPPORT_BASIN_BUILDER_H_
#define RUNOFF_TESTS_SUPPORT_BASIN_BUILDER_H_

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace runoff::testing {

// Field numbers of the parameter file, counted from 1 as the file is.
enum ParamField {
  kTopoScale = 1,
  kTopoCols,
  kTopoRows,
  kTopoSwLon,
  kTopoSwLat,
  kRainCols,
  kRainRows,
  kRainDx,
  kRainDy,
  kRainSwLon,
  kRainSwLat,
  kDays,
  kTimeStep,
  kSpaceSteps,
  kFdWeight,
  kSlopeManning,
  kChannelManning,
  kChannelThreshold,
  kInitialRunoff,
};

class Basin {
 public:
  /// A rows x cols grid; every cell elevation 0, direction 0, accumulation 0, river -1.
  Basin(int rows = 5, int cols = 5);

  int rows() const { return rows_; }
  int cols() const { return cols_; }

  /// Sets parameter `field` to `text` exactly as it will stand in the file.
  Basin& param(ParamField field, const std::string& text);
  const std::string& param(ParamField field) const { return values_[field - 1]; }
  /// The 19 values, one per line.
  std::string paramText() const;

  /// One cell, row 0 the northern row.
  Basin& cell(int row, int col, float elev, std::int32_t dir, std::int32_t acc, std::int32_t river);

  std::vector<float> elev;
  std::vector<std::int32_t> dir, acc, river;
  std::string riverList;  // text of riverNumList.dat
  std::string rain;       // text of rain.dat

  /// Writes everything into `dir` and creates temp/ and output/.
  void write(const fs::path& dir) const;

 private:
  int rows_, cols_;
  std::array<std::string, 19> values_;
};

/// A 5 x 5 basin with every kind of cell, river 1 listed, rain on a 2 x 2 grid for `days`
/// days that changes every hour. Interior cells (row, column):
///   (1,1) east, acc 1 -> (1,2) south, acc 3 <- (1,3) west, acc 1
///   (2,1) river 2, not listed, east, acc 1 -> (2,2) south, acc 5 (also fed by (1,2))
///   (2,3) no river (-1);  (3,1) listed, acc 0: never routed;  (3,3) listed, acc -1
///   (3,2) south, acc 6, drains into the edge; the edge cell (0,2) drains into (1,2).
Basin mixedBasin(int days = 2);

/// A working basin whose files each test may damage one at a time: the middle column of a
/// rows x cols grid drains south as river 1, fed from both neighbouring columns (also river
/// 1); the other cells belong to no basin. River 1 is listed, and the rain on the 2 x 2 grid
/// changes every hour for `days` days.
Basin valleyBasin(int rows = 5, int cols = 5, int days = 1);

/// One river-list record for river `n`: eight numbers on one line.
std::string riverRecord(int n);

/// Rainfall of `days` days on a rainRows x rainCols grid, every hour and cell `mmPerHour`.
std::string uniformRain(int days, int rainRows, int rainCols, const std::string& mmPerHour);

/// Writes the grids of every loss method into `dir`/topoData for a rows x cols grid: values
/// that vary from cell to cell inside each grid's range, the impervious fraction included.
void writeLossGrids(const fs::path& dir, int rows, int cols);

/// Writes the soil grids into `dir`/topoData for a rows x cols grid: capacities of 40 to 130 mm,
/// percolation of 0.2 to 0.8 mm/h, baseflow time constants of 30 to 120 hours, varying from
/// cell to cell.
void writeSoilGrids(const fs::path& dir, int rows, int cols);

/// A PET file (input/pet.dat) of `days` days on a rainRows x rainCols rainfall grid: a rate of
/// 0.1 to 0.5 mm/h through the daylight hours 6 to 17, varying from cell to cell and day to
/// day, 0 at night. Stamped from 2020-07-01 00:00 like the basins' rain when `dated`, else
/// with zeros (no date).
std::string daylightPet(int days, int rainRows, int rainCols, bool dated = true);

/// Runs runoff-sim in `dir`.
RunResult runSimulator(const fs::path& dir);

}  // namespace runoff::testing

#endif  // RUNOFF_TESTS_SUPPORT_BASIN_BUILDER_H_
