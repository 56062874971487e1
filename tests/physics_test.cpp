// Physical checks of the routing: steady state under constant rain equals rain rate times
// contributing area, the rising hydrograph of a sloping plane follows the analytical kinematic
// wave solution, and a dry basin stays exactly dry.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "runoff_sim/routing_setup.h"
#include "runoff_sim/topo_grid.h"
#include "support/basin_builder.h"

namespace runoff::testing {
namespace {

// A sloping plane as a chain of `n` slope cells in one row, each draining east into the next;
// routed like the driver does, upstream cell first through the whole period. Returns the
// outlet discharge after every step (m^3/s).
struct Plane {
  int n = 20;
  float dropPerCell = 1.5f;  // m
  double rainMmPerHour = 20.0;
  std::int32_t timeStep = 60;
  std::int32_t spaceSteps = 4;
  double manning = 0.4;
  GridCell cell;  // all cells share the latitude, so one describes them
  CellRouting state;

  explicit Plane(std::int32_t steps = 4) : spaceSteps(steps) {
    initCell(cell, 1, 1, 3, n + 2, 35.0f, 135.0f, 100.0f, 3.0f);
    cell.flowDir = 3;
    cell.flowAcc = 1;
    cell.riverNum = 0;
    setParameterData(state, cell, true, 100.0f - dropPerCell, manning, manning, 1000000,
                     spaceSteps, timeStep, 0.5);
  }

  std::vector<float> outletHydrograph(int steps) const {
    std::vector<float> upstream(steps, 0.0f), here(steps);
    for (int c = 0; c < n; ++c) {
      CellRouting s = state;
      setInitialDischarge(s, cell, 0.0);
      for (int k = 0; k < steps; ++k) {
        s.qLatPrev = s.qLatCur = lateralInflow(s, static_cast<float>(rainMmPerHour));
        here[k] = stepKinematicWave(s, static_cast<double>(upstream[k]));
      }
      upstream.swap(here);
    }
    return upstream;
  }

  // The plane: length L, width W (the flow width of a slope cell), Q = W a h^m.
  double length() const { return n * state.flowLen; }
  double width() const { return state.width; }
  double rainMs() const { return rainMmPerHour * 0.001 / 3600; }
  double a() const { return std::sqrt(state.sinSlope) / manning; }
  double equilibrium() const { return rainMs() * length() * width(); }
  double timeToEquilibrium() const {
    return std::pow(length() / (a() * std::pow(rainMs(), state.mExp - 1)), 1 / state.mExp);
  }
  double rising(double t) const { return width() * a() * std::pow(rainMs() * t, state.mExp); }
};

TEST(Physics, PlaneReachesTheEquilibriumDischarge) {
  Plane plane;
  const double tc = plane.timeToEquilibrium();
  ASSERT_GT(tc, 3 * 3600.0);  // several hours: well resolved by one-minute steps
  const int steps = static_cast<int>(4 * tc / plane.timeStep);
  std::vector<float> q = plane.outletHydrograph(steps);
  // After four times the time to equilibrium the scheme has settled; what remains is the
  // single-precision storage of each cell's outflow (about 1e-7 relative per cell, 20 cells).
  EXPECT_NEAR(q.back(), plane.equilibrium(), 1e-5 * plane.equilibrium());
}

// Relative error of the rising limb at a fraction f of the time to equilibrium.
double risingError(const Plane& plane, const std::vector<float>& q, double f) {
  const double t = f * plane.timeToEquilibrium();
  const double numeric = q[static_cast<int>(t / plane.timeStep) - 1];
  return std::abs(numeric - plane.rising(t)) / plane.rising(t);
}

// The scheme is first order in space: the averaged celerity runs ahead of the sharp front of
// the analytical solution by about one space step per cell, so the numerical rising limb lies
// above it by an error that shrinks in proportion to the space step.
TEST(Physics, PlaneRisingLimbConvergesToTheAnalyticalKinematicWave) {
  std::vector<double> errors;
  for (std::int32_t spaceSteps : {4, 16, 64}) {
    Plane plane(spaceSteps);
    const int steps = static_cast<int>(1.2 * plane.timeToEquilibrium() / plane.timeStep);
    std::vector<float> q = plane.outletHydrograph(steps);
    double worst = 0;
    for (double f : {0.4, 0.6, 0.8}) worst = std::max(worst, risingError(plane, q, f));
    errors.push_back(worst);
  }
  // 80 nodes over the plane: within 16 %; 1280 nodes: within 3 %; each refinement by four
  // at least halves the error.
  EXPECT_LT(errors[0], 0.16);
  EXPECT_LT(errors[2], 0.03);
  EXPECT_LT(errors[1], 0.5 * errors[0]);
  EXPECT_LT(errors[2], 0.5 * errors[1]);
}

TEST(Physics, PlaneReachesEquilibriumNearTheAnalyticalTime) {
  Plane plane;
  const double tc = plane.timeToEquilibrium();
  const int steps = static_cast<int>(2 * tc / plane.timeStep);
  std::vector<float> q = plane.outletHydrograph(steps);
  // At tc the analytical solution has just reached equilibrium; the smeared numerical front
  // (80 nodes) is within 5 % of it there and passes 99 % within a third of tc later.
  const double atTc = q[static_cast<int>(tc / plane.timeStep) - 1];
  EXPECT_GT(atTc, 0.95 * plane.equilibrium());
  EXPECT_LT(atTc, plane.equilibrium());
  int k = 0;
  while (k < steps && q[k] < 0.99 * plane.equilibrium()) ++k;
  const double t99 = (k + 1) * static_cast<double>(plane.timeStep);
  EXPECT_GT(t99, tc);
  EXPECT_LT(t99, 1.33 * tc);
}

// The whole program on the mixed basin under constant rain: at steady state the outlet cell
// carries the rain rate times the area of the routed cells upstream of it and itself. The
// unlisted cell (2,1) is not routed and adds nothing.
TEST(Physics, BasinOutletAtSteadyStateCarriesRainTimesContributingArea) {
  TempDir dir;
  Basin b = mixedBasin(2);
  b.rain = uniformRain(2, 2, 2, "10");
  b.param(kTimeStep, "60");
  b.write(dir.path());
  RunResult r = runSimulator(dir.path());
  ASSERT_EQ(r.exitStatus, 0) << r.out;
  std::vector<float> hourly = readFloats(dir / "output/dischargeHourly.bin");
  ASSERT_EQ(hourly.size(), 48u * 25);

  double area = 0;
  for (auto [row, col] : {std::pair{1, 1}, {1, 2}, {1, 3}, {2, 2}, {3, 2}}) {
    GridCell cell;
    initCell(cell, row, col, 5, 5, 36.0f, 140.0f, 0.0f, 3.0f);
    area += kMetresPerArcSec * 3.0 * static_cast<double>(cell.widthX);
  }
  const double expected = 10.0 * 0.001 / 3600 * area;
  const float outlet = hourly[47 * 25 + (4 - 3) * 5 + 2];
  // Five cells of about 90 m settle within hours; the rest is single-precision storage.
  EXPECT_NEAR(outlet, expected, 1e-4 * expected);
}

TEST(Physics, NoRainAndNoInitialRunoffStayExactlyDry) {
  TempDir dir;
  Basin b = mixedBasin(2);
  b.rain = uniformRain(2, 2, 2, "0");
  b.write(dir.path());
  ASSERT_EQ(runSimulator(dir.path()).exitStatus, 0);
  for (const char* file : {"dischargeDaily.bin", "dischargeHourlyMaxInDay.bin",
                           "dischargeHourly.bin"}) {
    for (float v : readFloats(dir / "output" / file)) EXPECT_TRUE(v == 0.0f || v == -9999.0f) << v;
  }
}

}  // namespace
}  // namespace runoff::testing
