// runoff-sim-mpi on grids of a few rows, where processes outnumber what there is to share: a
// process that routes no cell (an empty river list, a listed river that is not in the grid,
// more processes than pieces of the forest), a process whose band of rows is empty (fewer rows,
// or fewer rows of NetCDF chunks, than processes) or one row high, nothing to route at all, an
// empty rainfall file. On 1 to 4 processes every choice of outputs must give runoff-sim's
// console text and files, byte for byte. The three working directories under
// data/mpi-small-grids are random basins on which the program once ended with signal 11.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "support/basin_builder.h"
#include "support/mpi_run.h"
#include "support/test_support.h"

namespace runoff::testing {
namespace {

const fs::path kSmallGrids = fs::path(TEST_DATA_DIR) / "mpi-small-grids";

// The start for --gauges and --netcdf, which an empty rainfall file cannot date.
const std::vector<std::string> kStart = {"--start", "2020-01-01T00:00:00"};

std::vector<std::string> with(std::vector<std::string> args, bool dated) {
  if (dated) args.insert(args.end(), kStart.begin(), kStart.end());
  return args;
}

// Every --outputs choice once (the plain run writes all three), and with them every other
// writer: gauges beside the hourly grids and beside the daily grids alone, the NetCDF file with
// and without raw files, the restart state, the water budget and the conservative scheme.
std::vector<std::vector<std::string>> everyChoice() {
  return {
      {},
      with({"--outputs", "daily", "--gauges", "gauges.csv"}, true),
      with({"--outputs", "max", "--netcdf"}, true),
      with({"--outputs", "hourly", "--gauges", "gauges.csv", "--snap", "3", "--state-out",
            "state.bin"},
           true),
      with({"--outputs", "daily,max", "--netcdf", "--gauges", "gauges.csv", "--budget"}, true),
      {"--outputs", "daily,hourly", "--scheme", "conservative", "--budget"},
      with({"--outputs", "max,hourly", "--netcdf", "--gauges", "gauges.csv", "--state-out",
            "state.bin"},
           true),
  };
}

// The choice for the built shapes: every writer at once.
std::vector<std::vector<std::string>> everyWriter() {
  return {with({"--outputs", "daily,max,hourly", "--netcdf", "--gauges", "gauges.csv",
                "--state-out", "state.bin", "--budget"},
               true)};
}

// A gauge list with one gauge at the centre of cell (row, col), row 0 the north, of a basin
// built at 140 E, 36 N with 3-second cells.
std::string gaugeAt(int rows, int row, int col) {
  const double lon = 140.0 + (col + 0.5) * 3.0 / 3600.0;
  const double lat = 36.0 + (rows - 1 - row + 0.5) * 3.0 / 3600.0;
  return "name,lon,lat\nOutlet," + std::to_string(lon) + "," + std::to_string(lat) + "\n";
}

struct SmallCase {
  std::string name;
  std::function<void(const fs::path&)> write;  // the working directory, gauges.csv included
  std::vector<std::vector<std::string>> choices;
};

void PrintTo(const SmallCase& c, std::ostream* os) { *os << c.name; }

SmallCase folder(const std::string& name, const std::string& gauges) {
  return {caseName(name),
          [name, gauges](const fs::path& dir) {
            copyTree(kSmallGrids / name, dir);
            fs::create_directories(dir / "temp");
            fs::create_directories(dir / "output");
            writeFile(dir / "gauges.csv", gauges);
          },
          everyChoice()};
}

SmallCase shape(const std::string& name, Basin basin, const std::string& gauges) {
  return {name,
          [basin, gauges](const fs::path& dir) {
            basin.write(dir);
            writeFile(dir / "gauges.csv", gauges);
          },
          everyWriter()};
}

// Rain on the 2 x 2 rainfall grid that changes every hour, for `days` days.
std::string changingRain(int days) {
  std::string rain;
  for (int d = 1; d <= days; ++d) {
    for (int h = 0; h < 24; ++h) {
      rain += "2020 1 " + std::to_string(d) + " " + std::to_string(h) + " 0 0\n";
      rain += std::to_string(h % 7) + " " + std::to_string(d) + "\n";
      rain += std::to_string((h * 5) % 9) + " 0.5\n";
    }
  }
  return rain;
}

std::vector<SmallCase> smallCases() {
  // A single cell: the grid is all edge, nothing is routed.
  Basin oneCell(1, 1);
  oneCell.cell(0, 0, 1.0f, 5, 1, 1);
  // One routed cell in the middle of 3 x 3: every process but one routes nothing.
  Basin oneRouted(3, 3);
  oneRouted.cell(1, 1, 2.0f, 5, 1, 1).cell(2, 1, 1.0f, 5, 2, 1);
  // Three rows on up to four processes: a band of no row for the fourth; six routed cells in
  // the middle row, draining east.
  Basin threeRows(3, 8);
  for (int c = 1; c <= 6; ++c) threeRows.cell(1, c, 10.0f - c, 3, c, 1);
  for (Basin* b : {&oneCell, &oneRouted, &threeRows}) {
    b->param(kDays, "2");
    b->riverList = riverRecord(1);
    b->rain = changingRain(2);
  }
  return {
      folder("1210-riverlist", "name,lon,lat\nA,8.2550,-24.8080\n"),
      folder("1203-realistic", "name,lon,lat\nA,42.0717,-34.5880\nB,42.0710,-34.5900\n"),
      folder("1210-badacc", "name,lon,lat\nA,-150.71965,27.72427\nB,-150.7215,27.7210\n"),
      shape("OneCell", oneCell, gaugeAt(1, 0, 0)),
      shape("OneRoutedCell", oneRouted, gaugeAt(3, 1, 1)),
      shape("ThreeRows", threeRows, gaugeAt(3, 1, 6)),
      // Five rows: on four processes bands of one row each but the last.
      shape("OneRowBands", valleyBasin(5, 5, 2), gaugeAt(5, 3, 2)),
  };
}

class MpiSmallGrids : public ::testing::TestWithParam<std::tuple<SmallCase, int>> {};

TEST_P(MpiSmallGrids, EveryOutputChoiceGivesTheBytesOfOneProcess) {
  const auto& [c, ranks] = GetParam();
  for (const std::vector<std::string>& args : c.choices) {
    TempDir single, distributed;
    c.write(single.path());
    c.write(distributed.path());
    std::string shown;
    for (const std::string& arg : args) shown += " " + arg;
    const RunResult expected = runSimulatorWith(single.path(), args, 1);
    const RunResult got = runMpi(distributed.path(), ranks, 1, args);
    EXPECT_EQ(got.exitStatus, expected.exitStatus) << shown << "\n" << got.out;
    EXPECT_EQ(got.out, expected.out) << shown;
    EXPECT_EQ(directoryDifferences(single.path(), distributed.path()),
              std::vector<std::string>{})
        << shown;
  }
}

INSTANTIATE_TEST_SUITE_P(Shapes, MpiSmallGrids,
                         ::testing::Combine(::testing::ValuesIn(smallCases()),
                                            ::testing::Values(1, 2, 3, 4)),
                         [](const auto& info) {
                           return std::get<0>(info.param).name + "_on_" +
                                  std::to_string(std::get<1>(info.param));
                         });

}  // namespace
}  // namespace runoff::testing
