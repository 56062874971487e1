#include "runoff/run/run_set_up.h"

#include <string>

#include "common/input_file.h"
#include "runoff/inputs/grid_geometry.h"
#include "runoff/inputs/lake_placement.h"
#include "runoff/inputs/rain_grid.h"
#include "runoff/inputs/rain_mapping.h"
#include "runoff/output/discharge_output.h"
#include "runoff/routing/window_router.h"

namespace runoff {

Status RunSetUp::readParameters(std::ostream& console) {
  Result<MemoryLimit> limit = memoryLimit();
  if (!limit.ok()) return limit.status();
  memory = std::move(limit).value();
  Result<RunParameters> read = runoff::readParameters(std::string("./") + kParameterFileName,
                                                      ParamScope::kSimulation, console);
  if (!read.ok()) return read.status();
  params = read.value();
  windowDays =
      windowDaysFor(params.days, static_cast<std::size_t>(params.topoRows) * params.topoCols);
  return {};
}

Status RunSetUp::loadInputs(RainTies ties, std::int32_t rainDays, std::ostream& console) {
  Result<RunInputs> loaded = loadRunInputs(params, rainDays, memory, console, ties);
  if (!loaded.ok()) return loaded.status();
  inputs = std::move(loaded).value();
  return {};
}

Status RunSetUp::tieCellsToRain(std::ostream& console) {
  return mapCellsToRain(inputs.topo, inputs.rain, params, console);
}

Status RunSetUp::loadLossGrids(LossMethod method) {
  Result<LossGrids> grids = runoff::loadLossGrids(method, inputs.topo, inputs.selected);
  if (!grids.ok()) return grids.status();
  lossGrids = std::move(grids).value();
  return {};
}

Status RunSetUp::loadSoilGrids(bool soil) {
  if (!soil) return {};
  Result<SoilGrids> grids = runoff::loadSoilGrids(inputs.topo, inputs.selected);
  if (!grids.ok()) return grids.status();
  soilGrids = std::move(grids).value();
  return {};
}

Status RunSetUp::obtainOrder(std::ostream& console) {
  return obtainCalculationOrder(inputs.topo, params, order, console);
}

namespace {

// The flow accumulation as flowAcc.bin holds it, rows from the south.
std::vector<std::int32_t> flowAccInFileOrder(const TopoGrid& topo) {
  std::vector<std::int32_t> flowAcc(topo.cells.size());
  for (std::int32_t i = 0; i < static_cast<std::int32_t>(topo.cells.size()); ++i) {
    flowAcc[filePosition(topo, i)] = topo.cells[i].flowAcc;
  }
  return flowAcc;
}

}  // namespace

Result<std::vector<SnappedGauge>> RunSetUp::placeGauges(const std::vector<Gauge>& listed,
                                                        std::int32_t snap,
                                                        std::ostream& console) const {
  Result<GridGeometry> grid = GridGeometry::fromParameters(params);
  if (!grid.ok()) return grid.status();
  // Every selected cell has a result in the grids, the others the missing value: the grid
  // the placement tells routed cells by, as discharge-netcdf reads it from the hourly file.
  Result<std::vector<SnappedGauge>> placed =
      snapGauges(listed, *grid, flowAccInFileOrder(inputs.topo),
                 outputBackground(inputs.topo, inputs.selected), snap);
  if (!placed.ok()) return placed.status();
  for (const SnappedGauge& gauge : *placed) console << gaugePlacementLine(gauge) << '\n';
  return placed;
}

Result<std::vector<std::int32_t>> RunSetUp::placeLakes(const std::vector<Lake>& lakes,
                                                       std::int32_t snap,
                                                       std::ostream& console) const {
  Result<GridGeometry> grid = GridGeometry::fromParameters(params);
  if (!grid.ok()) return grid.status();
  Result<std::vector<SnappedGauge>> placed =
      runoff::placeLakes(lakes, *grid, flowAccInFileOrder(inputs.topo),
                         outputBackground(inputs.topo, inputs.selected), snap);
  if (!placed.ok()) return placed.status();
  // A selected cell the plan leaves out (on the grid's outer ring) routes nothing to hold.
  std::vector<std::int32_t> routedAt(inputs.topo.cells.size(), -1);
  for (std::int32_t cell : plan.cell) routedAt[filePosition(inputs.topo, cell)] = cell;
  std::vector<std::int32_t> cells;
  for (const SnappedGauge& lake : *placed) {
    const std::int32_t cell = routedAt[lake.position];
    if (cell < 0) {
      return Status::invalid("Lake \"" + lake.name + "\" is placed on column " +
                             std::to_string(lake.cell.col + 1) + ", row " +
                             std::to_string(lake.cell.row + 1) +
                             ", a cell that is not routed; move its outlet onto the river.");
    }
    console << lakePlacementLine(lake) << '\n';
    cells.push_back(cell);
  }
  return cells;
}

void RunSetUp::planRouting() { plan = runoff::planRouting(inputs.topo, order, inputs.selected); }

std::optional<CivilTime> rainFileStart() {
  std::ifstream rain;
  if (openInputFile(rain, kRainfallPath) != InputFault::kNone) return std::nullopt;
  Result<CivilTime> first = firstRainStamp(rain, kRainfallPath);
  if (!first.ok()) return std::nullopt;
  return *first;
}

Status openRainfallFile(std::ifstream& in) {
  // "ROF" is kept as it stands for compatibility of the console output.
  if (openInputFile(in, kRainfallPath) != InputFault::kNone) {
    return Status::cannotOpen("ROF file cannot open.");
  }
  return {};
}

}  // namespace runoff
