// runoff-sim-mpi: runoff-sim on several processes (mpirun -np N runoff-sim-mpi [options]), with
// the same options, console text and files, byte for byte, for any number of processes and
// threads. Rank 0 talks to the console, makes or reads the caches and writes every file; the
// routed cells are partitioned by drainage among all ranks, which route their part window
// after window and pass the outflow of cut tributaries on as messages. A failure on any rank
// ends every rank with one line and exit status 1.
#include <mpi.h>

#include <algorithm>
#include <fstream>
#include <iostream>
#include <memory>
#include <new>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "common/discharge_files.h"
#include "common/params.h"
#include "common/status.h"
#include "runoff/inputs/calc_order.h"
#include "runoff/output/discharge_output.h"
#include "runoff/output/discharge_vrt.h"
#include "runoff/inputs/rain_grid.h"
#include "runoff/inputs/rain_mapping.h"
#include "runoff/routing/window_router.h"
#include "runoff/routing/routing_plan.h"
#include "runoff/model/routing_scheme.h"
#include "runoff/routing/routing_setup.h"
#include "runoff/run/run_checks.h"
#include "runoff/run/run_inputs.h"
#include "runoff/output/run_state.h"
#include "runoff/run/sim_options.h"
#include "runoff/routing/water_budget.h"
#include "runoff_sim_mpi/rank_messages.h"
#include "runoff_sim_mpi/partition.h"

namespace {

using namespace runoff;

// A failure every rank agreed on: rank 0 prints its line; all end with status 1.
struct Failed {
  std::string message;
};

class Run {
 public:
  explicit Run(const MpiWorld& world) : world_(world) {}

  // The console: rank 0's standard output; the other ranks' text goes nowhere.
  std::ostream& out() { return world_.rank == 0 ? std::cout : quiet_; }

  // Every rank's outcome of a step; a failure on any ends the run on all.
  void check(const Status& mine) {
    const Status all = agree(world_, mine);
    if (!all.ok()) throw Failed{all.message()};
  }
  template <typename T>
  T take(Result<T> mine) {
    check(mine.status());
    return std::move(mine).value();
  }

  void simulate(const SimOptions& options);

 private:
  MpiWorld world_;
  std::ostringstream quiet_;
};

void Run::simulate(const SimOptions& options) {
  const MemoryBudget budget = take(memoryBudget());
  const RunParameters params =
      take(readParameters(std::string("./") + kParameterFileName, ParamScope::kSimulation, out()));
  quiet_.str("");
  const std::int32_t windowDays =
      windowDaysFor(params.days, static_cast<std::size_t>(params.topoRows) * params.topoCols);

  // Every rank reads the grids; rank 0 alone makes or reads the mapping cache, and passes the
  // ties on.
  RunInputs run = take(loadRunInputs(params, windowDays, budget, out(),
                                     world_.rank == 0 ? RainTies::kMapped : RainTies::kSupplied));
  {
    std::vector<std::int32_t> ties(run.topo.cells.size());
    for (std::size_t i = 0; i < ties.size(); ++i) ties[i] = run.topo.cells[i].rainCell;
    broadcast(ties);
    for (std::size_t i = 0; i < ties.size(); ++i) {
      setRainCell(run.topo.cells[i], run.rain, ties[i] / run.rain.cols, ties[i] % run.rain.cols);
    }
  }

  out() << "Setting parameter data." << '\n';
  check(checkRoutingMemory(run.topo, params, windowDays, budget, options.budget));

  CalculationOrder order;
  check(world_.rank == 0 ? obtainCalculationOrder(run.topo, params, order, out()) : Status());
  {
    std::vector<std::int32_t> flat{order.groupCount, order.orderCount};
    flat.insert(flat.end(), order.groupSizes.begin(), order.groupSizes.end());
    for (const CellIndex& c : order.calcOrder) {
      flat.push_back(c.row);
      flat.push_back(c.col);
    }
    broadcast(flat);
    order.groupCount = flat[0];
    order.orderCount = flat[1];
    order.groupSizes.assign(flat.begin() + 2, flat.begin() + 2 + order.groupCount);
    order.calcOrder.clear();
    for (std::size_t k = 2 + static_cast<std::size_t>(order.groupCount); k < flat.size(); k += 2) {
      order.calcOrder.push_back({flat[k], flat[k + 1]});
    }
  }
  out() << "Total simulation time is " << params.days << " days." << '\n' << '\n';

  // Rank 0 checks the whole rainfall file; every rank then reads it window by window.
  out() << "Read " << kRainfallPath << '\n';
  std::ifstream rainFile;
  check(openInput(rainFile, kRainfallPath) ? Status()
                                           : Status::cannotOpen("ROF file cannot open."));
  check(world_.rank == 0 ? checkRainfall(rainFile, run.rain.rows, run.rain.cols, params.days)
                         : Status());
  rainFile.clear();
  rainFile.seekg(0);

  // The same plan and partition on every rank; each sets up the cells it routes.
  const RoutingPlan plan = planRouting(run.topo, order, run.selected);
  const Partition partition = partitionByDrainage(plan, world_.size);
  std::vector<std::uint8_t> mine(run.topo.cells.size(), 0);
  for (std::int32_t t = 0; t < plan.size(); ++t) {
    if (partition.owner[t] == world_.rank) mine[plan.cell[t]] = 1;
  }
  RoutingStates states = setUpRouting(run.topo, params, &mine);

  std::vector<std::int32_t> routedCells(plan.cell);
  std::sort(routedCells.begin(), routedCells.end());
  std::vector<std::int32_t> ownerOfCell(routedCells.size());
  {
    std::vector<std::int32_t> ownerOfGridCell(run.topo.cells.size(), -1);
    for (std::int32_t t = 0; t < plan.size(); ++t) {
      ownerOfGridCell[plan.cell[t]] = partition.owner[t];
    }
    for (std::size_t i = 0; i < routedCells.size(); ++i) {
      ownerOfCell[i] = ownerOfGridCell[routedCells[i]];
    }
  }
  const StateKey key =
      makeStateKey(params, run.rivers.riverNums, order, static_cast<std::uint32_t>(options.scheme));
  std::int64_t daysBefore = 0;
  if (options.stateIn) {
    StoredState stored;
    if (world_.rank == 0) {
      Result<StoredState> read = readRunState(*options.stateIn, key, routedCells);
      check(read.status());
      stored = std::move(read).value();
    } else {
      check(Status());
    }
    std::vector<double> header{static_cast<double>(stored.daysBefore)};
    broadcast(header);
    broadcast(stored.cells.values);
    stored.cells.nodes = params.spaceSteps;
    applyCellStates(stored.cells, routedCells, states);
    daysBefore = static_cast<std::int64_t>(header[0]);
    out() << "Start from state " << *options.stateIn << " (simulated days before it: " << daysBefore
          << ")." << '\n';
  } else {
    startFromDryHour(states);
  }
  // Each rank counts the water of its own cells; rank 0 adds them up in the order of the plan.
  std::optional<WaterBudget> waterBudget;
  if (options.budget) waterBudget.emplace(run.topo, plan, run.rivers.riverNums, states);

  std::unique_ptr<DischargeWriter> writer;
  if (world_.rank == 0) {
    Status ready = checkOutputDirectory();
    if (ready.ok()) ready = checkOutputSpace(params);
    if (ready.ok()) {
      Result<std::unique_ptr<DischargeWriter>> created =
          DischargeWriter::create(kOutputDirectory, run.topo.cells.size());
      if (created.ok()) writer = std::move(created).value();
      ready = created.status();
    }
    check(ready);
  } else {
    check(Status());
  }

  if (options.scheme != Scheme::kClassic) {
    out() << "Routing scheme: " << schemeName(options.scheme) << '.' << '\n';
  }
  out() << "Runoff simulation starts." << '\n';
  const RoutingRun routing{run.topo, order, plan, params.subSteps, options.scheme};
  CutEdges edges(world_, plan, partition);
  WindowRouter router(routing, states, routingThreads(), windowDays, &edges);
  if (params.days > 0) {
    const std::vector<std::uint8_t> selected = selectedInFileOrder(run.topo, run.selected);
    WindowGrids grids(outputBackground(run.topo, run.selected), windowDays);
    ResultGather results(world_, plan, partition, router.positionOfTask());
    RainReader reader(rainFile, run.rain.rows, run.rain.cols);
    // A failure here (memory, a write) cannot wait for the other ranks, which may be blocked
    // on this one's messages: it ends the whole run at once.
    for (std::int32_t first = 1; first <= params.days; first += windowDays) {
      const std::int32_t days = std::min(windowDays, params.days - first + 1);
      Status window = advanceRainWindow(reader, run.rain, first, days);
      if (window.ok()) {
        edges.setWindowDays(days, params.subSteps);
        router.route(run.rain, first, days, grids, nullptr);
        results.gather(grids);
        if (world_.rank == 0) window = appendWindow(*writer, grids, selected);
      }
      if (!window.ok()) {
        writer.reset();  // its temporaries go
        std::cout << window.message() << std::endl;
        MPI_Abort(MPI_COMM_WORLD, 1);
      }
    }
    results.finish();
  }
  router.finishProgressLines(out());
  out() << '\n' << "Runoff simulation ends." << '\n';

  for (DischargeFile file : kDischargeFiles) out() << "Write " << outputPath(file) << '\n';
  std::unique_ptr<AtomicFile> state;
  if (options.stateOut) {
    CellStates cells{params.spaceSteps, {}};
    cells.values.assign(routedCells.size() * cells.stride(), 0.0);
    collectCellStates(routedCells, states, cells);
    gatherCellValues(world_, ownerOfCell, cells.stride(), cells.values);
    Status written;
    if (world_.rank == 0) {
      Result<std::unique_ptr<AtomicFile>> file =
          writeRunState(*options.stateOut, key, daysBefore + params.days, routedCells, cells);
      written = file.status();
      if (file.ok()) state = std::move(file).value();
    }
    check(written);
  }
  Status published;
  if (world_.rank == 0) {
    published = writer->publish();
    if (published.ok()) published = writeDischargeVrts(params);
    if (published.ok() && state && !state->publish()) {
      published = Status::ioError("State file " + *options.stateOut + " cannot be written.");
    }
  }
  check(published);
  if (waterBudget) {
    std::vector<double> volumes = waterBudget->taskVolumes(states);
    gatherCellValues(world_, partition.owner, WaterBudget::kTaskValues, volumes);
    if (world_.rank == 0) writeBudgetReport(out(), options.scheme, waterBudget->close(volumes));
  }
  out().flush();
}

}  // namespace

int main(int argc, char** argv) {
  int provided = 0;
  MPI_Init_thread(&argc, &argv, MPI_THREAD_FUNNELED, &provided);
  MpiWorld world;
  MPI_Comm_rank(MPI_COMM_WORLD, &world.rank);
  MPI_Comm_size(MPI_COMM_WORLD, &world.size);
  int status = 0;
  try {
    const Result<SimOptions> options =
        parseSimOptions(std::vector<std::string>(argv + std::min(argc, 1), argv + argc));
    if (!options.ok()) throw Failed{"runoff-sim-mpi: " + options.message()};
    if (options->help) {
      if (world.rank == 0) std::cout << simHelpText("mpirun -np N runoff-sim-mpi");
    } else {
      Run(world).simulate(*options);
    }
  } catch (const Failed& failed) {
    if (world.rank == 0) std::cout << failed.message << std::endl;
    status = 1;
  } catch (const std::bad_alloc&) {
    std::cout << "runoff-sim-mpi: not enough memory for this run." << std::endl;
    MPI_Abort(MPI_COMM_WORLD, 1);
  } catch (const std::exception& error) {
    std::cout << "runoff-sim-mpi: " << error.what() << std::endl;
    MPI_Abort(MPI_COMM_WORLD, 1);
  }
  MPI_Finalize();
  return status;
}
