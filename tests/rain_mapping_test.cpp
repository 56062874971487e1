// The mapping cache, end to end: its layout, its use by a second run, its key (the rainfall
// grid, written with 15 significant digits), and the rebuilding of every cache that does not
// describe the current grids.
#include <gtest/gtest.h>

#include <functional>

#include "support/basin_builder.h"

namespace runoff::testing {
namespace {

const char* kMake = "Make ROF data ./temp/setROFCell.dat\n";
const char* kRead = "Read ROF data from ./temp/setROFCell.dat\n";

Basin dryBasin() {
  Basin b(3, 4);
  b.rain = uniformRain(1, 2, 2, "0");
  return b;
}

std::string cachePath(const TempDir& dir) { return (dir / "temp/setROFCell.dat").string(); }

TEST(RainMapping, CacheHoldsTheKeyAndOneLinePerCellNorthRowFirst) {
  TempDir dir;
  Basin b = dryBasin();
  b.write(dir.path());
  RunResult r = runSimulator(dir.path());
  ASSERT_EQ(r.exitStatus, 0) << r.out;
  EXPECT_TRUE(contains(r.out, kMake));
  EXPECT_EQ(readFile(cachePath(dir)),
            "2\n2\n0.05\n0.05\n140.025\n36.025\n"
            "0 0 0 0\n0 1 0 0\n0 2 0 0\n0 3 0 0\n"
            "1 0 0 0\n1 1 0 0\n1 2 0 0\n1 3 0 0\n"
            "2 0 0 0\n2 1 0 0\n2 2 0 0\n2 3 0 0\n");
}

TEST(RainMapping, MappingFollowsTheNearestRainRow) {
  TempDir dir;
  Basin b = dryBasin();
  b.param(kTopoSwLat, "36.0495");  // rows straddle 36.05, halfway between the rain rows
  b.write(dir.path());
  ASSERT_EQ(runSimulator(dir.path()).exitStatus, 0);
  // Cell centres 36.0495 + (0.5, 1.5, 2.5) x 3 / 3600 degrees: the southern row stays below
  // 36.05, the two northern rows pass it.
  EXPECT_EQ(readFile(cachePath(dir)),
            "2\n2\n0.05\n0.05\n140.025\n36.025\n"
            "0 0 1 0\n0 1 1 0\n0 2 1 0\n0 3 1 0\n"
            "1 0 1 0\n1 1 1 0\n1 2 1 0\n1 3 1 0\n"
            "2 0 0 0\n2 1 0 0\n2 2 0 0\n2 3 0 0\n");
}

TEST(RainMapping, SecondRunReadsTheCache) {
  TempDir dir;
  dryBasin().write(dir.path());
  ASSERT_EQ(runSimulator(dir.path()).exitStatus, 0);
  const std::string cache = readFile(cachePath(dir));
  RunResult second = runSimulator(dir.path());
  EXPECT_EQ(second.exitStatus, 0);
  EXPECT_TRUE(contains(second.out, kRead)) << second.out;
  EXPECT_FALSE(contains(second.out, "Make ROF"));
  EXPECT_EQ(readFile(cachePath(dir)), cache);
}

TEST(RainMapping, ChangingTheRainSpacingRebuilds) {
  TempDir dir;
  Basin b = dryBasin();
  b.write(dir.path());
  ASSERT_EQ(runSimulator(dir.path()).exitStatus, 0);
  b.param(kRainDy, "0.06");
  b.write(dir.path());
  RunResult second = runSimulator(dir.path());
  EXPECT_TRUE(contains(second.out, kMake)) << second.out;
  EXPECT_FALSE(contains(second.out, "Read ROF"));
  EXPECT_TRUE(contains(readFile(cachePath(dir)), "\n0.05\n0.06\n"));
}

// Fifteen significant digits do not carry every double: a key that does not survive the
// round trip never matches, so its cache is rebuilt on every run.
TEST(RainMapping, KeyThatDoesNotRoundTripRebuildsEveryRun) {
  TempDir dir;
  Basin b = dryBasin();
  b.param(kRainDx, "0.0083333333333333333");
  b.write(dir.path());
  ASSERT_EQ(runSimulator(dir.path()).exitStatus, 0);
  EXPECT_TRUE(contains(readFile(cachePath(dir)), "\n0.00833333333333333\n"));
  RunResult second = runSimulator(dir.path());
  EXPECT_TRUE(contains(second.out, kMake)) << second.out;

  b.param(kRainDx, "0.00833333333333333");
  b.write(dir.path());
  ASSERT_EQ(runSimulator(dir.path()).exitStatus, 0);
  RunResult fourth = runSimulator(dir.path());
  EXPECT_TRUE(contains(fourth.out, kRead)) << fourth.out;
}

struct Damage {
  const char* name;
  std::function<std::string(const std::string&)> apply;
};

std::string replaceLine(const std::string& text, int line, const std::string& with) {
  std::size_t begin = 0;
  for (int i = 1; i < line; ++i) begin = text.find('\n', begin) + 1;
  std::size_t end = text.find('\n', begin);
  return text.substr(0, begin) + with + text.substr(end);
}

class DamagedMappingCache : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedMappingCache, IsRebuiltWithoutBeingRead) {
  TempDir dir;
  dryBasin().write(dir.path());
  ASSERT_EQ(runSimulator(dir.path()).exitStatus, 0);
  const std::string good = readFile(cachePath(dir));
  writeFile(cachePath(dir), GetParam().apply(good));
  RunResult r = runSimulator(dir.path());
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_TRUE(contains(r.out, kMake)) << r.out;
  EXPECT_FALSE(contains(r.out, "Read ROF"));
  EXPECT_EQ(readFile(cachePath(dir)), good);
}

INSTANTIATE_TEST_SUITE_P(
    RainMapping, DamagedMappingCache,
    ::testing::Values(
        Damage{"FewerCellLines", [](const std::string& s) { return s.substr(0, s.size() - 8); }},
        Damage{"EmptyFile", [](const std::string&) { return std::string(); }},
        Damage{"NotANumber", [](const std::string& s) { return replaceLine(s, 9, "0 2 0 x"); }},
        Damage{"RainRowOutsideGrid",
               [](const std::string& s) { return replaceLine(s, 9, "0 2 2 0"); }},
        Damage{"RainColumnNegative",
               [](const std::string& s) { return replaceLine(s, 9, "0 2 0 -1"); }},
        Damage{"TopoRowNotItsLine",
               [](const std::string& s) { return replaceLine(s, 9, "1 2 0 0"); }},
        Damage{"TopoColumnNotItsLine",
               [](const std::string& s) { return replaceLine(s, 9, "0 3 0 0"); }},
        Damage{"KeyNotANumber", [](const std::string& s) { return replaceLine(s, 3, "0.05a"); }}),
    [](const auto& info) { return std::string(info.param.name); });

// The key names only the rainfall grid: a cache made for a topography of the same size but
// elsewhere passes it, and the five sample cells catch it.
TEST(RainMapping, CacheOfAnotherTopographyOfTheSameSizeIsRebuilt) {
  TempDir dir;
  Basin b = dryBasin();
  b.write(dir.path());
  ASSERT_EQ(runSimulator(dir.path()).exitStatus, 0);
  b.param(kTopoSwLat, "36.07");
  b.write(dir.path());
  RunResult r = runSimulator(dir.path());
  EXPECT_TRUE(contains(r.out, kMake)) << r.out;
  EXPECT_FALSE(contains(r.out, "Read ROF"));
  EXPECT_TRUE(contains(readFile(cachePath(dir)), "\n0 0 1 0\n"));
}

TEST(RainMapping, UnwritableCacheIsReportedAndTheRunGoesOn) {
  TempDir dir;
  dryBasin().write(dir.path());
  fs::remove_all(dir / "temp");
  writeFile(dir / "temp", "a file where the cache directory should be");
  RunResult r = runSimulator(dir.path());
  EXPECT_EQ(r.exitStatus, 0) << r.out;
  EXPECT_TRUE(contains(r.out, std::string(kMake) + "./temp/setROFCell.dat cannot open.\n"))
      << r.out;
  EXPECT_TRUE(contains(r.out, "./temp/numOfBasin.dat cannot open.\n"));
  EXPECT_TRUE(contains(r.out, "./temp/orderedCell.dat cannot open.\n"));
  EXPECT_TRUE(contains(r.out, "Runoff simulation ends.\n"));
  EXPECT_EQ(fs::file_size(dir / "output/dischargeHourly.bin"), 24u * 12 * 4);
}

}  // namespace
}  // namespace runoff::testing
