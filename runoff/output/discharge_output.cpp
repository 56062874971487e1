#include "runoff/output/discharge_output.h"

#include <algorithm>

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

Status appendWindow(DischargeWriter& writer, const WindowGrids& grids,
                    const std::vector<std::uint8_t>& selectedInFileOrder) {
  const std::size_t cells = grids.cellsPerGrid();
  // The day's hours are summed grid by grid, each cell's in increasing hour as dailyMean and
  // dailyMaxHourly take them, so that the files are read and written in long runs.
  std::vector<float> total(cells), maximum(cells);
  for (std::int32_t d = 0; d < grids.days(); ++d) {
    std::fill(total.begin(), total.end(), 0.0f);
    std::fill(maximum.begin(), maximum.end(), 0.0f);
    for (std::int32_t h = 0; h < 24; ++h) {
      std::span<const float> hour = grids.hour(d * 24 + h);
      for (std::size_t p = 0; p < cells; ++p) {
        total[p] += hour[p];
        if (hour[p] >= maximum[p]) maximum[p] = hour[p];
      }
    }
    for (std::size_t p = 0; p < cells; ++p) {
      if (selectedInFileOrder[p]) {
        total[p] = total[p] / 24.0f;
      } else {
        total[p] = kMissingDischarge;
        maximum[p] = kMissingDischarge;
      }
    }
    if (Status s = writer.append(DischargeFile::kDaily, total); !s.ok()) return s;
    if (Status s = writer.append(DischargeFile::kDailyMax, maximum); !s.ok()) return s;
    for (std::int32_t h = 0; h < 24; ++h) {
      if (Status s = writer.append(DischargeFile::kHourly, grids.hour(d * 24 + h)); !s.ok()) {
        return s;
      }
    }
  }
  return {};
}

}  // namespace runoff
