// discharge-netcdf end to end: runoff-sim on a small run (8 columns by 14 rows, so a swapped
// axis or a grid read south-up shows), then the converter in output/, and the NetCDF file
// read back by independent readers: the NetCDF C library for the exact bits, ncdump for the
// attributes and the decoded time axis, GDAL for the georeferencing against the .vrt the
// simulator writes, and xarray as analysts open it.
#include <gtest/gtest.h>
#include <netcdf.h>

#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace runoff::testing {
namespace {

const fs::path kCase = fs::path(TEST_DATA_DIR) / "golden" / "small-inconsistent-acc" / "input";
constexpr int kCols = 8;
constexpr int kRows = 14;
constexpr int kHours = 48;

// The whole of a float variable of a NetCDF file; empty when it cannot be read.
std::vector<float> netcdfFloats(const fs::path& file, const char* variable) {
  int ncid, varid, ndims, dims[NC_MAX_VAR_DIMS];
  std::vector<float> values;
  if (nc_open(file.c_str(), NC_NOWRITE, &ncid) != NC_NOERR) return values;
  if (nc_inq_varid(ncid, variable, &varid) == NC_NOERR &&
      nc_inq_var(ncid, varid, nullptr, nullptr, &ndims, dims, nullptr) == NC_NOERR) {
    std::size_t count = 1;
    for (int d = 0; d < ndims; ++d) {
      std::size_t length = 0;
      nc_inq_dimlen(ncid, dims[d], &length);
      count *= length;
    }
    values.resize(count);
    if (nc_get_var_float(ncid, varid, values.data()) != NC_NOERR) values.clear();
  }
  nc_close(ncid);
  return values;
}

// The quoted values of `variable` in the output of ncdump -t (times decoded as text).
std::vector<std::string> decodedTimes(const std::string& dump, const std::string& variable) {
  std::vector<std::string> times;
  const std::size_t at = dump.find(std::string("\n ").append(variable).append(" = "));
  if (at == std::string::npos) return times;
  const std::string values = dump.substr(at, dump.find(';', at) - at);
  const std::regex quoted("\"([^\"]*)\"");
  for (auto m = std::sregex_iterator(values.begin(), values.end(), quoted);
       m != std::sregex_iterator(); ++m) {
    times.push_back((*m)[1]);
  }
  return times;
}

// Every file name in `dir` that holds `part`.
std::vector<std::string> namesWith(const fs::path& dir, const std::string& part) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name.find(part) != std::string::npos) names.push_back(name);
  }
  return names;
}

class NetcdfConversion : public ::testing::Test {
 protected:
  void SetUp() override {
    copyTree(kCase, dir.path());
    fs::create_directories(dir / "temp");
    fs::create_directories(output());
    const RunResult sim = runProgram(RUNOFF_SIM_EXE, dir.path());
    ASSERT_EQ(sim.exitStatus, 0) << sim.out;
  }
  fs::path output() const { return dir / "output"; }
  RunResult convert(const std::vector<std::string>& args = {}, const std::string& prefix = "") {
    return runProgram(DISCHARGE_NETCDF_EXE, args, output(), "", prefix);
  }
  std::string shell(const std::string& command) {
    int status;
    const std::string text = shellOutput("cd '" + output().string() + "' && " + command, status);
    EXPECT_EQ(status, 0) << command << "\n" << text;
    return text;
  }
  // Band `band` (from 1) of a GDAL dataset as text, nine significant digits (every float32
  // exactly), rows from the north as GDAL presents them.
  std::string gdalBand(const std::string& dataset, int band) {
    const std::string asc = "band-" + std::to_string(band) + ".asc";
    shell("gdal_translate -q -of AAIGrid -co SIGNIFICANT_DIGITS=9 -b " + std::to_string(band) +
          " " + dataset + " " + asc);
    const std::string text = readFile(output() / asc);
    fs::remove(output() / asc);
    fs::remove(output() / (asc + ".aux.xml"));
    return text;
  }

  TempDir dir;
};

TEST_F(NetcdfConversion, EveryHourAndDayEqualsTheGridFilesBitForBit) {
  const RunResult r = convert();
  ASSERT_EQ(r.exitStatus, 0) << r.out;
  EXPECT_EQ(r.out,
            "Grid of 8 x 14 cells of 15 arc-seconds, 2 days from 2021-08-01T00:00:00 (the first "
            "record of ../input/rain.dat)\n"
            "Write discharge.nc\n");
  struct Pair {
    const char* variable;
    const char* bin;
  };
  for (const Pair& p : {Pair{"discharge", "dischargeHourly.bin"},
                        Pair{"discharge_daily_mean", "dischargeDaily.bin"},
                        Pair{"discharge_daily_max", "dischargeHourlyMaxInDay.bin"}}) {
    SCOPED_TRACE(p.variable);
    const std::string bytes = readFile(output() / p.bin);
    const std::vector<float> values = netcdfFloats(output() / "discharge.nc", p.variable);
    ASSERT_EQ(values.size() * 4, bytes.size());
    EXPECT_EQ(std::memcmp(values.data(), bytes.data(), bytes.size()), 0);
  }
  EXPECT_TRUE(namesWith(output(), ".tmp-").empty());
}

TEST_F(NetcdfConversion, NcdumpShowsTheCfAttributes) {
  ASSERT_EQ(convert({"--out", "run.nc"}).exitStatus, 0);
  const std::string header = shell("ncdump -hs run.nc");
  for (const char* line : {
           ":Conventions = \"CF-1.8\" ;",
           ":source = \"runoff-sim kinematic-wave rainfall-runoff model; converted by "
           "discharge-netcdf 0.1.0\" ;",
           "\ttime = 48 ;",
           "\tday = 2 ;",
           "\tlat = 14 ;",
           "\tlon = 8 ;",
           "float discharge(time, lat, lon) ;",
           "float discharge_daily_mean(day, lat, lon) ;",
           "float discharge_daily_max(day, lat, lon) ;",
           "discharge:standard_name = \"water_volume_transport_in_river_channel\" ;",
           "discharge:units = \"m3 s-1\" ;",
           "discharge:_FillValue = -9999.f ;",
           "discharge:cell_methods = \"time: mean\" ;",
           "discharge:grid_mapping = \"crs\" ;",
           "discharge:_Shuffle = \"true\" ;",
           "discharge_daily_mean:cell_methods = \"time: mean\" ;",
           "discharge_daily_max:cell_methods = \"time: maximum\" ;",
           "discharge_daily_max:_FillValue = -9999.f ;",
           "discharge_daily_max:_DeflateLevel = 1 ;",
           "crs:grid_mapping_name = \"latitude_longitude\" ;",
           "crs:inverse_flattening = 298.257223563 ;",
           "time:calendar = \"standard\" ;",
           "time:bounds = \"time_bnds\" ;",
           "day:bounds = \"day_bnds\" ;",
           "lat:bounds = \"lat_bnds\" ;",
           "lon:bounds = \"lon_bnds\" ;",
           "lat:units = \"degrees_north\" ;",
           "lon:units = \"degrees_east\" ;",
       }) {
    EXPECT_NE(header.find(line), std::string::npos) << line << "\n" << header;
  }
  EXPECT_NE(header.find("discharge_daily_max:comment = \"Largest of the day\\'s 24 hourly means"),
            std::string::npos);
  // The history names the command and when it ran.
  EXPECT_TRUE(std::regex_search(
      header, std::regex(":history = \"[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9:]{8}Z: [^\"]*"
                         "discharge-netcdf --out run.nc\" ;")))
      << header;
}

struct StartCase {
  std::string name;
  std::vector<std::string> args;
  std::string rainStamp;           // first six integers of rain.dat; empty keeps the case's own
  std::vector<std::string> hours;  // first, second and last hour as ncdump -t decodes them
  std::vector<std::string> days;
  std::string console;  // the origin the converter names
};

void PrintTo(const StartCase& c, std::ostream* os) { *os << c.name; }

class NetcdfStart : public NetcdfConversion, public ::testing::WithParamInterface<StartCase> {};

TEST_P(NetcdfStart, TimeAxisDecodesToTheRunStart) {
  const StartCase& c = GetParam();
  if (!c.rainStamp.empty()) {
    // The case's file holds one value a line: the stamp is its first six lines.
    std::string rain = readFile(dir / "input/rain.dat");
    std::size_t end = 0;
    for (int k = 0; k < 6; ++k) end = rain.find('\n', end) + 1;
    writeFile(dir / "input/rain.dat", c.rainStamp + "\n" + rain.substr(end));
  }
  const RunResult r = convert(c.args);
  ASSERT_EQ(r.exitStatus, 0) << r.out;
  EXPECT_NE(r.out.find(c.console), std::string::npos) << r.out;
  const std::string dump = shell("ncdump -t -v time,day discharge.nc");
  const std::vector<std::string> hours = decodedTimes(dump, "time");
  ASSERT_EQ(hours.size(), static_cast<std::size_t>(kHours)) << dump;
  EXPECT_EQ((std::vector<std::string>{hours[0], hours[1], hours[kHours - 1]}), c.hours);
  EXPECT_EQ(decodedTimes(dump, "day"), c.days);
}

INSTANTIATE_TEST_SUITE_P(
    Starts, NetcdfStart,
    ::testing::Values(StartCase{"rain-stamp",
                                {},
                                "",
                                {"2021-08-01", "2021-08-01 01", "2021-08-02 23"},
                                {"2021-08-01", "2021-08-02"},
                                "(the first record of ../input/rain.dat)"},
                      StartCase{"rain-stamp-mid-day",
                                {},
                                "1999 12 31 23 30 0",
                                {"1999-12-31 23:30", "2000-01-01 00:30", "2000-01-02 22:30"},
                                {"1999-12-31 23:30", "2000-01-01 23:30"},
                                "from 1999-12-31T23:30:00 (the first record"},
                      StartCase{"start-overrides-rain",
                                {"--start", "2024-02-28T12:00:00"},
                                "",
                                {"2024-02-28 12", "2024-02-28 13", "2024-03-01 11"},
                                {"2024-02-28 12", "2024-02-29 12"},
                                "from 2024-02-28T12:00:00 (--start)"},
                      StartCase{"start-without-rain-stamp",
                                {"--start=1980-01-01"},
                                "0 0 0 0 0 0",
                                {"1980-01-01", "1980-01-01 01", "1980-01-02 23"},
                                {"1980-01-01", "1980-01-02"},
                                "(--start)"}),
    [](const auto& info) { return caseName(info.param.name); });

TEST_F(NetcdfConversion, GdalSeesTheSameGridAsTheVrt) {
  ASSERT_EQ(convert().exitStatus, 0);
  const std::string nc = "NETCDF:discharge.nc:discharge";
  const std::string fromNetcdf = shell("gdalinfo -json " + nc);
  const std::string fromVrt = shell("gdalinfo -json dischargeHourly.vrt");
  const std::vector<double> a = jsonArrayAfter(fromNetcdf, "geoTransform");
  const std::vector<double> b = jsonArrayAfter(fromVrt, "geoTransform");
  ASSERT_EQ(a.size(), 6u) << fromNetcdf;
  ASSERT_EQ(b.size(), 6u) << fromVrt;
  // GDAL derives the NetCDF cell size from the centres' spread: last bits may differ.
  for (int i = 0; i < 6; ++i) EXPECT_NEAR(a[i], b[i], 1e-12) << "term " << i;
  EXPECT_EQ(jsonArrayAfter(fromNetcdf, "size"), (std::vector<double>{kCols, kRows}));
  EXPECT_NE(fromNetcdf.find("WGS 84"), std::string::npos);
  // The same band lands in the same place through both georeferencings.
  for (int band : {1, 14, 48}) {
    EXPECT_EQ(gdalBand(nc, band), gdalBand("dischargeHourly.vrt", band)) << "band " << band;
  }
  EXPECT_EQ(gdalBand("NETCDF:discharge.nc:discharge_daily_max", 2),
            gdalBand("dischargeHourlyMaxInDay.vrt", 2));
}

TEST_F(NetcdfConversion, XarrayDecodesIt) {
  int status;
  shellOutput("/usr/bin/python3 -c 'import xarray, netCDF4'", status);
  if (status != 0) GTEST_SKIP() << "Debian's python3-xarray and python3-netcdf4 are missing";
  ASSERT_EQ(convert().exitStatus, 0);
  writeFile(output() / "check.py", R"(
import numpy as np
import xarray as xr
ds = xr.open_dataset("discharge.nc")
raw = np.fromfile("dischargeHourly.bin", "<f4").reshape(48, 14, 8)
assert ds.discharge.dims == ("time", "lat", "lon"), ds.discharge.dims
assert ds.time.values[0] == np.datetime64("2021-08-01T00:00:00"), ds.time.values[0]
assert ds.time.values[47] == np.datetime64("2021-08-02T23:00:00"), ds.time.values[47]
assert ds.day.values[1] == np.datetime64("2021-08-02T00:00:00"), ds.day.values[1]
hour = np.timedelta64(1, "h")
assert (ds.time_bnds.values[:, 0] == ds.time.values).all()
assert (ds.time_bnds.values[:, 1] == ds.time.values + hour).all()
assert (ds.day_bnds.values[:, 1] == ds.day.values + 24 * hour).all()
assert (ds.lat_bnds.values[1:, 0] == ds.lat_bnds.values[:-1, 1]).all()
assert np.all(np.diff(ds.lat.values) > 0), "latitude must ascend"
assert ds.discharge.attrs["units"] == "m3 s-1"
expected = np.where(raw == -9999, np.nan, raw)
assert np.array_equal(ds.discharge.values, expected, equal_nan=True)
assert np.isnan(ds.discharge.values).sum() == (raw == -9999).sum() > 0
daily = ds.discharge.resample(time="1D").mean()
print("ok", int(np.isfinite(daily.values).sum()))
)");
  const std::string out = shell("/usr/bin/python3 check.py");
  EXPECT_EQ(out.substr(0, 3), "ok ") << out;
}

TEST_F(NetcdfConversion, FailedWriteLeavesTheEarlierFileAndNoTemporary) {
  writeFile(output() / "discharge.nc", "earlier");
  // A file size limit of a few kilobytes stops the NetCDF file part way.
  const RunResult r = convert({}, "ulimit -f 8; trap '' XFSZ;");
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_TRUE(std::regex_search(r.out, std::regex("\ndischarge.nc cannot be written: [^\n]+\n$")))
      << r.out;
  EXPECT_EQ(readFile(output() / "discharge.nc"), "earlier");
  EXPECT_TRUE(namesWith(output(), ".tmp-").empty());
}

}  // namespace
}  // namespace runoff::testing
