// discharge-point: the hourly discharge of one cell, chosen by column and row, as a text
// series. Runs in the simulator's output directory.
#include <cstdint>
#include <fstream>
#include <iostream>
#include <string>

#include "common/hourly_discharge.h"
#include "common/params.h"
#include "discharge_point/point_series.h"

namespace {

int fail(const std::string& message) {
  std::cout << message << std::endl;
  return 1;
}

}  // namespace

int main() {
  using namespace runoff;
  const ParamResult read = readParameters(std::string("../") + kParameterFileName,
                                          ParamScope::kPostProcessor, std::cout);
  if (read.status != ParamResult::Status::kOk) return fail(read.message);
  const RunParameters& p = read.params;

  std::cout << "Input column number to extract data!\n"
            << "Column number begins from 1 from west." << std::endl;
  const CellNumber column = readCellNumber(std::cin, CellAxis::kColumn, p.topoCols);
  if (!column.ok) return fail(column.message);
  std::cout << "Input row number to extract data!\n"
            << "Row number begins from 1 from south." << std::endl;
  const CellNumber row = readCellNumber(std::cin, CellAxis::kRow, p.topoRows);
  if (!row.ok) return fail(row.message);
  std::cout << "Column number : " << column.value << " Row number : " << row.value << std::endl;

  std::cout << "Read " << kHourlyDischargePath << std::endl;
  std::ifstream discharge(kHourlyDischargePath, std::ios::binary);
  if (!discharge) return fail("Discharge data cannot open.");
  // 64-bit: the duration has no upper limit here, and 24 x days may not fit 32 bits.
  const std::int64_t hours = std::int64_t{24} * p.days;
  if (auto unusable = checkHourlyFileSize(kHourlyDischargePath, hours, p.topoRows, p.topoCols)) {
    return fail(*unusable);
  }

  const std::string name = seriesFileName(column.value, row.value);
  std::cout << "Write " << name << '\r' << std::flush;
  std::ofstream series(name, std::ios::binary | std::ios::trunc);
  if (!series) return fail("Time series discharge output file cannot open.");
  if (auto failure = writePointSeries(discharge, series, hours, p.topoRows, p.topoCols,
                                      column.value, row.value)) {
    return fail(*failure);
  }
  series.close();
  if (!series) return fail("Time series discharge output file cannot be written: " + name);
  return 0;
}
