#include "discharge_netcdf/chunk_shape.h"

#include <algorithm>
#include <cmath>

namespace runoff {

ChunkShape balancedChunk(std::int64_t steps, std::int32_t rows, std::int32_t cols) {
  steps = std::max<std::int64_t>(steps, 1);
  const std::int64_t R = std::max(rows, 1);
  const std::int64_t C = std::max(cols, 1);
  const double cells = static_cast<double>(R) * static_cast<double>(C);
  // A chunk of t steps over a tile of a cells: a map reads cells / a chunks, a series
  // steps / t; with t x a = kChunkValues the two are equal for a = sqrt(kChunkValues x
  // cells / steps).
  const double area =
      std::clamp(std::sqrt(static_cast<double>(kChunkValues) * cells / static_cast<double>(steps)),
                 1.0, cells);
  // As square a tile as the grid allows; a narrow grid gives its spare width to the rows.
  std::int64_t tileRows = std::clamp<std::int64_t>(std::llround(std::sqrt(area)), 1, R);
  const std::int64_t tileCols =
      std::clamp<std::int64_t>(static_cast<std::int64_t>(std::ceil(area / tileRows)), 1, C);
  tileRows = std::clamp<std::int64_t>(static_cast<std::int64_t>(std::ceil(area / tileCols)), 1, R);

  std::int64_t t = std::clamp<std::int64_t>(kChunkValues / (tileRows * tileCols), 1, steps);
  const std::int64_t gridBytes = R * C * 4;
  t = std::min(t, std::max<std::int64_t>(1, kMaxBlockBytes / gridBytes));
  return ChunkShape{static_cast<std::size_t>(t), static_cast<std::size_t>(tileRows),
                    static_cast<std::size_t>(tileCols)};
}

}  // namespace runoff
