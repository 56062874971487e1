// Hourly means, daily means and daily maxima of the routed discharge, in single precision: a
// float sum in order, divided by the count as a float. The files that hold them are described
// in common/discharge_files.h; each window's grids are appended to them as the window ends.
#ifndef RUNOFF_OUTPUT_DISCHARGE_OUTPUT_H_
#define RUNOFF_OUTPUT_DISCHARGE_OUTPUT_H_

#include <cstdint>
#include <span>
#include <vector>

#include "common/discharge_files.h"
#include "common/status.h"
#include "runoff/routing/window_router.h"
#include "runoff/inputs/topo_grid.h"

namespace runoff {

/// Mean of one hour's sub-step outflows (m^3/s).
float hourlyMean(std::span<const float> subStepOutflow);
/// Mean of a day's 24 hourly means.
float dailyMean(std::span<const float> hourlyMeans);
/// Largest of a day's 24 hourly means, starting from 0.
float dailyMaxHourly(std::span<const float> hourlyMeans);

/// `selected` (per grid cell) in the order of the files' grids.
std::vector<std::uint8_t> selectedInFileOrder(const TopoGrid& grid,
                                              const std::vector<std::uint8_t>& selected);

/// What a window grid holds before routing, in file order: the missing value for every cell
/// that is not selected, 0 for the rest (a selected cell that is never routed keeps it).
std::vector<float> outputBackground(const TopoGrid& grid,
                                    const std::vector<std::uint8_t>& selected);

/// Appends the days of a routed window to the files: each day's daily mean and daily maximum
/// grids and its 24 hourly grids. `selected` marks, in file order, the cells whose values are
/// results; every other cell gets the missing value in the daily grids too.
Status appendWindow(DischargeWriter& writer, const WindowGrids& grids,
                    const std::vector<std::uint8_t>& selectedInFileOrder);

}  // namespace runoff

#endif  // RUNOFF_OUTPUT_DISCHARGE_OUTPUT_H_
