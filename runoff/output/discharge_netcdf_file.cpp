#include "runoff/output/discharge_netcdf_file.h"

#include <hdf5.h>
#include <netcdf.h>
#ifdef RUNOFF_NETCDF_PARALLEL
#include <netcdf_par.h>
#endif

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <utility>
#include <vector>

#include "common/atomic_file.h"
#include "common/version.h"
#include "runoff/output/geographic_crs.h"

namespace runoff {
namespace {

constexpr float kFill = kMissingDischarge;

// Defines dimensions, variables and attributes, keeping the first failure; once one call has
// failed the others do nothing, so a definition reads as a plain sequence.
class Definer {
 public:
  explicit Definer(int ncid) : ncid_(ncid) {}
  int status() const { return status_; }

  void call(int result) {
    if (status_ == NC_NOERR) status_ = result;
  }
  int dim(const char* name, std::size_t length) {
    int id = -1;
    if (ok()) call(nc_def_dim(ncid_, name, length, &id));
    return id;
  }
  int var(const char* name, nc_type type, std::initializer_list<int> dims) {
    int id = -1;
    const std::vector<int> ids(dims);
    if (ok()) call(nc_def_var(ncid_, name, type, static_cast<int>(ids.size()), ids.data(), &id));
    return id;
  }
  void text(int var, const char* name, const std::string& value) {
    if (ok()) call(nc_put_att_text(ncid_, var, name, value.size(), value.c_str()));
  }
  void number(int var, const char* name, double value) {
    if (ok()) call(nc_put_att_double(ncid_, var, name, NC_DOUBLE, 1, &value));
  }

 private:
  bool ok() const { return status_ == NC_NOERR; }
  int ncid_;
  int status_ = NC_NOERR;
};

// Where a grid sequence of the file sits: its variable's name and time dimension, and the text
// an analyst sees.
struct DischargeVariable {
  DischargeFile file;
  const char* name;
  const char* longName;
  const char* cellMethods;
  const char* comment;  // nullptr for none
};

constexpr DischargeVariable kVariables[] = {
    {DischargeFile::kHourly, "discharge", "hourly mean discharge", "time: mean", nullptr},
    {DischargeFile::kDaily, "discharge_daily_mean", "daily mean discharge", "time: mean",
     "Mean of the day's 24 hourly means."},
    {DischargeFile::kDailyMax, "discharge_daily_max", "daily maximum of the hourly mean discharge",
     "time: maximum",
     "Largest of the day's 24 hourly means (variable discharge), not the largest instantaneous "
     "discharge; 0 when every hourly mean of the day is 0."},
};

// Start and end of each of `count` steps of one unit, and the steps' labels (their starts).
void steps(std::int64_t count, std::vector<double>& labels, std::vector<double>& bounds) {
  labels.resize(static_cast<std::size_t>(count));
  bounds.resize(static_cast<std::size_t>(count) * 2);
  for (std::int64_t k = 0; k < count; ++k) {
    labels[k] = static_cast<double>(k);
    bounds[2 * k] = static_cast<double>(k);
    bounds[2 * k + 1] = static_cast<double>(k + 1);
  }
}

// Cell centres and edges along one axis; consecutive cells share their edge values exactly.
template <typename Centre, typename Edge>
void axis(std::int64_t count, Centre centre, Edge edge, std::vector<double>& centres,
          std::vector<double>& bounds) {
  centres.resize(static_cast<std::size_t>(count));
  bounds.resize(static_cast<std::size_t>(count) * 2);
  for (std::int64_t k = 0; k < count; ++k) {
    centres[k] = centre(k);
    bounds[2 * k] = edge(k);
    bounds[2 * k + 1] = edge(k + 1);
  }
}

}  // namespace

const char* netcdfVariableName(DischargeFile file) {
  for (const DischargeVariable& v : kVariables) {
    if (v.file == file) return v.name;
  }
  return "";
}

namespace {

// The command as typed, arguments that need it single-quoted.
std::string commandText(std::span<const std::string> argv) {
  std::string text;
  for (const std::string& arg : argv) {
    if (!text.empty()) text += ' ';
    const bool plain = !arg.empty() && arg.find_first_not_of(
                                           "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                           "0123456789-_./=:+,@%") == std::string::npos;
    if (plain) {
      text += arg;
      continue;
    }
    text += '\'';
    for (char c : arg) text += c == '\'' ? std::string("'\\''") : std::string(1, c);
    text += '\'';
  }
  return text;
}

}  // namespace

std::string netcdfHistory(std::span<const std::string> argv) {
  const auto now = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
  return isoTime(now) + "Z: " + commandText(argv);
}

std::string netcdfSource(const std::string& program) {
  const std::string model = "runoff-sim kinematic-wave rainfall-runoff model";
  if (program == "discharge-netcdf") {
    return model + "; converted by discharge-netcdf " + kVersion;
  }
  return model + "; written by " + program + " " + kVersion;
}

DischargeNetcdf::DischargeNetcdf(std::string path, std::string temporary, const GridGeometry& grid)
    : path_(std::move(path)), temporary_(std::move(temporary)), grid_(grid) {}

DischargeNetcdf::~DischargeNetcdf() {
  if (!published_) discard();
}

void DischargeNetcdf::discard() {
  if (open_) nc_close(ncid_);
  open_ = false;
  if (ownsTemporary_) std::remove(temporary_.c_str());
}

Status DischargeNetcdf::failure(int ncStatus) const {
  std::string reason = nc_strerror(ncStatus);
  // HDF5 reports a failed write only as an HDF error; the system's reason is what the user
  // can act on. Only reasons that a write alone gives are trusted from errno.
  if (errno == ENOSPC || errno == EFBIG || errno == EDQUOT || errno == EIO) {
    reason += std::string(" (") + std::strerror(errno) + ")";
  }
  return Status::ioError(path_ + " cannot be written: " + reason);
}

Result<std::unique_ptr<DischargeNetcdf>> DischargeNetcdf::create(
    const std::string& path, const NetcdfDescription& description) {
  std::unique_ptr<DischargeNetcdf> file(
      new DischargeNetcdf(path, temporaryPathFor(path), description.grid));
  // A write that fails inside HDF5 (a full disk) leaves the file half open in HDF5's tables,
  // and HDF5's own exit handler then crashes closing it again. The temporary is removed by
  // name and the process ends anyway, so that handler is switched off; this must come before
  // HDF5 starts, and is refused harmlessly once it has.
  H5dont_atexit();
  int ncid = -1;
  if (int s = nc_create(file->temporary_.c_str(), NC_NETCDF4 | NC_CLOBBER, &ncid); s != NC_NOERR) {
    return file->failure(s);
  }
  file->ncid_ = ncid;
  file->open_ = true;
  if (Status defined = file->define(description, ncid, true); !defined.ok()) return defined;
  return file;
}

#ifdef RUNOFF_NETCDF_PARALLEL
Result<std::unique_ptr<DischargeNetcdf>> DischargeNetcdf::createParallel(
    const std::string& path, const NetcdfDescription& description, MPI_Comm comm,
    const std::string& temporary) {
  int rank = 0;
  MPI_Comm_rank(comm, &rank);
  std::unique_ptr<DischargeNetcdf> file(new DischargeNetcdf(path, temporary, description.grid));
  file->ownsTemporary_ = rank == 0;
  H5dont_atexit();
  int ncid = -1;
  if (int s = nc_create_par(file->temporary_.c_str(), NC_NETCDF4 | NC_CLOBBER, comm,
                            MPI_INFO_NULL, &ncid);
      s != NC_NOERR) {
    return file->failure(s);
  }
  file->ncid_ = ncid;
  file->open_ = true;
  if (Status defined = file->define(description, ncid, rank == 0); !defined.ok()) return defined;
  // Compressed chunks are written by all processes together.
  for (DischargeFile f : kDischargeFiles) {
    if (!description.files.has(f)) continue;
    if (int s = nc_var_par_access(ncid, file->varids_[static_cast<int>(f)], NC_COLLECTIVE);
        s != NC_NOERR) {
      return file->failure(s);
    }
  }
  return file;
}
#endif

Status DischargeNetcdf::define(const NetcdfDescription& description, int ncid,
                               bool writesCoordinates) {
  DischargeNetcdf* file = this;
  const GridGeometry& grid = description.grid;
  const std::int64_t days = description.days;
  const std::int64_t hours = 24 * days;

  Definer d(ncid);
  const int timeDim = d.dim("time", static_cast<std::size_t>(hours));
  const int dayDim = d.dim("day", static_cast<std::size_t>(days));
  const int latDim = d.dim("lat", static_cast<std::size_t>(grid.rows));
  const int lonDim = d.dim("lon", static_cast<std::size_t>(grid.cols));
  const int bndsDim = d.dim("bnds", 2);

  const std::string since = " since " + isoTime(description.start, ' ');
  const int time = d.var("time", NC_DOUBLE, {timeDim});
  d.text(time, "standard_name", "time");
  d.text(time, "long_name", "beginning of the hour");
  d.text(time, "units", "hours" + since);
  d.text(time, "calendar", "standard");
  d.text(time, "axis", "T");
  d.text(time, "bounds", "time_bnds");
  const int timeBnds = d.var("time_bnds", NC_DOUBLE, {timeDim, bndsDim});
  const int day = d.var("day", NC_DOUBLE, {dayDim});
  d.text(day, "standard_name", "time");
  d.text(day, "long_name", "beginning of the day: 24-hour periods from the start of the run");
  d.text(day, "units", "days" + since);
  d.text(day, "calendar", "standard");
  d.text(day, "bounds", "day_bnds");
  const int dayBnds = d.var("day_bnds", NC_DOUBLE, {dayDim, bndsDim});

  const int lat = d.var("lat", NC_DOUBLE, {latDim});
  d.text(lat, "standard_name", "latitude");
  d.text(lat, "long_name", "latitude of the cell centre");
  d.text(lat, "units", "degrees_north");
  d.text(lat, "axis", "Y");
  d.text(lat, "bounds", "lat_bnds");
  const int latBnds = d.var("lat_bnds", NC_DOUBLE, {latDim, bndsDim});
  const int lon = d.var("lon", NC_DOUBLE, {lonDim});
  d.text(lon, "standard_name", "longitude");
  d.text(lon, "long_name", "longitude of the cell centre");
  d.text(lon, "units", "degrees_east");
  d.text(lon, "axis", "X");
  d.text(lon, "bounds", "lon_bnds");
  const int lonBnds = d.var("lon_bnds", NC_DOUBLE, {lonDim, bndsDim});

  const int crs = d.var("crs", NC_INT, {});
  d.text(crs, "grid_mapping_name", "latitude_longitude");
  d.number(crs, "longitude_of_prime_meridian", 0.0);
  d.number(crs, "semi_major_axis", 6378137.0);
  d.number(crs, "inverse_flattening", 298.257223563);
  d.text(crs, "crs_wkt", kWgs84Wkt);

  for (const DischargeVariable& v : kVariables) {
    if (!description.files.has(v.file)) continue;
    const bool hourly = v.file == DischargeFile::kHourly;
    const ChunkShape chunk = hourly ? balancedChunk(hours, grid.rows, grid.cols, 24)
                                    : balancedChunk(days, grid.rows, grid.cols);
    file->chunks_[static_cast<int>(v.file)] = chunk;
    const int id = d.var(v.name, NC_FLOAT, {hourly ? timeDim : dayDim, latDim, lonDim});
    file->varids_[static_cast<int>(v.file)] = id;
    const std::size_t sizes[3] = {chunk.steps, chunk.rows, chunk.cols};
    d.call(nc_def_var_chunking(ncid, id, NC_CHUNKED, sizes));
    d.call(nc_def_var_deflate(ncid, id, 1, 1, kDeflateLevel));
    d.call(nc_def_var_fill(ncid, id, NC_FILL, &kFill));
    d.text(id, "standard_name", "water_volume_transport_in_river_channel");
    d.text(id, "long_name", v.longName);
    d.text(id, "units", "m3 s-1");
    d.text(id, "cell_methods", v.cellMethods);
    if (v.comment != nullptr) d.text(id, "comment", v.comment);
    d.text(id, "grid_mapping", "crs");
  }

  d.text(NC_GLOBAL, "Conventions", "CF-1.8");
  d.text(NC_GLOBAL, "title", "Simulated river discharge: hourly and daily, on the model grid");
  d.text(NC_GLOBAL, "source", description.source);
  d.text(NC_GLOBAL, "history", description.history);
  d.text(NC_GLOBAL, "comment",
         "Cells without a result (the outer ring of the grid, cells outside the simulated "
         "rivers) hold the fill value -9999. Each value is the mean (or maximum) over its "
         "time bounds.");
  d.call(nc_enddef(ncid));
  if (d.status() != NC_NOERR) return file->failure(d.status());
  if (!writesCoordinates) return {};

  std::vector<double> labels, bounds;
  steps(hours, labels, bounds);
  d.call(nc_put_var_double(ncid, time, labels.data()));
  d.call(nc_put_var_double(ncid, timeBnds, bounds.data()));
  steps(days, labels, bounds);
  d.call(nc_put_var_double(ncid, day, labels.data()));
  d.call(nc_put_var_double(ncid, dayBnds, bounds.data()));
  axis(
      grid.rows, [&](std::int64_t k) { return grid.latCentre(k); },
      [&](std::int64_t k) { return grid.latEdge(k); }, labels, bounds);
  d.call(nc_put_var_double(ncid, lat, labels.data()));
  d.call(nc_put_var_double(ncid, latBnds, bounds.data()));
  axis(
      grid.cols, [&](std::int64_t k) { return grid.lonCentre(k); },
      [&](std::int64_t k) { return grid.lonEdge(k); }, labels, bounds);
  d.call(nc_put_var_double(ncid, lon, labels.data()));
  d.call(nc_put_var_double(ncid, lonBnds, bounds.data()));
  const int crsCode = 0;
  d.call(nc_put_var_int(ncid, crs, &crsCode));
  if (d.status() != NC_NOERR) return file->failure(d.status());
  return {};
}

Status DischargeNetcdf::writeGrids(DischargeFile file, std::int64_t first,
                                   std::span<const float> values, std::int32_t firstRow,
                                   std::int32_t rows) {
  if (rows < 0) rows = grid_.rows - firstRow;
  const std::size_t cells = static_cast<std::size_t>(rows) * static_cast<std::size_t>(grid_.cols);
  const std::size_t grids = cells == 0 ? 0 : values.size() / cells;
  if (!open_ || (cells == 0 ? !values.empty() : values.size() % cells != 0)) {
    return failure(NC_EINVAL);
  }
  // A process without rows still takes part in a collective write, with nothing to give.
  const std::size_t start[3] = {static_cast<std::size_t>(first), static_cast<std::size_t>(firstRow),
                                0};
  const std::size_t count[3] = {grids, static_cast<std::size_t>(rows),
                                static_cast<std::size_t>(grid_.cols)};
  if (int s =
          nc_put_vara_float(ncid_, varids_[static_cast<int>(file)], start, count, values.data());
      s != NC_NOERR) {
    return failure(s);
  }
  return {};
}

Status DischargeNetcdf::finish() {
  if (!open_) return failure(NC_EBADID);
  open_ = false;
  if (int s = nc_close(ncid_); s != NC_NOERR) {
    discard();
    return failure(s);
  }
  finished_ = true;
  return {};
}

Status DischargeNetcdf::publish() {
  if (!finished_ || !ownsTemporary_ || std::rename(temporary_.c_str(), path_.c_str()) != 0) {
    discard();
    return Status::ioError(path_ + " cannot be written: it cannot take its final name.");
  }
  published_ = true;
  return {};
}

}  // namespace runoff
