// discharge-point: the hourly discharge of one cell, chosen by column and row, as a text
// series. Runs in the simulator's output directory.
#include <cstdint>
#include <fstream>
#include <iostream>
#include <string>

#include "common/discharge_files.h"
#include "common/params.h"
#include "common/status.h"
#include "discharge_point/point_series.h"

namespace {

int fail(const std::string& message) {
  std::cout << message << std::endl;
  return 1;
}

}  // namespace

int main() {
  using namespace runoff;
  const Result<RunParameters> read = readParameters(std::string("../") + kParameterFileName,
                                                    ParamScope::kPostProcessor, std::cout);
  if (!read.ok()) return fail(read.message());
  const RunParameters& p = read.value();

  // The prompts and failure lines are kept word for word, for compatibility of the console
  // output that scripts answer and read.
  std::cout << "Input column number to extract data!\n"
            << "Column number begins from 1 from west." << std::endl;
  const Result<std::int32_t> column = readCellNumber(std::cin, CellAxis::kColumn, p.topoCols);
  if (!column.ok()) return fail(column.message());
  std::cout << "Input row number to extract data!\n"
            << "Row number begins from 1 from south." << std::endl;
  const Result<std::int32_t> row = readCellNumber(std::cin, CellAxis::kRow, p.topoRows);
  if (!row.ok()) return fail(row.message());
  std::cout << "Column number : " << *column << " Row number : " << *row << std::endl;

  std::cout << "Read " << kHourlyDischargePath << std::endl;
  std::ifstream file(kHourlyDischargePath, std::ios::binary);
  if (!file) return fail("Discharge data cannot open.");
  // 64-bit: the duration has no upper limit here, and 24 x days may not fit 32 bits.
  const std::int64_t hours = std::int64_t{24} * p.days;
  if (Status size =
          checkDischargeFileSize(kHourlyDischargePath, hours, "hours", p.topoRows, p.topoCols);
      !size.ok()) {
    return fail(size.message());
  }

  const std::string name = seriesFileName(*column, *row);
  std::cout << "Write " << name << '\r' << std::flush;
  std::ofstream series(name, std::ios::binary | std::ios::trunc);
  if (!series) return fail("Time series discharge output file cannot open.");
  DischargeReader discharge(
      file, kHourlyDischargePath,
      static_cast<std::size_t>(p.topoRows) * static_cast<std::size_t>(p.topoCols));
  if (Status written =
          writePointSeries(discharge, series, hours, p.topoRows, p.topoCols, *column, *row);
      !written.ok()) {
    return fail(written.message());
  }
  series.close();
  if (!series) return fail("Time series discharge output file cannot be written: " + name);
  return 0;
}
