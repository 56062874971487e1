// The nearest rainfall cell found by visiting every rainfall cell, O(rows x cols) per point:
// the reference the fast locator is checked against. For tests and benchmarks only.
#ifndef RUNOFF_TESTS_LITERAL_RAIN_SEARCH_H_
#define RUNOFF_TESTS_LITERAL_RAIN_SEARCH_H_

#include <cmath>
#include <cstdint>
#include <vector>

#include "runoff/inputs/rain_locator.h"

namespace runoff::testing {

/// Every cell, row 0 first and column 0 first within a row; the distance in the plane of
/// degrees in double precision; strictly nearer replaces, starting from 1e29.
inline RainLocator::Cell exhaustiveNearest(const std::vector<float>& rowLat,
                                           const std::vector<float>& colLon, double y, double x) {
  RainLocator::Cell best;
  double bestDistance = 1e29;
  for (std::size_t k = 0; k < rowLat.size(); ++k) {
    for (std::size_t l = 0; l < colLon.size(); ++l) {
      const double dy = y - static_cast<double>(rowLat[k]);
      const double dx = x - static_cast<double>(colLon[l]);
      const double d = std::sqrt(dy * dy + dx * dx);
      if (d < bestDistance) {
        bestDistance = d;
        best = {static_cast<std::int32_t>(k), static_cast<std::int32_t>(l)};
      }
    }
  }
  return best;
}

}  // namespace runoff::testing

#endif  // RUNOFF_TESTS_LITERAL_RAIN_SEARCH_H_
