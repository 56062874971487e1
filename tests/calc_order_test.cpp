// The calculation order: ascending flow accumulation with the exchange procedure's placing of
// equal values, its groups, and the order cache end to end (layout, reuse, key, damaged caches
// rebuilt, a missing cell file refused).
#include <gtest/gtest.h>

#include <functional>

#include "runoff/inputs/calc_order.h"
#include "support/basin_builder.h"

namespace runoff {
namespace {

TopoGrid accGrid(int rows, int cols, const std::vector<std::int32_t>& acc) {
  TopoGrid g;
  g.rows = rows;
  g.cols = cols;
  g.cells.resize(acc.size());
  for (std::size_t i = 0; i < acc.size(); ++i) g.cells[i].flowAcc = acc[i];
  return g;
}

TEST(CalcOrder, TwoByThreeExampleGroupsAndOrder) {
  CalculationOrder o = buildCalculationOrder(accGrid(2, 3, {5, -9999, 1, 5, 0, 1}));
  EXPECT_EQ(o.groupCount, 2);
  EXPECT_EQ(o.groupSizes, (std::vector<std::int32_t>{2, 2}));
  EXPECT_EQ(o.orderCount, 4);
  EXPECT_EQ(o.calcOrder, (std::vector<CellIndex>{{0, 2}, {1, 2}, {0, 0}, {1, 0}}));
}

TEST(CalcOrder, EqualValuesKeepExchangeOrder) {
  EXPECT_EQ(buildCalculationOrder(accGrid(1, 3, {2, 2, 0})).calcOrder,
            (std::vector<CellIndex>{{0, 1}, {0, 0}}));
  EXPECT_EQ(buildCalculationOrder(accGrid(1, 3, {2, 0, 2})).calcOrder,
            (std::vector<CellIndex>{{0, 0}, {0, 2}}));
}

TEST(CalcOrder, NoPositiveAccumulationGivesAnEmptyOrder) {
  CalculationOrder o = buildCalculationOrder(accGrid(2, 2, {0, -1, -9999, 0}));
  EXPECT_EQ(o.groupCount, 0);
  EXPECT_EQ(o.orderCount, 0);
  EXPECT_TRUE(o.calcOrder.empty());
  EXPECT_TRUE(o.groupSizes.empty());
}

}  // namespace
}  // namespace runoff

namespace runoff::testing {
namespace {

const char* kMakeBoth =
    "Make basinList data ./temp/numOfBasin.dat\n"
    "Make calculation order data ./temp/orderedCell.dat\n";
const char* kReadBoth =
    "Read basinList data from ./temp/numOfBasin.dat\n"
    "Read calculation order data from ./temp/orderedCell.dat\n\n";

// The 2 x 3 example as a whole run: every cell is on the outer ring, so nothing is routed, but
// the order lists every positive cell whatever its ring or river.
Basin exampleBasin() {
  Basin b(2, 3);
  b.cell(0, 0, 0, 0, 5, 1).cell(0, 1, 0, 0, -9999, -1).cell(0, 2, 0, 0, 1, -1);
  b.cell(1, 0, 0, 0, 5, 1).cell(1, 1, 0, 0, 0, 1).cell(1, 2, 0, 0, 1, 1);
  b.riverList = riverRecord(1);
  b.rain = uniformRain(1, 2, 2, "0");
  return b;
}

std::string groups(const TempDir& d) { return readFile(d / "temp/numOfBasin.dat"); }
std::string cells(const TempDir& d) { return readFile(d / "temp/orderedCell.dat"); }

TEST(CalcOrderCache, LayoutOfBothFilesAndSummaryLines) {
  TempDir dir;
  exampleBasin().write(dir.path());
  RunResult r = runSimulator(dir.path());
  ASSERT_EQ(r.exitStatus, 0) << r.out;
  EXPECT_EQ(groups(dir), "3\n2\n140\n36\n2\n4\n2\n2\n");
  EXPECT_EQ(cells(dir), "1 0 2\n1 1 2\n5 0 0\n5 1 0\n");
  EXPECT_TRUE(contains(r.out, std::string(kMakeBoth) +
                                  "\nNumber of different kind of cell accumulattion number : 2\n"
                                  "Number of calculation cell number : 4\n"
                                  "Total simulation time is 1 days.\n\n"))
      << r.out;
}

TEST(CalcOrderCache, AllAccumulationsNotPositiveGiveSixLinesAndAnEmptyCellFile) {
  TempDir dir;
  Basin b(3, 3);
  b.rain = uniformRain(1, 2, 2, "0");
  b.write(dir.path());
  RunResult r = runSimulator(dir.path());
  ASSERT_EQ(r.exitStatus, 0) << r.out;
  EXPECT_EQ(groups(dir), "3\n3\n140\n36\n0\n0\n");
  EXPECT_EQ(cells(dir), "");
  RunResult second = runSimulator(dir.path());
  EXPECT_TRUE(contains(second.out, kReadBoth)) << second.out;
}

TEST(CalcOrderCache, SecondRunReadsBothFiles) {
  TempDir dir;
  exampleBasin().write(dir.path());
  ASSERT_EQ(runSimulator(dir.path()).exitStatus, 0);
  RunResult r = runSimulator(dir.path());
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_TRUE(contains(r.out, std::string(kReadBoth) +
                                  "\nNumber of different kind of cell accumulattion number : 2\n"))
      << r.out;
  EXPECT_FALSE(contains(r.out, "Make basinList"));
}

TEST(CalcOrderCache, ChangingTheCornerLatitudeRebuilds) {
  TempDir dir;
  Basin b = exampleBasin();
  b.write(dir.path());
  ASSERT_EQ(runSimulator(dir.path()).exitStatus, 0);
  b.param(kTopoSwLat, "36.001");
  b.write(dir.path());
  RunResult r = runSimulator(dir.path());
  EXPECT_TRUE(contains(r.out, kMakeBoth)) << r.out;
  EXPECT_EQ(groups(dir), "3\n2\n140\n36.001\n2\n4\n2\n2\n");
}

TEST(CalcOrderCache, CornerThatDoesNotRoundTripRebuildsEveryRun) {
  TempDir dir;
  Basin b = exampleBasin();
  b.param(kTopoSwLon, "135.123456789012345");
  b.param(kRainSwLon, "135.125");
  b.write(dir.path());
  ASSERT_EQ(runSimulator(dir.path()).exitStatus, 0);
  EXPECT_EQ(groups(dir), "3\n2\n135.123456789012\n36\n2\n4\n2\n2\n");
  RunResult r = runSimulator(dir.path());
  EXPECT_TRUE(contains(r.out, kMakeBoth)) << r.out;
}

TEST(CalcOrderCache, MissingCellFileWithValidKeyEndsTheRun) {
  TempDir dir;
  exampleBasin().write(dir.path());
  ASSERT_EQ(runSimulator(dir.path()).exitStatus, 0);
  fs::remove(dir / "temp/orderedCell.dat");
  RunResult r = runSimulator(dir.path());
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_TRUE(contains(r.out, "Setting parameter data.\n./temp/orderedCell.dat cannot open.\n"))
      << r.out;
  EXPECT_FALSE(contains(r.out, "Runoff simulation starts."));
}

struct Damage {
  const char* name;
  const char* file;  // under temp/
  std::function<std::string(const std::string&)> apply;
};

class DamagedOrderCache : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedOrderCache, BothFilesAreRebuilt) {
  TempDir dir;
  exampleBasin().write(dir.path());
  ASSERT_EQ(runSimulator(dir.path()).exitStatus, 0);
  const std::string goodGroups = groups(dir), goodCells = cells(dir);
  const fs::path damaged = dir / "temp" / GetParam().file;
  writeFile(damaged, GetParam().apply(readFile(damaged)));
  RunResult r = runSimulator(dir.path());
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_TRUE(contains(r.out, kMakeBoth)) << r.out;
  EXPECT_FALSE(contains(r.out, "Read basinList"));
  EXPECT_EQ(groups(dir), goodGroups);
  EXPECT_EQ(cells(dir), goodCells);
}

INSTANTIATE_TEST_SUITE_P(
    CalcOrderCache, DamagedOrderCache,
    ::testing::Values(
        Damage{"CellFileShort", "orderedCell.dat",
               [](const std::string&) { return std::string("1 0 2\n1 1 2\n5 0 0\n"); }},
        Damage{"CellNotANumber", "orderedCell.dat",
               [](const std::string&) { return std::string("1 0 2\n1 1 two\n5 0 0\n5 1 0\n"); }},
        Damage{"RowOutsideGrid", "orderedCell.dat",
               [](const std::string&) { return std::string("1 0 2\n1 2 2\n5 0 0\n5 1 0\n"); }},
        Damage{"ColumnNegative", "orderedCell.dat",
               [](const std::string&) { return std::string("1 0 2\n1 1 -1\n5 0 0\n5 1 0\n"); }},
        Damage{"StoredAccumulationDiffers", "orderedCell.dat",
               [](const std::string&) { return std::string("1 0 2\n1 1 2\n4 0 0\n4 1 0\n"); }},
        Damage{"CellListedTwice", "orderedCell.dat",
               [](const std::string&) { return std::string("1 0 2\n1 0 2\n5 0 0\n5 1 0\n"); }},
        Damage{"GroupSizesDoNotAddUp", "numOfBasin.dat",
               [](const std::string&) { return std::string("3\n2\n140\n36\n2\n4\n2\n1\n"); }},
        Damage{"GroupFileShort", "numOfBasin.dat",
               [](const std::string&) { return std::string("3\n2\n140\n36\n2\n4\n2\n"); }},
        Damage{"CountNotANumber", "numOfBasin.dat",
               [](const std::string&) { return std::string("3\n2\n140\n36\n2\nfour\n2\n2\n"); }},
        Damage{"FewerPositiveCellsListed", "numOfBasin.dat",
               [](const std::string&) { return std::string("3\n2\n140\n36\n1\n2\n2\n"); }}),
    [](const auto& info) { return std::string(info.param.name); });

// The key names only the grid's size and corner: a changed flow accumulation file passes it,
// and the stored order must not be trusted then.
TEST(CalcOrderCache, ChangedAccumulationIsRebuilt) {
  TempDir dir;
  Basin b = exampleBasin();
  b.write(dir.path());
  ASSERT_EQ(runSimulator(dir.path()).exitStatus, 0);
  b.acc[4] = 3;  // one more positive cell
  b.write(dir.path());
  RunResult r = runSimulator(dir.path());
  EXPECT_TRUE(contains(r.out, kMakeBoth)) << r.out;
  EXPECT_EQ(cells(dir), "1 0 2\n1 1 2\n3 1 1\n5 0 0\n5 1 0\n");
  b.acc[4] = 0;
  b.acc[2] = 2;  // same count of positive cells, another value
  b.write(dir.path());
  r = runSimulator(dir.path());
  EXPECT_TRUE(contains(r.out, kMakeBoth)) << r.out;
  EXPECT_EQ(cells(dir), "1 1 2\n2 0 2\n5 0 0\n5 1 0\n");
}

TEST(CalcOrderCache, ProgressLineGivesTheFirstPositionOfEachGroup) {
  TempDir dir;
  Basin b(3, 3);
  const std::int32_t acc[9] = {1, 2, 3, 1, 3, 2, 3, 1, 3};
  for (int i = 0; i < 9; ++i) b.cell(i / 3, i % 3, 0, 0, acc[i], 0);
  b.riverList = riverRecord(0);
  b.rain = uniformRain(1, 2, 2, "0");
  b.write(dir.path());
  RunResult r = runSimulator(dir.path());
  ASSERT_EQ(r.exitStatus, 0) << r.out;
  EXPECT_EQ(groups(dir), "3\n3\n140\n36\n3\n9\n3\n2\n4\n");
  EXPECT_TRUE(contains(r.out,
                       "Runoff simulation starts.\n  1/9 ends.\n  4/9 ends.\n  6/9 ends.\n\n"
                       "Runoff simulation ends.\n"))
      << r.out;
}

}  // namespace
}  // namespace runoff::testing
