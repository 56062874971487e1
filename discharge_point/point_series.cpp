#include "discharge_point/point_series.h"

#include <vector>

#include "common/binary_grid.h"
#include "common/hourly_discharge.h"
#include "common/text_number.h"

namespace runoff {

CellNumber readCellNumber(std::istream& in, CellAxis axis, std::int32_t count) {
  const bool column = axis == CellAxis::kColumn;
  const std::string name = column ? "Column number" : "Row number";
  CellNumber result;
  const auto token = nextToken(in);
  if (!token) {
    result.message =
        "No " + std::string(column ? "column" : "row") + " number inputted: end of input.";
    return result;
  }
  const ParseStatus status = parseInt32(*token, result.value);
  if (status == ParseStatus::kNotNumber || status == ParseStatus::kNotInteger) {
    result.message = name + " \"" + *token + "\" is not a whole number!";
    return result;
  }
  // A number beyond int32 is as far out of the grid as any other.
  if (status != ParseStatus::kOk || result.value < 1 || result.value > count) {
    result.message = name + " is out of range!";
    return result;
  }
  result.ok = true;
  return result;
}

std::string seriesFileName(std::int32_t column, std::int32_t row) {
  return "./" + std::to_string(column) + "-" + std::to_string(row) + "_discharge.dat";
}

std::optional<std::string> writePointSeries(std::istream& discharge, std::ostream& series,
                                            std::int64_t hours, std::int32_t rows,
                                            std::int32_t cols, std::int32_t column,
                                            std::int32_t row) {
  if (hours <= 0) return std::nullopt;
  // The file stores rows from the south, as the user counts them.
  const std::size_t width = static_cast<std::size_t>(cols);
  const std::size_t position =
      static_cast<std::size_t>(row - 1) * width + static_cast<std::size_t>(column - 1);
  std::vector<float> values(static_cast<std::size_t>(rows) * width);
  for (std::int64_t hour = 1; hour <= hours && series; ++hour) {
    if (!readFloatRecords(discharge, values)) {
      return std::string("Discharge data cannot be read to its end: ") + kHourlyDischargePath;
    }
    series << hour << ' ' << values[position] << '\n';
  }
  return std::nullopt;
}

}  // namespace runoff
