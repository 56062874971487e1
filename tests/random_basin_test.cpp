// The random working directories of the differential tests (support/random_basin.h): every one
// is input that runoff-sim runs to the end, a seed always makes the same directory, and the
// shapes the distributed tests need come up among the first seeds.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "support/random_basin.h"
#include "support/test_support.h"

namespace runoff::testing {
namespace {

TEST(RandomBasin, EverySeedIsARunThatEndsWell) {
  int nothingRouted = 0, emptyRain = 0, tiny = 0;
  for (std::uint64_t seed = 1; seed <= 60; ++seed) {
    const RandomBasin basin(seed);
    TempDir dir;
    basin.write(dir.path());
    const RunResult r = runSimulator(dir.path());
    ASSERT_EQ(r.exitStatus, 0) << basin.summary() << "\n" << r.out;
    // Routed cells are counted in the last line of the order ("calculation cell number").
    const std::vector<float> daily = readFloats(dir / "output/dischargeDaily.bin");
    ASSERT_EQ(daily.size(), static_cast<std::size_t>(basin.rows() * basin.cols() * basin.days()));
    bool anyResult = false;
    for (float q : daily) anyResult = anyResult || q != -9999.0f;
    nothingRouted += anyResult ? 0 : 1;
    emptyRain += basin.rainEmpty() ? 1 : 0;
    tiny += basin.rows() < 3 || basin.cols() < 3 ? 1 : 0;
  }
  // Among sixty: directories with nothing to route, without rain, without an interior cell.
  EXPECT_GE(nothingRouted, 5);
  EXPECT_GE(emptyRain, 2);
  EXPECT_GE(tiny, 5);
}

TEST(RandomBasin, ASeedMakesTheSameDirectoryEveryTime) {
  std::set<std::string> seen;
  for (std::uint64_t seed : {7u, 8u, 1234567u}) {
    TempDir a, b;
    RandomBasin(seed).write(a.path());
    RandomBasin(seed).write(b.path());
    for (const char* file : {"param-ravo-event-ver300.dat", "topoData/flowDir.bin",
                             "topoData/riverNumList.dat", "input/rain.dat", "gauges.csv"}) {
      EXPECT_EQ(readFile(a / file), readFile(b / file)) << seed << " " << file;
    }
    seen.insert(readFile(a / "param-ravo-event-ver300.dat"));
  }
  EXPECT_EQ(seen.size(), 3u);
}

// A run written in two parts holds the rainfall records of each part's days, in order: the
// two files together are the whole run's file.
TEST(RandomBasin, APartOfTheRunHoldsTheRainOfItsDays) {
  int split = 0;
  for (std::uint64_t seed = 1; seed <= 40 && split < 5; ++seed) {
    const RandomBasin basin(seed);
    if (basin.days() < 2) continue;
    ++split;
    TempDir whole, first, second;
    basin.write(whole.path());
    basin.write(first.path(), 1, 1);
    basin.write(second.path(), 2, basin.days() - 1);
    EXPECT_EQ(readFile(first / "input/rain.dat") + readFile(second / "input/rain.dat"),
              readFile(whole / "input/rain.dat"))
        << basin.summary();
    EXPECT_TRUE(contains(readFile(second / "param-ravo-event-ver300.dat"),
                         "\n" + std::to_string(basin.days() - 1) + "\n"));
  }
  EXPECT_EQ(split, 5);
}

}  // namespace
}  // namespace runoff::testing
