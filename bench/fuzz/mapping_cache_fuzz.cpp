// The cell-to-rain mapping cache, read against the small grids.
#include <sstream>
#include <string>

#include "fuzz_grid.h"
#include "runoff/inputs/rain_mapping.h"
#include "runoff/inputs/topo_grid.h"

namespace {

runoff::TopoGrid flatTopography(const runoff::RunParameters& params) {
  runoff::TopoGrid topo;
  std::string bytes(static_cast<std::size_t>(params.topoRows) * params.topoCols * 4, '\0');
  std::istringstream dem(bytes);
  (void)runoff::fillElevation(topo, params, dem);
  return topo;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const runoff::RunParameters params = runoff::fuzz::smallParameters();
  static const runoff::RainGrid rain = runoff::buildRainGrid(params);
  static const runoff::TopoGrid topo = flatTopography(params);
  static const runoff::RainLocator locator = runoff::makeRainLocator(rain);
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  auto mapping = runoff::readMappingCache(in, params, topo, locator);
  if (mapping) {
    if (mapping->size() != topo.cells.size()) __builtin_trap();
    for (const auto& cell : *mapping) {
      if (cell.row < 0 || cell.row >= rain.rows || cell.col < 0 || cell.col >= rain.cols) {
        __builtin_trap();
      }
    }
  }
  return 0;
}
