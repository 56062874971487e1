#include "discharge_netcdf/command_line.h"

#include <set>

#include "common/text_number.h"

namespace runoff {
namespace {

constexpr const char* kSeeHelp = "; discharge-netcdf --help lists the options.";

}  // namespace

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
  ConverterOptions options;
  std::set<std::string> seen;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      options.help = true;
      continue;
    }
    const std::size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    if (name != "--out" && name != "--start" && name != "--gauges" && name != "--snap") {
      if (arg.rfind("-", 0) == 0) return Status::invalid("Unknown option " + arg + kSeeHelp);
      return Status::invalid("Unexpected argument \"" + arg + "\"" + kSeeHelp);
    }
    if (!seen.insert(name).second) return Status::invalid("Option " + name + " is given twice.");
    std::string value;
    if (equals != std::string::npos) {
      value = arg.substr(equals + 1);
    } else if (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0) {
      value = args[++i];
    }
    if (value.empty()) return Status::invalid("Option " + name + " needs a value.");

    if (name == "--out") {
      options.out = value;
    } else if (name == "--start") {
      options.start = value;
    } else if (name == "--gauges") {
      options.gauges = value;
    } else if (parseInt32(value, options.snap) != ParseStatus::kOk || options.snap < 0) {
      return Status::invalid("--snap \"" + value + "\" is not a whole number of cells, 0 or more.");
    }
  }
  if (seen.count("--snap") && !options.gauges) {
    return Status::invalid("--snap applies to gauges only: give them with --gauges FILE.csv.");
  }
  return options;
}

}  // namespace runoff
