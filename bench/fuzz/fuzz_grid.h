// Small fixed grids the fuzz targets read their inputs against: a 4 x 5 topography grid at
// 36 N, 140 E and a 3 x 2 rainfall grid over it, one day long.
#ifndef RUNOFF_BENCH_FUZZ_FUZZ_GRID_H_
#define RUNOFF_BENCH_FUZZ_FUZZ_GRID_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/params.h"

namespace runoff::fuzz {

inline RunParameters smallParameters() {
  RunParameters p;
  p.topoScale = 30.0f;
  p.topoCols = 5;
  p.topoRows = 4;
  p.topoSwLon = 140.0;
  p.topoSwLat = 36.0;
  p.rainCols = 2;
  p.rainRows = 3;
  p.rainDx = 0.02;
  p.rainDy = 0.015;
  p.rainSwLon = 140.01;
  p.rainSwLat = 36.005;
  p.days = 1;
  p.timeStep = 600;
  p.spaceSteps = 2;
  p.fdWeight = 0.6;
  p.slopeManning = 0.4;
  p.channelManning = 0.03;
  p.channelThreshold = 3;
  p.initialRunoff = 0.1;
  p.subSteps = 6;
  return p;
}

/// Splits `data` at the byte value 0xFF into at most `parts` pieces (missing ones are empty),
/// so that one input can feed several streams.
inline std::vector<std::string> splitInput(const std::uint8_t* data, std::size_t size,
                                           std::size_t parts) {
  std::vector<std::string> out(parts);
  std::size_t part = 0;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0xFF && part + 1 < parts) {
      ++part;
      continue;
    }
    out[part].push_back(static_cast<char>(data[i]));
  }
  return out;
}

/// Cuts `data` into consecutive pieces of `length` bytes each (the last ones short or empty
/// when the input ends), for streams that hold binary records of any value.
inline std::vector<std::string> cutInput(const std::uint8_t* data, std::size_t size,
                                         std::size_t parts, std::size_t length) {
  std::vector<std::string> out(parts);
  for (std::size_t part = 0, at = 0; part < parts && at < size; ++part, at += length) {
    out[part].assign(reinterpret_cast<const char*>(data) + at, std::min(length, size - at));
  }
  return out;
}

}  // namespace runoff::fuzz

#endif  // RUNOFF_BENCH_FUZZ_FUZZ_GRID_H_
