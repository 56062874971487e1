// The order in which the calculation-order step lists cells: an ascending sort of the flow
// accumulation by a particular pairwise exchange procedure, which fixes where equal values end
// up (it is not stable, and values that are never listed still move equal ones around).
//
// The procedure: for each position k from first to last, for each later position l, if the
// value at k is strictly greater than the value at l, exchange the two entries.
#ifndef RUNOFF_INPUTS_EXCHANGE_ORDER_H_
#define RUNOFF_INPUTS_EXCHANGE_ORDER_H_

#include <cstdint>
#include <span>
#include <vector>

namespace runoff {

/// Returns the original positions of `values` in the order the exchange procedure leaves
/// them: result[i] is the position (0-based, row-major) of the entry that ends at i.
std::vector<std::int32_t> exchangeSortOrder(std::span<const std::int32_t> values);

}  // namespace runoff

#endif  // RUNOFF_INPUTS_EXCHANGE_ORDER_H_
