// Long-form discharge series (observed records, gauges.csv): the reader, then the hourly clock
// discharge-score puts a simulated series on.
#include <cmath>
#include <sstream>
#include <string>

#include "runoff/evaluation/discharge_series.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::istringstream in(text);
  auto series = runoff::readDischargeSeries(in, "series.csv");
  if (!series.ok()) {
    if (series.message().empty() || series.message().find('\n') != std::string::npos) {
      __builtin_trap();
    }
    return 0;
  }
  if (series->gauges.size() != series->values.size() || series->count == 0) __builtin_trap();
  for (const auto& values : series->values) {
    for (std::size_t k = 0; k < values.size(); ++k) {
      if (values[k].discharge < 0) __builtin_trap();  // negative values are missing (NaN)
      if (k > 0 && !(values[k - 1].time < values[k].time)) __builtin_trap();
    }
  }
  auto hourly = runoff::onHourlyClock(*series, "series.csv");
  if (hourly.ok() && hourly->hours < 1) __builtin_trap();
  return 0;
}
