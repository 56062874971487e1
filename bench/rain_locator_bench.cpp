// Time of the nearest-rainfall-cell mapping: 4 million topography cells (a 2000 x 2000 grid of
// 3-arc-second cells) onto a 200 x 200 rainfall grid of 30-arc-second cells covering them,
// once inland and once across 180 degrees, where the rainfall longitudes wrap. The exhaustive
// search is timed on a spread subset, checked against the fast search there, and its time for
// all cells extrapolated.
//
// Run: build/bench/rain_locator_bench
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "literal_rain_search.h"
#include "runoff/inputs/rain_locator.h"

namespace {

using runoff::RainLocator;

constexpr int kTopoSize = 2000;
constexpr float kTopoCellSec = 3.0f;
constexpr int kRainSize = 200;
constexpr double kRainSpacing = 1.0 / 120;

struct Point {
  double y;
  double x;
};

// Cell centres the way the topography grid places them, in single-precision arc-seconds,
// row 0 northern; returned in degrees in the order the mapping visits them.
std::vector<Point> topographyCentres(float swLat, float swLon) {
  std::vector<double> ys(kTopoSize), xs(kTopoSize);
  for (int r = 0; r < kTopoSize; ++r) {
    const float s = swLat * 3600.0f + kTopoCellSec * static_cast<float>(kTopoSize - r - 1);
    ys[r] = static_cast<float>(static_cast<double>(s) + 0.5 * kTopoCellSec) / 3600.0;
  }
  for (int c = 0; c < kTopoSize; ++c) {
    const float s = swLon * 3600.0f + kTopoCellSec * static_cast<float>(c);
    xs[c] = static_cast<float>(static_cast<double>(s) + 0.5 * kTopoCellSec) / 3600.0;
  }
  std::vector<Point> points;
  points.reserve(static_cast<std::size_t>(kTopoSize) * kTopoSize);
  for (double y : ys) {
    for (double x : xs) points.push_back({y, x});
  }
  return points;
}

std::vector<float> rainCentres(double sw, bool wrap) {
  std::vector<float> centres;
  for (int i = 0; i < kRainSize; ++i) {
    float c = static_cast<float>(sw + i * kRainSpacing);
    if (wrap && static_cast<double>(c) > 180.0)
      c = static_cast<float>(static_cast<double>(c) - 360.0);
    centres.push_back(c);
  }
  return centres;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void runCase(const char* name, float swLat, float swLon) {
  const std::vector<Point> points = topographyCentres(swLat, swLon);
  const std::vector<float> rowLat = rainCentres(swLat + kRainSpacing / 2, false);
  const std::vector<float> colLon = rainCentres(swLon + kRainSpacing / 2, true);

  auto start = std::chrono::steady_clock::now();
  const RainLocator locator(rowLat, colLon);
  std::vector<RainLocator::Cell> fast(points.size());
  for (std::size_t i = 0; i < points.size(); ++i)
    fast[i] = locator.nearest(points[i].y, points[i].x);
  const double fastSeconds = secondsSince(start);

  // Every 997th cell: spread over all rows and, the stride not dividing the row length, over
  // all columns.
  constexpr std::size_t kStride = 997;
  std::size_t sampled = 0, differing = 0;
  start = std::chrono::steady_clock::now();
  for (std::size_t i = 0; i < points.size(); i += kStride) {
    const RainLocator::Cell want =
        runoff::testing::exhaustiveNearest(rowLat, colLon, points[i].y, points[i].x);
    ++sampled;
    if (want.row != fast[i].row || want.col != fast[i].col) ++differing;
  }
  const double sampleSeconds = secondsSince(start);
  const double exhaustiveSeconds =
      sampleSeconds * static_cast<double>(points.size()) / static_cast<double>(sampled);

  std::printf("%-22s %9zu %9.3f %9.1f %14.1f %10.0f %9zu %9zu\n", name, points.size(), fastSeconds,
              fastSeconds / static_cast<double>(points.size()) * 1e9, exhaustiveSeconds,
              exhaustiveSeconds / fastSeconds, sampled, differing);
}

}  // namespace

int main() {
  std::printf(
      "Nearest rainfall cell: %d x %d topography cells of %g\" onto %d x %d rainfall cells "
      "of 30\"\n",
      kTopoSize, kTopoSize, static_cast<double>(kTopoCellSec), kRainSize, kRainSize);
  std::printf("%-22s %9s %9s %9s %14s %10s %9s %9s\n", "case", "cells", "fast s", "ns/cell",
              "exhaustive s*", "speed-up", "checked", "differ");
  runCase("inland (35N 139E)", 35.0f, 139.0f);
  runCase("across 180 (35N 179E)", 35.0f, 179.0f);
  std::printf("* extrapolated from the checked cells\n");
  return 0;
}
