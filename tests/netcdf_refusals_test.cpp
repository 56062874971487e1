// discharge-netcdf on bad command lines and damaged runs: each case ends with its one line and
// exit status 1, and leaves neither output nor temporary behind. The run is written by hand:
// a 5 x 5 grid, one day, every file the converter reads.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace runoff::testing {
namespace {

constexpr const char* kParams = "3 5 5 140 36 2 2 0.05 0.05 140.025 36.025 1\n";

void writeRun(const fs::path& run) {
  fs::create_directories(run / "output");
  fs::create_directories(run / "input");
  fs::create_directories(run / "topoData");
  writeFile(run / "param-ravo-event-ver300.dat", kParams);
  writeFile(run / "input/rain.dat", "2020 7 1 0 0 0\n1 2\n3 4\n");
  writeInts(run / "topoData/flowAcc.bin", std::vector<std::int32_t>(25, 1));
  std::vector<float> grid(25, -9999.0f);
  grid[12] = 0.5f;
  std::vector<float> hourly;
  for (int h = 0; h < 24; ++h) hourly.insert(hourly.end(), grid.begin(), grid.end());
  writeFloats(run / "output/dischargeDaily.bin", grid);
  writeFloats(run / "output/dischargeHourlyMaxInDay.bin", grid);
  writeFloats(run / "output/dischargeHourly.bin", hourly);
  writeFile(run / "output/list.csv", "name,lon,lat\nMid,140.002,36.002\n");
}

using Damage = std::function<void(const fs::path& run)>;

Damage writes(const std::string& file, const std::string& content) {
  return [=](const fs::path& run) { writeFile(run / file, content); };
}
Damage removes(const std::string& file) {
  return [=](const fs::path& run) { fs::remove(run / file); };
}
const std::string kAdvice = "give the start of the run with --start YYYY-MM-DDThh:mm:ss.";

struct RefusalCase {
  std::string name;
  std::vector<std::string> args;
  Damage damage;  // may be empty
  std::string line;
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

class NetcdfRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(NetcdfRefusal, EndsWithItsLineAndWritesNothing) {
  const RefusalCase& c = GetParam();
  TempDir dir;
  writeRun(dir.path());
  if (c.damage) c.damage(dir.path());
  const std::vector<std::string> before = entries(dir / "output");
  const RunResult r = runProgram(DISCHARGE_NETCDF_EXE, c.args, dir / "output");
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(lastLine(r.out), c.line) << r.out;
  EXPECT_EQ(entries(dir / "output"), before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NetcdfRefusal,
    ::testing::Values(
        RefusalCase{"empty-rain-file",
                    {},
                    writes("input/rain.dat", ""),
                    "No start time: ../input/rain.dat is empty; " + kAdvice},
        RefusalCase{"rain-stamp-not-a-date",
                    {},
                    writes("input/rain.dat", "2021 2 29 0 0 0\n1\n"),
                    "No start time: the first record of ../input/rain.dat begins \"2021 2 29 0 0 "
                    "0\", not a date and time; " +
                        kAdvice},
        RefusalCase{"rain-stamp-not-integers",
                    {},
                    writes("input/rain.dat", "2020 7 1 0.5 0\n"),
                    "No start time: the first record of ../input/rain.dat begins \"2020 7 1 0.5 "
                    "0\", not a date and time; " +
                        kAdvice},
        RefusalCase{"no-rain-file",
                    {},
                    removes("input/rain.dat"),
                    "No start time: ../input/rain.dat cannot be opened; " + kAdvice},
        RefusalCase{"start-not-a-time",
                    {"--start", "2020-07-01T24:00"},
                    {},
                    "--start \"2020-07-01T24:00\" is not a date and time: write it as "
                    "YYYY-MM-DDThh:mm:ss."},
        RefusalCase{"unknown-option",
                    {"--output", "x.nc"},
                    {},
                    "Unknown option \"--output\"; discharge-netcdf --help lists the options."},
        RefusalCase{"stray-argument",
                    {"x.nc"},
                    {},
                    "Unexpected argument \"x.nc\"; discharge-netcdf --help lists the options."},
        RefusalCase{"missing-value", {"--out"}, {}, "Option --out needs a value."},
        RefusalCase{"option-for-a-value",
                    {"--gauges", "--snap", "1"},
                    {},
                    "Option --gauges needs a value."},
        RefusalCase{"empty-value", {"--start="}, {}, "Option --start needs a value."},
        RefusalCase{
            "given-twice", {"--out", "a.nc", "--out=b.nc"}, {}, "Option --out is given twice."},
        RefusalCase{"snap-without-gauges",
                    {"--snap", "3"},
                    {},
                    "--snap applies to gauges only: give them with --gauges FILE.csv."},
        RefusalCase{"negative-snap",
                    {"--gauges", "list.csv", "--snap", "-1"},
                    {},
                    "--snap \"-1\" is not a whole number of cells, 0 or more."},
        RefusalCase{"out-replaces-an-input",
                    {"--out", "dischargeDaily.bin"},
                    {},
                    "--out dischargeDaily.bin would replace ./dischargeDaily.bin, which the "
                    "conversion reads."},
        RefusalCase{"gauge-list-is-the-series",
                    {"--gauges", "gauges.csv"},
                    writes("output/gauges.csv", "name,lon,lat\nMid,140.002,36.002\n"),
                    "--gauges gauges.csv is where the gauge series is written; give the gauge "
                    "list another name."},
        RefusalCase{"out-in-a-missing-folder",
                    {"--out", "nowhere/x.nc"},
                    {},
                    "--out nowhere/x.nc: the folder nowhere does not exist."},
        RefusalCase{"out-is-a-folder",
                    {"--out", "image"},
                    [](const fs::path& run) { fs::create_directory(run / "output/image"); },
                    "--out image is a folder; give a file name."},
        RefusalCase{"no-parameter-file",
                    {},
                    removes("param-ravo-event-ver300.dat"),
                    "../param-ravo-event-ver300.dat cannot be opened."},
        RefusalCase{"zero-days",
                    {},
                    writes("param-ravo-event-ver300.dat", "3 5 5 140 36 2 2 0.05 0.05 1 1 0\n"),
                    "The run has no hour to convert: days is 0 in ../param-ravo-event-ver300.dat."},
        RefusalCase{"grid-beyond-the-pole",
                    {},
                    writes("param-ravo-event-ver300.dat", "3 5 5 140 89.999 2 2 0.05 0.05 1 1 1\n"),
                    "The grid reaches beyond a pole: its rows span latitudes 89.999 to 90.0032."},
        RefusalCase{"short-hourly-file",
                    {},
                    [](const fs::path& run) {
                      writeFloats(run / "output/dischargeHourly.bin", std::vector<float>(599));
                    },
                    "Discharge data is too short: ./dischargeHourly.bin holds 599 values, 24 "
                    "hours of 5 x 5 cells need 600."},
        RefusalCase{"no-daily-maximum-file",
                    {},
                    removes("output/dischargeHourlyMaxInDay.bin"),
                    "Discharge data cannot be used: ./dischargeHourlyMaxInDay.bin is not a "
                    "regular file."},
        RefusalCase{"no-gauge-list", {"--gauges", "none.csv"}, {}, "none.csv cannot be opened."},
        RefusalCase{"gauge-list-damaged",
                    {"--gauges", "list.csv"},
                    writes("output/list.csv", "name,lon,lat\nMid,140.002,36.002\nTop,east,36\n"),
                    "list.csv line 3: lon \"east\" of gauge \"Top\" is not a number."},
        RefusalCase{"no-flow-accumulation",
                    {"--gauges", "list.csv"},
                    removes("topoData/flowAcc.bin"),
                    "../topoData/flowAcc.bin cannot be opened."},
        RefusalCase{"short-flow-accumulation",
                    {"--gauges", "list.csv"},
                    writes("topoData/flowAcc.bin", "1234"),
                    "../topoData/flowAcc.bin is too short: 5 x 5 cells need 100 bytes."}),
    [](const auto& info) { return caseName(info.param.name); });

TEST(NetcdfHelp, ListsEveryOption) {
  TempDir dir;
  const RunResult r = runProgram(DISCHARGE_NETCDF_EXE, {"--help"}, dir.path());
  EXPECT_EQ(r.exitStatus, 0);
  for (const char* option :
       {"--out FILE", "--start TIME", "--gauges FILE.csv", "--snap N", "--help"}) {
    EXPECT_NE(r.out.find(option), std::string::npos) << option << "\n" << r.out;
  }
}

}  // namespace
}  // namespace runoff::testing
