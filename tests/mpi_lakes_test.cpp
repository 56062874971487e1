// runoff-sim-mpi with lakes on 1 to 3 processes beside runoff-sim: a valley long enough that
// the partition cuts its river, lakes of every rule along it (at the cuts too), the water
// budget, a gauge at a lake and the restart state; the console, the discharge files, the gauge
// and lake series and the state are the same bytes, and so is the run continued from it.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/basin_builder.h"
#include "support/mpi_run.h"
#include "support/test_support.h"

namespace runoff::testing {
namespace {

constexpr int kRows = 13;

// The centre of cell (row from the north, column 2) as "lon,lat".
std::string onTheRiver(int row) {
  char text[64];
  std::snprintf(text, sizeof text, "%.7f,%.7f", 140 + 2.5 / 1200.0,
                36 + (kRows - 1 - row + 0.5) / 1200.0);
  return text;
}

TEST(MpiLakes, SameBytesAsOneProcessOnOneToThreeRanks) {
  TempDir input;
  Basin basin = valleyBasin(kRows, 5, 2);
  basin.param(kInitialRunoff, "0.5");
  basin.write(input.path());
  std::string lakes = "name,lon,lat,area,rule,a,b,start\n";
  for (int row = 1; row < kRows - 1; ++row) {
    const char* rule = row % 3 == 0 ? ",weir,0.5,1.5,0.02\n"
                       : row % 3 == 1 ? ",linear,3,,0.01\n"
                                      : ",releases,0.0005,,0.01\n";
    lakes += "L" + std::to_string(row) + "," + onTheRiver(row) + ",0.01" + rule;
  }
  writeFile(input / "lakes.csv", lakes);
  writeFile(input / "releases.csv",
            "time,lake,outflow\n2020-07-01T03:00:00,L2,0.001\n2020-07-01T20:00:00,L5,0.004\n");
  writeFile(input / "gauges.csv", "name,lon,lat\nAtL6," + onTheRiver(6) + "\n");
  const std::vector<std::string> options = {
      "--lakes", "lakes.csv", "--releases", "releases.csv", "--snap", "0", "--gauges",
      "gauges.csv", "--budget", "--scheme", "conservative"};
  for (int ranks : {1, 2, 3}) {
    TempDir single, distributed;
    for (const TempDir* dir : {&single, &distributed}) copyTree(input.path(), dir->path());
    std::vector<std::string> args = options;
    args.insert(args.end(), {"--state-out", "state.bin"});
    const RunResult expected = runSimulatorWith(single.path(), args, 1);
    ASSERT_EQ(expected.exitStatus, 0) << expected.out;
    const RunResult got = runMpi(distributed.path(), ranks, 2, args);
    EXPECT_EQ(got.exitStatus, 0) << got.out;
    EXPECT_EQ(got.out, expected.out) << ranks << " ranks";
    EXPECT_EQ(directoryDifferences(single.path(), distributed.path()),
              std::vector<std::string>{})
        << ranks << " ranks";
    args = options;
    args.insert(args.end(), {"--state-in", "state.bin", "--state-out", "next.bin"});
    const RunResult expected2 = runSimulatorWith(single.path(), args, 1);
    const RunResult got2 = runMpi(distributed.path(), ranks, 2, args);
    EXPECT_EQ(got2.exitStatus, 0) << got2.out;
    EXPECT_EQ(got2.out, expected2.out);
    EXPECT_EQ(directoryDifferences(single.path(), distributed.path()),
              std::vector<std::string>{})
        << ranks << " ranks, continued";
  }
}

}  // namespace
}  // namespace runoff::testing
