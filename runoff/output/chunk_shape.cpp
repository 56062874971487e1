#include "runoff/output/chunk_shape.h"

#include <algorithm>
#include <cmath>

namespace runoff {

namespace {

// The divisor or multiple of `period` nearest to `t`, the smaller of two as near.
std::int64_t alignToPeriod(std::int64_t t, std::int64_t period) {
  if (period <= 1) return t;
  std::int64_t best = period * std::max<std::int64_t>(1, (t + period / 2) / period);
  for (std::int64_t d = 1; d < period; ++d) {
    if (period % d == 0 && std::abs(d - t) <= std::abs(best - t)) best = d;
  }
  return best;
}

// The largest divisor or multiple of `period` not above `t` (t at least 1).
std::int64_t alignDown(std::int64_t t, std::int64_t period) {
  if (period <= 1) return t;
  if (t >= period) return t / period * period;
  while (period % t != 0) --t;
  return t;
}

}  // namespace

ChunkShape balancedChunk(std::int64_t steps, std::int32_t rows, std::int32_t cols,
                         std::int64_t period) {
  steps = std::max<std::int64_t>(steps, 1);
  const std::int64_t R = std::max(rows, 1);
  const std::int64_t C = std::max(cols, 1);
  const double cells = static_cast<double>(R) * static_cast<double>(C);
  // A chunk of t steps over a tile of a cells: a map reads cells / a chunks, a series
  // steps / t; with t x a = kChunkValues the two are equal for a = sqrt(kChunkValues x
  // cells / steps).
  // A grid far larger than its run is long cannot balance with chunks of this size: such a
  // chunk is one step over a tile of kChunkValues cells.
  const double area =
      std::clamp(std::sqrt(static_cast<double>(kChunkValues) * cells / static_cast<double>(steps)),
                 1.0, std::min(cells, static_cast<double>(kChunkValues)));
  // As square a tile as the grid allows; a narrow grid gives its spare width to the rows.
  std::int64_t tileRows = std::clamp<std::int64_t>(std::llround(std::sqrt(area)), 1, R);
  const std::int64_t tileCols =
      std::clamp<std::int64_t>(static_cast<std::int64_t>(std::ceil(area / tileRows)), 1, C);
  tileRows = std::clamp<std::int64_t>(static_cast<std::int64_t>(std::ceil(area / tileCols)), 1, R);

  std::int64_t t =
      alignToPeriod(std::max<std::int64_t>(1, kChunkValues / (tileRows * tileCols)), period);
  t = std::clamp<std::int64_t>(t, 1, steps);
  const std::int64_t gridBytes = R * C * 4;
  if (t * gridBytes > kMaxBlockBytes) {
    t = alignDown(std::max<std::int64_t>(1, kMaxBlockBytes / gridBytes), period);
  }
  return ChunkShape{static_cast<std::size_t>(t), static_cast<std::size_t>(tileRows),
                    static_cast<std::size_t>(tileCols)};
}

}  // namespace runoff
