#include "discharge_netcdf/converter.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "common/atomic_file.h"
#include "common/discharge_files.h"
#include "common/input_file.h"
#include "common/params.h"
#include "runoff/output/discharge_netcdf_file.h"
#include "runoff/inputs/gauge_list.h"
#include "runoff/output/gauge_series.h"
#include "runoff/inputs/gauge_snap.h"
#include "runoff/inputs/grid_geometry.h"
#include "runoff/inputs/run_start.h"

namespace runoff {
namespace {

namespace fs = std::filesystem;

std::string gridPath(DischargeFile file) { return std::string("./") + dischargeFileName(file); }

const char* gridUnit(DischargeFile file) {
  return file == DischargeFile::kHourly ? "hours" : "days";
}

bool sameFile(const std::string& a, const std::string& b) {
  std::error_code error;
  const fs::path x = fs::weakly_canonical(a, error);
  if (error) return false;
  const fs::path y = fs::weakly_canonical(b, error);
  return !error && x == y;
}

// Refuses an output that cannot be made, or that would replace a file this run reads or the
// other output.
Status checkOutputs(const ConverterOptions& options, const std::string& parameterPath) {
  std::error_code error;
  const fs::path folder = fs::path(options.out).parent_path();
  if (!folder.empty() && !fs::is_directory(folder, error)) {
    return Status::invalid("--out " + options.out + ": the folder " + folder.string() +
                           " does not exist.");
  }
  if (fs::is_directory(options.out, error)) {
    return Status::invalid("--out " + options.out + " is a folder; give a file name.");
  }
  std::vector<std::string> inputs = {parameterPath, kRainPathFromOutput};
  for (DischargeFile file : kDischargeFiles) inputs.push_back(gridPath(file));
  if (options.gauges) {
    inputs.push_back(*options.gauges);
    inputs.push_back(kFlowAccPathFromOutput);
    if (sameFile(*options.gauges, kGaugeSeriesName)) {
      return Status::invalid("--gauges " + *options.gauges + " is where the gauge series is " +
                             "written; give the gauge list another name.");
    }
    if (sameFile(options.out, kGaugeSeriesName)) {
      return Status::invalid("--out " + options.out + " is where the gauge series is written.");
    }
    // Found only at publishing, a directory there would cost the NetCDF file just published.
    if (isDirectoryAt(kGaugeSeriesName)) {
      return Status::invalid(std::string(kGaugeSeriesName) +
                             " cannot be written: it is a directory.");
    }
  }
  for (const std::string& input : inputs) {
    if (sameFile(options.out, input)) {
      return Status::invalid("--out " + options.out + " would replace " + input +
                             ", which the conversion reads.");
    }
  }
  return {};
}

// Sees grid k (from 0) of a discharge file.
using GridVisitor = std::function<void(std::int64_t, std::span<const float>)>;

// Copies every grid of one discharge file into its NetCDF variable, a block of the variable's
// chunk length at a time (so each chunk is compressed once); `eachGrid` sees every grid too.
Status copyGrids(DischargeFile file, std::int64_t grids, std::size_t cells, DischargeNetcdf& netcdf,
                 std::vector<float>& block, const GridVisitor& eachGrid) {
  const std::string path = gridPath(file);
  std::ifstream in(path, std::ios::binary);
  if (!in) return Status::cannotOpen("Discharge data cannot open: " + path);
  DischargeReader reader(in, path, cells);
  const auto steps = static_cast<std::int64_t>(netcdf.chunk(file).steps);
  for (std::int64_t first = 0; first < grids; first += steps) {
    const std::int64_t count = std::min(steps, grids - first);
    const std::span<float> values(block.data(), static_cast<std::size_t>(count) * cells);
    for (std::int64_t k = 0; k < count; ++k) {
      const std::span<float> grid = values.subspan(static_cast<std::size_t>(k) * cells, cells);
      if (Status read = reader.readGrid(grid); !read.ok()) return read;
      if (eachGrid) eachGrid(first + k, grid);
    }
    if (Status written = netcdf.writeGrids(file, first, values); !written.ok()) return written;
  }
  return {};
}

// The gauges of the list, each moved onto the river network; prints the chosen cells.
Result<std::vector<SnappedGauge>> placeGauges(const ConverterOptions& options,
                                              const GridGeometry& grid, std::size_t cells,
                                              std::ostream& console) {
  Result<std::vector<Gauge>> gauges = readGauges(*options.gauges);
  if (!gauges.ok()) return gauges.status();
  Result<std::vector<std::int32_t>> flowAcc = readFlowAccumulation(kFlowAccPathFromOutput, grid);
  if (!flowAcc.ok()) return flowAcc.status();
  // The first hour tells routed cells from the others.
  std::vector<float> firstHour(cells);
  std::ifstream in(gridPath(DischargeFile::kHourly), std::ios::binary);
  DischargeReader reader(in, gridPath(DischargeFile::kHourly), cells);
  if (Status read = reader.readGrid(firstHour); !read.ok()) return read;
  Result<std::vector<SnappedGauge>> snapped =
      snapGauges(*gauges, grid, *flowAcc, firstHour, options.snap);
  if (!snapped.ok()) return snapped.status();
  for (const SnappedGauge& g : *snapped) console << gaugePlacementLine(g) << "\n";
  return snapped;
}

}  // namespace

Status runConverter(const ConverterOptions& options, const std::string& history,
                    std::ostream& console) {
  const std::string parameterPath = std::string("../") + kParameterFileName;
  std::ifstream parameterFile;
  if (const InputFault fault = openInputFile(parameterFile, parameterPath);
      fault != InputFault::kNone) {
    return inputFailure(parameterPath, fault);
  }
  std::ostream silent(nullptr);  // the converter does not echo the parameters
  const Result<RunParameters> read =
      readParameters(parameterFile, ParamScope::kPostProcessor, silent);
  if (!read.ok()) return read.status();
  const RunParameters& p = read.value();
  if (p.days < 1) {
    return Status::invalid("The run has no hour to convert: days is " + std::to_string(p.days) +
                           " in " + parameterPath + ".");
  }
  const Result<GridGeometry> grid = GridGeometry::fromParameters(p);
  if (!grid.ok()) return grid.status();
  const Result<RunStart> start = findRunStart(options.start, kRainPathFromOutput);
  if (!start.ok()) return start.status();
  if (Status outputs = checkOutputs(options, parameterPath); !outputs.ok()) return outputs;

  const std::int64_t days = p.days;
  const std::size_t cells =
      static_cast<std::size_t>(p.topoRows) * static_cast<std::size_t>(p.topoCols);
  for (DischargeFile file : kDischargeFiles) {
    if (Status size = checkDischargeFileSize(gridPath(file), days * gridsPerDay(file),
                                             gridUnit(file), p.topoRows, p.topoCols);
        !size.ok()) {
      return size;
    }
  }
  console << "Grid of " << p.topoCols << " x " << p.topoRows << " cells of " << p.topoScale
          << " arc-seconds, " << days << (days == 1 ? " day" : " days") << " from "
          << isoTime(start->time) << " (" << start->origin << ")\n";

  std::vector<SnappedGauge> gauges;
  if (options.gauges) {
    Result<std::vector<SnappedGauge>> placed = placeGauges(options, *grid, cells, console);
    if (!placed.ok()) return placed.status();
    gauges = std::move(*placed);
  }

  console << "Write " << options.out << std::endl;
  Result<std::unique_ptr<DischargeNetcdf>> created =
      DischargeNetcdf::create(options.out, NetcdfDescription{*grid, p.days, start->time, history,
                                                            netcdfSource("discharge-netcdf")});
  if (!created.ok()) return created.status();
  DischargeNetcdf& netcdf = **created;
  std::unique_ptr<AtomicFile> series;
  if (options.gauges) {
    console << "Write " << kGaugeSeriesName << std::endl;
    series = std::make_unique<AtomicFile>(kGaugeSeriesName, std::ios::binary);
    if (Status ready = series->ready(); !ready.ok()) return ready;
    writeGaugeSeriesHeader(series->stream());
  }

  std::size_t blockSteps = 0;
  for (DischargeFile file : kDischargeFiles) {
    blockSteps = std::max(blockSteps, netcdf.chunk(file).steps);
  }
  std::vector<float> block(blockSteps * cells);
  GridVisitor toSeries;
  if (series) {
    toSeries = [&](std::int64_t hour, std::span<const float> grid) {
      writeGaugeSeriesHour(series->stream(), start->time + std::chrono::hours(hour), gauges, grid);
    };
  }
  for (DischargeFile file : kDischargeFiles) {
    const bool hourly = file == DischargeFile::kHourly;
    if (Status copied = copyGrids(file, days * gridsPerDay(file), cells, netcdf, block,
                                  hourly ? toSeries : GridVisitor());
        !copied.ok()) {
      return copied;
    }
  }

  // Both outputs are complete before either takes its final name.
  if (Status finished = netcdf.finish(); !finished.ok()) return finished;
  if (series) {
    if (Status finished = series->finish(); !finished.ok()) return finished;
  }
  if (Status published = netcdf.publish(); !published.ok()) return published;
  if (series) {
    if (Status published = series->publish(); !published.ok()) {
      // The pair is one result: the NetCDF file does not stay without its series.
      std::error_code ignored;
      fs::remove(options.out, ignored);
      return published;
    }
  }
  return {};
}

}  // namespace runoff
