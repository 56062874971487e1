// Gauges placed on the river network. A gauge's surveyed position seldom falls on the cell
// the model's D8 network routes its river through, so each gauge moves to the routed cell
// with the largest flow accumulation within a few cells of its position: the main channel
// passing near it. A routed cell is one with a result in the discharge grids (any value but
// -9999): every routed cell has one, every other cell holds -9999.
#ifndef RUNOFF_INPUTS_GAUGE_SNAP_H_
#define RUNOFF_INPUTS_GAUGE_SNAP_H_

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/status.h"
#include "runoff/inputs/gauge_list.h"
#include "runoff/inputs/grid_geometry.h"

namespace runoff {

/// The flow accumulation grid as seen from the output directory: int32 little-endian, rows
/// from the south, as the discharge grids; the number of cells draining through each cell.
inline constexpr const char* kFlowAccPathFromOutput = "../topoData/flowAcc.bin";

struct SnappedGauge {
  std::string name;
  GridCellIndex cell;        // rows from the south, columns from the west, from 0
  std::int32_t flowAcc = 0;  // of the chosen cell
  std::size_t position = 0;  // of the chosen cell in a grid: row x cols + col
};

/// Moves each gauge to the routed cell of largest flow accumulation within `snap` cells of
/// its own cell in either direction (a square of 2 x snap + 1 cells a side, cut at the grid's
/// edges). Ties go to the cell nearest the gauge's cell, then the southern, then the western.
/// `flowAcc` and `firstHour` (a grid of the discharge files, for the routed test) are whole
/// grids in file order. Refuses the first gauge outside the grid or without a routed cell
/// within reach, naming it as a `kind` ("Gauge", or "Lake" for a lake's outlet placed by the
/// same rule).
Result<std::vector<SnappedGauge>> snapGauges(const std::vector<Gauge>& gauges,
                                             const GridGeometry& grid,
                                             std::span<const std::int32_t> flowAcc,
                                             std::span<const float> firstHour, std::int32_t snap,
                                             std::string_view kind = "Gauge");

/// The console line of a placed gauge: Gauge "Jellico": column 12, row 3, flow accumulation
/// 840 (column and row counted from 1, as discharge-point counts them); `kind` begins it.
std::string gaugePlacementLine(const SnappedGauge& gauge, std::string_view kind = "Gauge");

/// Reads the flow accumulation grid of rows x cols cells from `path`; refused when the file
/// cannot be opened, is a directory or is too short.
Result<std::vector<std::int32_t>> readFlowAccumulation(const std::string& path,
                                                       const GridGeometry& grid);

}  // namespace runoff

#endif  // RUNOFF_INPUTS_GAUGE_SNAP_H_
