#include "runoff/inputs/exchange_order.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <limits>
#include <stdexcept>

// Why the order can be computed without exchanging anything.
//
// Pass k of the procedure carries a "holder" along the positions after k: whenever the holder
// is strictly greater than the entry met, the two change places, so the holder only ever
// decreases. Fix one value x and call the entries smaller than x L, equal to x X, greater G.
// Within pass k, with t the first non-G entry at or after k:
//   - t is an L: the holder becomes an L before it meets any X, and X entries never move;
//   - t is an X and an L follows it: the holder picks up that X and drops it at the first L
//     after it, jumping over the other X entries in between; an L ends up at k;
//   - t is an X and no L follows: that X ends up at k, ahead of every other X.
// The L/X/G pattern at every step therefore depends only on the pattern before it, not on
// the values inside a class. Read on the subsequence of L and X entries, a pass either drops
// the leading L, or moves the leading X just behind the X run before the first L and drops
// that L. Scanning the original positions once with a queue of X entries reproduces this:
// an X is appended at the back, an L (with a non-empty queue) moves the front to the back.
// The queue at the end is the order of the X entries in the result, and the values are laid
// out in ascending order.
//
// So each value group only needs, between consecutive members, the number of smaller entries
// (a rotation by that count modulo the queue length), counted with a Fenwick tree over
// positions. A rotation moves the queue's front; an append inserts just before the front.
// These insertions into a growing circular sequence are placed offline: walking them
// backwards, each one takes the free slot whose rank is its insertion index, found in a
// second Fenwick tree over the group's slots. Cost O(N log N) time, O(N) memory.

namespace runoff {
namespace {

// Prefix counts of cells already laid out, by position (1-based tree over 0-based positions).
class PositionCounter {
 public:
  explicit PositionCounter(std::size_t n) : tree_(n + 1, 0) {}

  void add(std::int32_t pos) {
    const std::size_t n = tree_.size() - 1;
    for (std::size_t i = static_cast<std::size_t>(pos) + 1; i <= n; i += i & (~i + 1)) ++tree_[i];
  }

  /// Number of counted positions strictly before `pos`.
  std::int32_t before(std::int32_t pos) const {
    std::int32_t sum = 0;
    for (std::size_t i = static_cast<std::size_t>(pos); i > 0; i &= i - 1) sum += tree_[i];
    return sum;
  }

 private:
  std::vector<std::int32_t> tree_;
};

// The m slots of one group, all free at first; takes the free slot of a given rank.
class FreeSlots {
 public:
  void reset(std::size_t m) {
    tree_.resize(m + 1);
    for (std::size_t i = 1; i <= m; ++i) tree_[i] = static_cast<std::int32_t>(i & (~i + 1));
    topBit_ = 1;
    while (topBit_ * 2 <= m) topBit_ *= 2;
  }

  /// Marks the free slot with 0-based rank `rank` among the free slots as taken; returns it.
  std::int32_t take(std::int32_t rank) {
    const std::size_t m = tree_.size() - 1;
    std::size_t idx = 0;
    std::int32_t remaining = rank;  // free slots still to skip
    for (std::size_t step = topBit_; step > 0; step >>= 1) {
      const std::size_t next = idx + step;
      if (next <= m && tree_[next] <= remaining) {
        idx = next;
        remaining -= tree_[next];
      }
    }
    // idx is the 1-based index before the wanted slot, so the slot is idx (0-based).
    for (std::size_t i = idx + 1; i <= m; i += i & (~i + 1)) --tree_[i];
    return static_cast<std::int32_t>(idx);
  }

 private:
  std::vector<std::int32_t> tree_;
  std::size_t topBit_ = 1;
};

// Positions grouped by value, ascending, each group in ascending position: a stable LSD radix
// sort on the value's bits (sign bit flipped so that unsigned order is signed order) over
// (key, position) pairs, which keeps the passes sequential in memory.
std::vector<std::uint64_t> sortedKeyPositions(std::span<const std::int32_t> values) {
  const std::size_t n = values.size();
  std::vector<std::uint64_t> a(n);
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint32_t key = static_cast<std::uint32_t>(values[i]) ^ 0x80000000u;
    a[i] = (static_cast<std::uint64_t>(key) << 32) | static_cast<std::uint32_t>(i);
  }
  std::vector<std::uint64_t> b(n);
  for (int shift = 32; shift < 64; shift += 8) {
    std::array<std::size_t, 256> count{};
    for (const std::uint64_t e : a) ++count[(e >> shift) & 0xFF];
    if (std::any_of(count.begin(), count.end(), [n](std::size_t c) { return c == n; })) continue;
    std::size_t start = 0;
    for (std::size_t& c : count) {
      const std::size_t size = c;
      c = start;
      start += size;
    }
    for (const std::uint64_t e : a) b[count[(e >> shift) & 0xFF]++] = e;
    a.swap(b);
  }
  return a;
}

}  // namespace

std::vector<std::int32_t> exchangeSortOrder(std::span<const std::int32_t> values) {
  const std::size_t n = values.size();
  if (n > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    throw std::length_error("exchangeSortOrder: more entries than int32 positions can address");
  }
  std::vector<std::int32_t> order(n);
  {
    const std::vector<std::uint64_t> sorted = sortedKeyPositions(values);
    for (std::size_t i = 0; i < n; ++i) order[i] = static_cast<std::int32_t>(sorted[i]);
    // The keys are needed only for the group bounds; rebuild those from the values below.
  }

  PositionCounter smaller(n);  // cells of the groups already laid out
  std::int64_t smallerTotal = 0;
  std::vector<std::int32_t> insertAt;  // per group member: its insertion index in the queue
  std::vector<std::int32_t> placed;    // the group's slots after all insertions
  FreeSlots slots;

  std::size_t begin = 0;
  while (begin < n) {
    const std::int32_t x = values[static_cast<std::size_t>(order[begin])];
    std::size_t end = begin + 1;
    while (end < n && values[static_cast<std::size_t>(order[end])] == x) ++end;
    const std::size_t m = end - begin;
    const std::int32_t* q = order.data() + begin;

    if (m > 1 && smallerTotal > 0) {
      // Queue as a circular sequence of `size` entries whose front is at index `front`.
      insertAt.resize(m);
      std::int64_t front = 0;
      std::int64_t seenBefore = smaller.before(q[0]);
      for (std::size_t j = 0; j < m; ++j) {
        const std::int64_t size = static_cast<std::int64_t>(j);  // before this append
        insertAt[j] = static_cast<std::int32_t>(front);
        if (size > 0) ++front;  // the old front moved one index up
        const std::int64_t seenNext = j + 1 < m ? smaller.before(q[j + 1]) : smallerTotal;
        front = (front + (seenNext - seenBefore)) % (size + 1);
        seenBefore = seenNext;
      }
      placed.resize(m);
      slots.reset(m);
      for (std::size_t j = m; j-- > 0;)
        placed[static_cast<std::size_t>(slots.take(insertAt[j]))] = q[j];
      const auto f = static_cast<std::size_t>(front);
      std::copy(placed.begin() + static_cast<std::ptrdiff_t>(f), placed.end(),
                order.begin() + static_cast<std::ptrdiff_t>(begin));
      std::copy(placed.begin(), placed.begin() + static_cast<std::ptrdiff_t>(f),
                order.begin() + static_cast<std::ptrdiff_t>(begin + (m - f)));
    }
    // Otherwise no rotation can happen and the group keeps ascending positions.

    for (std::size_t j = begin; j < end; ++j) smaller.add(order[j]);
    smallerTotal += static_cast<std::int64_t>(m);
    begin = end;
  }
  return order;
}

}  // namespace runoff
