// Times exchangeSortOrder on flow-accumulation grids of growing size and on hostile inputs, and
// compares it with the literal pairwise exchange procedure where that finishes in seconds.
//
// Realistic grids: the flow accumulation of the synthetic terrain of bench/terrain.h (smooth
// random relief, priority-flood fill, D8 steepest descent): most cells at 1, 2, 3, ..., few
// large values, many no-data cells.
//
// Usage: exchange_order_bench [maxLiteralSide]   (default 300: literal run up to 300 x 300)
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "bench/terrain.h"
#include "literal_exchange_order.h"
#include "runoff/inputs/exchange_order.h"

namespace {

using Clock = std::chrono::steady_clock;
using runoff::bench::distinctValues;
using runoff::bench::heavyTies;
using runoff::bench::realisticFlowAccumulation;
using runoff::testing::literalExchangeOrder;

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
