// The run of discharge-netcdf inside the simulator's output directory: parameters, start of
// the run, the three discharge grids checked whole, gauges placed, then one pass over each
// grid file, a block of grids at a time, into the NetCDF file (and the gauge series from the
// hourly pass). Nothing appears under a final name unless every output was written whole.
#ifndef RUNOFF_DISCHARGE_NETCDF_CONVERTER_H_
#define RUNOFF_DISCHARGE_NETCDF_CONVERTER_H_

#include <ostream>
#include <string>

#include "common/status.h"
#include "discharge_netcdf/command_line.h"

namespace runoff {

/// Converts the run of the working directory as `options` ask, writing what it does to
/// `console`; `history` goes into the file's history attribute. The failure is the one line
/// to print.
Status runConverter(const ConverterOptions& options, const std::string& history,
                    std::ostream& console);

}  // namespace runoff

#endif  // RUNOFF_DISCHARGE_NETCDF_CONVERTER_H_
