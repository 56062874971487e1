// A basin working directory loaded for a benchmark as a run loads it (the run's own set-up),
// with the whole run's rainfall in memory, so that routing can be timed on its own.
#ifndef RUNOFF_BENCH_BENCH_BASIN_H_
#define RUNOFF_BENCH_BENCH_BASIN_H_

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <iostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "common/params.h"
#include "runoff/inputs/calc_order.h"
#include "runoff/inputs/rain_grid.h"
#include "runoff/output/discharge_output.h"
#include "runoff/routing/window_router.h"
#include "runoff/run/run_checks.h"
#include "runoff/run/run_inputs.h"

namespace runoff::bench {

struct BenchBasin {
  RunParameters params;
  RunInputs inputs;
  RainGrid rain;  // days 1 to params.days
  CalculationOrder order;
};

/// Rewrites the parameter file in `dir` with the values numbered (from 1, as in the file) in
/// `values` replaced, one value a line.
inline void setParameterValues(const std::filesystem::path& dir,
                               std::initializer_list<std::pair<int, std::string>> values) {
  std::vector<std::string> tokens;
  {
    std::ifstream in(dir / kParameterFileName);
    for (std::string token; in >> token;) tokens.push_back(token);
  }
  for (const auto& [number, text] : values) tokens.at(number - 1) = text;
  std::ofstream out(dir / kParameterFileName, std::ios::trunc);
  for (const std::string& token : tokens) out << token << '\n';
}

/// Loads the basin in `dir`, which becomes the working directory; `days` and `timeStep`
/// override the parameter file when positive. Prints the failure on standard error.
inline bool loadBenchBasin(const std::filesystem::path& dir, int days, int timeStep,
                           BenchBasin& basin) {
  std::filesystem::current_path(dir);
  std::ostringstream quiet;
  Result<RunParameters> read =
      readParameters(std::string("./") + kParameterFileName, ParamScope::kSimulation, quiet);
  if (!read.ok()) {
    std::cerr << read.message() << '\n';
    return false;
  }
  basin.params = read.value();
  if (days > 0) basin.params.days = days;
  if (timeStep > 0) {
    basin.params.timeStep = timeStep;
    basin.params.subSteps = 3600 / timeStep;
  }
  const Result<MemoryLimit> memory = memoryLimit();
  Result<RunInputs> inputs =
      memory.ok() ? loadRunInputs(basin.params, 1, *memory, quiet) : memory.status();
  if (!inputs.ok()) {
    std::cerr << inputs.message() << '\n';
    return false;
  }
  basin.inputs = std::move(inputs).value();
  basin.order = buildCalculationOrder(basin.inputs.topo);
  basin.rain = buildRainGrid(basin.params);
  std::ifstream rainFile(kRainfallPath);
  if (Status rain = readRainfall(rainFile, basin.rain); !rain.ok()) {
    std::cerr << rain.message() << '\n';
    return false;
  }
  return true;
}

/// Routes the whole run of `basin` with `run` from `states` on `threads` threads, window after
/// window as a run takes it, into `grids` (made here, of the run's windows); hands each window
/// and its number of days to `eachWindow`. Prints a failure on standard error and exits.
inline void routeWholeRun(
    const BenchBasin& basin, const RoutingRun& run, RoutingStates& states, int threads,
    WindowGrids& grids,
    const std::function<void(const WindowGrids&, std::int32_t)>& eachWindow = {}) {
  const std::int32_t windowDays = grids.maxDays();
  WindowRouter router(run, states, threads, windowDays);
  std::ostringstream console;
  for (std::int32_t first = 1; first <= basin.params.days; first += windowDays) {
    const std::int32_t days = std::min(windowDays, basin.params.days - first + 1);
    if (Status routed = router.route(basin.rain, first, days, grids, &console); !routed.ok()) {
      std::cerr << routed.message() << '\n';
      std::exit(1);
    }
    if (eachWindow) eachWindow(grids, days);
  }
}

/// The window grids of a whole run of `basin`: its windows' length, the run's background.
inline WindowGrids windowGridsOf(const BenchBasin& basin) {
  const TopoGrid& grid = basin.inputs.topo;
  return WindowGrids(outputBackground(grid, basin.inputs.selected),
                     windowDaysFor(basin.params.days, grid.cells.size()));
}

}  // namespace runoff::bench

#endif  // RUNOFF_BENCH_BENCH_BASIN_H_
