// runoff-sim-mpi: runoff-sim on several processes (mpirun -np N runoff-sim-mpi [options]), with
// the same options, console text and files, byte for byte, for any number of processes and
// threads. Every rank takes the steps of the run sequence; between them it adds only what
// distribution needs: the ranks agree on each step's outcome, rank 0 alone talks to the
// console, makes or reads the caches and the restart state, and passes what it made on; the
// routed cells are partitioned by drainage, each rank routes its part window after window, the
// outflow of cut tributaries travels as messages, and every rank writes its own cells' results
// into the output files (runoff_sim_mpi/parallel_output.h), which rank 0 publishes once all
// have closed them. A failure on any rank ends every rank with one line and exit status 1.
#include <mpi.h>

#include <algorithm>
#include <cstdio>
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
#include "runoff_sim_mpi/parallel_output.h"
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

// Ends every rank at once with `failure`'s line, printed by this rank, after removing the
// temporaries of the outputs (those of every rank: they are rank 0's names), so that nothing
// of the run is left: the other ranks may be waiting on this one and cannot close their files.
[[noreturn]] void endEveryRank(const Status& failure, const std::vector<std::string>& temporaries) {
  for (const std::string& temporary : temporaries) std::remove(temporary.c_str());
  std::cout.flush();
  std::cout << failure.message() << std::endl;
  MPI_Abort(MPI_COMM_WORLD, 1);
  std::abort();
}

Outcome simulateOnRanks(const SimOptions& options, const MpiWorld& world,
                        const std::vector<std::string>& argv,
                        std::vector<std::string>& temporaries) {
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

  // Every rank places the gauges itself; rank 0 checks the folder; every rank opens each
  // output with the others and writes its own cells into it.
  if (Status s = all(run.prepareOutputs()); !s.ok()) return {s};
  if (Status s = agreeOnLeader(world, [&] { return run.checkOutputFolder(); }); !s.ok()) {
    return {s};
  }
  const OutputShare share =
      shareOutput(world, run.inputs().topo, run.inputs().selected, run.plan(), partition);
  if (Status s = all(run.openOutputs(
          parallelOutputMakers(world, run.params(), share, argv, temporaries)));
      !s.ok()) {
    return {s};
  }

  // A failure while routing cannot wait for the other ranks, which may be blocked on this
  // one's messages: it ends the whole run at once. A failure while writing is agreed by all.
  CutEdges edges(world, run.plan(), partition);
  bool writeFailed = false;
  const Distribution distribution{&edges, [&](const Status& mine) {
                                    Status agreed = agree(world, mine);
                                    writeFailed = !agreed.ok();
                                    return agreed;
                                  }};
  try {
    if (Status s = run.routeWindows(&distribution); !s.ok()) {
      if (!writeFailed) endEveryRank(s, temporaries);
      return {s};
    }
  } catch (const std::bad_alloc&) {
    endEveryRank(Status::ioError(kOutOfMemory), temporaries);
  } catch (const std::length_error&) {
    endEveryRank(Status::ioError(kOutOfMemory), temporaries);
  } catch (const std::exception& error) {
    endEveryRank(
        Status::ioError(std::string("runoff-sim-mpi: unexpected failure: ") + error.what()),
        temporaries);
  }
  // Files are published once every rank has closed them.
  if (Status s = run.finishOutputs(); !s.ok()) return {s};

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
  std::vector<std::string> temporaries;  // of the outputs, once they are open
  try {
    const Result<SimOptions> options =
        parseSimOptions(std::vector<std::string>(argv + std::min(argc, 1), argv + argc));
    if (!options.ok()) {
      outcome.status = Status::invalid("runoff-sim-mpi: " + options.message());
    } else if (options->help) {
      if (world.rank == 0) std::cout << simHelpText("mpirun -np N runoff-sim-mpi");
    } else {
      outcome = simulateOnRanks(*options, world,
                                std::vector<std::string>(argv, argv + argc), temporaries);
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
  if (outcome.abortAll) endEveryRank(outcome.status, temporaries);
  if (!outcome.status.ok() && world.rank == 0) std::cout << outcome.status.message() << std::endl;
  MPI_Finalize();
  return outcome.status.ok() ? 0 : 1;
}
