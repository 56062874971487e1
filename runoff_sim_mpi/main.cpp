// runoff-sim-mpi: runoff-sim on several processes (mpirun -np N runoff-sim-mpi [options]), with
// the same options, console text and files, byte for byte, for any number of processes and
// threads. Every rank takes the steps of the run sequence; between them it adds only what
// distribution needs: the ranks agree on each step's outcome, rank 0 alone talks to the
// console, makes or reads the caches and the restart state and writes every file, and passes
// what it made on; the routed cells are partitioned by drainage, each rank routes its part
// window after window, and the outflow of cut tributaries and each window's results travel as
// messages. A failure on any rank ends every rank with one line and exit status 1.
#include <mpi.h>

#include <algorithm>
#include <iostream>
#include <new>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/status.h"
#include "runoff/run/run_sequence.h"
#include "runoff/run/sim_options.h"
#include "runoff_sim_mpi/partition.h"
#include "runoff_sim_mpi/rank_messages.h"

namespace {

using namespace runoff;

// The outcome of a run on one rank. A failure while routing cannot wait for the other ranks,
// which may be blocked on this one's messages: it ends the whole run at once.
struct Outcome {
  Status status;
  bool abortAll = false;
};

Outcome simulateOnRanks(const SimOptions& options, const MpiWorld& world) {
  const bool leader = world.rank == 0;
  std::ostringstream quiet;  // the console of the ranks that do not talk to the user
  RunSequence run(options, leader ? static_cast<std::ostream&>(std::cout) : quiet);
  auto all = [&](const Status& mine) { return agree(world, mine); };

  if (Status s = all(run.readParameters()); !s.ok()) return {s};
  // Every rank reads the grids; rank 0 alone makes or reads the mapping cache.
  if (Status s = all(run.loadInputs(leader ? RainTies::kMapped : RainTies::kSupplied)); !s.ok()) {
    return {s};
  }
  broadcastRainTies(run.inputs());
  // Every rank reads the loss grids too, as it reads the topography.
  if (Status s = all(run.loadLossGrids()); !s.ok()) return {s};
  if (Status s = all(run.checkRoutingMemory()); !s.ok()) return {s};
  if (Status s = all(run.obtainOrder(leader ? OrderSource::kObtained : OrderSource::kSupplied));
      !s.ok()) {
    return {s};
  }
  broadcastOrder(run.order());
  // Rank 0 checks the whole rainfall file; every rank then reads it window by window.
  if (Status s = all(run.openRainfall(leader)); !s.ok()) return {s};

  // The same plan and partition on every rank; each sets up the cells it routes.
  run.planRouting();
  const Partition partition = partitionByDrainage(run.plan(), world.size);
  const std::vector<std::uint8_t> mine =
      cellsOfRank(partition, run.plan(), world.rank, run.inputs().topo.cells.size());
  run.setUpStates(&mine);

  Result<std::optional<StoredState>> start =
      leader ? run.readStartState() : Result<std::optional<StoredState>>(std::nullopt);
  if (Status s = all(start.status()); !s.ok()) return {s};
  std::optional<StoredState> stored = leader ? std::move(start).value() : std::nullopt;
  broadcastStartState(stored, run.params().spaceSteps, run.lossStateValues());
  run.startFrom(stored);

  if (Status s = agreeOnLeader(world, [&] { return run.openOutputs(); }); !s.ok()) return {s};

  CutEdges edges(world, run.plan(), partition);
  ResultGather results(world, run.inputs().topo, run.plan(), partition);
  const Distribution distribution{&edges, [&](WindowGrids& grids) { results.gather(grids); }};
  if (Status s = run.routeWindows(&distribution); !s.ok()) return {s, true};
  results.finish();

  // Each rank holds the state and the water of its own cells; rank 0 gathers them.
  CellStates cells = run.finalStates();
  if (options.stateOut) {
    gatherCellValues(world, ownersOfCells(partition, run.plan(), run.routedCells()),
                     cells.stride(), cells.values);
  }
  if (Status s = agreeOnLeader(world, [&] { return run.publishOutputs(cells); }); !s.ok()) {
    return {s};
  }
  if (options.waterBudget) {
    std::vector<double> volumes = run.budgetVolumes();
    gatherCellValues(world, partition.owner, WaterBudget::kTaskValues, volumes);
    if (leader) run.reportBudget(volumes);
  }
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  int provided = 0;
  MPI_Init_thread(&argc, &argv, MPI_THREAD_FUNNELED, &provided);
  MpiWorld world;
  MPI_Comm_rank(MPI_COMM_WORLD, &world.rank);
  MPI_Comm_size(MPI_COMM_WORLD, &world.size);
  Outcome outcome;
  try {
    const Result<SimOptions> options =
        parseSimOptions(std::vector<std::string>(argv + std::min(argc, 1), argv + argc));
    if (!options.ok()) {
      outcome.status = Status::invalid("runoff-sim-mpi: " + options.message());
    } else if (options->help) {
      if (world.rank == 0) std::cout << simHelpText("mpirun -np N runoff-sim-mpi");
    } else {
      outcome = simulateOnRanks(*options, world);
    }
  } catch (const std::bad_alloc&) {
    outcome = {Status::ioError(kOutOfMemory), true};
  } catch (const std::length_error&) {
    outcome = {Status::ioError(kOutOfMemory), true};
  } catch (const std::exception& error) {
    // Every failure the run foresees is a Status; this is the last guard against a crash.
    outcome = {Status::ioError(std::string("runoff-sim-mpi: unexpected failure: ") + error.what()),
               true};
  }
  std::cout.flush();
  if (outcome.abortAll) {
    // The run's temporaries are gone with the run sequence; the other ranks end with this one.
    std::cout << outcome.status.message() << std::endl;
    MPI_Abort(MPI_COMM_WORLD, 1);
  }
  if (!outcome.status.ok() && world.rank == 0) std::cout << outcome.status.message() << std::endl;
  MPI_Finalize();
  return outcome.status.ok() ? 0 : 1;
}
