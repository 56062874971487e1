// Times exchangeSortOrder on flow-accumulation grids of growing size and on hostile inputs, and
// compares it with the literal pairwise exchange procedure where that finishes in seconds.
//
// Realistic grids: smooth random terrain (a few broad hills and valleys over multi-octave
// value noise and a regional tilt), cells outside an elliptic basin outline set to -9999, pits
// and flats filled by a priority flood with a small rise per step, D8 steepest descent on the
// filled surface, and flow accumulation counted along it (each cell counts itself). That gives
// what real basins give: most cells at 1, 2, 3, ..., few large values, many no-data cells.
//
// Usage: exchange_order_bench [maxLiteralSide]   (default 300: literal run up to 300 x 300)
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <numeric>
#include <queue>
#include <random>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "runoff_sim/exchange_order.h"

namespace {

using Clock = std::chrono::steady_clock;

// The procedure exactly as the order step describes it: O(N^2) comparisons.
std::vector<std::int32_t> literalExchangeOrder(std::span<const std::int32_t> values) {
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

// Bilinear value noise: random values on a coarse lattice with `cell` grid cells per step.
void addValueNoise(std::vector<double>& z, int side, int cell, double amplitude,
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

std::vector<std::int32_t> realisticFlowAccumulation(int side, std::uint64_t seed) {
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

  // D8 steepest descent on the filled surface; -1 for outlets that leave the basin.
  std::vector<std::int32_t> down(n, -1);
  for (int r = 0; r < side; ++r)
    for (int c = 0; c < side; ++c) {
      const std::size_t i = static_cast<std::size_t>(r) * side + c;
      if (!inside[i]) continue;
      double best = 0.0;
      for (int d = 0; d < 8; ++d) {
        const int rr = r + dr[d], c2 = c + dc[d];
        if (!valid(rr, c2)) {
          best = 1e300;
          down[i] = -1;
          break;
        }
        const std::size_t j = static_cast<std::size_t>(rr) * side + c2;
        if (!inside[j]) {
          best = 1e300;
          down[i] = -1;
          break;
        }
        const double slope = (filled[i] - filled[j]) / ((d % 2) ? std::sqrt(2.0) : 1.0);
        if (slope > best) {
          best = slope;
          down[i] = static_cast<std::int32_t>(j);
        }
      }
    }

  // Flow accumulation: cells in order of falling filled elevation pass their count down.
  std::vector<std::int32_t> cells;
  for (std::size_t i = 0; i < n; ++i)
    if (inside[i]) cells.push_back(static_cast<std::int32_t>(i));
  std::sort(cells.begin(), cells.end(),
            [&](std::int32_t a, std::int32_t b) { return filled[a] > filled[b]; });
  std::vector<std::int32_t> acc(n, -9999);
  for (const std::int32_t i : cells) acc[i] = 1;
  for (const std::int32_t i : cells)
    if (down[i] >= 0) acc[down[i]] += acc[i];
  return acc;
}

std::vector<std::int32_t> distinctValues(std::size_t n, std::uint64_t seed) {
  std::vector<std::int32_t> v(n);
  std::iota(v.begin(), v.end(), 1);
  std::shuffle(v.begin(), v.end(), std::mt19937_64(seed));
  return v;
}

std::vector<std::int32_t> heavyTies(std::size_t n, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  const std::int32_t pool[] = {-9999, -9999, -9999, -1, 0, 0, 1, 1, 1, 1, 2, 2, 3, 4, 5};
  std::uniform_int_distribution<int> pick(0, static_cast<int>(std::size(pool)) - 1);
  std::vector<std::int32_t> v(n);
  for (std::int32_t& x : v) x = pool[pick(rng)];
  return v;
}

// A permutation whose values never fall: the minimum the fast order must satisfy everywhere.
bool isSortedPermutation(std::span<const std::int32_t> values,
                         const std::vector<std::int32_t>& order) {
  if (order.size() != values.size()) return false;
  std::vector<char> seen(values.size(), 0);
  for (std::size_t i = 0; i < order.size(); ++i) {
    const std::int32_t p = order[i];
    if (p < 0 || static_cast<std::size_t>(p) >= values.size() || seen[p]) return false;
    seen[p] = 1;
    if (i > 0 && values[order[i - 1]] > values[p]) return false;
  }
  return true;
}

double seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int maxLiteralSide = argc > 1 ? std::atoi(argv[1]) : 300;
  const int sides[] = {300, 500, 1000, 2000};
  struct Kind {
    const char* name;
    std::function<std::vector<std::int32_t>(int)> make;
  };
  const Kind kinds[] = {
      {"flow-accumulation", [](int s) { return realisticFlowAccumulation(s, 42 + s); }},
      {"distinct-random",
       [](int s) { return distinctValues(static_cast<std::size_t>(s) * s, 7 + s); }},
      {"ties+non-positive",
       [](int s) { return heavyTies(static_cast<std::size_t>(s) * s, 9 + s); }},
  };

  std::printf("%-18s %6s %9s %7s %10s %11s %9s %s\n", "input", "side", "cells", "groups", "fast s",
              "literal s", "ratio", "check");
  bool allGood = true;
  for (const Kind& kind : kinds) {
    for (const int side : sides) {
      const std::vector<std::int32_t> values = kind.make(side);
      std::vector<std::int32_t> distinct(values);
      std::sort(distinct.begin(), distinct.end());
      const auto groups = std::unique(distinct.begin(), distinct.end()) - distinct.begin();

      double fast = 1e300;
      std::vector<std::int32_t> order;
      for (int rep = 0; rep < 3; ++rep) {
        const auto t0 = Clock::now();
        order = runoff::exchangeSortOrder(values);
        fast = std::min(fast, seconds(t0, Clock::now()));
      }
      bool good = isSortedPermutation(values, order);
      std::string check = good ? "sorted" : "NOT SORTED";
      char literalText[32] = "-";
      char ratioText[32] = "-";
      if (side <= maxLiteralSide) {
        const auto t0 = Clock::now();
        const std::vector<std::int32_t> literal = literalExchangeOrder(values);
        const double slow = seconds(t0, Clock::now());
        const bool same = literal == order;
        good = good && same;
        check = same ? "identical" : "DIFFERENT";
        std::snprintf(literalText, sizeof literalText, "%.3f", slow);
        std::snprintf(ratioText, sizeof ratioText, "%.0fx", slow / fast);
      }
      allGood = allGood && good;
      std::printf("%-18s %6d %9zu %7td %10.4f %11s %9s %s\n", kind.name, side, values.size(),
                  groups, fast, literalText, ratioText, check.c_str());
      std::fflush(stdout);
    }
  }
  return allGood ? 0 : 1;
}
