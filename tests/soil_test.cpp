// One cell's soil and groundwater, hour by hour, against what is known apart from the code:
// the closed forms of the dry-down from a full soil (linear, then exponential below the ET
// threshold), the steady state under constant rain and PET, the baseflow recession, a fine
// Runge-Kutta integration of the soil's equation through every kind of hour, and the water
// balance of every hour on random cells and inputs.
#include "runoff/model/soil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace runoff {
namespace {

struct Totals {
  double et = 0, excess = 0, percolation = 0, baseflow = 0;
};

// Runs `hours` hours of constant infiltration and PET, adding up the fluxes.
Totals run(const SoilRule& rule, const SoilParameters& cell, SoilState& state, int hours,
           double infiltration, double pet) {
  Totals totals;
  for (int h = 0; h < hours; ++h) {
    const SoilHour hour = stepSoil(rule, cell, state, infiltration, pet);
    totals.et += hour.evapotranspiration;
    totals.excess += hour.saturationExcess;
    totals.percolation += hour.percolation;
    totals.baseflow += hour.baseflow;
  }
  return totals;
}

// Without rain and with constant PET E a full soil (capacity FC, no percolation) loses E an
// hour until S reaches LP x FC, after t1 = (1 - LP) FC / E hours, and then S = LP FC
// exp(-E (t - t1) / (LP FC)). Each hour is solved exactly, so the total ET after any number of
// hours is FC - S(t) to rounding: the hourly step adds no error of its own (the tolerance,
// 1e-11 of the capacity, is rounding over a thousand hours).
TEST(SoilDryDown, EvapotranspirationFollowsTheLinearThenExponentialClosedForm) {
  for (const double pet : {0.35, 0.2, 1.0 / 3}) {  // t1 = 128.57..., 225 and 135 hours
    const SoilRule rule{0.7, 1.0, 0.0};
    const SoilParameters cell{150.0, 0.0, 40.0};
    const double limit = rule.etThreshold * cell.capacity;
    const double t1 = (cell.capacity - limit) / pet;
    SoilState state = startingSoilState(rule, cell);
    double et = 0;
    for (int t = 1; t <= 1000; ++t) {
      et += stepSoil(rule, cell, state, 0.0, pet).evapotranspiration;
      const double s = t <= t1 ? cell.capacity - pet * t : limit * std::exp(-pet * (t - t1) / limit);
      ASSERT_NEAR(et, cell.capacity - s, 1e-11 * cell.capacity) << "PET " << pet << ", hour " << t;
      ASSERT_NEAR(state.soil, s, 1e-11 * cell.capacity);
    }
  }
}

// The same with percolation K from a full soil: above the threshold dS/dt = -E - c S (c =
// K / FC), so S = -E/c + (FC + E/c) exp(-c t) until S = LP FC; below it dS/dt = -(E / (LP FC)
// + c) S. ET is E t above the threshold and E / (LP FC) times the integral of S below it.
TEST(SoilDryDown, WithPercolationTheClosedFormOfBothPieces) {
  const SoilRule rule{0.6, 1.0, 0.0};
  const SoilParameters cell{80.0, 0.4, 25.0};
  const double pet = 0.25, c = cell.percolation / cell.capacity;
  const double limit = rule.etThreshold * cell.capacity;
  const double t1 = std::log((cell.capacity + pet / c) / (limit + pet / c)) / c;
  const double k = pet / limit + c;
  auto closedForm = [&](double t, double& s) {  // returns the ET total, sets S
    if (t <= t1) {
      s = -pet / c + (cell.capacity + pet / c) * std::exp(-c * t);
      return pet * t;
    }
    s = limit * std::exp(-k * (t - t1));
    return pet * t1 + pet / limit * (limit - s) / k;
  };
  SoilState state = startingSoilState(rule, cell);
  double et = 0, percolation = 0, baseflow = 0;
  for (int t = 1; t <= 400; ++t) {
    const SoilHour hour = stepSoil(rule, cell, state, 0.0, pet);
    et += hour.evapotranspiration;
    percolation += hour.percolation;
    baseflow += hour.baseflow;
    double s = 0;
    ASSERT_NEAR(et, closedForm(t, s), 1e-11 * cell.capacity) << "hour " << t;
    ASSERT_NEAR(state.soil, s, 1e-11 * cell.capacity) << "hour " << t;
    ASSERT_NEAR(percolation, cell.capacity - s - et, 1e-11 * cell.capacity);
    ASSERT_NEAR(state.groundwater, percolation - baseflow, 1e-11 * cell.capacity);
  }
  EXPECT_GT(t1, 20.0);  // both pieces were crossed
}

// Under constant rain R that all infiltrates and PET E < R, the cell settles where ET is E and
// the rest leaves as saturation excess and baseflow: R - E, whether the soil fills (little
// percolation) or settles between the threshold and full (S = (R - E) FC / K).
TEST(SoilSteadyState, TheCellReleasesRainLessPet) {
  struct Case {
    double percolation, rain, pet;
    bool fills;
  };
  for (const Case& c : {Case{0.2, 3.0, 0.4, true}, Case{3.0, 3.0, 0.4, false},
                        Case{0.35, 0.5, 0.2, false}}) {
    const SoilRule rule{0.7, 0.1, 0.0};
    const SoilParameters cell{120.0, c.percolation, 30.0};
    SoilState state = startingSoilState(rule, cell);
    run(rule, cell, state, 20000, c.rain, c.pet);
    const Totals hour = run(rule, cell, state, 1, c.rain, c.pet);
    EXPECT_NEAR(hour.excess + hour.baseflow, c.rain - c.pet, 1e-9) << c.percolation;
    EXPECT_NEAR(hour.et, c.pet, 1e-12);
    const double expected =
        c.fills ? cell.capacity : (c.rain - c.pet) * cell.capacity / c.percolation;
    EXPECT_NEAR(state.soil, expected, 1e-9 * cell.capacity);
    EXPECT_EQ(hour.excess > 0, c.fills);
  }
}

// With no infiltration, no PET and no percolation the groundwater is a linear reservoir alone:
// each hour's baseflow is G (1 - exp(-1/T)) of the G before it, and falls by exp(-1/T) an hour.
TEST(SoilBaseflow, RecessionFallsByExpOfMinusOneOverTheTimeConstantEachHour) {
  for (const double time : {0.5, 7.0, 300.0, 1e5}) {
    const SoilRule rule{0.7, 0.3, 0.05};
    const SoilParameters cell{100.0, 0.0, time};
    SoilState state = startingSoilState(rule, cell);
    ASSERT_DOUBLE_EQ(state.groundwater, 0.05 * time);
    double last = stepSoil(rule, cell, state, 0.0, 0.0).baseflow;
    EXPECT_NEAR(last, 0.05 * time * (1 - std::exp(-1 / time)), 1e-15 * time);
    for (int h = 0; h < 50; ++h) {
      const double flow = stepSoil(rule, cell, state, 0.0, 0.0).baseflow;
      ASSERT_NEAR(flow / last, std::exp(-1 / time), 1e-13) << "T " << time << ", hour " << h;
      last = flow;
    }
    EXPECT_DOUBLE_EQ(state.soil, 0.3 * cell.capacity);  // nothing moved the soil
  }
}

// A flux whose rate is zero is exactly zero, so that a soil that never fills, with neither
// PET nor percolation, gives the routing exactly the loss method's excess.
TEST(SoilZeroRates, GiveExactlyZeroFluxes) {
  const SoilRule rule{0.7, 0.5, 0.0};
  const SoilParameters cell{1e9, 0.0, 40.0};
  SoilState state = startingSoilState(rule, cell);
  for (const double in : {0.0, 0.1, 33.3, 1e-9, 7.0}) {
    const SoilHour hour = stepSoil(rule, cell, state, in, 0.0);
    EXPECT_EQ(hour.saturationExcess, 0.0);
    EXPECT_EQ(hour.evapotranspiration, 0.0);
    EXPECT_EQ(hour.percolation, 0.0);
    EXPECT_EQ(hour.baseflow, 0.0);
  }
  EXPECT_EQ(state.groundwater, 0.0);
}

// The soil's equation integrated with classic Runge-Kutta in steps of 1/20000 hour: the
// hourly solution, exact piece by piece, agrees through hours that rise across the threshold
// into a full soil, fall across it, and sit on it. The reference's saturation excess is what
// its balance leaves: infiltration less the change of S, ET and percolation (both continuous
// where the soil fills, unlike the excess itself).
double rungeKuttaHour(const SoilRule& rule, const SoilParameters& cell, double s, double in,
                      double pet, double& et, double& excess) {
  const double limit = rule.etThreshold * cell.capacity;
  auto rates = [&](double level, double& e, double& perc) {
    e = pet * std::min(1.0, level / limit);
    perc = cell.percolation * level / cell.capacity;
    const double net = in - e - perc;
    return level >= cell.capacity && net > 0 ? 0.0 : net;
  };
  const int steps = 20000;
  const double h = 1.0 / steps;
  const double start = s;
  double perc = 0;
  et = 0;
  for (int i = 0; i < steps; ++i) {
    double e[4], p[4];
    const double k1 = rates(s, e[0], p[0]);
    const double k2 = rates(std::min(s + h / 2 * k1, cell.capacity), e[1], p[1]);
    const double k3 = rates(std::min(s + h / 2 * k2, cell.capacity), e[2], p[2]);
    const double k4 = rates(std::min(s + h * k3, cell.capacity), e[3], p[3]);
    s = std::min(s + h / 6 * (k1 + 2 * k2 + 2 * k3 + k4), cell.capacity);
    et += h / 6 * (e[0] + 2 * e[1] + 2 * e[2] + e[3]);
    perc += h / 6 * (p[0] + 2 * p[1] + 2 * p[2] + p[3]);
  }
  excess = in - (s - start) - et - perc;
  return s;
}

TEST(SoilHourExact, AgreesWithAFineRungeKuttaIntegration) {
  struct Case {
    double start, in, pet, percolation;
  };
  // Capacity 50 mm, threshold 35 mm.
  for (const Case& c : {Case{30.0, 40.0, 0.5, 1.0},    // rises through the threshold, fills
                        Case{36.0, 0.0, 3.0, 2.0},     // falls through the threshold
                        Case{49.0, 5.0, 0.3, 0.5},     // fills early in the hour
                        Case{35.0, 0.5, 0.5, 0.0},     // sits on the threshold
                        Case{10.0, 2.0, 0.8, 0.4},     // rises below the threshold
                        Case{50.0, 0.2, 0.6, 0.3}}) {  // leaves a full soil
    const SoilRule rule{0.7, 0.0, 0.0};
    const SoilParameters cell{50.0, c.percolation, 10.0};
    SoilState state{c.start, 0.0};
    const SoilHour hour = stepSoil(rule, cell, state, c.in, c.pet);
    double et = 0, excess = 0;
    const double s = rungeKuttaHour(rule, cell, c.start, c.in, c.pet, et, excess);
    EXPECT_NEAR(state.soil, s, 1e-9) << c.start << " " << c.in;
    EXPECT_NEAR(hour.evapotranspiration, et, 1e-9) << c.start << " " << c.in;
    EXPECT_NEAR(hour.saturationExcess, excess, 1e-9) << c.start << " " << c.in;
  }
}

// Every hour closes its balance to rounding, keeps the stores between 0 and their bounds and
// its fluxes non-negative, on random cells, states and inputs, extremes included.
TEST(SoilBalance, EveryHourClosesToRoundingOnRandomCells) {
  std::mt19937 random(11);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  auto logUniform = [&](double low, double high) {
    return low * std::pow(high / low, unit(random));
  };
  for (int cellNumber = 0; cellNumber < 2000; ++cellNumber) {
    const SoilRule rule{cellNumber % 7 == 0 ? 1.0 : 0.05 + 0.95 * unit(random), unit(random),
                        unit(random)};
    const SoilParameters cell{logUniform(1.0, 1e4), cellNumber % 5 == 0 ? 0.0 : logUniform(1e-4, 50.0),
                              logUniform(0.01, 1e6)};
    SoilState state = startingSoilState(rule, cell);
    for (int h = 0; h < 50; ++h) {
      const double in = unit(random) < 0.4 ? 0.0 : logUniform(1e-6, 200.0);
      const double pet = unit(random) < 0.3 ? 0.0 : logUniform(1e-4, 2.0);
      const SoilState before = state;
      const SoilHour hour = stepSoil(rule, cell, state, in, pet);
      const double scale = before.soil + before.groundwater + in + cell.capacity * 1e-3;
      const double error = before.soil + before.groundwater + in - hour.saturationExcess -
                           hour.evapotranspiration - hour.baseflow - state.soil -
                           state.groundwater;
      ASSERT_LE(std::fabs(error), 1e-13 * scale) << "cell " << cellNumber << ", hour " << h;
      ASSERT_GE(state.soil, 0.0);
      ASSERT_LE(state.soil, cell.capacity);
      ASSERT_GE(state.groundwater, 0.0);
      ASSERT_GE(hour.saturationExcess, 0.0);
      ASSERT_GE(hour.evapotranspiration, 0.0);
      ASSERT_LE(hour.evapotranspiration, pet * (1 + 1e-12) + 1e-12);
      ASSERT_GE(hour.percolation, 0.0);
      ASSERT_LE(hour.percolation, cell.percolation * (1 + 1e-12) + 1e-12);
      ASSERT_GE(hour.baseflow, 0.0);
    }
  }
}

}  // namespace
}  // namespace runoff
