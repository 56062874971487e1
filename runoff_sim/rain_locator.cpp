#include "runoff_sim/rain_locator.h"

#include <cmath>
#include <utility>

namespace runoff {

RainLocator::RainLocator(std::vector<float> rowLat, std::vector<float> colLon)
    : rowLat_(std::move(rowLat)), colLon_(std::move(colLon)) {}

RainLocator::Cell RainLocator::nearest(double y, double x) const {
  Cell best;
  double bestDistance = 1e29;
  for (std::size_t k = 0; k < rowLat_.size(); ++k) {
    for (std::size_t l = 0; l < colLon_.size(); ++l) {
      double dy = y - static_cast<double>(rowLat_[k]);
      double dx = x - static_cast<double>(colLon_[l]);
      double d = std::sqrt(dy * dy + dx * dx);
      if (d < bestDistance) {
        bestDistance = d;
        best = {static_cast<std::int32_t>(k), static_cast<std::int32_t>(l)};
      }
    }
  }
  return best;
}

}  // namespace runoff
