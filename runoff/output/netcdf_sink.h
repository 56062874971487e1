// The NetCDF file of a run (runoff/output/discharge_netcdf_file.h) written while the run
// routes: each window's grids go into the file's variables as the window ends, held only until
// a block of the variable's chunk length is complete, so memory stays bounded whatever the
// length of the run and each chunk is compressed once, as discharge-netcdf writes it.
#ifndef RUNOFF_OUTPUT_NETCDF_SINK_H_
#define RUNOFF_OUTPUT_NETCDF_SINK_H_

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "common/discharge_files.h"
#include "common/status.h"
#include "runoff/output/discharge_netcdf_file.h"
#include "runoff/output/window_sink.h"

namespace runoff {

/// One variable's grids on their way into the file, a band of rows of each (every row for a
/// process that writes the whole file): held until a block of the chunk's steps is there, or
/// the run's last grid, then written at once.
class NetcdfBlocks {
 public:
  /// The `grids` grids of the variable of `file`, rows `firstRow` to firstRow + rows - 1
  /// (from the south) of `cols` columns.
  NetcdfBlocks(DischargeNetcdf& netcdf, DischargeFile file, std::int64_t grids,
               std::int32_t firstRow, std::int32_t rows, std::int32_t cols);

  /// Room for the band of the next grid (rows x cols values in file order).
  std::span<float> next();
  /// The band given by next() is filled: writes the block once it is complete.
  Status filled();

 private:
  DischargeNetcdf& netcdf_;
  DischargeFile file_;
  std::int64_t grids_;
  std::int32_t firstRow_, rows_;
  std::size_t bandValues_;
  std::size_t steps_;
  std::vector<float> block_;
  std::int64_t written_ = 0;  // grids already in the file
  std::size_t held_ = 0;      // grids in the block
};

/// The file written by a process that routes, or holds, every cell's values.
class NetcdfSink : public WindowSink {
 public:
  /// Creates the file's temporary and defines it; `selectedInFileOrder` marks the cells with
  /// results, as for dailyGrids.
  static Result<std::unique_ptr<NetcdfSink>> create(const std::string& path,
                                                    const NetcdfDescription& description,
                                                    std::vector<std::uint8_t> selectedInFileOrder);

  Status take(const WindowGrids& grids, std::int32_t firstDay) override;
  Status finish() override { return netcdf_->finish(); }
  Status publish() override { return netcdf_->publish(); }
  std::vector<std::string> paths() const override { return {path_}; }

 private:
  NetcdfSink() = default;

  std::string path_;
  DischargeFileSet files_ = DischargeFileSet::all();
  std::vector<std::uint8_t> selected_;
  std::unique_ptr<DischargeNetcdf> netcdf_;
  std::vector<std::unique_ptr<NetcdfBlocks>> blocks_;  // per DischargeFile, null when absent
  std::vector<float> mean_, maximum_;
};

}  // namespace runoff

#endif  // RUNOFF_OUTPUT_NETCDF_SINK_H_
