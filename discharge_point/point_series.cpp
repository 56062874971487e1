#include "discharge_point/point_series.h"

#include <vector>

#include "common/text_number.h"

namespace runoff {

Result<std::int32_t> readCellNumber(std::istream& in, CellAxis axis, std::int32_t count) {
  const bool column = axis == CellAxis::kColumn;
  const std::string name = column ? "Column number" : "Row number";
  const auto token = nextToken(in);
  if (!token) {
    return Status::invalid("No " + std::string(column ? "column" : "row") +
                           " number inputted: end of input.");
  }
  std::int32_t value = 0;
  const ParseStatus status = parseInt32(*token, value);
  if (status == ParseStatus::kNotNumber || status == ParseStatus::kNotInteger) {
    return Status::invalid(name + " \"" + *token + "\" is not a whole number!");
  }
  // A number beyond int32 is as far out of the grid as any other.
  if (status != ParseStatus::kOk || value < 1 || value > count) {
    return Status::invalid(name + " is out of range!");
  }
  return value;
}

std::string seriesFileName(std::int32_t column, std::int32_t row) {
  return "./" + std::to_string(column) + "-" + std::to_string(row) + "_discharge.dat";
}

Status writePointSeries(DischargeReader& discharge, std::ostream& series, std::int64_t hours,
                        std::int32_t rows, std::int32_t cols, std::int32_t column,
                        std::int32_t row) {
  if (hours <= 0) return {};
  // The file stores rows from the south, as the user counts them.
  const std::size_t width = static_cast<std::size_t>(cols);
  const std::size_t position =
      static_cast<std::size_t>(row - 1) * width + static_cast<std::size_t>(column - 1);
  std::vector<float> values(static_cast<std::size_t>(rows) * width);
  for (std::int64_t hour = 1; hour <= hours && series; ++hour) {
    if (Status read = discharge.readGrid(values); !read.ok()) return read;
    series << hour << ' ' << values[position] << '\n';
  }
  return {};
}

}  // namespace runoff
