// Times the set-up of a run at growing grid sizes: tying every topography cell to its nearest
// rainfall cell, the calculation order, and the selection of every cell, each with the
// simulator's own modules on a topography grid loaded through its own readers. Where the plain
// procedures finish (about 300 x 300 cells) they run beside it in the same process, their
// results must be identical, and the table gives the ratio.
//
// Grids: the realistic terrain of bench/terrain.h at 300, 500, 1000 and 2000 cells a side
// (35 N, 139 E), and at the smallest and largest of them two hostile grids on the same terrain
// at 179.2 E, so that the rainfall longitudes wrap across 180 degrees: every cell its own
// distinct flow accumulation in random order, or a handful of values with heavy ties and many
// no-data, zero and negative values; their river numbers are random over 0..4999 with 30 % no
// basin. Every grid spans 6000 arc-seconds (so 3" cells at 2000 a side) under a 200 x 200
// rainfall grid of 30" cells covering it. The river list holds 16 rivers: on the realistic
// grids the 16 largest basins listed smallest first (so the plain search walks far for most
// routed cells), on the hostile ones 15 random numbers and a repeat.
//
// The plain selection counts what a one-day run does: one test per calculation-order entry
// in the routing loop, then one per cell for the two daily grids and one per cell for each of
// the 24 hourly grids. The simulator tests every cell once and keeps a flag per cell.
//
// Fast times are the best of three in the process; plain times are single runs. Larger grids
// are checked too: every 997th cell's rainfall cell against the exhaustive search, the order
// for being ascending and complete, and every cell's selection against one plain search.
//
// Usage: setup_bench [maxLiteralSide [side ...]]
//   maxLiteralSide  plain procedures up to this many cells a side (default 300)
//   side ...        grid sides (default 300 500 1000 2000); the hostile grids are made at the
//                   smallest and the largest
// Exit status 1 when any result differs from its reference.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <numeric>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "bench/literal_setup.h"
#include "bench/terrain.h"
#include "common/binary_grid.h"
#include "common/params.h"
#include "runoff/inputs/calc_order.h"
#include "runoff/inputs/rain_grid.h"
#include "runoff/inputs/rain_locator.h"
#include "runoff/inputs/rain_mapping.h"
#include "runoff/inputs/river_list.h"
#include "runoff/inputs/topo_grid.h"

namespace {

using runoff::CalculationOrder;
using runoff::GridCell;
using runoff::RainGrid;
using runoff::RunParameters;
using runoff::TopoGrid;
using runoff::bench::Terrain;
using Clock = std::chrono::steady_clock;

constexpr int kFastRepeats = 3;
constexpr int kRainSize = 200;
constexpr double kRainSpacing = 0.00833333333333333;  // 30 arc-seconds, degrees
constexpr double kSpanSeconds = 6000.0;               // every grid spans 6000" a side
constexpr std::int32_t kDays = 1;

double seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

// One benchmark grid: the four topography grids (row-major, row 0 north), where it lies and
// which rivers are simulated.
struct Case {
  std::string name;
  int side = 0;
  double swLon = 0;
  const std::vector<float>* elevation = nullptr;
  const std::vector<std::int32_t>* flowDir = nullptr;
  std::vector<std::int32_t> flowAcc;
  std::vector<std::int32_t> riverNum;
  std::vector<std::int32_t> riverList;
};

// A grid on the terrain's elevation and directions with its south-west corner at `swLon`;
// accumulation, river numbers and river list still to be given.
Case terrainCase(const char* name, const Terrain& terrain, double swLon) {
  Case c;
  c.name = name;
  c.side = terrain.side;
  c.swLon = swLon;
  c.elevation = &terrain.elevation;
  c.flowDir = &terrain.flowDir;
  return c;
}

RunParameters caseParameters(const Case& c) {
  RunParameters p;
  p.topoScale = static_cast<float>(kSpanSeconds / c.side);
  p.topoCols = c.side;
  p.topoRows = c.side;
  p.topoSwLon = c.swLon;
  p.topoSwLat = 35.0;
  p.rainCols = kRainSize;
  p.rainRows = kRainSize;
  p.rainDx = kRainSpacing;
  p.rainDy = kRainSpacing;
  p.rainSwLon = c.swLon + kRainSpacing / 2;
  p.rainSwLat = 35.0 + kRainSpacing / 2;
  p.days = kDays;
  p.timeStep = 60;
  p.spaceSteps = 5;
  p.fdWeight = 0.6;
  p.slopeManning = 0.4;
  p.channelManning = 0.03;
  p.channelThreshold = 100;
  p.initialRunoff = 0.1;
  p.subSteps = 60;
  return p;
}

// The records of a topography file: little-endian 4-byte values, rows from the south.
template <typename T>
std::string records(const std::vector<T>& grid, int side) {
  std::string bytes(grid.size() * 4, '\0');
  unsigned char* out = reinterpret_cast<unsigned char*>(bytes.data());
  for (int r = side - 1; r >= 0; --r) {
    for (int c = 0; c < side; ++c, out += 4) {
      std::uint32_t u;
      std::memcpy(&u, &grid[static_cast<std::size_t>(r) * side + c], 4);
      runoff::storeLittle32(u, out);
    }
  }
  return bytes;
}

// The grid as the simulator loads it: every cell placed and linked.
runoff::Status loadGrid(const Case& c, const RunParameters& params, TopoGrid& grid) {
  std::istringstream dem(records(*c.elevation, c.side));
  if (runoff::Status filled = runoff::fillElevation(grid, params, dem); !filled.ok()) {
    return filled;
  }
  std::istringstream dir(records(*c.flowDir, c.side));
  std::istringstream acc(records(c.flowAcc, c.side));
  std::istringstream river(records(c.riverNum, c.side));
  return runoff::fillLinks(grid, dir, acc, river);
}

// Ascending, every cell with positive accumulation exactly once, groups of equal values.
bool plausibleOrder(const TopoGrid& grid, const CalculationOrder& order) {
  std::vector<char> seen(grid.cells.size(), 0);
  std::int64_t positive = 0;
  for (const GridCell& cell : grid.cells) positive += cell.flowAcc > 0;
  if (order.orderCount != positive ||
      order.calcOrder.size() != static_cast<std::size_t>(positive) ||
      order.groupSizes.size() != static_cast<std::size_t>(order.groupCount)) {
    return false;
  }
  std::size_t at = 0;
  std::int32_t previous = 0;
  for (const std::int32_t size : order.groupSizes) {
    if (size <= 0 || at + size > order.calcOrder.size()) return false;
    const std::int32_t value = grid.at(order.calcOrder[at].row, order.calcOrder[at].col).flowAcc;
    if (value <= previous) return false;
    for (std::int32_t k = 0; k < size; ++k, ++at) {
      const auto [row, col] = order.calcOrder[at];
      if (row < 0 || row >= grid.rows || col < 0 || col >= grid.cols) return false;
      const std::int32_t i = grid.index(row, col);
      if (seen[i] || grid.cells[i].flowAcc != value) return false;
      seen[i] = 1;
    }
    previous = value;
  }
  return at == order.calcOrder.size();
}

struct StepTimes {
  double fast = 1e300;
  double literal = -1;  // negative: not run
  std::string check;
  bool good = true;
};

struct CaseResult {
  StepTimes mapping, order, selection;
};

void printRow(const Case& c, const char* step, double fast, double literal,
              const std::string& check) {
  char literalText[32] = "-";
  char ratioText[32] = "-";
  if (literal >= 0) {
    std::snprintf(literalText, sizeof literalText, "%.3f", literal);
    std::snprintf(ratioText, sizeof ratioText, "%.0fx", literal / fast);
  }
  std::printf("%-16s %5d %9zu  %-10s %9.4f %10s %9s  %s\n", c.name.c_str(), c.side,
              static_cast<std::size_t>(c.side) * c.side, step, fast, literalText, ratioText,
              check.c_str());
  std::fflush(stdout);
}

CaseResult runCase(const Case& c, int maxLiteralSide, bool& failed) {
  const RunParameters params = caseParameters(c);
  TopoGrid grid;
  if (runoff::Status loaded = loadGrid(c, params, grid); !loaded.ok()) {
    std::printf("%s: %s\n", c.name.c_str(), loaded.message().c_str());
    failed = true;
    return {};
  }
  const RainGrid rain = runoff::buildRainGrid(params);
  const bool literal = c.side <= maxLiteralSide;
  const std::size_t n = grid.cells.size();
  CaseResult result;

  // Mapping: a locator over the rainfall centres, then every cell's nearest rainfall cell.
  std::vector<std::int32_t> mapped(n);
  for (int rep = 0; rep < kFastRepeats; ++rep) {
    const auto t0 = Clock::now();
    const runoff::RainLocator locator = runoff::makeRainLocator(rain);
    std::size_t unmapped = 0;
    for (GridCell& cell : grid.cells)
      unmapped += runoff::findNearestRainCell(cell, locator, rain).row < 0;
    result.mapping.fast = std::min(result.mapping.fast, seconds(t0, Clock::now()));
    if (unmapped != 0) result.mapping.good = false;
  }
  for (std::size_t i = 0; i < n; ++i) mapped[i] = grid.cells[i].rainCell;
  {
    std::size_t differing = 0, checked = 0;
    const std::size_t stride = literal ? 1 : 997;
    const auto t0 = Clock::now();
    for (std::size_t i = 0; i < n; i += stride, ++checked)
      differing += runoff::bench::literalNearestRainCell(grid.cells[i], rain) != mapped[i];
    if (literal) result.mapping.literal = seconds(t0, Clock::now());
    result.mapping.good = result.mapping.good && differing == 0;
    result.mapping.check = differing != 0 ? std::to_string(differing) + " DIFFERENT"
                           : literal      ? "identical"
                                          : "identical on " + std::to_string(checked) + " cells";
  }

  // Calculation order.
  CalculationOrder order;
  for (int rep = 0; rep < kFastRepeats; ++rep) {
    const auto t0 = Clock::now();
    order = runoff::buildCalculationOrder(grid);
    result.order.fast = std::min(result.order.fast, seconds(t0, Clock::now()));
  }
  if (literal) {
    const auto t0 = Clock::now();
    const CalculationOrder plain = runoff::bench::literalCalculationOrder(grid);
    result.order.literal = seconds(t0, Clock::now());
    result.order.good = plain == order;
    result.order.check = result.order.good ? "identical" : "DIFFERENT";
  } else {
    result.order.good = plausibleOrder(grid, order);
    result.order.check = result.order.good ? "ascending, complete" : "NOT A VALID ORDER";
  }
  result.order.check += ", " + std::to_string(order.groupCount) + " groups";

  // Selection: the membership structure once, then one flag per cell.
  std::vector<std::uint8_t> selected(n);
  for (int rep = 0; rep < kFastRepeats; ++rep) {
    const auto t0 = Clock::now();
    const runoff::RiverSelection rivers(c.riverList);
    for (std::size_t i = 0; i < n; ++i) selected[i] = runoff::isSelected(grid.cells[i], rivers);
    result.selection.fast = std::min(result.selection.fast, seconds(t0, Clock::now()));
  }
  const std::int64_t selectedCells =
      std::accumulate(selected.begin(), selected.end(), std::int64_t{0});
  if (literal) {
    const auto t0 = Clock::now();
    const runoff::bench::LiteralSelection plain =
        runoff::bench::literalSelectionTests(grid, order, c.riverList, kDays);
    result.selection.literal = seconds(t0, Clock::now());
    std::int64_t orderHits = 0;
    for (const runoff::CellIndex& e : order.calcOrder)
      orderHits += selected[grid.index(e.row, e.col)];
    result.selection.good =
        plain.selected == selected && plain.hits == orderHits + kDays * 25 * selectedCells;
    result.selection.check = (result.selection.good ? "identical, " : "DIFFERENT, ") +
                             std::to_string(plain.tests) + " plain tests";
  } else {
    std::size_t differing = 0;
    for (std::size_t i = 0; i < n; ++i)
      differing += runoff::bench::literalSelected(grid.cells[i], c.riverList) != (selected[i] != 0);
    result.selection.good = differing == 0;
    result.selection.check =
        result.selection.good ? "identical per cell" : std::to_string(differing) + " DIFFERENT";
  }
  result.selection.check += ", " + std::to_string(selectedCells) + " selected";

  printRow(c, "mapping", result.mapping.fast, result.mapping.literal, result.mapping.check);
  printRow(c, "order", result.order.fast, result.order.literal, result.order.check);
  printRow(c, "selection", result.selection.fast, result.selection.literal, result.selection.check);
  const double fastTotal = result.mapping.fast + result.order.fast + result.selection.fast;
  const double literalTotal =
      literal ? result.mapping.literal + result.order.literal + result.selection.literal : -1;
  printRow(c, "set-up", fastTotal, literalTotal, "");
  failed = failed || !result.mapping.good || !result.order.good || !result.selection.good;
  return result;
}

// The 16 largest basins, listed from the 16th largest to the largest.
std::vector<std::int32_t> largestRivers() {
  std::vector<std::int32_t> list(16);
  std::iota(list.rbegin(), list.rend(), 1);
  return list;
}

// Random basin numbers, 30 % of the cells in no basin, and a list of 15 of them plus a repeat.
void hostileRivers(Case& c, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::uniform_int_distribution<std::int32_t> number(0, 4999);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  c.riverNum.resize(static_cast<std::size_t>(c.side) * c.side);
  for (std::int32_t& r : c.riverNum) r = u(rng) < 0.3 ? runoff::bench::kNoData : number(rng);
  c.riverList.clear();
  for (int k = 0; k < 15; ++k) c.riverList.push_back(number(rng));
  c.riverList.push_back(c.riverList[7]);
}

std::string loadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string a, b, c;
  if (!(in >> a >> b >> c)) return "unknown";
  return a + " " + b + " " + c;
}

}  // namespace

int main(int argc, char** argv) {
  const int maxLiteralSide = argc > 1 ? std::atoi(argv[1]) : 300;
  std::vector<int> sides;
  for (int a = 2; a < argc; ++a) sides.push_back(std::atoi(argv[a]));
  if (sides.empty()) sides = {300, 500, 1000, 2000};
  std::sort(sides.begin(), sides.end());
  if (sides.front() < 3) {
    std::printf("A grid side must be at least 3 cells.\n");
    return 1;
  }

  std::printf("Set-up steps: mapping onto a %d x %d rainfall grid, calculation order, selection\n",
              kRainSize, kRainSize);
  std::printf("load average at start: %s\n", loadAverage().c_str());
  std::printf("%-16s %5s %9s  %-10s %9s %10s %9s  %s\n", "grid", "side", "cells", "step", "fast s",
              "literal s", "ratio", "check");
  bool failed = false;
  double order2000 = -1, mapping2000 = -1, fast300 = -1, literal300 = -1;
  for (const int side : sides) {
    const Terrain terrain = runoff::bench::realisticTerrain(side, 42 + side);
    Case realistic = terrainCase("realistic", terrain, 139.0);
    realistic.flowAcc = terrain.flowAcc;
    realistic.riverNum = terrain.riverNum;
    realistic.riverList = largestRivers();
    const CaseResult r = runCase(realistic, maxLiteralSide, failed);
    if (side == 2000) {
      order2000 = r.order.fast;
      mapping2000 = r.mapping.fast;
    }
    if (side == 300 && r.mapping.literal >= 0) {
      fast300 = r.mapping.fast + r.order.fast + r.selection.fast;
      literal300 = r.mapping.literal + r.order.literal + r.selection.literal;
    }
    if (side != sides.front() && side != sides.back()) continue;

    const std::size_t n = static_cast<std::size_t>(side) * side;
    Case distinct = terrainCase("hostile-distinct", terrain, 179.2);
    distinct.flowAcc = runoff::bench::distinctValues(n, 7 + side);
    hostileRivers(distinct, 11 + side);
    runCase(distinct, maxLiteralSide, failed);
    Case ties = terrainCase("hostile-ties", terrain, 179.2);
    ties.flowAcc = runoff::bench::heavyTies(n, 9 + side);
    hostileRivers(ties, 13 + side);
    runCase(ties, maxLiteralSide, failed);
  }

  std::printf("\nload average at end: %s\n", loadAverage().c_str());
  std::printf(
      "plain selection counts one test per calculation-order entry and %d per cell "
      "(%d day: 1 for the daily grids, 24 for the hourly grids)\n",
      kDays * 25, kDays);
  if (order2000 >= 0) {
    std::printf("target: order of 2000 x 2000 realistic cells under 2 s: %.3f s, %s\n", order2000,
                order2000 < 2.0 ? "met" : "MISSED");
    std::printf("target: mapping 4000000 cells onto %d x %d under 1 s: %.3f s, %s\n", kRainSize,
                kRainSize, mapping2000, mapping2000 < 1.0 ? "met" : "MISSED");
  }
  if (literal300 >= 0) {
    std::printf(
        "target: set-up of 300 x 300 realistic cells 100 times faster than plain: "
        "%.0fx, %s\n",
        literal300 / fast300, literal300 / fast300 >= 100 ? "met" : "MISSED");
  }
  if (failed) std::printf("SOME RESULTS DIFFER FROM THEIR REFERENCE\n");
  return failed ? 1 : 0;
}
