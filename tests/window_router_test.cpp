// The simulator routes with lean histories on several threads, in an order of its own, in
// windows of days and in spans of hours within them, and with a step that reuses powers it
// already took. None of that may change a bit: these tests compare it with the plain design
// (cell by cell in calculation order, full histories, the step evaluated literally) on random
// basins built to stress the dependency rule, under both schemes; and under the conservative
// scheme the water budget of every basin closes.
#include "runoff/routing/window_router.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <sstream>

#include "runoff/inputs/calc_order.h"
#include "runoff/model/conservative_wave.h"
#include "runoff/output/discharge_output.h"
#include "runoff/model/kinematic_wave.h"
#include "runoff/inputs/rain_mapping.h"
#include "runoff/inputs/river_list.h"
#include "runoff/routing/routing_plan.h"
#include "runoff/routing/water_budget.h"
#include "support/plain_routing.h"
#include "support/test_support.h"

namespace runoff {
namespace {

std::string records(const std::vector<std::int32_t>& v) {
  std::string bytes(v.size() * 4, '\0');
  std::memcpy(bytes.data(), v.data(), bytes.size());  // little-endian host
  return bytes;
}

// A random basin with the awkward features the loop must get right: flow accumulation that does
// not grow downstream (ties, zeros, negatives, cells routed before their feeders), rivers that
// are not listed upstream of listed ones, cells fed from all eight neighbours, and cycles.
struct RandomBasin {
  RunParameters params;
  TopoGrid grid;
  RainGrid rain;
  CalculationOrder order;
  std::vector<std::int32_t> listed;  // river numbers
  std::vector<std::uint8_t> selected;

  explicit RandomBasin(std::uint32_t seed) {
    std::mt19937 rng(seed);
    auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    params.topoScale = 3;
    params.topoRows = uniform(3, 11);
    params.topoCols = uniform(3, 11);
    params.topoSwLon = 10;
    params.topoSwLat = 45;
    params.rainRows = uniform(1, 3);
    params.rainCols = uniform(1, 3);
    params.rainDx = params.rainDy = 0.003;
    params.rainSwLon = 10.001;
    params.rainSwLat = 45.001;
    params.days = uniform(1, 4);
    params.timeStep = std::vector<int>{600, 900, 1200, 3600}[uniform(0, 3)];
    params.subSteps = 3600 / params.timeStep;
    params.spaceSteps = uniform(1, 3);
    params.fdWeight = uniform(0, 4) / 4.0;
    params.slopeManning = 0.4;
    params.channelManning = 0.03;
    params.channelThreshold = uniform(1, 6);
    params.initialRunoff = uniform(0, 1) * 0.2;

    const int n = params.topoRows * params.topoCols;
    std::vector<float> elev(n);
    std::vector<std::int32_t> dir(n), acc(n), river(n);
    for (int i = 0; i < n; ++i) {
      elev[i] = static_cast<float>(uniform(0, 400)) * 0.5f;
      dir[i] = uniform(0, 9);
      acc[i] = uniform(0, 5) == 0 ? -uniform(0, 3) : uniform(1, 8);
      river[i] = uniform(-1, 2);
    }
    // A cell fed from all eight neighbours (file rows run south to north).
    if (params.topoRows >= 5 && params.topoCols >= 5 && uniform(0, 1)) {
      const int r = 2, c = 2;  // file row and column of the centre
      const int toCentre[3][3] = {{2, 1, 8}, {3, 0, 7}, {4, 5, 6}};  // file rows run northward
      for (int dr = -1; dr <= 1; ++dr) {
        for (int dc = -1; dc <= 1; ++dc) {
          const int i = (r + dr) * params.topoCols + (c + dc);
          if (dr != 0 || dc != 0) dir[i] = toCentre[dr + 1][dc + 1];
          river[i] = 1;
        }
      }
    }
    std::istringstream demIn(std::string(reinterpret_cast<const char*>(elev.data()), n * 4));
    std::istringstream dirIn(records(dir)), accIn(records(acc)), riverIn(records(river));
    EXPECT_TRUE(fillElevation(grid, params, demIn).ok());
    EXPECT_TRUE(fillLinks(grid, dirIn, accIn, riverIn).ok());

    rain = buildRainGrid(params);
    for (float& value : rain.hourlyRain) value = uniform(0, 3) == 0 ? 0.0f : uniform(0, 400) * 0.1f;
    for (std::int32_t cell = 0; cell < rain.rows * rain.cols; ++cell) {
      for (int h = 0; h < 24; ++h) rain.hourlyRain[rain.rainIndex(cell, 0, h)] = 0.0f;
    }
    RainLocator locator = makeRainLocator(rain);
    for (GridCell& cell : grid.cells) findNearestRainCell(cell, locator, rain);

    order = buildCalculationOrder(grid);
    for (int r = 0; r <= 2; ++r) {
      if (uniform(0, 2) > 0) listed.push_back(r);
    }
    RiverSelection selection(listed);
    for (const GridCell& cell : grid.cells) selected.push_back(isSelected(cell, selection));
  }

  reference::PlainRun plainRun() const {
    return {grid, rain, order, selected, params.days, params.subSteps};
  }
};

struct Routed {
  std::string console;
  std::vector<float> means;  // every selected cell's hourly means, hour by hour in grid order
};

Routed routePlain(const RandomBasin& basin, Scheme scheme,
                  PowerFunction power = PowerFunction::kLibm) {
  RoutingStates states = setUpRouting(basin.grid, basin.params);
  reference::HourlyDischarge discharge(basin.selected, basin.params.days);
  std::ostringstream console;
  const bool own = power == PowerFunction::kFast;
  reference::CellStep step = reference::literalStepKinematicWave;
  if (scheme == Scheme::kConservative) {
    step = own ? [](CellRouting& cell, double qIn) {
      return stepConservativeWave(cell, qIn, PowerFunction::kFast);
    } : [](CellRouting& cell, double qIn) { return stepConservativeWave(cell, qIn); };
  } else if (own) {
    step = reference::literalStepKinematicWaveOwnPower;
  }
  reference::plainRouteCells(basin.plainRun(), states, discharge, console, step);
  Routed routed{console.str(), {}};
  for (std::int32_t h = 0; h < basin.params.days * 24; ++h) {
    for (std::int32_t i = 0; i < static_cast<std::int32_t>(basin.grid.cells.size()); ++i) {
      if (discharge.isSelected(i)) routed.means.push_back(discharge.of(i)[h]);
    }
  }
  return routed;
}

// The simulator's routing, in windows of `windowDays` days over the basin's whole-run rain;
// `budgets`, when given, receives the water budgets; `losses`, when given, takes the rainfall
// losses of its method from the rain.
Routed routeLean(const RandomBasin& basin, Scheme scheme, int threads, std::int32_t windowDays,
                 std::vector<BasinBudget>* budgets = nullptr, const LossGrids* losses = nullptr,
                 const LossRule& rule = {}, PowerFunction power = PowerFunction::kLibm) {
  RoutingStates states = setUpRouting(basin.grid, basin.params);
  startFromDryHour(states);
  if (losses != nullptr) startLossStates(states, basin.grid, *losses);
  const RoutingPlan plan = planRouting(basin.grid, basin.order, basin.selected);
  std::optional<WaterBudget> budget;
  if (budgets != nullptr) budget.emplace(basin.grid, plan, basin.listed, states, losses != nullptr);
  const RoutingRun run{basin.grid, basin.order, plan,  basin.params.subSteps,
                       scheme,     rule,        losses, power};
  WindowRouter router(run, states, threads, windowDays);
  WindowGrids grids(outputBackground(basin.grid, basin.selected), windowDays);
  std::ostringstream console;
  Routed routed;
  for (std::int32_t first = 1; first <= basin.params.days; first += windowDays) {
    const std::int32_t days = std::min(windowDays, basin.params.days - first + 1);
    EXPECT_TRUE(router.route(basin.rain, first, days, grids, &console).ok());
    for (std::int32_t h = 0; h < days * 24; ++h) {
      for (std::int32_t i = 0; i < static_cast<std::int32_t>(basin.grid.cells.size()); ++i) {
        if (basin.selected[i]) routed.means.push_back(grids.hour(h)[filePosition(basin.grid, i)]);
      }
    }
  }
  router.finishGroupLines(console);
  routed.console = console.str();
  if (budget) *budgets = budget->close(states);
  return routed;
}

bool sameBits(const std::vector<float>& a, const std::vector<float>& b) {
  // memcmp must not see the null data pointer of an empty vector, even for zero bytes.
  return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * 4) == 0);
}

// Windows of one day up to the whole run, on 1, 2 and 7 threads: the state each cell carries
// from one window to the next is all the routing needs, so every split gives the same bits.
// With the kernel's own power, whose powers of four cells are taken at once, the plain design
// steps each cell alone with the same function.
class RoutingLoopScheme : public ::testing::TestWithParam<std::tuple<Scheme, PowerFunction>> {};

TEST_P(RoutingLoopScheme, MatchesPlainDesignBitForBitOnAnyThreadCountAndWindow) {
  const auto [scheme, power] = GetParam();
  for (std::uint32_t seed = 1; seed <= 300; ++seed) {
    RandomBasin basin(seed);
    Routed plain = routePlain(basin, scheme, power);
    for (int threads : {1, 2, 7}) {
      for (std::int32_t windowDays : {1, 2, 3, 4}) {
        if (windowDays > basin.params.days && windowDays > 1) continue;
        Routed lean = routeLean(basin, scheme, threads, windowDays, nullptr, nullptr, {}, power);
        ASSERT_TRUE(sameBits(lean.means, plain.means))
            << "seed " << seed << ", " << threads << " threads, windows of " << windowDays;
        ASSERT_EQ(lean.console, plain.console)
            << "seed " << seed << ", " << threads << " threads, windows of " << windowDays;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Schemes, RoutingLoopScheme,
    ::testing::Combine(::testing::Values(Scheme::kClassic, Scheme::kConservative),
                       ::testing::Values(PowerFunction::kLibm, PowerFunction::kFast)),
    [](const auto& info) {
      return std::string(schemeName(std::get<0>(info.param))) +
             (std::get<1>(info.param) == PowerFunction::kFast ? "_fast_power" : "");
    });

// How a window is cut into spans of hours: the length of the next span, given the hours left.
using SpanCut = std::function<std::int32_t(std::int32_t left)>;

SpanCut randomCut(std::uint32_t seed) {
  auto rng = std::make_shared<std::mt19937>(seed);
  return [rng](std::int32_t left) {
    // Short spans most often, so that spans start and end inside days and at their edges.
    const std::int32_t most = std::uniform_int_distribution<int>(0, 3)(*rng) == 0 ? 60 : 7;
    return std::uniform_int_distribution<std::int32_t>(1, std::min(left, most))(*rng);
  };
}

SpanCut hourByHour() {
  return [](std::int32_t) { return 1; };
}

SpanCut wholeWindows() {
  return [](std::int32_t left) { return left; };
}

// The simulator's routing as routeLean, each window cut into spans by `cut`. With
// `gaugePositions`, the grids keep the daily values and the hours of those cells only:
// `means` then receives every selected cell's daily mean and maximum, day by day in grid
// order, then the kept cells' hourly means, hour by hour.
Routed routeInSpans(const RandomBasin& basin, Scheme scheme, int threads, std::int32_t windowDays,
                    const SpanCut& cut, const LossGrids* losses = nullptr,
                    const LossRule& rule = {},
                    const std::vector<std::int32_t>* gaugePositions = nullptr) {
  RoutingStates states = setUpRouting(basin.grid, basin.params);
  startFromDryHour(states);
  if (losses != nullptr) startLossStates(states, basin.grid, *losses);
  const RoutingPlan plan = planRouting(basin.grid, basin.order, basin.selected);
  const RoutingRun run{basin.grid, basin.order, plan, basin.params.subSteps, scheme, rule, losses};
  WindowRouter router(run, states, threads, windowDays);
  const std::vector<float> background = outputBackground(basin.grid, basin.selected);
  WindowGrids grids = gaugePositions == nullptr
                          ? WindowGrids(background, windowDays)
                          : WindowGrids(background, windowDays, *gaugePositions);
  std::ostringstream console;
  Routed routed;
  std::vector<float> kept;
  for (std::int32_t first = 1; first <= basin.params.days; first += windowDays) {
    const std::int32_t days = std::min(windowDays, basin.params.days - first + 1);
    for (std::int32_t hour = 0; hour < days * 24;) {
      const std::int32_t hours = cut(days * 24 - hour);
      EXPECT_TRUE(router.route(basin.rain, {first, days, hour, hours}, grids, &console).ok());
      hour += hours;
    }
    for (std::int32_t h = 0; h < days * 24 && gaugePositions == nullptr; ++h) {
      for (std::int32_t i = 0; i < static_cast<std::int32_t>(basin.grid.cells.size()); ++i) {
        if (basin.selected[i]) routed.means.push_back(grids.hour(h)[filePosition(basin.grid, i)]);
      }
    }
    for (std::int32_t d = 0; d < days && gaugePositions != nullptr; ++d) {
      for (std::int32_t i = 0; i < static_cast<std::int32_t>(basin.grid.cells.size()); ++i) {
        if (!basin.selected[i]) continue;
        routed.means.push_back(grids.dayMean(d)[filePosition(basin.grid, i)]);
        routed.means.push_back(grids.dayMax(d)[filePosition(basin.grid, i)]);
      }
    }
    for (std::int32_t h = 0; h < days * 24 && gaugePositions != nullptr; ++h) {
      for (std::int32_t position : *gaugePositions) kept.push_back(grids.hourly(h, position));
    }
  }
  router.finishGroupLines(console);
  routed.console = console.str();
  routed.means.insert(routed.means.end(), kept.begin(), kept.end());
  return routed;
}

// The values routeInSpans gives with gauge positions, from every hour's means (as routePlain
// gives them), through the daily arithmetic of the output files.
std::vector<float> dailyValues(const RandomBasin& basin, const std::vector<float>& hourlyMeans,
                               const std::vector<std::int32_t>& gaugePositions) {
  std::vector<std::int32_t> selected;  // grid indices, in grid order
  for (std::int32_t i = 0; i < static_cast<std::int32_t>(basin.grid.cells.size()); ++i) {
    if (basin.selected[i]) selected.push_back(i);
  }
  auto hourly = [&](std::int32_t hour, std::size_t k) {
    return hourlyMeans[static_cast<std::size_t>(hour) * selected.size() + k];
  };
  std::vector<float> values, kept;
  for (std::int32_t d = 0; d < basin.params.days; ++d) {
    for (std::size_t k = 0; k < selected.size(); ++k) {
      std::vector<float> day;
      for (std::int32_t h = 0; h < 24; ++h) day.push_back(hourly(d * 24 + h, k));
      values.push_back(dailyMean(day));
      values.push_back(dailyMaxHourly(day));
    }
    for (std::int32_t h = 0; h < 24; ++h) {
      for (std::int32_t position : gaugePositions) {
        const auto at = std::find_if(selected.begin(), selected.end(), [&](std::int32_t i) {
          return filePosition(basin.grid, i) == static_cast<std::size_t>(position);
        });
        kept.push_back(at == selected.end()
                           ? outputBackground(basin.grid, basin.selected)[position]
                           : hourly(d * 24 + h, static_cast<std::size_t>(at - selected.begin())));
      }
    }
  }
  values.insert(values.end(), kept.begin(), kept.end());
  return values;
}

// A run stepped an hour at a time, or in spans of any length that start and end inside days,
// gives the bits and the console of the plain design: a cell carries its state from one span
// to the next as from one window to the next, and the group lines come while the first span
// is routed.
class RoutingLoopSpans : public ::testing::TestWithParam<Scheme> {};

TEST_P(RoutingLoopSpans, AnySplitOfAWindowIntoHourSpansMatchesThePlainDesign) {
  for (std::uint32_t seed = 1; seed <= 100; ++seed) {
    RandomBasin basin(seed);
    const Routed plain = routePlain(basin, GetParam());
    for (std::int32_t windowDays : {1, 3}) {
      const int threads = 1 + static_cast<int>(seed % 3);
      for (const SpanCut& cut : {randomCut(seed), hourByHour()}) {
        const Routed spans = routeInSpans(basin, GetParam(), threads, windowDays, cut);
        ASSERT_TRUE(sameBits(spans.means, plain.means))
            << "seed " << seed << ", " << threads << " threads, windows of " << windowDays;
        ASSERT_EQ(spans.console, plain.console) << "seed " << seed;
      }
    }
  }
}

// The daily grids of a run that writes no hourly grid wait for a day's last hour: the running
// float sum and maximum over spans give the bits of the daily arithmetic over all 24 hours,
// and the gauges' kept hours are those of the plain design.
TEST_P(RoutingLoopSpans, DailyGridsFilledSpanBySpanMatchTheDailyArithmetic) {
  for (std::uint32_t seed = 1; seed <= 100; ++seed) {
    RandomBasin basin(seed);
    const Routed plain = routePlain(basin, GetParam());
    std::vector<std::int32_t> gauges;
    for (std::int32_t i = 0; i < static_cast<std::int32_t>(basin.grid.cells.size()); i += 3) {
      gauges.push_back(static_cast<std::int32_t>(filePosition(basin.grid, i)));
    }
    const std::vector<float> expected = dailyValues(basin, plain.means, gauges);
    for (const SpanCut& cut : {wholeWindows(), randomCut(seed + 1000), hourByHour()}) {
      const Routed spans = routeInSpans(basin, GetParam(), 2, 2, cut, nullptr, {}, &gauges);
      ASSERT_TRUE(sameBits(spans.means, expected)) << "seed " << seed;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Schemes, RoutingLoopSpans,
                         ::testing::Values(Scheme::kClassic, Scheme::kConservative),
                         [](const auto& info) { return std::string(schemeName(info.param)); });

// Rain, water passed between basins and water held at the start must all be found again, leaving
// at an outlet or held at the end, in every basin: the random basins hand water across river
// numbers, route cells after the cell they drain into (whose outflow then leaves the network)
// and start from a wet or a dry state. What may remain is double-precision rounding over a few
// thousand steps; the classic scheme misses by percents on the same basins.
TEST(WaterBudget, ConservativeSchemeClosesInEveryBasin) {
  int transfers = 0;
  for (std::uint32_t seed = 1; seed <= 300; ++seed) {
    RandomBasin basin(seed);
    std::vector<BasinBudget> budgets;
    routeLean(basin, Scheme::kConservative, 2, 1, &budgets);
    for (const BasinBudget& b : budgets) {
      const double water = b.rain + b.inflow + b.initialStorage;
      EXPECT_LE(std::abs(b.closureError()), 1e-11 * water + 1e-12)
          << "seed " << seed << ", river " << b.river << ": " << b.rain << " + " << b.inflow
          << " + " << b.initialStorage << " - " << b.outflow << " - " << b.finalStorage;
      transfers += b.inflow > 0;
    }
  }
  EXPECT_GT(transfers, 20);  // the basins do pass water to each other
}

// Random values of every loss grid on every cell, within their ranges.
LossGrids randomLossGrids(const RandomBasin& basin, LossMethod method, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  LossGrids grids;
  grids.method = method;
  const float scale[kLossGridCount] = {1, 20, 8, 30, 99, 20, 300, 1};
  for (std::size_t g = 0; g < kLossGridCount; ++g) {
    grids.values[g].resize(basin.grid.cells.size());
    for (float& v : grids.values[g]) {
      v = g == kCurveNumber ? 1 + scale[g] * unit(rng) : scale[g] * unit(rng);
    }
  }
  return grids;
}

const LossMethod kLossMethods[] = {LossMethod::kConstant, LossMethod::kScsCurveNumber,
                                   LossMethod::kGreenAmpt};

// Each cell carries its loss state from window to window like its discharges: any split and
// thread count gives the bits of one window on one thread.
TEST(RoutingLoop, LossesGiveTheSameBitsOnAnyThreadCountAndWindow) {
  for (std::uint32_t seed = 1; seed <= 60; ++seed) {
    RandomBasin basin(seed);
    for (LossMethod method : kLossMethods) {
      const LossGrids grids = randomLossGrids(basin, method, seed);
      const LossRule rule{method, seed % 2 ? 0.2 : 0.05, seed % 3 ? -1 : 5};
      const Scheme scheme = seed % 2 ? Scheme::kClassic : Scheme::kConservative;
      const Routed whole = routeLean(basin, scheme, 1, basin.params.days, nullptr, &grids, rule);
      const Routed none = routeLean(basin, scheme, 1, basin.params.days);
      for (int threads : {2, 7}) {
        for (std::int32_t windowDays : {1, 2}) {
          Routed lean = routeLean(basin, scheme, threads, windowDays, nullptr, &grids, rule);
          ASSERT_TRUE(sameBits(lean.means, whole.means))
              << "seed " << seed << ", " << lossMethodName(method) << ", " << threads
              << " threads, windows of " << windowDays;
        }
      }
      ASSERT_EQ(whole.means.size(), none.means.size());
      for (std::size_t h = 0; h < whole.means.size() && scheme == Scheme::kConservative; ++h) {
        // Less water in, never more discharge out: the conservative scheme is monotone, up
        // to its Newton tolerance (1e-7 a step) carried through the cells and steps.
        ASSERT_LE(whole.means[h], none.means[h] * (1 + 1e-4f) + 1e-12f)
            << "seed " << seed << ", value " << h << ": " << std::hexfloat << whole.means[h] << " "
            << none.means[h] << " " << lossMethodName(method);
      }
    }
  }
}

// The loss state, too, carries from span to span: any split of the windows into hour spans
// gives the bits of the whole run routed in one call.
TEST(RoutingLoop, LossesGiveTheSameBitsOnAnySplitIntoHourSpans) {
  for (std::uint32_t seed = 1; seed <= 40; ++seed) {
    RandomBasin basin(seed);
    for (LossMethod method : kLossMethods) {
      const LossGrids grids = randomLossGrids(basin, method, seed);
      const LossRule rule{method, seed % 2 ? 0.2 : 0.05, seed % 3 ? -1 : 5};
      const Scheme scheme = seed % 2 ? Scheme::kClassic : Scheme::kConservative;
      const Routed whole = routeLean(basin, scheme, 1, basin.params.days, nullptr, &grids, rule);
      for (const SpanCut& cut : {randomCut(seed), hourByHour()}) {
        const Routed spans = routeInSpans(basin, scheme, 2, 2, cut, &grids, rule);
        ASSERT_TRUE(sameBits(spans.means, whole.means))
            << "seed " << seed << ", " << lossMethodName(method);
      }
    }
  }
}

// With every method the conservative budget still closes: what the rain brings less what the
// loss takes is what reaches the routing.
TEST(WaterBudget, ConservativeSchemeClosesWithEveryLossMethod) {
  for (std::uint32_t seed = 1; seed <= 100; ++seed) {
    RandomBasin basin(seed);
    for (LossMethod method : kLossMethods) {
      const LossGrids grids = randomLossGrids(basin, method, seed);
      std::vector<BasinBudget> budgets;
      routeLean(basin, Scheme::kConservative, 2, 1, &budgets, &grids, {method, 0.2, 12});
      for (const BasinBudget& b : budgets) {
        const double water = b.rain + b.inflow + b.initialStorage;
        EXPECT_LE(std::abs(b.closureError()), 1e-11 * water + 1e-12)
            << "seed " << seed << ", " << lossMethodName(method) << ", river " << b.river;
        EXPECT_GE(b.loss, -1e-9 * b.rain);
        EXPECT_LE(b.loss, b.rain * (1 + 1e-12));
      }
      if (budgets.back().rain > 0) {
        EXPECT_GT(budgets.back().loss, 0.0) << "seed " << seed << ", " << lossMethodName(method);
      }
    }
  }
}

TEST(RoutingLoop, RandomBasinsExerciseEveryDependencyKind) {
  // Guards the generator: the comparison above only means something if the basins hold cells
  // routed after the cell they drain into, unselected feeders and eight-neighbour confluences.
  int laterFeeder = 0, unselectedFeeder = 0, eightFeeders = 0;
  for (std::uint32_t seed = 1; seed <= 300; ++seed) {
    RandomBasin basin(seed);
    std::vector<std::int32_t> position(basin.grid.cells.size(), -1);
    for (std::size_t e = 0; e < basin.order.calcOrder.size(); ++e) {
      position[basin.grid.index(basin.order.calcOrder[e].row, basin.order.calcOrder[e].col)] =
          static_cast<std::int32_t>(e);
    }
    for (std::size_t i = 0; i < basin.grid.cells.size(); ++i) {
      const GridCell& cell = basin.grid.cells[i];
      if (!basin.selected[i] || position[i] < 0) continue;
      eightFeeders += cell.upCount == 8;
      for (std::int32_t s = 0; s < cell.upCount; ++s) {
        laterFeeder += basin.selected[cell.up[s]] && position[cell.up[s]] > position[i];
        unselectedFeeder += !basin.selected[cell.up[s]];
      }
    }
  }
  EXPECT_GT(laterFeeder, 50);
  EXPECT_GT(unselectedFeeder, 50);
  EXPECT_GT(eightFeeders, 5);
}

TEST(RoutingPlan, FeedersComeBeforeTheCellTheyFeedAndEachFeedsOne) {
  for (std::uint32_t seed = 1; seed <= 100; ++seed) {
    RandomBasin basin(seed);
    RoutingPlan plan = planRouting(basin.grid, basin.order, basin.selected);
    std::vector<int> fed(plan.size(), 0);
    for (std::int32_t t = 0; t < plan.size(); ++t) {
      for (std::int32_t f : plan.feedersOf(t)) {
        EXPECT_LT(f, t);
        EXPECT_EQ(plan.consumer[f], t);
        ++fed[f];
      }
    }
    for (std::int32_t t = 0; t < plan.size(); ++t) EXPECT_EQ(fed[t], plan.consumer[t] >= 0);
  }
}

TEST(RoutingPlan, BranchingNetworkKeepsFewHistoriesWaiting) {
  // A binary tree of 2^k - 1 cells needs k + 1 histories at once in the best order (one per
  // level plus the one being written), where the calculation order, all headwaters first,
  // would hold 2^(k-1).
  const int levels = 10, n = (1 << levels) - 1;
  TopoGrid grid;
  grid.rows = 1;
  grid.cols = n;
  grid.cells.resize(n);
  CalculationOrder order;
  std::vector<std::uint8_t> selected(n, 1);
  for (int i = 0; i < n; ++i) {
    // Heap numbering: cell i drains into (i - 1) / 2; leaves have the largest numbers.
    GridCell& cell = grid.cells[i];
    cell.riverNum = 0;
    for (int child : {2 * i + 1, 2 * i + 2}) {
      if (child < n) cell.up[cell.upCount++] = child;
    }
  }
  for (int i = n - 1; i >= 0; --i) order.calcOrder.push_back({0, i});
  order.groupSizes = {n};
  order.groupCount = 1;
  order.orderCount = n;
  RoutingPlan plan = planRouting(grid, order, selected);
  EXPECT_EQ(plan.size(), n);
  EXPECT_EQ(plan.peakWaiting, levels + 1);
}

// With the C library's pow the step reuses powers; with the kernel's own it takes the old
// discharges' powers a block at a time (cells of up to 40 space intervals cross a block).
class KinematicWaveStep : public ::testing::TestWithParam<PowerFunction> {};

TEST_P(KinematicWaveStep, MatchesLiteralStep) {
  const PowerFunction power = GetParam();
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int trial = 0; trial < 2000; ++trial) {
    CellRouting cell;
    cell.nodes = trial % 50 == 49 ? 40 : 1 + trial % 4;
    cell.dt = 60 * (1 + trial % 5);
    cell.dx = 20 + 100 * unit(rng);
    cell.theta = (trial % 3) / 2.0;
    cell.mExp = 1 + 0.666667;
    cell.alpha = 0.1 + 3 * unit(rng);
    prepareStepConstants(cell);
    cell.qOld.assign(cell.nodes + 1, 0.0);
    for (double& q : cell.qOld) q = trial % 5 == 0 ? 0.0 : 5 * unit(rng);
    cell.qNew = cell.qOld;
    CellRouting literal = cell;
    for (int step = 0; step < 50; ++step) {
      // Inflows that repeat, vanish and jump, and rain that starts and stops.
      const double qIn = step % 7 < 3 ? 0.0 : (step % 7 < 5 ? 1.5 : 4 * unit(rng));
      const double lateral = step % 11 < 4 ? 0.0 : 1e-4 * unit(rng);
      cell.qLatCur = literal.qLatCur = lateral;
      const float fast = stepKinematicWave(cell, qIn, power);
      const float plain = power == PowerFunction::kFast
                              ? reference::literalStepKinematicWaveOwnPower(literal, qIn)
                              : reference::literalStepKinematicWave(literal, qIn);
      ASSERT_EQ(std::memcmp(&fast, &plain, 4), 0) << "trial " << trial << " step " << step;
      ASSERT_EQ(std::memcmp(cell.qOld.data(), literal.qOld.data(), cell.qOld.size() * 8), 0);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Powers, KinematicWaveStep,
                         ::testing::Values(PowerFunction::kLibm, PowerFunction::kFast),
                         [](const auto& info) {
                           return std::string(info.param == PowerFunction::kFast ? "Own" : "Pow");
                         });

}  // namespace
}  // namespace runoff
