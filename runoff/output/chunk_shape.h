// Chunks of a (time, lat, lon) grid sequence in the NetCDF file. Analysts read two ways: the
// map of one time step, and the series of one cell over the whole run. A chunk is read and
// inflated whole, so its shape decides what each costs; the shape chosen makes both read
// about the same number of chunks (a map the chunks of one time block, a series one chunk per
// block), with chunks of about kChunkValues values. The converter writes one block of
// chunk.steps grids at a time, so each chunk is compressed exactly once.
#ifndef RUNOFF_OUTPUT_CHUNK_SHAPE_H_
#define RUNOFF_OUTPUT_CHUNK_SHAPE_H_

#include <cstddef>
#include <cstdint>

namespace runoff {

/// Values in a chunk (float32: 256 KiB), inside the range NetCDF's guides recommend.
inline constexpr std::int64_t kChunkValues = 65536;
/// Largest block of grids held in memory at once, bytes (fewer grids when they are big; at
/// least one grid whatever its size).
inline constexpr std::int64_t kMaxBlockBytes = std::int64_t{256} << 20;

struct ChunkShape {
  std::size_t steps = 1;  // grids (hours or days) per chunk, also the block written at once
  std::size_t rows = 1;
  std::size_t cols = 1;
};

/// The chunk for `steps` grids of rows x cols float32 values; every count at least 1. Its
/// steps are a divisor or a multiple of `period` (24 for hours: chunks hold whole days or
/// lie within one), or all the steps there are.
ChunkShape balancedChunk(std::int64_t steps, std::int32_t rows, std::int32_t cols,
                         std::int64_t period = 1);

}  // namespace runoff

#endif  // RUNOFF_OUTPUT_CHUNK_SHAPE_H_
