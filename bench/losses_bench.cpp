// Losses benchmark: routes a basin working directory without rainfall losses and with each loss
// method, on one thread in the simulator's windows, and prints the time of each and its ratio
// to the run without losses; then times the methods alone over the same cells and hours, the
// part of the cost that is theirs (less water also changes the routing's own cost). The loss grids
// are made here: typical values that vary from cell to cell (curve numbers 55 to 90, Ks 1 to 30
// mm/h, suction 50 to 300 mm, and so on, a fifth of each cell at most impervious), so that every
// cell takes its own path through the methods. Each routing is repeated `runs` times and its
// fastest run kept, the steadiest figure on a shared machine; the runs of the methods alternate, so
// that a busy spell of the machine does not fall on one method alone.
//
// Usage: losses_bench [basin-dir] [runs] [days]
//   basin-dir defaults to examples/bench-basin, runs to 3; days (0: as in the parameter file)
//   overrides the parameter file, the rain file's missing days staying dry.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <random>
#include <sstream>
#include <vector>

#include "bench_basin.h"
#include "runoff/inputs/loss_grids.h"
#include "runoff/output/discharge_output.h"
#include "runoff/routing/routing_plan.h"
#include "runoff/routing/routing_setup.h"
#include "runoff/routing/window_router.h"

namespace {

using namespace runoff;

using Basin = bench::BenchBasin;

// Every grid filled with values between `low` and `high` of each grid, drawn per cell.
LossGrids typicalGrids(const Basin& basin, LossMethod method) {
  struct Span {
    float low, high;
  };
  const Span spans[kLossGridCount] = {{0, 0.2f}, {5, 20}, {1, 5},    {5, 20},
                                      {55, 90},  {1, 30}, {50, 300}, {0.1f, 0.45f}};
  std::mt19937 random(2024);
  LossGrids grids;
  grids.method = method;
  for (std::size_t g = 0; g < kLossGridCount; ++g) {
    std::uniform_real_distribution<float> value(spans[g].low, spans[g].high);
    grids.values[g].resize(basin.inputs.topo.cells.size());
    for (float& v : grids.values[g]) v = value(random);
  }
  return grids;
}

// Seconds of one routing of the whole run on one thread, window after window as a run takes
// it; `outletFlow` receives the sum of the last window's hourly means (a check that the methods
// route different water).
double route(const Basin& basin, const RoutingPlan& plan, const LossGrids& grids,
             double& outletFlow) {
  const TopoGrid& grid = basin.inputs.topo;
  RoutingStates states = setUpRouting(grid, basin.params);
  startFromDryHour(states);
  startLossStates(states, grid, grids);
  const LossRule rule{grids.method, 0.2, -1};
  const RoutingRun run{grid, basin.order, plan, basin.params.subSteps, Scheme::kClassic,
                       rule, &grids};
  WindowGrids windows = windowGridsOf(basin);
  const auto start = std::chrono::steady_clock::now();
  routeWholeRun(basin, run, states, 1, windows);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  outletFlow = 0;
  for (std::int32_t h = 0; h < windows.days() * 24; ++h) {
    for (float q : windows.hour(h)) outletFlow += q > 0 ? q : 0;
  }
  return seconds;
}

// Seconds of the loss methods alone: every routed cell's rain of every hour of the run through
// rainfallExcess, as the routing calls it, without routing.
double lossesAlone(const Basin& basin, const RoutingPlan& plan, const LossGrids& grids,
                   double& excessSum) {
  const LossRule rule{grids.method, 0.2, -1};
  std::vector<LossParameters> parameters;
  std::vector<LossState> states;
  for (std::int32_t t = 0; t < plan.size(); ++t) {
    parameters.push_back(grids.parametersOf(plan.cell[t]));
    states.push_back(freshLossState(parameters.back()));
  }
  const auto start = std::chrono::steady_clock::now();
  excessSum = 0;
  for (std::int32_t day = 1; day <= basin.params.days; ++day) {
    for (std::int32_t hour = 0; hour < 24; ++hour) {
      for (std::int32_t t = 0; t < plan.size(); ++t) {
        const GridCell& cell = basin.inputs.topo.cells[plan.cell[t]];
        const double rain = basin.rain.rain(cell.rainCell, day, hour);
        excessSum += rainfallExcess(rule, parameters[t], states[t], rain);
      }
    }
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path dir = argc > 1 ? argv[1] : "examples/bench-basin";
  const int runs = std::max(1, argc > 2 ? std::atoi(argv[2]) : 3);
  const int days = argc > 3 ? std::atoi(argv[3]) : 0;
  Basin basin;
  if (!bench::loadBenchBasin(std::filesystem::absolute(dir), days, 0, basin)) return 1;
  const RoutingPlan plan = planRouting(basin.inputs.topo, basin.order, basin.inputs.selected);
  const double cellHours = static_cast<double>(plan.size()) * 24.0 * basin.params.days;
  std::printf("basin %s: %lld routed cells, %d days, subSteps %d, spaceSteps %d, one thread\n",
              dir.string().c_str(), static_cast<long long>(plan.size()), basin.params.days,
              basin.params.subSteps, basin.params.spaceSteps);
  const LossMethod methods[] = {LossMethod::kNone, LossMethod::kConstant,
                                LossMethod::kScsCurveNumber, LossMethod::kGreenAmpt};
  std::vector<LossGrids> grids;
  for (LossMethod method : methods) grids.push_back(typicalGrids(basin, method));
  std::vector<double> best(grids.size(), 0), flow(grids.size(), 0);
  std::vector<double> alone(grids.size(), 0), excess(grids.size(), 0);
  for (int run = 0; run < runs; ++run) {
    for (std::size_t m = 0; m < grids.size(); ++m) {
      const double seconds = route(basin, plan, grids[m], flow[m]);
      if (run == 0 || seconds < best[m]) best[m] = seconds;
      const double kernel = lossesAlone(basin, plan, grids[m], excess[m]);
      if (run == 0 || kernel < alone[m]) alone[m] = kernel;
    }
  }
  std::printf("%-12s %10s %14s %8s %22s %18s %10s\n", "losses", "seconds", "ns/cell-hour", "ratio",
              "last window's flow", "losses alone ns", "share");
  for (std::size_t m = 0; m < grids.size(); ++m) {
    std::printf("%-12s %10.3f %14.1f %8.3f %22.6e %18.1f %10.3f\n", lossMethodName(methods[m]),
                best[m], 1e9 * best[m] / cellHours, best[m] / best[0], flow[m],
                1e9 * alone[m] / cellHours, alone[m] / best[0]);
  }
  std::printf(
      "best of %d runs each; ratio: routing time with the method / without losses; losses\n"
      "alone: the methods without routing, per cell-hour; share: their time / the routing\n"
      "time without losses\n",
      runs);
  return 0;
}
