// runoff-sim --lakes end to end on a valley whose middle column is the river: a lake that
// empties as fast as it fills gives the run without it; the water budget closes with lakes of
// every rule under the conservative scheme, the lake series holds what its level says and a
// gauge at a lake reads its outflow; a run split in two with its state equals the whole
// run, on any number of threads; bad lake lists, release series and foreign states are refused
// with one line before anything is written.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/basin_builder.h"
#include "support/test_support.h"

namespace runoff::testing {
namespace {

constexpr int kRows = 7;
constexpr int kCols = 5;

// Four days of rain on a 7 x 5 valley that drains south down its middle column.
Basin valley(int days = 4) {
  Basin b = valleyBasin(kRows, kCols, days);
  b.param(kInitialRunoff, "0.5");
  return b;
}

// The centre of cell (row from the north, column) as "lon,lat" of the lake list; 3" cells
// from 140 E, 36 N.
std::string at(int row, int col) {
  char text[64];
  std::snprintf(text, sizeof text, "%.7f,%.7f", 140 + (col + 0.5) / 1200.0,
                36 + (kRows - 1 - row + 0.5) / 1200.0);
  return text;
}

// Three lakes down the river, one of each rule.
std::string threeLakes() {
  return "name,lon,lat,area,rule,a,b,start\n"
         "Upper," +
         at(2, 2) +
         ",0.02,weir,0.5,1.5,0.05\n"
         "Dam," +
         at(3, 2) +
         ",0.01,releases,0.0004,,0.01\n"
         "Lower," +
         at(5, 2) + ",0.05,linear,6,,0\n";
}
const std::string kReleases =
    "time,lake,outflow\n2020-07-01T05:00:00,Dam,0.002\n2020-07-02T12:00:00,Dam,0.02\n";

RunResult run(const fs::path& dir, std::vector<std::string> args, int threads = 2) {
  return runProgram(RUNOFF_SIM_EXE, args, dir, "", "OMP_NUM_THREADS=" + std::to_string(threads));
}

// Writes `lakes` (and the releases, when given) beside the basin and returns the options that
// route them, outlets placed exactly.
std::vector<std::string> lakeOptions(const fs::path& dir, const std::string& lakes,
                                     const std::string& releases = "") {
  writeFile(dir / "lakes.csv", lakes);
  std::vector<std::string> args = {"--lakes", (dir / "lakes.csv").string(), "--snap", "0"};
  if (!releases.empty()) {
    writeFile(dir / "releases.csv", releases);
    args.insert(args.end(), {"--releases", (dir / "releases.csv").string()});
  }
  return args;
}

struct LakeLine {
  std::string time, lake;
  double inflow = 0, outflow = 0, level = 0;
};

std::vector<LakeLine> lakeSeries(const fs::path& file) {
  std::istringstream in(readFile(file));
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "time,lake,inflow,outflow,level");
  std::vector<LakeLine> lines;
  while (std::getline(in, line)) {
    LakeLine l;
    std::istringstream fields(line);
    std::string value;
    std::getline(fields, l.time, ',');
    std::getline(fields, l.lake, ',');
    for (double* v : {&l.inflow, &l.outflow, &l.level}) {
      std::getline(fields, value, ',');
      *v = std::stod(value);
    }
    lines.push_back(l);
  }
  return lines;
}

// A linear lake of a vanishing time constant holds nothing: the discharge is the run's
// without it to rounding, and the lake's outflow is its inflow.
TEST(LakeRun, AVanishingLinearLakeGivesTheRunWithoutIt) {
  TempDir plain, lake;
  valley().write(plain.path());
  valley().write(lake.path());
  ASSERT_EQ(run(plain.path(), {}).exitStatus, 0);
  const RunResult r = run(lake.path(), lakeOptions(lake.path(),
                                                   "name,lon,lat,area,rule,a,b,start\n"
                                                   "Pass," +
                                                       at(3, 2) + ",0.01,linear,1e-9,,0\n"));
  ASSERT_EQ(r.exitStatus, 0) << r.out;
  EXPECT_TRUE(contains(r.out, "Lake \"Pass\": column 3, row 4, flow accumulation 12\n")) << r.out;
  const std::vector<float> without = readFloats(plain / "output/dischargeHourly.bin");
  const std::vector<float> with = readFloats(lake / "output/dischargeHourly.bin");
  ASSERT_EQ(with.size(), without.size());
  for (std::size_t i = 0; i < with.size(); ++i) {
    EXPECT_NEAR(with[i], without[i], 1e-6 * std::abs(without[i]) + 1e-12) << i;
  }
  for (const LakeLine& l : lakeSeries(lake / "output/lakes.csv")) {
    EXPECT_NEAR(l.outflow, l.inflow, 1e-6 * l.inflow) << l.time;
    EXPECT_LT(l.level, 1e-9) << l.time;
  }
}

struct Totals {
  double rain = 0, inflow = 0, outflow = 0, start = 0, end = 0, lakeStart = 0, lakeEnd = 0,
         lakeEvaporation = 0, error = 0;
};

Totals reportedTotal(const std::string& console) {
  Totals t;
  const std::size_t at = console.find("\n  total ");
  EXPECT_NE(at, std::string::npos) << console;
  if (at == std::string::npos) return t;
  EXPECT_EQ(std::sscanf(console.c_str() + at, "\n  total %lf %lf %lf %lf %lf %lf %lf %lf %lf",
                        &t.rain, &t.inflow, &t.outflow, &t.start, &t.end, &t.lakeStart, &t.lakeEnd,
                        &t.lakeEvaporation, &t.error),
            9);
  return t;
}

// Under the conservative scheme the budget with lakes closes to rounding: what the lakes hold
// at the end is what they held and took in less what they passed on. The lake series agrees:
// each lake's level moves by its hourly inflow less outflow over its area (to the rounding of
// the printed single-precision means), a weir's outflow rises with its level, and the dam
// releases its series until it fills and spills; a gauge at a lake (hours kept with daily grids
// only) reads the lake's outflow.
TEST(LakeRun, TheBudgetClosesAndTheSeriesFollowsEachLakesRule) {
  TempDir dir;
  valley().write(dir.path());
  writeFile(dir / "gauges.csv", "name,lon,lat\nAtLower," + at(5, 2) + "\n");
  std::vector<std::string> args = lakeOptions(dir.path(), threeLakes(), kReleases);
  args.insert(args.end(), {"--budget", "--scheme", "conservative", "--gauges",
                           (dir / "gauges.csv").string(), "--outputs", "daily"});
  const RunResult r = run(dir.path(), args);
  ASSERT_EQ(r.exitStatus, 0) << r.out;
  EXPECT_TRUE(contains(r.out,
                       "Lake \"Dam\" has no release before 2020-07-01T05:00:00: it "
                       "releases nothing (and spills above its capacity) until then.\n"))
      << r.out;
  EXPECT_TRUE(contains(r.out, "Write ./output/lakes.csv\n")) << r.out;
  EXPECT_TRUE(contains(r.out,
                       "storage end    lake start      lake end     lake evap         "
                       "error   error %\n"))
      << r.out;
  const Totals t = reportedTotal(r.out);
  EXPECT_LT(std::abs(t.error), 1e-10 * t.rain) << r.out;
  EXPECT_NEAR(t.lakeStart, 0.05 * 0.02e6 + 0.01 * 0.01e6, 1e-6);
  EXPECT_GT(t.lakeEnd, 0);
  EXPECT_EQ(t.lakeEvaporation, 0);

  const std::map<std::string, double> area = {
      {"Upper", 0.02e6}, {"Dam", 0.01e6}, {"Lower", 0.05e6}};
  std::map<std::string, double> level = {{"Upper", 0.05}, {"Dam", 0.01}, {"Lower", 0}};
  std::map<std::string, int> hour;
  std::istringstream gauge(readFile(dir / "output/gauges.csv"));
  std::string gaugeLine;
  std::getline(gauge, gaugeLine);
  const std::vector<LakeLine> lines = lakeSeries(dir / "output/lakes.csv");
  ASSERT_EQ(lines.size(), 3u * 96);
  for (const LakeLine& l : lines) {
    const double change = (l.inflow - l.outflow) * 3600 / area.at(l.lake);
    EXPECT_NEAR(l.level - level[l.lake], change,
                1e-5 * (l.inflow + l.outflow) * 3600 / area.at(l.lake) + 1e-6)
        << l.lake << " " << l.time;
    if (l.lake == "Dam") {
      const int h = hour[l.lake];
      // Below its capacity of 400 m3 (0.04 m over 0.01 km2) the dam releases the series.
      if (l.level < 0.0399) {
        EXPECT_NEAR(l.outflow, h < 5 ? 0 : h < 36 ? 0.002 : 0.02, 1e-7) << l.time;
      }
      EXPECT_LE(l.level, 0.04 + 1e-7) << l.time;
    }
    if (l.lake == "Lower") {
      // A gauge on the lake's outlet cell reads what the lake lets out.
      ASSERT_TRUE(std::getline(gauge, gaugeLine));
      EXPECT_EQ(gaugeLine.substr(0, gaugeLine.find(',')), l.time);
      EXPECT_EQ(std::stof(gaugeLine.substr(gaugeLine.rfind(',') + 1)),
                static_cast<float>(l.outflow));
    }
    level[l.lake] = l.level;
    ++hour[l.lake];
  }
}

// With the soil's PET the lakes lose water to the air: at 2.4 mm/day a lake that never runs
// dry evaporates 0.1 mm an hour over its whole area, 0.1e-3 m x 96 h x 0.08 km2 = 768 m3 for
// the three lakes over the four days, and the budget, soil and lakes together, still closes.
TEST(LakeRun, LakesEvaporateThePetOfTheirPlace) {
  TempDir dir;
  valley().write(dir.path());
  writeSoilGrids(dir.path(), kRows, kCols);
  std::vector<std::string> args = lakeOptions(dir.path(), threeLakes(), kReleases);
  args.insert(args.end(), {"--budget", "--scheme", "conservative", "--soil", "--pet", "2.4"});
  const RunResult r = run(dir.path(), args);
  ASSERT_EQ(r.exitStatus, 0) << r.out;
  const std::size_t at = r.out.find("\n  total ");
  ASSERT_NE(at, std::string::npos) << r.out;
  double v[16];
  ASSERT_EQ(std::sscanf(r.out.c_str() + at,
                        "\n  total %lf %lf %lf %lf %lf %lf %lf %lf %lf %lf %lf %lf %lf %lf %lf %lf",
                        &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], &v[8], &v[9],
                        &v[10], &v[11], &v[12], &v[13], &v[14], &v[15]),
            16)
      << r.out;
  const double rain = v[0], lakeEvaporation = v[14], error = v[15];
  EXPECT_LT(std::abs(error), 1e-10 * rain) << r.out;
  EXPECT_LE(lakeEvaporation, 768 * (1 + 1e-9)) << r.out;
  EXPECT_GT(lakeEvaporation, 0.98 * 768) << r.out;
}

// The records of days `first` to `last` of the valley's rain (three lines a record).
std::string rainDays(const std::string& rain, int first, int last) {
  std::istringstream in(rain);
  std::string line, out;
  for (int n = 0; std::getline(in, line); ++n) {
    const int day = n / 72 + 1;
    if (day >= first && day <= last) out += line + "\n";
  }
  return out;
}

// Two days and two more from the state equal the four days, every file and the lake series,
// for the threads of the whole run and of the halves.
TEST(LakeRun, TwoHalvesWithTheirStateEqualTheWholeRun) {
  for (const auto& [wholeThreads, halfThreads] : {std::pair{1, 3}, std::pair{3, 1}}) {
    TempDir whole, first, second;
    const Basin basin = valley();
    basin.write(whole.path());
    ASSERT_EQ(run(whole.path(), lakeOptions(whole.path(), threeLakes(), kReleases), wholeThreads)
                  .exitStatus,
              0);
    Basin half = basin;
    half.param(kDays, "2");
    half.rain = rainDays(basin.rain, 1, 2);
    half.write(first.path());
    const std::string state = (first / "state.bin").string();
    std::vector<std::string> args = lakeOptions(first.path(), threeLakes(), kReleases);
    args.insert(args.end(), {"--state-out", state});
    RunResult a = run(first.path(), args, halfThreads);
    ASSERT_EQ(a.exitStatus, 0) << a.out;
    half.rain = rainDays(basin.rain, 3, 4);
    half.write(second.path());
    args = lakeOptions(second.path(), threeLakes(), kReleases);
    args.insert(args.end(), {"--state-in", state});
    RunResult b = run(second.path(), args, halfThreads);
    ASSERT_EQ(b.exitStatus, 0) << b.out;
    for (const std::string file :
         {"dischargeDaily.bin", "dischargeHourlyMaxInDay.bin", "dischargeHourly.bin"}) {
      EXPECT_EQ(readFile(first / "output" / file) + readFile(second / "output" / file),
                readFile(whole / "output" / file))
          << file;
    }
    const std::string secondSeries = readFile(second / "output/lakes.csv");
    EXPECT_EQ(
        readFile(first / "output/lakes.csv") + secondSeries.substr(secondSeries.find('\n') + 1),
        readFile(whole / "output/lakes.csv"));
  }
}

// Each refusal: the lake list and the releases (none when empty), and the end of the line.
struct Refusal {
  std::string name;
  std::string lakes;
  std::string releases;
  std::string line;
};

class LakeRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(LakeRefusal, OneLineAndNothingWritten) {
  const Refusal& c = GetParam();
  TempDir dir;
  valley().write(dir.path());
  const RunResult r = run(dir.path(), lakeOptions(dir.path(), c.lakes, c.releases));
  EXPECT_EQ(r.exitStatus, 1) << r.out;
  const std::string line = lastLine(r.out);
  EXPECT_EQ(line.substr(line.size() - std::min(line.size(), c.line.size())), c.line) << r.out;
  EXPECT_TRUE(entries(dir / "output").empty());
}

const std::string kHead = "name,lon,lat,area,rule,a,b,start\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, LakeRefusal,
    ::testing::Values(
        Refusal{"UnknownRule", kHead + "A," + at(3, 2) + ",1,spillway,1,,0\n", "",
                "lakes.csv line 2: rule \"spillway\" of lake \"A\" is not linear, weir or "
                "releases."},
        Refusal{"NonPositiveArea", kHead + "A," + at(3, 2) + ",0,linear,1,,0\n", "",
                "lakes.csv line 2: area \"0\" of lake \"A\" must be above 0 (its surface, km2)."},
        Refusal{"NonPositiveTimeConstant", kHead + "A," + at(3, 2) + ",1,linear,-2,,0\n", "",
                "lakes.csv line 2: a \"-2\" of lake \"A\" must be above 0 (its time constant, "
                "hours)."},
        Refusal{"OutsideTheGrid", kHead + "A,141,36.001,1,linear,1,,0\n", "",
                "Lake \"A\" at lon 141, lat 36.001 lies outside the grid (lon 140 to "
                "140.0041667, lat 36 to 36.00583333)."},
        Refusal{"OffEveryRoutedCell", kHead + "A," + at(3, 0) + ",1,linear,1,,0\n", "",
                "Lake \"A\" has no routed cell within 0 cells of column 1, row 4."},
        Refusal{"OnTheOuterRing", kHead + "A," + at(6, 2) + ",1,linear,1,,0\n", "",
                "Lake \"A\" has no routed cell within 0 cells of column 3, row 1."},
        Refusal{"TwoOnOneCell",
                kHead + "A," + at(3, 2) + ",1,linear,1,,0\nB," + at(3, 2) + ",1,linear,1,,0\n", "",
                "Lakes \"A\" and \"B\" are both placed on column 3, row 4; a cell holds one lake."},
        Refusal{"ReleaseOfAnUnknownLake", threeLakes(),
                "time,lake,outflow\n2020-07-01T00:00:00,Nowhere,1\n",
                "releases.csv line 2: lake \"Nowhere\" is not in the lake list."},
        Refusal{"NegativeRelease", threeLakes(), "time,lake,outflow\n2020-07-01T00:00:00,Dam,-1\n",
                "releases.csv line 2: outflow \"-1\" of lake \"Dam\" is negative."},
        Refusal{"ReleaseOfAWeir", threeLakes(), "time,lake,outflow\n2020-07-01T00:00:00,Upper,1\n",
                "releases.csv line 2: lake \"Upper\" has the weir rule; only a lake of the "
                "releases rule takes releases."}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return info.param.name; });

// A state is continued only by a run with the lake list that wrote it.
TEST(LakeRun, AStateFromAnotherLakeListIsRefused) {
  TempDir first;
  valley(2).write(first.path());
  const std::string state = (first / "state.bin").string();
  const std::string plainState = (first / "plain.bin").string();
  std::vector<std::string> args = lakeOptions(first.path(), threeLakes(), kReleases);
  args.insert(args.end(), {"--state-out", state});
  ASSERT_EQ(run(first.path(), args).exitStatus, 0);
  ASSERT_EQ(run(first.path(), {"--state-out", plainState}).exitStatus, 0);
  std::string otherLakes = threeLakes();
  otherLakes.replace(otherLakes.find("linear,6"), 8, "linear,7");
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--lakes", (first / "other.csv").string(), "--snap", "0", "--state-in", state},
       "it was written with another lake list (their checksum differs)."},
      {{"--state-in", state}, "it was written with a lake list, this run has none."},
      {{"--lakes", (first / "lakes.csv").string(), "--snap", "0", "--state-in", plainState},
       "it was written without lakes, this run has a lake list."},
  };
  writeFile(first / "other.csv", otherLakes);
  for (const auto& [options, reason] : cases) {
    TempDir dir;
    valley(2).write(dir.path());
    const RunResult r = run(dir.path(), options);
    EXPECT_EQ(r.exitStatus, 1) << r.out;
    EXPECT_TRUE(contains(lastLine(r.out), reason)) << r.out;
    EXPECT_TRUE(entries(dir / "output").empty());
  }
}

}  // namespace
}  // namespace runoff::testing
