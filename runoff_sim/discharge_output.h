// Hourly means, daily means and daily maxima of the routed discharge, and the three grids that
// hold them.
//
// Files under ./output/, each a plain sequence of little-endian float32 values without header:
//   dischargeDaily.bin           one grid per day (daily mean of the hourly means)
//   dischargeHourlyMaxInDay.bin  one grid per day (largest hourly mean of the day, at least 0)
//   dischargeHourly.bin          one grid per hour, day 1 hours 1-24 first
// A grid is topoRows x topoCols values, rows from the southern row to the northern row, each
// row from west to east. Every cell that is not selected holds -9999 (bytes 00 3C 1C C6).
// All means are single precision: a float sum in order, divided by the count as a float.
#ifndef RUNOFF_RUNOFF_SIM_DISCHARGE_OUTPUT_H_
#define RUNOFF_RUNOFF_SIM_DISCHARGE_OUTPUT_H_

#include <cstdint>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "runoff_sim/topo_grid.h"

namespace runoff {

inline constexpr float kMissingDischarge = -9999.0f;
inline constexpr const char* kDailyPath = "./output/dischargeDaily.bin";
inline constexpr const char* kDailyMaxPath = "./output/dischargeHourlyMaxInDay.bin";
inline constexpr const char* kHourlyPath = "./output/dischargeHourly.bin";

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

/// Writes the three files with their "Write " lines on `console`. Returns an empty string on
/// success, else the one line to report (a file that cannot be created or written whole).
std::string writeDischargeFiles(const TopoGrid& grid, const HourlyDischarge& discharge,
                                std::ostream& console);

}  // namespace runoff

#endif  // RUNOFF_RUNOFF_SIM_DISCHARGE_OUTPUT_H_
