// runoff-sim as a user runs it, on small working directories: every input that cannot be used
// and every output that cannot be written ends the run with one line and exit status 1, never
// a crash, and never a report of success.
#include <gtest/gtest.h>

#include "support/basin_builder.h"

namespace runoff::testing {
namespace {

const char* kEchoToDuration =
    "Reading parameters for runoff simulation.\n"
    "1) Reading parameters for study area.\n"
    "  Topography scale : 3\n"
    "  Number of col : 5  Number of row : 5\n"
    " Sorth West corner Longitude (degree) : 140 Latitude (deg) : 36\n"
    "2) Reading parameters for input data.\n"
    "  Number of col : 2  Number of row : 2\n"
    "  Input data grid size of x-direction : 0.05\n"
    "  Input data grid size of y-direction : 0.05\n"
    "  Longitude of the center of the Southwest corner of input data (degree) : 140.025\n"
    "  Latitude of the center of the Southwest corner of input data (degree) : 36.025\n"
    "3) Reading parameters for simuration duration.\n"
    "  Simulation duration (days) : 1\n";

RunResult runBasin(const Basin& b, const TempDir& dir) {
  b.write(dir.path());
  return runSimulator(dir.path());
}

// The last line of the output, with its line end.
std::string lastLine(const std::string& out) {
  if (out.empty()) return "";
  std::size_t start = out.rfind('\n', out.size() - 2);
  return out.substr(start == std::string::npos ? 0 : start + 1);
}

TEST(RunoffSimE2e, IntegerFieldWithADecimalPointStopsAfterTheEchoBeforeIt) {
  TempDir dir;
  RunResult r = runBasin(mixedBasin(1).param(kTimeStep, "60.0"), dir);
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.out, std::string(kEchoToDuration) +
                       "4) Reading parameters for finite difference condition.\n"
                       "param-ravo-event-ver300.dat: value 13 (timeStep) is not a whole integer: "
                       "\"60.0\".\n");
}

TEST(RunoffSimE2e, UnusableParameterValuesEndTheRunWithOneLine) {
  struct Case {
    ParamField field;
    const char* text;
    const char* line;
  };
  for (Case k : {Case{kTopoRows, "0", "value 3 (topoRows) must be at least 1, not 0."},
                 Case{kRainCols, "-2", "value 6 (rainCols) must be at least 1, not -2."},
                 Case{kDays, "-1", "value 12 (days) must be at least 0, not -1."},
                 Case{kTimeStep, "0", "value 13 (timeStep) must be from 1 to 3600, not 0."},
                 Case{kSpaceSteps, "0", "value 14 (spaceSteps) must be at least 1, not 0."},
                 Case{kSlopeManning, "0", "value 16 (slopeManning) must be above 0, not 0."},
                 Case{kInitialRunoff, "", "value 19 (initialRunoff) is missing."}}) {
    TempDir dir;
    Basin b = mixedBasin(1);
    b.param(k.field, k.text);
    RunResult r = runBasin(b, dir);
    EXPECT_EQ(r.exitStatus, 1) << k.line;
    EXPECT_EQ(lastLine(r.out), std::string("param-ravo-event-ver300.dat: ") + k.line + "\n");
  }
}

TEST(RunoffSimE2e, MissingInputFilesAreNamed) {
  struct Case {
    const char* file;
    const char* line;
  };
  for (Case k : {Case{"param-ravo-event-ver300.dat", "param-ravo-event-ver300.dat cannot open.\n"},
                 Case{"topoData/riverNumList.dat", "riverNumList.dat cannot open.\n"},
                 Case{"topoData/modDem.bin", "modDem.bin cannot open.\n"},
                 Case{"topoData/flowDir.bin", "flowDir.bin cannot open.\n"},
                 Case{"topoData/flowAcc.bin", "flowAcc.bin cannot open.\n"},
                 Case{"topoData/riverNum.bin", "riverNum.bin cannot open.\n"},
                 Case{"input/rain.dat", "ROF file cannot open.\n"}}) {
    TempDir dir;
    mixedBasin(1).write(dir.path());
    fs::remove(dir / k.file);
    RunResult r = runSimulator(dir.path());
    EXPECT_EQ(r.exitStatus, 1) << k.file;
    EXPECT_EQ(lastLine(r.out), k.line) << r.out;
  }
}

TEST(RunoffSimE2e, ShortTopographyFileIsNamedInOneLine) {
  TempDir dir;
  Basin b = mixedBasin(1);
  b.write(dir.path());
  std::string acc = readFile(dir / "topoData/flowAcc.bin");
  writeFile(dir / "topoData/flowAcc.bin", acc.substr(0, acc.size() - 1));
  RunResult r = runSimulator(dir.path());
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(lastLine(r.out),
            "./topoData/flowAcc.bin is too short: it must hold 25 records of 4 bytes.\n");
  EXPECT_FALSE(contains(r.out, "Make ROF"));
}

TEST(RunoffSimE2e, RainfallThatIsNotANumberIsNamedWithDayAndHour) {
  TempDir dir;
  Basin b = mixedBasin(1);
  b.rain = "2020 7 1 0 0 0\n1 1\n1 1\n2020 7 1 1 0 0\n1 1\n1 n/a\n";
  RunResult r = runBasin(b, dir);
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(lastLine(r.out),
            "./input/rain.dat: the record of day 1 hour 1 holds \"n/a\", which is not a number.\n");
  EXPECT_FALSE(contains(r.out, "Runoff simulation starts."));
}

TEST(RunoffSimE2e, GridWhoseCellCountOverflowsIsRefused) {
  TempDir dir;
  Basin b = mixedBasin(1);
  b.param(kTopoCols, "100000").param(kTopoRows, "100000");
  RunResult r = runBasin(b, dir);
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(lastLine(r.out), "The topography grid of 100000 x 100000 cells is too large.\n");
  b = mixedBasin(1);
  b.param(kRainCols, "70000").param(kRainRows, "70000");
  r = runBasin(b, dir);
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(lastLine(r.out), "The input data grid of 70000 x 70000 cells is too large.\n");
}

// The memory verdict depends on the memory limit the run is given, never on the machine the test
// runs on: each case sets RUNOFF_MEMORY_LIMIT (empty: not set; the small basin fits any host).
struct MemoryCase {
  std::string name;
  std::string limit;
  std::vector<std::pair<ParamField, std::string>> params;
  std::string lastLine;    // "" = the run succeeds
  std::string notReached;  // a console text the refusal comes before
};

void PrintTo(const MemoryCase& c, std::ostream* os) { *os << c.name; }

class MemoryLimit : public ::testing::TestWithParam<MemoryCase> {};

TEST_P(MemoryLimit, DecidesTheVerdict) {
  const MemoryCase& c = GetParam();
  TempDir dir;
  Basin b = mixedBasin(1);
  for (const auto& [field, value] : c.params) b.param(field, value);
  b.write(dir.path());
  const std::string prefix = c.limit.empty() ? "" : "RUNOFF_MEMORY_LIMIT=" + c.limit;
  RunResult r = runProgram(RUNOFF_SIM_EXE, dir.path(), "", prefix);
  if (c.lastLine.empty()) {
    EXPECT_EQ(r.exitStatus, 0) << r.out;
    return;
  }
  EXPECT_EQ(r.exitStatus, 1) << r.out;
  EXPECT_EQ(lastLine(r.out), c.lastLine + "\n") << r.out;
  EXPECT_FALSE(contains(r.out, c.notReached)) << r.out;
}

INSTANTIATE_TEST_SUITE_P(
    RunoffSimE2e, MemoryLimit,
    ::testing::Values(
        MemoryCase{"SmallRunWithoutLimit", "", {}, "", ""},
        MemoryCase{"SmallRunUnderLimit", "64M", {}, "", ""},
        MemoryCase{"GridsBeyondLimit",
                   "16G",
                   {{kTopoCols, "40000"}, {kTopoRows, "40000"}},
                   "The run's grids need about 137 GiB, more than the RUNOFF_MEMORY_LIMIT of 16G.",
                   "Make ROF"},
        MemoryCase{"GridsBeyondSmallLimit",
                   "1024",
                   {},
                   "The run's grids need about 2.92e-06 GiB, more than the RUNOFF_MEMORY_LIMIT "
                   "of 1024.",
                   "Make ROF"},
        MemoryCase{"RoutingBeyondLimit",
                   "16G",
                   {{kSpaceSteps, "2000000000"}},
                   "Routing needs about 238 GiB, more than the RUNOFF_MEMORY_LIMIT of 16G.",
                   "Runoff simulation starts."},
        MemoryCase{"LimitNotANumber",
                   "lots",
                   {},
                   "RUNOFF_MEMORY_LIMIT must be a positive whole number of bytes, optionally "
                   "followed by K, M, G or T, not \"lots\".",
                   "Reading parameters"},
        MemoryCase{"LimitWithUnknownSuffix",
                   "16GB",
                   {},
                   "RUNOFF_MEMORY_LIMIT must be a positive whole number of bytes, optionally "
                   "followed by K, M, G or T, not \"16GB\".",
                   "Reading parameters"},
        MemoryCase{"LimitZero",
                   "0",
                   {},
                   "RUNOFF_MEMORY_LIMIT must be a positive whole number of bytes, optionally "
                   "followed by K, M, G or T, not \"0\".",
                   "Reading parameters"},
        MemoryCase{"LimitBeyond64Bits",
                   "99999999999T",
                   {},
                   "RUNOFF_MEMORY_LIMIT must be a positive whole number of bytes, optionally "
                   "followed by K, M, G or T, not \"99999999999T\".",
                   "Reading parameters"}),
    [](const auto& info) { return info.param.name; });

// A run whose discharge files no disk could hold (some 2 PB on a 100 x 100 grid) is refused
// before routing, and before any file is created under ./output.
TEST(RunoffSimE2e, DischargeFilesBeyondTheFreeSpaceAreRefusedBeforeRouting) {
  TempDir dir;
  Basin b(100, 100);
  b.param(kTopoCols, "100").param(kTopoRows, "100").param(kDays, "2147483647");
  b.write(dir.path());
  RunResult r = runProgram(RUNOFF_SIM_EXE, dir.path(), "", "RUNOFF_MEMORY_LIMIT=16G");
  EXPECT_EQ(r.exitStatus, 1) << r.out;
  const std::string line = lastLine(r.out);
  EXPECT_EQ(line.rfind("./output has ", 0), 0u) << line;
  EXPECT_TRUE(contains(line, " GiB free; the discharge files of this run need 2.08e+06 GiB.\n"))
      << line;
  EXPECT_FALSE(contains(r.out, "Runoff simulation starts.")) << r.out;
  EXPECT_EQ(entries(dir / "output"), std::vector<std::string>{});
}

TEST(RunoffSimE2e, MissingOrUnusableOutputDirectoryStopsBeforeRouting) {
  for (bool asFile : {false, true}) {
    TempDir dir;
    mixedBasin(1).write(dir.path());
    fs::remove_all(dir / "output");
    if (asFile) writeFile(dir / "output", "not a directory");
    RunResult r = runSimulator(dir.path());
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(lastLine(r.out),
              "./output cannot be written: create the directory (writable) before the run, or "
              "its results would be lost.\n");
    EXPECT_FALSE(contains(r.out, "Runoff simulation starts."));
  }
}

TEST(RunoffSimE2e, FullDiskWhileWritingIsReportedWithTheFileName) {
  TempDir dir;
  mixedBasin(5).write(dir.path());
  // No file may grow beyond 4096 bytes: the console log (a file here too), the caches and the
  // two daily grids fit; the hourly grid of 12000 bytes does not.
  RunResult r = runProgram(RUNOFF_SIM_EXE, dir.path(), "", "ulimit -f 8; trap '' XFSZ;");
  EXPECT_EQ(r.exitStatus, 1) << r.out;
  EXPECT_EQ(lastLine(r.out), "./output/dischargeHourly.bin cannot be written.\n") << r.out;
}

TEST(RunoffSimE2e, CompleteRunEndsWithTheThreeWriteLines) {
  TempDir dir;
  RunResult r = runBasin(mixedBasin(1), dir);
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_TRUE(contains(r.out,
                       "\nRunoff simulation ends.\n"
                       "Write ./output/dischargeDaily.bin\n"
                       "Write ./output/dischargeHourlyMaxInDay.bin\n"
                       "Write ./output/dischargeHourly.bin\n"))
      << r.out;
  EXPECT_TRUE(contains(r.out, "Number of rivers for simulation : 1\n\n"));
}

TEST(RunoffSimE2e, BlankLinesCountInTheRiverLineButSelectNothing) {
  TempDir dir;
  Basin b = mixedBasin(1);
  b.riverList = riverRecord(1) + "\n\n";
  RunResult r = runBasin(b, dir);
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_TRUE(contains(r.out, "Number of rivers for simulation : 3\n\n"));
  TempDir plain;
  runBasin(mixedBasin(1), plain);
  EXPECT_EQ(readFile(dir / "output/dischargeHourly.bin"),
            readFile(plain / "output/dischargeHourly.bin"));
}

TEST(RunoffSimE2e, NegativeRiverNumberInTheListSelectsNothing) {
  TempDir dir;
  Basin b = mixedBasin(1);
  b.riverList = riverRecord(-1);
  RunResult r = runBasin(b, dir);
  EXPECT_EQ(r.exitStatus, 0);
  for (float v : readFloats(dir / "output/dischargeHourly.bin")) EXPECT_EQ(v, -9999.0f);
}

}  // namespace
}  // namespace runoff::testing
