// discharge-netcdf: the discharge grids of a run as one CF NetCDF file, and optionally the
// hourly series of a list of gauges as CSV. Runs in the simulator's output directory.
#include <iostream>
#include <string>
#include <vector>

#include "common/status.h"
#include "discharge_netcdf/command_line.h"
#include "discharge_netcdf/converter.h"
#include "runoff/output/discharge_netcdf_file.h"

int main(int argc, char** argv) {
  using namespace runoff;
  const std::vector<std::string> args(argv, argv + argc);
  const Result<ConverterOptions> options =
      parseCommandLine(std::span<const std::string>(args).subspan(1));
  if (!options.ok()) {
    std::cout << options.message() << std::endl;
    return 1;
  }
  if (options->help) {
    std::cout << usage();
    return 0;
  }
  const std::string history = netcdfHistory(args);
  if (Status done = runConverter(*options, history, std::cout); !done.ok()) {
    std::cout << done.message() << std::endl;
    return 1;
  }
  return 0;
}
