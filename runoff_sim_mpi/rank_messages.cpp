#include "runoff_sim_mpi/rank_messages.h"

#include <algorithm>
#include <cstring>

#include "runoff/inputs/rain_mapping.h"

namespace runoff {
namespace {

constexpr int kHistoryTag = 1;
constexpr int kCellValuesTag = 3;

float taskAsFloat(std::int32_t task) {
  float slot;
  std::memcpy(&slot, &task, 4);
  return slot;
}

std::int32_t taskFromFloat(float slot) {
  std::int32_t task;
  std::memcpy(&task, &slot, 4);
  return task;
}

Status withCode(int code, std::string message) {
  switch (static_cast<Status::Code>(code)) {
    case Status::Code::kCannotOpen:
      return Status::cannotOpen(std::move(message));
    case Status::Code::kIoError:
      return Status::ioError(std::move(message));
    default:
      return Status::invalid(std::move(message));
  }
}

}  // namespace

Status agree(const MpiWorld& world, const Status& mine) {
  int failing = mine.ok() ? world.size : world.rank;
  int first = world.size;
  MPI_Allreduce(&failing, &first, 1, MPI_INT, MPI_MIN, MPI_COMM_WORLD);
  if (first == world.size) return {};
  int header[2] = {static_cast<int>(mine.code()), static_cast<int>(mine.message().size())};
  MPI_Bcast(header, 2, MPI_INT, first, MPI_COMM_WORLD);
  std::string message(static_cast<std::size_t>(header[1]), '\0');
  if (world.rank == first) message = mine.message();
  MPI_Bcast(message.data(), header[1], MPI_CHAR, first, MPI_COMM_WORLD);
  return withCode(header[0], std::move(message));
}

namespace {

template <typename T>
void broadcastVector(std::vector<T>& values, MPI_Datatype type) {
  unsigned long long size = values.size();
  MPI_Bcast(&size, 1, MPI_UNSIGNED_LONG_LONG, 0, MPI_COMM_WORLD);
  values.resize(size);
  // Large vectors go in pieces: a count is an int.
  constexpr std::size_t kPiece = std::size_t{1} << 28;
  for (std::size_t at = 0; at < values.size(); at += kPiece) {
    const int count = static_cast<int>(std::min(kPiece, values.size() - at));
    MPI_Bcast(values.data() + at, count, type, 0, MPI_COMM_WORLD);
  }
}

}  // namespace

void broadcast(std::vector<std::int32_t>& values) { broadcastVector(values, MPI_INT32_T); }
void broadcast(std::vector<double>& values) { broadcastVector(values, MPI_DOUBLE); }

void broadcastRainTies(RunInputs& inputs) {
  std::vector<std::int32_t> ties(inputs.topo.cells.size());
  for (std::size_t i = 0; i < ties.size(); ++i) ties[i] = inputs.topo.cells[i].rainCell;
  broadcast(ties);
  for (std::size_t i = 0; i < ties.size(); ++i) {
    setRainCell(inputs.topo.cells[i], inputs.rain, ties[i] / inputs.rain.cols,
                ties[i] % inputs.rain.cols);
  }
}

void broadcastOrder(CalculationOrder& order) {
  // Packed as groupCount, orderCount, the group sizes, then row and column of every entry.
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

void broadcastStartState(std::optional<StoredState>& state, std::int32_t nodes,
                         std::int32_t lossValues, std::int32_t soilValues) {
  // Packed as a flag (a state or none) and the days before it, then the cells' values.
  std::vector<double> header{state ? 1.0 : 0.0, state ? static_cast<double>(state->daysBefore)
                                                      : 0.0};
  broadcast(header);
  if (header[0] == 0.0) {
    state.reset();
    return;
  }
  if (!state) state.emplace();
  state->daysBefore = static_cast<std::int64_t>(header[1]);
  state->cells.nodes = nodes;
  state->cells.lossValues = lossValues;
  state->cells.soilValues = soilValues;
  broadcast(state->cells.values);
  broadcast(state->lakeStorage);
}

CutEdges::CutEdges(const MpiWorld& world, const RoutingPlan& plan, const Partition& partition)
    : world_(world), plan_(plan), owner_(partition.owner) {
  for (std::int32_t t = 0; t < plan.size(); ++t) {
    const std::int32_t c = plan.consumer[t];
    if (c >= 0 && owner_[c] == world.rank && owner_[t] != world.rank) {
      incoming_.push_back(owner_[t]);
    }
  }
}

CutEdges::~CutEdges() {
  // After a failure the requests still posted are cancelled, so that no buffer is written to
  // once freed; the run ends at once anyway.
  for (MPI_Request& request : receives_) {
    if (request != MPI_REQUEST_NULL) {
      MPI_Cancel(&request);
      MPI_Request_free(&request);
    }
  }
}

void CutEdges::beginWindow(std::size_t historyLength, std::size_t windowLength) {
  historyLength_ = historyLength;
  windowFloats_ = windowLength;  // only the window's part of each history travels
  receives_.assign(incoming_.size(), MPI_REQUEST_NULL);
  receiveBuffers_.resize(incoming_.size());
  arrived_ = 0;
  for (std::size_t i = 0; i < incoming_.size(); ++i) {
    receiveBuffers_[i] = std::make_unique<float[]>(historyLength_ + 1);
    MPI_Irecv(receiveBuffers_[i].get(), static_cast<int>(historyLength_ + 1), MPI_FLOAT,
              incoming_[i], kHistoryTag, MPI_COMM_WORLD, &receives_[i]);
  }
}

void CutEdges::send(Mailbox& mailbox) {
  for (auto& [task, history] : mailbox.outgoing()) {
    auto buffer = std::make_unique<float[]>(windowFloats_ + 1);
    std::copy(history.get(), history.get() + windowFloats_, buffer.get());
    buffer[windowFloats_] = taskAsFloat(task);
    sends_.push_back(MPI_REQUEST_NULL);
    MPI_Isend(buffer.get(), static_cast<int>(windowFloats_ + 1), MPI_FLOAT,
              owner_[plan_.consumer[task]], kHistoryTag, MPI_COMM_WORLD, &sends_.back());
    sendBuffers_.push_back(std::move(buffer));
  }
}

void CutEdges::completeSends(bool wait) {
  if (sends_.empty()) return;
  if (wait) {
    MPI_Waitall(static_cast<int>(sends_.size()), sends_.data(), MPI_STATUSES_IGNORE);
    sends_.clear();
    sendBuffers_.clear();
    return;
  }
  int done = 0;
  MPI_Testall(static_cast<int>(sends_.size()), sends_.data(), &done, MPI_STATUSES_IGNORE);
  if (done) {
    sends_.clear();
    sendBuffers_.clear();
  }
}

void CutEdges::passMessages(Mailbox& mailbox) {
  send(mailbox);
  if (arrived_ < incoming_.size()) {
    std::vector<int> indices(receives_.size());
    std::vector<MPI_Status> statuses(receives_.size());
    int count = 0;
    MPI_Testsome(static_cast<int>(receives_.size()), receives_.data(), &count, indices.data(),
                 statuses.data());
    for (int k = 0; count != MPI_UNDEFINED && k < count; ++k) {
      const int i = indices[k];
      int floats = 0;
      MPI_Get_count(&statuses[k], MPI_FLOAT, &floats);
      std::unique_ptr<float[]> history = std::move(receiveBuffers_[i]);
      const std::int32_t task = taskFromFloat(history[static_cast<std::size_t>(floats) - 1]);
      ++arrived_;
      mailbox.arrived(task, std::move(history));
    }
  }
  completeSends(false);
}

void CutEdges::endWindow(Mailbox& mailbox) {
  send(mailbox);
  completeSends(true);
}

void gatherCellValues(const MpiWorld& world, const std::vector<std::int32_t>& ownerOfCell,
                      std::size_t stride, std::vector<double>& values) {
  std::vector<double> packed;
  if (world.rank != 0) {
    for (std::size_t i = 0; i < ownerOfCell.size(); ++i) {
      if (ownerOfCell[i] != world.rank) continue;
      packed.insert(packed.end(), values.begin() + static_cast<std::ptrdiff_t>(i * stride),
                    values.begin() + static_cast<std::ptrdiff_t>((i + 1) * stride));
    }
    MPI_Send(packed.data(), static_cast<int>(packed.size()), MPI_DOUBLE, 0, kCellValuesTag,
             MPI_COMM_WORLD);
    return;
  }
  for (int r = 1; r < world.size; ++r) {
    const std::size_t cells = static_cast<std::size_t>(
        std::count(ownerOfCell.begin(), ownerOfCell.end(), static_cast<std::int32_t>(r)));
    packed.resize(cells * stride);
    MPI_Recv(packed.data(), static_cast<int>(packed.size()), MPI_DOUBLE, r, kCellValuesTag,
             MPI_COMM_WORLD, MPI_STATUS_IGNORE);
    std::size_t k = 0;
    for (std::size_t i = 0; i < ownerOfCell.size(); ++i) {
      if (ownerOfCell[i] != r) continue;
      std::copy(packed.begin() + static_cast<std::ptrdiff_t>(k),
                packed.begin() + static_cast<std::ptrdiff_t>(k + stride),
                values.begin() + static_cast<std::ptrdiff_t>(i * stride));
      k += stride;
    }
  }
}

}  // namespace runoff
