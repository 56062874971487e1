// The partition by drainage on random forests: every task placed, every rank's work within one
// share of the others (whole trees kept whole where they fit), cuts only at tributary junctions
// and only in trees larger than a share, and the same answer every time.
#include "runoff/routing/partition.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace runoff {
namespace {

// The plan of a forest given by each task's consumer (-1 for an outlet), tasks numbered so
// that feeders come before the task they feed, as the routing plan numbers them.
RoutingPlan planOf(const std::vector<std::int32_t>& consumer) {
  RoutingPlan plan;
  plan.consumer = consumer;
  std::vector<std::vector<std::int32_t>> feedersOf(consumer.size());
  for (std::int32_t t = 0; t < static_cast<std::int32_t>(consumer.size()); ++t) {
    if (consumer[t] >= 0) feedersOf[consumer[t]].push_back(t);
  }
  plan.feedStart.push_back(0);
  for (const auto& feeders : feedersOf) {
    plan.feeders.insert(plan.feeders.end(), feeders.begin(), feeders.end());
    plan.feedStart.push_back(static_cast<std::int32_t>(plan.feeders.size()));
  }
  plan.cell.resize(consumer.size());
  plan.group.assign(consumer.size(), 0);
  return plan;
}

// A random forest of `trees` trees of random sizes, each a random branching network: cell k of
// a tree feeds one of the next three cells; the last one is the outlet.
RoutingPlan randomForest(std::mt19937& rng, int trees, int maxTree) {
  std::vector<std::int32_t> consumer;
  for (int tree = 0; tree < trees; ++tree) {
    const int size = std::uniform_int_distribution<int>(1, maxTree)(rng);
    const std::int32_t base = static_cast<std::int32_t>(consumer.size());
    for (int k = 0; k < size; ++k) {
      consumer.push_back(k + 1 < size ? base + std::uniform_int_distribution<int>(
                                                   k + 1, std::min(size - 1, k + 3))(rng)
                                      : -1);
    }
  }
  return planOf(consumer);
}

// Size of the tree (connected part of the forest) of every task.
std::vector<std::int64_t> treeSizes(const RoutingPlan& plan) {
  const std::int32_t n = plan.size();
  std::vector<std::int32_t> root(n);
  for (std::int32_t t = n - 1; t >= 0; --t) {
    root[t] = plan.consumer[t] < 0 ? t : root[plan.consumer[t]];
  }
  std::vector<std::int64_t> count(n, 0), size(n);
  for (std::int32_t t = 0; t < n; ++t) ++count[root[t]];
  for (std::int32_t t = 0; t < n; ++t) size[t] = count[root[t]];
  return size;
}

TEST(Partition, BalancesWholeTreesAndCutsOnlyLargeOnes) {
  std::mt19937 rng(11);
  for (int trial = 0; trial < 200; ++trial) {
    const RoutingPlan plan = randomForest(rng, 1 + trial % 30, 1 + trial * 7 % 400);
    const std::int32_t n = plan.size();
    for (std::int32_t ranks : {1, 2, 3, 4, 7, 16}) {
      const Partition p = partitionByDrainage(plan, ranks);
      ASSERT_EQ(p.owner.size(), static_cast<std::size_t>(n));
      const std::int64_t share = (n + ranks - 1) / ranks;
      std::vector<std::int64_t> work(ranks, 0);
      for (std::int32_t owner : p.owner) {
        ASSERT_GE(owner, 0);
        ASSERT_LT(owner, ranks);
        ++work[owner];
      }
      EXPECT_EQ(work, p.work);
      // Pieces no larger than a quarter share, placed largest first on the least loaded rank:
      // no rank exceeds its share by more than a piece.
      const std::int64_t piece = ranks == 1 ? share : (share + 3) / 4;
      EXPECT_LE(*std::max_element(work.begin(), work.end()), share + piece) << trial;
      const std::vector<std::int64_t> tree = treeSizes(plan);
      std::int32_t cuts = 0;
      for (std::int32_t t = 0; t < n; ++t) {
        const std::int32_t c = plan.consumer[t];
        if (c < 0 || p.owner[c] == p.owner[t]) continue;
        ++cuts;
        // A cut only in a tree that does not fit one piece.
        EXPECT_GT(tree[t], piece) << "trial " << trial << ", " << ranks << " ranks, task " << t;
      }
      EXPECT_EQ(cuts, p.cutEdges);
      if (ranks == 1) {
        EXPECT_EQ(cuts, 0);
      }
      const Partition again = partitionByDrainage(plan, ranks);
      EXPECT_EQ(again.owner, p.owner);
    }
  }
}

TEST(Partition, ALongRiverIsCutAtItsTributaries) {
  // A main stem of 100 cells, each fed by a tributary of 9 cells in a row: 1000 cells in one
  // tree. On 4 ranks a share is 250 and a piece at most 63 cells; the cuts fall where part of
  // the stem is split off with its tributaries, never inside a tributary of 9 cells.
  std::vector<std::int32_t> consumer;
  std::int32_t previousStem = -1;
  for (int s = 0; s < 100; ++s) {
    const std::int32_t first = static_cast<std::int32_t>(consumer.size());
    for (int k = 0; k < 9; ++k) consumer.push_back(first + k + 1);  // the last feeds the stem
    const std::int32_t stem = first + 9;
    consumer.push_back(-1);
    if (previousStem >= 0) consumer[previousStem] = stem;
    previousStem = stem;
  }
  const RoutingPlan plan = planOf(consumer);

  const Partition p = partitionByDrainage(plan, 4);
  for (std::int64_t work : p.work) EXPECT_NEAR(work, 250, 63);
  EXPECT_GE(p.cutEdges, 15);  // 1000 cells in pieces of at most 63
  for (std::int32_t t = 0; t < plan.size(); ++t) {
    const bool insideTributary = t % 10 < 8;  // feeds the next cell of its own tributary
    if (insideTributary) {
      EXPECT_EQ(p.owner[t], p.owner[plan.consumer[t]]) << t;
    }
  }
}

}  // namespace
}  // namespace runoff
