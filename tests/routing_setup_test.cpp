// Routing constants of one cell: flow length by direction, slope floors, slope or channel
// class at the threshold, and the initial steady profile.
//
// The expected values were worked out by hand from the model's rules, independently of the
// code, with Python's float64 arithmetic in the order the rules give (numpy.float32 where a
// value is single precision), and are written as the shortest decimals that read back as the
// same doubles. The cell is 3 arc-seconds tall and 75.94213 m wide (a cell at 35 N), so:
//   north-south length   92.6886 / 3 * 3              = 92.6886 m
//   east-west width      float 75.94213               = 75.94213104248047 m
//   diagonal length      sqrt(92.6886^2 + 75.94213^2)  = 119.82647385796376 m
#include "runoff/routing/routing_setup.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "runoff/inputs/topo_grid.h"

namespace runoff {
namespace {

constexpr double kNorthSouth = 92.6886;
constexpr double kEastWest = 75.94213104248047;
constexpr double kDiagonal = 119.82647385796376;

GridCell basinCell(std::int32_t dir, std::int32_t acc, float elev = 10.0f) {
  GridCell cell;
  cell.scale = 3.0f;
  cell.widthX = 75.94213f;
  cell.elev = elev;
  cell.flowDir = dir;
  cell.flowAcc = acc;
  cell.riverNum = 0;
  return cell;
}

CellRouting setUp(const GridCell& cell, bool hasDown, float downElev, std::int32_t threshold = 5,
                  std::int32_t spaceSteps = 4) {
  CellRouting r;
  setParameterData(r, cell, hasDown, downElev, 0.4, 0.03, threshold, spaceSteps, 60, 0.5);
  return r;
}

TEST(RoutingSetup, FlowLengthFollowsTheDirection) {
  // North and south cross the cell's height, east and west its width, the four diagonals and
  // code 0 (no downstream cell) its diagonal.
  struct Case {
    std::int32_t code;
    double flowLen;
  };
  for (Case k : {Case{1, kNorthSouth}, Case{2, kDiagonal}, Case{3, kEastWest}, Case{4, kDiagonal},
                 Case{5, kNorthSouth}, Case{6, kDiagonal}, Case{7, kEastWest}, Case{8, kDiagonal},
                 Case{0, kDiagonal}}) {
    EXPECT_EQ(setUp(basinCell(k.code, 1), k.code != 0, 9).flowLen, k.flowLen) << k.code;
  }
}

TEST(RoutingSetup, DirectionOutsideZeroToEightGetsTheDiagonalLength) {
  for (std::int32_t code : {9, 10, -1, 255}) {
    CellRouting r = setUp(basinCell(code, 1), false, 0);
    EXPECT_EQ(r.flowLen, kDiagonal) << code;
    EXPECT_TRUE(std::isfinite(r.alpha)) << code;
    EXPECT_GT(r.dx, 0) << code;
  }
}

TEST(RoutingSetup, NoDownstreamCellGetsTheSinglePrecisionThousandth) {
  // sin(atan(0.0010000000474974513)), the float 0.001 widened; the double 0.001 would give
  // 0.00099999950000037...
  CellRouting r = setUp(basinCell(0, 1), false, 0);
  EXPECT_EQ(r.sinSlope, 0.000999999547497755);
}

TEST(RoutingSetup, LevelOrRisingPathGetsTheFloorGradient) {
  const double floor = 9.9999999995e-06;  // sin(atan(0.00001))
  EXPECT_EQ(setUp(basinCell(5, 1, 10.0f), true, 10.0f).sinSlope, floor);
  EXPECT_EQ(setUp(basinCell(5, 1, 10.0f), true, 12.0f).sinSlope, floor);
  // A drop of two flow lengths: tan(2) = -2.185..., a negative tangent, floored too.
  EXPECT_EQ(setUp(basinCell(5, 1, 185.3772f), true, 0.0f).sinSlope, floor);
}

TEST(RoutingSetup, SlopeIsTheSineOfTheTangentOfTheRatio) {
  // 1.5 m over 92.6886 m: sin(atan(tan(1.5 / 92.6886))).
  CellRouting r = setUp(basinCell(5, 1, 11.5f), true, 10.0f);
  EXPECT_EQ(r.sinSlope, 0.016182513563754736);
}

TEST(RoutingSetup, AccumulationAtTheThresholdIsASlopeCellOneMoreAChannel) {
  // Diagonal cells, so that the slope width (the cell's area over its flow length) differs
  // from both side lengths.
  CellRouting slope = setUp(basinCell(6, 5), true, 9, 5);
  CellRouting channel = setUp(basinCell(6, 6), true, 9, 5);
  EXPECT_EQ(slope.manningN, 0.4);
  EXPECT_EQ(slope.width, 58.743027151810324);  // 92.6886 * 75.94213 / 119.82647
  EXPECT_EQ(channel.manningN, 0.03);
  // Six cells drain 6 * 92.6886 / 1000 * 75.94213 / 1000 = 0.042233818844064325 km^2, and
  // 1.061722301 * 0.042233818844064325^0.685081138 = 0.12147216446335364 m.
  EXPECT_EQ(channel.width, 0.12147216446335364);
}

TEST(RoutingSetup, CoefficientsAndSteps) {
  // A slope cell draining north-east over a drop of 1 m, four space steps.
  CellRouting r = setUp(basinCell(2, 1, 11.0f), true, 10.0f, 5, 4);
  EXPECT_EQ(r.sinSlope, 0.0083453043407213066);  // sin(atan(tan(1 / 119.82647)))
  EXPECT_EQ(r.width, 58.743027151810324);
  EXPECT_EQ(r.invWidth, 0.017023297036015659);
  EXPECT_EQ(r.mExp, 1.666667);
  // (1 / 0.4) * 0.017023297036015659^0.666667 * sqrt(0.0083453043407213066)
  EXPECT_EQ(r.alpha, 0.015113195262078627);
  EXPECT_EQ(r.nodes, 4);
  EXPECT_EQ(r.dx, 29.956618464490941);  // 119.82647385796376 / 4
  EXPECT_EQ(r.dt, 60);
  EXPECT_EQ(r.theta, 0.5);
  EXPECT_EQ(r.qOld.size(), 5u);
}

TEST(RoutingSetup, SingleCellCatchmentStartsDryAtItsUpstreamEnd) {
  // 2 mm/h on one cell of 92.6886 m x 75.94213 m leaves it as
  // 2 * 0.001 / 3600 * 1 * 92.6886 * 75.94213 = 0.0039105387818578075 m^3/s, spread evenly
  // over four space steps from 0 at the upstream end.
  GridCell cell = basinCell(4, 1);
  CellRouting r = setUp(cell, true, 9, 5, 4);
  setInitialDischarge(r, cell, 2.0);
  EXPECT_EQ(r.qOld, (std::vector<double>{0.0, 0.00097763469546445188, 0.0019552693909289038,
                                         0.0029329040863933556, 0.0039105387818578075}));
  EXPECT_EQ(r.qOld, r.qNew);
  // The same runoff over the cell's area per metre of its diagonal flow length:
  // 2 * 0.001 * 92.6886 / 3 * 3 * 75.94213 / 119.82647 / 3600.
  EXPECT_EQ(r.qLatPrev, 3.2635015084339067e-05);
  EXPECT_EQ(r.qLatCur, r.qLatPrev);
}

TEST(RoutingSetup, ProfileRunsStraightFromUpstreamAreaToOwnArea) {
  // Seven cells under 3 mm/h: the six upstream ones flow in at node 0,
  // 3 * 0.001 / 3600 * 6 * 92.6886 * 75.94213, and all seven leave at the outlet.
  GridCell cell = basinCell(5, 7);
  CellRouting r = setUp(cell, true, 9, 5, 1);
  setInitialDischarge(r, cell, 3.0);
  EXPECT_EQ(r.qOld, (std::vector<double>{0.035194849036720266, 0.04106065720950699}));
}

TEST(RoutingSetup, ZeroInitialRunoffGivesZeros) {
  GridCell cell = basinCell(4, 30);
  CellRouting r = setUp(cell, true, 9);
  setInitialDischarge(r, cell, 0.0);
  for (double q : r.qOld) EXPECT_EQ(q, 0.0);
  for (double q : r.qNew) EXPECT_EQ(q, 0.0);
  EXPECT_EQ(r.qLatPrev, 0.0);
  EXPECT_EQ(r.qLatCur, 0.0);
}

TEST(RoutingSetup, OnlyBasinCellsOffTheRingGetAState) {
  TopoGrid grid;
  grid.rows = 3;
  grid.cols = 3;
  grid.cells.resize(9);
  for (int i = 0; i < 9; ++i) {
    initCell(grid.cells[i], i / 3, i % 3, 3, 3, 35.0f, 135.0f, 0.0f, 3.0f);
    grid.cells[i].riverNum = 0;
    grid.cells[i].flowDir = 0;
  }
  RunParameters p;
  p.spaceSteps = 2;
  p.timeStep = 60;
  p.slopeManning = 0.4;
  p.channelManning = 0.03;
  RoutingStates states = setUpRouting(grid, p);
  EXPECT_EQ(states.states.size(), 1u);
  EXPECT_EQ(states.slotOfCell[4], 0);
  grid.cells[4].riverNum = -1;
  EXPECT_TRUE(setUpRouting(grid, p).states.empty());
}

}  // namespace
}  // namespace runoff
