// What a run takes from people about its lakes: the lake list and the releases of reservoirs,
// read or refused with the file, the line and the value at fault; and the placement of the
// outlets on the routed cells, which refuses a lake outside the grid, off the routed cells or on
// the cell of another lake.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "runoff/inputs/lake_list.h"
#include "runoff/inputs/lake_placement.h"
#include "runoff/inputs/release_series.h"
#include "support/test_support.h"

namespace runoff::testing {
namespace {

struct TextCase {
  std::string name;
  std::string csv;
  std::string read;  // what was read, or the refusal's line
};

void PrintTo(const TextCase& c, std::ostream* os) { *os << c.name; }

constexpr const char* kHeader = "name,lon,lat,area,rule,a,b,start\n";

class LakeList : public ::testing::TestWithParam<TextCase> {};

TEST_P(LakeList, ReadsOrRefusesWithTheLineAndValueAtFault) {
  std::istringstream in(GetParam().csv);
  const Result<std::vector<Lake>> lakes = readLakes(in, "lakes.csv");
  std::ostringstream read;
  if (lakes.ok()) {
    for (const Lake& k : *lakes) {
      read << k.name << ' ' << k.lon << ' ' << k.lat << ' ' << k.areaKm2 << ' '
           << lakeRuleName(k.rule) << ' ' << k.a << ' ' << k.b << ' ' << k.startLevel << " @"
           << k.line << ';';
    }
  } else {
    read << lakes.message();
  }
  EXPECT_EQ(read.str(), GetParam().read);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LakeList,
    ::testing::Values(
        TextCase{"every-rule",
                 std::string(kHeader) + "Norris,-84.09,36.22,137,weir,120,1.5,0.3\n"
                                        "\"Cove Lake, TN\",-84.2,36.31,0.8,linear,36,,0\n\n"
                                        "Upper,-84.15,36.27,2.5,Releases,12,,\n",
                 "Norris -84.09 36.22 137 weir 120 1.5 0.3 @2;"
                 "Cove Lake, TN -84.2 36.31 0.8 linear 36 0 0 @3;"
                 "Upper -84.15 36.27 2.5 releases 12 0 0 @5;"},
        TextCase{"header-in-another-order-with-extra-columns",
                 "\xEF\xBB\xBF"
                 "rule,a,b,start,Hylak_id,NAME,Longitude,Latitude,area\r\n"
                 "linear,5,,1,77,A,10.5,45.25,0.2\r\n",
                 "A 10.5 45.25 0.2 linear 5 0 1 @2;"},
        TextCase{"unknown-rule", std::string(kHeader) + "A,1,2,3,spillway,1,1,0\n",
                 "lakes.csv line 2: rule \"spillway\" of lake \"A\" is not linear, weir or "
                 "releases."},
        TextCase{"zero-area", std::string(kHeader) + "A,1,2,0,linear,1,,0\n",
                 "lakes.csv line 2: area \"0\" of lake \"A\" must be above 0 (its surface, km2)."},
        TextCase{"negative-time-constant", std::string(kHeader) + "A,1,2,3,linear,-4,,0\n",
                 "lakes.csv line 2: a \"-4\" of lake \"A\" must be above 0 (its time constant, "
                 "hours)."},
        TextCase{"zero-weir-coefficient", std::string(kHeader) + "A,1,2,3,weir,0,1.5,0\n",
                 "lakes.csv line 2: a \"0\" of lake \"A\" must be above 0 (its discharge at a "
                 "level of 1 m, m3/s)."},
        TextCase{"zero-capacity", std::string(kHeader) + "A,1,2,3,releases,0,,0\n",
                 "lakes.csv line 2: a \"0\" of lake \"A\" must be above 0 (its capacity, 10^6 "
                 "m3)."},
        TextCase{"weir-without-exponent", std::string(kHeader) + "A,1,2,3,weir,10,,0\n",
                 "lakes.csv line 2: b \"\" of lake \"A\" is not a number."},
        TextCase{"zero-exponent", std::string(kHeader) + "A,1,2,3,weir,10,0,0\n",
                 "lakes.csv line 2: b \"0\" of lake \"A\" must be above 0 (the weir's exponent "
                 "of the level, 1.5 for a broad crest)."},
        TextCase{"negative-start", std::string(kHeader) + "A,1,2,3,linear,1,,-0.5\n",
                 "lakes.csv line 2: start \"-0.5\" of lake \"A\" must be 0 or more (the level "
                 "above the crest at the start, m)."},
        TextCase{"longitude-not-a-number", std::string(kHeader) + "A,east,2,3,linear,1,,0\n",
                 "lakes.csv line 2: lon \"east\" of lake \"A\" is not a number."},
        TextCase{"no-name", std::string(kHeader) + " ,1,2,3,linear,1,,0\n",
                 "lakes.csv line 2: the lake has no name."},
        TextCase{"name-twice",
                 std::string(kHeader) + "A,1,2,3,linear,1,,0\nB,1,2,3,linear,1,,0\n"
                                        "A,1,2,3,linear,1,,0\n",
                 "lakes.csv line 4: lake \"A\" is already listed on line 2."},
        TextCase{"header-without-rule", "name,lon,lat,area,a,b,start\nA,1,2,3,1,,0\n",
                 "lakes.csv line 1: the header names no column \"rule\" (expected "
                 "name,lon,lat,area,rule,a,b,start)."},
        TextCase{"no-header", "A,1,2,3,linear,1,,0\n",
                 "lakes.csv line 1: the header names no column \"name\" (expected "
                 "name,lon,lat,area,rule,a,b,start)."},
        TextCase{"too-few-fields", std::string(kHeader) + "A,1,2,3,linear,1\n",
                 "lakes.csv line 2 has 6 fields, not 8."},
        TextCase{"open-quote", std::string(kHeader) + "\"A,1,2,3,linear,1,,0\n",
                 "lakes.csv line 2: a quoted field is not closed."},
        TextCase{"header-only", kHeader, "lakes.csv lists no lake."}),
    [](const auto& info) { return caseName(info.param.name); });

std::vector<Lake> lakesOf(const std::string& csv) {
  std::istringstream in(std::string(kHeader) + csv);
  Result<std::vector<Lake>> lakes = readLakes(in, "lakes.csv");
  EXPECT_TRUE(lakes.ok()) << lakes.message();
  return lakes.ok() ? *lakes : std::vector<Lake>{};
}

class ReleaseFile : public ::testing::TestWithParam<TextCase> {};

TEST_P(ReleaseFile, ReadsOrRefusesWithTheLineAndValueAtFault) {
  const std::vector<Lake> lakes =
      lakesOf("Upper,1,2,3,releases,1,,0\nNatural,1,2,3,weir,1,1.5,0\nLower,1,2,3,releases,1,,0\n");
  std::istringstream in(GetParam().csv);
  const Result<ReleaseSeries> series = readReleases(in, "releases.csv", lakes);
  std::ostringstream read;
  if (series.ok()) {
    for (std::size_t k = 0; k < lakes.size(); ++k) {
      read << lakes[k].name << ':';
      for (const ReleaseValue& v : series->values[k]) {
        read << ' ' << isoTime(v.time) << '=' << v.outflow << '@' << v.line;
      }
      read << ';';
    }
  } else {
    read << series.message();
  }
  EXPECT_EQ(read.str(), GetParam().read);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReleaseFile,
    ::testing::Values(
        TextCase{"values-in-any-order-and-missing-ones",
                 "outflow,time,lake,comment\n"
                 "13,2000-07-01T06:00:00,Upper,gates opened\n"
                 "1.1,2000-07-01T00:00:00,Upper,\n"
                 ",2000-07-01T03:00:00,Upper,no reading\n"
                 "NaN,2000-07-01T01:00:00,Lower,\n",
                 "Upper: 2000-07-01T00:00:00=1.1@3 2000-07-01T06:00:00=13@2;Natural:;Lower:;"},
        TextCase{"unknown-lake", "time,lake,outflow\n2000-07-01T00:00:00,Norris,3\n",
                 "releases.csv line 2: lake \"Norris\" is not in the lake list."},
        TextCase{"lake-of-another-rule", "time,lake,outflow\n2000-07-01T00:00:00,Natural,3\n",
                 "releases.csv line 2: lake \"Natural\" has the weir rule; only a lake of the "
                 "releases rule takes releases."},
        TextCase{"negative-outflow",
                 "time,lake,outflow\n2000-07-01T00:00:00,Upper,1\n2000-07-01T01:00:00,Upper,-2\n",
                 "releases.csv line 3: outflow \"-2\" of lake \"Upper\" is negative."},
        TextCase{"outflow-not-a-number", "time,lake,outflow\n2000-07-01T00:00:00,Upper,lots\n",
                 "releases.csv line 2: outflow \"lots\" of lake \"Upper\" is not a number."},
        TextCase{"time-twice",
                 "time,lake,outflow\n2000-07-01T02:00:00,Upper,1\n2000-07-01T02:00,Upper,\n",
                 "releases.csv line 3: lake \"Upper\" at 2000-07-01T02:00:00 is already given on "
                 "line 2."},
        TextCase{"bad-time", "time,lake,outflow\n2000-07-32T00:00:00,Upper,1\n",
                 "releases.csv line 2: time \"2000-07-32T00:00:00\" is not a date and time "
                 "(YYYY-MM-DDThh:mm:ss)."},
        TextCase{"header-without-outflow", "time,lake,discharge\n2000-07-01T00:00:00,Upper,1\n",
                 "releases.csv line 1: the header names no column \"outflow\" (expected "
                 "time,lake,outflow)."},
        TextCase{"no-lake-name", "time,lake,outflow\n2000-07-01T00:00:00,,1\n",
                 "releases.csv line 2: the value has no lake name."},
        TextCase{"no-value", "time,lake,outflow\n2000-07-01T00:00:00,Upper,\n",
                 "releases.csv holds no release value."}),
    [](const auto& info) { return caseName(info.param.name); });

// A value holds from its time until the next; an hour before the first has none.
TEST(ReleaseFile, TheLastValueHoldsUntilTheNext) {
  const std::vector<Lake> lakes = lakesOf("Upper,1,2,3,releases,1,,0\n");
  std::istringstream in(
      "time,lake,outflow\n2000-07-01T02:00:00,Upper,1.1\n2000-07-01T05:30:00,Upper,13\n");
  const Result<ReleaseSeries> series = readReleases(in, "r.csv", lakes);
  ASSERT_TRUE(series.ok()) << series.message();
  const CivilTime start = *parseIsoTime("2000-07-01T00:00:00");
  std::ostringstream seen;
  for (int h = 0; h < 8; ++h) {
    const std::optional<double> release =
        releaseInForce(series->values[0], start + std::chrono::hours(h));
    seen << (release ? std::to_string(*release).substr(0, 4) : "none") << ' ';
  }
  EXPECT_EQ(seen.str(), "none none 1.10 1.10 1.10 1.10 13.0 13.0 ");
}

// A 6 x 5 grid of 36 arc-second cells from (10 E, 45 N); the routed cells are marked by a
// value other than -9999 in the first hour, and the flow accumulation rises down a river along
// column 2 to the south.
struct SmallGrid {
  GridGeometry grid{5, 6, 10.0, 45.0, 0.01};
  std::vector<std::int32_t> flowAcc = std::vector<std::int32_t>(30, 1);
  std::vector<float> firstHour = std::vector<float>(30, -9999.0f);

  SmallGrid() {
    for (int row = 1; row < 4; ++row) {
      for (int col = 1; col < 5; ++col) firstHour[row * 6 + col] = 0.0f;
      flowAcc[row * 6 + 2] = 10 * (5 - row);
    }
  }
  Result<std::vector<SnappedGauge>> place(const std::string& csv, std::int32_t snap) {
    return placeLakes(lakesOf(csv), grid, flowAcc, firstHour, snap);
  }
};

TEST(LakePlacement, OutletsGoToTheLargestRoutedAccumulationWithinReach) {
  SmallGrid g;
  const Result<std::vector<SnappedGauge>> placed =
      g.place("Here,10.045,45.035,1,linear,1,,0\nNear,10.035,45.025,1,linear,1,,0\n", 1);
  ASSERT_TRUE(placed.ok()) << placed.message();
  EXPECT_EQ(lakePlacementLine(placed->at(0)),
            "Lake \"Here\": column 5, row 4, flow accumulation 1");
  EXPECT_EQ(lakePlacementLine(placed->at(1)),
            "Lake \"Near\": column 3, row 2, flow accumulation 40");
}

TEST(LakePlacement, RefusesOutsideTheGridOffTheRoutedCellsAndTwoOnOneCell) {
  SmallGrid g;
  EXPECT_EQ(g.place("Far,11,45.02,1,linear,1,,0\n", 2).message(),
            "Lake \"Far\" at lon 11, lat 45.02 lies outside the grid (lon 10 to 10.06, lat 45 to "
            "45.05).");
  EXPECT_EQ(g.place("Edge,10.005,45.045,1,linear,1,,0\n", 0).message(),
            "Lake \"Edge\" has no routed cell within 0 cells of column 1, row 5.");
  EXPECT_EQ(g.place("A,10.025,45.015,1,linear,1,,0\nB,10.035,45.015,1,weir,1,1.5,0\n", 1).message(),
            "Lakes \"A\" and \"B\" are both placed on column 3, row 2; a cell holds one lake.");
}

}  // namespace
}  // namespace runoff::testing
