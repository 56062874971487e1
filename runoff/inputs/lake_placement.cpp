#include "runoff/inputs/lake_placement.h"

#include <map>

namespace runoff {

Result<std::vector<SnappedGauge>> placeLakes(const std::vector<Lake>& lakes,
                                             const GridGeometry& grid,
                                             std::span<const std::int32_t> flowAcc,
                                             std::span<const float> firstHour, std::int32_t snap) {
  std::vector<Gauge> outlets;
  for (const Lake& lake : lakes) outlets.push_back({lake.name, lake.lon, lake.lat});
  Result<std::vector<SnappedGauge>> placed =
      snapGauges(outlets, grid, flowAcc, firstHour, snap, "Lake");
  if (!placed.ok()) return placed;
  std::map<std::size_t, const SnappedGauge*> lakeAt;
  for (const SnappedGauge& lake : *placed) {
    if (const auto [at, added] = lakeAt.emplace(lake.position, &lake); !added) {
      return Status::invalid("Lakes \"" + at->second->name + "\" and \"" + lake.name +
                             "\" are both placed on column " + std::to_string(lake.cell.col + 1) +
                             ", row " + std::to_string(lake.cell.row + 1) +
                             "; a cell holds one lake.");
    }
  }
  return placed;
}

std::string lakePlacementLine(const SnappedGauge& lake) { return gaugePlacementLine(lake, "Lake"); }

}  // namespace runoff
