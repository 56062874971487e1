// runoff-sim-mpi: runoff-sim on several processes (mpirun -np N runoff-sim-mpi [options]), with
// the same options, console text and files, byte for byte, for any number of processes and
// threads. Every rank runs the simulation object (runoff/run/simulation.h); its hooks add only
// what distribution needs at the run's fixed points: the ranks agree on each step's outcome,
// rank 0 alone talks to the console, makes or reads the caches and the restart state, and
// passes what it made on; the routed cells are partitioned by drainage, each rank routes its
// part window after window, the outflow of cut tributaries travels as messages, and every rank
// writes its own cells' results into the output files (runoff_sim_mpi/parallel_output.h),
// which rank 0 publishes once all have closed them. A failure on any rank ends every rank with
// one line and exit status 1.
#include <mpi.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>
#include <new>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "common/status.h"
#include "runoff/routing/partition.h"
#include "runoff/run/sim_options.h"
#include "runoff/run/simulation.h"
#include "runoff_sim_mpi/parallel_output.h"
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

// What distribution adds at the run's fixed points: rank 0 leads; the ranks agree on every
// step; the routed cells are partitioned by drainage; every rank writes its own cells into
// every output; cut tributaries travel as messages; rank 0 gathers the final states and the
// budget volumes.
class MpiHooks : public RunHooks {
 public:
  MpiHooks(const MpiWorld& world, std::vector<std::string> argv,
           std::vector<std::string>& temporaries)
      : world_(world), argv_(std::move(argv)), temporaries_(temporaries) {}

  bool leads() const override { return world_.rank == 0; }
  Status agree(const Status& mine) override { return runoff::agree(world_, mine); }
  Status routingFailed(Status failure) override { endEveryRank(failure, temporaries_); }

  void shareRainTies(RunInputs& inputs) override { broadcastRainTies(inputs); }
  void shareOrder(CalculationOrder& order) override { broadcastOrder(order); }
  void shareStartState(std::optional<StoredState>& state, std::int32_t nodes,
                       std::int32_t lossValues, std::int32_t soilValues) override {
    broadcastStartState(state, nodes, lossValues, soilValues);
  }

  // The same partition on every rank; each sets up the cells it routes.
  std::optional<std::vector<std::uint8_t>> cellsRoutedHere(const RoutingPlan& plan,
                                                           std::size_t gridCells) override {
    partition_ = partitionByDrainage(plan, world_.size);
    plan_ = &plan;
    return cellsOfRank(partition_, plan, world_.rank, gridCells);
  }
  OutputMakers outputMakers(const Simulation& run) override {
    share_ = shareOutput(world_, run.inputs().topo, run.inputs().selected, run.plan(), partition_);
    return parallelOutputMakers(world_, run.params(), share_, argv_, temporaries_);
  }
  RemoteTasks* remoteTasks(const Simulation& run) override {
    edges_ = std::make_unique<CutEdges>(world_, run.plan(), partition_);
    return edges_.get();
  }

  void gatherStates(CellStates& cells, const std::vector<std::int32_t>& routedCells) override {
    gatherCellValues(world_, ownersOfCells(partition_, *plan_, routedCells), cells.stride(),
                     cells.values);
  }
  void gatherBudget(std::vector<double>& volumes) override {
    const std::size_t perTask =
        partition_.owner.empty() ? 0 : volumes.size() / partition_.owner.size();
    gatherCellValues(world_, partition_.owner, perTask, volumes);
  }
  void gatherLakes(std::vector<double>& values, const std::vector<std::int32_t>& cells,
                   std::size_t stride) override {
    gatherCellValues(world_, ownersOfCells(partition_, *plan_, cells), stride, values);
  }

 private:
  MpiWorld world_;
  std::vector<std::string> argv_;
  std::vector<std::string>& temporaries_;
  Partition partition_;
  const RoutingPlan* plan_ = nullptr;
  OutputShare share_;
  std::unique_ptr<CutEdges> edges_;
};

Outcome simulateOnRanks(const SimOptions& options, const MpiWorld& world,
                        const std::vector<std::string>& argv,
                        std::vector<std::string>& temporaries) {
  std::ostringstream quiet;  // the console of the ranks that do not talk to the user
  MpiHooks hooks(world, argv, temporaries);
  Simulation run(options, world.rank == 0 ? static_cast<std::ostream&>(std::cout) : quiet, &hooks);
  if (Status s = run.initialize(); !s.ok()) return {s};
  // A failure while routing ends every rank at once (MpiHooks::routingFailed); a failure while
  // writing a window is agreed by all and returned here.
  try {
    if (Status s = run.advance(run.totalHours()); !s.ok()) return {s};
  } catch (const std::bad_alloc&) {
    endEveryRank(Status::ioError(kOutOfMemory), temporaries);
  } catch (const std::length_error&) {
    endEveryRank(Status::ioError(kOutOfMemory), temporaries);
  } catch (const std::exception& error) {
    endEveryRank(
        Status::ioError(std::string("runoff-sim-mpi: unexpected failure: ") + error.what()),
        temporaries);
  }
  return {run.finalize()};
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
      outcome = simulateOnRanks(*options, world, std::vector<std::string>(argv, argv + argc),
                                temporaries);
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
