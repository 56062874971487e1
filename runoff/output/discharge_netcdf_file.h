// The discharge of one run as a CF-1.8 NetCDF-4 file, the form xarray, CDO and Panoply read:
// the discharge grids of the run with real time coordinates, written whole under a temporary
// name (see common/atomic_file.h) and renamed into place only when complete. discharge-netcdf
// writes it from the raw files, runoff-sim while it routes, and runoff-sim-mpi from every
// process at once through parallel NetCDF-4 (this file compiled with RUNOFF_NETCDF_PARALLEL
// against the MPI build of the library): the same definition and values in every case.
//
// Layout:
//   dimensions  time = 24 x days, day = days, lat = rows, lon = cols, bnds = 2
//   time(time)  double, "hours since <start>": the hour's beginning; time_bnds(time, bnds)
//               its beginning and end. Hour k (from 0) is grid k of dischargeHourly.bin.
//   day(day)    double, "days since <start>": 24-hour periods from the start (not calendar
//               days unless the run starts at midnight); day_bnds(day, bnds)
//   lat(lat)    double, degrees_north, cell centres from the south, in the row order of the
//               grid files; lat_bnds(lat, bnds) the cell edges. lon(lon), lon_bnds likewise
//               from the west. Centres and edges: grid_geometry.h.
//   crs         int scalar, the grid mapping: latitude_longitude on WGS 84, with its WKT
//   discharge(time, lat, lon)            float, hourly mean discharge, m3 s-1
//   discharge_daily_mean(day, lat, lon)  float, mean of the day's hourly means
//   discharge_daily_max(day, lat, lon)   float, largest hourly mean of the day
//     each present when its grids were asked for (all three from discharge-netcdf);
//     the float32 values of the grid files bit for bit, _FillValue -9999 where a
//     cell has no result, chunked by chunk_shape.h, deflate with shuffle
//   global: Conventions "CF-1.8", title, source (program and version), history, comment
#ifndef RUNOFF_OUTPUT_DISCHARGE_NETCDF_FILE_H_
#define RUNOFF_OUTPUT_DISCHARGE_NETCDF_FILE_H_

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#ifdef RUNOFF_NETCDF_PARALLEL
#include <mpi.h>
#endif

#include "common/discharge_files.h"
#include "common/status.h"
#include "runoff/output/chunk_shape.h"
#include "runoff/output/netcdf_description.h"
#include "runoff/inputs/grid_geometry.h"
#include "runoff/inputs/run_start.h"

namespace runoff {

/// Deflate level of the discharge variables. Discharge floats have noisy mantissas: on the
/// bench basin level 1 keeps 80 % of the raw bytes, level 4 79 % at 1.6 times the time,
/// level 6 78 % at 3 times; without the shuffle filter level 1 keeps 85 %.
inline constexpr int kDeflateLevel = 1;

/// The variable that holds the grids of each discharge file.
const char* netcdfVariableName(DischargeFile file);

class DischargeNetcdf {
 public:
  /// Creates the temporary beside `path` and defines the whole file, coordinates written.
  static Result<std::unique_ptr<DischargeNetcdf>> create(const std::string& path,
                                                         const NetcdfDescription& description);
#ifdef RUNOFF_NETCDF_PARALLEL
  /// The same, by every process of `comm` together, for writing in parallel: all name the
  /// same `temporary`; rank 0 writes the coordinates, and alone removes or renames the
  /// temporary. Every later call but publish() is made by all of them together.
  static Result<std::unique_ptr<DischargeNetcdf>> createParallel(
      const std::string& path, const NetcdfDescription& description, MPI_Comm comm,
      const std::string& temporary);
#endif
  /// Closes and removes the temporary unless it was published.
  ~DischargeNetcdf();
  DischargeNetcdf(const DischargeNetcdf&) = delete;
  DischargeNetcdf& operator=(const DischargeNetcdf&) = delete;

  /// The chunk of the variable of `file`: write it in blocks of chunk.steps grids.
  const ChunkShape& chunk(DischargeFile file) const { return chunks_[static_cast<int>(file)]; }
  /// Writes grids `first`, first + 1, ... (from 0) of the variable of `file`; `values` holds
  /// them in the order of the grid files, each whole or, with `rows`, its `rows` rows from
  /// `firstRow` (from the south).
  Status writeGrids(DischargeFile file, std::int64_t first, std::span<const float> values,
                    std::int32_t firstRow = 0, std::int32_t rows = -1);
  /// Closes the temporary; a failure when anything of it could not be written.
  Status finish();
  /// Renames the finished temporary over `path`.
  Status publish();

 private:
  DischargeNetcdf(std::string path, std::string temporary, const GridGeometry& grid);
  Status define(const NetcdfDescription& description, int ncid, bool writesCoordinates);
  Status failure(int ncStatus) const;
  void discard();

  std::string path_;
  std::string temporary_;
  GridGeometry grid_;
  int ncid_ = -1;
  bool open_ = false;
  bool finished_ = false;
  bool published_ = false;
  bool ownsTemporary_ = true;  // removes or renames it (in parallel, rank 0 alone)
  std::array<int, 3> varids_{};
  std::array<ChunkShape, 3> chunks_{};
};

}  // namespace runoff

#endif  // RUNOFF_OUTPUT_DISCHARGE_NETCDF_FILE_H_
