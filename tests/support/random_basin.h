// Random working directories of the simulator, each drawn whole from one seed, for differential
// tests that run two programs (or one program two ways) on many small basins and compare every
// byte. Everything drawn is valid input that runoff-sim accepts, and shapes that the worked
// cases never reach come often: grids from 1 x 1 to about 12 x 12 (no interior cell at all
// below 3 x 3), D8 directions that descend a random surface (so never a cycle) into several
// basins, pits and flows off the grid, flow accumulations that are the count of the cells
// upstream or, in some basins, arbitrary, river numbers per basin with cells of no river, river
// lists that are empty, partial, name rivers that are not in the grid or repeat one, rainfall
// grids that cover part of the topography, rainfall files that are empty or end before the run
// (between two records or inside one), 1 to 3 days, any time step and number of space steps.
// The same seed gives the same directory on every machine: the draws use only the integer
// output of std::mt19937_64, never a library distribution.
//
// Further kinds of input (soil, lakes) join as options of RandomBasinOptions, drawn after
// everything drawn today, so that an existing seed keeps its directory when they are off.
#ifndef RUNOFF_TESTS_SUPPORT_RANDOM_BASIN_H_
#define RUNOFF_TESTS_SUPPORT_RANDOM_BASIN_H_

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "support/basin_builder.h"
#include "support/test_support.h"

namespace runoff::testing {

/// What a random working directory may hold.
struct RandomBasinOptions {
  int maxRows = 12;
  int maxCols = 12;
  int maxDays = 3;
  // Bound on the routing work of one run: interior cells x hours x sub-steps x space steps. The
  // time step is drawn at or above the step that keeps a run within it.
  double maxNodeSteps = 1.5e6;
};

/// The draws of a test from one seed: integers and reals from the integer output of the
/// generator alone, so that a seed means the same on every standard library.
class Draw {
 public:
  explicit Draw(std::uint64_t seed) : engine_(seed) {}
  /// An integer from `low` to `high`, both included.
  int between(int low, int high);
  /// A real from `low` to `high`.
  double real(double low, double high);
  /// True with probability `p`.
  bool chance(double p);
  /// One of `choices`.
  template <typename T>
  const T& oneOf(const std::vector<T>& choices) {
    return choices[static_cast<std::size_t>(between(0, static_cast<int>(choices.size()) - 1))];
  }

 private:
  std::mt19937_64 engine_;
};

class RandomBasin {
 public:
  /// The working directory of `seed`.
  explicit RandomBasin(std::uint64_t seed, const RandomBasinOptions& options = {});

  std::uint64_t seed() const { return seed_; }
  int rows() const { return basin_.rows(); }
  int cols() const { return basin_.cols(); }
  int days() const { return days_; }
  /// True when the rainfall file is empty (it then dates no run: --gauges and --netcdf need
  /// --start).
  bool rainEmpty() const { return hours_.empty() && cut_.empty(); }
  /// The grids, parameters and river list (the rainfall text is made by write()).
  const Basin& basin() const { return basin_; }
  /// One line that tells the directory apart when a comparison fails.
  std::string summary() const;

  /// Writes the working directory of days `firstDay` to firstDay + days - 1 of the run (the
  /// whole run when `days` is 0): the parameter file with that many days, the rainfall records
  /// of those days (as far as the storm goes), the grids, the river list, temp/ and output/,
  /// gauges.csv and the grids of every loss method.
  void write(const fs::path& dir, int firstDay = 1, int days = 0) const;

 private:
  std::uint64_t seed_;
  int days_ = 1;
  Basin basin_;
  std::vector<std::string> hours_;  // the rainfall record of each hour, as far as the storm goes
  std::string cut_;                 // the start of the record where the file ends, if inside one
  std::string gauges_;              // gauges.csv
};

}  // namespace runoff::testing

#endif  // RUNOFF_TESTS_SUPPORT_RANDOM_BASIN_H_
