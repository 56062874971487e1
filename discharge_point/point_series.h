// The hourly discharge of one cell as a text series "./<column>-<row>_discharge.dat": one line
// per simulated hour, "<hour> <discharge>" with the hour counted from 1 and the discharge
// (m^3/s, -9999 where the cell has no result) in the default six-significant-digit form, each
// line ended by a single line feed. Columns count from 1 at the west, rows from 1 at the south.
#ifndef RUNOFF_DISCHARGE_POINT_POINT_SERIES_H_
#define RUNOFF_DISCHARGE_POINT_POINT_SERIES_H_

#include <cstdint>
#include <istream>
#include <ostream>
#include <string>

#include "common/discharge_files.h"
#include "common/status.h"

namespace runoff {

enum class CellAxis { kColumn, kRow };

/// Reads the typed column or row number and checks it lies from 1 to `count`. Refuses the end
/// of input and a token that is not a whole number, each with its own line.
Result<std::int32_t> readCellNumber(std::istream& in, CellAxis axis, std::int32_t count);

/// "./12-7_discharge.dat" for column 12, row 7.
std::string seriesFileName(std::int32_t column, std::int32_t row);

/// Reads `hours` grids of rows x cols values from `discharge`, one hour at a time, and writes
/// the value of (`column`, `row`) of each to `series`. Fails when the discharge file ends
/// early; the caller checks `series`.
Status writePointSeries(DischargeReader& discharge, std::ostream& series, std::int64_t hours,
                        std::int32_t rows, std::int32_t cols, std::int32_t column,
                        std::int32_t row);

}  // namespace runoff

#endif  // RUNOFF_DISCHARGE_POINT_POINT_SERIES_H_
