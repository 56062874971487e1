#include "runoff_sim/discharge_output.h"

#include <memory>

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

Status writeDischargeFiles(const TopoGrid& grid, const HourlyDischarge& discharge,
                           std::ostream& console) {
  for (DischargeFile file : kDischargeFiles) console << "Write " << outputPath(file) << '\n';
  const std::size_t cellCount = grid.cells.size();
  Result<std::unique_ptr<DischargeWriter>> writer =
      DischargeWriter::create(kOutputDirectory, cellCount);
  if (!writer.ok()) return writer.status();

  std::vector<float> meanGrid(cellCount), maxGrid(cellCount), hourGrids(24 * cellCount);
  for (std::int32_t d = 0; d < discharge.days(); ++d) {
    std::size_t p = 0;
    for (std::int32_t r = grid.rows - 1; r >= 0; --r) {
      for (std::int32_t c = 0; c < grid.cols; ++c, ++p) {
        const std::int32_t i = grid.index(r, c);
        if (discharge.isSelected(i)) {
          auto day = discharge.of(i).subspan(static_cast<std::size_t>(d) * 24, 24);
          meanGrid[p] = dailyMean(day);
          maxGrid[p] = dailyMaxHourly(day);
          for (std::size_t h = 0; h < 24; ++h) hourGrids[h * cellCount + p] = day[h];
        } else {
          meanGrid[p] = kMissingDischarge;
          maxGrid[p] = kMissingDischarge;
          for (std::size_t h = 0; h < 24; ++h) hourGrids[h * cellCount + p] = kMissingDischarge;
        }
      }
    }
    if (Status s = (*writer)->appendDay(meanGrid, maxGrid, hourGrids); !s.ok()) return s;
  }
  return (*writer)->publish();
}

}  // namespace runoff
