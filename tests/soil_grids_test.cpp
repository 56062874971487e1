// The soil grids as a run loads them: every refusal names the file (and the cell), only the
// routed cells are checked, an open lower end is kept by a calibration's scaling, and the
// checksum of the restart key follows the values.
#include "runoff/inputs/soil_grids.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

#include "support/basin_builder.h"
#include "support/test_support.h"

namespace runoff {
namespace {

using testing::TempDir;
namespace fs = std::filesystem;

constexpr int kRows = 4, kCols = 5;

TopoGrid grid() {
  TopoGrid topo;
  topo.rows = kRows;
  topo.cols = kCols;
  return topo;
}

// Every cell off the outer ring is routed.
std::vector<std::uint8_t> routed() {
  std::vector<std::uint8_t> selected(kRows * kCols, 0);
  for (int r = 1; r < kRows - 1; ++r) {
    for (int c = 1; c < kCols - 1; ++c) selected[r * kCols + c] = 1;
  }
  return selected;
}

// Sets topoData/NAME at (row from the south, column) to `value`.
std::function<void(const fs::path&)> sets(const std::string& name, int row, int col, float value) {
  return [=](const fs::path& d) {
    std::vector<float> v = testing::readFloats(d / "topoData" / name);
    v[static_cast<std::size_t>(row) * kCols + col] = value;
    testing::writeFloats(d / "topoData" / name, v);
  };
}

struct RefusedCase {
  std::string name;
  std::function<void(const fs::path&)> damage;
  std::string line;
};

void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.name; }

class SoilGridsRefused : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(SoilGridsRefused, WithOneLineNamingTheFileAndTheCell) {
  TempDir dir;
  fs::create_directory(dir / "topoData");
  testing::writeSoilGrids(dir.path(), kRows, kCols);
  GetParam().damage(dir.path());
  const Result<SoilGrids> grids = loadSoilGrids(grid(), routed(), (dir / "topoData/").string());
  ASSERT_FALSE(grids.ok());
  const std::string prefix = (dir / "topoData/").string();
  EXPECT_EQ(grids.status().message(), prefix + GetParam().line);
}

std::vector<RefusedCase> refusedCases() {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const std::string at = " (counted from 1 at the south-west) is ";
  return {
      {"Missing", [](const fs::path& d) { fs::remove(d / "topoData/percolation.bin"); },
       "percolation.bin cannot open; --soil needs it."},
      {"Directory",
       [](const fs::path& d) {
         fs::remove(d / "topoData/baseflowTime.bin");
         fs::create_directory(d / "topoData/baseflowTime.bin");
       },
       "baseflowTime.bin is a directory, not a file."},
      {"WrongSize",
       [](const fs::path& d) { fs::resize_file(d / "topoData/soilCapacity.bin", 76); },
       "soilCapacity.bin has 76 bytes; the grid needs 80 (4 rows x 5 columns of 4 bytes)."},
      {"ZeroCapacity", sets("soilCapacity.bin", 1, 2, 0),
       "soilCapacity.bin: the value at column 3, row 2" + at + "0; it must be a number above 0."},
      {"NegativePercolation", sets("percolation.bin", 2, 3, -0.25f),
       "percolation.bin: the value at column 4, row 3" + at +
           "-0.25; it must be a number of 0 or more."},
      {"NaNBaseflowTime", sets("baseflowTime.bin", 2, 1, nan),
       "baseflowTime.bin: the value at column 2, row 3" + at + "nan; it must be a number above 0."},
  };
}

INSTANTIATE_TEST_SUITE_P(LoadSoilGrids, SoilGridsRefused, ::testing::ValuesIn(refusedCases()),
                         [](const auto& info) { return info.param.name; });

TEST(SoilGrids, OnlyTheRoutedCellsAreCheckedAndTheChecksumFollowsTheValues) {
  TempDir dir;
  fs::create_directory(dir / "topoData");
  testing::writeSoilGrids(dir.path(), kRows, kCols);
  sets("soilCapacity.bin", 0, 0, -9999)(dir.path());  // the outer ring: never routed
  sets("baseflowTime.bin", 3, 4, std::numeric_limits<float>::quiet_NaN())(dir.path());
  const Result<SoilGrids> first = loadSoilGrids(grid(), routed(), (dir / "topoData/").string());
  ASSERT_TRUE(first.ok()) << first.status().message();
  // Row 1 from the south is row 2 from the north; column 1: 40 + 30 x ((2 x 3 + 1) % 4).
  const SoilParameters cell = first->parametersOf(2 * kCols + 1);
  EXPECT_EQ(cell.capacity, 130.0);
  EXPECT_FLOAT_EQ(static_cast<float>(cell.percolation), 0.8f);
  EXPECT_EQ(cell.baseflowTime, 120.0);

  sets("percolation.bin", 1, 1, 0.5f)(dir.path());
  const Result<SoilGrids> second = loadSoilGrids(grid(), routed(), (dir / "topoData/").string());
  ASSERT_TRUE(second.ok());
  EXPECT_NE(first->checksum, second->checksum);
}

// A factor keeps each value in its range: a capacity scaled towards 0 stays above it, a
// percolation may reach 0, and a no-data value stays as it is.
TEST(SoilGrids, ScaledValuesStayInTheirRanges) {
  EXPECT_EQ(scaledSoilValue(kSoilCapacity, 100.0f, 0.5), 50.0f);
  EXPECT_GT(scaledSoilValue(kSoilCapacity, 1e-30f, 1e-20), 0.0f);
  EXPECT_GT(scaledSoilValue(kBaseflowTime, 1e-30f, 1e-20), 0.0f);
  EXPECT_EQ(scaledSoilValue(kPercolation, 1e-30f, 1e-20), 0.0f);
  EXPECT_TRUE(std::isnan(scaledSoilValue(kSoilCapacity, std::nanf(""), 2.0)));
}

}  // namespace
}  // namespace runoff
