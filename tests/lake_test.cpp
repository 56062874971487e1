// One lake's level pool, step by step, against what is known of it apart from the code: the
// linear reservoir's exponential recession and filling (closed forms) and its response with
// evaporation against a fine Runge-Kutta integration; the weir's outflow peak on the falling
// limb where outflow crosses inflow (the level-pool property), its implicit equation solved to
// rounding (for b = 1 against the step's closed form) and its convergence to the exact curve;
// the releases passed and spilled above the capacity; and on random inflows of every rule the
// water conserved, evaporation bounded by the lake's area and contents, storage never below 0.
#include "runoff/model/lake.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace runoff {
namespace {

LakeParameters lake(LakeRule rule, double areaKm2, double a, double b = 0) {
  LakeParameters p;
  p.rule = rule;
  p.areaM2 = areaKm2 * 1.0e6;
  p.a = a;
  p.b = b;
  return p;
}

// A triangular flood: 0 at the start, `peak` m^3/s after `rise` hours, 0 again `fall` hours
// later and after; the rate of step `n` of `dt` seconds is the triangle at the step's middle.
double triangle(int n, double dt, double peak, double rise, double fall) {
  const double hours = (n + 0.5) * dt / 3600.0;
  if (hours <= rise) return peak * hours / rise;
  return std::max(0.0, peak * (1.0 - (hours - rise) / fall));
}

struct LakeRun {
  std::vector<double> inflow;   // m^3/s, per step
  std::vector<double> outflow;  // m^3/s, per step
  std::vector<double> storage;  // m^3, after each step
  double evaporated = 0;
};

LakeRun route(const LakeParameters& p, double storage, double dt, const std::vector<double>& inflow,
              double pet = 0, const std::vector<double>& release = {}) {
  LakeRun run;
  run.inflow = inflow;
  for (std::size_t n = 0; n < inflow.size(); ++n) {
    const LakeStepVolumes v =
        stepLake(p, storage, dt, inflow[n], pet, release.empty() ? 0.0 : release[n]);
    run.outflow.push_back(v.outflow / dt);
    run.storage.push_back(storage);
    run.evaporated += v.evaporation;
  }
  return run;
}

TEST(LakeRules, NamesReadBackAndOthersAreRefused) {
  for (const LakeRuleName& entry : kLakeRuleNames) {
    EXPECT_EQ(lakeRuleNamed(entry.name), entry.rule);
    EXPECT_STREQ(lakeRuleName(entry.rule), entry.name);
  }
  EXPECT_FALSE(lakeRuleNamed("Weir"));
  EXPECT_FALSE(lakeRuleNamed(""));
}

// A linear reservoir filled from empty by a constant inflow I holds k I (1 - e^(-t/k)); after
// the pulse it keeps e^(-t/k) of what it held, whatever the step.
TEST(LinearLake, FillsAndRecedesAsTheClosedForms) {
  for (const double dt : {60.0, 600.0, 3600.0}) {
    SCOPED_TRACE(dt);
    const LakeParameters p = lake(LakeRule::kLinear, 2.0, 10.0);
    const double k = 10.0 * 3600.0;
    const int pulseSteps = static_cast<int>(6 * 3600 / dt);
    const int afterSteps = static_cast<int>(48 * 3600 / dt);
    std::vector<double> inflow(pulseSteps, 25.0);
    inflow.resize(pulseSteps + afterSteps, 0.0);
    const LakeRun run = route(p, 0.0, dt, inflow);
    const double filled = k * 25.0 * (1.0 - std::exp(-6.0 * 3600.0 / k));
    EXPECT_NEAR(run.storage[pulseSteps - 1], filled, 1e-12 * filled);
    for (int n = pulseSteps; n < pulseSteps + afterSteps; ++n) {
      const double t = (n + 1 - pulseSteps) * dt;
      EXPECT_NEAR(run.storage[n], filled * std::exp(-t / k), 1e-12 * filled) << n;
    }
  }
}

// With evaporation above the inflow the lake runs dry within the run; the volumes and the
// storage follow the ODE dS/dt = I - E - S/k (S > 0), here integrated by classic Runge-Kutta
// in steps of a second, each step of the lake covering 3600 of them.
TEST(LinearLake, EvaporationAndDryingFollowTheOde) {
  const LakeParameters p = lake(LakeRule::kLinear, 1.5, 20.0);
  const double k = 20.0 * 3600.0;
  const double pet = 4.0;  // mm/h: 1.67 m^3/s from 1.5 km^2
  const double evaporation = pet * 0.001 / 3600.0 * p.areaM2;
  const std::vector<double> inflow = {3.0, 0.5, 0.2, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 0.0};
  double storage = 40000.0;
  double reference = storage;
  double referenceOut = 0;
  double referenceEvaporated = 0;
  for (double rate : inflow) {
    const LakeStepVolumes v = stepLake(p, storage, 3600.0, rate, pet);
    double out = 0;
    double evaporated = 0;
    for (int s = 0; s < 3600; ++s) {
      if (reference <= 0 && rate <= evaporation) {
        reference = 0;
        evaporated += rate;
        continue;
      }
      auto f = [&](double y) { return rate - evaporation - y / k; };
      const double k1 = f(reference), k2 = f(reference + 0.5 * k1), k3 = f(reference + 0.5 * k2),
                   k4 = f(reference + k3);
      const double next = reference + (k1 + 2 * k2 + 2 * k3 + k4) / 6.0;
      if (next < 0) {  // dry within this second: the fraction of it the water lasted
        const double part = reference / (reference - next);
        out += part * reference / (2 * k);
        evaporated += part * evaporation + (1 - part) * rate;
        reference = 0;
        continue;
      }
      out += (reference + next) / (2 * k);  // the second's outflow, trapezoidal
      evaporated += evaporation;
      reference = next;
    }
    EXPECT_NEAR(storage, reference, 1e-3);
    EXPECT_NEAR(v.outflow, out, 1e-3);
    EXPECT_NEAR(v.evaporation, evaporated, 1e-3);
    referenceOut += out;
    referenceEvaporated += evaporated;
  }
  EXPECT_EQ(storage, 0.0);  // dry at the end, exactly
  EXPECT_GT(referenceOut, 0.0);
  EXPECT_GT(referenceEvaporated, 0.0);
}

// As its time constant k goes to 0 a linear lake passes each step's inflow through: it holds
// no more than k times the largest inflow, so each step's outflow differs from the inflow by at
// most twice that over the step.
TEST(LinearLake, VanishingTimeConstantPassesTheInflow) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> rate(0.0, 50.0);
  std::vector<double> inflow(500);
  for (double& q : inflow) q = rate(random);
  for (const double hours : {1e-3, 1e-6, 1e-9, 1e-13}) {
    const LakeRun run = route(lake(LakeRule::kLinear, 3.0, hours), 0.0, 60.0, inflow);
    const double bound = 2 * hours * 3600.0 * 50.0 / 60.0 + 1e-13 * 50.0;
    for (std::size_t n = 0; n < inflow.size(); ++n) {
      ASSERT_NEAR(run.outflow[n], inflow[n], bound) << hours << " h, step " << n;
    }
  }
}

// The level-pool property: storage rises while inflow exceeds outflow, and the outflow, a
// rising function of storage, peaks when the two cross, on the falling limb of the inflow and
// below its peak. Under the implicit step it holds step by step: at the peak step p the inflow
// is at least the outflow, from the next step on below it.
TEST(WeirLake, OutflowPeaksWhereItCrossesTheFallingInflow) {
  for (const double b : {1.5, 2.5, 0.8}) {
    SCOPED_TRACE(b);
    const LakeParameters p = lake(LakeRule::kWeir, 2.0, 17.0, b);
    const double dt = 60.0;
    std::vector<double> inflow(72 * 60);
    for (std::size_t n = 0; n < inflow.size(); ++n) inflow[n] = triangle(n, dt, 100.0, 6, 12);
    const LakeRun run = route(p, 0.0, dt, inflow);
    const auto peakIn = std::max_element(inflow.begin(), inflow.end()) - inflow.begin();
    const auto peak =
        std::max_element(run.outflow.begin(), run.outflow.end()) - run.outflow.begin();
    EXPECT_GT(peak, peakIn);
    EXPECT_LT(run.outflow[peak], 0.9 * inflow[peakIn]);  // attenuated
    EXPECT_GE(inflow[peak], run.outflow[peak]);
    EXPECT_LE(inflow[peak + 1], run.outflow[peak + 1]);
    for (std::size_t n = 1; n < inflow.size(); ++n) {
      // the outflow rises exactly in the steps whose inflow exceeds their outflow
      EXPECT_EQ(run.outflow[n] > run.outflow[n - 1], inflow[n] > run.outflow[n]) << n;
    }
  }
}

// The implicit equation S' = S + dt (I - a (S'/A)^b) holds at every step to the rounding of
// its terms, for exponents below, at and above 1.
TEST(WeirLake, ImplicitStepIsSolvedToRounding) {
  std::mt19937 random(11);
  std::uniform_real_distribution<double> rate(0.0, 80.0);
  for (const double b : {0.5, 1.0, 1.5, 2.5}) {
    SCOPED_TRACE(b);
    const LakeParameters p = lake(LakeRule::kWeir, 0.7, 9.0, b);
    double storage = 2.0e5;
    for (int n = 0; n < 400; ++n) {
      const double inflow = rate(random);
      const double before = storage;
      const double dt = n % 2 ? 60.0 : 900.0;
      const LakeStepVolumes v = stepLake(p, storage, dt, inflow, 0.0);
      const double c = before + dt * inflow;
      const double scale = dt * p.a;
      const double residual = storage + scale * std::pow(storage / p.areaM2, b) - c;
      EXPECT_LE(std::abs(residual), 8 * std::numeric_limits<double>::epsilon() * c) << n;
      EXPECT_EQ(v.evaporation, 0.0);
    }
  }
}

// With b = 1 the implicit step has the closed form S' = (S + dt I) / (1 + dt a / A).
TEST(WeirLake, LinearWeirMatchesTheImplicitStepsClosedForm) {
  std::mt19937 random(3);
  std::uniform_real_distribution<double> rate(0.0, 30.0);
  const LakeParameters p = lake(LakeRule::kWeir, 1.2, 4.0, 1.0);
  double storage = 0;
  double expected = 0;
  for (int n = 0; n < 1000; ++n) {
    const double inflow = rate(random);
    stepLake(p, storage, 120.0, inflow, 0.0);
    expected = (expected + 120.0 * inflow) / (1.0 + 120.0 * p.a / p.areaM2);
    ASSERT_NEAR(storage, expected, 1e-13 * std::max(expected, 1.0)) << n;
  }
}

// The implicit step is of first order: against a reference of one-second steps the outflow
// peak's error falls tenfold from ten-minute to one-minute steps, and at one-minute steps it is
// below 0.1 % of the peak for a lake of 2 km^2 behind a 10 m weir under a 100 m^3/s flood.
TEST(WeirLake, ConvergesToTheExactHydrographAtFirstOrder) {
  const LakeParameters p = lake(LakeRule::kWeir, 2.0, 17.0, 1.5);
  auto peakWith = [&](double dt) {
    const int steps = static_cast<int>(48 * 3600 / dt);
    double storage = 0;
    double peak = 0;
    for (int n = 0; n < steps; ++n) {
      const double hours = (n + 0.5) * dt / 3600.0;
      const double inflow =
          hours <= 6 ? 100.0 * hours / 6 : std::max(0.0, 100.0 * (18 - hours) / 12);
      const LakeStepVolumes v = stepLake(p, storage, dt, inflow, 0.0);
      peak = std::max(peak, v.outflow / dt);
    }
    return peak;
  };
  const double reference = peakWith(1.0);
  const double coarse = std::abs(peakWith(600.0) - reference);
  const double fine = std::abs(peakWith(60.0) - reference);
  EXPECT_LT(fine, 1e-3 * reference);
  EXPECT_NEAR(coarse / fine, 10.0, 2.0);
}

// A reservoir releases the prescribed series while it holds water, passes its inflow when the
// release asks for more than it has, and spills what would stand above its capacity.
TEST(ReleasesLake, PassesTheSeriesAndSpillsAboveCapacity) {
  const LakeParameters p = lake(LakeRule::kReleases, 1.0, 1.0);  // capacity 10^6 m^3
  const double dt = 600.0;
  // Half full, 10 m^3/s in, 4 released: full after 5 * 10^5 / 6 s (833.3 steps of ten
  // minutes), then the release and the spill make the inflow.
  double storage = 0.5e6;
  for (int n = 0; n < 200; ++n) {
    const LakeStepVolumes v = stepLake(p, storage, dt, 10.0, 0.0, 4.0);
    const double t = (n + 1) * dt;
    if (t <= 0.5e6 / 6.0) {
      EXPECT_DOUBLE_EQ(v.outflow / dt, 4.0) << n;
      EXPECT_NEAR(storage, 0.5e6 + 6.0 * t, 1e-6) << n;
    } else if (t - dt >= 0.5e6 / 6.0) {
      EXPECT_DOUBLE_EQ(v.outflow / dt, 10.0) << n;
      EXPECT_DOUBLE_EQ(storage, 1.0e6) << n;
    }
  }
  // Empty, 2 m^3/s in, 5 asked for: 2 go out, nothing stays.
  storage = 0;
  const LakeStepVolumes v = stepLake(p, storage, dt, 2.0, 0.0, 5.0);
  EXPECT_DOUBLE_EQ(v.outflow, 2.0 * dt);
  EXPECT_EQ(storage, 0.0);
  // A release of 0 holds everything below the capacity.
  storage = 0;
  stepLake(p, storage, dt, 3.0, 0.0, 0.0);
  EXPECT_DOUBLE_EQ(storage, 3.0 * dt);
}

// On random floods, with evaporation, from random starts: storage + inflow - evaporation -
// outflow is the storage after, summed over the run to the rounding of the storage; the
// evaporation never exceeds the potential rate over the area, nor what the lake holds; the
// storage is never negative.
TEST(EveryRule, ConservesWaterAndBoundsEvaporation) {
  std::mt19937 random(5);
  std::uniform_real_distribution<double> rate(0.0, 20.0);
  std::uniform_real_distribution<double> pet(0.0, 2.0);
  std::bernoulli_distribution dry(0.4);
  const LakeParameters lakes[] = {
      lake(LakeRule::kLinear, 0.3, 0.5),    lake(LakeRule::kLinear, 5.0, 200.0),
      lake(LakeRule::kWeir, 0.3, 2.0, 1.5), lake(LakeRule::kWeir, 4.0, 30.0, 0.6),
      lake(LakeRule::kReleases, 0.3, 0.05), lake(LakeRule::kReleases, 2.0, 3.0)};
  for (const LakeParameters& p : lakes) {
    SCOPED_TRACE(std::string(lakeRuleName(p.rule)) + " " + std::to_string(p.a));
    double storage = dry(random) ? 0.0 : 1.0e5;
    const double start = storage;
    double in = 0, evaporated = 0, out = 0;
    for (int n = 0; n < 3000; ++n) {
      const double inflow = dry(random) ? 0.0 : rate(random);
      const double potential = pet(random) * 40;  // up to 80 mm/h: lakes that run dry
      const double held = storage + inflow * 60.0;
      const LakeStepVolumes v = stepLake(p, storage, 60.0, inflow, potential, rate(random));
      ASSERT_GE(storage, 0.0);
      ASSERT_LE(v.evaporation, lakeEvaporationRate(p, potential) * 60.0 * (1 + 1e-15));
      ASSERT_LE(v.evaporation + v.outflow, held * (1 + 1e-15));
      ASSERT_GE(v.outflow, 0.0);
      in += v.inflow;
      evaporated += v.evaporation;
      out += v.outflow;
    }
    EXPECT_GT(evaporated, 0.0);
    EXPECT_NEAR(start + in - evaporated - out - storage, 0.0, 1e-11 * in);
  }
}

// An hour through a lake at its outlet cell: what the cell passes on goes in, what the lake
// passes on in single precision comes out, and the rounding's bits stay in the lake: over random
// hours of every rule, with evaporation and lakes running dry, the storage is what came in less
// what evaporated and what the returned floats carry out, to the rounding of the storage, and
// never negative; the hour's means are those of the floats in and out.
TEST(LakeAtItsOutlet, PassesWhatItReleasesInSinglePrecisionAndKeepsTheRest) {
  std::mt19937 random(17);
  std::uniform_real_distribution<double> rate(0.0, 3.0);
  std::bernoulli_distribution dry(0.5);
  const LakeParameters lakes[] = {lake(LakeRule::kLinear, 0.01, 0.05),
                                  lake(LakeRule::kWeir, 0.02, 0.3, 1.5),
                                  lake(LakeRule::kReleases, 0.01, 0.001)};
  for (const LakeParameters& p : lakes) {
    SCOPED_TRACE(lakeRuleName(p.rule));
    LakeState state;
    state.storage = 50.0;
    const double start = state.storage;
    double carried = 0;
    for (int hour = 0; hour < 300; ++hour) {
      std::vector<float> steps(60);
      for (float& q : steps) q = dry(random) ? 0.0f : static_cast<float>(rate(random));
      const std::vector<float> in = steps;
      const double pet = dry(random) ? 0.0 : 30.0 * rate(random);
      const LakeHour record = passHourThroughLake(p, state, steps, 60.0, pet, rate(random));
      ASSERT_GE(state.storage, 0.0);
      float inSum = 0, outSum = 0;
      for (std::size_t s = 0; s < steps.size(); ++s) {
        ASSERT_GE(steps[s], 0.0f);
        inSum += in[s];
        outSum += steps[s];
        carried += static_cast<double>(steps[s]) * 60.0;
      }
      EXPECT_EQ(record.inflow, inSum / 60.0f);
      EXPECT_EQ(record.outflow, outSum / 60.0f);
      EXPECT_EQ(record.level, static_cast<float>(state.storage / p.areaM2));
    }
    EXPECT_EQ(state.outflow, carried);
    EXPECT_GT(state.evaporation, 0.0);
    EXPECT_NEAR(start + state.inflow - state.evaporation - state.outflow - state.storage, 0.0,
                1e-12 * state.inflow);
  }
}

// A lake whose time constant vanishes passes the cell's floats on unchanged.
TEST(LakeAtItsOutlet, VanishingLakePassesTheCellsFloats) {
  std::mt19937 random(19);
  std::uniform_real_distribution<double> rate(0.0, 40.0);
  LakeState state;
  for (int hour = 0; hour < 50; ++hour) {
    std::vector<float> steps(60);
    for (float& q : steps) q = static_cast<float>(rate(random));
    const std::vector<float> in = steps;
    passHourThroughLake(lake(LakeRule::kLinear, 1.0, 1e-15), state, steps, 60.0, 0.0);
    ASSERT_EQ(steps, in) << hour;
  }
}

}  // namespace
}  // namespace runoff
