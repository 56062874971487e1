// Gauges through discharge-netcdf on the 5 x 5 basin of the test support, whose routed cells
// and flow accumulations can be checked by hand (rows from the south, columns from the west,
// accumulation; every other cell holds -9999):
//   row 4: column 2 (1), column 3 (3), column 4 (1)
//   row 3: column 3 (5)             (column 2 is an unlisted river, column 4 in no river)
//   row 2: column 2 (0), column 3 (6), column 4 (-1)
// Cells are 3 arc-seconds (1/1200 degree) from 140 E, 36 N.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "support/basin_builder.h"
#include "support/test_support.h"

namespace runoff::testing {
namespace {

// Positions inside the north-western and south-eastern corner cells, both on the outer ring.
constexpr const char* kNorthWest = "140.0004,36.0037";
constexpr const char* kSouthEast = "140.0037,36.0003";

class NetcdfGauges : public ::testing::Test {
 protected:
  void SetUp() override {
    mixedBasin(2).write(dir.path());
    const RunResult sim = runSimulator(dir.path());
    ASSERT_EQ(sim.exitStatus, 0) << sim.out;
  }
  fs::path output() const { return dir / "output"; }
  RunResult convert(const std::string& gauges, std::vector<std::string> args = {}) {
    writeFile(output() / "list.csv", gauges);
    args.insert(args.begin(), {"--gauges", "list.csv"});
    return runProgram(DISCHARGE_NETCDF_EXE, args, output());
  }
  TempDir dir;
};

struct SnapCase {
  std::string name;
  std::string position;  // lon,lat
  std::vector<std::string> snap;
  std::string chosen;  // the console line's end
};

void PrintTo(const SnapCase& c, std::ostream* os) { *os << c.name; }

class NetcdfGaugeSnap : public NetcdfGauges, public ::testing::WithParamInterface<SnapCase> {};

TEST_P(NetcdfGaugeSnap, PrintsTheChosenCell) {
  const SnapCase& c = GetParam();
  const RunResult r = convert("G," + c.position + "\n", c.snap);
  EXPECT_EQ(r.exitStatus, 0) << r.out;
  EXPECT_NE(r.out.find("\nGauge \"G\": " + c.chosen + "\nWrite discharge.nc\nWrite gauges.csv\n"),
            std::string::npos)
      << r.out;
}

INSTANTIATE_TEST_SUITE_P(Cases, NetcdfGaugeSnap,
                         ::testing::Values(SnapCase{"largest-accumulation-within-two",
                                                    kNorthWest,
                                                    {},
                                                    "column 3, row 3, flow accumulation 5"},
                                           SnapCase{"within-one",
                                                    kNorthWest,
                                                    {"--snap", "1"},
                                                    "column 2, row 4, flow accumulation 1"},
                                           SnapCase{"only-routed-cells-count",
                                                    kSouthEast,
                                                    {"--snap=1"},
                                                    "column 4, row 2, flow accumulation -1"},
                                           SnapCase{"south-east-within-two",
                                                    kSouthEast,
                                                    {"--snap", "2"},
                                                    "column 3, row 2, flow accumulation 6"},
                                           SnapCase{"own-cell-with-snap-zero",
                                                    "140.0021,36.0021",
                                                    {"--snap", "0"},
                                                    "column 3, row 3, flow accumulation 5"},
                                           SnapCase{"longitude-taken-modulo-360",
                                                    "-219.9996,36.0037",
                                                    {},
                                                    "column 3, row 3, flow accumulation 5"}),
                         [](const auto& info) { return caseName(info.param.name); });

struct RefusedCase {
  std::string name;
  std::string position;
  std::vector<std::string> snap;
  std::string line;
};

void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.name; }

class NetcdfGaugeRefused : public NetcdfGauges,
                           public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(NetcdfGaugeRefused, NamesTheGaugeAndWritesNothing) {
  const RefusedCase& c = GetParam();
  const RunResult r =
      convert("name,lon,lat\nFirst,140.0021,36.0021\nJellico," + c.position + "\n", c.snap);
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(lastLine(r.out), c.line) << r.out;
  for (const std::string& name : entries(output())) {
    EXPECT_TRUE(name.find(".nc") == std::string::npos && name.find("gauges") == std::string::npos)
        << name;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NetcdfGaugeRefused,
    ::testing::Values(
        RefusedCase{"west-of-the-grid",
                    "139.9999,36.002",
                    {},
                    "Gauge \"Jellico\" at lon 139.9999, lat 36.002 lies outside the grid (lon 140 "
                    "to 140.0041667, lat 36 to 36.00416667)."},
        RefusedCase{"north-of-the-grid",
                    "140.002,36.00417",
                    {"--snap", "9"},
                    "Gauge \"Jellico\" at lon 140.002, lat 36.00417 lies outside the grid (lon 140 "
                    "to 140.0041667, lat 36 to 36.00416667)."},
        RefusedCase{"no-routed-cell-in-reach",
                    kNorthWest,
                    {"--snap", "0"},
                    "Gauge \"Jellico\" has no routed cell within 0 cells of column 1, row 5."}),
    [](const auto& info) { return caseName(info.param.name); });

// The value text of every line of a discharge-point series, in hour order.
std::vector<std::string> pointValues(const std::string& series) {
  std::vector<std::string> values;
  std::istringstream in(series);
  std::string hour, value;
  while (in >> hour >> value) values.push_back(value);
  return values;
}

TEST_F(NetcdfGauges, SeriesEqualDischargePointsForTheChosenCells) {
  const RunResult r = convert(std::string("\xEF\xBB\xBFname,lon,lat\r\n\"Outlet, main\",") +
                              kNorthWest + "\r\nHead," + kSouthEast + "\r\n");
  ASSERT_EQ(r.exitStatus, 0) << r.out;
  EXPECT_NE(r.out.find("Gauge \"Outlet, main\": column 3, row 3, flow accumulation 5\n"
                       "Gauge \"Head\": column 3, row 2, flow accumulation 6\n"),
            std::string::npos)
      << r.out;
  ASSERT_EQ(runProgram(DISCHARGE_POINT_EXE, output(), "3\n3\n").exitStatus, 0);
  ASSERT_EQ(runProgram(DISCHARGE_POINT_EXE, output(), "3\n2\n").exitStatus, 0);
  const std::vector<std::string> outlet = pointValues(readFile(output() / "3-3_discharge.dat"));
  const std::vector<std::string> head = pointValues(readFile(output() / "3-2_discharge.dat"));
  const std::vector<float> hourly = readFloats(output() / "dischargeHourly.bin");
  ASSERT_EQ(outlet.size(), 48u);
  ASSERT_EQ(hourly.size(), 48u * 25);

  // Hour k begins at the stamp of rainfall record k.
  std::vector<std::string> stamps;
  std::istringstream rain(readFile(dir / "input/rain.dat"));
  std::string line;
  while (std::getline(rain, line)) {
    int y, mo, d, h, mi, s;
    if (std::sscanf(line.c_str(), "%d %d %d %d %d %d", &y, &mo, &d, &h, &mi, &s) == 6) {
      char text[32];
      std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", y, mo, d, h, mi, s);
      stamps.push_back(text);
    }
  }
  ASSERT_EQ(stamps.size(), 48u);

  std::istringstream csv(readFile(output() / "gauges.csv"));
  ASSERT_TRUE(std::getline(csv, line));
  EXPECT_EQ(line, "time,gauge,discharge");
  for (int hour = 0; hour < 48; ++hour) {
    struct Expect {
      const char* field;
      const std::vector<std::string>& point;
      int position;  // in the grid: (row - 1) x 5 + column - 1
    };
    for (const Expect& e : {Expect{"\"Outlet, main\"", outlet, 12}, Expect{"Head", head, 7}}) {
      ASSERT_TRUE(std::getline(csv, line));
      const std::string prefix = stamps[hour] + "," + e.field + ",";
      ASSERT_EQ(line.substr(0, prefix.size()), prefix);
      const std::string text = line.substr(prefix.size());
      const float value = std::strtof(text.c_str(), nullptr);
      const float raw = hourly[hour * 25 + e.position];
      EXPECT_EQ(std::memcmp(&value, &raw, 4), 0) << line;
      std::ostringstream sixDigits;
      sixDigits << value;
      EXPECT_EQ(sixDigits.str(), e.point[hour]) << line;
    }
  }
  EXPECT_FALSE(std::getline(csv, line)) << "extra line " << line;
}

}  // namespace
}  // namespace runoff::testing
