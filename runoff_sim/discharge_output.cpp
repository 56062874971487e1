#include "runoff_sim/discharge_output.h"

#include <fstream>
#include <memory>

#include "common/atomic_file.h"
#include "common/binary_grid.h"

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

HourlyDischarge::HourlyDischarge(const std::vector<std::uint8_t>& selected, std::int32_t days)
    : days_(days), slot_(selected.size(), -1) {
  std::int32_t count = 0;
  for (std::size_t i = 0; i < selected.size(); ++i) {
    if (selected[i]) slot_[i] = count++;
  }
  values_.assign(static_cast<std::size_t>(count) * hours(), 0.0f);
}

namespace {

// One output file: opened at once under a temporary name, written grid by grid in blocks,
// and given its final name only when all three files are complete, so that a post-processor
// never reads a grid file cut short by a failed or interrupted run.
class GridFile {
 public:
  explicit GridFile(const char* path) : path_(path), out_(path, std::ios::binary) {}
  bool isOpen() const { return out_.isOpen(); }
  bool write(std::span<const float> grid) { return writeFloatRecords(out_.stream(), grid); }
  bool close() { return out_.finish(); }
  bool publish() { return out_.publish(); }
  std::string failure() const { return std::string(path_) + " cannot be written."; }

 private:
  const char* path_;
  AtomicFile out_;
};

}  // namespace

std::string writeDischargeFiles(const TopoGrid& grid, const HourlyDischarge& discharge,
                                std::ostream& console) {
  const char* paths[3] = {kDailyPath, kDailyMaxPath, kHourlyPath};
  std::unique_ptr<GridFile> files[3];
  for (int f = 0; f < 3; ++f) {
    console << "Write " << paths[f] << '\n';
    files[f] = std::make_unique<GridFile>(paths[f]);
    if (!files[f]->isOpen()) return files[f]->failure();
  }
  GridFile& daily = *files[0];
  GridFile& dailyMax = *files[1];
  GridFile& hourly = *files[2];

  const std::size_t cellCount = grid.cells.size();
  std::vector<float> meanGrid(cellCount), maxGrid(cellCount), hourGrid(cellCount);
  for (std::int32_t d = 0; d < discharge.days(); ++d) {
    std::size_t p = 0;
    for (std::int32_t r = grid.rows - 1; r >= 0; --r) {
      for (std::int32_t c = 0; c < grid.cols; ++c, ++p) {
        std::int32_t i = grid.index(r, c);
        if (discharge.isSelected(i)) {
          auto day = discharge.of(i).subspan(static_cast<std::size_t>(d) * 24, 24);
          meanGrid[p] = dailyMean(day);
          maxGrid[p] = dailyMaxHourly(day);
        } else {
          meanGrid[p] = kMissingDischarge;
          maxGrid[p] = kMissingDischarge;
        }
      }
    }
    if (!daily.write(meanGrid)) return daily.failure();
    if (!dailyMax.write(maxGrid)) return dailyMax.failure();
    for (std::int32_t h = 0; h < 24; ++h) {
      p = 0;
      for (std::int32_t r = grid.rows - 1; r >= 0; --r) {
        for (std::int32_t c = 0; c < grid.cols; ++c, ++p) {
          std::int32_t i = grid.index(r, c);
          hourGrid[p] = discharge.isSelected(i) ? discharge.of(i)[d * 24 + h] : kMissingDischarge;
        }
      }
      if (!hourly.write(hourGrid)) return hourly.failure();
    }
  }
  for (auto& file : files) {
    if (!file->close()) return file->failure();
  }
  for (auto& file : files) {
    if (!file->publish()) return file->failure();
  }
  return "";
}

}  // namespace runoff
