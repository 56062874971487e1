#include "runoff/routing/routing_plan.h"

#include <algorithm>

namespace runoff {

RoutingPlan planRouting(const TopoGrid& grid, const CalculationOrder& order,
                        const std::vector<std::uint8_t>& selected) {
  // Routed cells in calculation order, and each cell's position in it.
  std::vector<std::int32_t> position(grid.cells.size(), -1);
  std::vector<std::int32_t> routed;
  std::vector<std::int32_t> groupOfRouted;
  for (std::int32_t g = 0, e = 0; g < order.groupCount; ++g) {
    for (std::int32_t i = 0; i < order.groupSizes[g]; ++i, ++e) {
      const std::int32_t index = grid.index(order.calcOrder[e].row, order.calcOrder[e].col);
      if (!selected[index]) continue;
      position[index] = static_cast<std::int32_t>(routed.size());
      routed.push_back(index);
      groupOfRouted.push_back(g);
    }
  }
  const std::int32_t n = static_cast<std::int32_t>(routed.size());

  // Feeders of each routed cell (by position), in slot order.
  std::vector<std::int32_t> feedStart(n + 1, 0), feeders, consumer(n, -1);
  for (std::int32_t c = 0; c < n; ++c) {
    const GridCell& cell = grid.cells[routed[c]];
    for (std::int32_t s = 0; s < cell.upCount; ++s) {
      const std::int32_t u = position[cell.up[s]];
      if (u >= 0 && u < c) {
        feeders.push_back(u);
        consumer[u] = c;
      }
    }
    feedStart[c + 1] = static_cast<std::int32_t>(feeders.size());
  }

  // Histories a subtree needs at once when its children are routed in decreasing need:
  // while child i (0-based) is routed, the i earlier children hold theirs. A cell's children
  // are its feeders (at most eight), sorted in place by an insertion sort, which is stable.
  std::vector<std::int32_t> need(n, 1);
  std::vector<std::int32_t> children = feeders;
  for (std::int32_t c = 0; c < n; ++c) {
    std::int32_t* kids = children.data() + feedStart[c];
    const std::int32_t count = feedStart[c + 1] - feedStart[c];
    for (std::int32_t i = 1; i < count; ++i) {
      const std::int32_t kid = kids[i];
      std::int32_t j = i;
      for (; j > 0 && need[kids[j - 1]] < need[kid]; --j) kids[j] = kids[j - 1];
      kids[j] = kid;
    }
    std::int32_t m = count + 1;
    for (std::int32_t i = 0; i < count; ++i) m = std::max(m, need[kids[i]] + i);
    need[c] = m;
  }

  // Post-order over the forest, roots in calculation order.
  std::vector<std::int32_t> taskOf(n, -1);
  std::vector<std::int32_t> orderOfTasks;
  orderOfTasks.reserve(n);
  std::vector<std::pair<std::int32_t, std::int32_t>> stack;
  RoutingPlan plan;
  for (std::int32_t root = 0; root < n; ++root) {
    if (consumer[root] != -1) continue;
    plan.peakWaiting = std::max(plan.peakWaiting, need[root]);
    stack.push_back({root, feedStart[root]});
    while (!stack.empty()) {
      auto& [c, next] = stack.back();
      if (next < feedStart[c + 1]) {
        const std::int32_t child = children[next++];
        stack.push_back({child, feedStart[child]});
      } else {
        taskOf[c] = static_cast<std::int32_t>(orderOfTasks.size());
        orderOfTasks.push_back(c);
        stack.pop_back();
      }
    }
  }

  plan.cell.resize(n);
  plan.consumer.resize(n);
  plan.group.resize(n);
  plan.feedStart.assign(n + 1, 0);
  plan.routedInGroup.assign(order.groupCount, 0);
  for (std::int32_t t = 0; t < n; ++t) {
    const std::int32_t c = orderOfTasks[t];
    plan.cell[t] = routed[c];
    plan.consumer[t] = consumer[c] < 0 ? -1 : taskOf[consumer[c]];
    plan.group[t] = groupOfRouted[c];
    ++plan.routedInGroup[groupOfRouted[c]];
    for (std::int32_t f = feedStart[c]; f < feedStart[c + 1]; ++f) {
      plan.feeders.push_back(taskOf[feeders[f]]);
    }
    plan.feedStart[t + 1] = static_cast<std::int32_t>(plan.feeders.size());
  }
  return plan;
}

}  // namespace runoff
