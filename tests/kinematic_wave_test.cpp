// One kinematic wave step against formulas evaluated by hand: rain on an empty cell, the
// zero state, the negative clamp, and the two extreme weights.
#include "runoff/model/kinematic_wave.h"

#include <gtest/gtest.h>

#include <cmath>

#include "runoff/routing/routing_setup.h"
#include "runoff/inputs/topo_grid.h"

namespace runoff {
namespace {

// A cell set up as the run sets it up (its kernel constants included): a slope cell at 35 N
// flowing south over a drop of 2 m, `nodes` space steps, weight `theta`.
CellRouting state(double theta, std::int32_t nodes, std::int32_t dt = 60) {
  GridCell cell;
  initCell(cell, 5, 5, 20, 20, 35.0f, 135.0f, 12.0f, 3.0f);
  cell.flowDir = 5;
  cell.flowAcc = 1;
  cell.riverNum = 0;
  CellRouting c;
  setParameterData(c, cell, true, 10.0f, 0.4, 0.03, 5, nodes, dt, theta);
  setInitialDischarge(c, cell, 0.0);
  return c;
}

// Celerity dQ/dA at discharge q.
double celerity(const CellRouting& c, double q) {
  return std::pow(c.alpha, 1 / c.mExp) * c.mExp * std::pow(q, (c.mExp - 1) / c.mExp);
}

TEST(KinematicWave, RainfallBecomesLateralInflowPerMetreOfFlowLength) {
  // A cell 3 arc-seconds tall and 75.94213 m wide with a flow length of 120 m. The rain over
  // its area, per metre of flow length, worked out by hand in float64 in the model's order:
  // 0.5 * 0.001 * 92.6886 / 3 * 3 * 75.94213104248047 / 120 / 3600, and the same for 6.5 mm/h.
  // These two rates tell that order apart from the other groupings of the same factors.
  CellRouting c;
  c.scale = 3.0f;
  c.widthX = 75.94213f;
  c.flowLen = 120.0;
  setLateralInflow(c, 0.5f, 6.5f);
  EXPECT_EQ(c.qLatPrev, 8.1469557955371e-06);
  EXPECT_EQ(c.qLatCur, 0.00010591042534198232);
}

TEST(KinematicWave, RainOnAnEmptyCellGivesTheClosedFormAtNodeOne) {
  for (double theta : {0.0, 0.5, 1.0}) {
    CellRouting c = state(theta, 3);
    c.qLatPrev = 0.0;
    c.qLatCur = 2e-4;
    const double r = 0.5 * (0.0 + 2e-4);
    const double w = 0.5 * (0.0 + celerity(c, r * c.dx));
    const double dt = c.dt;
    const double expected = w * dt * r / (1 + theta * w * dt / c.dx);
    stepKinematicWave(c, 0.0);
    // The scheme forms the same value as a sum of two weighted terms: a few units in the last
    // place apart at most.
    EXPECT_NEAR(c.qNew[1], expected, 4 * std::abs(expected) * 1e-16) << theta;
    for (int j = 1; j <= 3; ++j) EXPECT_GT(c.qNew[j], 0.0) << j;
  }
}

TEST(KinematicWave, NoRainNoFlowStaysExactlyZero) {
  CellRouting c = state(0.5, 4);
  for (int s = 0; s < 100; ++s) EXPECT_EQ(stepKinematicWave(c, 0.0), 0.0f);
  for (double q : c.qOld) EXPECT_EQ(q, 0.0);
}

TEST(KinematicWave, UpstreamInflowEntersAtNodeZero) {
  CellRouting c = state(0.5, 2);
  stepKinematicWave(c, 1.25);
  EXPECT_EQ(c.qNew[0], 1.25);
  EXPECT_EQ(c.qOld[0], 1.25);
}

TEST(KinematicWave, StepReturnsTheOutletInSinglePrecisionAndKeepsTheCurrentHour) {
  CellRouting c = state(0.5, 2);
  c.qOld = {0.1, 0.2, 0.3};
  c.qNew = c.qOld;
  c.qLatPrev = 1e-5;
  c.qLatCur = 3e-5;
  float out = stepKinematicWave(c, 0.1);
  EXPECT_EQ(out, static_cast<float>(c.qNew[2]));
  EXPECT_EQ(c.qOld, c.qNew);
  EXPECT_EQ(c.qLatPrev, 3e-5);
}

// An old profile that falls steeply downstream with theta 0 and a long step overshoots below
// zero at node 1; the clamp stores 0 and node 2 builds on that 0.
TEST(KinematicWave, NegativeResultIsClampedAndUsedAsZero) {
  CellRouting c = state(0.0, 2, 3600);
  c.qOld = {0.0, 5.0, 0.0};
  c.qNew = c.qOld;
  stepKinematicWave(c, 0.0);
  EXPECT_EQ(c.qNew[1], 0.0);
  // Node 2 with qNew[1] = 0: p = 0.5 * (5 + 0), so Q* = 2.5.
  const double w = 0.5 * (celerity(c, 5.0) + celerity(c, 2.5));
  const double expected = 0.0 - (1 * w * 3600.0) * ((0.0 - 5.0) / c.dx - 0.0);
  EXPECT_EQ(c.qNew[2], expected);
}

TEST(KinematicWave, WeightZeroMakesTheStepExplicit) {
  CellRouting c = state(0.0, 1);
  c.qOld = {0.5, 0.2};
  c.qNew = c.qOld;
  c.qLatPrev = c.qLatCur = 1e-4;
  stepKinematicWave(c, 0.7);
  const double p = 0.5 * (0.5 + 0.7) + 1e-4 * c.dx;
  const double w = 0.5 * (celerity(c, 0.5) + celerity(c, std::max(0.2, p)));
  EXPECT_EQ(c.qNew[1], 0.2 - ((1 - 0.0) * w * 60.0) * ((0.2 - 0.5) / c.dx - 1e-4));
}

TEST(KinematicWave, WeightOneDropsTheOldSpaceDifference) {
  CellRouting a = state(1.0, 1);
  a.qOld = {0.5, 0.2};
  a.qNew = a.qOld;
  stepKinematicWave(a, 0.7);
  const double p = 0.5 * (0.5 + 0.7);
  const double w = 0.5 * (celerity(a, 0.5) + celerity(a, p));
  const double expected = (0.2 + (1.0 * w) * (60.0 / a.dx * 0.7)) / (1 + (1.0 * w * 60.0) / a.dx);
  EXPECT_NEAR(a.qNew[1], expected, 1e-15);
}

TEST(KinematicWave, HourOneAveragesThePreviousHourInTheFirstSubStepOnly) {
  CellRouting c = state(0.5, 2), d = state(0.5, 2);
  setLateralInflow(c, 0.0f, 10.0f);
  setLateralInflow(d, 10.0f, 10.0f);
  stepKinematicWave(c, 0.0);
  stepKinematicWave(d, 0.0);
  EXPECT_LT(c.qNew[2], d.qNew[2]);
  EXPECT_EQ(c.qLatPrev, d.qLatPrev);  // later sub-steps use the current hour alone
}

}  // namespace
}  // namespace runoff
