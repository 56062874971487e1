// What the processes (ranks) of a distributed run say to each other: whether a step succeeded
// on all of them, the set-up one rank made for all (rainfall ties, calculation order, restart
// state), one message per cut edge per span of hours routed, and the final states and budget
// volumes on their way to rank 0.
//
// Messages, all on MPI_COMM_WORLD:
//   kHistoryTag     a cut edge's span history: hours x subSteps float32 outflows of the
//                   feeder, then its task number (int32 bit pattern in a float slot), sent by
//                   the feeder's rank to the consumer's rank as soon as the feeder's span is
//                   routed (a span is a window of days when the run is routed whole)
//   kCellValuesTag  a rank's values of its routed cells (final states, budget volumes),
//                   float64, sent to rank 0 at the end of the run
// Messages between two ranks are matched in the order they were sent, so a rank that runs a
// span ahead never confuses two spans.
#ifndef RUNOFF_RUNOFF_SIM_MPI_RANK_MESSAGES_H_
#define RUNOFF_RUNOFF_SIM_MPI_RANK_MESSAGES_H_

#include <mpi.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/status.h"
#include "runoff/inputs/calc_order.h"
#include "runoff/output/run_state.h"
#include "runoff/routing/routing_plan.h"
#include "runoff/routing/window_router.h"
#include "runoff/run/run_inputs.h"
#include "runoff/routing/partition.h"

namespace runoff {

struct MpiWorld {
  int rank = 0;
  int size = 1;
};

/// Every rank calls this with its own outcome of a step, in the same order on every rank; all
/// get the failure of the lowest failing rank (its line, to be printed by rank 0), or success
/// when every rank succeeded.
Status agree(const MpiWorld& world, const Status& mine);

/// Rank 0's `values` on every rank (sized there as on rank 0).
void broadcast(std::vector<std::int32_t>& values);
void broadcast(std::vector<double>& values);

/// Rank 0's tie of every topography cell to its rainfall cell, on every rank.
void broadcastRainTies(RunInputs& inputs);
/// Rank 0's calculation order on every rank.
void broadcastOrder(CalculationOrder& order);
/// Rank 0's restart state (read there, or none) on every rank; `nodes` is spaceSteps,
/// `lossValues` and `soilValues` the loss and soil values of each cell (CellStates).
void broadcastStartState(std::optional<StoredState>& state, std::int32_t nodes,
                         std::int32_t lossValues, std::int32_t soilValues);

/// The cut edges of one rank: the histories its tasks receive from other ranks and send to
/// them, one message per edge per window.
class CutEdges : public RemoteTasks {
 public:
  CutEdges(const MpiWorld& world, const RoutingPlan& plan, const Partition& partition);
  ~CutEdges() override;

  bool routedHere(std::int32_t task) const override { return owner_[task] == world_.rank; }
  void beginWindow(std::size_t historyLength, std::size_t windowLength) override;
  void passMessages(Mailbox& mailbox) override;
  bool awaiting() const override { return arrived_ < incoming_.size(); }
  void endWindow(Mailbox& mailbox) override;

 private:
  void send(Mailbox& mailbox);
  void completeSends(bool wait);

  MpiWorld world_;
  const RoutingPlan& plan_;
  const std::vector<std::int32_t>& owner_;
  std::vector<int> incoming_;  // per expected message of a window: its sending rank
  std::size_t historyLength_ = 0;
  std::size_t windowFloats_ = 0;
  std::vector<MPI_Request> receives_;
  std::vector<std::unique_ptr<float[]>> receiveBuffers_;
  std::size_t arrived_ = 0;
  std::vector<MPI_Request> sends_;
  std::vector<std::unique_ptr<float[]>> sendBuffers_;
};

/// Every rank's values of its routed cells, gathered on rank 0 into `values` (`stride` doubles
/// per cell of `routedCells`, the cells ascending; `ownerOfCell` per routed cell).
void gatherCellValues(const MpiWorld& world, const std::vector<std::int32_t>& ownerOfCell,
                      std::size_t stride, std::vector<double>& values);

}  // namespace runoff

#endif  // RUNOFF_RUNOFF_SIM_MPI_RANK_MESSAGES_H_
