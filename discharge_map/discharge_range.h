// The discharge range of the colour scale: asked of the user, or found by scanning the whole
// hourly file for its smallest and largest non-negative value.
#ifndef RUNOFF_DISCHARGE_MAP_DISCHARGE_RANGE_H_
#define RUNOFF_DISCHARGE_MAP_DISCHARGE_RANGE_H_

#include <cstddef>
#include <cstdint>
#include <istream>
#include <ostream>
#include <string>

namespace runoff {

struct DischargeRange {
  // m^3/s. The start values of the scan: a file without any result leaves them crossed.
  float maxDischarge = -1.0f;
  float minDischarge = 10000.0f;
  bool valid() const { return minDischarge < maxDischarge; }
};

struct RangeAnswer {
  enum class Kind { kAutomatic, kUserGiven, kRefused };
  Kind kind = Kind::kAutomatic;
  DischargeRange range;  // the typed range, for kUserGiven
  std::string message;   // the one console line, for kRefused
};

/// Asks whether the user sets the range (only the word "y" does) and, if so, reads the
/// maximum and then the minimum. Prompts go to `out`. Refuses a value that is not a number or
/// a minimum not strictly below the maximum ("Wrong values inputted!"), and the end of input.
RangeAnswer askForRange(std::istream& in, std::ostream& out);

/// Reads `hours` grids of `cellsPerHour` values from `in`, one hour at a time, and widens
/// `range` to every value of 0 or more. False when the input ends early.
bool scanDischargeRange(std::istream& in, std::int64_t hours, std::size_t cellsPerHour,
                        DischargeRange& range);

}  // namespace runoff

#endif  // RUNOFF_DISCHARGE_MAP_DISCHARGE_RANGE_H_
