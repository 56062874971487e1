// The rainfall (input-data) grid: cells given by their centres, row 0 the southern row, and
// the hourly rainfall intensity of every cell for a window of days, read from the rainfall file
// as the run moves from one window to the next.
//
// Rainfall file "./input/rain.dat", text, values separated by any white space. For each day
// from 1 to `days` and each hour from 0 to 23 one record: six integers (a time stamp, not
// used), then rainRows x rainCols intensities in mm/h, row by row from the NORTHERN row to the
// southern row, each row from west to east. No header, no count. A file that ends early leaves
// the hours it does not reach at zero rainfall (a storm shorter than the run).
#ifndef RUNOFF_INPUTS_RAIN_GRID_H_
#define RUNOFF_INPUTS_RAIN_GRID_H_

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

// The grid holds the days firstDay to firstDay + days - 1 of the run, and the day before them
// (zero rain before the run's first day).
struct RainGrid {
  std::int32_t rows = 0;
  std::int32_t cols = 0;
  std::int32_t firstDay = 1;
  std::int32_t days = 0;
  std::vector<RainCell> cells;    // row-major, row 0 the southern row
  std::vector<float> hourlyRain;  // [cell][day firstDay-1 .. firstDay+days-1][hour 0..23], mm/h

  std::size_t rainIndex(std::int32_t cell, std::int32_t day, std::int32_t hour) const {
    return (static_cast<std::size_t>(cell) * (days + 1) + (day - firstDay + 1)) * 24 + hour;
  }
  /// Rainfall of `day` (firstDay - 1 to firstDay + days - 1), hour index 0 to 23.
  float rain(std::int32_t cell, std::int32_t day, std::int32_t hour) const {
    return hourlyRain[rainIndex(cell, day, hour)];
  }
};

/// Places the cell and numbers it; a longitude above 180 is stored as lon - 360.
void initRainCell(RainCell& cell, float latitude, float longitude, std::int32_t column,
                  std::int32_t row);

/// Builds the grid from the input-data section of the parameters, all rainfall zero, with room
/// for `windowDays` days from day 1 (the whole run: params.days).
RainGrid buildRainGrid(const RunParameters& params, std::int32_t windowDays);
inline RainGrid buildRainGrid(const RunParameters& params) {
  return buildRainGrid(params, params.days);
}

/// Reads the rainfall file one day at a time, from its first record. Past the end of the file
/// every hour is dry.
class RainReader {
 public:
  RainReader(std::istream& in, std::int32_t rows, std::int32_t cols)
      : in_(in), rows_(rows), cols_(cols) {}

  /// Reads the next day's 24 records; `store(hour, cell, mmPerHour)` receives every value read
  /// (cell row-major from the southern row). Refuses a value that is not a number or not an
  /// intensity from 0 to kMaxRainfall, naming its day (from 1) and hour (from 0).
  template <typename Store>
  Status readDay(Store store);
  /// True once the file has ended: every later day is dry.
  bool ended() const { return ended_; }

 private:
  Status readDayInto(void (*store)(void*, std::int32_t, std::int32_t, float), void* context);

  std::istream& in_;
  std::int32_t rows_, cols_;
  std::int32_t day_ = 0;  // days read so far
  bool ended_ = false;
};

template <typename Store>
Status RainReader::readDay(Store store) {
  return readDayInto([](void* context, std::int32_t hour, std::int32_t cell,
                        float value) { (*static_cast<Store*>(context))(hour, cell, value); },
                     &store);
}

/// Moves the window on to the `days` days from `firstDay`, the next ones of `reader`: the last
/// day held becomes the day before the window.
Status advanceRainWindow(RainReader& reader, RainGrid& grid, std::int32_t firstDay,
                         std::int32_t days);

/// Reads every day the grid holds from the start of `in` (the grid's window must begin at day 1).
Status readRainfall(std::istream& in, RainGrid& grid);

/// Reads `days` days of `in` without keeping them: the whole file is checked before a long run
/// starts.
Status checkRainfall(std::istream& in, std::int32_t rows, std::int32_t cols, std::int32_t days);

}  // namespace runoff

#endif  // RUNOFF_INPUTS_RAIN_GRID_H_
