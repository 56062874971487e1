// The rainfall (input-data) grid: cells given by their centres, row 0 the southern row, and
// every cell's hourly rainfall intensity for the whole run.
//
// Rainfall file "./input/rain.dat", text, values separated by any white space. For each day
// from 1 to `days` and each hour from 0 to 23 one record: six integers (a time stamp, not
// used), then rainRows x rainCols intensities in mm/h, row by row from the NORTHERN row to the
// southern row, each row from west to east. No header, no count. A file that ends early leaves
// the hours it does not reach at zero rainfall (a storm shorter than the run).
#ifndef RUNOFF_RUNOFF_SIM_RAIN_GRID_H_
#define RUNOFF_RUNOFF_SIM_RAIN_GRID_H_

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

#include "common/params.h"
#include "common/status.h"

namespace runoff {

inline constexpr const char* kRainfallPath = "./input/rain.dat";
// Largest rainfall intensity accepted, mm/h: some 30 times the heaviest rain ever recorded.
inline constexpr float kMaxRainfall = 10000.0f;

struct RainCell {
  float lat = 0;           // centre latitude, degrees
  float lon = 0;           // centre longitude, degrees; stored within -180..180 when above 180
  std::int32_t colNo = 0;  // counted from 1 at the west
  std::int32_t rowNo = 0;  // counted from 1 at the south
};

struct RainGrid {
  std::int32_t rows = 0;
  std::int32_t cols = 0;
  std::int32_t days = 0;
  std::vector<RainCell> cells;    // row-major, row 0 the southern row
  std::vector<float> hourlyRain;  // [cell][day 0..days][hour 0..23], mm/h; day 0 stays zero

  std::size_t rainIndex(std::int32_t cell, std::int32_t day, std::int32_t hour) const {
    return (static_cast<std::size_t>(cell) * (days + 1) + day) * 24 + hour;
  }
  float rain(std::int32_t cell, std::int32_t day, std::int32_t hour) const {
    return hourlyRain[rainIndex(cell, day, hour)];
  }
};

/// Places the cell and numbers it; a longitude above 180 is stored as lon - 360.
void initRainCell(RainCell& cell, float latitude, float longitude, std::int32_t column,
                  std::int32_t row);

/// Builds the grid from the input-data section of the parameters, all rainfall zero.
RainGrid buildRainGrid(const RunParameters& params);

/// Fills days 1 to `days` of every cell from `in`. Refuses a value that is not a number or
/// not an intensity from 0 to kMaxRainfall, naming its day and hour.
Status readRainfall(std::istream& in, RainGrid& grid);

}  // namespace runoff

#endif  // RUNOFF_RUNOFF_SIM_RAIN_GRID_H_
