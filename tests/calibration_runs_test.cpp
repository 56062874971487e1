// runoff-calibrate end to end: the twin experiment on the bundled example (observed discharge
// made by runoff-sim with known parameters, found again from a box around them), the same
// seed giving the same search on any number of threads, and calibration/'s files reproducing
// the best score through runoff-sim, discharge-netcdf --gauges and discharge-score.
#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>

#include "runoff/inputs/gauge_list.h"
#include "runoff/inputs/run_start.h"
#include "runoff/output/gauge_series.h"
#include "support/basin_builder.h"
#include "support/test_support.h"

namespace runoff::testing {
namespace {

// The parameter file's value number `field` (from 1) set to `text`.
void setParameter(const fs::path& dir, int field, const std::string& text) {
  std::istringstream in(readFile(dir / "param-ravo-event-ver300.dat"));
  std::vector<std::string> tokens;
  for (std::string t; in >> t;) tokens.push_back(t);
  tokens[static_cast<std::size_t>(field) - 1] = text;
  std::string out;
  for (const std::string& t : tokens) out += t + "\n";
  writeFile(dir / "param-ravo-event-ver300.dat", out);
}

std::string parameterValue(const fs::path& file, int field) {
  std::istringstream in(readFile(file));
  std::string token;
  for (int k = 0; k < field; ++k) in >> token;
  return token;
}

// A gauge at the centre of the cell (column, row from 1, rows from the south).
std::string gaugeLine(const std::string& name, double swLon, double swLat, double cellDeg,
                      int column, int row) {
  std::ostringstream line;
  line.precision(17);
  line << name << ',' << swLon + (column - 0.5) * cellDeg << ',' << swLat + (row - 0.5) * cellDeg
       << '\n';
  return line.str();
}

// observed.csv from the hourly grids runoff-sim left in `dir`: the series of the cells
// (column, row from 1) as gauges.csv would hold them, hours from `start`.
void writeObserved(const fs::path& dir, int cols, const std::vector<std::string>& names,
                   const std::vector<std::pair<int, int>>& cells, const std::string& start,
                   std::size_t hours = SIZE_MAX) {
  const std::vector<float> hourly = readFloats(dir / "output/dischargeHourly.bin");
  std::size_t gridCells = 0;
  {
    std::istringstream in(readFile(dir / "param-ravo-event-ver300.dat"));
    double scale, c, r;
    in >> scale >> c >> r;
    gridCells = static_cast<std::size_t>(c * r);
  }
  const CivilTime first = *parseIsoTime(start);
  std::string text = "time,gauge,discharge\n";
  for (std::size_t h = 0; h < std::min(hours, hourly.size() / gridCells); ++h) {
    for (std::size_t g = 0; g < names.size(); ++g) {
      const std::size_t p = static_cast<std::size_t>(cells[g].second - 1) * cols +
                            static_cast<std::size_t>(cells[g].first - 1);
      text += isoTime(first + std::chrono::hours(h)) + "," + names[g] + "," +
              shortestDecimal(hourly[h * gridCells + p]) + "\n";
    }
  }
  writeFile(dir / "observed.csv", text);
}

struct TwinCase {
  std::string name;
  std::vector<std::string> losses;  // runoff-sim's and runoff-calibrate's loss options
  double curveNumberFactor;         // of the true run; 0: no curve number
};

void PrintTo(const TwinCase& c, std::ostream* os) { *os << c.name; }

class CalibrationTwin : public ::testing::TestWithParam<TwinCase> {};

TEST_P(CalibrationTwin, FindsTheExamplesKnownParameters) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "300 routings of the example take minutes under the sanitizers; the other "
                  "calibration tests run runoff-calibrate there";
#endif
  const TwinCase& c = GetParam();
  // The example with five-minute steps, so that the experiment takes seconds; its outlet of
  // basin 2 (column 99, row 2) is the gauge.
  TempDir dir;
  copyTree(fs::path(EXAMPLES_DIR) / "sample-basin", dir.path());
  fs::create_directories(dir / "temp");
  fs::create_directories(dir / "output");
  setParameter(dir.path(), 13, "300");
  setParameter(dir.path(), 16, "0.2");
  setParameter(dir.path(), 17, "0.05");
  std::string search = "slopeManning,0.1,0.4,log\nchannelManning,0.025,0.1,log\n";
  if (c.curveNumberFactor > 0) {
    // Curve number 65 on every cell in the file; the truth is that times the factor. The box
    // is again a factor of 4 around the truth.
    const std::vector<float> cn(100 * 100, 65.0f);
    writeFloats(dir / "topoData/curveNumber.bin",
                std::vector<float>(cn.size(), static_cast<float>(65 * c.curveNumberFactor)));
    search += "curveNumber," + shortestDecimal(c.curveNumberFactor / 2) + "," +
              shortestDecimal(c.curveNumberFactor * 2) + ",log\n";
    ASSERT_EQ(runProgram(RUNOFF_SIM_EXE, c.losses, dir.path()).exitStatus, 0);
    writeFloats(dir / "topoData/curveNumber.bin", cn);
  } else {
    ASSERT_EQ(runSimulator(dir.path()).exitStatus, 0);
  }
  writeObserved(dir.path(), 100, {"Outlet"}, {{99, 2}}, "2000-07-01T00:00:00");
  setParameter(dir.path(), 16, "0.4");
  setParameter(dir.path(), 17, "0.03");
  writeFile(dir / "gauges.csv",
            "name,lon,lat\n" + gaugeLine("Outlet", -84.34125, 36.6345833333333, 1.0 / 1200, 99, 2));
  writeFile(dir / "search.csv", search);
  std::vector<std::string> args = {"--observed",   "observed.csv", "--gauges",      "gauges.csv",
                                   "--parameters", "search.csv",   "--evaluations", "300"};
  args.insert(args.end(), c.losses.begin(), c.losses.end());
  const RunResult r = runProgram(RUNOFF_CALIBRATE_EXE, args, dir.path());
  ASSERT_EQ(r.exitStatus, 0) << r.out;
  const fs::path best = dir / "calibration/param-ravo-event-ver300.dat";
  EXPECT_NEAR(std::stod(parameterValue(best, 16)), 0.2, 0.02) << r.out;
  EXPECT_NEAR(std::stod(parameterValue(best, 17)), 0.05, 0.005) << r.out;
  if (c.curveNumberFactor > 0) {
    const std::vector<float> found = readFloats(dir / "calibration/topoData/curveNumber.bin");
    ASSERT_EQ(found.size(), 100u * 100u);
    const double truth = 65 * c.curveNumberFactor;
    EXPECT_NEAR(found[198], truth, truth / 10) << r.out;  // the gauge's cell
  }
  std::istringstream scores(readFile(dir / "calibration/scores.csv"));
  std::string line, mean;
  while (std::getline(scores, line)) mean = line;
  const std::vector<std::string> fields = *splitCsvFields(mean);
  EXPECT_EQ(fields[0], "mean");
  EXPECT_GE(std::stod(fields[4]), 0.99) << "KGE";
}

INSTANTIATE_TEST_SUITE_P(
    Example, CalibrationTwin,
    ::testing::Values(TwinCase{"ManningCoefficients", {}, 0},
                      TwinCase{"ManningAndCurveNumber", {"--losses", "scs-cn"}, 1.25}),
    [](const auto& info) { return info.param.name; });

// A valley of 9 x 7 cells whose observed discharge comes from runoff-sim with known Manning
// coefficients, at its outlet and half way up, on the first of the run's three days (the
// evaluations route only that day).
class CalibrationOfAValley : public ::testing::Test {
 protected:
  void SetUp() override {
    valleyBasin(9, 7, 3).write(dir.path());
    setParameter(dir.path(), 16, "0.2");
    setParameter(dir.path(), 17, "0.06");
    ASSERT_EQ(runSimulator(dir.path()).exitStatus, 0);
    writeObserved(dir.path(), 7, {"Outlet", "Middle"}, {{4, 2}, {4, 5}}, "2020-07-01T00:00:00", 24);
    setParameter(dir.path(), 16, "0.4");
    setParameter(dir.path(), 17, "0.03");
    writeFile(dir / "gauges.csv", gaugeLine("Middle", 140, 36, 1.0 / 1200, 4, 5) +
                                      gaugeLine("Outlet", 140, 36, 1.0 / 1200, 4, 2));
    writeFile(dir / "search.csv",
              "name,min,max,scale\nslopeManning,0.1,0.8,log\nchannelManning,0.01,0.1\n");
  }
  RunResult calibrate(const fs::path& where, const std::string& threads,
                      const std::string& seed = "7", const std::vector<std::string>& more = {}) {
    std::vector<std::string> args = {"--observed",    "observed.csv",
                                     "--gauges",      "gauges.csv",
                                     "--parameters",  "search.csv",
                                     "--evaluations", "40",
                                     "--batch",       "3",
                                     "--seed",        seed,
                                     "--warm-up",     "3",
                                     "--objective",   "nse"};
    args.insert(args.end(), more.begin(), more.end());
    return runProgram(RUNOFF_CALIBRATE_EXE, args, where, "", "OMP_NUM_THREADS=" + threads + " ");
  }
  // Calibrates with the runoff-sim options `simArgs` added, copies calibration/ over the
  // working directory, runs runoff-sim, discharge-netcdf --gauges and discharge-score, and
  // expects the calibration's best scores and series.
  void expectReproduced(const std::vector<std::string>& simArgs);
  TempDir dir;
};

TEST_F(CalibrationOfAValley, TheSameSeedGivesTheSameSearchOnOneAndTwoThreads) {
  TempDir other;
  copyTree(dir.path(), other.path());
  const RunResult one = calibrate(dir.path(), "1");
  ASSERT_EQ(one.exitStatus, 0) << one.out;
  const RunResult two = calibrate(other.path(), "2");
  ASSERT_EQ(two.exitStatus, 0) << two.out;
  EXPECT_TRUE(contains(one.out,
                       "40 evaluations (10 by dynamically dimensioned search in "
                       "batches of 3, 30 by local search)"))
      << one.out;
  for (const char* file : {"trace.csv", "scores.csv", "param-ravo-event-ver300.dat",
                           "hydrograph-Outlet.dat", "hydrograph-Middle.dat", "hydrographs.gp"}) {
    EXPECT_EQ(readFile(dir / "calibration" / file), readFile(other / "calibration" / file)) << file;
  }
  const std::string trace = readFile(dir / "calibration/trace.csv");
  EXPECT_EQ(std::count(trace.begin(), trace.end(), '\n'), 41);
  EXPECT_EQ(trace.substr(0, trace.find('\n')), "evaluation,slopeManning,channelManning,objective");
  const RunResult seed8 = calibrate(other.path(), "2", "8");
  ASSERT_EQ(seed8.exitStatus, 0) << seed8.out;
  EXPECT_NE(readFile(other / "calibration/trace.csv"), trace) << "the seed must matter";
}

void CalibrationOfAValley::expectReproduced(const std::vector<std::string>& simArgs) {
#ifdef DISCHARGE_NETCDF_EXE
  const RunResult r = calibrate(dir.path(), "2", "7", simArgs);
  ASSERT_EQ(r.exitStatus, 0) << r.out;
  copyTree(dir / "calibration", dir.path());
  // With the soil, runoff-sim takes the options the calibration wrote for its best run.
  std::vector<std::string> rerun = simArgs;
  if (fs::exists(dir / "calibration/options.txt")) {
    rerun.clear();
    std::istringstream words(readFile(dir / "calibration/options.txt"));
    for (std::string word; words >> word;) rerun.push_back(word);
  }
  ASSERT_EQ(runProgram(RUNOFF_SIM_EXE, rerun, dir.path()).exitStatus, 0);
  const RunResult netcdf =
      runProgram(DISCHARGE_NETCDF_EXE, {"--gauges", "../gauges.csv"}, dir / "output");
  ASSERT_EQ(netcdf.exitStatus, 0) << netcdf.out;
  const RunResult score = runProgram(
      DISCHARGE_SCORE_EXE, {"../observed.csv", "gauges.csv", "--warm-up", "3"}, dir / "output");
  ASSERT_EQ(score.exitStatus, 0) << score.out;
  EXPECT_EQ(readFile(dir / "output/scores.csv"), readFile(dir / "calibration/scores.csv"));
  // The best series of the pictures' data is the run's gauge series, value for value.
  std::istringstream data(readFile(dir / "calibration/hydrograph-Middle.dat"));
  std::istringstream series(readFile(dir / "output/gauges.csv"));
  std::string line, row, hour, rain, observed, start, best;
  std::getline(data, line);
  std::getline(series, row);
  int compared = 0;
  while (std::getline(series, row)) {
    const std::vector<std::string> f = *splitCsvFields(row);
    if (f[1] != "Middle") continue;
    ASSERT_TRUE(data >> hour >> rain >> observed >> start >> best);
    EXPECT_EQ(best, f[2]) << "hour " << hour;
    ++compared;
  }
  EXPECT_EQ(compared, 72);
#endif
}

TEST_F(CalibrationOfAValley, CalibrationsFilesReproduceTheBestScore) {
#ifndef DISCHARGE_NETCDF_EXE
  GTEST_SKIP() << "discharge-netcdf is not built here";
#endif
  expectReproduced({});
}

// The curve numbers scaled by the best factor, written to calibration/topoData/, give
// runoff-sim the calibration's best run.
TEST_F(CalibrationOfAValley, CalibrationsScaledLossGridReproducesTheBestScore) {
#ifndef DISCHARGE_NETCDF_EXE
  GTEST_SKIP() << "discharge-netcdf is not built here";
#endif
  writeLossGrids(dir.path(), 9, 7);
  writeFile(dir / "search.csv", "slopeManning,0.1,0.8,log\ncurveNumber,0.7,1.4\n");
  const std::string original = readFile(dir / "topoData/curveNumber.bin");
  expectReproduced({"--losses", "scs-cn"});
  EXPECT_NE(readFile(dir / "topoData/curveNumber.bin"), original) << "the grid was fitted";
}

// With the soil: the scaled soil grids and the soil's rule (in calibration/options.txt) give
// runoff-sim the calibration's best run, with the PET of input/pet.dat.
TEST_F(CalibrationOfAValley, CalibrationsSoilGridsAndOptionsReproduceTheBestScore) {
#ifndef DISCHARGE_NETCDF_EXE
  GTEST_SKIP() << "discharge-netcdf is not built here";
#endif
  writeLossGrids(dir.path(), 9, 7);
  writeSoilGrids(dir.path(), 9, 7);
  writeFile(dir / "input/pet.dat", daylightPet(3, 2, 2));
  writeFile(dir / "search.csv",
            "slopeManning,0.1,0.8,log\nsoilCapacity,0.5,2,log\npercolation,0.5,2\n"
            "baseflowTime,0.5,2\nsoilStart,0.2,0.9\nbaselineBaseflow,0,0.2\n"
            "etThreshold,0.3,1\n");
  const std::string original = readFile(dir / "topoData/soilCapacity.bin");
  expectReproduced({"--losses", "scs-cn", "--soil"});
  EXPECT_NE(readFile(dir / "topoData/soilCapacity.bin"), original) << "the grid was fitted";
  EXPECT_TRUE(contains(readFile(dir / "options.txt"), "--soil --losses scs-cn --ia-ratio 0.2"));
}

}  // namespace
}  // namespace runoff::testing
