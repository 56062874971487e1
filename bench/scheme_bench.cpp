// Scheme benchmark: routes a basin working directory with the classic and the conservative
// scheme, each on one thread in the simulator's windows and with the water budget counted as
// `runoff-sim --budget` counts it, and prints the cost per cell-step of each, their ratio and
// each scheme's budget closure over all listed basins. Every scheme is routed `runs` times and
// its fastest run is kept, the steadiest figure on a shared machine.
//
// Usage: scheme_bench [basin-dir] [runs] [days]
//   basin-dir defaults to examples/bench-basin, runs to 3; days (0: as in the parameter file)
//   overrides the parameter file, the rain file's missing days staying dry.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "bench_basin.h"
#include "common/params.h"
#include "runoff/inputs/calc_order.h"
#include "runoff/inputs/rain_grid.h"
#include "runoff/output/discharge_output.h"
#include "runoff/routing/routing_plan.h"
#include "runoff/routing/routing_setup.h"
#include "runoff/routing/water_budget.h"
#include "runoff/routing/window_router.h"
#include "runoff/run/run_checks.h"
#include "runoff/run/run_inputs.h"

namespace {

using namespace runoff;

using Basin = bench::BenchBasin;

struct Measurement {
  double seconds = 0;
  BasinBudget total;
};

// One routing of the whole run on one thread, window after window as a run takes it.
Measurement route(const Basin& basin, const RoutingPlan& plan, Scheme scheme) {
  const TopoGrid& grid = basin.inputs.topo;
  RoutingStates states = setUpRouting(grid, basin.params);
  startFromDryHour(states);
  WaterBudget budget(grid, plan, basin.inputs.rivers.riverNums, states);
  const RoutingRun run{grid, basin.order, plan, basin.params.subSteps, scheme};
  WindowGrids grids = windowGridsOf(basin);
  const auto start = std::chrono::steady_clock::now();
  routeWholeRun(basin, run, states, 1, grids);
  Measurement m;
  m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  m.total = budget.close(states).back();
  return m;
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path dir = argc > 1 ? argv[1] : "examples/bench-basin";
  const int runs = std::max(1, argc > 2 ? std::atoi(argv[2]) : 3);
  const int days = argc > 3 ? std::atoi(argv[3]) : 0;
  Basin basin;
  if (!bench::loadBenchBasin(std::filesystem::absolute(dir), days, 0, basin)) return 1;
  const RoutingPlan plan = planRouting(basin.inputs.topo, basin.order, basin.inputs.selected);
  const double cellSteps =
      static_cast<double>(plan.size()) * 24.0 * basin.params.days * basin.params.subSteps;
  std::printf("basin %s: %lld routed cells, %d days, subSteps %d, spaceSteps %d: %.4g cell-steps\n",
              dir.string().c_str(), static_cast<long long>(plan.size()), basin.params.days,
              basin.params.subSteps, basin.params.spaceSteps, cellSteps);
  std::printf("%-14s %12s %16s %18s %16s\n", "scheme", "seconds", "ns/cell-step",
              "closure error m3", "of the rain");
  double nsPerStep[2] = {};
  for (Scheme scheme : {Scheme::kClassic, Scheme::kConservative}) {
    Measurement best;
    for (int run = 0; run < runs; ++run) {
      const Measurement m = route(basin, plan, scheme);
      if (run == 0 || m.seconds < best.seconds) best = m;
    }
    const double ns = 1e9 * best.seconds / cellSteps;
    nsPerStep[static_cast<int>(scheme)] = ns;
    std::printf("%-14s %12.3f %16.2f %18.6e %16.3e\n", schemeName(scheme), best.seconds, ns,
                best.total.closureError(), best.total.closureError() / best.total.rain);
  }
  std::printf("cost per cell-step, conservative / classic: %.2f (best of %d runs each)\n",
              nsPerStep[1] / nsPerStep[0], runs);
  return 0;
}
