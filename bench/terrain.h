// Synthetic topography for the benchmarks: square grids with a real drainage network, and the
// hostile flow-accumulation inputs that stress the calculation order.
//
// Realistic terrain: smooth random relief (a few broad hills and valleys over multi-octave
// value noise and a regional tilt); cells outside an elliptic basin outline are no-data; pits
// and flats filled by a priority flood with a small rise per step; D8 steepest descent on the
// filled surface; flow accumulation counted along it (each cell counts itself); every cell
// labelled with the basin of the outlet it drains to. That gives what real basins give: most
// cells at accumulation 1, 2, 3, ..., few large values, many no-data cells, a few large
// basins and many small ones along the outline.
//
// All grids are row-major with row 0 the northern row, as the topography grid holds them.
#ifndef RUNOFF_BENCH_TERRAIN_H_
#define RUNOFF_BENCH_TERRAIN_H_

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iterator>
#include <numeric>
#include <queue>
#include <random>
#include <utility>
#include <vector>

namespace runoff::bench {

inline constexpr std::int32_t kNoData = -9999;

struct Terrain {
  int side = 0;
  std::vector<float> elevation;        // filled surface, metres; kNoData outside the outline
  std::vector<std::int32_t> flowDir;   // D8 code 1..8 clockwise from north; kNoData outside
  std::vector<std::int32_t> flowAcc;   // cells draining through each cell; kNoData outside
  std::vector<std::int32_t> riverNum;  // basin, 1 = largest, by size; kNoData outside
};

// Bilinear value noise: random values on a coarse lattice with `cell` grid cells per step.
inline void addValueNoise(std::vector<double>& z, int side, int cell, double amplitude,
                          std::mt19937_64& rng) {
  const int lattice = side / cell + 2;
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<double> knots(static_cast<std::size_t>(lattice) * lattice);
  for (double& k : knots) k = u(rng);
  for (int r = 0; r < side; ++r) {
    const double fr = static_cast<double>(r) / cell;
    const int r0 = static_cast<int>(fr);
    const double tr = fr - r0;
    for (int c = 0; c < side; ++c) {
      const double fc = static_cast<double>(c) / cell;
      const int c0 = static_cast<int>(fc);
      const double tc = fc - c0;
      auto at = [&](int rr, int cc) { return knots[static_cast<std::size_t>(rr) * lattice + cc]; };
      const double top = at(r0, c0) * (1 - tc) + at(r0, c0 + 1) * tc;
      const double bottom = at(r0 + 1, c0) * (1 - tc) + at(r0 + 1, c0 + 1) * tc;
      z[static_cast<std::size_t>(r) * side + c] += amplitude * (top * (1 - tr) + bottom * tr);
    }
  }
}

/// A side x side terrain with its drainage network; the same seed gives the same terrain.
inline Terrain realisticTerrain(int side, std::uint64_t seed) {
  const std::size_t n = static_cast<std::size_t>(side) * side;
  std::mt19937_64 rng(seed);
  std::vector<double> z(n, 0.0);
  for (int r = 0; r < side; ++r)
    for (int c = 0; c < side; ++c) z[static_cast<std::size_t>(r) * side + c] = 0.3 * (r + 0.5 * c);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  for (int b = 0; b < 6; ++b) {  // broad hills (positive) and basins (negative)
    const double br = u(rng) * side, bc = u(rng) * side, rad = (0.1 + 0.3 * u(rng)) * side;
    const double height = (u(rng) - 0.4) * side;
    for (int r = 0; r < side; ++r)
      for (int c = 0; c < side; ++c) {
        const double d2 = ((r - br) * (r - br) + (c - bc) * (c - bc)) / (rad * rad);
        z[static_cast<std::size_t>(r) * side + c] += height * std::exp(-d2);
      }
  }
  for (int cell = std::max(2, side / 4); cell >= 2; cell /= 2)
    addValueNoise(z, side, cell, 0.08 * cell, rng);
  for (double& e : z) e += 0.01 * u(rng);

  // Basin outline: an ellipse; outside it is no-data and drains nowhere.
  std::vector<char> inside(n, 0);
  const double cr = side / 2.0, cc = side / 2.0, ar = 0.48 * side, ac = 0.42 * side;
  for (int r = 0; r < side; ++r)
    for (int c = 0; c < side; ++c) {
      const double d = (r - cr) * (r - cr) / (ar * ar) + (c - cc) * (c - cc) / (ac * ac);
      inside[static_cast<std::size_t>(r) * side + c] = d <= 1.0;
    }

  // Neighbour offsets in the order of the D8 codes 1..8 (north first, clockwise; row 0 north).
  static const int dr[8] = {-1, -1, 0, 1, 1, 1, 0, -1};
  static const int dc[8] = {0, 1, 1, 1, 0, -1, -1, -1};
  auto valid = [&](int r, int c) { return r >= 0 && r < side && c >= 0 && c < side; };

  // Priority flood from the outline: every cell ends strictly above the cell it was reached
  // from, so each has a lower neighbour and flats and pits drain.
  std::vector<double> filled(z);
  std::vector<char> done(n, 0);
  using Item = std::pair<double, std::int32_t>;
  std::priority_queue<Item, std::vector<Item>, std::greater<Item>> open;
  for (int r = 0; r < side; ++r)
    for (int c = 0; c < side; ++c) {
      const std::size_t i = static_cast<std::size_t>(r) * side + c;
      if (!inside[i]) continue;
      bool outlet = false;
      for (int d = 0; d < 8; ++d)
        if (!valid(r + dr[d], c + dc[d]) ||
            !inside[static_cast<std::size_t>(r + dr[d]) * side + c + dc[d]])
          outlet = true;
      if (outlet) {
        done[i] = 1;
        open.emplace(filled[i], static_cast<std::int32_t>(i));
      }
    }
  const double rise = 1e-6;
  while (!open.empty()) {
    const auto [e, i] = open.top();
    open.pop();
    const int r = i / side, c = i % side;
    for (int d = 0; d < 8; ++d) {
      const int rr = r + dr[d], c2 = c + dc[d];
      if (!valid(rr, c2)) continue;
      const std::size_t j = static_cast<std::size_t>(rr) * side + c2;
      if (!inside[j] || done[j]) continue;
      done[j] = 1;
      filled[j] = std::max(filled[j], e + rise);
      open.emplace(filled[j], static_cast<std::int32_t>(j));
    }
  }

  // D8 steepest descent on the filled surface. An outlet (a cell touching the outline) points
  // out of the basin to the first no-data neighbour, as a GIS direction grid does; down = -1.
  Terrain t;
  t.side = side;
  t.flowDir.assign(n, kNoData);
  std::vector<std::int32_t> down(n, -1);
  for (int r = 0; r < side; ++r)
    for (int c = 0; c < side; ++c) {
      const std::size_t i = static_cast<std::size_t>(r) * side + c;
      if (!inside[i]) continue;
      double best = 0.0;
      for (int d = 0; d < 8; ++d) {
        const int rr = r + dr[d], c2 = c + dc[d];
        if (!valid(rr, c2)) {
          down[i] = -1;
          t.flowDir[i] = 0;
          break;
        }
        const std::size_t j = static_cast<std::size_t>(rr) * side + c2;
        if (!inside[j]) {
          down[i] = -1;
          t.flowDir[i] = d + 1;
          break;
        }
        const double slope = (filled[i] - filled[j]) / ((d % 2) ? std::sqrt(2.0) : 1.0);
        if (slope > best) {
          best = slope;
          down[i] = static_cast<std::int32_t>(j);
          t.flowDir[i] = d + 1;
        }
      }
    }

  // Flow accumulation: cells in order of falling filled elevation pass their count down.
  std::vector<std::int32_t> cells;
  for (std::size_t i = 0; i < n; ++i)
    if (inside[i]) cells.push_back(static_cast<std::int32_t>(i));
  std::sort(cells.begin(), cells.end(),
            [&](std::int32_t a, std::int32_t b) { return filled[a] > filled[b]; });
  t.flowAcc.assign(n, kNoData);
  for (const std::int32_t i : cells) t.flowAcc[i] = 1;
  for (const std::int32_t i : cells)
    if (down[i] >= 0) t.flowAcc[down[i]] += t.flowAcc[i];

  // Basins: each cell takes its outlet, visited from the lowest cell up so that the cell it
  // drains into (strictly lower) is already labelled; numbered by size, largest first.
  std::vector<std::int32_t> outlet(n, -1);
  for (auto it = cells.rbegin(); it != cells.rend(); ++it)
    outlet[*it] = down[*it] < 0 ? *it : outlet[down[*it]];
  std::vector<std::int32_t> basinCells(n, 0);
  std::vector<std::int32_t> outlets;
  for (const std::int32_t i : cells) {
    if (basinCells[outlet[i]]++ == 0) outlets.push_back(outlet[i]);
  }
  std::sort(outlets.begin(), outlets.end(), [&](std::int32_t a, std::int32_t b) {
    return basinCells[a] != basinCells[b] ? basinCells[a] > basinCells[b] : a < b;
  });
  std::vector<std::int32_t> number(n, 0);
  for (std::size_t k = 0; k < outlets.size(); ++k)
    number[outlets[k]] = static_cast<std::int32_t>(k) + 1;
  t.riverNum.assign(n, kNoData);
  for (const std::int32_t i : cells) t.riverNum[i] = number[outlet[i]];

  t.elevation.assign(n, static_cast<float>(kNoData));
  for (const std::int32_t i : cells) t.elevation[i] = static_cast<float>(filled[i]);
  return t;
}

/// The flow accumulation of realisticTerrain(side, seed).
inline std::vector<std::int32_t> realisticFlowAccumulation(int side, std::uint64_t seed) {
  return realisticTerrain(side, seed).flowAcc;
}

/// 1 .. n in random order: every cell its own group, no order to exploit.
inline std::vector<std::int32_t> distinctValues(std::size_t n, std::uint64_t seed) {
  std::vector<std::int32_t> v(n);
  std::iota(v.begin(), v.end(), 1);
  std::shuffle(v.begin(), v.end(), std::mt19937_64(seed));
  return v;
}

/// A handful of values, many of them no-data, zero or negative: long runs of ties that the
/// exchange procedure reorders in its own way.
inline std::vector<std::int32_t> heavyTies(std::size_t n, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  const std::int32_t pool[] = {-9999, -9999, -9999, -1, 0, 0, 1, 1, 1, 1, 2, 2, 3, 4, 5};
  std::uniform_int_distribution<int> pick(0, static_cast<int>(std::size(pool)) - 1);
  std::vector<std::int32_t> v(n);
  for (std::int32_t& x : v) x = pool[pick(rng)];
  return v;
}

}  // namespace runoff::bench

#endif  // RUNOFF_BENCH_TERRAIN_H_
