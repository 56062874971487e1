#include "runoff/inputs/gauge_snap.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "common/binary_grid.h"
#include "common/discharge_files.h"
#include "common/input_file.h"

namespace runoff {
namespace {

std::string shown(double degrees) {
  std::ostringstream s;
  s.precision(10);
  s << degrees;
  return s.str();
}

std::string gridExtent(const GridGeometry& grid) {
  return "lon " + shown(grid.lonEdge(0)) + " to " + shown(grid.lonEdge(grid.cols)) + ", lat " +
         shown(grid.latEdge(0)) + " to " + shown(grid.latEdge(grid.rows));
}

}  // namespace

Result<std::vector<SnappedGauge>> snapGauges(const std::vector<Gauge>& gauges,
                                             const GridGeometry& grid,
                                             std::span<const std::int32_t> flowAcc,
                                             std::span<const float> firstHour, std::int32_t snap,
                                             std::string_view kind) {
  const std::string what(kind);
  const std::int64_t rows = grid.rows;
  const std::int64_t cols = grid.cols;
  std::vector<SnappedGauge> snapped;
  for (const Gauge& gauge : gauges) {
    const auto home = grid.cellAt(gauge.lon, gauge.lat);
    if (!home) {
      return Status::invalid(what + " \"" + gauge.name + "\" at lon " + shown(gauge.lon) +
                             ", lat " + shown(gauge.lat) + " lies outside the grid (" +
                             gridExtent(grid) + ").");
    }
    bool found = false;
    SnappedGauge best{gauge.name, {}, 0, 0};
    std::int64_t bestDistance = 0;  // squared, in cells
    // Rows from the south and columns from the west: the first of equals found wins.
    for (std::int64_t r = std::max<std::int64_t>(0, home->row - std::int64_t{snap});
         r <= std::min(rows - 1, home->row + std::int64_t{snap}); ++r) {
      for (std::int64_t c = std::max<std::int64_t>(0, home->col - std::int64_t{snap});
           c <= std::min(cols - 1, home->col + std::int64_t{snap}); ++c) {
        const std::size_t p = static_cast<std::size_t>(r * cols + c);
        if (firstHour[p] == kMissingDischarge) continue;
        const std::int64_t distance =
            (r - home->row) * (r - home->row) + (c - home->col) * (c - home->col);
        if (!found || flowAcc[p] > best.flowAcc ||
            (flowAcc[p] == best.flowAcc && distance < bestDistance)) {
          found = true;
          best.cell = {static_cast<std::int32_t>(r), static_cast<std::int32_t>(c)};
          best.flowAcc = flowAcc[p];
          best.position = p;
          bestDistance = distance;
        }
      }
    }
    if (!found) {
      return Status::invalid(what + " \"" + gauge.name + "\" has no routed cell within " +
                             std::to_string(snap) + " cells of column " +
                             std::to_string(home->col + 1) + ", row " +
                             std::to_string(home->row + 1) + ".");
    }
    snapped.push_back(std::move(best));
  }
  return snapped;
}

Result<std::vector<std::int32_t>> readFlowAccumulation(const std::string& path,
                                                       const GridGeometry& grid) {
  std::ifstream in;
  if (const InputFault fault = openInputFile(in, path, std::ios::binary);
      fault != InputFault::kNone) {
    return inputFailure(path, fault);
  }
  std::vector<std::int32_t> values(static_cast<std::size_t>(grid.rows) *
                                   static_cast<std::size_t>(grid.cols));
  if (!readIntRecords(in, values)) {
    return Status::invalid(path + " is too short: " + std::to_string(grid.cols) + " x " +
                           std::to_string(grid.rows) + " cells need " +
                           std::to_string(values.size() * 4) + " bytes.");
  }
  return values;
}

std::string gaugePlacementLine(const SnappedGauge& gauge, std::string_view kind) {
  return std::string(kind) + " \"" + gauge.name + "\": column " +
         std::to_string(gauge.cell.col + 1) + ", row " + std::to_string(gauge.cell.row + 1) +
         ", flow accumulation " + std::to_string(gauge.flowAcc);
}

}  // namespace runoff
