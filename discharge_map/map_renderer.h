// One discharge map per simulated hour: "./image/%4d_discharge.ppm", the hour counted from 1
// and right-aligned in four characters. The "./image" directory must already exist.
#ifndef RUNOFF_DISCHARGE_MAP_MAP_RENDERER_H_
#define RUNOFF_DISCHARGE_MAP_MAP_RENDERER_H_

#include <cstdint>
#include <ostream>
#include <string>

#include "common/discharge_files.h"
#include "common/status.h"
#include "discharge_map/discharge_range.h"

namespace runoff {

/// "./image/   7_discharge.ppm" for hour 7.
std::string imageFileName(std::int64_t hour);

/// Reads `hours` grids of rows x cols values from `discharge`, one hour at a time, and writes
/// each as an image, announcing it on `console` as "Write <name>" and a carriage return.
/// Stops at the first failure.
Status renderDischargeMaps(DischargeReader& discharge, std::int64_t hours, std::int32_t rows,
                           std::int32_t cols, const DischargeRange& range, std::ostream& console);

}  // namespace runoff

#endif  // RUNOFF_DISCHARGE_MAP_MAP_RENDERER_H_
