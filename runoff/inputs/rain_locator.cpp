#include "runoff/inputs/rain_locator.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <limits>
#include <utility>

namespace runoff {

namespace {

// A distance must fall below this to count; a point farther from every cell maps nowhere.
constexpr double kNoDistance = 1e29;

// Square of an offset, one rounded product as in the distance formula.
double squared(double offset) { return offset * offset; }

}  // namespace

RainLocator::Axis::Axis(const std::vector<float>& centres) {
  std::vector<std::pair<double, std::int32_t>> finite;
  finite.reserve(centres.size());
  for (std::size_t i = 0; i < centres.size(); ++i) {
    if (std::isfinite(centres[i])) {
      finite.emplace_back(static_cast<double>(centres[i]), static_cast<std::int32_t>(i));
    }
  }
  // Ascending by centre, equal centres by index, so the first of a run of equal centres
  // carries the lowest index. -0 and +0 compare equal and give the same squares, so they merge.
  std::sort(finite.begin(), finite.end());
  std::vector<std::int32_t> lowestOfValue;
  for (const auto& [value, index] : finite) {
    if (values.empty() || values.back() != value) {
      values.push_back(value);
      lowestOfValue.push_back(index);
    }
  }

  const std::size_t n = values.size();
  const int levels = n == 0 ? 0 : std::bit_width(n);
  lowest.resize(static_cast<std::size_t>(levels) * n);
  std::copy(lowestOfValue.begin(), lowestOfValue.end(), lowest.begin());
  for (int j = 1; j < levels; ++j) {
    const std::size_t half = std::size_t{1} << (j - 1);
    const std::int32_t* below = &lowest[(j - 1) * n];
    std::int32_t* level = &lowest[j * n];
    for (std::size_t i = 0; i + 2 * half <= n; ++i) {
      level[i] = std::min(below[i], below[i + half]);
    }
  }

  // About one centre per bucket on a regular axis: bucket width near the smallest gap, with a
  // cap for irregular axes (a wrapped longitude axis is two clusters with a wide gap between).
  std::size_t buckets = 1;
  if (n >= 2) {
    origin = values.front();
    const double span = values.back() - values.front();
    double smallestGap = span;
    for (std::size_t i = 1; i < n; ++i) {
      smallestGap = std::min(smallestGap, values[i] - values[i - 1]);
    }
    const double cap =
        static_cast<double>(std::min<std::size_t>(16 * n + 16, std::size_t{1} << 22));
    const double wanted = span / smallestGap;
    buckets = wanted < cap ? static_cast<std::size_t>(wanted) + 1 : static_cast<std::size_t>(cap);
    bucketsPerDegree = static_cast<double>(buckets) / span;
  } else if (n == 1) {
    origin = values.front();
  }
  // bucketStart[b]: first position whose bucket is b or higher.
  bucketStart.assign(buckets + 1, static_cast<std::uint32_t>(n));
  std::size_t next = 0;
  for (std::size_t i = 0; i < n; ++i) {
    for (const std::size_t b = bucketOf(values[i]); next <= b; ++next) {
      bucketStart[next] = static_cast<std::uint32_t>(i);
    }
  }
}

std::size_t RainLocator::Axis::bucketOf(double p) const {
  const std::size_t buckets = bucketStart.size() - 1;
  const double t = (p - origin) * bucketsPerDegree;
  if (!(t > 0.0)) return 0;  // also NaN, from an infinite offset times zero
  if (t >= static_cast<double>(buckets)) return buckets - 1;
  return static_cast<std::size_t>(t);
}

std::size_t RainLocator::Axis::crossing(double p) const {
  // bucketOf never decreases, so every centre of a lower bucket is below p and every centre of
  // a higher bucket above it: the crossing lies within p's own bucket or at its end.
  const std::size_t b = bucketOf(p);
  const auto first = values.begin() + bucketStart[b];
  const auto last = values.begin() + bucketStart[b + 1];
  return static_cast<std::size_t>(std::lower_bound(first, last, p) - values.begin());
}

double RainLocator::Axis::smallestSquare(double p, std::size_t cross) const {
  // (p - centre) never increases along the ascending centres and changes sign at the
  // crossing, so the smallest square sits at one of the two centres beside it.
  double smallest = std::numeric_limits<double>::infinity();
  if (cross > 0) smallest = squared(p - values[cross - 1]);
  if (cross < values.size()) smallest = std::min(smallest, squared(p - values[cross]));
  return smallest;
}

std::int32_t RainLocator::Axis::firstTying(double p, std::size_t cross, double other,
                                           double best) const {
  // The squares shrink towards the crossing from both sides, so the centres that tie with
  // `best` are a run of positions next to it: a tail of those below, a head of those above.
  auto ties = [&](std::ptrdiff_t i) {
    return std::sqrt(squared(p - values[static_cast<std::size_t>(i)]) + other) == best;
  };
  const std::ptrdiff_t c = static_cast<std::ptrdiff_t>(cross);
  const std::ptrdiff_t n = static_cast<std::ptrdiff_t>(values.size());

  std::ptrdiff_t first = c;  // lowest tying position
  if (c > 0 && ties(c - 1)) {
    std::ptrdiff_t good = c - 1;
    std::ptrdiff_t bad = -1;
    for (std::ptrdiff_t step = 1; good - step >= 0; step *= 2) {
      if (!ties(good - step)) {
        bad = good - step;
        break;
      }
      good -= step;
    }
    while (good - bad > 1) {
      const std::ptrdiff_t mid = bad + (good - bad) / 2;
      (ties(mid) ? good : bad) = mid;
    }
    first = good;
  }
  std::ptrdiff_t last = c - 1;  // highest tying position
  if (c < n && ties(c)) {
    std::ptrdiff_t good = c;
    std::ptrdiff_t bad = n;
    for (std::ptrdiff_t step = 1; good + step < n; step *= 2) {
      if (!ties(good + step)) {
        bad = good + step;
        break;
      }
      good += step;
    }
    while (bad - good > 1) {
      const std::ptrdiff_t mid = good + (bad - good) / 2;
      (ties(mid) ? good : bad) = mid;
    }
    last = good;
  }
  return lowestIndex(static_cast<std::size_t>(first), static_cast<std::size_t>(last));
}

std::int32_t RainLocator::Axis::lowestIndex(std::size_t first, std::size_t last) const {
  const std::size_t n = values.size();
  const int j = std::bit_width(last - first + 1) - 1;
  const std::int32_t* level = &lowest[static_cast<std::size_t>(j) * n];
  return std::min(level[first], level[last + 1 - (std::size_t{1} << j)]);
}

RainLocator::RainLocator(std::vector<float> rowLat, std::vector<float> colLon)
    : rowLat_(std::move(rowLat)), colLon_(std::move(colLon)), rows_(rowLat_), cols_(colLon_) {}

RainLocator::Cell RainLocator::nearest(double y, double x) const {
  // An infinite or NaN coordinate makes every distance infinite or NaN.
  if (!std::isfinite(y) || !std::isfinite(x) || rows_.values.empty() || cols_.values.empty()) {
    return {};
  }
  const std::size_t rowCross = rows_.crossing(y);
  const std::size_t colCross = cols_.crossing(x);
  // Rounded addition and sqrt never decrease as an operand grows, so no cell is nearer than
  // the smallest row term with the smallest column term.
  const double rowTermMin = rows_.smallestSquare(y, rowCross);
  const double colTermMin = cols_.smallestSquare(x, colCross);
  const double best = std::sqrt(rowTermMin + colTermMin);
  if (!(best < kNoDistance)) return {};
  // A row holds a cell at distance `best` exactly when its own term with the smallest column
  // term gives `best`; the search keeps the first such row, then its first such column.
  const std::int32_t row = rows_.firstTying(y, rowCross, colTermMin, best);
  const double rowTerm = squared(y - static_cast<double>(rowLat_[static_cast<std::size_t>(row)]));
  const std::int32_t col = cols_.firstTying(x, colCross, rowTerm, best);
  return {row, col};
}

}  // namespace runoff
