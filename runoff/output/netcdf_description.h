// What a NetCDF file of discharge (runoff/output/discharge_netcdf_file.h) holds beyond the
// grids: their extent in space and time, which variables, and the attributes that say where
// the file came from. Needs nothing of the NetCDF library, so that a run can describe the file
// it asks a writer for.
#ifndef RUNOFF_OUTPUT_NETCDF_DESCRIPTION_H_
#define RUNOFF_OUTPUT_NETCDF_DESCRIPTION_H_

#include <cstdint>
#include <span>
#include <string>

#include "common/discharge_files.h"
#include "runoff/inputs/grid_geometry.h"
#include "runoff/inputs/run_start.h"

namespace runoff {

/// The source attribute of a file that `program` made ("discharge-netcdf": "... converted by
/// discharge-netcdf 0.1.0").
std::string netcdfSource(const std::string& program);

/// The history attribute of a file made now by the command `argv`: "2024-05-01T10:00:00Z:
/// discharge-netcdf --out 'my file.nc'" (arguments that need it single-quoted).
std::string netcdfHistory(std::span<const std::string> argv);

struct NetcdfDescription {
  GridGeometry grid;
  std::int32_t days = 0;  // at least 1
  CivilTime start;
  std::string history;  // the history attribute: when and by what command the file was made
  std::string source;   // the source attribute: netcdfSource() of the program
  DischargeFileSet files = DischargeFileSet::all();  // the variables defined
};

}  // namespace runoff

#endif  // RUNOFF_OUTPUT_NETCDF_DESCRIPTION_H_
