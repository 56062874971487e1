// runoff-sim --soil end to end: a soil that never fills, drains or evaporates gives the bytes of
// the loss method's run alone; the water budget closes to rounding under the conservative
// scheme with every loss method and both sources of PET; a full soil evaporates at the
// potential rate; a run split in two with its state equals the whole run; bad soil grids, PET
// files, options and foreign states are refused with one line before anything is written.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "support/basin_builder.h"
#include "support/test_support.h"

namespace runoff::testing {
namespace {

const std::vector<std::string> kFiles = {"dischargeDaily.bin", "dischargeHourlyMaxInDay.bin",
                                         "dischargeHourly.bin"};

RunResult run(const fs::path& dir, const std::vector<std::string>& args, int threads = 2) {
  return runProgram(RUNOFF_SIM_EXE, args, dir, "", "OMP_NUM_THREADS=" + std::to_string(threads));
}

std::vector<std::string> with(std::vector<std::string> args,
                              const std::vector<std::string>& more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

// The mixed basin (5 x 5, rain on a 2 x 2 grid) with loss and soil grids and `days` days of
// daylight PET.
void writeSoilBasin(const fs::path& dir, int days = 2) {
  mixedBasin(days).write(dir);
  writeLossGrids(dir, 5, 5);
  writeSoilGrids(dir, 5, 5);
  writeFile(dir / "input/pet.dat", daylightPet(days, 2, 2));
}

void fill(const fs::path& dir, const std::string& grid, float value) {
  writeFloats(dir / "topoData" / grid, std::vector<float>(25, value));
}

// The soil only holds what the method took when it can neither fill, nor let water through,
// nor lose it to the air: the discharge files are those of the method alone.
TEST(SoilRun, ASoilThatNeverFillsDrainsOrEvaporatesGivesTheLossRunsBytes) {
  for (const std::string method : {"constant", "scs-cn", "green-ampt"}) {
    TempDir plain, soil;
    for (const fs::path& dir : {plain.path(), soil.path()}) writeSoilBasin(dir);
    fs::remove(soil / "input/pet.dat");
    fill(soil.path(), "soilCapacity.bin", 1e9f);
    fill(soil.path(), "percolation.bin", 0);
    ASSERT_EQ(run(plain.path(), {"--losses", method}).exitStatus, 0);
    const RunResult r = run(soil.path(), {"--losses", method, "--soil"});
    ASSERT_EQ(r.exitStatus, 0) << r.out;
    EXPECT_TRUE(contains(r.out, "Potential evapotranspiration is 0: there is no ./input/pet.dat "
                                "and no --pet.\n"))
        << r.out;
    for (const std::string& file : kFiles) {
      EXPECT_EQ(readFile(soil / ("output/" + file)), readFile(plain / ("output/" + file)))
          << file << " with " << method;
    }
  }
}

// The total line of a budget with the soil's columns.
struct SoilTotals {
  double rain = 0, loss = 0, et = 0, baseflow = 0, inflow = 0, outflow = 0, start = 0, end = 0,
         soilStart = 0, soilEnd = 0, groundStart = 0, groundEnd = 0, error = 0;
};

SoilTotals soilTotal(const std::string& console) {
  SoilTotals t;
  const std::size_t at = console.find("\n  total ");
  EXPECT_NE(at, std::string::npos) << console;
  if (at == std::string::npos) return t;
  EXPECT_EQ(std::sscanf(console.c_str() + at,
                        "\n  total %lf %lf %lf %lf %lf %lf %lf %lf %lf %lf %lf %lf %lf", &t.rain,
                        &t.loss, &t.et, &t.baseflow, &t.inflow, &t.outflow, &t.start, &t.end,
                        &t.soilStart, &t.soilEnd, &t.groundStart, &t.groundEnd, &t.error),
            13);
  return t;
}

struct BudgetCase {
  std::string name;
  std::vector<std::string> args;
};

void PrintTo(const BudgetCase& c, std::ostream* os) { *os << c.name; }

class SoilBudget : public ::testing::TestWithParam<BudgetCase> {};

// Under the conservative scheme every drop is rain, evapotranspiration, outflow or in a store:
// the budget closes to rounding, with every method and either PET. The soil evaporates and
// the groundwater returns baseflow; without a method the soil only drains.
TEST_P(SoilBudget, ClosesUnderTheConservativeScheme) {
  TempDir dir;
  writeSoilBasin(dir.path(), 3);
  const RunResult r = run(
      dir.path(), with({"--soil", "--budget", "--scheme", "conservative", "--baseflow-start", "0.02"},
                       GetParam().args));
  ASSERT_EQ(r.exitStatus, 0) << r.out;
  EXPECT_TRUE(contains(r.out, "  basin          rain          loss            et      baseflow"))
      << r.out;
  const SoilTotals t = soilTotal(r.out);
  EXPECT_GT(t.et, 0);
  EXPECT_GT(t.baseflow, 0);
  EXPECT_LT(std::abs(t.error), 1e-10 * t.rain) << r.out;
  // The printed numbers (seven digits) add up as the error says.
  EXPECT_NEAR(t.rain - t.et + t.inflow + t.start + t.soilStart + t.groundStart - t.outflow - t.end -
                  t.soilEnd - t.groundEnd,
              0, 1e-6 * (t.rain + t.soilStart));
  if (GetParam().args.empty() || GetParam().args[0] != "--losses") {
    EXPECT_LT(std::abs(t.loss), 1e-12 * t.rain) << r.out;
  } else {
    EXPECT_GT(t.loss, 0.01 * t.rain) << r.out;
  }
}

INSTANTIATE_TEST_SUITE_P(
    RunoffSim, SoilBudget,
    ::testing::Values(BudgetCase{"NoLossMethod", {}},
                      BudgetCase{"Constant", {"--losses", "constant", "--soil-start", "1"}},
                      BudgetCase{"ScsCnConstantPet", {"--losses", "scs-cn", "--pet", "4.5"}},
                      BudgetCase{"GreenAmpt", {"--losses", "green-ampt", "--et-threshold", "0.3"}}),
    [](const auto& info) { return info.param.name; });

// A soil kept full by rain that all infiltrates (a constant loss above the rain) evaporates at
// the potential rate every hour: of 2 mm/h of rain, 1 mm/h goes back to the air. The budget
// counts the rain in sub-steps, the run's first one halved.
TEST(SoilRun, AFullSoilEvaporatesAtThePotentialRate) {
  TempDir dir;
  Basin basin = valleyBasin(5, 5, 3);
  basin.rain = uniformRain(3, 2, 2, "2");
  basin.write(dir.path());
  writeLossGrids(dir.path(), 5, 5);
  fill(dir.path(), "initialLoss.bin", 0);
  fill(dir.path(), "constantLoss.bin", 50);
  fill(dir.path(), "impervious.bin", 0);
  fill(dir.path(), "soilCapacity.bin", 30);
  fill(dir.path(), "percolation.bin", 0.4f);
  fill(dir.path(), "baseflowTime.bin", 10);
  const RunResult r = run(dir.path(), {"--soil", "--losses", "constant", "--budget", "--pet", "24",
                                       "--soil-start", "1", "--et-threshold", "1"});
  ASSERT_EQ(r.exitStatus, 0) << r.out;
  const SoilTotals t = soilTotal(r.out);
  EXPECT_NEAR(t.et / t.rain, 0.5, 1e-3) << r.out;
  // The soil is full at the start and at the end (less the half sub-step of the last hour's
  // 1.4 mm/h that the budget counts as on its way: 0.4 % of 30 mm at 600 s).
  EXPECT_NEAR(t.soilEnd / t.soilStart, 1 - 1.4 / 12 / 30, 1e-6) << r.out;
}

// Days 1-4 on the mixed basin, with its rain and PET for those days.
std::string petDays(int first, int last) {
  std::istringstream in(daylightPet(4, 2, 2));
  std::string stamp, values, out;
  for (int hour = 0; std::getline(in, stamp) && std::getline(in, values); ++hour) {
    const int day = hour / 24 + 1;
    if (day >= first && day <= last) out += stamp + "\n" + values + "\n";
  }
  return out;
}

std::string rainDays(const std::string& rain, int first, int last) {
  std::istringstream in(rain);
  std::string line, out;
  for (int n = 0; std::getline(in, line); ++n) {
    const int day = n / (24 * 3) + 1;
    if (day >= first && day <= last) out += line + "\n";
  }
  return out;
}

class SoilRestart : public ::testing::TestWithParam<BudgetCase> {};

// The soil and groundwater travel in the state file: days 1-2 and then 3-4 (with the PET of
// those days) are the four days at once, on any number of threads.
TEST_P(SoilRestart, TwoPlusTwoDaysEqualFour) {
  TempDir whole, first, second;
  writeSoilBasin(whole.path(), 4);
  const std::vector<std::string> args = with({"--soil", "--baseflow-start", "0.05"}, GetParam().args);
  const RunResult all = run(whole.path(), args, 3);
  ASSERT_EQ(all.exitStatus, 0) << all.out;

  Basin half = mixedBasin(4);
  half.param(kDays, "2");
  const std::string rain = half.rain;
  const std::string state = (first / "state.bin").string();
  for (int part : {0, 1}) {
    const fs::path dir = part == 0 ? first.path() : second.path();
    half.rain = rainDays(rain, 1 + 2 * part, 2 + 2 * part);
    half.write(dir);
    writeLossGrids(dir, 5, 5);
    writeSoilGrids(dir, 5, 5);
    // The second half's PET is undated: the rain's stamps there do not begin the file's days.
    writeFile(dir / "input/pet.dat", petDays(1 + 2 * part, 2 + 2 * part));
    const RunResult r =
        run(dir, with(args, {part == 0 ? "--state-out" : "--state-in", state}), 1 + part);
    ASSERT_EQ(r.exitStatus, 0) << r.out;
  }
  for (const std::string& file : kFiles) {
    EXPECT_EQ(readFile(first / ("output/" + file)) + readFile(second / ("output/" + file)),
              readFile(whole / ("output/" + file)))
        << file;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Methods, SoilRestart,
    ::testing::Values(BudgetCase{"NoLossMethod", {}},
                      BudgetCase{"Constant", {"--losses", "constant"}},
                      BudgetCase{"ScsCnEvents", {"--losses", "scs-cn", "--event-gap", "2"}},
                      BudgetCase{"GreenAmptConservative",
                                 {"--losses", "green-ampt", "--scheme", "conservative"}}),
    [](const auto& info) { return info.param.name; });

struct RefusedCase {
  std::string name;
  std::vector<std::string> args;
  std::function<void(const fs::path&)> damage;
  std::string line;  // the whole console's last line
};

void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.name; }

class SoilRefused : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(SoilRefused, WithOneLineBeforeAnythingIsWritten) {
  const RefusedCase& c = GetParam();
  TempDir dir;
  writeSoilBasin(dir.path());
  if (c.damage) c.damage(dir.path());
  const RunResult r = run(dir.path(), c.args);
  EXPECT_EQ(r.exitStatus, 1) << r.out;
  EXPECT_EQ(lastLine(r.out), c.line) << r.out;
  EXPECT_FALSE(contains(r.out, "Runoff simulation starts.")) << r.out;
  EXPECT_EQ(entries(dir / "output"), std::vector<std::string>{});
}

// Sets topoData/NAME at (row from the north, column) of the 5 x 5 grid to `value`.
std::function<void(const fs::path&)> sets(const std::string& name, int row, int col, float value) {
  return [=](const fs::path& d) {
    std::vector<float> v = readFloats(d / "topoData" / name);
    v[static_cast<std::size_t>(4 - row) * 5 + col] = value;
    writeFloats(d / "topoData" / name, v);
  };
}

std::function<void(const fs::path&)> writesPet(const std::string& text) {
  return [=](const fs::path& d) { writeFile(d / "input/pet.dat", text); };
}

std::vector<RefusedCase> refusedCases() {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const std::string at = " (counted from 1 at the south-west) is ";
  const std::vector<std::string> soil = {"--soil"};
  std::string negative = daylightPet(2, 2, 2);
  negative.replace(negative.find("0.4"), 3, "-0.4");
  return {
      {"MissingCapacity", soil,
       [](const fs::path& d) { fs::remove(d / "topoData/soilCapacity.bin"); },
       "./topoData/soilCapacity.bin cannot open; --soil needs it."},
      {"ShortPercolation", soil,
       [](const fs::path& d) { fs::resize_file(d / "topoData/percolation.bin", 96); },
       "./topoData/percolation.bin has 96 bytes; the grid needs 100 (5 rows x 5 columns of 4 "
       "bytes)."},
      {"ZeroCapacity", soil, sets("soilCapacity.bin", 2, 2, 0),
       "./topoData/soilCapacity.bin: the value at column 3, row 3" + at +
           "0; it must be a number above 0."},
      {"NegativePercolation", soil, sets("percolation.bin", 1, 2, -0.1f),
       "./topoData/percolation.bin: the value at column 3, row 4" + at +
           "-0.1; it must be a number of 0 or more."},
      {"NaNBaseflowTime", soil, sets("baseflowTime.bin", 3, 2, nan),
       "./topoData/baseflowTime.bin: the value at column 3, row 2" + at +
           "nan; it must be a number above 0."},
      {"ShortPet", soil, writesPet(daylightPet(1, 2, 2)),
       "./input/pet.dat holds 24 hours of potential evapotranspiration; the run needs 48."},
      {"NegativePet", soil, writesPet(negative),
       "./input/pet.dat: the record of day 1 hour 6 holds \"-0.4\", which is not a potential "
       "evapotranspiration (0 to 100 mm/h)."},
      {"PetOfAnotherGrid", soil, writesPet(daylightPet(2, 3, 2)),
       "./input/pet.dat: the record of day 1 hour 1 is stamped 0 0 2020 7 1 1, not one "
       "hour after the record before it (a gap, or a file made for a rainfall grid of another "
       "size)."},
      {"ThresholdZero", {"--soil", "--et-threshold", "0"}, nullptr,
       "runoff-sim: Option --et-threshold takes a share of the soil's capacity above 0 and at "
       "most 1, not \"0\"."},
      {"ThresholdAboveOne", {"--soil", "--et-threshold", "1.5"}, nullptr,
       "runoff-sim: Option --et-threshold takes a share of the soil's capacity above 0 and at "
       "most 1, not \"1.5\"."},
      {"NegativeSoilStart", {"--soil", "--soil-start", "-0.1"}, nullptr,
       "runoff-sim: Option --soil-start takes a share of the soil's capacity from 0 to 1, not "
       "\"-0.1\"."},
      {"NegativeBaseflowStart", {"--soil", "--baseflow-start", "-1"}, nullptr,
       "runoff-sim: Option --baseflow-start takes a baseflow in mm/h from 0 to 1000, not \"-1\"."},
      {"NegativePetOption", {"--soil", "--pet", "-2"}, nullptr,
       "runoff-sim: Option --pet takes a rate in mm/day from 0 to 2400, not \"-2\"."},
      {"PetWithoutSoil", {"--pet", "2"}, nullptr,
       "runoff-sim: Option --pet applies to --soil only."},
  };
}

INSTANTIATE_TEST_SUITE_P(RunoffSim, SoilRefused, ::testing::ValuesIn(refusedCases()),
                         [](const auto& info) { return info.param.name; });

// A state continues only a run of the same soil: with or without it, with its threshold and
// its grids.
TEST(SoilState, OfAnotherSoilIsRefused) {
  struct Case {
    std::vector<std::string> written, read;
    std::function<void(const fs::path&)> change;
    std::string difference;
  };
  const std::vector<Case> cases = {
      {{}, {"--soil"}, nullptr,
       "it was written without soil and groundwater stores, this run has them (--soil)."},
      {{"--soil"}, {}, nullptr,
       "it was written with soil and groundwater stores (--soil), this run has none."},
      {{"--soil"}, {"--soil"}, sets("baseflowTime.bin", 2, 2, 77),
       "it was written with other soil grids (their checksum differs)."},
  };
  for (const Case& c : cases) {
    TempDir dir;
    writeSoilBasin(dir.path());
    const fs::path state = dir / "state.bin";
    ASSERT_EQ(run(dir.path(), with(c.written, {"--state-out", state.string()})).exitStatus, 0);
    if (c.change) c.change(dir.path());
    const RunResult r = run(dir.path(), with(c.read, {"--state-in", state.string()}));
    EXPECT_EQ(r.exitStatus, 1) << r.out;
    EXPECT_EQ(lastLine(r.out),
              "State file " + state.string() + " does not fit this run: " + c.difference);
  }
}

}  // namespace
}  // namespace runoff::testing
