#include "runoff/run/run_inputs.h"

#include <fstream>

#include "common/input_file.h"
#include "runoff/inputs/rain_mapping.h"

namespace runoff {
Result<RunInputs> loadRunInputs(const RunParameters& params, std::int32_t windowDays,
                                const MemoryLimit& limit, std::ostream& console, RainTies ties) {
  RunInputs run;
  // The list is read twice: once to count its lines, which the console announces, once for
  // its numbers.
  {
    std::ifstream list;
    if (openInputFile(list, kRiverListPath) != InputFault::kNone)
      return Status::cannotOpen("riverNumList.dat cannot open.");
    run.rivers.riverCount = countLines(list);
  }
  console << "Number of rivers for simulation : " << run.rivers.riverCount << '\n' << '\n';
  {
    std::ifstream list;
    if (openInputFile(list, kRiverListPath) != InputFault::kNone)
      return Status::cannotOpen("riverNumList.dat cannot open.");
    Result<std::vector<std::int32_t>> records = readRiverRecords(list, run.rivers.riverCount);
    if (!records.ok()) return records.status();
    run.rivers.riverNums = std::move(records).value();
  }

  if (Status fits = checkGridSizes(params, limit); !fits.ok()) return fits;
  run.rain = buildRainGrid(params, windowDays);
  if (Status loaded = loadTopography(run.topo, params); !loaded.ok()) return loaded;
  if (ties == RainTies::kMapped) {
    if (Status mapped = mapCellsToRain(run.topo, run.rain, params, console); !mapped.ok()) {
      return mapped;
    }
  }

  const RiverSelection selection(run.rivers.riverNums);
  run.selected.resize(run.topo.cells.size());
  for (std::size_t i = 0; i < run.topo.cells.size(); ++i) {
    run.selected[i] = isSelected(run.topo.cells[i], selection) ? 1 : 0;
  }
  return run;
}

}  // namespace runoff
