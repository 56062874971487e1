// The calculation-order exchange procedure written out literally, O(N^2): the reference the
// fast order is checked against. For tests only.
#ifndef RUNOFF_TESTS_LITERAL_EXCHANGE_ORDER_H_
#define RUNOFF_TESTS_LITERAL_EXCHANGE_ORDER_H_

#include <cstdint>
#include <numeric>
#include <span>
#include <utility>
#include <vector>

namespace runoff::testing {

/// For each k from first to last, for each later l: if v[k] > v[l] strictly, exchange entries
/// k and l. Returns the original positions in the order the entries end up.
inline std::vector<std::int32_t> literalExchangeOrder(std::span<const std::int32_t> values) {
  std::vector<std::int32_t> v(values.begin(), values.end());
  std::vector<std::int32_t> pos(values.size());
  std::iota(pos.begin(), pos.end(), 0);
  for (std::size_t k = 0; k < v.size(); ++k) {
    for (std::size_t l = k + 1; l < v.size(); ++l) {
      if (v[k] > v[l]) {
        std::swap(v[k], v[l]);
        std::swap(pos[k], pos[l]);
      }
    }
  }
  return pos;
}

}  // namespace runoff::testing

#endif  // RUNOFF_TESTS_LITERAL_EXCHANGE_ORDER_H_
