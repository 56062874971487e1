// runoff-calibrate with lakes: the twin experiment on a valley with a linear lake above a weir
// (observed discharge made by runoff-sim with known lake constants, found again from a box
// around them), the best constants in calibration/lakes.csv, which runoff-sim reads; and the
// lake constants a run cannot fit refused with one line.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "support/basin_builder.h"
#include "support/test_support.h"

namespace runoff::testing {
namespace {

constexpr int kRows = 7;

// The centre of cell (row from the north, column 2) as "lon,lat".
std::string onTheRiver(int row) {
  char text[64];
  std::snprintf(text, sizeof text, "%.7f,%.7f", 140 + 2.5 / 1200.0,
                36 + (kRows - 1 - row + 0.5) / 1200.0);
  return text;
}

std::string lakeList(const std::string& linearA, const std::string& weirB) {
  return "name,lon,lat,area,rule,a,b,start\n"
         "Upper," + onTheRiver(2) + ",0.02,linear," + linearA + ",,0\n"
         "Lower," + onTheRiver(5) + ",0.05,weir,0.2," + weirB + ",0\n";
}

RunResult calibrate(const fs::path& dir, const std::string& search,
                    const std::vector<std::string>& more = {}) {
  writeFile(dir / "search.csv", search);
  std::vector<std::string> args = {"--observed", "observed.csv", "--gauges",   "gauges.csv",
                                   "--parameters", "search.csv", "--lakes", "lakes.csv",
                                   "--snap", "0", "--evaluations", "80", "--batch", "2"};
  args.insert(args.end(), more.begin(), more.end());
  return runProgram(RUNOFF_CALIBRATE_EXE, args, dir, "", "OMP_NUM_THREADS=2");
}

class CalibrationWithLakes : public ::testing::Test {
 protected:
  void SetUp() override {
    Basin basin = valleyBasin(kRows, 5, 3);
    basin.param(kInitialRunoff, "0.5");
    basin.write(dir.path());
    writeFile(dir / "gauges.csv", "name,lon,lat\nOutlet," + onTheRiver(5) + "\nMiddle," +
                                      onTheRiver(3) + "\n");
    // The truth: a = 5 hours, b = 1.8; observed where runoff-sim writes its gauges.
    writeFile(dir / "lakes.csv", lakeList("5", "1.8"));
    const RunResult truth =
        runProgram(RUNOFF_SIM_EXE, {"--lakes", "lakes.csv", "--snap", "0", "--gauges",
                                    "gauges.csv"},
                   dir.path());
    ASSERT_EQ(truth.exitStatus, 0) << truth.out;
    fs::copy_file(dir / "output/gauges.csv", dir / "observed.csv");
    writeFile(dir / "lakes.csv", lakeList("2", "1.5"));
  }
  TempDir dir;
};

TEST_F(CalibrationWithLakes, FindsTheLakesKnownConstantsAndWritesThemForRunoffSim) {
  const RunResult r =
      calibrate(dir.path(), "lake:Upper:a,1,20,log\nlake:Lower:b,1.2,2.5\n");
  ASSERT_EQ(r.exitStatus, 0) << r.out;
  EXPECT_TRUE(contains(r.out, "Lake \"Upper\": column 3, row 5, flow accumulation 9\n")) << r.out;
  std::istringstream best(readFile(dir / "calibration/lakes.csv"));
  std::string header, upper, lower;
  std::getline(best, header);
  std::getline(best, upper);
  std::getline(best, lower);
  EXPECT_EQ(header, "name,lon,lat,area,rule,a,b,start");
  auto field = [](const std::string& line, int n) {
    std::istringstream in(line);
    std::string f;
    for (int k = 0; k <= n; ++k) std::getline(in, f, ',');
    return f;
  };
  EXPECT_NEAR(std::stod(field(upper, 5)), 5, 0.005) << r.out;
  EXPECT_NEAR(std::stod(field(lower, 6)), 1.8, 0.002) << r.out;
  EXPECT_EQ(field(lower, 5), "0.2");
  // The written list runs: the best constants give runoff-sim the observed series again, to
  // the search's precision.
  fs::copy_file(dir / "calibration/lakes.csv", dir / "best.csv");
  const RunResult again = runProgram(
      RUNOFF_SIM_EXE, {"--lakes", "best.csv", "--snap", "0", "--gauges", "gauges.csv"},
      dir.path());
  ASSERT_EQ(again.exitStatus, 0) << again.out;
  std::istringstream observed(readFile(dir / "observed.csv"));
  std::istringstream simulated(readFile(dir / "output/gauges.csv"));
  std::string o, s;
  double largest = 0, worst = 0;
  while (std::getline(observed, o) && std::getline(simulated, s)) {
    if (o.rfind("time", 0) == 0) continue;
    const double x = std::stod(o.substr(o.rfind(',') + 1));
    const double y = std::stod(s.substr(s.rfind(',') + 1));
    largest = std::max(largest, x);
    worst = std::max(worst, std::abs(x - y));
  }
  EXPECT_LT(worst, 0.02 * largest);
}

TEST_F(CalibrationWithLakes, LakeConstantsThatCannotBeFitAreRefused) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"lake:Nowhere:a,1,2\n", "Parameter lake:Nowhere:a: lake \"Nowhere\" is not in lakes.csv."},
      {"lake:Upper:b,1,2\n",
       "Parameter lake:Upper:b: lake \"Upper\" has the linear rule, which has no b (only a "
       "weir's level has an exponent)."},
      {"lake:Upper:a,0,2\n",
       "search.csv line 1: the range of lake:Upper:a, 0 to 2, reaches beyond the values the "
       "model accepts (above 0)."},
  };
  for (const auto& [search, line] : cases) {
    const RunResult r = calibrate(dir.path(), search);
    EXPECT_EQ(r.exitStatus, 1) << r.out;
    EXPECT_EQ(lastLine(r.out), line) << r.out;
    EXPECT_FALSE(fs::exists(dir / "calibration"));
  }
  writeFile(dir / "search.csv", "lake:Upper:a,1,2\n");
  const RunResult r = runProgram(RUNOFF_CALIBRATE_EXE,
                                 {"--observed", "observed.csv", "--gauges", "gauges.csv",
                                  "--parameters", "search.csv"},
                                 dir.path());
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(lastLine(r.out),
            "Parameter lake:Upper:a is a constant of a lake: give the lake list with --lakes.");
}

}  // namespace
}  // namespace runoff::testing
