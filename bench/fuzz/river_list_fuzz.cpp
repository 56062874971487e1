// The river list: line count, then the records.
#include <sstream>
#include <string>

#include "runoff/inputs/river_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::istringstream counting(text);
  const std::int32_t count = runoff::countLines(counting);
  std::istringstream in(text);
  auto records = runoff::readRiverRecords(in, count);
  if (records.ok()) {
    if (records->size() > static_cast<std::size_t>(count)) __builtin_trap();
    runoff::RiverSelection selection(*records);
    for (std::int32_t n : *records) {
      if (n < 0 && selection.contains(n)) __builtin_trap();
    }
  } else if (records.message().empty() || records.message().find('\n') != std::string::npos) {
    __builtin_trap();
  }
  return 0;
}
