// The hourly rainfall file, read into the small rainfall grid.
#include <sstream>
#include <string>

#include "fuzz_grid.h"
#include "runoff/inputs/rain_grid.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const runoff::RunParameters params = runoff::fuzz::smallParameters();
  runoff::RainGrid grid = runoff::buildRainGrid(params);
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  const std::string problem = runoff::readRainfall(in, grid).message();
  if (problem.find('\n') != std::string::npos) __builtin_trap();
  if (grid.hourlyRain.size() != grid.cells.size() * 2 * 24) __builtin_trap();
  for (float v : grid.hourlyRain) {
    // Only intensities from 0 to the accepted maximum enter the grid: no NaN, no overflow.
    if (!(v >= 0.0f && v <= runoff::kMaxRainfall)) __builtin_trap();
  }
  return 0;
}
