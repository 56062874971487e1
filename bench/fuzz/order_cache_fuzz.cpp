// The two calculation-order cache files (split at a 0xFF byte), read against a small grid
// with a fixed flow accumulation.
#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz_grid.h"
#include "runoff/inputs/calc_order.h"
#include "runoff/inputs/topo_grid.h"

namespace {

runoff::TopoGrid accumulationGrid(const runoff::RunParameters& params) {
  runoff::TopoGrid topo;
  std::string bytes(static_cast<std::size_t>(params.topoRows) * params.topoCols * 4, '\0');
  std::istringstream dem(bytes);
  (void)runoff::fillElevation(topo, params, dem);
  const std::int32_t acc[20] = {0, 0, 0, 0, 0, 0, 1, 1, 2, 0, 0, 3, 1, 5, 0, 0, 0, 9, 0, 0};
  for (std::size_t i = 0; i < topo.cells.size(); ++i) topo.cells[i].flowAcc = acc[i];
  return topo;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const runoff::RunParameters params = runoff::fuzz::smallParameters();
  static const runoff::TopoGrid topo = accumulationGrid(params);
  static const runoff::CalculationOrder built = runoff::buildCalculationOrder(topo);
  auto parts = runoff::fuzz::splitInput(data, size, 2);
  std::istringstream groups(parts[0]), cells(parts[1]);
  auto order = runoff::readOrderCache(groups, cells, params, topo);
  if (!order) return 0;
  // A cache may list the cells of a group in another order, but its groups must be exactly
  // those of the order built from the grid: same sizes, same cells.
  if (order->groupSizes != built.groupSizes || order->orderCount != built.orderCount) {
    __builtin_trap();
  }
  std::size_t start = 0;
  for (std::int32_t size : built.groupSizes) {
    auto key = [](const runoff::CellIndex& c) { return c.row * 100 + c.col; };
    std::vector<int> stored, fresh;
    for (std::size_t i = start; i < start + size; ++i) {
      stored.push_back(key(order->calcOrder[i]));
      fresh.push_back(key(built.calcOrder[i]));
    }
    std::sort(stored.begin(), stored.end());
    std::sort(fresh.begin(), fresh.end());
    if (stored != fresh) __builtin_trap();
    start += size;
  }
  return 0;
}
