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
    auto answer = runoff::askForRange(answers, prompts);
    if (answer.ok() && answer->has_value() && !(*answer)->valid()) __builtin_trap();
    std::istringstream file(parts[1]);
    runoff::DischargeReader reader(file, "fuzz", kRows * kCols);
    runoff::DischargeRange range;
    (void)runoff::scanDischargeRange(reader, kHours, range);
  }
  {
    std::istringstream answers(parts[0]);
    auto column = runoff::readCellNumber(answers, runoff::CellAxis::kColumn, kCols);
    auto row = runoff::readCellNumber(answers, runoff::CellAxis::kRow, kRows);
    if (column.ok() && (*column < 1 || *column > kCols)) __builtin_trap();
    if (row.ok() && (*row < 1 || *row > kRows)) __builtin_trap();
    if (column.ok() && row.ok()) {
      std::istringstream file(parts[1]);
      runoff::DischargeReader reader(file, "fuzz", kRows * kCols);
      std::ostringstream series;
      (void)runoff::writePointSeries(reader, series, kHours, kRows, kCols, *column, *row);
    }
  }
  return 0;
}
