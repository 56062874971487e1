// The discharge range of the colour scale: asked of the user, or found by scanning the whole
// hourly file for its smallest and largest non-negative value.
#ifndef RUNOFF_DISCHARGE_MAP_DISCHARGE_RANGE_H_
#define RUNOFF_DISCHARGE_MAP_DISCHARGE_RANGE_H_

#include <cstdint>
#include <istream>
#include <optional>
#include <ostream>

#include "common/discharge_files.h"
#include "common/status.h"

namespace runoff {

struct DischargeRange {
  // m^3/s. The start values of the scan: a file without any result leaves them crossed.
  float maxDischarge = -1.0f;
  float minDischarge = 10000.0f;
  bool valid() const { return minDischarge < maxDischarge; }
};

/// Asks whether the user sets the range (only the word "y" does) and, if so, reads the
/// maximum and then the minimum; prompts go to `out`. Returns the typed range, or nullopt when
/// the range is left to the scan. Both values are always asked for; a value that is not a
/// number, or a minimum not strictly below the maximum, is then refused with "Wrong values
/// inputted!". The end of input is refused with a line of its own.
Result<std::optional<DischargeRange>> askForRange(std::istream& in, std::ostream& out);

/// Reads `hours` grids from `discharge`, one hour at a time, and widens `range` to every value
/// of 0 or more. Fails when the file ends early.
Status scanDischargeRange(DischargeReader& discharge, std::int64_t hours, DischargeRange& range);

}  // namespace runoff

#endif  // RUNOFF_DISCHARGE_MAP_DISCHARGE_RANGE_H_
