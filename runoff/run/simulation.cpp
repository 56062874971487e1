#include "runoff/run/simulation.h"

#include <algorithm>

#include "runoff/output/discharge_output.h"

namespace runoff {

Status simulate(const SimulationRun& run, std::istream& rainFile, RainGrid& rain,
                DischargeWriter& writer, std::ostream& console, ProgressLine* progress) {
  WindowRouter router(run.routing, run.states, run.threads, run.windowDays);
  if (run.days <= 0) {
    router.finishProgressLines(console);  // a run of no days still lists its groups
    return {};
  }
  const TopoGrid& grid = run.routing.grid;
  const std::vector<std::uint8_t> selected = selectedInFileOrder(grid, run.selected);
  WindowGrids grids(outputBackground(grid, run.selected), run.windowDays);
  RainReader reader(rainFile, rain.rows, rain.cols);
  std::atomic<std::int64_t>* steps = progress != nullptr ? progress->counter() : nullptr;
  for (std::int32_t first = 1; first <= run.days; first += run.windowDays) {
    const std::int32_t days = std::min(run.windowDays, run.days - first + 1);
    if (Status read = advanceRainWindow(reader, rain, first, days); !read.ok()) return read;
    if (progress != nullptr) progress->setWindow(first, first + days - 1);
    router.route(rain, first, days, grids, &console, steps);
    if (Status written = appendWindow(writer, grids, selected); !written.ok()) {
      return written;
    }
  }
  router.finishProgressLines(console);
  return {};
}

}  // namespace runoff
