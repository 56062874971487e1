#include "runoff_sim/exchange_order.h"

#include <numeric>
#include <utility>

namespace runoff {

std::vector<std::int32_t> exchangeSortOrder(std::span<const std::int32_t> values) {
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

}  // namespace runoff
