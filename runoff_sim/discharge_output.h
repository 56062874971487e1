// Hourly means, daily means and daily maxima of the routed discharge, in single precision: a
// float sum in order, divided by the count as a float. The files that hold them are described
// in common/discharge_files.h.
#ifndef RUNOFF_RUNOFF_SIM_DISCHARGE_OUTPUT_H_
#define RUNOFF_RUNOFF_SIM_DISCHARGE_OUTPUT_H_

#include <cstdint>
#include <ostream>
#include <span>
#include <vector>

#include "common/discharge_files.h"
#include "common/status.h"
#include "runoff_sim/topo_grid.h"

namespace runoff {

/// Mean of one hour's sub-step outflows (m^3/s).
float hourlyMean(std::span<const float> subStepOutflow);
/// Mean of a day's 24 hourly means.
float dailyMean(std::span<const float> hourlyMeans);
/// Largest of a day's 24 hourly means, starting from 0.
float dailyMaxHourly(std::span<const float> hourlyMeans);

/// The hourly means of every selected cell: what the three files need of the routing.
class HourlyDischarge {
 public:
  /// `selected[i]` marks the grid cells that are written; all their means start at 0.
  HourlyDischarge(const std::vector<std::uint8_t>& selected, std::int32_t days);

  bool isSelected(std::int32_t cell) const { return slot_[cell] >= 0; }
  std::int32_t days() const { return days_; }
  /// The days x 24 hourly means of a selected cell, hour index fastest.
  std::span<float> of(std::int32_t cell) {
    return {values_.data() + static_cast<std::size_t>(slot_[cell]) * hours(), hours()};
  }
  std::span<const float> of(std::int32_t cell) const {
    return {values_.data() + static_cast<std::size_t>(slot_[cell]) * hours(), hours()};
  }

 private:
  std::size_t hours() const { return static_cast<std::size_t>(days_) * 24; }
  std::int32_t days_;
  std::vector<std::int32_t> slot_;  // per grid cell: row of values_, or -1
  std::vector<float> values_;
};

/// Writes the three files with their "Write " lines on `console`; fails when a file cannot be
/// created or written whole.
Status writeDischargeFiles(const TopoGrid& grid, const HourlyDischarge& discharge,
                           std::ostream& console);

}  // namespace runoff

#endif  // RUNOFF_RUNOFF_SIM_DISCHARGE_OUTPUT_H_
