// runoff-sim --netcdf and --gauges write while routing what discharge-netcdf writes from the raw
// files afterwards: the same gauge series byte for byte, and a NetCDF file the same in every
// dimension, variable, value, attribute and chunk but the two that say who made it and when.
// With --netcdf alone no raw file is written; --outputs chooses the variables.
#include <gtest/gtest.h>
#include <netcdf.h>

#include <string>
#include <vector>

#include "support/basin_builder.h"
#include "support/test_support.h"

namespace runoff::testing {
namespace {

const fs::path kGolden = fs::path(TEST_DATA_DIR) / "golden";

void prepare(const fs::path& dir) {
  copyTree(kGolden / "small-inconsistent-acc" / "input", dir);
  fs::create_directories(dir / "temp");
  fs::create_directories(dir / "output");
  // One gauge in the grid's middle, one on its outer ring (moved onto the river).
  writeFile(dir / "gauges.csv", "name,lon,lat\nMiddle,-17.9896,-12.9521\nEdge,-17.9979,-12.9438\n");
}

// The variable names of a NetCDF file.
std::vector<std::string> variables(const fs::path& file) {
  std::vector<std::string> names;
  int ncid = -1, count = 0;
  if (nc_open(file.c_str(), NC_NOWRITE, &ncid) != NC_NOERR) return names;
  nc_inq_nvars(ncid, &count);
  for (int v = 0; v < count; ++v) {
    char name[NC_MAX_NAME + 1];
    nc_inq_varname(ncid, v, name);
    names.push_back(name);
  }
  nc_close(ncid);
  return names;
}

TEST(NetcdfWhileRouting, EqualsDischargeNetcdfOfTheRawFiles) {
  TempDir dir;
  prepare(dir.path());
  const RunResult sim = runProgram(
      RUNOFF_SIM_EXE, {"--outputs", "daily,max,hourly", "--gauges", "gauges.csv", "--netcdf"},
      dir.path());
  ASSERT_EQ(sim.exitStatus, 0) << sim.out;
  EXPECT_TRUE(contains(sim.out, "Write ./output/dischargeHourly.bin\nWrite ./output/gauges.csv\n"
                                "Write ./output/discharge.nc\n"))
      << sim.out;
  fs::rename(dir / "output/gauges.csv", dir / "routed-gauges.csv");
  const RunResult converted = runProgram(
      DISCHARGE_NETCDF_EXE, {"--out", "converted.nc", "--gauges", "../gauges.csv"}, dir / "output");
  ASSERT_EQ(converted.exitStatus, 0) << converted.out;
  // The same placement lines, the same series, the same file.
  const auto placements = [](const std::string& out) {
    std::string lines;
    for (std::size_t at = out.find("\nGauge \""); at != std::string::npos;
         at = out.find("\nGauge \"", at + 1)) {
      lines += out.substr(at, out.find('\n', at + 1) - at);
    }
    return lines;
  };
  EXPECT_EQ(placements(sim.out),
            "\nGauge \"Middle\": column 3, row 13, flow accumulation 5"
            "\nGauge \"Edge\": column 3, row 13, flow accumulation 5");
  EXPECT_EQ(placements(converted.out), placements(sim.out));
  EXPECT_EQ(readFile(dir / "routed-gauges.csv"), readFile(dir / "output/gauges.csv"));
  EXPECT_GT(readFile(dir / "output/gauges.csv").size(), 2 * 48 * 20u);
  const std::string expected = netcdfDumpWithoutProvenance(dir / "output/converted.nc");
  EXPECT_TRUE(contains(expected, "discharge_daily_max:_ChunkSizes")) << expected.substr(0, 400);
  EXPECT_EQ(netcdfDumpWithoutProvenance(dir / "output/discharge.nc"), expected);
}

TEST(NetcdfWhileRouting, AloneWritesNoRawFileAndOutputsChooseTheVariables) {
  TempDir full, chosen;
  for (const TempDir* d : {&full, &chosen}) prepare(d->path());
  ASSERT_EQ(runProgram(RUNOFF_SIM_EXE, {"--netcdf"}, full.path()).exitStatus, 0);
  EXPECT_EQ(entries(full / "output"), std::vector<std::string>{"discharge.nc"});
  EXPECT_EQ(variables(full / "output/discharge.nc"),
            (std::vector<std::string>{"time", "time_bnds", "day", "day_bnds", "lat", "lat_bnds",
                                      "lon", "lon_bnds", "crs", "discharge",
                                      "discharge_daily_mean", "discharge_daily_max"}));

  const RunResult r =
      runProgram(RUNOFF_SIM_EXE, {"--netcdf", "--outputs", "hourly"}, chosen.path());
  ASSERT_EQ(r.exitStatus, 0) << r.out;
  EXPECT_EQ(entries(chosen / "output"),
            (std::vector<std::string>{"discharge.nc", "dischargeHourly.bin", "dischargeHourly.vrt"}));
  EXPECT_EQ(variables(chosen / "output/discharge.nc"),
            (std::vector<std::string>{"time", "time_bnds", "day", "day_bnds", "lat", "lat_bnds",
                                      "lon", "lon_bnds", "crs", "discharge"}));
  // The hourly variable of both files is the same, as the dumps of that variable show.
  const auto hourly = [](const fs::path& file) {
    int status = 0;
    return shellOutput("ncdump -p 9,17 -v discharge '" + file.string() + "' | sed -n '/^data:/,$p'",
                       status);
  };
  const std::string values = hourly(full / "output/discharge.nc");
  EXPECT_GT(values.size(), 14u * 8 * 48 * 2);
  EXPECT_EQ(hourly(chosen / "output/discharge.nc"), values);
}

TEST(NetcdfWhileRouting, RunOfNoDaysIsRefusedBeforeAnyFile) {
  TempDir dir;
  Basin basin = valleyBasin(5, 5, 1);
  basin.param(kDays, "0");
  basin.write(dir.path());
  const RunResult r = runProgram(RUNOFF_SIM_EXE, {"--netcdf"}, dir.path());
  EXPECT_EQ(r.exitStatus, 1) << r.out;
  EXPECT_EQ(lastLine(r.out),
            "The run has no hour to write to ./output/discharge.nc: days is 0 in "
            "./param-ravo-event-ver300.dat.");
  EXPECT_EQ(entries(dir / "output"), std::vector<std::string>{});
}

}  // namespace
}  // namespace runoff::testing
