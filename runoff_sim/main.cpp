// runoff-sim: routes hourly rainfall through every cell of the listed rivers and writes the
// daily and hourly discharge grids. Every file lies at a fixed path relative to the working
// directory; the options only choose the routing scheme, add a restart state or print a water
// budget (runoff-sim --help). Each step below is one
// call; any failure prints one line and ends the run with exit status 1, leaving no output
// file under its final name.
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iostream>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "common/discharge_files.h"
#include "common/params.h"
#include "common/status.h"
#include "runoff/inputs/calc_order.h"
#include "runoff/output/discharge_vrt.h"
#include "runoff/run/progress.h"
#include "runoff/inputs/rain_grid.h"
#include "runoff/routing/window_router.h"
#include "runoff/routing/routing_plan.h"
#include "runoff/routing/routing_setup.h"
#include "runoff/run/run_checks.h"
#include "runoff/run/run_inputs.h"
#include "runoff/output/run_state.h"
#include "runoff/run/sim_options.h"
#include "runoff/run/simulation.h"
#include "runoff/routing/water_budget.h"

namespace {

using namespace runoff;

int fail(const std::string& message) {
  std::cout << message << std::endl;
  return 1;
}

int runSimulation(const SimOptions& options) {
  std::ostream& out = std::cout;
  const Result<MemoryBudget> budget = memoryBudget();
  if (!budget.ok()) return fail(budget.message());
  const Result<RunParameters> read =
      readParameters(std::string("./") + kParameterFileName, ParamScope::kSimulation, out);
  if (!read.ok()) return fail(read.message());
  const RunParameters& params = read.value();
  const std::int32_t windowDays =
      windowDaysFor(params.days, static_cast<std::size_t>(params.topoRows) * params.topoCols);

  Result<RunInputs> inputs = loadRunInputs(params, windowDays, *budget, out);
  if (!inputs.ok()) return fail(inputs.message());
  RunInputs& run = *inputs;

  out << "Setting parameter data." << '\n';
  if (Status fits = checkRoutingMemory(run.topo, params, windowDays, *budget, options.budget);
      !fits.ok()) {
    return fail(fits.message());
  }
  RoutingStates states = setUpRouting(run.topo, params);

  CalculationOrder order;
  if (Status got = obtainCalculationOrder(run.topo, params, order, out); !got.ok()) {
    return fail(got.message());
  }
  out << "Total simulation time is " << params.days << " days." << '\n' << '\n';

  // The whole rainfall file is checked before routing starts; it is then read again, one
  // window at a time.
  out << "Read " << kRainfallPath << '\n';
  std::ifstream rainFile;
  if (!openInput(rainFile, kRainfallPath)) return fail("ROF file cannot open.");
  if (Status rain = checkRainfall(rainFile, run.rain.rows, run.rain.cols, params.days);
      !rain.ok()) {
    return fail(rain.message());
  }
  rainFile.clear();
  rainFile.seekg(0);

  const RoutingPlan plan = planRouting(run.topo, order, run.selected);
  std::vector<std::int32_t> routedCells(plan.cell);
  std::sort(routedCells.begin(), routedCells.end());
  const StateKey key =
      makeStateKey(params, run.rivers.riverNums, order, static_cast<std::uint32_t>(options.scheme));
  std::int64_t daysBefore = 0;
  if (options.stateIn) {
    const Result<StoredState> loaded = readRunState(*options.stateIn, key, routedCells);
    if (!loaded.ok()) return fail(loaded.message());
    applyCellStates(loaded->cells, routedCells, states);
    daysBefore = loaded->daysBefore;
    out << "Start from state " << *options.stateIn << " (simulated days before it: " << daysBefore
        << ")." << '\n';
  } else {
    startFromDryHour(states);
  }
  std::optional<WaterBudget> waterBudget;
  if (options.budget) waterBudget.emplace(run.topo, plan, run.rivers.riverNums, states);

  if (Status writable = checkOutputDirectory(); !writable.ok()) return fail(writable.message());
  if (Status space = checkOutputSpace(params); !space.ok()) return fail(space.message());
  Result<std::unique_ptr<DischargeWriter>> writer =
      DischargeWriter::create(kOutputDirectory, run.topo.cells.size());
  if (!writer.ok()) return fail(writer.message());

  if (options.scheme != Scheme::kClassic) {
    out << "Routing scheme: " << schemeName(options.scheme) << '.' << '\n';
  }
  out << "Runoff simulation starts." << '\n';
  {
    const RoutingRun routing{run.topo, order, plan, params.subSteps, options.scheme};
    const std::int64_t totalSteps = static_cast<std::int64_t>(plan.size()) * params.days * 24 *
                                    static_cast<std::int64_t>(params.subSteps);
    ProgressLine progress(STDERR_FILENO, totalSteps, params.days);
    const SimulationRun simulation{routing,     states,     run.selected,
                                   params.days, windowDays, routingThreads()};
    if (Status routed = simulate(simulation, rainFile, run.rain, **writer, out, &progress);
        !routed.ok()) {
      return fail(routed.message());
    }
  }
  out << '\n' << "Runoff simulation ends." << '\n';

  for (DischargeFile file : kDischargeFiles) out << "Write " << outputPath(file) << '\n';
  std::unique_ptr<AtomicFile> state;
  if (options.stateOut) {
    CellStates cells{params.spaceSteps, {}};
    collectCellStates(routedCells, states, cells);
    Result<std::unique_ptr<AtomicFile>> written =
        writeRunState(*options.stateOut, key, daysBefore + params.days, routedCells, cells);
    if (!written.ok()) return fail(written.message());
    state = std::move(written).value();
  }
  if (Status published = (*writer)->publish(); !published.ok()) return fail(published.message());
  if (Status views = writeDischargeVrts(params); !views.ok()) return fail(views.message());
  if (state && !state->publish())
    return fail("State file " + *options.stateOut + " cannot be written.");
  if (waterBudget) writeBudgetReport(out, options.scheme, waterBudget->close(states));
  out.flush();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const Result<SimOptions> options =
        parseSimOptions(std::vector<std::string>(argv + std::min(argc, 1), argv + argc));
    if (!options.ok()) return fail("runoff-sim: " + options.message());
    if (options->help) {
      std::cout << simHelpText("runoff-sim");
      return 0;
    }
    return runSimulation(*options);
  } catch (const std::bad_alloc&) {
    return fail("runoff-sim: not enough memory for this run.");
  } catch (const std::length_error&) {
    return fail("runoff-sim: not enough memory for this run.");
  } catch (const std::exception& error) {
    return fail(std::string("runoff-sim: ") + error.what());
  }
}
