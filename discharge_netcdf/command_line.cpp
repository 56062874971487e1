#include "discharge_netcdf/command_line.h"

#include "common/command_options.h"
#include "common/text_number.h"

namespace runoff {

std::string usage() {
  return "Usage: discharge-netcdf [--out FILE] [--start TIME] [--gauges FILE.csv [--snap N]]\n"
         "Run inside the simulator's output directory: reads ../param-ravo-event-ver300.dat and\n"
         "the three discharge grids, writes them as one CF-1.8 NetCDF-4 file.\n"
         "  --out FILE         the NetCDF file to write (default discharge.nc)\n"
         "  --start TIME       start of the run, YYYY-MM-DDThh:mm:ss (default: the stamp of\n"
         "                     the first record of ../input/rain.dat)\n"
         "  --gauges FILE.csv  gauges as name,lon,lat (degrees): also writes gauges.csv, their\n"
         "                     hourly discharge as time,gauge,discharge\n"
         "  --snap N           each gauge moves to the routed cell of largest flow\n"
         "                     accumulation within N cells (default 2)\n"
         "  --help             this text\n";
}

Result<ConverterOptions> parseCommandLine(std::span<const std::string> args) {
  static constexpr std::string_view kKnown[] = {"--out", "--start", "--gauges", "--snap"};
  Result<CommandOptions> read =
      readCommandOptions(args, kKnown, "discharge-netcdf", Positional::kRefused);
  if (!read.ok()) return read.status();
  ConverterOptions options;
  options.help = read->help;
  if (const auto out = read->value("--out")) options.out = *out;
  options.start = read->value("--start");
  options.gauges = read->value("--gauges");
  if (const auto snap = read->value("--snap")) {
    if (parseInt32(*snap, options.snap) != ParseStatus::kOk || options.snap < 0) {
      return Status::invalid("--snap \"" + *snap + "\" is not a whole number of cells, 0 or more.");
    }
    if (!options.gauges) {
      return Status::invalid("--snap applies to gauges only: give them with --gauges FILE.csv.");
    }
  }
  return options;
}

}  // namespace runoff
