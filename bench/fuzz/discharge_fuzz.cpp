// The post-processors' inputs: the typed answers (the first byte gives their length) and the
// hourly discharge file (the bytes after them), for a 3 x 4 grid of two hours.
#include <sstream>
#include <string>

#include "discharge_map/discharge_range.h"
#include "discharge_point/point_series.h"
#include "fuzz_grid.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  constexpr std::int32_t kRows = 3, kCols = 4;
  constexpr std::int64_t kHours = 2;
  if (size == 0) return 0;
  const std::size_t answerLength = std::min<std::size_t>(data[0], size - 1);
  const std::string parts[2] = {
      std::string(reinterpret_cast<const char*>(data) + 1, answerLength),
      std::string(reinterpret_cast<const char*>(data) + 1 + answerLength, size - 1 - answerLength)};
  {
    std::istringstream answers(parts[0]);
    std::ostringstream prompts;
    runoff::RangeAnswer answer = runoff::askForRange(answers, prompts);
    if (answer.kind == runoff::RangeAnswer::Kind::kUserGiven && !answer.range.valid()) {
      __builtin_trap();
    }
    std::istringstream file(parts[1]);
    runoff::DischargeRange range;
    runoff::scanDischargeRange(file, kHours, kRows * kCols, range);
  }
  {
    std::istringstream answers(parts[0]);
    runoff::CellNumber column = runoff::readCellNumber(answers, runoff::CellAxis::kColumn, kCols);
    runoff::CellNumber row = runoff::readCellNumber(answers, runoff::CellAxis::kRow, kRows);
    if (column.ok && (column.value < 1 || column.value > kCols)) __builtin_trap();
    if (row.ok && (row.value < 1 || row.value > kRows)) __builtin_trap();
    if (column.ok && row.ok) {
      std::istringstream file(parts[1]);
      std::ostringstream series;
      runoff::writePointSeries(file, series, kHours, kRows, kCols, column.value, row.value);
    }
  }
  return 0;
}
