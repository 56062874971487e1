// A long run split in two: the first half writes its state, the second starts from it with the
// rainfall of the rest of the period. The halves must equal the whole run byte for byte in all
// three files, on any number of threads; a state that does not fit the second run, or that is
// damaged, is refused with one line before any output file is touched.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "support/basin_builder.h"
#include "support/test_support.h"

namespace runoff::testing {
namespace {

const std::vector<std::string> kFiles = {"dischargeDaily.bin", "dischargeHourlyMaxInDay.bin",
                                         "dischargeHourly.bin"};

// The records of days `first` to `last` (from 1) of a rainfall text whose records each take
// `linesPerRecord` lines.
std::string rainDays(const std::string& rain, int linesPerRecord, int first, int last) {
  std::istringstream in(rain);
  std::string line, out;
  for (int n = 0; std::getline(in, line); ++n) {
    const int day = n / (24 * linesPerRecord) + 1;
    if (day >= first && day <= last) out += line + "\n";
  }
  return out;
}

// Four days of the mixed basin with two space steps and ten-minute steps: rain that changes
// every hour and every day, a confluence, an unlisted river upstream and an edge outlet.
Basin fourDayBasin() {
  Basin b = mixedBasin(4);
  b.param(kSpaceSteps, "2").param(kTimeStep, "600").param(kInitialRunoff, "0.5");
  return b;
}

RunResult run(const fs::path& dir, std::vector<std::string> args, int threads,
              const std::vector<std::string>& common = {}) {
  args.insert(args.end(), common.begin(), common.end());
  return runProgram(RUNOFF_SIM_EXE, args, dir, "",
                    "OMP_NUM_THREADS=" + std::to_string(threads));
}

// Threads, and the options of all three runs (the kernel's own power function, or none).
class Restart : public ::testing::TestWithParam<std::tuple<int, std::vector<std::string>>> {};

TEST_P(Restart, TwoHalvesEqualTheWholeRun) {
  const auto& [threads, options] = GetParam();
  TempDir whole, first, second;
  const Basin basin = fourDayBasin();
  basin.write(whole.path());
  ASSERT_EQ(run(whole.path(), {}, threads, options).exitStatus, 0);

  Basin half = basin;
  half.param(kDays, "2");
  half.rain = rainDays(basin.rain, 3, 1, 2);
  half.write(first.path());
  const std::string state = (first / "state.bin").string();
  RunResult a = run(first.path(), {"--state-out", state}, threads, options);
  ASSERT_EQ(a.exitStatus, 0) << a.out;

  half.rain = rainDays(basin.rain, 3, 3, 4);
  half.write(second.path());
  RunResult b = run(second.path(), {"--state-in", state}, threads, options);
  ASSERT_EQ(b.exitStatus, 0) << b.out;
  EXPECT_TRUE(contains(b.out, "Start from state " + state + " (simulated days before it: 2).\n"))
      << b.out;

  for (const std::string& file : kFiles) {
    EXPECT_EQ(readFile(first / ("output/" + file)) + readFile(second / ("output/" + file)),
              readFile(whole / ("output/" + file)))
        << file << " on " << threads << " threads";
  }
}

INSTANTIATE_TEST_SUITE_P(
    RunoffSim, Restart,
    ::testing::Combine(::testing::Values(1, 2, 7),
                       ::testing::Values(std::vector<std::string>{},
                                         std::vector<std::string>{"--power", "fast"})),
    [](const auto& info) {
      return std::to_string(std::get<0>(info.param)) + "_threads" +
             (std::get<1>(info.param).empty() ? "" : "_fast_power");
    });

// The second run of a refused case differs from the first in one way (`change`), or its state
// file is damaged (`damage`); `line` is its whole refusal after "State file <path> ".
struct RefusedCase {
  std::string name;
  std::function<void(Basin&)> change;
  std::function<void(const fs::path&)> damage;
  std::string line;
};

void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.name; }

class RefusedState : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedState, EndsTheRunBeforeAnyOutputIsTouched) {
  const RefusedCase& c = GetParam();
  TempDir dir;
  Basin basin = fourDayBasin();
  basin.param(kDays, "1");
  basin.write(dir.path());
  const fs::path state = dir / "state.bin";
  ASSERT_EQ(run(dir.path(), {"--state-out", state.string()}, 2).exitStatus, 0);
  std::vector<std::string> before;
  for (const std::string& file : kFiles) before.push_back(readFile(dir / ("output/" + file)));
  const std::vector<std::string> names = entries(dir / "output");

  if (c.change) {
    c.change(basin);
    basin.write(dir.path());
  }
  if (c.damage) c.damage(state);
  RunResult r = run(dir.path(), {"--state-in", state.string()}, 2);
  EXPECT_EQ(r.exitStatus, 1) << r.out;
  const std::string expected =
      c.line.rfind("is not", 0) == 0 ? state.string() + " " + c.line
                                     : "State file " + state.string() + " " + c.line;
  EXPECT_EQ(lastLine(r.out), expected) << r.out;
  EXPECT_FALSE(contains(r.out, "Runoff simulation starts.")) << r.out;
  EXPECT_EQ(entries(dir / "output"), names);
  for (std::size_t f = 0; f < kFiles.size(); ++f) {
    EXPECT_EQ(readFile(dir / ("output/" + kFiles[f])), before[f]) << kFiles[f];
  }
}

std::function<void(Basin&)> sets(ParamField field, const std::string& value) {
  return [=](Basin& b) { b.param(field, value); };
}

void flipByte(const fs::path& file, std::size_t at) {
  std::string bytes = readFile(file);
  bytes[at] = static_cast<char>(bytes[at] ^ 0x10);
  writeFile(file, bytes);
}

std::vector<RefusedCase> refusedCases() {
  const std::string fit = "does not fit this run: ";
  return {
      {"OtherGrid",
       [](Basin& b) {
         Basin wider = valleyBasin(5, 6, 1);
         wider.param(kTimeStep, "600").param(kSpaceSteps, "2");
         b = wider;
       },
       nullptr, fit + "its topography grid is 5 rows x 5 columns, this run's 5 rows x 6 columns."},
      {"OtherCorner", sets(kTopoSwLon, "140.001"), nullptr,
       fit + "its south-west corner (lon, lat) is (140, 36), this run's (140.001, 36)."},
      {"OtherCellSize", sets(kTopoScale, "2"), nullptr,
       fit + "its cell size is 3 arc-seconds, this run's 2 arc-seconds."},
      {"OtherRainGrid", sets(kRainDy, "0.04"), nullptr,
       fit + "its rainfall grid spacing (x, y) is (0.05, 0.05), this run's (0.05, 0.04)."},
      {"OtherTimeStep", sets(kTimeStep, "300"), nullptr,
       fit + "its time step is 600 s, this run's 300 s."},
      {"OtherSpaceSteps", sets(kSpaceSteps, "3"), nullptr,
       fit + "its space step count is 2, this run's 3."},
      {"OtherWeight", sets(kFdWeight, "0.75"), nullptr,
       fit + "its finite difference weight is 0.5, this run's 0.75."},
      {"OtherSlopeRoughness", sets(kSlopeManning, "0.3"), nullptr,
       fit + "its slope Manning coefficient is 0.4, this run's 0.3."},
      {"OtherChannelRoughness", sets(kChannelManning, "0.05"), nullptr,
       fit + "its channel Manning coefficient is 0.03, this run's 0.05."},
      {"OtherThreshold", sets(kChannelThreshold, "2"), nullptr,
       fit + "its channel threshold is 5, this run's 2."},
      {"OtherRiverList", [](Basin& b) { b.riverList += riverRecord(2); }, nullptr,
       fit + "it was written for another river list."},
      {"OtherOrder", [](Basin& b) { b.acc[1 * 5 + 2] = 7; }, nullptr,
       fit + "it was written for another calculation order."},
      {"FlippedValue", nullptr, [](const fs::path& f) { flipByte(f, fs::file_size(f) - 20); },
       "is damaged or cut short: its checksum does not match."},
      {"CutShort", nullptr, [](const fs::path& f) { fs::resize_file(f, fs::file_size(f) - 9); },
       "is damaged or cut short: its checksum does not match."},
      {"OnlyTheStart", nullptr, [](const fs::path& f) { fs::resize_file(f, 10); },
       "is cut short."},
      {"OtherVersion", nullptr, [](const fs::path& f) { flipByte(f, 9); },
       "has format version 4097; this program reads version 1."},
      {"NotAStateFile", nullptr, [](const fs::path& f) { writeFile(f, "3 100 100 -84.3\n"); },
       "is not a state file of this model."},
      {"Missing", nullptr, [](const fs::path& f) { fs::remove(f); }, "cannot be opened."},
      {"Directory", nullptr,
       [](const fs::path& f) {
         fs::remove(f);
         fs::create_directory(f);
       },
       "cannot be opened."},
  };
}

INSTANTIATE_TEST_SUITE_P(RunoffSim, RefusedState, ::testing::ValuesIn(refusedCases()),
                         [](const auto& info) { return info.param.name; });

struct OptionCase {
  std::string name;
  std::vector<std::string> args;
  std::string line;
};

void PrintTo(const OptionCase& c, std::ostream* os) { *os << c.name; }

class Options : public ::testing::TestWithParam<OptionCase> {};

TEST_P(Options, AreRefusedWithOneLineBeforeAnyFileIsRead) {
  TempDir dir;
  fourDayBasin().write(dir.path());
  RunResult r = runProgram(RUNOFF_SIM_EXE, GetParam().args, dir.path());
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.out, "runoff-sim: " + GetParam().line + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    RunoffSim, Options,
    ::testing::Values(
        OptionCase{"Unknown", {"--fast"}, "Unknown option \"--fast\"; --help lists the options."},
        OptionCase{"Positional", {"state.bin"},
                   "Unexpected argument \"state.bin\"; --help lists the options."},
        OptionCase{"MissingValue", {"--state-out"}, "Option --state-out needs a file name."},
        OptionCase{"EmptyValue", {"--state-in="}, "Option --state-in needs a file name."},
        OptionCase{"Twice", {"--state-out", "a", "--state-out=b"},
                   "Option --state-out is given twice."},
        OptionCase{"HelpWithValue", {"--help=yes"},
                   "Option --help takes no value; --help lists the options."},
        OptionCase{"UnknownPower", {"--power", "exact"},
                   "Option --power takes libm or fast, not \"exact\"."},
        OptionCase{"MissingPower", {"--power"}, "Option --power needs libm or fast."}),
    [](const auto& info) { return info.param.name; });

TEST(Options, HelpListsEveryOptionAndRunsNothing) {
  TempDir dir;
  RunResult r = runProgram(RUNOFF_SIM_EXE, {"--help"}, dir.path());
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.out.rfind("Usage: runoff-sim [", 0), 0u);
  for (const char* option : {"--state-in FILE", "--state-out FILE", "--scheme", "--power", "--budget",
                             "--help", "OMP_NUM_THREADS", "RUNOFF_MEMORY_LIMIT"}) {
    EXPECT_TRUE(contains(r.out, option)) << option;
  }
  EXPECT_TRUE(entries(dir.path()).empty());
}

}  // namespace
}  // namespace runoff::testing
