// runoff-sim: routes hourly rainfall through every cell of the listed rivers and writes the
// daily and hourly discharge grids. No arguments; every file lies at a fixed path relative to
// the working directory. Each step below is one call; any failure prints one line and ends
// the run with exit status 1.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <new>
#include <string>

#include "common/params.h"
#include "runoff_sim/calc_order.h"
#include "runoff_sim/discharge_output.h"
#include "runoff_sim/discharge_vrt.h"
#include "runoff_sim/rain_grid.h"
#include "runoff_sim/rain_mapping.h"
#include "runoff_sim/river_list.h"
#include "runoff_sim/routing_loop.h"
#include "runoff_sim/routing_setup.h"
#include "runoff_sim/run_checks.h"
#include "runoff_sim/topo_grid.h"

namespace {

using namespace runoff;

// Opens an input file; a directory in its place opens too, but is no file.
bool openInput(std::ifstream& in, const char* path) {
  in.open(path);
  return in.is_open() && !std::filesystem::is_directory(path);
}

int fail(const std::string& message) {
  std::cout << message << std::endl;
  return 1;
}

int runSimulation() {
  std::ostream& out = std::cout;
  const Result<MemoryBudget> budget = memoryBudget();
  if (!budget.ok()) return fail(budget.message());
  Result<RunParameters> read =
      readParameters(std::string("./") + kParameterFileName, ParamScope::kSimulation, out);
  if (!read.ok()) return fail(read.message());
  const RunParameters& params = read.value();

  RiverList rivers;
  {
    std::ifstream list;
    if (!openInput(list, kRiverListPath)) return fail("riverNumList.dat cannot open.");
    rivers.riverCount = countLines(list);
  }
  out << "Number of rivers for simulation : " << rivers.riverCount << '\n' << '\n';
  {
    std::ifstream list;
    if (!openInput(list, kRiverListPath)) return fail("riverNumList.dat cannot open.");
    auto records = readRiverRecords(list, rivers.riverCount);
    if (!records.ok()) return fail(records.message());
    rivers.riverNums = std::move(records).value();
  }

  if (Status status = checkGridSizes(params, *budget); !status.ok()) return fail(status.message());
  RainGrid rain = buildRainGrid(params);
  TopoGrid topo;
  if (Status status = loadTopography(topo, params); !status.ok()) return fail(status.message());

  if (Status status = mapCellsToRain(topo, rain, params, out); !status.ok()) {
    return fail(status.message());
  }

  out << "Setting parameter data." << '\n';
  if (Status status = checkRoutingMemory(topo, params, *budget); !status.ok()) {
    return fail(status.message());
  }
  RoutingStates states = setUpRouting(topo, params);

  CalculationOrder order;
  if (Status status = obtainCalculationOrder(topo, params, order, out); !status.ok()) {
    return fail(status.message());
  }
  out << "Total simulation time is " << params.days << " days." << '\n' << '\n';

  out << "Read " << kRainfallPath << '\n';
  {
    std::ifstream rainFile;
    if (!openInput(rainFile, kRainfallPath)) return fail("ROF file cannot open.");
    if (Status status = readRainfall(rainFile, rain); !status.ok()) return fail(status.message());
  }

  if (Status status = checkOutputDirectory(); !status.ok()) return fail(status.message());
  out << "Runoff simulation starts." << '\n';
  const RiverSelection selection(rivers.riverNums);
  std::vector<std::uint8_t> selected(topo.cells.size());
  for (std::size_t i = 0; i < topo.cells.size(); ++i) {
    selected[i] = isSelected(topo.cells[i], selection) ? 1 : 0;
  }
  HourlyDischarge discharge(selected, params.days);
  routeCells({topo, rain, order, selected, params.days, params.subSteps}, states, discharge, out,
             routingThreads());
  out << '\n' << "Runoff simulation ends." << '\n';

  if (Status status = writeDischargeFiles(topo, discharge, out); !status.ok()) {
    return fail(status.message());
  }
  if (Status status = writeDischargeVrts(params); !status.ok()) return fail(status.message());
  out.flush();
  return 0;
}

}  // namespace

int main() {
  try {
    return runSimulation();
  } catch (const std::bad_alloc&) {
    return fail("runoff-sim: not enough memory for this run.");
  } catch (const std::length_error&) {
    return fail("runoff-sim: not enough memory for this run.");
  } catch (const std::exception& error) {
    return fail(std::string("runoff-sim: ") + error.what());
  }
}
