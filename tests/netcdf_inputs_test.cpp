// What discharge-netcdf takes from people rather than from the model: start times typed as
// ISO 8601, and gauge lists made in spreadsheets. Also the chunk shapes, checked against the
// access costs they are chosen for rather than against their formula.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "runoff/output/chunk_shape.h"
#include "runoff/inputs/gauge_list.h"
#include "runoff/inputs/run_start.h"
#include "support/test_support.h"

namespace runoff::testing {
namespace {

TEST(IsoTime, AcceptsTheWrittenFormsAndRefusesTheRest) {
  struct Case {
    const char* text;
    const char* read;  // as isoTime writes it back; nullptr when refused
  };
  for (const Case& c : {
           Case{"2000-07-01", "2000-07-01T00:00:00"},
           Case{"2000-07-01T06:30", "2000-07-01T06:30:00"},
           Case{"2000-07-01 06:30:15", "2000-07-01T06:30:15"},
           Case{"2000-07-01T06:30:15Z", "2000-07-01T06:30:15"},
           Case{"2024-02-29T23:59:59", "2024-02-29T23:59:59"},
           Case{"0001-01-01", "0001-01-01T00:00:00"},
           Case{"2023-02-29", nullptr},
           Case{"2000-07-01T24:00:00", nullptr},
           Case{"2000-07-01T06:60", nullptr},
           Case{"2000-07-01T06", nullptr},
           Case{"2000-7-1", nullptr},
           Case{"2000-07-01T06:30:15+02:00", nullptr},
           Case{"0000-01-01", nullptr},
           Case{"", nullptr},
       }) {
    const std::optional<CivilTime> time = parseIsoTime(c.text);
    EXPECT_EQ(time ? isoTime(*time) : std::string("refused"), c.read ? c.read : "refused")
        << c.text;
  }
}

struct GaugeListCase {
  std::string name;
  std::string csv;
  std::string read;  // "name lon lat;" per gauge, or the refusal's line
};

void PrintTo(const GaugeListCase& c, std::ostream* os) { *os << c.name; }

class GaugeList : public ::testing::TestWithParam<GaugeListCase> {};

TEST_P(GaugeList, ReadsOrRefusesWithTheLineAtFault) {
  std::istringstream in(GetParam().csv);
  const Result<std::vector<Gauge>> gauges = readGauges(in, "g.csv");
  std::ostringstream read;
  if (gauges.ok()) {
    for (const Gauge& g : *gauges) read << g.name << ' ' << g.lon << ' ' << g.lat << ';';
  } else {
    read << gauges.message();
  }
  EXPECT_EQ(read.str(), GetParam().read);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GaugeList,
    ::testing::Values(
        GaugeListCase{"no-header", "A,140.5,36.25\nB, -84.1 , 36.6\n",
                      "A 140.5 36.25;B -84.1 36.6;"},
        GaugeListCase{"header-in-another-order-with-extra-column",
                      "Latitude,station,NAME,Longitude\n36.6,x,Jellico,-84.13\n",
                      "Jellico -84.13 36.6;"},
        GaugeListCase{"spreadsheet-export", "\xEF\xBB\xBFname,lon,lat\r\n\r\nA,1,2\r\n", "A 1 2;"},
        GaugeListCase{"quoted-names", "\"Jellico, TN\",1,2\n\"The \"\"Ford\"\"\",3,4\n",
                      "Jellico, TN 1 2;The \"Ford\" 3 4;"},
        GaugeListCase{"header-without-lat", "name,lon,height\nA,1,2\n",
                      "g.csv line 1: the header names no column \"lat\" (expected name,lon,lat)."},
        GaugeListCase{"too-many-fields", "A,1,2\nB,1,2,3\n", "g.csv line 2 has 4 fields, not 3."},
        GaugeListCase{"latitude-not-a-number", "name,lon,lat\nA,1,north\n",
                      "g.csv line 2: lat \"north\" of gauge \"A\" is not a number."},
        GaugeListCase{"no-name", "A,1,2\n ,3,4\n", "g.csv line 2: the gauge has no name."},
        GaugeListCase{"name-twice", "A,1,2\nB,3,4\nA,5,6\n",
                      "g.csv line 3: gauge \"A\" is already listed on line 1."},
        GaugeListCase{"open-quote", "\"A,1,2\n", "g.csv line 1: a quoted field is not closed."},
        GaugeListCase{"header-only", "name,lon,lat\n", "g.csv lists no gauge."}),
    [](const auto& info) { return caseName(info.param.name); });

TEST(ChunkShape, BalancesOneMapAgainstOneSeriesWithinTheMemoryBound) {
  struct Grid {
    std::int64_t steps;
    std::int32_t rows, cols;
    std::int64_t period;  // 24 for hours, 1 for days
  };
  for (const Grid& g : {Grid{8760, 1000, 1000, 24}, Grid{48, 344, 403, 24}, Grid{48, 14, 8, 24},
                        Grid{365, 1000, 1000, 1}, Grid{8760, 5000, 3, 24},
                        Grid{24, 20000, 30000, 24}, Grid{2, 344, 403, 1}}) {
    SCOPED_TRACE(std::to_string(g.steps) + " x " + std::to_string(g.rows) + " x " +
                 std::to_string(g.cols));
    const ChunkShape c = balancedChunk(g.steps, g.rows, g.cols, g.period);
    ASSERT_GE(c.steps, 1u);
    EXPECT_LE(c.rows, static_cast<std::size_t>(g.rows));
    EXPECT_LE(c.cols, static_cast<std::size_t>(g.cols));
    EXPECT_LE(c.steps, static_cast<std::size_t>(g.steps));
    const double values = static_cast<double>(c.steps * c.rows * c.cols);
    const double cells = static_cast<double>(g.rows) * g.cols;
    const double gridBytes = 4 * cells;
    // The block held in memory stays within the bound (one grid at least).
    EXPECT_TRUE(c.steps == 1 || c.steps * gridBytes <= kMaxBlockBytes);
    // A chunk is a few hundred KiB at most, unless the whole variable is smaller.
    EXPECT_LE(values, 2.0 * kChunkValues);
    if (values * 4 < g.steps * cells) {
      // Chunks read for one map and for one series differ by less than a factor of 3,
      // except where the memory bound cuts the time block short.
      const double map = std::ceil(g.rows / double(c.rows)) * std::ceil(g.cols / double(c.cols));
      const double series = std::ceil(g.steps / double(c.steps));
      if (c.steps * gridBytes * 2 <= kMaxBlockBytes) {
        EXPECT_LT(std::max(map, series) / std::min(map, series), 3.0) << map << " " << series;
      }
    }
  }
  // A year on a million cells: a day's hours a chunk, 96 MB held at once.
  EXPECT_EQ(balancedChunk(8760, 1000, 1000, 24).steps, 24u);
  // Hourly chunks hold whole days or lie within one.
  for (std::int32_t side : {10, 100, 344, 1000, 3000}) {
    const std::size_t t = balancedChunk(8760, side, side, 24).steps;
    EXPECT_TRUE(24 % t == 0 || t % 24 == 0) << side << ": " << t;
  }
}

}  // namespace
}  // namespace runoff::testing
