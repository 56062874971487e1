// The run as an object that steps: a run advanced in any split of its hours (an hour at a time,
// or random spans across days and windows) writes the console text and the files of
// runoff-sim, byte for byte, lakes and their series too; the next hour's rain set through the
// object gives the bytes of runoff-sim on a rain file holding it; the last hour's grid is that hour of the hourly file;
// and the steps refuse to be taken out of order with one line.
#include "runoff/run/simulation.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "runoff/run/sim_options.h"
#include "support/basin_builder.h"
#include "support/test_support.h"

namespace runoff::testing {
namespace {

// 40 days on a 7 x 7 grid: two windows (31 days, then 9).
constexpr int kDays = 40;

Basin basin() { return valleyBasin(7, 7, kDays); }

// Two gauges on the middle column, near the outlet and upstream (name,lon,lat).
const char* kGauges = "name,lon,lat\nOutlet,140.00292,36.0013\nUp,140.00292,36.00375\n";

// A weir and a reservoir on the middle column (the reservoir releasing from the second window).
const char* kLakes =
    "name,lon,lat,area,rule,a,b,start\n"
    "Weir,140.0029167,36.00375,0.02,weir,0.5,1.5,0.05\n"
    "Dam,140.0029167,36.0020833,0.01,releases,0.0004,,0\n";
const char* kReleases = "time,lake,outflow\n2020-08-01T10:00:00,Dam,0.001\n";

void prepare(const fs::path& dir, bool losses) {
  basin().write(dir);
  writeFile(dir / "gauges.csv", kGauges);
  writeFile(dir / "lakes.csv", kLakes);
  writeFile(dir / "releases.csv", kReleases);
  if (losses) {
    writeLossGrids(dir, 7, 7);
    writeSoilGrids(dir, 7, 7);
    // Undated: the basin's rain is stamped with days of July past the 31st.
    writeFile(dir / "input/pet.dat", daylightPet(kDays, 2, 2, false));
  }
}

// Everything a run left: its output folder's files and its state file, by name.
std::vector<std::pair<std::string, std::string>> leftFiles(const fs::path& dir) {
  std::vector<std::pair<std::string, std::string>> files;
  for (const std::string& name : entries(dir / "output")) {
    files.emplace_back(name, readFile(dir / "output" / name));
  }
  if (fs::exists(dir / "state.bin")) files.emplace_back("state.bin", readFile(dir / "state.bin"));
  return files;
}

// How a run's hours are cut into advance() calls: the next call's hours, given those left.
using Cut = std::function<std::int64_t(std::int64_t left)>;

struct Stepped {
  std::string console;
  Status status;
};

// Runs the simulation with `args` in `dir`, advancing by `cut`; `beforeHour`, when given, is
// called before each call with the object.
Stepped stepRun(const fs::path& dir, const std::vector<std::string>& args, const Cut& cut,
                const std::function<void(Simulation&)>& beforeHour = {}) {
  Result<SimOptions> options = parseSimOptions(args);
  EXPECT_TRUE(options.ok()) << options.message();
  InDirectory inside(dir);
  std::ostringstream console;
  Simulation run(*options, console);
  Stepped stepped;
  stepped.status = run.initialize();
  while (stepped.status.ok() && run.hoursDone() < run.totalHours()) {
    if (beforeHour) beforeHour(run);
    stepped.status = run.advance(cut(run.totalHours() - run.hoursDone()));
  }
  if (stepped.status.ok()) stepped.status = run.finalize();
  stepped.console = console.str();
  return stepped;
}

Cut randomCut(std::uint32_t seed) {
  auto rng = std::make_shared<std::mt19937>(seed);
  return [rng](std::int64_t left) {
    const std::int64_t most = std::uniform_int_distribution<int>(0, 4)(*rng) == 0 ? 800 : 30;
    return std::uniform_int_distribution<std::int64_t>(1, std::min(left, most))(*rng);
  };
}

struct StepCase {
  std::string name;
  std::vector<std::string> args;
  bool losses = false;  // the loss and soil grids and the PET are written
};

void PrintTo(const StepCase& c, std::ostream* os) { *os << c.name; }

class SteppedRun : public ::testing::TestWithParam<StepCase> {};

TEST_P(SteppedRun, AnySplitOfTheHoursWritesTheBytesOfRunoffSim) {
  const StepCase& c = GetParam();
  TempDir whole;
  prepare(whole.path(), c.losses);
  const RunResult sim = runProgram(RUNOFF_SIM_EXE, c.args, whole.path());
  ASSERT_EQ(sim.exitStatus, 0) << sim.out;
  const auto expected = leftFiles(whole.path());
  ASSERT_GE(expected.size(), 2u);
  for (std::uint32_t split = 0; split < 3; ++split) {
    TempDir dir;
    prepare(dir.path(), c.losses);
    const Cut cut = split == 0 ? Cut([](std::int64_t) { return 1; }) : randomCut(split);
    const Stepped stepped = stepRun(dir.path(), c.args, cut);
    ASSERT_TRUE(stepped.status.ok()) << stepped.status.message();
    EXPECT_EQ(stepped.console, sim.out) << "split " << split;
    EXPECT_EQ(leftFiles(dir.path()), expected) << "split " << split;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Options, SteppedRun,
    ::testing::Values(StepCase{"Plain", {}},
                      StepCase{"DailyGridsAndGauges",
                               {"--outputs", "daily,max", "--gauges", "gauges.csv"}},
                      StepCase{"ConservativeBudgetAndState",
                               {"--scheme", "conservative", "--budget", "--state-out", "state.bin",
                                "--gauges", "gauges.csv"}},
                      StepCase{"Losses", {"--losses", "green-ampt", "--event-gap", "3"}, true},
                      StepCase{"SoilBudgetAndState",
                               {"--losses", "scs-cn", "--soil", "--baseflow-start", "0.1",
                                "--budget", "--scheme", "conservative", "--state-out",
                                "state.bin"},
                               true},
                      StepCase{"Lakes",
                               {"--lakes", "lakes.csv", "--releases", "releases.csv", "--snap",
                                "0", "--scheme", "conservative", "--budget", "--state-out",
                                "state.bin", "--outputs", "daily"}}),
    [](const auto& info) { return info.param.name; });

// The rain of some hours, each replaced on every rain cell: the last hour of the first
// window, the first of the second, and hours inside days.
const std::vector<std::pair<int, float>> kNewRain = {
    {5, 40.0f}, {30, 0.0f}, {31 * 24 - 1, 12.5f}, {31 * 24, 25.0f}, {900, 3.0f}};

// valleyBasin's rain file with the hours of kNewRain replaced.
std::string rainWithNewHours() {
  std::istringstream in(basin().rain);
  std::ostringstream out;
  std::string stamp, north, south;
  for (int hour = 0; std::getline(in, stamp) && std::getline(in, north) && std::getline(in, south);
       ++hour) {
    out << stamp << '\n';
    const auto at = std::find_if(kNewRain.begin(), kNewRain.end(),
                                 [&](const auto& n) { return n.first == hour; });
    if (at == kNewRain.end()) {
      out << north << '\n' << south << '\n';
    } else {
      out << at->second << ' ' << at->second << '\n' << at->second << ' ' << at->second << '\n';
    }
  }
  return out.str();
}

// A coupler sets the next hour's rain between hours: the run is that of a rain file holding
// it. The hourly grids the object shows after each hour are those of the hourly file.
TEST(SteppedRunRain, NextHourRainSetBetweenHoursGivesTheBytesOfThatRainFile) {
  TempDir file;
  prepare(file.path(), false);
  writeFile(file / "input/rain.dat", rainWithNewHours());
  const RunResult sim = runProgram(RUNOFF_SIM_EXE, file.path());
  ASSERT_EQ(sim.exitStatus, 0) << sim.out;
  const std::vector<float> hourly = readFloats(file / "output/dischargeHourly.bin");

  TempDir dir;
  prepare(dir.path(), false);
  std::int64_t checkedHours = 0;
  const Stepped stepped = stepRun(
      dir.path(), {}, [](std::int64_t) { return 1; },
      [&](Simulation& run) {
        if (run.hoursDone() > 0) {
          const std::span<const float> last = run.lastHour();
          const std::size_t cells = last.size();
          ASSERT_EQ(cells, 49u);
          const auto from = hourly.begin() + static_cast<std::ptrdiff_t>((run.hoursDone() - 1) *
                                                                         static_cast<long>(cells));
          EXPECT_TRUE(std::equal(last.begin(), last.end(), from)) << run.hoursDone();
          ++checkedHours;
        }
        const std::int64_t hour = run.hoursDone();
        EXPECT_EQ((run.nextDay() - 1) * 24 + run.nextHourOfDay(), hour);
        const auto at = std::find_if(kNewRain.begin(), kNewRain.end(),
                                     [&](const auto& n) { return n.first == hour; });
        if (at == kNewRain.end()) return;
        RainGrid& rain = run.windowRain();
        for (std::int32_t cell = 0; cell < rain.rows * rain.cols; ++cell) {
          rain.hourlyRain[rain.rainIndex(cell, run.nextDay(), run.nextHourOfDay())] = at->second;
        }
      });
  ASSERT_TRUE(stepped.status.ok()) << stepped.status.message();
  EXPECT_EQ(checkedHours, kDays * 24 - 1);
  EXPECT_EQ(leftFiles(dir.path()), leftFiles(file.path()));
}

// Each step refuses, with one line and without routing, to be taken out of its order or past
// the end of the run; a refused step leaves the run able to go on.
TEST(SteppedRunOrder, StepsOutOfOrderOrPastTheEndAreRefused) {
  TempDir dir;
  prepare(dir.path(), false);
  InDirectory inside(dir.path());
  std::ostringstream console;
  Simulation run(SimOptions{}, console);
  EXPECT_EQ(run.advance(1).message(), "The run is not initialized: nothing to route.");
  EXPECT_EQ(run.finalize().message(), "The run is not initialized: nothing to finalize.");
  ASSERT_TRUE(run.initialize().ok());
  EXPECT_EQ(run.initialize().message(), "The run is initialized already.");
  EXPECT_EQ(run.totalHours(), kDays * 24);
  EXPECT_TRUE(run.lastHour().empty());
  ASSERT_TRUE(run.advance(959).ok());
  EXPECT_EQ(run.advance(2).message(), "Cannot route 2 hours: the run has 1 of its 960 hours left.");
  EXPECT_EQ(run.advance(-1).message(),
            "Cannot route -1 hours: the run has 1 of its 960 hours left.");
  EXPECT_EQ(run.finalize().message(), "The run has 1 of its 960 hours left to route.");
  EXPECT_EQ(run.hoursDone(), 959);
  ASSERT_TRUE(run.advance(0).ok());
  ASSERT_TRUE(run.advance(1).ok());
  ASSERT_TRUE(run.finalize().ok());
  EXPECT_EQ(run.advance(0).message(), "The run routes no more hours.");
  EXPECT_EQ(run.finalize().message(), "The run is finalized already.");
  EXPECT_TRUE(fs::exists(dir / "output/dischargeHourly.bin"));

  fs::remove(dir / "input/rain.dat");
  std::ostringstream failedConsole;
  Simulation failed(SimOptions{}, failedConsole);
  EXPECT_EQ(failed.initialize().message(), "ROF file cannot open.");
  EXPECT_EQ(failed.advance(1).message(), "The run stopped at a failure: nothing to route.");
  EXPECT_EQ(failed.finalize().message(), "The run stopped at a failure: nothing to finalize.");
}

}  // namespace
}  // namespace runoff::testing
