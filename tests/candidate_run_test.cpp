// A candidate run routes only the cells upstream of its gauges, from one set-up, and must give
// each gauge the very hourly means of a whole run of runoff-sim with the same parameters. The
// test places a single gauge on every routed cell of small basins in turn (including cells
// routed before their upstream cells, unlisted rivers draining into listed ones, and cells
// that are selected but never routed), under both schemes and with every tunable parameter
// away from the file's value, and compares the series bit for bit.
#include "runoff/run/candidate_run.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <sstream>

#include "common/discharge_files.h"
#include "support/basin_builder.h"
#include "support/test_support.h"

namespace runoff::testing {
namespace {

struct RoutedCase {
  std::string name;
  fs::path input;  // a working directory's inputs; empty: the mixed basin of the builder
};

void PrintTo(const RoutedCase& c, std::ostream* os) { *os << c.name; }

// The parameter file's values 15 to 19 (fdWeight to initialRunoff) replaced.
void setKinematicValues(const fs::path& file, const std::vector<std::string>& values) {
  std::istringstream in(readFile(file));
  std::vector<std::string> tokens;
  for (std::string t; in >> t;) tokens.push_back(t);
  for (std::size_t k = 0; k < values.size(); ++k) tokens[14 + k] = values[k];
  std::string text;
  for (const std::string& t : tokens) text += t + "\n";
  writeFile(file, text);
}

// Runs runoff-sim with `simArgs` in `wholeDir`, then places a gauge on every routed cell in
// turn and checks that a candidate run of `values` set up in `dir` gives it the whole run's
// hourly means, bit for bit, on 1 and 3 threads.
void expectEveryRoutedCellAsTheWholeRun(const fs::path& dir, CandidateRunOptions options,
                                        const std::vector<double>& values,
                                        const std::vector<std::string>& simArgs,
                                        const fs::path& wholeDir = {}) {
  const fs::path whole = wholeDir.empty() ? dir : wholeDir;
  const RunResult sim = runProgram(RUNOFF_SIM_EXE, simArgs, whole);
  ASSERT_EQ(sim.exitStatus, 0) << sim.out;
  const std::vector<float> hourly = readFloats(whole / "output" / "dischargeHourly.bin");

  std::istringstream params(readFile(dir / "param-ravo-event-ver300.dat"));
  double scale, cols, rows, swLon, swLat;
  params >> scale >> cols >> rows >> swLon >> swLat;
  const auto cells = static_cast<std::size_t>(rows * cols);
  const std::size_t hours = hourly.size() / cells;
  ASSERT_GT(hours, 0u);
  std::string observed = "time,gauge,discharge\n";
  for (std::size_t h = 0; h < hours; ++h) {
    observed += "2000-01-01T" + std::string(h % 24 < 10 ? "0" : "") + std::to_string(h % 24) +
                ":00:00," + "G," + std::to_string(1 + h % 3) + "\n";
    if (h == 23) break;  // the observed day need not cover the run
  }
  writeFile(dir / "observed.csv", observed);

  options.observedPath = "observed.csv";
  options.gaugesPath = "gauges.csv";
  options.snap = 0;
  options.start = "2000-01-01T00:00:00";
  InDirectory inside(dir);
  int checked = 0, restricted = 0;
  for (std::size_t p = 0; p < cells; ++p) {
    if (hourly[p] == kMissingDischarge) continue;
    const std::size_t row = p / static_cast<std::size_t>(cols),
                      col = p % static_cast<std::size_t>(cols);
    std::ostringstream gauge;
    gauge.precision(17);
    gauge << "G," << swLon + (col + 0.5) * scale / 3600 << ',' << swLat + (row + 0.5) * scale / 3600
          << '\n';
    writeFile("gauges.csv", gauge.str());
    std::ostringstream console;
    Result<std::unique_ptr<CandidateRun>> run = CandidateRun::create(options, console);
    ASSERT_TRUE(run.ok()) << run.message();
    ASSERT_EQ((*run)->placed().front().position, p);
    restricted += (*run)->routedCells() < (*run)->allRoutedCells();
    for (int threads : {1, 3}) {
      Result<std::vector<std::vector<float>>> series = (*run)->gaugeSeries(values, threads);
      ASSERT_TRUE(series.ok()) << series.message();
      ASSERT_EQ(series->front().size(), hours);
      for (std::size_t h = 0; h < hours; ++h) {
        const float whole = hourly[h * cells + p];
        ASSERT_EQ(std::memcmp(&series->front()[h], &whole, sizeof whole), 0)
            << "cell " << col + 1 << "-" << row + 1 << " hour " << h + 1 << ": "
            << series->front()[h] << " routed alone, " << whole << " in the whole run";
      }
    }
    ++checked;
  }
  EXPECT_GT(checked, 2);
  EXPECT_GT(restricted, 0) << "some gauge must leave cells out";
}

// With the kernel's own power too: a candidate groups other cells side by side than the whole
// run does, and the powers of a group are taken together.
class CandidateRunAtEveryCell
    : public ::testing::TestWithParam<std::tuple<RoutedCase, Scheme, PowerFunction>> {};

TEST_P(CandidateRunAtEveryCell, GivesTheWholeRunsHourlyMeans) {
  const auto& [c, scheme, power] = GetParam();
  TempDir dir;
  if (c.input.empty()) {
    mixedBasin(2).write(dir.path());
  } else {
    copyTree(c.input, dir.path());
    fs::create_directories(dir / "temp");
    fs::create_directories(dir / "output");
  }
  // Away from every file's values; the threshold makes both classes of cell.
  setKinematicValues(dir / "param-ravo-event-ver300.dat", {"0.7", "0.25", "0.05", "2", "0.2"});
  CandidateRunOptions options;
  options.scheme = scheme;
  options.power = power;
  for (const char* name :
       {"fdWeight", "slopeManning", "channelManning", "channelThreshold", "initialRunoff"}) {
    options.tunables.push_back(findTunable(name));
  }
  std::vector<std::string> wholeRunOptions = {"--scheme", schemeName(scheme)};
  if (power == PowerFunction::kFast) wholeRunOptions.insert(wholeRunOptions.end(), {"--power", "fast"});
  expectEveryRoutedCellAsTheWholeRun(dir.path(), options, {0.7, 0.25, 0.05, 2, 0.2},
                                     wholeRunOptions);
}

const fs::path kData = TEST_DATA_DIR;

INSTANTIATE_TEST_SUITE_P(
    Basins, CandidateRunAtEveryCell,
    ::testing::Combine(
        ::testing::Values(
            RoutedCase{"mixed", {}},
            RoutedCase{"inconsistent_acc", kData / "runs/inconsistent-acc/input"},
            RoutedCase{"unselected_upstream", kData / "runs/unselected-upstream/input"},
            RoutedCase{"eight_inflows", kData / "runs/eight-inflows/input"},
            RoutedCase{"golden_realistic", kData / "golden/small-realistic/input"},
            RoutedCase{"golden_inconsistent_acc", kData / "golden/small-inconsistent-acc/input"}),
        ::testing::Values(Scheme::kClassic, Scheme::kConservative),
        ::testing::Values(PowerFunction::kLibm, PowerFunction::kFast)),
    [](const auto& info) {
      return std::get<0>(info.param).name + "_" + schemeName(std::get<1>(info.param)) +
             (std::get<2>(info.param) == PowerFunction::kFast ? "_fast_power" : "");
    });

}  // namespace
}  // namespace runoff::testing

namespace runoff::testing {
namespace {

struct LossCase {
  std::string method;
  std::string grid;  // the loss grid a factor scales
  double factor;
  double lowest, highest;  // the grid's valid range
};

void PrintTo(const LossCase& c, std::ostream* os) { *os << c.method; }

class CandidateRunWithLosses : public ::testing::TestWithParam<LossCase> {};

// A factor on a loss grid: the grid runoff-calibrate writes is the grid scaled on the routed
// cells and kept in its range, and runoff-sim reading it gives every routed cell the series a
// candidate run of that factor on the original grid gives it.
TEST_P(CandidateRunWithLosses, ScaledGridGivesTheWholeRunsHourlyMeans) {
  const LossCase& c = GetParam();
  TempDir dir;
  const Basin basin = mixedBasin(2);
  basin.write(dir.path());
  writeLossGrids(dir.path(), basin.rows(), basin.cols());
  const std::vector<float> original = readFloats(dir / "topoData" / (c.grid + ".bin"));
  TempDir scaledDir;  // the same basin with the scaled grid, for runoff-sim
  CandidateRunOptions options;
  options.losses.method = *lossMethodNamed(c.method);
  options.tunables = {findTunable(c.grid)};
  options.observedPath = "observed.csv";
  options.gaugesPath = "gauges.csv";
  options.start = "2000-01-01T00:00:00";
  {
    writeFile(dir / "observed.csv",
              "time,gauge,discharge\n2000-01-01T00:00:00,G,1\n"
              "2000-01-01T01:00:00,G,2\n");
    writeFile(dir / "gauges.csv", "G,140.0021,36.0013\n");
    InDirectory inside(dir.path());
    std::ostringstream console;
    Result<std::unique_ptr<CandidateRun>> run = CandidateRun::create(options, console);
    ASSERT_TRUE(run.ok()) << run.message();
    const std::vector<float> scaled = (*run)->scaledLossGrid(*findTunable(c.grid), c.factor);
    ASSERT_EQ(scaled.size(), original.size());
    // The cells a whole run routes, by the first hour of a run without losses.
    ASSERT_EQ(runSimulator(dir.path()).exitStatus, 0);
    const std::vector<float> hourly = readFloats(dir / "output/dischargeHourly.bin");
    int routed = 0, clamped = 0;
    for (std::size_t i = 0; i < scaled.size(); ++i) {
      if (hourly[i] == kMissingDischarge) {
        EXPECT_EQ(scaled[i], original[i]) << "cell " << i << " is not routed";
        continue;
      }
      const double exact = static_cast<double>(original[i]) * c.factor;
      EXPECT_EQ(scaled[i], static_cast<float>(std::min(std::max(exact, c.lowest), c.highest)));
      clamped += exact > c.highest;
      ++routed;
    }
    EXPECT_GT(routed, 2);
    if (c.grid == "curveNumber") {
      EXPECT_GT(clamped, 0) << "some curve numbers must reach 100";
    }
    copyTree(dir.path(), scaledDir.path());
    writeFloats(scaledDir / "topoData" / (c.grid + ".bin"), scaled);
  }
  expectEveryRoutedCellAsTheWholeRun(dir.path(), options, {c.factor}, {"--losses", c.method},
                                     scaledDir.path());
}

INSTANTIATE_TEST_SUITE_P(Methods, CandidateRunWithLosses,
                         ::testing::Values(LossCase{"constant", "initialLoss", 1.7, 0, HUGE_VAL},
                                           LossCase{"scs-cn", "curveNumber", 1.2, 1, 100},
                                           LossCase{"green-ampt", "ksat", 0.6, 0, HUGE_VAL}),
                         [](const auto& info) { return info.param.grid; });

}  // namespace
}  // namespace runoff::testing
