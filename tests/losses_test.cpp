// The three loss methods of one cell, hour by hour, against what is known of each apart from the
// code: the SCS curve number's closed form for a storm's total (and a value of TR-55's runoff
// table), Green-Ampt's ponding time and its implicit equation solved here by bisection, the
// initial and constant loss worked by hand; the impervious fraction, event gaps, and the excess
// bounded by 0 and the rain on random storms.
#include "runoff/model/losses.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace runoff {
namespace {

std::vector<double> randomStorm(std::mt19937& random, int hours) {
  std::uniform_real_distribution<double> intensity(0.0, 40.0);
  std::bernoulli_distribution dry(0.3);
  std::vector<double> rain(hours);
  for (double& r : rain) r = dry(random) ? 0.0 : intensity(random);
  return rain;
}

// Runs `rain` through a fresh cell and returns each hour's excess.
std::vector<double> excesses(const LossRule& rule, const LossParameters& cell,
                             const std::vector<double>& rain) {
  LossState state = freshLossState(cell);
  std::vector<double> out;
  for (double r : rain) out.push_back(rainfallExcess(rule, cell, state, r));
  return out;
}

double sum(const std::vector<double>& values) {
  double total = 0;
  for (double v : values) total += v;
  return total;
}

LossParameters curveNumber(double cn) {
  LossParameters p;
  p.curveNumber = cn;
  return p;
}

LossParameters greenAmpt(double ksat, double suction, double deficit) {
  LossParameters p;
  p.ksat = ksat;
  p.suction = suction;
  p.moistureDeficit = deficit;
  return p;
}

// The hours of a storm are differences of one cumulative curve, so however the storm's rain is
// spread over the hours, their excesses add up to the curve's value for the storm's total.
class ScsCurveNumber : public ::testing::TestWithParam<double> {};

TEST_P(ScsCurveNumber, HourlyExcessesAddUpToTheClosedFormOfTheTotal) {
  const double lambda = GetParam();
  const LossRule rule{LossMethod::kScsCurveNumber, lambda, -1};
  std::mt19937 random(7);
  std::uniform_real_distribution<double> cn(30.0, 99.0);
  for (int storm = 0; storm < 500; ++storm) {
    const LossParameters cell = curveNumber(storm % 50 == 0 ? 100.0 : cn(random));
    const std::vector<double> rain = randomStorm(random, 1 + storm % 72);
    const double p = sum(rain);
    const double s = 25.4 * (1000 / cell.curveNumber - 10);  // the retention in inches, as mm
    const double ia = lambda * s;
    const double expected = p > ia ? (p - ia) * (p - ia) / (p + (1 - lambda) * s) : 0;
    EXPECT_NEAR(sum(excesses(rule, cell, rain)), expected, 1e-9 * (1 + p))
        << "storm " << storm << ", CN " << cell.curveNumber;
  }
}

INSTANTIATE_TEST_SUITE_P(InitialAbstractionRatios, ScsCurveNumber, ::testing::Values(0.2, 0.05));

// TR-55 (Urban Hydrology for Small Watersheds, table 2-1): 5 inches of rain on CN 80 give
// 2.89 inches of runoff, whether in one hour or spread over a day.
TEST(ScsCurveNumberTable, FiveInchesOnCurveNumber80GiveTwoPointEightNineInches) {
  const LossRule rule{LossMethod::kScsCurveNumber, 0.2, -1};
  EXPECT_NEAR(sum(excesses(rule, curveNumber(80), {127.0})) / 25.4, 2.89, 0.005);
  EXPECT_NEAR(sum(excesses(rule, curveNumber(80), std::vector<double>(24, 127.0 / 24))) / 25.4,
              2.89, 0.005);
}

TEST(ScsCurveNumberEvents, ADrySpellOfTheGapStartsAFreshEventAShorterOneDoesNot) {
  const LossParameters cell = curveNumber(70);
  const std::vector<double> storm = {5, 20, 30, 10};
  const LossRule alone{LossMethod::kScsCurveNumber, 0.2, -1};
  const double first = sum(excesses(alone, cell, storm));
  for (int dry : {5, 6, 30}) {
    std::vector<double> twice = storm;
    twice.insert(twice.end(), dry, 0.0);
    twice.insert(twice.end(), storm.begin(), storm.end());
    const LossRule gap{LossMethod::kScsCurveNumber, 0.2, 6};
    const double total = sum(excesses(gap, cell, twice));
    if (dry >= 6) {
      EXPECT_NEAR(total, 2 * first, 1e-9) << dry << " dry hours";
    } else {
      // One event of twice the rain: far more than twice the excess of one storm.
      EXPECT_NEAR(total, sum(excesses(alone, cell, twice)), 1e-9) << dry << " dry hours";
      EXPECT_GT(total, 2 * first + 1);
    }
  }
}

// Green-Ampt's implicit equation after ponding at (tp, Fp), solved by bisection: the
// cumulative infiltration at time t (hours).
double greenAmptInfiltration(double t, double tp, double fp, double ks, double sd) {
  double lo = fp, hi = fp + 1e4;
  for (int i = 0; i < 200; ++i) {
    const double f = 0.5 * (lo + hi);
    const double g = f - fp - sd * std::log((f + sd) / (fp + sd)) - ks * (t - tp);
    (g < 0 ? lo : hi) = f;
  }
  return 0.5 * (lo + hi);
}

struct SteadyRain {
  double ksat, suction, deficit, rain;  // mm/h, mm, -, mm/h
};

void PrintTo(const SteadyRain& c, std::ostream* os) {
  *os << "Ks " << c.ksat << " psi " << c.suction << " dtheta " << c.deficit << " i " << c.rain;
}

class GreenAmptSteadyRain : public ::testing::TestWithParam<SteadyRain> {};

// From a dry start under steady rain i > Ks the surface ponds at tp = Ks psi dtheta / (i (i -
// Ks)); until then all the rain infiltrates, afterwards F follows the implicit equation.
TEST_P(GreenAmptSteadyRain, PondsAtTheClosedFormTimeAndThenFollowsTheImplicitEquation) {
  const SteadyRain c = GetParam();
  const LossParameters cell = greenAmpt(c.ksat, c.suction, c.deficit);
  const LossRule rule{LossMethod::kGreenAmpt, 0.2, -1};
  const double sd = c.suction * c.deficit;
  const double tp = c.ksat * sd / (c.rain * (c.rain - c.ksat));
  const double fp = c.rain * tp;
  LossState state = freshLossState(cell);
  double infiltrated = 0;
  for (int hour = 1; hour <= 12; ++hour) {
    const double excess = rainfallExcess(rule, cell, state, c.rain);
    infiltrated += c.rain - excess;
    if (hour <= tp) {
      EXPECT_EQ(excess, 0.0) << "hour " << hour << ", ponding at " << tp;
      EXPECT_NEAR(infiltrated, c.rain * hour, 1e-9);
    } else {
      EXPECT_GT(excess, 0.0) << "hour " << hour << ", ponding at " << tp;
      const double expected = greenAmptInfiltration(hour, tp, fp, c.ksat, sd);
      EXPECT_NEAR(infiltrated, expected, 1e-9 * (1 + expected)) << "hour " << hour;
    }
  }
}

// Rawls, Brakensiek and Miller's sand, loam and clay under light to heavy rain.
INSTANTIATE_TEST_SUITE_P(
    Soils, GreenAmptSteadyRain,
    ::testing::Values(SteadyRain{117.8, 49.5, 0.417, 150}, SteadyRain{3.4, 88.9, 0.434, 10},
                      SteadyRain{3.4, 88.9, 0.434, 3.5}, SteadyRain{0.3, 316.3, 0.385, 25},
                      SteadyRain{0.3, 316.3, 0.385, 0.31}, SteadyRain{10, 110, 0.3, 30}));

TEST(GreenAmpt, WithoutSuctionTheCapacityIsKs) {
  const LossRule rule{LossMethod::kGreenAmpt, 0.2, -1};
  const LossParameters cell = greenAmpt(6.5, 0, 0.4);
  LossState state = freshLossState(cell);
  for (double rain : {20.0, 6.6, 100.0, 7.0}) {
    EXPECT_NEAR(rainfallExcess(rule, cell, state, rain), rain - 6.5, 1e-12) << rain;
  }
}

TEST(GreenAmpt, RainBelowKsNeverRunsOffAPerviousCell) {
  const LossRule rule{LossMethod::kGreenAmpt, 0.2, -1};
  std::mt19937 random(3);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int storm = 0; storm < 200; ++storm) {
    const LossParameters cell =
        greenAmpt(0.5 + 50 * unit(random), 300 * unit(random), unit(random));
    std::vector<double> rain = randomStorm(random, 48);
    for (double& r : rain) r = std::min(r, cell.ksat);
    for (double excess : excesses(rule, cell, rain)) ASSERT_EQ(excess, 0.0) << storm;
  }
}

TEST(GreenAmpt, TheEventGapDrainsTheSoil) {
  const LossParameters cell = greenAmpt(3.4, 88.9, 0.434);
  const std::vector<double> storm = {10, 10, 10};
  const double alone = sum(excesses({LossMethod::kGreenAmpt, 0.2, -1}, cell, storm));
  std::vector<double> twice = storm;
  twice.insert(twice.end(), 12, 0.0);
  twice.insert(twice.end(), storm.begin(), storm.end());
  EXPECT_NEAR(sum(excesses({LossMethod::kGreenAmpt, 0.2, 12}, cell, twice)), 2 * alone, 1e-9);
  // Without the gap the wetted soil takes less of the second storm.
  EXPECT_GT(sum(excesses({LossMethod::kGreenAmpt, 0.2, -1}, cell, twice)), 2 * alone + 1);
}

LossParameters initialAndConstant(double initial, double constant, double recovery) {
  LossParameters p;
  p.initialLoss = initial;
  p.constantLoss = constant;
  p.lossRecovery = recovery;
  return p;
}

// 10 mm of initial loss and 2 mm/h under 4 mm/h: the initial loss is full after 2.5 hours;
// the third hour loses 2 mm to it and 1 mm at the constant rate over its second half, every
// later hour exactly i - fc.
TEST(InitialAndConstant, FillsTheInitialLossThenLosesTheConstantRateExactly) {
  const LossRule rule{LossMethod::kConstant, 0.2, -1};
  const std::vector<double> excess =
      excesses(rule, initialAndConstant(10, 2, 0), {4, 4, 4, 4, 4, 1.5, 9.25});
  const std::vector<double> expected = {0, 0, 1, 2, 2, 0, 9.25 - 2};
  for (std::size_t h = 0; h < excess.size(); ++h) EXPECT_EQ(excess[h], expected[h]) << h;
}

// 12 mm/day of recovery: 12 dry hours give back 6 mm of the 10, which the next rain of
// 10 mm/h fills in 0.6 hours before losing 3 mm/h over the remaining 0.4; a long dry spell
// restores the whole 10 mm, and no more.
TEST(InitialAndConstant, RecoversItsInitialLossWhenDryUpToItsCapacity) {
  const LossRule rule{LossMethod::kConstant, 0.2, -1};
  std::vector<double> rain = {20};
  rain.insert(rain.end(), 12, 0.0);
  rain.push_back(10);
  std::vector<double> excess = excesses(rule, initialAndConstant(10, 3, 12), rain);
  EXPECT_NEAR(excess.back(), (10 - 3) * 0.4, 1e-12);
  rain.insert(rain.end() - 1, 1000, 0.0);
  excess = excesses(rule, initialAndConstant(10, 3, 12), rain);
  EXPECT_EQ(excess.back(), 0.0);  // 10 mm fit in the restored 10 mm
}

// An impervious cell loses nothing, bit for bit; a partly impervious one mixes the pervious
// excess with the whole rain in proportion.
TEST(Impervious, AWhollyImperviousCellPassesTheRainAndAPartlyOneMixesInProportion) {
  std::mt19937 random(11);
  const LossParameters kinds[] = {initialAndConstant(8, 2, 5), curveNumber(65),
                                  greenAmpt(3.4, 88.9, 0.434)};
  const LossMethod methods[] = {LossMethod::kConstant, LossMethod::kScsCurveNumber,
                                LossMethod::kGreenAmpt};
  for (int k = 0; k < 3; ++k) {
    const LossRule rule{methods[k], 0.2, 24};
    const std::vector<double> rain = randomStorm(random, 96);
    LossParameters sealed = kinds[k], part = kinds[k];
    sealed.impervious = 1;
    part.impervious = 0.25;
    const std::vector<double> pervious = excesses(rule, kinds[k], rain);
    const std::vector<double> mixed = excesses(rule, part, rain);
    const std::vector<double> none = excesses(rule, sealed, rain);
    for (std::size_t h = 0; h < rain.size(); ++h) {
      EXPECT_EQ(none[h], rain[h]) << lossMethodName(methods[k]) << " hour " << h;
      EXPECT_NEAR(mixed[h], 0.25 * rain[h] + 0.75 * pervious[h], 1e-12 * (1 + rain[h]));
    }
  }
}

TEST(Losses, ExcessIsNeverNegativeNorMoreThanTheRain) {
  std::mt19937 random(5);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int storm = 0; storm < 300; ++storm) {
    const LossMethod method = static_cast<LossMethod>(1 + storm % 3);
    LossParameters cell;
    cell.impervious = storm % 7 == 0 ? 0 : unit(random);
    cell.initialLoss = 30 * unit(random);
    cell.constantLoss = 10 * unit(random);
    cell.lossRecovery = 20 * unit(random);
    cell.curveNumber = 1 + 99 * unit(random);
    cell.ksat = 30 * unit(random);
    cell.suction = 300 * unit(random);
    cell.moistureDeficit = unit(random);
    const LossRule rule{method, storm % 2 ? 0.2 : 0.05, storm % 3 ? -1 : 1 + storm % 30};
    const std::vector<double> rain = randomStorm(random, 200);
    const std::vector<double> excess = excesses(rule, cell, rain);
    for (std::size_t h = 0; h < rain.size(); ++h) {
      ASSERT_GE(excess[h], 0.0) << lossMethodName(method) << " storm " << storm << " hour " << h;
      ASSERT_LE(excess[h], rain[h]) << lossMethodName(method) << " storm " << storm;
    }
  }
}

}  // namespace
}  // namespace runoff
