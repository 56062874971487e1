// The four topography grids (consecutive 80-byte pieces of the input) on the small grid, then the
// order and the routing set-up that read the links they make.
#include <sstream>
#include <string>

#include "fuzz_grid.h"
#include "runoff/inputs/calc_order.h"
#include "runoff/routing/routing_setup.h"
#include "runoff/inputs/topo_grid.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const runoff::RunParameters params = runoff::fuzz::smallParameters();
  auto parts = runoff::fuzz::cutInput(data, size, 4, 4 * 20);
  std::istringstream dem(parts[0]), dir(parts[1]), acc(parts[2]), river(parts[3]);
  runoff::TopoGrid topo;
  if (!runoff::fillElevation(topo, params, dem).ok()) return 0;
  if (!runoff::fillLinks(topo, dir, acc, river).ok()) return 0;
  for (const runoff::GridCell& cell : topo.cells) {
    if (cell.down != runoff::kNoCell &&
        (cell.down < 0 || cell.down >= static_cast<std::int32_t>(topo.cells.size()))) {
      __builtin_trap();
    }
    if (cell.upCount < 0 || cell.upCount > runoff::kUpSlots) __builtin_trap();
  }
  runoff::CalculationOrder order = runoff::buildCalculationOrder(topo);
  if (order.orderCount != static_cast<std::int32_t>(order.calcOrder.size())) __builtin_trap();
  runoff::RoutingStates states = runoff::setUpRouting(topo, params);
  (void)states;
  return 0;
}
