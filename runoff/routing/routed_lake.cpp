#include "runoff/routing/routed_lake.h"

#include <cstddef>

namespace runoff {

void setLakeEvaporation(std::vector<RoutedLake>& lakes, const TopoGrid& topo, const PetSource& pet,
                        std::int32_t firstDay, std::int32_t days) {
  for (RoutedLake& lake : lakes) {
    if (lake.evaporation.empty()) continue;
    const std::int32_t rainCell = topo.cells[static_cast<std::size_t>(lake.cell)].rainCell;
    for (std::int32_t h = 0; h < days * 24; ++h) {
      lake.evaporation[static_cast<std::size_t>(h)] = pet.at(rainCell, firstDay + h / 24, h % 24);
    }
  }
}

}  // namespace runoff
