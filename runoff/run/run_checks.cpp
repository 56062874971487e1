#include "runoff/run/run_checks.h"

#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>

#include "common/discharge_files.h"
#include "common/stale_temporaries.h"
#include "runoff/inputs/grid_cell.h"
#include "runoff/model/kinematic_wave.h"
#include "runoff/inputs/rain_grid.h"

namespace runoff {
namespace {

// `need` is the subject with its verb: "Routing needs".
Status tooLarge(const char* need, double bytes, const MemoryLimit& limit) {
  std::ostringstream s;
  s.precision(3);
  s << need << " about " << bytes / (1024.0 * 1024 * 1024) << " GiB, more than " << limit.name
    << ".";
  return Status::invalid(s.str());
}

constexpr const char* kMemoryLimitVariable = "RUNOFF_MEMORY_LIMIT";

}  // namespace

std::uint64_t physicalMemoryBytes() {
  long pages = sysconf(_SC_PHYS_PAGES);
  long pageSize = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || pageSize <= 0) return std::numeric_limits<std::uint64_t>::max();
  return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
}

Result<MemoryLimit> memoryLimit() {
  const char* text = std::getenv(kMemoryLimitVariable);
  if (text == nullptr) return MemoryLimit{physicalMemoryBytes(), "the memory of this machine"};
  const std::string value(text);
  std::size_t digits = 0;
  while (digits < value.size() && std::isdigit(static_cast<unsigned char>(value[digits]))) {
    ++digits;
  }
  int shift = -1;
  if (digits == value.size()) {
    shift = 0;
  } else if (digits + 1 == value.size()) {
    const char* suffixes = "KMGT";
    if (const char* at = std::strchr(suffixes, value.back()); at != nullptr && *at != '\0') {
      shift = 10 * static_cast<int>(at - suffixes + 1);
    }
  }
  std::uint64_t number = 0;
  bool fits = digits > 0 && digits <= 19 && shift >= 0;
  if (fits) {
    number = std::stoull(value.substr(0, digits));
    fits = number > 0 && number <= (std::numeric_limits<std::uint64_t>::max() >> shift);
  }
  if (!fits) {
    return Status::invalid(std::string(kMemoryLimitVariable) +
                           " must be a positive whole number of bytes, optionally followed by "
                           "K, M, G or T, not \"" +
                           value + "\".");
  }
  return MemoryLimit{number << shift, std::string("the ") + kMemoryLimitVariable + " of " + value};
}

Status checkGridSizes(const RunParameters& params, const MemoryLimit& limit) {
  const double memory = static_cast<double>(limit.bytes);
  const double topoCells = static_cast<double>(params.topoRows) * params.topoCols;
  if (topoCells > std::numeric_limits<std::int32_t>::max()) {
    std::ostringstream s;
    s << "The topography grid of " << params.topoRows << " x " << params.topoCols
      << " cells is too large.";
    return Status::invalid(s.str());
  }
  const double rainCells = static_cast<double>(params.rainRows) * params.rainCols;
  if (rainCells > std::numeric_limits<std::int32_t>::max()) {
    std::ostringstream s;
    s << "The input data grid of " << params.rainRows << " x " << params.rainCols
      << " cells is too large.";
    return Status::invalid(s.str());
  }
  // The topography grid plus the largest temporary of its loading (three int32 grids), and the
  // rainfall grid with one window of rain (a window never needs more than a month).
  const double topoBytes = topoCells * (sizeof(GridCell) + 12);
  const double windowDays = std::min(31.0, static_cast<double>(params.days));
  const double rainBytes = rainCells * (sizeof(RainCell) + 4.0 * 24 * (windowDays + 1));
  if (topoBytes + rainBytes > memory) {
    return tooLarge("The run's grids need", topoBytes + rainBytes, limit);
  }
  return {};
}

Status checkRoutingMemory(const TopoGrid& grid, const RunParameters& params,
                          std::int32_t windowDays, const MemoryLimit& limit, bool waterBudget,
                          std::size_t lossBytes) {
  // Every cell that takes part holds its routing state; a window holds the hourly grids of its
  // days and the grids of the day being written; sub-step histories live only while they wait
  // for the cell they feed (a few per thread for a branching network). Nothing grows with the
  // length of the run.
  double cells = 0;
  for (const GridCell& cell : grid.cells) cells += cell.takesPart();
  const double gridCells = static_cast<double>(grid.cells.size());
  const double windowHours = 24.0 * windowDays;
  // A water budget adds each cell's volumes and its storage at the start; losses their state
  // and the loss grids' values (at most four floats a cell).
  const double perCell = sizeof(CellRouting) + 64 +
                         2.0 * 8 * (static_cast<double>(params.spaceSteps) + 1) +
                         (waterBudget ? sizeof(CellVolumes) + sizeof(double) : 0.0) +
                         (lossBytes > 0 ? static_cast<double>(lossBytes) + 16.0 : 0.0);
  const double history = 4.0 * windowHours * params.subSteps;
  const double windowGrids = 4.0 * gridCells * (windowHours + 3);
  const double bytes = cells * perCell + windowGrids + 64 * history;
  if (bytes > static_cast<double>(limit.bytes)) return tooLarge("Routing needs", bytes, limit);
  return {};
}

Status checkFreeSpace(std::uint64_t freeBytes, std::uint64_t neededBytes) {
  if (freeBytes >= neededBytes) return {};
  std::ostringstream s;
  s.precision(3);
  s << "./output has " << static_cast<double>(freeBytes) / (1024.0 * 1024 * 1024)
    << " GiB free; the discharge files of this run need "
    << static_cast<double>(neededBytes) / (1024.0 * 1024 * 1024) << " GiB.";
  return Status::ioError(s.str());
}

Status checkOutputSpace(std::uint64_t needed) {
  struct statvfs fs;
  if (::statvfs(kOutputDirectory, &fs) != 0) return {};  // unknown: the writes will tell
  const unsigned __int128 free =
      static_cast<unsigned __int128>(fs.f_bavail) * static_cast<unsigned __int128>(fs.f_frsize);
  const std::uint64_t freeBytes = free > std::numeric_limits<std::uint64_t>::max()
                                      ? std::numeric_limits<std::uint64_t>::max()
                                      : static_cast<std::uint64_t>(free);
  return checkFreeSpace(freeBytes, needed);
}

Status checkOutputDirectory() {
  const char* probe = "./output/.runoff-sim-write-test";
  {
    std::ofstream out(probe, std::ios::binary | std::ios::trunc);
    out << "x";
    out.close();
    if (out.fail()) {
      return Status::ioError(
          "./output cannot be written: create the directory (writable) before the run, or its "
          "results would be lost.");
    }
  }
  std::remove(probe);
  return {};
}

void clearStaleTemporaries(const std::vector<std::string>& paths, std::ostream& console) {
  const std::vector<std::string> removed = removeStaleTemporaries(paths);
  if (removed.empty()) return;
  console << "Removed the temporary files of a run that ended abnormally:";
  for (std::size_t k = 0; k < removed.size(); ++k) console << (k ? ", " : " ") << removed[k];
  console << "." << '\n';
}

}  // namespace runoff
