#include "runoff/output/netcdf_sink.h"

#include <algorithm>

#include "runoff/output/discharge_output.h"

namespace runoff {

NetcdfBlocks::NetcdfBlocks(DischargeNetcdf& netcdf, DischargeFile file, std::int64_t grids,
                           std::int32_t firstRow, std::int32_t rows, std::int32_t cols)
    : netcdf_(netcdf),
      file_(file),
      grids_(grids),
      firstRow_(firstRow),
      rows_(rows),
      bandValues_(static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols)),
      steps_(std::max<std::size_t>(1, netcdf.chunk(file).steps)) {
  block_.resize(std::min<std::size_t>(steps_, static_cast<std::size_t>(grids)) * bandValues_);
}

std::span<float> NetcdfBlocks::next() {
  return {block_.data() + held_ * bandValues_, bandValues_};
}

Status NetcdfBlocks::filled() {
  ++held_;
  if (held_ < steps_ && written_ + static_cast<std::int64_t>(held_) < grids_) return {};
  const std::span<const float> values(block_.data(), held_ * bandValues_);
  if (Status s = netcdf_.writeGrids(file_, written_, values, firstRow_, rows_); !s.ok()) return s;
  written_ += static_cast<std::int64_t>(held_);
  held_ = 0;
  return {};
}

Result<std::unique_ptr<NetcdfSink>> NetcdfSink::create(
    const std::string& path, const NetcdfDescription& description,
    std::vector<std::uint8_t> selectedInFileOrder) {
  std::unique_ptr<NetcdfSink> sink(new NetcdfSink());
  sink->path_ = path;
  sink->files_ = description.files;
  sink->selected_ = std::move(selectedInFileOrder);
  Result<std::unique_ptr<DischargeNetcdf>> created = DischargeNetcdf::create(path, description);
  if (!created.ok()) return created.status();
  sink->netcdf_ = std::move(created).value();
  sink->blocks_.resize(kDischargeFiles.size());
  const GridGeometry& grid = description.grid;
  for (DischargeFile file : kDischargeFiles) {
    if (!description.files.has(file)) continue;
    sink->blocks_[static_cast<int>(file)] = std::make_unique<NetcdfBlocks>(
        *sink->netcdf_, file, static_cast<std::int64_t>(description.days) * gridsPerDay(file), 0,
        grid.rows, grid.cols);
  }
  return sink;
}

Status NetcdfSink::take(const WindowGrids& grids, std::int32_t) {
  NetcdfBlocks* daily = blocks_[static_cast<int>(DischargeFile::kDaily)].get();
  NetcdfBlocks* dailyMax = blocks_[static_cast<int>(DischargeFile::kDailyMax)].get();
  NetcdfBlocks* hourly = blocks_[static_cast<int>(DischargeFile::kHourly)].get();
  for (std::int32_t d = 0; d < grids.days(); ++d) {
    if (daily != nullptr || dailyMax != nullptr) {
      dailyGrids(grids, d, selected_, mean_, maximum_);
      for (auto [blocks, values] : {std::pair{daily, &mean_}, {dailyMax, &maximum_}}) {
        if (blocks == nullptr) continue;
        std::copy(values->begin(), values->end(), blocks->next().begin());
        if (Status s = blocks->filled(); !s.ok()) return s;
      }
    }
    if (hourly != nullptr) {
      for (std::int32_t h = 0; h < 24; ++h) {
        const std::span<const float> hour = grids.hour(d * 24 + h);
        std::copy(hour.begin(), hour.end(), hourly->next().begin());
        if (Status s = hourly->filled(); !s.ok()) return s;
      }
    }
  }
  return {};
}

}  // namespace runoff
