// The partition by drainage.
//
// Every routed cell costs the same per window (the same steps, the same number of nodes), so
// the work of a part is its number of cells. With T cells and N ranks the share of a rank is
// S = ceil(T / N), and a piece holds at most P = ceil(S / 4) cells (S on a single rank): small
// enough that the placement below can even out the ranks' work.
//
// 1. Cutting. The plan numbers the tasks in post-order (feeders before the cell they feed), so
//    one pass from the first task to the last sees every subtree complete. Each task keeps the
//    size of the part it would head: itself plus the parts of its feeders that were not cut
//    off. While that is larger than P, the feeder heading the largest part is cut off: that
//    tributary becomes a piece of its own, joined to the rest by one cut edge. A tree no larger
//    than P is never cut; a larger one is cut at its biggest junctions first, so it falls into
//    few pieces, each no larger than P.
// 2. Placing. The pieces go to ranks largest first, each to the rank with the least work so
//    far (the lowest rank on ties). Pieces of one tree may land on different ranks; the edges
//    between them are the cut edges, each carrying the upstream cell's window history in one
//    message per window.
//
// Ranks then route their tasks in plan order as their feeders become available. The tasks of
// a rank that wait for a message always have feeders with smaller plan numbers, so the lowest
// unfinished task of the whole run can always proceed: no cycle of ranks can wait on itself,
// whatever the placement.
#include "runoff/routing/partition.h"

#include <algorithm>
#include <numeric>

namespace runoff {

constexpr std::int64_t kPiecesPerShare = 4;

Partition partitionByDrainage(const RoutingPlan& plan, std::int32_t ranks) {
  Partition partition;
  partition.ranks = std::max(1, ranks);
  const std::int32_t n = plan.size();
  partition.owner.assign(n, 0);
  partition.work.assign(partition.ranks, 0);
  const std::int64_t share = (static_cast<std::int64_t>(n) + partition.ranks - 1) / partition.ranks;
  // Pieces a quarter of a share at most (when there is more than one rank): the placement can
  // then fill every rank to within a quarter share of the others, for a few more cut edges.
  const std::int64_t limit =
      partition.ranks == 1
          ? share
          : std::max<std::int64_t>(1, (share + kPiecesPerShare - 1) / kPiecesPerShare);

  // 1. Cutting: `part[t]` is the size of the part headed by t; `head[t]` marks piece heads.
  std::vector<std::int64_t> part(n, 1);
  std::vector<std::uint8_t> head(n, 0);
  std::vector<std::int32_t> kept;
  for (std::int32_t t = 0; t < n; ++t) {
    kept.assign(plan.feedersOf(t).begin(), plan.feedersOf(t).end());
    for (std::int32_t f : kept) part[t] += part[f];
    while (part[t] > limit && !kept.empty()) {
      // The largest tributary, the earliest in the plan on ties.
      auto largest =
          std::max_element(kept.begin(), kept.end(), [&](std::int32_t a, std::int32_t b) {
            return part[a] < part[b] || (part[a] == part[b] && a > b);
          });
      head[*largest] = 1;
      part[t] -= part[*largest];
      kept.erase(largest);
    }
    if (plan.consumer[t] < 0) head[t] = 1;
  }

  // The piece of every task: its own when it heads one, else that of the cell it feeds. Walking
  // from the last task back, every consumer is settled before its feeders.
  std::vector<std::int32_t> pieceOf(n, -1);
  std::vector<std::int32_t> heads;
  for (std::int32_t t = n - 1; t >= 0; --t) {
    if (head[t]) {
      pieceOf[t] = static_cast<std::int32_t>(heads.size());
      heads.push_back(t);
    } else {
      pieceOf[t] = pieceOf[plan.consumer[t]];
    }
  }
  partition.pieces = static_cast<std::int32_t>(heads.size());

  // 2. Placing, largest piece first onto the least loaded rank.
  std::vector<std::int32_t> byWork(heads.size());
  std::iota(byWork.begin(), byWork.end(), 0);
  std::stable_sort(byWork.begin(), byWork.end(),
                   [&](std::int32_t a, std::int32_t b) { return part[heads[a]] > part[heads[b]]; });
  std::vector<std::int32_t> rankOfPiece(heads.size(), 0);
  for (std::int32_t piece : byWork) {
    const auto least = std::min_element(partition.work.begin(), partition.work.end());
    rankOfPiece[piece] = static_cast<std::int32_t>(least - partition.work.begin());
    *least += part[heads[piece]];
  }
  for (std::int32_t t = 0; t < n; ++t) partition.owner[t] = rankOfPiece[pieceOf[t]];
  for (std::int32_t t = 0; t < n; ++t) {
    const std::int32_t c = plan.consumer[t];
    if (c >= 0 && partition.owner[c] != partition.owner[t]) ++partition.cutEdges;
  }
  return partition;
}

std::vector<std::int32_t> ownersOfCells(const Partition& partition, const RoutingPlan& plan,
                                        const std::vector<std::int32_t>& cells) {
  std::int32_t largest = -1;
  for (std::int32_t cell : plan.cell) largest = std::max(largest, cell);
  std::vector<std::int32_t> ownerOfGridCell(static_cast<std::size_t>(largest + 1), -1);
  for (std::int32_t t = 0; t < plan.size(); ++t) ownerOfGridCell[plan.cell[t]] = partition.owner[t];
  std::vector<std::int32_t> owners(cells.size());
  for (std::size_t i = 0; i < cells.size(); ++i) owners[i] = ownerOfGridCell[cells[i]];
  return owners;
}

std::vector<std::uint8_t> cellsOfRank(const Partition& partition, const RoutingPlan& plan,
                                      std::int32_t rank, std::size_t gridCells) {
  std::vector<std::uint8_t> mine(gridCells, 0);
  for (std::int32_t t = 0; t < plan.size(); ++t) {
    if (partition.owner[t] == rank) mine[plan.cell[t]] = 1;
  }
  return mine;
}

}  // namespace runoff
