#include "runoff/output/discharge_output.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "common/binary_grid.h"
#include "runoff/output/discharge_vrt.h"

namespace runoff {

float hourlyMean(std::span<const float> subStepOutflow) {
  float sum = 0.0f;
  for (float q : subStepOutflow) sum += q;
  return sum / static_cast<float>(subStepOutflow.size());
}

float dailyMean(std::span<const float> hourlyMeans) {
  float total = 0.0f;
  for (float q : hourlyMeans) total += q;
  return total / 24.0f;
}

float dailyMaxHourly(std::span<const float> hourlyMeans) {
  float m = 0.0f;
  for (float q : hourlyMeans) {
    if (q >= m) m = q;
  }
  return m;
}

std::vector<std::uint8_t> selectedInFileOrder(const TopoGrid& grid,
                                              const std::vector<std::uint8_t>& selected) {
  std::vector<std::uint8_t> inFileOrder(grid.cells.size());
  for (std::int32_t i = 0; i < static_cast<std::int32_t>(grid.cells.size()); ++i) {
    inFileOrder[filePosition(grid, i)] = selected[i];
  }
  return inFileOrder;
}

std::vector<float> outputBackground(const TopoGrid& grid,
                                    const std::vector<std::uint8_t>& selected) {
  std::vector<float> background(grid.cells.size());
  for (std::int32_t i = 0; i < static_cast<std::int32_t>(grid.cells.size()); ++i) {
    background[filePosition(grid, i)] = selected[i] ? 0.0f : kMissingDischarge;
  }
  return background;
}

namespace {

// The daily grids of `count` cells, the k-th at file position at(k).
template <typename Position>
void formDailyGrids(const WindowGrids& grids, std::int32_t day, std::size_t count, Position at,
                    const std::vector<std::uint8_t>& selectedInFileOrder, std::vector<float>& mean,
                    std::vector<float>& maximum) {
  if (!grids.keepsEveryHour()) {
    // The router formed the day already, from the same hours in the same order.
    mean.resize(count);
    maximum.resize(count);
    const std::span<const float> means = grids.dayMean(day), maxima = grids.dayMax(day);
    for (std::size_t k = 0; k < count; ++k) {
      mean[k] = means[at(k)];
      maximum[k] = maxima[at(k)];
    }
    return;
  }
  mean.assign(count, 0.0f);
  maximum.assign(count, 0.0f);
  // The day's hours are summed grid by grid, each cell's in increasing hour as dailyMean and
  // dailyMaxHourly take them, so that the grids are read in long runs.
  for (std::int32_t h = 0; h < 24; ++h) {
    const std::span<const float> hour = grids.hour(day * 24 + h);
    for (std::size_t k = 0; k < count; ++k) {
      const float q = hour[at(k)];
      mean[k] += q;
      if (q >= maximum[k]) maximum[k] = q;
    }
  }
  for (std::size_t k = 0; k < count; ++k) {
    if (selectedInFileOrder[at(k)]) {
      mean[k] = mean[k] / 24.0f;
    } else {
      mean[k] = kMissingDischarge;
      maximum[k] = kMissingDischarge;
    }
  }
}

}  // namespace

void dailyGrids(const WindowGrids& grids, std::int32_t day,
                const std::vector<std::uint8_t>& selectedInFileOrder, std::vector<float>& mean,
                std::vector<float>& maximum) {
  formDailyGrids(
      grids, day, grids.cellsPerGrid(), [](std::size_t k) { return k; }, selectedInFileOrder,
      mean, maximum);
}

void dailyGridsAt(const WindowGrids& grids, std::int32_t day,
                  std::span<const std::int32_t> positions,
                  const std::vector<std::uint8_t>& selectedInFileOrder, std::vector<float>& mean,
                  std::vector<float>& maximum) {
  formDailyGrids(
      grids, day, positions.size(),
      [positions](std::size_t k) { return static_cast<std::size_t>(positions[k]); },
      selectedInFileOrder, mean, maximum);
}

DischargeFilesSink::DischargeFilesSink(const RunParameters& params, DischargeFileSet files,
                                       std::vector<std::uint8_t> selected)
    : params_(params), files_(files), selected_(std::move(selected)) {}

Result<std::unique_ptr<DischargeFilesSink>> DischargeFilesSink::create(
    const RunParameters& params, DischargeFileSet files,
    std::vector<std::uint8_t> selectedInFileOrder) {
  std::unique_ptr<DischargeFilesSink> sink(
      new DischargeFilesSink(params, files, std::move(selectedInFileOrder)));
  for (DischargeFile file : kDischargeFiles) {
    if (!files.has(file)) continue;
    auto& slot = sink->out_[static_cast<int>(file)];
    slot = std::make_unique<AtomicFile>(outputPath(file), std::ios::binary);
    if (Status ready = slot->ready(); !ready.ok()) return ready;
  }
  return sink;
}

Status DischargeFilesSink::append(DischargeFile file, std::span<const float> grid) {
  AtomicFile& out = *out_[static_cast<int>(file)];
  if (!writeFloatRecords(out.stream(), grid)) {
    return Status::ioError(out.path() + " cannot be written.");
  }
  return {};
}

Status DischargeFilesSink::take(const WindowGrids& grids, std::int32_t) {
  const bool daily = files_.has(DischargeFile::kDaily) || files_.has(DischargeFile::kDailyMax);
  for (std::int32_t d = 0; d < grids.days(); ++d) {
    if (daily) {
      dailyGrids(grids, d, selected_, mean_, maximum_);
      if (files_.has(DischargeFile::kDaily)) {
        if (Status s = append(DischargeFile::kDaily, mean_); !s.ok()) return s;
      }
      if (files_.has(DischargeFile::kDailyMax)) {
        if (Status s = append(DischargeFile::kDailyMax, maximum_); !s.ok()) return s;
      }
    }
    if (files_.has(DischargeFile::kHourly)) {
      for (std::int32_t h = 0; h < 24; ++h) {
        if (Status s = append(DischargeFile::kHourly, grids.hour(d * 24 + h)); !s.ok()) return s;
      }
    }
  }
  return {};
}

Status DischargeFilesSink::finish() {
  // Every file is closed whole before any takes its final name.
  for (auto& out : out_) {
    if (!out) continue;
    if (Status finished = out->finish(); !finished.ok()) return finished;
  }
  return {};
}

Status DischargeFilesSink::publish() {
  for (auto& out : out_) {
    if (!out) continue;
    if (Status published = out->publish(); !published.ok()) return published;
  }
  return writeDischargeVrts(params_, files_);
}

std::vector<std::string> DischargeFilesSink::paths() const {
  std::vector<std::string> written;
  for (DischargeFile file : kDischargeFiles) {
    if (files_.has(file)) written.push_back(outputPath(file));
  }
  return written;
}

Status removeUnwrittenDischargeFiles(DischargeFileSet written) {
  for (DischargeFile file : kDischargeFiles) {
    if (written.has(file)) continue;
    for (const std::string& path : {outputPath(file), vrtPath(file)}) {
      std::error_code error;
      std::filesystem::remove(path, error);
      if (error) return Status::ioError(path + " cannot be removed.");
    }
  }
  return {};
}

}  // namespace runoff
