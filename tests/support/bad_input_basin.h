// A small working basin for the bad-input tests: every file the programs read, written into a
// temporary directory, so that each test can damage exactly one of them. The 5 x 5 grid at
// 36 N, 140 E drains its middle column southwards as river 1, under a 2 x 2 rainfall grid.
#ifndef RUNOFF_TESTS_SUPPORT_BAD_INPUT_BASIN_H_
#define RUNOFF_TESTS_SUPPORT_BAD_INPUT_BASIN_H_

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace runoff::testing {

struct HostileBasin {
  explicit HostileBasin(int rows = 5, int cols = 5, int days = 1);

  int rows, cols;
  std::array<std::string, 19> params;  // the parameter file's values as typed
  std::vector<float> elev;             // north row first, as the grid holds them
  std::vector<std::int32_t> dir, acc, river;
  std::string riverList;
  std::string rain;

  std::string paramText() const;
  /// Writes the basin into `dir` with temp/ and output/ created.
  void write(const fs::path& dir) const;
};

/// Raw south-first records of a north-first grid, as the files hold them.
std::string southFirstBytes(const std::vector<float>& northFirst, int rows, int cols);

/// The last line of console output, without its line end; a carriage return also starts a
/// line, as on a console.
std::string lastLine(const std::string& out);

/// Names of the entries of `dir`, sorted.
std::vector<std::string> entries(const fs::path& dir);

}  // namespace runoff::testing

#endif  // RUNOFF_TESTS_SUPPORT_BAD_INPUT_BASIN_H_
