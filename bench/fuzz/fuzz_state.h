// The run the state fuzz target reads states for: the small grid of fuzz_grid.h with a fixed
// calculation order of two groups and five routed cells. make_state_seeds writes its seed
// corpus from the same run, so that the seeds get past the key.
#ifndef RUNOFF_BENCH_FUZZ_FUZZ_STATE_H_
#define RUNOFF_BENCH_FUZZ_FUZZ_STATE_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_grid.h"
#include "runoff/inputs/calc_order.h"
#include "runoff/output/run_state.h"

namespace runoff::fuzz {

inline StateKey stateKey() {
  CalculationOrder order;
  order.groupCount = 2;
  order.groupSizes = {3, 2};
  order.orderCount = 5;
  order.calcOrder = {{1, 1}, {1, 2}, {2, 1}, {2, 3}, {3, 2}};
  return makeStateKey(smallParameters(), {2, 1, -1}, order, 0);
}

/// The routed cells of the order above as grid indices (row * 5 + column), ascending.
inline std::vector<std::int32_t> routedCells() { return {6, 7, 11, 13, 17}; }

/// 64-bit FNV-1a, as the state file's checksum is made.
inline std::uint64_t fnv1a(const std::uint8_t* bytes, std::size_t size) {
  std::uint64_t hash = 14695981039346656037ull;
  for (std::size_t i = 0; i < size; ++i) {
    hash ^= bytes[i];
    hash *= 1099511628211ull;
  }
  return hash;
}

/// Replaces the last 8 bytes of `state` with the checksum of the bytes before them, so that a
/// changed state is read past its checksum.
inline void reseal(std::vector<std::uint8_t>& state) {
  if (state.size() < 8) return;
  std::uint64_t sum = fnv1a(state.data(), state.size() - 8);
  for (std::size_t i = state.size() - 8; i < state.size(); ++i, sum >>= 8) {
    state[i] = static_cast<std::uint8_t>(sum);
  }
}

}  // namespace runoff::fuzz

#endif  // RUNOFF_BENCH_FUZZ_FUZZ_STATE_H_
