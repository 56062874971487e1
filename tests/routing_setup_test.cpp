// Routing constants of one cell: flow length by direction, slope floors, slope or channel
// class at the threshold, and the initial steady profile.
#include <gtest/gtest.h>

#include <cmath>

#include "runoff_sim/routing_setup.h"
#include "runoff_sim/topo_grid.h"

namespace runoff {
namespace {

GridCell basinCell(std::int32_t dir, std::int32_t acc, float elev = 10.0f) {
  GridCell cell;
  initCell(cell, 5, 5, 20, 20, 35.0f, 135.0f, elev, 3.0f);
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

double northSouth() { return kMetresPerArcSec * 3.0; }

TEST(RoutingSetup, FlowLengthFollowsTheDirection) {
  GridCell north = basinCell(1, 1), east = basinCell(3, 1), diagonal = basinCell(6, 1);
  const double w = static_cast<double>(north.widthX);
  const double diag = std::sqrt(northSouth() * northSouth() + w * w);
  EXPECT_EQ(setUp(north, true, 9).flowLen, northSouth());
  EXPECT_EQ(setUp(basinCell(5, 1), true, 9).flowLen, northSouth());
  EXPECT_EQ(setUp(east, true, 9).flowLen, w);
  EXPECT_EQ(setUp(basinCell(7, 1), true, 9).flowLen, w);
  EXPECT_EQ(setUp(diagonal, true, 9).flowLen, diag);
  EXPECT_EQ(setUp(basinCell(0, 1), false, 0).flowLen, diag);
}

TEST(RoutingSetup, DirectionOutsideZeroToEightGetsTheDiagonalLength) {
  const GridCell ref = basinCell(2, 1);
  const double diag = setUp(ref, true, 9).flowLen;
  for (std::int32_t code : {9, 10, -1, 255}) {
    CellRouting r = setUp(basinCell(code, 1), false, 0);
    EXPECT_EQ(r.flowLen, diag) << code;
    EXPECT_TRUE(std::isfinite(r.alpha)) << code;
    EXPECT_GT(r.dx, 0) << code;
  }
}

TEST(RoutingSetup, NoDownstreamCellGetsTheSinglePrecisionThousandth) {
  CellRouting r = setUp(basinCell(0, 1), false, 0);
  EXPECT_EQ(r.sinSlope, std::sin(std::atan(0.0010000000474974513)));
}

TEST(RoutingSetup, LevelOrRisingPathGetsTheFloorGradient) {
  const double floor = std::sin(std::atan(0.00001));
  EXPECT_EQ(setUp(basinCell(5, 1, 10.0f), true, 10.0f).sinSlope, floor);
  EXPECT_EQ(setUp(basinCell(5, 1, 10.0f), true, 12.0f).sinSlope, floor);
  // A drop between pi/2 and pi flow lengths gives a negative tangent: floored too.
  const float drop = static_cast<float>(2.0 * northSouth());
  EXPECT_EQ(setUp(basinCell(5, 1, drop), true, 0.0f).sinSlope, floor);
}

TEST(RoutingSetup, SlopeIsTheSineOfTheTangentOfTheRatio) {
  CellRouting r = setUp(basinCell(5, 1, 11.5f), true, 10.0f);
  EXPECT_EQ(r.sinSlope, std::sin(std::atan(std::tan(1.5 / northSouth()))));
}

TEST(RoutingSetup, AccumulationAtTheThresholdIsASlopeCellOneMoreAChannel) {
  GridCell atThreshold = basinCell(5, 5), above = basinCell(5, 6);
  CellRouting slope = setUp(atThreshold, true, 9, 5);
  CellRouting channel = setUp(above, true, 9, 5);
  EXPECT_EQ(slope.manningN, 0.4);
  EXPECT_EQ(slope.width, northSouth() * static_cast<double>(atThreshold.widthX) / slope.flowLen);
  EXPECT_EQ(channel.manningN, 0.03);
  const double areaKm2 = 6.0 * northSouth() / 1000 * static_cast<double>(above.widthX) / 1000;
  EXPECT_EQ(channel.width, 1.061722301 * std::pow(areaKm2, 0.685081138));
}

TEST(RoutingSetup, CoefficientsAndSteps) {
  CellRouting r = setUp(basinCell(5, 1, 11.0f), true, 10.0f, 5, 4);
  EXPECT_EQ(r.mExp, 1 + 0.666667);
  EXPECT_EQ(r.nodes, 4);
  EXPECT_EQ(r.dx, northSouth() / 4);
  EXPECT_EQ(r.dt, 60);
  EXPECT_EQ(r.theta, 0.5);
  EXPECT_EQ(r.alpha,
            ((1 / 0.4) * std::pow(1 / r.width, r.mExp - 1)) * std::sqrt(r.sinSlope));
  EXPECT_EQ(r.qOld.size(), 5u);
}

TEST(RoutingSetup, SingleCellCatchmentStartsDryAtItsUpstreamEnd) {
  GridCell cell = basinCell(5, 1);
  CellRouting r = setUp(cell, true, 9, 5, 4);
  setInitialDischarge(r, cell, 2.0);
  const double q1 = 2.0 * 0.001 / 3600 * 1.0 * northSouth() * static_cast<double>(cell.widthX);
  EXPECT_EQ(r.qOld[0], 0.0);
  EXPECT_EQ(r.qOld[4], q1);
  EXPECT_EQ(r.qOld[2], q1 * 2 / 4);
  EXPECT_EQ(r.qOld, r.qNew);
  EXPECT_EQ(r.qLatPrev, 2.0 * 0.001 * 92.6886 / 3 * 3.0 * static_cast<double>(cell.widthX) /
                            r.flowLen / 3600);
  EXPECT_EQ(r.qLatCur, r.qLatPrev);
}

TEST(RoutingSetup, ProfileRunsStraightFromUpstreamAreaToOwnArea) {
  GridCell cell = basinCell(5, 7);
  CellRouting r = setUp(cell, true, 9, 5, 1);
  setInitialDischarge(r, cell, 3.0);
  const double unit = 3.0 * 0.001 / 3600;
  const double area = northSouth() * static_cast<double>(cell.widthX);
  ASSERT_EQ(r.qOld.size(), 2u);
  EXPECT_EQ(r.qOld[0], unit * 6.0 * area);
  EXPECT_EQ(r.qOld[1], unit * 7.0 * area);
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
