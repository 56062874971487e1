// The options of discharge-netcdf: where to write, when the run started, which gauges to
// extract. Each option takes its value as the next argument or after '=' ("--out x.nc",
// "--out=x.nc"); an unknown option, a missing value or an option given twice is refused.
#ifndef RUNOFF_DISCHARGE_NETCDF_COMMAND_LINE_H_
#define RUNOFF_DISCHARGE_NETCDF_COMMAND_LINE_H_

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "common/status.h"

namespace runoff {

struct ConverterOptions {
  bool help = false;
  std::string out = "discharge.nc";
  std::optional<std::string> start;   // ISO-8601, checked when the start is looked for
  std::optional<std::string> gauges;  // CSV of name, lon, lat
  std::int32_t snap = 2;              // cells, 0 or more
};

/// The options of the arguments after the program name.
Result<ConverterOptions> parseCommandLine(std::span<const std::string> args);

/// The --help text, several lines ending with a line end.
std::string usage();

}  // namespace runoff

#endif  // RUNOFF_DISCHARGE_NETCDF_COMMAND_LINE_H_
