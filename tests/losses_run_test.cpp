// runoff-sim --losses end to end: an impervious basin gives the bytes of a run without losses;
// the water budget closes under the conservative scheme with every method, and its loss is the
// curve number's for uniform rain; a run split in two with its state equals the whole run with
// every method; bad loss grids, options and foreign states are refused with one line before
// any output is written.
#include <gtest/gtest.h>

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

const fs::path kGolden = fs::path(TEST_DATA_DIR) / "golden";
const std::vector<std::string> kFiles = {"dischargeDaily.bin", "dischargeHourlyMaxInDay.bin",
                                         "dischargeHourly.bin"};
const std::vector<std::string> kMethods = {"constant", "scs-cn", "green-ampt"};

RunResult run(const fs::path& dir, const std::vector<std::string>& args, int threads = 2) {
  return runProgram(RUNOFF_SIM_EXE, args, dir, "", "OMP_NUM_THREADS=" + std::to_string(threads));
}

// The impervious fraction 1 on every cell lets every drop run off: whatever the method, the
// discharge files are the worked case's bytes.
TEST(LossesRun, AWhollyImperviousBasinGivesTheBytesOfARunWithoutLosses) {
  const std::string name = "small-realistic";
  for (const std::string& method : kMethods) {
    TempDir dir;
    copyTree(kGolden / name / "input", dir.path());
    fs::create_directories(dir / "temp");
    fs::create_directories(dir / "output");
    const std::string param = readFile(dir / "param-ravo-event-ver300.dat");
    int cols = 0, rows = 0;
    std::istringstream(param.substr(param.find_first_of(" \n") + 1)) >> cols >> rows;
    writeLossGrids(dir.path(), rows, cols);
    writeFloats(dir / "topoData/impervious.bin",
                std::vector<float>(static_cast<std::size_t>(rows) * cols, 1.0f));
    const RunResult r = run(dir.path(), {"--losses", method});
    ASSERT_EQ(r.exitStatus, 0) << r.out;
    EXPECT_TRUE(contains(r.out, "Rainfall losses: " + method + ".\nRunoff simulation starts.\n"));
    for (const std::string& file : kFiles) {
      EXPECT_EQ(readFile(dir / ("output/" + file)),
                readFile(kGolden / name / "expected" / ("output." + file)))
          << file << " with " << method;
    }
  }
}

struct Totals {
  double rain = 0, loss = 0, inflow = 0, outflow = 0, start = 0, end = 0, error = 0;
};

// The total line of a budget with a loss column.
Totals reportedTotal(const std::string& console) {
  Totals t;
  const std::size_t at = console.find("\n  total ");
  EXPECT_NE(at, std::string::npos) << console;
  if (at == std::string::npos) return t;
  EXPECT_EQ(std::sscanf(console.c_str() + at, "\n  total %lf %lf %lf %lf %lf %lf %lf", &t.rain,
                        &t.loss, &t.inflow, &t.outflow, &t.start, &t.end, &t.error),
            7);
  return t;
}

// Under the conservative scheme what the rain brings less the loss is all the routing sees, so
// the budget closes to rounding with every method; and the methods lose something.
TEST(LossesRun, ConservativeBudgetClosesWithEveryMethod) {
  for (const std::string& method : kMethods) {
    TempDir dir;
    const Basin basin = mixedBasin(2);
    basin.write(dir.path());
    writeLossGrids(dir.path(), basin.rows(), basin.cols());
    const RunResult r =
        run(dir.path(), {"--budget", "--scheme", "conservative", "--losses", method});
    ASSERT_EQ(r.exitStatus, 0) << r.out;
    EXPECT_TRUE(contains(
        r.out,
        "Water budget over the run, conservative scheme, m3 (error = rain - loss + inflow + "
        "storage start - outflow - storage end):\n"
        "  basin          rain          loss        inflow       outflow  storage start   "
        "storage end         error   error %\n"))
        << r.out;
    const Totals t = reportedTotal(r.out);
    EXPECT_GT(t.loss, 0.05 * t.rain) << method;
    EXPECT_LT(t.loss, t.rain) << method;
    EXPECT_LT(std::abs(t.error), 1e-10 * t.rain) << method << "\n" << r.out;
    // The printed numbers (seven digits) add up as the error says.
    EXPECT_NEAR(t.rain - t.loss + t.inflow + t.start - t.outflow - t.end, 0, 1e-6 * t.rain);
  }
}

// 10 mm/h for a day on curve number 75: of 240 mm the curve lets (240 - Ia)^2 / (240 - Ia + S)
// run off, S = 84.67 mm and Ia = 0.2 S. The budget counts the rain in sub-steps (the first one
// of the run halved), which moves the share by less than a percent.
TEST(LossesRun, TheBudgetsLossIsTheCurveNumbersForUniformRain) {
  TempDir dir;
  Basin basin = valleyBasin(5, 5, 1);
  basin.rain = uniformRain(1, 2, 2, "10");
  basin.write(dir.path());
  writeFloats(dir / "topoData/curveNumber.bin", std::vector<float>(25, 75.0f));
  const RunResult r = run(dir.path(), {"--budget", "--losses", "scs-cn"});
  ASSERT_EQ(r.exitStatus, 0) << r.out;
  const Totals t = reportedTotal(r.out);
  const double s = 25400.0 / 75 - 254, ia = 0.2 * s;
  const double runoff = (240 - ia) * (240 - ia) / (240 - ia + s);
  EXPECT_NEAR(t.loss / t.rain, 1 - runoff / 240, 0.01) << r.out;
}

// Rain with dry spells of three hours on the mixed basin, so that an event gap of two hours
// starts new events, for `days` days.
Basin stormyBasin(int days) {
  Basin b = mixedBasin(days);
  b.param(kSpaceSteps, "2").param(kTimeStep, "600").param(kInitialRunoff, "0.5");
  std::ostringstream s;
  for (int d = 1; d <= days; ++d) {
    for (int h = 0; h < 24; ++h) {
      s << "2020 7 " << d << " " << h << " 0 0\n";
      const double wet = h % 8 < 3 ? 0.0 : 4.0 + 3 * ((h + d) % 5);
      s << 0.5 * h << " 1\n" << wet << " 2\n";
    }
  }
  b.rain = s.str();
  return b;
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

struct SplitCase {
  std::string name;
  std::vector<std::string> args;
};

void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.name; }

class LossesRestart : public ::testing::TestWithParam<SplitCase> {};

// The loss state (initial loss left, the event's rain and excess, the infiltration, the dry
// hours) travels in the state file: days 1-2 and then 3-4 are the four days at once.
TEST_P(LossesRestart, TwoPlusTwoDaysEqualFour) {
  TempDir whole, first, second;
  const Basin basin = stormyBasin(4);
  basin.write(whole.path());
  writeLossGrids(whole.path(), 5, 5);
  const std::vector<std::string> args = GetParam().args;
  const RunResult all = run(whole.path(), args, 3);
  ASSERT_EQ(all.exitStatus, 0) << all.out;

  Basin half = basin;
  half.param(kDays, "2");
  half.rain = rainDays(basin.rain, 1, 2);
  half.write(first.path());
  writeLossGrids(first.path(), 5, 5);
  const std::string state = (first / "state.bin").string();
  std::vector<std::string> firstArgs = args;
  firstArgs.insert(firstArgs.end(), {"--state-out", state});
  ASSERT_EQ(run(first.path(), firstArgs, 1).exitStatus, 0);

  half.rain = rainDays(basin.rain, 3, 4);
  half.write(second.path());
  writeLossGrids(second.path(), 5, 5);
  std::vector<std::string> secondArgs = args;
  secondArgs.insert(secondArgs.end(), {"--state-in", state});
  const RunResult b = run(second.path(), secondArgs, 2);
  ASSERT_EQ(b.exitStatus, 0) << b.out;
  for (const std::string& file : kFiles) {
    EXPECT_EQ(readFile(first / ("output/" + file)) + readFile(second / ("output/" + file)),
              readFile(whole / ("output/" + file)))
        << file;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Methods, LossesRestart,
    ::testing::Values(SplitCase{"Constant", {"--losses", "constant"}},
                      SplitCase{"ScsCn", {"--losses", "scs-cn", "--ia-ratio", "0.05"}},
                      SplitCase{"ScsCnEvents", {"--losses", "scs-cn", "--event-gap", "2"}},
                      SplitCase{"GreenAmpt",
                                {"--losses", "green-ampt", "--scheme", "conservative"}},
                      SplitCase{"GreenAmptEvents", {"--losses", "green-ampt", "--event-gap", "3"}}),
    [](const auto& info) { return info.param.name; });

struct RefusedCase {
  std::string name;
  std::vector<std::string> args;
  std::function<void(const fs::path&)> damage;
  std::string line;  // the whole console's last line
};

void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.name; }

class LossesRefused : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(LossesRefused, WithOneLineBeforeAnythingIsWritten) {
  const RefusedCase& c = GetParam();
  TempDir dir;
  valleyBasin().write(dir.path());
  writeLossGrids(dir.path(), 5, 5);
  if (c.damage) c.damage(dir.path());
  const RunResult r = run(dir.path(), c.args);
  EXPECT_EQ(r.exitStatus, 1) << r.out;
  EXPECT_EQ(lastLine(r.out), c.line) << r.out;
  EXPECT_FALSE(contains(r.out, "Runoff simulation starts.")) << r.out;
  EXPECT_EQ(entries(dir / "output"), std::vector<std::string>{});
}

// Sets topoData/NAME at (row from the north, column) of the 5 x 5 valley to `value`.
std::function<void(const fs::path&)> sets(const std::string& name, int row, int col, float value) {
  return [=](const fs::path& d) {
    std::vector<float> v = readFloats(d / "topoData" / name);
    v[static_cast<std::size_t>(4 - row) * 5 + col] = value;
    writeFloats(d / "topoData" / name, v);
  };
}

std::vector<RefusedCase> refusedCases() {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const std::string at = " (counted from 1 at the south-west) is ";
  const std::vector<std::string> constant = {"--losses", "constant"}, cn = {"--losses", "scs-cn"},
                                 ga = {"--losses", "green-ampt"};
  auto removes = [](const std::string& grid) {
    return [=](const fs::path& d) { fs::remove(d / "topoData" / grid); };
  };
  auto cuts = [](const std::string& grid, std::uintmax_t bytes) {
    return [=](const fs::path& d) { fs::resize_file(d / "topoData" / grid, bytes); };
  };
  return {
      {"MissingCurveNumber", cn, removes("curveNumber.bin"),
       "./topoData/curveNumber.bin cannot open; --losses scs-cn needs it."},
      {"MissingInitialLoss", constant, removes("initialLoss.bin"),
       "./topoData/initialLoss.bin cannot open; --losses constant needs it."},
      {"DirectoryForKsat", ga,
       [](const fs::path& d) {
         fs::remove(d / "topoData/ksat.bin");
         fs::create_directory(d / "topoData/ksat.bin");
       },
       "./topoData/ksat.bin is a directory, not a file."},
      {"ShortKsat", ga, cuts("ksat.bin", 96),
       "./topoData/ksat.bin has 96 bytes; the grid needs 100 (5 rows x 5 columns of 4 bytes)."},
      {"LongImpervious", cn, cuts("impervious.bin", 104),
       "./topoData/impervious.bin has 104 bytes; the grid needs 100 (5 rows x 5 columns of 4 "
       "bytes)."},
      {"CurveNumberAbove100", cn, sets("curveNumber.bin", 3, 2, 120),
       "./topoData/curveNumber.bin: the value at column 3, row 2" + at +
           "120; it must be from 1 to 100."},
      {"CurveNumberZero", cn, sets("curveNumber.bin", 1, 1, 0),
       "./topoData/curveNumber.bin: the value at column 2, row 4" + at +
           "0; it must be from 1 to 100."},
      {"SuctionNaN", ga, sets("suction.bin", 2, 2, nan),
       "./topoData/suction.bin: the value at column 3, row 3" + at +
           "nan; it must be a number of 0 or more."},
      {"InfiniteInitialLoss", constant, sets("initialLoss.bin", 1, 3, inf),
       "./topoData/initialLoss.bin: the value at column 4, row 4" + at +
           "inf; it must be a number of 0 or more."},
      {"NegativeRecovery", constant, sets("lossRecovery.bin", 3, 1, -0.5f),
       "./topoData/lossRecovery.bin: the value at column 2, row 2" + at +
           "-0.5; it must be a number of 0 or more."},
      {"DeficitAboveOne", ga, sets("moistureDeficit.bin", 2, 3, 1.25f),
       "./topoData/moistureDeficit.bin: the value at column 4, row 3" + at +
           "1.25; it must be from 0 to 1."},
      {"ImperviousAboveOne", constant, sets("impervious.bin", 3, 3, 1.5f),
       "./topoData/impervious.bin: the value at column 4, row 2" + at +
           "1.5; it must be from 0 to 1."},
  };
}

INSTANTIATE_TEST_SUITE_P(RunoffSim, LossesRefused, ::testing::ValuesIn(refusedCases()),
                         [](const auto& info) { return info.param.name; });

// Only the routed cells' values count: the outer ring (which the valley's outlet row belongs
// to) may hold a no-data value, and a grid the method does not read may be missing or anything.
TEST(LossesRun, ValuesOffTheRoutedCellsAndOtherMethodsGridsAreNotChecked) {
  TempDir dir;
  valleyBasin().write(dir.path());
  writeLossGrids(dir.path(), 5, 5);
  sets("curveNumber.bin", 0, 2, std::numeric_limits<float>::quiet_NaN())(dir.path());
  sets("curveNumber.bin", 2, 0, -9999)(dir.path());
  sets("curveNumber.bin", 4, 2, 0)(dir.path());
  fs::remove(dir / "topoData/ksat.bin");
  fs::resize_file(dir / "topoData/initialLoss.bin", 3);
  const RunResult r = run(dir.path(), {"--losses", "scs-cn"});
  EXPECT_EQ(r.exitStatus, 0) << r.out;
}

struct OptionCase {
  std::string name;
  std::vector<std::string> args;
  std::string line;
};

void PrintTo(const OptionCase& c, std::ostream* os) { *os << c.name; }

class LossOptions : public ::testing::TestWithParam<OptionCase> {};

TEST_P(LossOptions, AreRefusedWithOneLineBeforeAnyFileIsRead) {
  TempDir dir;
  valleyBasin().write(dir.path());
  const RunResult r = run(dir.path(), GetParam().args);
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.out, "runoff-sim: " + GetParam().line + "\n");
}

OptionCase option(const std::string& name, const std::vector<std::string>& args,
                  const std::string& line) {
  return {name, args, line};
}

INSTANTIATE_TEST_SUITE_P(
    RunoffSim, LossOptions,
    ::testing::Values(
        option("UnknownMethod", {"--losses", "horton"},
               "Option --losses takes none, constant, scs-cn or green-ampt, not \"horton\"."),
        option("NoMethod", {"--losses"},
               "Option --losses needs none, constant, scs-cn or green-ampt."),
        option("MethodTwice", {"--losses", "scs-cn", "--losses=constant"},
               "Option --losses is given twice."),
        option("RatioZero", {"--losses", "scs-cn", "--ia-ratio", "0"},
               "Option --ia-ratio takes a number above 0 and at most 1, not \"0\"."),
        option("RatioAboveOne", {"--losses", "scs-cn", "--ia-ratio=1.5"},
               "Option --ia-ratio takes a number above 0 and at most 1, not \"1.5\"."),
        option("RatioNotANumber", {"--losses", "scs-cn", "--ia-ratio", "lots"},
               "Option --ia-ratio takes a number above 0 and at most 1, not \"lots\"."),
        option("RatioWithoutCurveNumber", {"--losses", "green-ampt", "--ia-ratio", "0.05"},
               "Option --ia-ratio applies to --losses scs-cn only."),
        option("NegativeGap", {"--losses", "scs-cn", "--event-gap", "-6"},
               "Option --event-gap takes a whole number of hours, 1 or more, not \"-6\"."),
        option("ZeroGap", {"--losses", "scs-cn", "--event-gap", "0"},
               "Option --event-gap takes a whole number of hours, 1 or more, not \"0\"."),
        option("FractionalGap", {"--losses", "green-ampt", "--event-gap", "2.5"},
               "Option --event-gap takes a whole number of hours, 1 or more, not \"2.5\"."),
        option("GapWithConstant", {"--losses", "constant", "--event-gap", "12"},
               "Option --event-gap applies to --losses scs-cn and green-ampt only."),
        option("GapWithoutMethod", {"--event-gap", "12"},
               "Option --event-gap applies to --losses scs-cn and green-ampt only.")),
    [](const auto& info) { return info.param.name; });

TEST(LossOptions, HelpListsThem) {
  TempDir dir;
  const RunResult r = run(dir.path(), {"--help"});
  for (const char* option : {"--losses METHOD", "--ia-ratio R", "--event-gap HOURS"}) {
    EXPECT_TRUE(contains(r.out, option)) << option;
  }
}

struct StateCase {
  std::string name;
  std::vector<std::string> written, read;
  std::function<void(const fs::path&)> change;
  std::string difference;
};

void PrintTo(const StateCase& c, std::ostream* os) { *os << c.name; }

class LossesState : public ::testing::TestWithParam<StateCase> {};

TEST_P(LossesState, OfAnotherMethodOptionOrGridIsRefused) {
  const StateCase& c = GetParam();
  TempDir dir;
  valleyBasin().write(dir.path());
  writeLossGrids(dir.path(), 5, 5);
  const fs::path state = dir / "state.bin";
  std::vector<std::string> written = c.written;
  written.insert(written.end(), {"--state-out", state.string()});
  ASSERT_EQ(run(dir.path(), written).exitStatus, 0);
  const std::string before = readFile(dir / "output/dischargeHourly.bin");
  if (c.change) c.change(dir.path());
  std::vector<std::string> read = c.read;
  read.insert(read.end(), {"--state-in", state.string()});
  const RunResult r = run(dir.path(), read);
  EXPECT_EQ(r.exitStatus, 1) << r.out;
  EXPECT_EQ(lastLine(r.out),
            "State file " + state.string() + " does not fit this run: " + c.difference);
  EXPECT_EQ(readFile(dir / "output/dischargeHourly.bin"), before);
}

StateCase state(const std::string& name, const std::vector<std::string>& written,
                const std::vector<std::string>& read, const std::string& difference,
                std::function<void(const fs::path&)> change = nullptr) {
  return {name, written, read, std::move(change), difference};
}

INSTANTIATE_TEST_SUITE_P(
    RunoffSim, LossesState,
    ::testing::Values(state("WithoutLosses", {}, {"--losses", "scs-cn"},
                            "its loss method (--losses) is none, this run's scs-cn."),
                      state("ToNoLosses", {"--losses", "constant"}, {},
                            "its loss method (--losses) is constant, this run's none."),
                      state("OtherMethod", {"--losses", "scs-cn"}, {"--losses", "green-ampt"},
                            "its loss method (--losses) is scs-cn, this run's green-ampt."),
                      state("OtherRatio", {"--losses", "scs-cn"},
                            {"--losses", "scs-cn", "--ia-ratio", "0.05"},
                            "its initial abstraction ratio (--ia-ratio) is 0.2, this run's 0.05."),
                      state("OtherGap", {"--losses", "green-ampt", "--event-gap", "24"},
                            {"--losses", "green-ampt"},
                            "its event gap (--event-gap) is 24 hours, this run's none."),
                      state("OtherGrid", {"--losses", "scs-cn"}, {"--losses", "scs-cn"},
                            "it was written with other loss grids (their checksum differs).",
                            sets("curveNumber.bin", 2, 2, 61)),
                      state("ImperviousRemoved", {"--losses", "green-ampt"},
                            {"--losses", "green-ampt"},
                            "it was written with other loss grids (their checksum differs).",
                            [](const fs::path& d) { fs::remove(d / "topoData/impervious.bin"); })),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace runoff::testing
