// What runoff-sim writes, chosen on its command line: --outputs picks among the three raw
// files (the chosen ones are the full run's bytes, the others are neither written nor left
// from an earlier run, nor their .vrt), and --gauges writes the gauges' hourly series while
// routing. The post-processors refuse a folder without the hourly file as they refuse any
// missing file. Refused options and gauges end the run with one line and no file.
#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "support/basin_builder.h"
#include "support/test_support.h"

namespace runoff::testing {
namespace {

const fs::path kGolden = fs::path(TEST_DATA_DIR) / "golden";

const std::vector<std::string> kRawFiles = {"dischargeDaily", "dischargeHourlyMaxInDay",
                                            "dischargeHourly"};

// A copy of a worked case run in full once, for every test to compare with.
class OutputChoice : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    full_ = new TempDir;
    prepare(full_->path());
    const RunResult r = runProgram(RUNOFF_SIM_EXE, {}, full_->path());
    ASSERT_EQ(r.exitStatus, 0) << r.out;
  }
  static void TearDownTestSuite() {
    delete full_;
    full_ = nullptr;
  }
  static void prepare(const fs::path& dir) {
    copyTree(kGolden / "small-eight-inflows" / "input", dir);
    fs::create_directories(dir / "temp");
    fs::create_directories(dir / "output");
  }
  static fs::path fullRun() { return full_->path(); }

  static TempDir* full_;
};

TempDir* OutputChoice::full_ = nullptr;

struct ChoiceCase {
  std::string list;
  std::vector<std::string> written;  // of kRawFiles, in the order the console names them
};

void PrintTo(const ChoiceCase& c, std::ostream* os) { *os << c.list; }

class EveryChoice : public OutputChoice, public ::testing::WithParamInterface<ChoiceCase> {};

TEST_P(EveryChoice, ChosenFilesAreTheFullRunsAndTheOthersAbsent) {
  const ChoiceCase& c = GetParam();
  TempDir dir;
  prepare(dir.path());
  // An earlier run's files are there: those not chosen must go.
  for (const std::string& name : kRawFiles) {
    writeFile(dir / "output" / (name + ".bin"), "an earlier run");
    writeFile(dir / "output" / (name + ".vrt"), "an earlier run");
  }
  const RunResult r = runProgram(RUNOFF_SIM_EXE, {"--outputs", c.list}, dir.path());
  ASSERT_EQ(r.exitStatus, 0) << r.out;
  std::string lines;
  std::vector<std::string> expected;
  for (const std::string& name : c.written) {
    lines += "Write ./output/" + name + ".bin\n";
    for (const char* ext : {".bin", ".vrt"}) {
      EXPECT_EQ(readFile(dir / "output" / (name + ext)), readFile(fullRun() / "output" / (name + ext)))
          << name << ext;
      expected.push_back(name + ext);
    }
  }
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(entries(dir / "output"), expected);
  EXPECT_TRUE(r.out.size() >= lines.size() &&
              r.out.compare(r.out.size() - lines.size(), lines.size(), lines) == 0)
      << r.out;
}

INSTANTIATE_TEST_SUITE_P(
    Lists, EveryChoice,
    ::testing::Values(ChoiceCase{"daily", {"dischargeDaily"}},
                      ChoiceCase{"max", {"dischargeHourlyMaxInDay"}},
                      ChoiceCase{"hourly", {"dischargeHourly"}},
                      ChoiceCase{"hourly,daily", {"dischargeDaily", "dischargeHourly"}},
                      ChoiceCase{"max,daily,max", {"dischargeDaily", "dischargeHourlyMaxInDay"}},
                      ChoiceCase{"daily,max,hourly", kRawFiles}),
    [](const auto& info) {
      std::string name = info.param.list;
      std::replace(name.begin(), name.end(), ',', '_');
      return name;
    });

TEST_F(OutputChoice, PostProcessorsRefuseARunWithoutTheHourlyFile) {
  TempDir dir;
  prepare(dir.path());
  ASSERT_EQ(runProgram(RUNOFF_SIM_EXE, {"--outputs", "daily,max"}, dir.path()).exitStatus, 0);
  for (const auto& [program, answers] :
       {std::pair{DISCHARGE_POINT_EXE, "3\n3\n"}, {DISCHARGE_MAP_EXE, "n\n"}}) {
    const RunResult r = runProgram(program, dir / "output", answers);
    EXPECT_EQ(r.exitStatus, 1) << program;
    EXPECT_EQ(lastLine(r.out), "Discharge data cannot open.") << program;
  }
}

// The 5 x 5 basin's gauges (see netcdf_gauges_test.cpp): a position in the north-western corner
// cell moves to column 3, row 3 within two cells; one in the south-eastern to column 4, row 2
// within one.
TEST(GaugeSeries, WrittenWhileRoutingHoldsTheHourlyFileAtTheChosenCells) {
  TempDir dir;
  mixedBasin(2).write(dir.path());
  writeFile(dir / "gauges.csv", "name,lat,lon\nNW,36.0037,140.0004\n\"S, E\",36.0003,140.0037\n");
  const RunResult r =
      runProgram(RUNOFF_SIM_EXE, {"--gauges", "gauges.csv", "--snap", "1"}, dir.path());
  ASSERT_EQ(r.exitStatus, 0) << r.out;
  EXPECT_TRUE(contains(r.out, "\nGauge \"NW\": column 2, row 4, flow accumulation 1\n"
                              "Gauge \"S, E\": column 4, row 2, flow accumulation -1\n"))
      << r.out;
  EXPECT_TRUE(contains(r.out, "Write ./output/dischargeHourly.bin\nWrite ./output/gauges.csv\n"));
  const std::vector<float> hourly = readFloats(dir / "output/dischargeHourly.bin");
  std::istringstream series(readFile(dir / "output/gauges.csv"));
  std::string line;
  std::getline(series, line);
  EXPECT_EQ(line, "time,gauge,discharge");
  const std::size_t cells = 25;
  const std::size_t at[2] = {3 * 5 + 1, 1 * 5 + 3};  // rows from the south, columns from the west
  std::size_t lines = 0;
  for (; std::getline(series, line); ++lines) {
    const std::size_t hour = lines / 2, gauge = lines % 2;
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "2020-07-%02zuT%02zu:00:00,", hour / 24 + 1, hour % 24);
    const std::string start = stamp + std::string(gauge == 0 ? "NW," : "\"S, E\",");
    ASSERT_EQ(line.rfind(start, 0), 0u) << line;
    float value = 0;
    const std::string text = line.substr(start.size());
    std::from_chars(text.data(), text.data() + text.size(), value);
    EXPECT_EQ(value, hourly[hour * cells + at[gauge]]) << line;
  }
  EXPECT_EQ(lines, 2u * 48);
  // A run that writes no hourly grid keeps the gauges' hours alone: the same series.
  TempDir daily;
  mixedBasin(2).write(daily.path());
  fs::copy_file(dir / "gauges.csv", daily / "gauges.csv");
  ASSERT_EQ(runProgram(RUNOFF_SIM_EXE, {"--gauges", "gauges.csv", "--snap", "1", "--outputs", "max"},
                       daily.path())
                .exitStatus,
            0);
  EXPECT_EQ(readFile(daily / "output/gauges.csv"), readFile(dir / "output/gauges.csv"));
  EXPECT_EQ(readFile(daily / "output/dischargeHourlyMaxInDay.bin"),
            readFile(dir / "output/dischargeHourlyMaxInDay.bin"));
}

struct RefusalCase {
  std::string name;
  std::vector<std::string> args;
  std::string line;
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

class OutputRefusals : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(OutputRefusals, EndTheRunWithOneLineAndNoFile) {
  TempDir dir;
  mixedBasin(2).write(dir.path());
  writeFile(dir / "gauges.csv", "name,lon,lat\nFar,150,36\n");
  writeFile(dir / "output/gauges.csv", "name,lon,lat\nNear,140.002,36.002\n");
  const RunResult r = runProgram(RUNOFF_SIM_EXE, GetParam().args, dir.path());
  EXPECT_EQ(r.exitStatus, 1) << r.out;
  EXPECT_EQ(lastLine(r.out), GetParam().line);
  EXPECT_EQ(entries(dir / "output"), std::vector<std::string>{"gauges.csv"});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OutputRefusals,
    ::testing::Values(
        RefusalCase{"UnknownOutput",
                    {"--outputs", "daily,weekly"},
                    "runoff-sim: Option --outputs takes daily, max and hourly, separated by "
                    "commas, not \"daily,weekly\"."},
        RefusalCase{"EmptyItem",
                    {"--outputs=daily,"},
                    "runoff-sim: Option --outputs takes daily, max and hourly, separated by "
                    "commas, not \"daily,\"."},
        RefusalCase{"SnapWithoutGauges",
                    {"--snap", "1"},
                    "runoff-sim: Option --snap applies to gauges only: give them with --gauges "
                    "FILE.csv."},
        RefusalCase{"NegativeSnap",
                    {"--gauges", "gauges.csv", "--snap", "-1"},
                    "runoff-sim: Option --snap takes a whole number of cells, 0 or more, not "
                    "\"-1\"."},
        RefusalCase{"StartAlone",
                    {"--start", "2020-01-01"},
                    "runoff-sim: Option --start dates the gauge series and the NetCDF file: "
                    "give it with --gauges or --netcdf."},
        RefusalCase{"GaugeOutsideTheGrid",
                    {"--gauges", "gauges.csv"},
                    "Gauge \"Far\" at lon 150, lat 36 lies outside the grid (lon 140 to "
                    "140.0041667, lat 36 to 36.00416667)."},
        RefusalCase{"GaugeListInThePlaceOfTheSeries",
                    {"--gauges", "output/gauges.csv"},
                    "--gauges output/gauges.csv is where the gauge series is written; give "
                    "the gauge list another name."},
        RefusalCase{"StartThatIsNoDate",
                    {"--gauges", "gauges.csv", "--start", "July"},
                    "--start \"July\" is not a date and time: write it as YYYY-MM-DDThh:mm:ss."}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace runoff::testing
